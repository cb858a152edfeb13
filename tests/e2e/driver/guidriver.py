"""Python side of guidriver.exe: one driver session per GUI test (see README.md).

    with GuiDriver(env) as gui:
        main = gui.find(title="...")
        gui.click(main, 1009)
        box = gui.message(title="Download tool", button="yes")
"""

from __future__ import annotations

import re
import struct
from pathlib import Path
from typing import Mapping, Optional

import harness

_PAIR = re.compile(r'([\w-]+)=("(?:[^"\\]|\\.)*"|\S*)')
_ESCAPES = {"\\": "\\", '"': '"', "n": "\n", "r": "\r", "t": "\t"}
_INT_KEYS = {"hwnd", "pid", "id", "visible", "enabled", "checked", "position"}


class DriverError(AssertionError):
    """guidriver answered a command with `error <reason>`."""


def _unquote(value: str) -> str:
    if not value.startswith('"'):
        return value
    out = []
    body = value[1:-1]
    i = 0
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            n = body[i + 1]
            if n == "x" and i + 3 < len(body):
                out.append(chr(int(body[i + 2 : i + 4], 16)))
                i += 4
                continue
            out.append(_ESCAPES.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def parse_fact(line: str) -> dict:
    """`window hwnd=0x1 title="a b"` → {"fact": "window", "hwnd": 1, "title": "a b"}."""
    word, _, rest = line.partition(" ")
    fact: dict = {"fact": word}
    for key, value in _PAIR.findall(rest):
        text = _unquote(value)
        if key in _INT_KEYS:
            try:
                fact[key] = int(text, 0)
                continue
            except ValueError:
                pass
        fact[key] = text
    return fact


def _quote(token: str) -> str:
    escaped = (token.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")
               .replace("\t", "\\t").replace("\r", "\\r"))
    return f'"{escaped}"'


def _options(window: Optional[dict], options: Mapping[str, object]) -> list[str]:
    tokens: list[str] = []
    if window is not None:
        tokens += ["--hwnd", hex(window["hwnd"])]
    for key, value in options.items():
        if value is None:
            continue
        name = "class" if key == "cls" else key.replace("_", "-")
        tokens += [f"--{name}", str(value)]
    return tokens


def logfont_value(face: str = "Noto Sans CJK JP", weight: int = 400) -> str:
    """A LOGFONTW (9 pt at 96 dpi) as the hex text `reg add /t REG_BINARY` takes."""
    head = struct.pack("<5i8B", -12, 0, 0, 0, weight, 0, 0, 0, 1, 0, 0, 0, 0)
    return (head + face.encode("utf-16-le").ljust(64, b"\0")).hex()


_PREFIX_MARK = ".guidriver-display-ready"
# What the mark file holds once the settings below are made; a prefix set up by an older
# version of this function (another text) is set up again.
_PREFIX_MARK_TEXT = "set up by tests/e2e/driver/guidriver.py: captions, fonts, Marlett, crashes\n"
# Debian's Wine ships the font of the caption buttons but does not load it by itself.
_MARLETT = Path("/usr/share/wine/fonts/marlett.ttf")


def prepare_display_prefix() -> None:
    """Makes the prefix show dialogs as a user sees them on an X server without a window
    manager: Wine draws the captions itself (Managed = N), and the system fonts of captions and
    message boxes get Japanese glyphs, which Wine's default Tahoma lacks (a Japanese Windows
    has MS UI Gothic there). Done once per prefix."""
    pfx = harness.ensure_prefix()
    mark = pfx / _PREFIX_MARK
    if mark.exists() and mark.read_text() == _PREFIX_MARK_TEXT:
        return
    harness.wine_reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "N")
    metrics = r"HKCU\Control Panel\Desktop\WindowMetrics"
    harness.wine_reg_add(metrics, "CaptionFont", logfont_value(weight=700), kind="REG_BINARY")
    for name in ("SmCaptionFont", "MessageFont", "MenuFont", "StatusFont", "IconFont"):
        harness.wine_reg_add(metrics, name, logfont_value(), kind="REG_BINARY")
    # Without Marlett the caption buttons show the letters "0 1 r" instead of their symbols.
    if _MARLETT.is_file():
        harness.wine_reg_add(r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts",
                             "Marlett (TrueType)", harness.to_windows_path(_MARLETT))
    # A crashing program ends with its backtrace on stderr instead of waiting in a dialog.
    harness.wine_reg_add(r"HKCU\Software\Wine\WineDbg", "ShowCrashDialog", "0",
                         kind="REG_DWORD")
    mark.write_text(_PREFIX_MARK_TEXT)


