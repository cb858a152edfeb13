"""TAVmapDL batch: a refused date stamp after a good write (result 11), and the usage dialog of
/H that waits for OK (result 1)."""

import time
import unittest

from tavmapdl import (BATCH_TITLE, LOG_PREFIX, ToolTest, keymap_state, state_keymap,
                      write_table)

OLD_MAP = bytes(range(160))
NEW_MAP = bytes(range(1, 161))


class BatchStampFailure(ToolTest):
    def test_refused_date_stamp_keeps_map_and_old_date(self):
        self.start_sim(state=keymap_state(2, OLD_MAP, date="2000-01-01"),
                       commands=["fault 2 nak on 08"])
        table = write_table(self.folder, "new.tbl", NEW_MAP, lines=20)
        log = self.folder / "log.csv"
        process = self.start_tool(["/2", "/F", self.win(table), "/L", self.win(log)])
        shown = self.gui.message(title=BATCH_TITLE, button="ok", timeout_ms=40000)
        self.assertEqual(process.wait(timeout=60).returncode, 3)
        rest = " Reed, new.tbl, other error, download time setting error.\n"
        self.assertEqual(LOG_PREFIX.sub("", shown["text"]), rest)
        self.assertEqual(LOG_PREFIX.sub("", log.read_text()), rest)
        self.assertEqual(state_keymap(self.sim.state_text(), 2), (NEW_MAP, "2000-01-01"))

    def test_usage_for_help_waits_for_ok(self):
        self.start_sim()
        process = self.start_tool(["/H"])
        shown = self.gui.find(title=BATCH_TITLE, cls="#32770", timeout_ms=20000)
        time.sleep(11)
        self.assertTrue(process.running())
        self.gui.find(title=BATCH_TITLE, cls="#32770", timeout_ms=1)
        self.gui.message(hwnd=hex(shown["hwnd"]), button="ok")
        self.assertEqual(process.wait(timeout=30).returncode, 0)


if __name__ == "__main__":
    unittest.main()
