"""What TAVFrmDL's end-to-end, GUI and benchmark scripts share: firmware files, the frames the
keyboard must receive, the simulator's firmware state, and one test fixture (kbdsim + Xvfb + a
guidriver session) per test class."""

from __future__ import annotations

import random
import re
import sys
import threading
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "driver"))

import harness  # noqa: E402
import tool_test  # noqa: E402
from guidriver import GuiDriver  # noqa: E402
from tool_test import ENGLISH_ENV, JAPANESE_ENV, today  # noqa: E402,F401

MUTEX_NAME = "C54FD160-AEAD-11d3-9AB0-00105AC8B185"
MAIN_TITLE_EN = "Download Tool for firmware of the Keyboard"
MAIN_TITLE_JA = "Keyboard ファームウェア書き換えツール"
WINDOW_START = 0xFB0000
IMAGE_SIZE = 0x10000
SCREENSHOT_DIR = harness.REPO / "build" / "screenshots" / "firmware_download"


def random_image(seed: int, holes: bool = True) -> bytes:
    """A 64 KiB image; with `holes`, some 32-byte rows left 0xFF (no record covers them)."""
    rng = random.Random(seed)
    image = bytearray(rng.randrange(256) for _ in range(IMAGE_SIZE))
    if holes:
        for row in rng.sample(range(IMAGE_SIZE // 32), 300):
            image[32 * row : 32 * row + 32] = b"\xff" * 32
    return bytes(image)


def s2_record(address: int, data: bytes) -> str:
    count = 3 + len(data) + 1
    body = bytes([count, address >> 16 & 0xFF, address >> 8 & 0xFF, address & 0xFF]) + data
    return "S2" + body.hex().upper() + f"{~sum(body) & 0xFF:02X}"


def firmware_text(image: bytes, lower: bool = False, joined: bool = False) -> str:
    """An S-record file for `image`: a header, S2 records of 32 bytes for every row that is not
    all 0xFF, a record below the window that must be skipped, and the S8 end record; with
    `lower` its hex digits in lower case, with `joined` no line end between the records."""
    lines = ["S00F000068656C6C6F202020202000003C", "S1130000285F245F2212226A000424290008237C2A"]
    for offset in range(0, IMAGE_SIZE, 32):
        row = image[offset : offset + 32]
        if row != b"\xff" * 32:
            lines.append(s2_record(WINDOW_START + offset, row))
    lines.append("S804000000FB")
    if lower:
        lines = ["S" + line[1:].lower() for line in lines]
    return "".join(lines) if joined else "\r\n".join(lines) + "\r\n"


def write_firmware(path: Path, image: bytes, lower: bool = False, joined: bool = False) -> Path:
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(firmware_text(image, lower, joined).encode("ascii"))
    return path


def data_frame(block: bytes) -> bytes:
    frame = bytearray(38)
    frame[1:5] = b"\x20\x23\x00\x01"
    frame[5:37] = block
    frame[37] = sum(frame[1:37]) & 0xFF
    return bytes(frame)


def download_frames(image: bytes) -> list[bytes]:
    """Init, start, 2048 data and end frames of a download of `image`."""
    total = sum(image) & 0xFFFF
    start = bytearray(38)
    start[1:8] = bytes([0x20, 0x06, 0x00, 0x00, 0x00, total >> 8, total & 0xFF])
    start[8] = sum(start[1:8]) & 0xFF
    frames = [harness.frame_bytes("00 20 06 00 AA 00 05 50 25"), bytes(start)]
    frames += [data_frame(image[i : i + 32]) for i in range(0, IMAGE_SIZE, 32)]
    frames.append(harness.frame_bytes("00 20 03 00 FF 22"))
    return frames


def date_frame(text: str, encoding: str = "ascii") -> bytes:
    """The firmware date stamp frame (item 0x05) for a date text."""
    body = bytearray(38)
    body[1:4] = b"\x08\x0c\x05"
    raw = text.encode(encoding)[:10]
    body[4 : 4 + len(raw)] = raw
    body[14] = sum(body[1:14]) & 0xFF
    return bytes(body)


def state_firmware(state: str, model: int) -> tuple[bytes, str, int]:
    """The firmware image, firmware date and block count the simulator keeps for a model."""
    section = re.search(rf"^\[model {model}\]\n(.*?)(?=^\[|\Z)", state, re.M | re.S)
    if not section:
        raise AssertionError(f"no [model {model}] in state")
    body = section.group(1)
    image = bytearray(b"\xff" * IMAGE_SIZE)
    for offset, row in re.findall(r"^firmware = ([0-9A-F]{4}): (.*)$", body, re.M):
        image[int(offset, 16) : int(offset, 16) + 32] = bytes.fromhex(row)
    date = re.search(r'^firmware-date = "(.*)"$', body, re.M)
    blocks = re.search(r"^firmware-blocks = (\d+)$", body, re.M)
    return bytes(image), date.group(1) if date else "", int(blocks.group(1)) if blocks else -1


class WindowWatch:
    """Lists the visible top-level windows every few tenths of a second while a batch run
    goes on; `seen` holds every window found."""

    def __init__(self, gui: GuiDriver):
        self.gui = gui
        self.seen: list[dict] = []
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._watch, daemon=True)

    def _watch(self) -> None:
        while not self._stop.is_set():
            self.seen += self.gui.windows()
            self._stop.wait(0.3)

    def __enter__(self) -> "WindowWatch":
        self._thread.start()
        return self

    def __exit__(self, *exc) -> None:
        self._stop.set()
        self._thread.join(timeout=30)


class ToolTest(tool_test.ToolTest):
    PROGRAM = "TAVFrmDL"
    SCREENSHOT_DIR = SCREENSHOT_DIR
    DEFAULT_MODELS = (2,)
