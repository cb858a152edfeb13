"""The fixture every tool's dialog and batch tests share: a private X display and a guidriver
session per test class, a temporary folder and a fresh kbdsim per test, and on failure a
screenshot, the driver's transcript, the tools' and the simulator's last words. A tool's
scripts subclass ToolTest and name their program."""

from __future__ import annotations

import os
import shutil
import sys
import tempfile
import time
import unittest
from pathlib import Path
from typing import Optional, Sequence

sys.path.insert(0, str(Path(__file__).resolve().parent / "driver"))

import harness  # noqa: E402
from guidriver import DriverError, GuiDriver, prepare_display_prefix  # noqa: E402

JAPANESE_ENV = {"LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"}
ENGLISH_ENV = {"LANG": "en_US.UTF-8", "LC_ALL": "en_US.UTF-8"}


def today() -> str:
    return time.strftime("%Y-%m-%d")


class ToolTest(unittest.TestCase):
    """A test class with a private X display, a guidriver session and a temporary folder;
    each test starts its own kbdsim (self.start_sim). Subclasses set PROGRAM (the executable
    under test), SCREENSHOT_DIR and, where they differ, DEFAULT_MODELS."""

    PROGRAM = ""
    SCREENSHOT_DIR = harness.REPO / "build" / "screenshots"
    DEFAULT_MODELS: Sequence[int | str] = (1, 2)

    display: harness.Xvfb
    gui: GuiDriver

    @classmethod
    def setUpClass(cls) -> None:
        prepare_display_prefix()
        cls.display = harness.Xvfb().start()
        # The test driver has once ended at its first command as a run began (cause not yet
        # known); a fresh one is tried once, and why the first ended is kept on stderr.
        for attempt in (1, 2):
            cls.gui = GuiDriver(cls.display.env())
            try:
                desktop = cls.gui.windows(hidden=1)
                break
            except DriverError as error:
                if attempt == 2:
                    raise
                print(f"guidriver started again: {error}", file=sys.stderr)
                cls.gui.stop()
        if not desktop:
            raise harness.HarnessError("Wine's desktop is not on the test display")

    @classmethod
    def tearDownClass(cls) -> None:
        cls.gui.stop()

    def setUp(self) -> None:
        self.folder = Path(tempfile.mkdtemp(prefix=self.PROGRAM.lower() + "-"))
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
                print(f"{self.PROGRAM} {tool.args}: {state}\n{output[-2000:]}", file=sys.stderr)
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

    def start_sim(self, models: Optional[Sequence[int | str]] = None, state: Optional[str] = None,
                  commands: Sequence[str] = ()) -> harness.Kbdsim:
        self.sim = harness.Kbdsim(models=self.DEFAULT_MODELS if models is None else models, state=state,
                                  commands=commands).start()
        return self.sim

    def tool_env(self, language: Optional[dict] = None) -> dict:
        base = self.sim.env() if self.sim is not None else harness.wine_env()
        env = self.display.env(base)
        env.update(language or ENGLISH_ENV)
        return env

    def start_tool(self, args: Sequence[str] = (), language: Optional[dict] = None
                   ) -> harness.WindowsProcess:
        tool = harness.start_windows_exe(harness.exe_path(self.PROGRAM), list(args),
                                         env=self.tool_env(language), cwd=self.folder)
        self.tools.append(tool)
        return tool

    def run_tool(self, args: Sequence[str], timeout: float = 90) -> int:
        return self.start_tool(args).wait(timeout=timeout).returncode

    def frames_in(self, model: int) -> list[bytes]:
        """What the keyboard received, in order."""
        return [f.data for f in self.sim.frames(model=model, direction="in")]

    def screenshot(self, name: str) -> Path:
        return self.display.screenshot(self.SCREENSHOT_DIR / f"{name}.png")

    def win(self, path: Path) -> str:
        return harness.to_windows_path(path)
