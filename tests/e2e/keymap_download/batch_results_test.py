"""TAVmapDL batch runs against kbdsim.exe, one per result code that needs no 12-second pause:
exit code, log line, message or usage dialog, and the frames the keyboard received; and
TAVmapDL as the console program that cmd waits for."""

import re
import struct
import unittest
from pathlib import Path

import harness
from tavmapdl import (BATCH_TITLE, LOG_PREFIX, ToolTest, keymap_frames, keymap_state,
                      state_keymap, table_text, write_table)
from tool_test import JAPANESE_ENV

SPARROW_MAP = bytes((7 * i + 3) & 0xFF for i in range(192))
REED_MAP = bytes((5 * i + 1) & 0xFF for i in range(160))
OTHER_REED_MAP = bytes((REED_MAP[i] ^ (0x10 if i == 100 else 0)) for i in range(160))

USAGE_TEXT = "\n".join([
    "Usage: TAVmapDL [/1 | /2] [/C | /W | /F KeyMapFile] [/B BackupFile] [/L LogFile]"
    " [/T YYYY-MM-DD]",
    "Target Keyboard\n  /1 Sparrow POS Keyboard\n  /2 ReedKey PAD\n",
    "Function\n  /C Compare current keymap with the following KeyMapFile.\n"
    "  /W Write keymap, only when differ from the following KeyMapFile.\n"
    "  /F Forcibly (always) write keymap (no comparing)\n"
    "  /B Save the current keymap to the following BackupFile first (alone: only save;"
    " not with /C).\n",
    "Log (optional)\n  /L record Log with the following log filename.\n",
    "Time (Optional)\n  /T Define the flash date artificially, instead of the actual flash date.",
    'The date format is "YYYY-MM-DD". ("-" must be inserted.)',
    "e.g. TAVmapDL /1 /W xxxmap.tbl /L xxxlog.csv /T 2011-01-01",
])

READ_REQUEST = {1: harness.frame_bytes("00 11 02 00 13"), 2: harness.frame_bytes("00 11 02 01 14")}


