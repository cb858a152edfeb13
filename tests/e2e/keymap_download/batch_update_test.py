"""TAVmapDL batch writes that reach the keyboard: write-if-different with a given date and a
backup of the old map (result 0, with the real 12 s pause before the date stamp) and a write
over its 10 s budget (17)."""

import unittest

import harness
from tavmapdl import (BATCH_TITLE, LOG_PREFIX, ToolTest, date_frame, keymap_frames,
                      keymap_state, state_keymap, table_text, write_table)

REED_MAP = bytes((11 * i + 5) & 0xFF for i in range(160))
NEW_REED_MAP = bytes(reversed(REED_MAP))


class BatchUpdate(ToolTest):
    def run_batch(self, args):
        process = self.start_tool(args)
        shown = self.gui.message(title=BATCH_TITLE, button="ok", timeout_ms=40000)
        return process.wait(timeout=60).returncode, shown["text"]

    def test_write_when_different_sends_map_then_given_date(self):
        self.start_sim(state=keymap_state(2, REED_MAP, date="2000-01-01"))
        table = write_table(self.folder, "new.tbl", NEW_REED_MAP, lines=20)
        log = self.folder / "log.csv"
        backup = self.folder / "old map.tbl"
        # /T last: its value keeps the trailing blank, and only ten characters are sent.
        code, text = self.run_batch(["/2", "/W", self.win(table), "/B", f'"{self.win(backup)}"',
                                     "/L", self.win(log), "/T", "2011-01-01"])
        self.assertEqual(code, 0)
        self.assertRegex(text, LOG_PREFIX)
        self.assertEqual(LOG_PREFIX.sub("", text), " Reed, new.tbl, update success.\n")
        self.assertEqual(log.read_bytes(), text.replace("\n", "\r\n").encode("ascii"))

        # /B saved the old map, exactly as read, before the write.
        self.assertEqual(backup.read_bytes(),
                         table_text(REED_MAP, lines=20).replace("\n", "\r\n").encode("ascii"))

        received = self.sim.frames(model=2, direction="in")
        self.assertEqual([f.data for f in received],
                         [harness.frame_bytes("00 11 02 01 14")] * 2
                         + keymap_frames(2, NEW_REED_MAP) + [date_frame("2011-01-01")])
        pause = received[-1].time - received[-2].time
        self.assertGreaterEqual(pause, 11.9)
        self.assertLess(pause, 14)
        self.assertEqual(state_keymap(self.sim.state_text(), 2), (NEW_REED_MAP, "2011-01-01"))

    def test_write_over_budget_times_out_before_the_end_frame(self):
        # Every write frame answered 2.6 s late: the third data frame's reply passes 10 s.
        self.start_sim(state=keymap_state(2, REED_MAP),
                       commands=["fault 2 delay 2600 on 21 always"])
        table = write_table(self.folder, "new.tbl", NEW_REED_MAP, lines=20)
        code, text = self.run_batch(["/2", "/F", self.win(table)])
        self.assertEqual(code, 3)
        # The file option came last: its value (and so the logged name) keeps the blank after it.
        self.assertEqual(LOG_PREFIX.sub("", text), " Reed, new.tbl , timeout error.\n")
        self.assertEqual(self.frames_in(2), keymap_frames(2, NEW_REED_MAP)[:4])
        self.assertEqual(state_keymap(self.sim.state_text(), 2)[1], "2000-01-01")


if __name__ == "__main__":
    unittest.main()