class GuiDriver:
    """A guidriver.exe session in the test's prefix; `env` must carry DISPLAY (Xvfb.env())."""

    def __init__(self, env: Optional[Mapping[str, str]] = None):
        self.process = harness.WindowsProcess(harness.exe_path("guidriver"), [], env=env,
                                              stdin_pipe=True)
        self.transcript: list[str] = []

    def __enter__(self) -> "GuiDriver":
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def stop(self) -> None:
        if self.process.running():
            try:
                self.process.stdin.write(b"quit\n")
                self.process.stdin.flush()
                self.process.stdin.close()
                self.process.wait(timeout=10)
            except (OSError, harness.HarnessError):
                self.process.kill()

    def command(self, name: str, *tokens: str, wait: float = 30) -> list[dict]:
        """Runs one command; returns its facts. DriverError on `error`."""
        line = " ".join([name, *(_quote(t) for t in tokens)])
        self.transcript.append("> " + line)
        self.process.stdin.write(line.encode("utf-8") + b"\n")
        self.process.stdin.flush()
        facts = []
        while True:
            answer = self.process.read_line(timeout=wait)
            if answer is None:
                ended = self.process.wait(timeout=5)
                raise DriverError(f"guidriver ended during: {line} (exit code {ended.returncode}, "
                                  f"stderr: {ended.stderr[-1500:]!r})")
            self.transcript.append(answer)
            if answer == "ok":
                return facts
            if answer.startswith("error"):
                raise DriverError(f"{line}: {answer}")
            facts.append(parse_fact(answer))

    def _wait(self, timeout_ms: Optional[int]) -> float:
        return (timeout_ms or 10000) / 1000 + 20

    # -- windows

    def find(self, timeout_ms: Optional[int] = None, **query) -> dict:
        """The first visible top-level window matching title=, title_has=, cls=, pid=, has_id=."""
        facts = self.command("find", *_options(None, dict(query, timeout=timeout_ms)),
                             wait=self._wait(timeout_ms))
        return facts[0]

    def windows(self, **query) -> list[dict]:
        return self.command("windows", *_options(None, query))

    def controls(self, window: dict) -> dict[int, dict]:
        """The window's controls by id (the first of equal ids wins)."""
        facts = self.command("controls", *_options(window, {}))
        found: dict[int, dict] = {}
        for fact in facts[1:]:
            found.setdefault(fact["id"], fact)
        return found

    def text(self, window: dict, control_id: Optional[int] = None) -> str:
        facts = self.command("get-text", *_options(window, {"id": control_id}))
        return facts[0]["value"]

    def set_text(self, window: dict, control_id: int, text: str) -> str:
        facts = self.command("set-text", *_options(window, {"id": control_id, "text": text}))
        return facts[0]["value"]

    def click(self, window: dict, control_id: int, via: Optional[str] = None) -> None:
        self.command("click", *_options(window, {"id": control_id, "via": via}))

    def check(self, window: dict, control_id: int) -> dict:
        return self.command("check", *_options(window, {"id": control_id}))[0]

    def select(self, window: dict, control_id: int, index: int) -> None:
        """Selects entry `index` of a list box or combo box, with its selection-change
        notification to the owner."""
        self.command("select", *_options(window, {"id": control_id, "index": index}))

    def message(self, button: Optional[str] = None, timeout_ms: Optional[int] = None,
                **query) -> dict:
        """Waits for a dialog (a message box by default), returns its `message` fact; with
        `button` presses it and waits until the dialog is gone."""
        facts = self.command("message",
                             *_options(None, dict(query, button=button, timeout=timeout_ms)),
                             wait=self._wait(timeout_ms))
        return facts[0]

    def close(self, window: dict) -> None:
        self.command("close", *_options(window, {}))

    def post(self, window: dict, msg: int, wparam: int = 0, lparam: int = 0) -> None:
        self.command("post", *_options(window, {"msg": msg, "wparam": wparam,
                                                "lparam": lparam}))

    def send(self, window: dict, msg: int, wparam: int = 0, lparam: int = 0) -> int:
        """The window's answer (its LRESULT) to a message sent to it."""
        facts = self.command("send", *_options(window, {"msg": msg, "wparam": wparam,
                                                        "lparam": lparam}))
        return int(facts[0]["result"])

    def wait_gone(self, window: Optional[dict] = None, timeout_ms: Optional[int] = None,
                  **query) -> None:
        self.command("wait-gone", *_options(window, dict(query, timeout=timeout_ms)),
                     wait=self._wait(timeout_ms))

    def absent(self, **query) -> None:
        """DriverError when a matching window is on screen now."""
        self.command("absent", *_options(None, query))

    # -- real input (hooks see it) and the queries that go with it

    def mouse_click(self, window: dict, control_id: Optional[int] = None, double: bool = False,
                    x: Optional[int] = None, y: Optional[int] = None) -> dict:
        """A real left click (SendInput) on the centre of a control, or at screen x, y."""
        return self.command("mouse-click", *_options(window, {
            "id": control_id, "double": 1 if double else None, "x": x, "y": y}))[0]

    def key_chord(self, window: dict, keys: str, repeat: Optional[int] = None) -> None:
        """Real key presses, e.g. "shift+left", "space", "alt+f4" (`repeat` times)."""
        self.command("key-chord", *_options(window, {"keys": keys, "repeat": repeat}))

    def move(self, window: dict, x: int, y: int) -> dict:
        """Moves a top-level window to screen x, y; its new `window` fact."""
        return self.command("move", *_options(window, {"x": x, "y": y}))[0]

    def button_state(self, window: dict, control_id: int) -> dict:
        """`pushed`, `checked`, `focus` of a button (BM_GETSTATE)."""
        fact = self.command("button-state", *_options(window, {"id": control_id}))[0]
        fact["pushed"], fact["focus"] = int(fact["pushed"]), int(fact["focus"])
        return fact

    def listbox_selection(self, window: dict, control_id: int) -> dict:
        """`index` (-1: none) and `text` of a list box's selection."""
        fact = self.command("listbox-selection", *_options(window, {"id": control_id}))[0]
        fact["index"] = int(fact["index"])
        return fact

    def focus(self, window: dict) -> Optional[dict]:
        """The control fact of the focused control in the window's thread, or None."""
        fact = self.command("focus", *_options(window, {}))[0]
        return fact if "id" in fact else None

    def rect(self, window: dict, control_id: int) -> dict:
        """`screen` and `client` rectangles (tuples) and `visible` of a control."""
        fact = self.command("rect", *_options(window, {"id": control_id}))[0]
        for key in ("screen", "client"):
            fact[key] = tuple(int(v) for v in fact[key].split(","))
        return fact