class BatchResults(ToolTest):
    def setUp(self):
        super().setUp()
        self.log = self.folder / "log.csv"

    def batch(self, args, dialog=True, timeout=60, language=None):
        """Runs TAVmapDL with `args`; presses OK in its dialog. Returns (exit code, dialog)."""
        process = self.start_tool(args, language)
        shown = None
        if dialog:
            shown = self.gui.message(title=BATCH_TITLE, button="ok", timeout_ms=30000)
        result = process.wait(timeout=timeout)
        # Failing checks of the exit code say what the tool reported.
        self.reported = shown["text"] if shown else None
        # A console program, yet it reports only through its dialogs and the log.
        self.assertEqual((result.stdout, result.stderr), ("", ""))
        return result.returncode, shown

    def log_lines(self):
        data = self.log.read_bytes()
        self.assertTrue(data.endswith(b"\r\n"), data)
        return data.decode("ascii").split("\r\n")[:-1]

    def assert_line(self, line, rest):
        self.assertRegex(line, LOG_PREFIX)
        self.assertEqual(LOG_PREFIX.sub("", line), rest)

    def assert_reported(self, shown, rest, logged=True):
        """The dialog shows the line; the log holds exactly that line (or no log at all)."""
        text = shown["text"]
        self.assertTrue(text.endswith("\n"), text)
        self.assert_line(text[:-1], rest)
        if logged:
            self.assertEqual(self.log_lines(), [text[:-1]])
        else:
            self.assertFalse(self.log.exists())

    def writes(self, model):
        return [f for f in self.frames_in(model) if f[1] == 0x21 or f[1] == 0x08]

    # -- compare and write-if-different

    def test_compare_same_shows_line_without_logging(self):
        self.start_sim(state=keymap_state(1, SPARROW_MAP))
        table = write_table(self.folder, "same.tbl", SPARROW_MAP)
        code, shown = self.batch(["/1", "/C", self.win(table), "/L", self.win(self.log)])
        self.assertEqual(code, 0, self.reported)
        self.assert_reported(shown, " Sparrow, same.tbl, same KeyMap.", logged=False)
        self.assertEqual(self.frames_in(1), [READ_REQUEST[1]])

        # The same table with its digits in lower case reads the same bytes.
        lower = self.folder / "lower.tbl"
        text = re.sub(r",([0-9A-F]{2})H", lambda m: f",{m[1].lower()}H", table_text(SPARROW_MAP))
        self.assertRegex(text, ",[a-f][0-9a-f]H")
        lower.write_bytes(text.replace("\n", "\r\n").encode("ascii"))
        code, shown = self.batch(["/1", "/C", self.win(lower), "/L", self.win(self.log)])
        self.assertEqual(code, 0, self.reported)
        self.assert_reported(shown, " Sparrow, lower.tbl, same KeyMap.", logged=False)
        self.assertEqual(self.frames_in(1), [READ_REQUEST[1]] * 2)

    def test_write_if_different_with_same_map_shows_and_logs_nothing(self):
        self.start_sim(state=keymap_state(1, SPARROW_MAP))
        write_table(self.folder, "same.tbl", SPARROW_MAP)
        # Relative paths name files in the current folder.
        code, _ = self.batch(["/1", "/W", "same.tbl", "/L", "log.csv"], dialog=False, timeout=8)
        self.assertEqual(code, 0, self.reported)
        self.assertFalse(self.log.exists())
        self.assertEqual(self.frames_in(1), [READ_REQUEST[1]])

    def test_compare_different_logs_with_crlf(self):
        self.start_sim(state=keymap_state(2, REED_MAP))
        table = write_table(self.folder, "other.tbl", OTHER_REED_MAP)
        code, shown = self.batch(["/2", "/C", self.win(table), "/L", self.win(self.log)])
        self.assertEqual(code, 1, self.reported)
        self.assert_reported(shown, " Reed, other.tbl, different KeyMap.")
        self.assertEqual(self.writes(2), [])

        # Under code page 932 the name's "ソ" and "表" end in byte 5CH, a backslash elsewhere:
        # the log and the dialog still name the whole file.
        table = write_table(self.folder, "ソ表.tbl", OTHER_REED_MAP)
        log = self.folder / "japanese.csv"
        code, shown = self.batch(["/2", "/C", self.win(table), "/L", self.win(log)],
                                 language=JAPANESE_ENV)
        self.assertEqual(code, 1, self.reported)
        self.assertTrue(shown["text"].endswith(" Reed, ソ表.tbl, different KeyMap.\n"),
                        shown["text"])
        self.assertEqual(log.read_bytes().decode("cp932"), shown["text"][:-1] + "\r\n")

    def test_read_failure_never_leads_to_a_write(self):
        self.start_sim(state=keymap_state(2, REED_MAP), commands=["fault 2 nak on 11 always"])
        table = write_table(self.folder, "other.tbl", OTHER_REED_MAP)
        code, shown = self.batch(["/2", "/W", self.win(table), "/L", self.win(self.log)])
        self.assertEqual(code, 3, self.reported)
        self.assert_reported(shown, " Reed, other.tbl, other error, keymap upload error.")
        self.assertEqual(self.writes(2), [])

    # -- /B: the keyboard's key map saved to a table file

    def test_backup_alone_compares_same_and_a_failed_read_writes_nothing(self):
        self.start_sim(state=keymap_state(2, REED_MAP))
        backup = self.folder / "old.tbl"
        code, shown = self.batch(["/2", "/B", self.win(backup), "/L", self.win(self.log)])
        self.assertEqual(code, 0, self.reported)
        self.assert_reported(shown, " Reed, old.tbl, update success.")
        self.assertEqual(backup.read_bytes(),
                         table_text(REED_MAP, lines=20).replace("\n", "\r\n").encode("ascii"))

        # The saved table is what the keyboard holds.
        code, shown = self.batch(["/C", self.win(backup), "/2"])
        self.assertEqual(code, 0, self.reported)
        self.assertEqual(LOG_PREFIX.sub("", shown["text"]), " Reed, old.tbl, same KeyMap.\n")

        # A read that fails: no backup, and nothing written into the keyboard.
        self.sim.send("fault 2 nak on 11 always")
        self.log.unlink()
        table = write_table(self.folder, "other.tbl", OTHER_REED_MAP)
        failed = self.folder / "failed.tbl"
        code, shown = self.batch(["/2", "/W", self.win(table), "/B", self.win(failed),
                                  "/L", self.win(self.log)])
        self.assertEqual(code, 3, self.reported)
        self.assert_reported(shown, " Reed, other.tbl, other error, keymap backup error.")
        self.assertFalse(failed.exists())
        self.assertEqual(self.writes(2), [])
        self.assertEqual(state_keymap(self.sim.state_text(), 2)[0], REED_MAP)

    # -- command line and file errors

    def test_missing_options_show_usage_and_log(self):
        table = write_table(self.folder, "map.tbl", SPARROW_MAP)
        self.start_sim()
        for args, rest in [
            (["/1", "/L", self.win(self.log)],
             " , , other error, parameter error (function /C /W /F)."),
            (["/F", self.win(table), "/L", self.win(self.log)],
             " , , other error, parameter error (Target Keyboard /1 /2)."),
            # A date stamp that is no date; "/12" picks no model either.
            (["/2", "/F", self.win(table), "/T", "2026/12/08", "/L", self.win(self.log)],
             " , , other error, parameter error (date /T)."),
            # Options past the 255th character of the command line still count.
            (["/1", "/W", self.win(self.folder / ("m" * 240 + ".tbl")), "/T", "2026-12-",
              "/L", self.win(self.log)],
             " , , other error, parameter error (date /T)."),
        ]:
            with self.subTest(args=args):
                self.log.unlink(missing_ok=True)
                code, shown = self.batch(args)
                self.assertEqual(code, 3, self.reported)
                self.assertEqual(shown["text"], USAGE_TEXT)
                [line] = self.log_lines()
                self.assert_line(line, rest)
        self.assertEqual(self.sim.frames(), [])

    def test_usage_option_shows_usage_only(self):
        self.start_sim()
        code, shown = self.batch(["/?", "/L", self.win(self.log)])
        self.assertEqual(code, 0, self.reported)
        self.assertEqual(shown["text"], USAGE_TEXT)
        self.assertFalse(self.log.exists())
        self.assertEqual(self.sim.frames(), [])

    def test_file_errors(self):
        self.start_sim()
        short = write_table(self.folder, "short.tbl", SPARROW_MAP, lines=20)
        # A digit written as a blank (",%2XH") is no digit.
        blank = self.folder / "blank.tbl"
        text = table_text(SPARROW_MAP).replace("T,03H,", "T, 3H,", 1)
        self.assertIn("T, 3H,", text)
        blank.write_bytes(text.replace("\n", "\r\n").encode("ascii"))
        huge = self.folder / "huge.tbl"
        with open(huge, "wb") as f:  # bigger than the tool agrees to hold
            f.truncate(17 * 1024 * 1024)
        for args, exit_code, rest in [
            (["/2", "/C", self.win(self.folder / "none.tbl")], 3,
             " Reed, none.tbl, other error, no keymap file."),
            (["/1", "/F", self.win(short)], 3, " Sparrow, short.tbl, other error, keymap form error."),
            (["/1", "/F", self.win(blank)], 3, " Sparrow, blank.tbl, other error, keymap form error."),
            (["/1", "/F", self.win(huge)], 3,
             " Sparrow, huge.tbl, other error, memory allocates error."),
        ]:
            with self.subTest(args=args):
                self.log.unlink(missing_ok=True)
                code, shown = self.batch(args + ["/L", self.win(self.log)])
                self.assertEqual(code, exit_code, self.reported)
                self.assert_reported(shown, rest)
        self.assertEqual(self.writes(1), [])

    def test_no_device_and_log_rotation(self):
        self.start_sim(models=(1,))
        table = write_table(self.folder, "map.tbl", REED_MAP, lines=20)
        self.log.write_bytes(b"x" * 64001)
        backup = self.folder / "log.bak"
        backup.write_bytes(b"older backup")
        code, shown = self.batch(["/2", "/F", self.win(table), "/L", self.win(self.log)])
        self.assertEqual(code, 2, self.reported)
        self.assertEqual(backup.read_bytes(), b"x" * 64001)
        self.assert_reported(shown, " Reed, map.tbl, no device error.")

    # -- write failures: what the keyboard saw up to the failure, and never a date stamp

    def test_write_phase_failures(self):
        table = write_table(self.folder, "other.tbl", OTHER_REED_MAP)
        expected = keymap_frames(2, OTHER_REED_MAP)
        for fault, frames_seen, rest in [
            ("fault 2 nak on 21:00:00", 1, " Reed, other.tbl, update error, command error (start)."),
            ("fault 2 nak on 21:00:01 at 3", 4, " Reed, other.tbl, update error, command error (data)."),
            ("fault 2 nak on 21:00:FF", 7, " Reed, other.tbl, update error, command error (end)."),
            # Unplugged after answering the compare's read: not there for the write.
            ("fault 2 unplug-after on 11", 0,
             " Reed, other.tbl, update error, command error (start)."),
        ]:
            with self.subTest(fault=fault):
                self.log.unlink(missing_ok=True)
                self.start_sim(state=keymap_state(2, REED_MAP), commands=[fault])
                code, shown = self.batch(["/2", "/W", self.win(table), "/L", self.win(self.log)])
                self.assertEqual(code, 1, self.reported)
                self.assert_reported(shown, rest)
                self.assertEqual(self.writes(2), expected[:frames_seen])
                self.sim.stop()
                self.sim = None

    # -- second instance

    def test_second_instance_reports_overlap_without_logging(self):
        self.start_sim()
        first = self.start_tool()
        self.gui.find(has_id=1027, timeout_ms=20000)
        table = write_table(self.folder, "map.tbl", SPARROW_MAP)
        code, shown = self.batch(["/1", "/F", self.win(table), "/L", self.win(self.log)])
        self.assertEqual(code, 3, self.reported)
        self.assert_reported(shown, " , , other error, overlap start error.", logged=False)
        self.assertEqual(self.sim.frames(), [])
        first.kill()


