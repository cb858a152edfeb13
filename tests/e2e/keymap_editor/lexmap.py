"""What Lexmap's GUI tests share: a copy of the program with its samples in a private folder,
the expected listing and table bytes, the control ids, and a fixture on the shared ToolTest
(kbdsim + Xvfb + a guidriver session)."""

from __future__ import annotations

import shutil
import sys
import time
from pathlib import Path
from typing import Optional, Sequence

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "keymap_download"))

import harness  # noqa: E402
from tavmapdl import (ENGLISH_ENV, JAPANESE_ENV, ToolTest, keymap_frames,  # noqa: E402,F401
                      keymap_state, write_table)

SAMPLES = harness.REPO / "keymap_editor" / "win32" / "samples"
SCREENSHOT_DIR = harness.REPO / "build" / "screenshots" / "keymap_editor"

CAPTION = {"en": "Sparrow Keymap Edit", "ja": "Sparrowキーマップ編集"}
ABOUT_TITLE = {"en": "Version Information", "ja": "バージョン情報"}

KEY_FIRST = 1000
LIST = 1100
ATTR = {"ordinary": 1110, "repeat": 1111, "shift": 1112, "ctrl": 1113, "alt": 1114}
SIZE = {"1x1": 1120, "2x1": 1121, "1x2": 1122, "2x2": 1123}
TIMESTAMP, FILENAME, GUIDE = 1130, 1131, 1133
IDM = {"new": 40001, "open": 40002, "save": 40003, "save_as": 40004, "export": 40005,
       "exit": 40006, "keymap_change": 40007, "about": 40008, "import_table": 40009,
       "read_keyboard": 40010}
WM_COMMAND, WM_CLOSE, WM_QUERYENDSESSION = 0x0111, 0x0010, 0x0011
ROWS = "ABCDEFGHJ"


def key(name: str) -> int:
    """Key index of "B3", "J1", …"""
    row, column = ROWS.index(name[0]), int(name[1:])
    return 10 * row + column - 1 if row < 8 else 80 + column - 1


def label(k: int) -> str:
    return f"{ROWS[k // 10]}{k % 10 + 1:02d}" if k < 80 else f"J{k - 79:02d}"


def keycode_names(language: str) -> list[str]:
    raw = (SAMPLES / ("Keycode.Jpn" if language == "ja" else "Keycode.Eng")).read_bytes()
    return raw.decode("cp932").split("\r\n")[:-1]


def listing_bytes(records: dict[int, tuple[int, int, int]], names: list[str],
                  encoding: str) -> bytes:
    """The listing the editor must save: records[k] = (key code, attribute, size code)."""
    lines = ["-" * 45, " No.   Key  Attr Size", "-" * 45]
    for k in range(88):
        code, attribute, size = records.get(k, (0, 0, 0))
        name = names[code] if code < len(names) else ""
        lines.append(f" {label(k)} : {code:02X}H, {attribute:02X}H, {size:02X}H, {name}")
    return ("\r\n".join(lines) + "\r\n").encode(encoding)


def keymap_of(records: dict[int, tuple[int, int, int]]) -> bytes:
    """The 192-byte key map the editor builds."""
    positions = [10 * r + c - 1 for c in range(10, 1, -1) for r in range(8)]
    positions += [0, 10, 20, 30, 40, 87, 86, 85, 84, 50, 60, 70, 80, 81, 82, 83]
    data = bytearray(192)
    for byte, k in enumerate(positions):
        code, attribute, _ = records.get(k, (0, 0, 0))
        data[byte], data[0x58 + byte] = code, attribute
    data[0xB0:] = b"\xff" * 16
    return bytes(data)


def table_bytes(keymap: bytes) -> bytes:
    lines = ["STARTTABLE"]
    for n in range(24):
        row = keymap[8 * n: 8 * n + 8]
        lines.append("T," + ",".join(f"{b:02X}H" for b in row) + f"  ;{8 * n:02X}-{8 * n + 7:02X}")
    lines.append("ENDTABLE")
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


