"""TAVFrmDL batch runs under Wine against kbdsim.exe, one group of cases per run:
`batch_test.py sparrow_reed` (full downloads with model digits 1 and 2: the first sent Ctrl+C
during and after the download, the second from a file without line ends between its records;
and every case that fails before the first pause) or `batch_test.py larch_msr` (full downloads
with digits 3 and 4: the first one's date stamp refused, the second from a file in lower-case
hex). A full download sits through two real 12 s pauses, so each checks every fact of the run
at once."""

import os
import re
import signal
import sys
import time
import unittest

import harness
from tavfrmdl import (ToolTest, WindowWatch, date_frame, download_frames, random_image,
                      state_firmware, today, write_firmware)

GROUP = sys.argv.pop(1) if len(sys.argv) > 1 else "sparrow_reed"
ACK_INIT = harness.frame_bytes("00 20 01 21")


class FullDownload(ToolTest):
    def wait_frames_in(self, model: int, count: int) -> None:
        deadline = time.monotonic() + 60
        while len(self.sim.frames(model=model, direction="in")) < count:
            self.assertLess(time.monotonic(), deadline, f"never {count} frames")
            time.sleep(0.05)

    def interrupted_run(self, model: int, args) -> int:
        """A run sent Ctrl+C (Wine turns SIGINT into CTRL_C_EVENT) in the pause after the init
        frame and during the data frames, which must not end it, then in the pause before the
        date stamp, which ends it (only the firmware download holds Ctrl+C off)."""
        tool = self.start_tool(args)
        self.wait_frames_in(model, 1)  # the init frame
        time.sleep(1)
        os.kill(tool.pid, signal.SIGINT)
        self.wait_frames_in(model, 2 + 300)
        os.kill(tool.pid, signal.SIGINT)
        self.wait_frames_in(model, 2 + 2048 + 1)  # the end frame
        time.sleep(2)
        self.assertTrue(tool.running())
        os.kill(tool.pid, signal.SIGINT)
        return tool.wait(timeout=8).returncode  # well before the 12 s pause is over

    def download(self, model: int, args, image: bytes, stamped: bool = True, others=(),
                 interrupt: bool = False):
        """Runs one batch download and checks the frames, the pauses, the image and the date
        stamp in the keyboard, and that no window appeared."""
        with WindowWatch(self.gui) as watch:
            started = time.monotonic()
            code = self.interrupted_run(model, args) if interrupt else self.run_tool(args)
            elapsed = time.monotonic() - started
        if not interrupt:  # (Wine ends a program on Ctrl+C with exit code 0)
            self.assertEqual(code, 0 if stamped else 1)
        self.assertEqual(watch.seen, [], "a batch run showed a window")

        received = self.sim.frames(model=model, direction="in")
        expected = download_frames(image) + ([] if interrupt else [date_frame(today())])
        self.assertEqual(len(received), len(expected))
        for n, (got, want) in enumerate(zip(received, expected)):
            self.assertEqual(got.data, want, f"frame {n}")
        replies = self.sim.frames(model=model, direction="out")
        self.assertEqual(replies[0].data[:4], ACK_INIT[:4])
        self.assertGreaterEqual(received[1].time - replies[0].time, 12.0)  # init reply → start
        if not interrupt:
            self.assertGreaterEqual(received[-1].time - replies[-2].time, 12.0)  # end → stamp
        self.assertLess(elapsed, 45)

        kept, date, blocks = state_firmware(self.sim.state_text(), model)
        self.assertEqual((kept == image, blocks), (True, 2048))
        self.assertEqual(date, today() if stamped else "2000-01-01")
        for other in others:
            self.assertEqual(self.sim.frames(model=other), [])


