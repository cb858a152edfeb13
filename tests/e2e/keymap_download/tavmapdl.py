"""What TAVmapDL's end-to-end and GUI tests share: key map table files, the simulator's
state, and one test fixture (kbdsim + Xvfb + a guidriver session) per test class."""

from __future__ import annotations

import os
import re
import shutil
import sys
import tempfile
import time
import unittest
from pathlib import Path
from typing import Optional, Sequence

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "driver"))

import harness  # noqa: E402
from guidriver import GuiDriver, prepare_display_prefix  # noqa: E402

MUTEX_NAME = "082F5E00-C13F-4ce9-B20A-4389590BE019"
BATCH_TITLE = "TAVmapDL"
MAIN_TITLE_EN = "Download Tool for keymap of the Keyboard"
MAIN_TITLE_JA = "Keyboard キーマップダウンロードツール"
JAPANESE_ENV = {"LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"}
ENGLISH_ENV = {"LANG": "en_US.UTF-8", "LC_ALL": "en_US.UTF-8"}

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


def today() -> str:
    return time.strftime("%Y-%m-%d")


class ToolTest(unittest.TestCase):
    """A test class with a private X display, a guidriver session and a temporary folder;
    each test starts its own kbdsim (self.start_sim)."""

    display: harness.Xvfb
    gui: GuiDriver

    @classmethod
    def setUpClass(cls) -> None:
        prepare_display_prefix()
        cls.display = harness.Xvfb().start()
        cls.gui = GuiDriver(cls.display.env())
        if not cls.gui.windows(hidden=1):
            raise harness.HarnessError("Wine's desktop is not on the test display")

    @classmethod
    def tearDownClass(cls) -> None:
        cls.gui.stop()

    def setUp(self) -> None:
        self.folder = Path(tempfile.mkdtemp(prefix="tavmapdl-"))
        self.sim: Optional[harness.Kbdsim] = None
        self.tools: list[harness.WindowsProcess] = []
        self.transcript_start = len(self.gui.transcript)

    def failed(self) -> bool:
        result = getattr(self._outcome, "result", None)
        problems = (result.failures + result.errors) if result is not None else []
        return any(test is self for test, _ in problems)

    def tearDown(self) -> None:
        if self.failed():
            shot = self.screenshot("failed_" + self._testMethodName)
            print(f"\nscreen at failure: {shot}\nguidriver transcript:", file=sys.stderr)
            for line in self.gui.transcript[self.transcript_start:][-40:]:
                print("  " + line, file=sys.stderr)
        for tool in self.tools:  # a failed test must not leave the instance mutex held
            if self.failed():
                state = "running" if tool.running() else f"exit {tool._popen.returncode}"
                output = bytes(getattr(tool, "_stderr", b"")).decode(errors="replace")
                print(f"TAVmapDL {tool.args}: {state}\n{output[-2000:]}", file=sys.stderr)
            tool.kill()
        if self.sim is not None:
            process = self.sim.process
            if self.failed():
                tail = self.sim.log_text().splitlines()[-12:]
                print("kbdsim frame log, last lines:\n  " + "\n  ".join(l[:60] for l in tail),
                      file=sys.stderr)
            self.sim.stop()
            if self.failed() and process is not None:
                output = bytes(getattr(process, "_stderr", b"")).decode(errors="replace")
                print(f"kbdsim exit {self.sim.exit_code}, stderr:\n{output[-3000:]}",
                      file=sys.stderr)
        if os.environ.get("KBD_E2E_KEEP") != "1":
            shutil.rmtree(self.folder, ignore_errors=True)

    def start_sim(self, models: Sequence[int] = (1, 2), state: Optional[str] = None,
                  commands: Sequence[str] = ()) -> harness.Kbdsim:
        self.sim = harness.Kbdsim(models=models, state=state, commands=commands).start()
        return self.sim

    def tool_env(self, language: Optional[dict] = None) -> dict:
        base = self.sim.env() if self.sim is not None else harness.wine_env()
        env = self.display.env(base)
        env.update(language or ENGLISH_ENV)
        return env

    def start_tool(self, args: Sequence[str] = (), language: Optional[dict] = None
                   ) -> harness.WindowsProcess:
        tool = harness.start_windows_exe(harness.exe_path("TAVmapDL"), list(args),
                                         env=self.tool_env(language), cwd=self.folder)
        self.tools.append(tool)
        return tool

    def frames_in(self, model: int) -> list[bytes]:
        """What the keyboard received, in order."""
        return [f.data for f in self.sim.frames(model=model, direction="in")]

    def screenshot(self, name: str) -> Path:
        return self.display.screenshot(SCREENSHOT_DIR / f"{name}.png")

    def win(self, path: Path) -> str:
        return harness.to_windows_path(path)