# Import and Read from keyboard: the texts they show.
IMPORT_TEXTS = {
    "en": dict(lost="Contents of editing are lost, Is it OK?", new_file="[New File]",
               form_wrong="File form is wrong!", read_failed="Keymap read failed."),
    "ja": dict(lost="編集内容は失われます。よろしいですか？", new_file="[新規]",
               form_wrong="ファイル形式が違います。",
               read_failed="キーマップの読み込みに失敗しました。"),
}


def importable_keymap(seed: int) -> bytes:
    """A key map whose attributes any key can carry, FFH where the editor always puts it."""
    attributes = (0x00, 0x01, 0x02, 0x04, 0x10, 0x17)
    data = bytes((seed + 3 * i) & 0xFF for i in range(0x58))
    data += bytes(attributes[(i + seed) % 6] for i in range(0x58))
    return data + b"\xff" * 16


class LexmapTest(ToolTest):
    PROGRAM = "Lexmap"
    SCREENSHOT_DIR = SCREENSHOT_DIR
    language = "en"

    def setUp(self) -> None:
        super().setUp()
        self.program = self.folder / "program"
        self.program.mkdir()
        exe = harness.exe_path("Lexmap")
        shutil.copy(exe, self.program / "Lexmap.exe")
        for dll in exe.parent.glob("*.dll"):  # the stand-ins of a real-backend run
            shutil.copy(dll, self.program / dll.name)
        for sample in ("Keycode.Eng", "Keycode.Jpn", "Lexmap.INI"):
            shutil.copy(SAMPLES / sample, self.program / sample)

    def shot(self, name: str) -> Path:
        time.sleep(0.4)  # let the newest window finish painting
        return self.display.screenshot(SCREENSHOT_DIR / f"{self.language}_{name}.png")

    def screenshot(self, name: str) -> Path:
        return self.display.screenshot(SCREENSHOT_DIR / f"{name}.png")

    def start_tool(self, args: Sequence[str] = (), language: Optional[dict] = None
                   ) -> harness.WindowsProcess:
        env = language or (JAPANESE_ENV if self.language == "ja" else ENGLISH_ENV)
        tool = harness.start_windows_exe(self.program / "Lexmap.exe", list(args),
                                         env=self.tool_env(env), cwd=self.folder)
        self.tools.append(tool)
        return tool

    def start_editor(self):
        process = self.start_tool()
        editor = self.gui.find(title=CAPTION[self.language], has_id=LIST, timeout_ms=30000)
        return process, editor

    def command(self, editor: dict, name: str) -> None:
        """A menu command, posted as the menu would send it."""
        self.gui.post(editor, WM_COMMAND, IDM[name])

    def answer(self, button: str = "ok", icon: str = "error", text: Optional[str] = None,
               timeout_ms: int = 20000) -> dict:
        # The editor window has the same title: a message box is told by its text static.
        box = self.gui.message(title=CAPTION[self.language], has_id=0xFFFF,
                               timeout_ms=timeout_ms)
        self.assertEqual(box["icon"], icon, box)
        if text is not None:
            self.assertEqual(box["text"], text)
        self.gui.message(hwnd=hex(box["hwnd"]), button=button)
        return box

    def choose_file(self, path: Path, confirm: Optional[str] = None,
                    shot: Optional[str] = None) -> Optional[dict]:
        """Fills the open/save chooser's name field and presses its OK button. `confirm`
        answers the chooser's own question about that name (create it? replace it?): "yes",
        or "no" and the chooser is cancelled; `shot` names a screenshot of the question.
        Returns the question's box."""
        chooser = self.gui.find(cls="#32770", has_id=1148, timeout_ms=20000)
        self.gui.set_text(chooser, 1148, self.win(path))
        self.gui.click(chooser, 1)
        prompt = None
        if confirm is not None:
            prompt = self.gui.message(title="Error", timeout_ms=20000)
            if shot is not None:
                self.shot(shot)
            self.gui.message(hwnd=hex(prompt["hwnd"]), button=confirm)
            if confirm == "no":
                self.gui.click(chooser, 2)
        self.gui.wait_gone(chooser, timeout_ms=10000)
        return prompt

    def file_bytes(self, path: Path, expected: bytes, timeout: float = 10) -> bytes:
        """The file's bytes once they are `expected` (the editor writes after its chooser has
        closed), or what it holds at the time-out."""
        deadline = time.monotonic() + timeout
        while True:
            data = path.read_bytes() if path.exists() else b""
            if data == expected or time.monotonic() > deadline:
                return data
            time.sleep(0.05)

    def until(self, condition, what: str, timeout: float = 10) -> None:
        """Waits until `condition()` holds; fails with `what` at the time-out."""
        deadline = time.monotonic() + timeout
        while not condition():
            if time.monotonic() > deadline:
                self.fail(f"never: {what}")
            time.sleep(0.05)

    def wait_text(self, window: dict, control_id: int, expected: str, timeout: float = 10) -> str:
        """The control's text once it reads `expected`, or what it reads at the time-out."""
        deadline = time.monotonic() + timeout
        while True:
            text = self.gui.text(window, control_id)
            if text == expected or time.monotonic() > deadline:
                return text
            time.sleep(0.05)

    def assert_selected(self, editor: dict, name: str) -> None:
        """Exactly the key `name` shows the selection (input is handled after queries, so
        this waits for it)."""
        self.until(lambda: self.pushed_keys(editor) == [key(name)], f"{name} selected")

    def pushed_keys(self, editor: dict) -> list[int]:
        return [k for k in range(88) if self.gui.button_state(editor, KEY_FIRST + k)["pushed"]]

    def check_import_read_and_export(self) -> None:
        """Import a table, read the keyboard (after a No, then a Yes) and a failed read: each
        export gives the source's table byte for byte."""
        texts = IMPORT_TEXTS[self.language]
        source = importable_keymap(11)
        on_keyboard = importable_keymap(40)
        self.start_sim(models=(1,), state=keymap_state(1, on_keyboard))
        process, editor = self.start_editor()
        table = self.folder / "source.TBL"
        table.write_bytes(table_bytes(source))

        def export_is(name, keymap):
            self.command(editor, "export")
            out = self.folder / name
            self.choose_file(out)
            self.assertEqual(self.file_bytes(out, table_bytes(keymap)), table_bytes(keymap))

        # Not a table of 24 T lines: refused before any question.
        short = write_table(self.folder, "short.TBL", source, lines=20)
        self.command(editor, "import_table")
        self.choose_file(short)
        self.answer(text=texts["form_wrong"])

        self.command(editor, "import_table")
        self.choose_file(table)
        self.answer(button="yes", icon="warning", text=texts["lost"])
        self.assert_selected(editor, "J1")
        self.assertEqual(self.gui.text(editor, FILENAME), texts["new_file"])
        export_is("imported.TBL", source)

        # Read from keyboard: No keeps the edit, Yes takes the keyboard's map.
        self.command(editor, "read_keyboard")
        self.answer(button="no", icon="warning", text=texts["lost"])
        export_is("kept.TBL", source)
        self.command(editor, "read_keyboard")
        self.answer(button="yes", icon="warning", text=texts["lost"])
        self.shot("read_from_keyboard")
        export_is("keyboard.TBL", on_keyboard)
        self.assertEqual([f.data for f in self.sim.frames(model=1, direction="in")],
                         [harness.frame_bytes("00 11 02 00 13")] * 2)

        # A read that fails: a message, the edit as it was.
        self.sim.send("fault 1 nak on 11")
        self.command(editor, "read_keyboard")
        self.answer(text=texts["read_failed"])
        export_is("after_failure.TBL", on_keyboard)

        self.command(editor, "exit")
        self.answer(button="yes", icon="warning", text=texts["lost"])
        self.assertEqual(process.wait(timeout=20).returncode, 0)
