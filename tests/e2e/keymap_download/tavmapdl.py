"""What TAVmapDL's end-to-end and GUI tests share: key map table files, the simulator's
state, and one test fixture (kbdsim + Xvfb + a guidriver session) per test class."""

from __future__ import annotations

import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "driver"))

import harness  # noqa: E402
import tool_test  # noqa: E402
from tool_test import ENGLISH_ENV, JAPANESE_ENV, today  # noqa: E402,F401

MUTEX_NAME = "082F5E00-C13F-4ce9-B20A-4389590BE019"
BATCH_TITLE = "TAVmapDL"
MAIN_TITLE_EN = "Download Tool for keymap of the Keyboard"
MAIN_TITLE_JA = "Keyboard キーマップダウンロードツール"

# Log line: the time prefix, then the rest. Month, day, hour and minute always have two digits.
LOG_PREFIX = re.compile(r"^\d{4}-\d\d-\d\d, \d\d:\d\d,")

SCREENSHOT_DIR = harness.REPO / "build" / "screenshots" / "keymap_download"


def table_text(keymap: bytes, lines: int = 24) -> str:
    """A key map table file as the key map editor writes it (LF; written with CR LF)."""
    out = ["STARTTABLE"]
    for n in range(lines):
        row = keymap[8 * n : 8 * n + 8].ljust(8, b"\xff")
        groups = "".join(f",{b:02X}H" for b in row)
        out.append(f"T{groups}  ;{8 * n:02X}-{8 * n + 7:02X}")
    out.append("ENDTABLE")
    return "\n".join(out) + "\n"


def write_table(folder: Path, name: str, keymap: bytes, lines: int = 24) -> Path:
    path = folder / name
    path.write_bytes(table_text(keymap, lines).replace("\n", "\r\n").encode("ascii"))
    return path


def keymap_state(model: int, keymap: bytes, date: str = "2000-01-01") -> str:
    """A state-file section giving a keyboard its key map and key map date."""
    lines = [f"[model {model}]"]
    for i in range(0, len(keymap), 32):
        lines.append("keymap = " + " ".join(f"{b:02X}" for b in keymap[i : i + 32]))
    lines.append(f'keymap-date = "{date}"')
    return "\n".join(lines) + "\n"


def state_keymap(state: str, model: int) -> tuple[bytes, str]:
    """The key map and key map date that the simulator's state file holds for a model."""
    section = re.search(rf"^\[model {model}\]\n(.*?)(?=^\[|\Z)", state, re.M | re.S)
    if not section:
        raise AssertionError(f"no [model {model}] in state:\n{state}")
    body = section.group(1)
    data = bytes.fromhex("".join(re.findall(r"^keymap = (.*)$", body, re.M)))
    date = re.search(r'^keymap-date = "(.*)"$', body, re.M)
    return data, date.group(1) if date else ""


def date_frame(text: str) -> bytes:
    """The date stamp frame the keyboard must receive for a date text."""
    body = bytearray(38)
    body[1:4] = b"\x08\x0c\x03"
    raw = text.encode("ascii")[:10]
    body[4 : 4 + len(raw)] = raw
    body[14] = sum(body[1:14]) & 0xFF
    return bytes(body)


def keymap_frames(model: int, keymap: bytes) -> list[bytes]:
    """Start, data and end frames of a key map write of `keymap` (already model-sized)."""
    flag = 0 if model == 1 else 1
    total = sum(keymap) & 0xFFFF
    start = bytearray(38)
    start[1:8] = bytes([0x21, 0x06, 0x00, 0x00, flag, total >> 8, total & 0xFF])
    start[8] = sum(start[1:8]) & 0xFF
    frames = [bytes(start)]
    for i in range(0, len(keymap), 32):
        data = bytearray(38)
        data[1:5] = b"\x21\x23\x00\x01"
        data[5:37] = keymap[i : i + 32]
        data[37] = sum(data[1:37]) & 0xFF
        frames.append(bytes(data))
    frames.append(harness.frame_bytes("00 21 03 00 FF 23"))
    return frames


class ToolTest(tool_test.ToolTest):
    PROGRAM = "TAVmapDL"
    SCREENSHOT_DIR = SCREENSHOT_DIR
