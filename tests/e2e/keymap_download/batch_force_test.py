"""TAVmapDL batch: a forced write of an all-FF Sparrow key map dated today (result 0), and the
batch dialogs closing by themselves after 10 s."""

import time
import unittest

from tavmapdl import (BATCH_TITLE, LOG_PREFIX, ToolTest, date_frame, keymap_frames,
                      state_keymap, today, write_table)

ALL_FF = b"\xff" * 192


class BatchForce(ToolTest):
    def test_force_write_sparrow_all_ff_dated_today(self):
        self.start_sim(models=(1, 2))
        table = write_table(self.folder, "blank.tbl", ALL_FF)
        process = self.start_tool(["/1", "/F", self.win(table)])
        shown = self.gui.message(title=BATCH_TITLE, button="ok", timeout_ms=40000)
        self.assertEqual(process.wait(timeout=60).returncode, 0)
        # The file option came last: its value (and so the logged name) keeps the blank after it.
        self.assertEqual(LOG_PREFIX.sub("", shown["text"]),
                         " Sparrow, blank.tbl , update success.\n")
        frames = self.frames_in(1)
        # No compare: the write starts at once, with the sum 0xBF40 of 192 FF bytes.
        self.assertEqual(frames[0].hex(" ").upper(), "00 21 06 00 00 00 BF 40 26" + " 00" * 29)
        self.assertEqual(frames, keymap_frames(1, ALL_FF) + [date_frame(today())])
        self.assertEqual(state_keymap(self.sim.state_text(), 1), (ALL_FF, today()))

    def assert_closes_itself(self, process):
        shown = self.gui.find(title=BATCH_TITLE, cls="#32770", timeout_ms=20000)
        seen = time.monotonic()
        self.gui.wait_gone(shown, timeout_ms=20000)
        self.assertAlmostEqual(time.monotonic() - seen, 10, delta=1.5)
        return process.wait(timeout=30).returncode

    def test_dialogs_close_after_ten_seconds(self):
        self.start_sim(models=(1,))
        table = write_table(self.folder, "map.tbl", ALL_FF)
        log = self.folder / "log.csv"
        # No model: the usage dialog, after the line went to the log.
        code = self.assert_closes_itself(self.start_tool(["/F", self.win(table), "/L", self.win(log)]))
        self.assertEqual(code, 3)
        self.assertTrue(log.read_text().endswith("parameter error (Target Keyboard /1 /2).\n"))
        # No keyboard: the message dialog.
        self.assertEqual(self.assert_closes_itself(self.start_tool(["/2", "/C", self.win(table)])), 2)


if __name__ == "__main__":
    unittest.main()