@unittest.skipUnless(GROUP == "sparrow_reed", "other group")
class SparrowReed(FullDownload):
    def test_digit_1_finds_only_the_alternate_identity_sparrow(self):
        image = random_image(1)
        write_firmware(self.folder / "sparrow.mhx", image)
        self.start_sim(models=("1alt", 2))
        # Relative to the folder; Ctrl+C ends the run only once the firmware is in.
        self.download(1, ["1", "sparrow.mhx"], image, stamped=False, others=(2,),
                      interrupt=True)

    def test_digit_2_with_an_absolute_path_and_no_line_ends_between_records(self):
        image = random_image(2, holes=False)
        path = write_firmware(self.folder / "sub" / "reed.mhx", image, joined=True)
        self.start_sim(models=(1, 2))
        self.download(2, ["2", self.win(path)], image, others=(1,))

    def test_runs_that_fail_before_the_first_pause(self):
        write_firmware(self.folder / "fw.mhx", random_image(3))
        (self.folder / "nos8.mhx").write_text("S2050000000000FA\r\nS2\r\n")
        # Nothing inside the window: never a blank image.
        (self.folder / "s1.mhx").write_text("S1130000285F245F2212226A000424290008237C2A\r\n"
                                            "S804000000FB\r\n")
        (self.folder / "other.mhx").write_text("S30701FB00100102E9\r\nS2060100000102F5\r\n"
                                               "S804000000FB\r\n")
        self.start_sim(models=(1, 2, 3, 4), commands=["fault 3 nak on 20:00:AA"])
        cases = [
            ("plain Sparrow identity is not the firmware tool's", ["1", "fw.mhx"]),
            ("digit 5", ["5", "fw.mhx"]),
            ("digit 0", ["0", "fw.mhx"]),
            ("a letter", ["x", "fw.mhx"]),
            ("too short", ["2"]),
            ("missing file", ["2", "none.mhx"]),
            ("format error", ["2", "nos8.mhx"]),
            ("only S1 records", ["2", "s1.mhx"]),
            ("records outside the window only", ["2", "other.mhx"]),
            ("command line over 259 characters", ["2", "C:" + "a" * 256]),
            ("joined path over 259 characters", ["2", "b" * 250]),
        ]
        for what, args in cases:
            with self.subTest(what):
                self.assertEqual(self.run_tool(args, timeout=30), 1)
                self.assertEqual(self.sim.frames(direction="in"), [])
        # A refused init frame fails at once, before the 12 s pause, and nothing is stamped.
        started = time.monotonic()
        self.assertEqual(self.run_tool(["3", "fw.mhx"], timeout=30), 1)
        self.assertLess(time.monotonic() - started, 10)
        self.assertEqual(self.frames_in(3), download_frames(b"\xff" * 65536)[:1])

    def test_second_copy_in_batch_mode_exits_with_1(self):
        write_firmware(self.folder / "fw.mhx", random_image(4))
        self.start_sim(models=(2,))
        first = self.start_tool([])  # the graphical mode holds the mutex
        main = self.gui.find(has_id=1027, timeout_ms=20000)
        self.assertEqual(self.run_tool(["2", "fw.mhx"], timeout=30), 1)
        self.assertEqual(self.frames_in(2), [])
        # cmd waits for the console program and gets its exit code.
        script = self.folder / "run.cmd"
        script.write_text(f'@"{self.win(harness.exe_path("TAVFrmDL"))}" 2 fw.mhx\r\n'
                          "@echo errorlevel=%ERRORLEVEL%\r\n", newline="")
        cmd = harness.run_windows_exe("cmd", ["/c", self.win(script)], env=self.tool_env(),
                                      cwd=self.folder, timeout=30)
        self.assertEqual(re.findall(r"errorlevel=(\S*)", cmd.stdout), ["1"], cmd.stdout)
        self.gui.click(main, 1010)
        self.assertEqual(first.wait(timeout=20).returncode, 0)


@unittest.skipUnless(GROUP == "larch_msr", "other group")
class LarchMsr(FullDownload):
    def test_digit_3_with_a_refused_date_stamp_exits_with_1(self):
        image = random_image(5)
        write_firmware(self.folder / "larch.mhx", image)
        self.start_sim(models=(3, 4), commands=["fault 3 nak on 08"])
        self.download(3, ["3", "larch.mhx"], image, stamped=False, others=(4,))

    def test_digit_4_with_a_quoted_path_holding_a_blank_to_a_lower_case_file(self):
        image = random_image(6)
        write_firmware(self.folder / "fw dir" / "msr.mhx", image, lower=True)
        self.start_sim(models=(2, 4))
        # Wine quotes the argument with the blank: 4 "fw dir\msr.mhx".
        self.download(4, ["4", "fw dir\\msr.mhx"], image, others=(2,))


if __name__ == "__main__":
    unittest.main()