def pe_subsystem(path: Path) -> int:
    """The Subsystem field of a PE executable (2 Windows GUI, 3 Windows console)."""
    data = Path(path).read_bytes()[:4096]
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[header : header + 4] != b"PE\0\0":
        raise AssertionError(f"{path} is not a PE executable")
    # The optional header follows the 4-byte signature and the 20-byte file header.
    return struct.unpack_from("<H", data, header + 24 + 68)[0]


class ConsoleProgram(ToolTest):
    """Deployment scripts rely on cmd waiting for TAVmapDL and setting %ERRORLEVEL%, which
    cmd does only for console programs; started from Explorer, its own console is hidden."""

    def test_cmd_prompt_waits_for_the_run_and_gets_its_exit_code(self):
        exe = harness.exe_path("TAVmapDL")
        self.assertEqual(pe_subsystem(exe), 3, "TAVmapDL.exe is not a console program")
        self.start_sim(models=(1,))
        cmd = harness.WindowsProcess("cmd.exe", [], env=self.tool_env(), cwd=self.folder,
                                     stdin_pipe=True)
        self.tools.append(cmd)
        cmd.stdin.write(f'"{self.win(exe)}" /2 /C map.tbl\r\n'.encode())
        cmd.stdin.flush()
        self.gui.message(title=BATCH_TITLE, timeout_ms=30000)
        # Typed while the dialog shows: a prompt that did not wait would answer 0 at once.
        cmd.stdin.write(b"echo errorlevel=%ERRORLEVEL%\r\n")
        cmd.stdin.flush()
        shown = self.gui.message(title=BATCH_TITLE, button="ok")
        self.assertIn("no device error", shown["text"])
        cmd.stdin.close()
        output = cmd.wait(timeout=30).stdout
        self.assertEqual(re.findall(r"errorlevel=(\S*)$", output, re.M), ["2"], output)

    def test_own_console_hidden_when_started_like_from_explorer(self):
        exe = harness.exe_path("TAVmapDL")
        self.start_sim(models=(1,))
        # `start` gives a console program a new console titled with its path, as Explorer does.
        harness.run_windows_exe("start", ["/unix", str(exe)], env=self.tool_env(),
                                cwd=self.folder, timeout=30)
        main = self.gui.find(has_id=1027, timeout_ms=20000)
        try:
            consoles = self.gui.windows(title=self.win(exe), hidden=1)
            self.assertEqual([window["visible"] for window in consoles], [0], consoles)
        finally:
            self.gui.close(main)
            self.gui.wait_gone(main, timeout_ms=10000)


if __name__ == "__main__":
    unittest.main()
