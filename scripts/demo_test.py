"""The demo's sample table and its reading of the frame log, checked without Wine."""

import contextlib
import io
import sys
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))

import demo  # noqa: E402
import harness  # noqa: E402
from tavmapdl import date_frame, keymap_frames, table_text  # noqa: E402


def log_line(time: float, direction: str, frame: bytes) -> str:
    return f"{time:.3f} 1 {direction} " + " ".join(f"{b:02X}" for b in frame)


def download_log(keymap: bytes) -> list[str]:
    """The frame log of a /W download that reads the initial map and writes `keymap`."""
    initial = bytes(range(192))
    read = [harness.frame_bytes("00 11 02 00 13")]
    replies = [harness.frame_bytes("00 11 01 12"),
               harness.frame_bytes("00 11 06 00 00 00 47 A0 FE")]
    replies += [bytes([0, 0x11, 0x23, 0, 1]) + initial[i : i + 32] + b"\0"
                for i in range(0, 192, 32)]
    replies.append(harness.frame_bytes("00 11 03 00 FF 13"))
    lines = [log_line(0.1, "in", read[0])] + [log_line(0.1, "out", r) for r in replies]
    for frame in keymap_frames(1, keymap):
        ack = harness.frame_bytes("00 21 01 22")
        lines += [log_line(0.2, "in", frame), log_line(0.2, "out", ack)]
    lines += [log_line(12.2, "in", date_frame("2011-01-01")),
              log_line(12.2, "out", harness.frame_bytes("00 08 01 09"))]
    return lines


class FakeSim:
    def __init__(self):
        self.lines: list[str] = []

    def log_text(self) -> str:
        return "".join(line + "\n" for line in self.lines)


class SampleTable(unittest.TestCase):
    def test_sample_is_written_as_the_editor_writes_a_pos_key_map(self):
        keymap = demo.table_keymap(demo.SAMPLE)
        self.assertEqual(len(keymap), 192)
        expected = table_text(keymap).replace("\n", "\r\n").encode("ascii")
        self.assertEqual(demo.SAMPLE.read_bytes(), expected)
        self.assertEqual(keymap[0xB0:], b"\xff" * 16)
        # Attributes carry only the Ctrl, Shift, Alt and Repeat bits.
        self.assertFalse([a for a in keymap[0x58:0xB0] if a & ~0x17])
        # /W only writes when the keyboard holds something else than the simulator's start map.
        self.assertNotEqual(keymap, bytes(range(192)))


class FrameLog(unittest.TestCase):
    def test_download_is_annotated_once_per_frame_with_the_pause_noted(self):
        sim, wire, out = FakeSim(), demo.WireTranscript(), io.StringIO()
        log = download_log(demo.table_keymap(demo.SAMPLE))
        with contextlib.redirect_stdout(out):
            # The log grows while the demo polls it: nothing may be printed twice or skipped.
            for end in (3, 3, 20, len(log)):
                sim.lines = log[:end]
                wire.show_new(sim)
        text = out.getvalue()
        for annotation in ["key map read request",
                           "key map read: start frame, model flag 0, sum 47A0",
                           "key map read: data frame 6, key map bytes A0-BF",
                           "key map write: start frame, model flag 0, sum 30EE",
                           "key map write: data frame 1, key map bytes 00-1F",
                           "key map write: data frame 6, key map bytes A0-BF",
                           'date stamp, key map date: "2011-01-01"']:
            self.assertEqual(text.count(annotation), 1, annotation)
        self.assertEqual(text.count("ACK of command 21"), 8)
        self.assertEqual(text.count("waits 12 s"), 1)
        self.assertLess(text.index("key map write: end frame"), text.index("waits 12 s"))
        self.assertLess(text.index("waits 12 s"), text.index("date stamp"))

    def test_negative_replies_and_foreign_frames_are_named(self):
        nak = harness.frame_bytes("00 81 02 21 A4")
        self.assertEqual(demo.describe(nak, "out", {}), "negative reply to command 21")
        self.assertEqual(demo.meaningful_hex(nak), "00 81 02 21 A4 (00 ...)")
        firmware_start = harness.frame_bytes("00 20 06 00 00 00 00 00 26")
        self.assertEqual(demo.describe(firmware_start, "in", {}), "other frame")


if __name__ == "__main__":
    unittest.main()
