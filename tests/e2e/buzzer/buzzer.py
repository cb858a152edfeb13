"""What the buzzer library's end-to-end tests share: a client's installation folder (the
library, the check tool and the test clients of one bitness, copied into a folder whose name
has blanks), and clients driven line by line through buzz_client.exe's `repl`."""

from __future__ import annotations

import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Optional

import harness

FILES = ("TVKBDCMD.dll", "TAVBuzzChk.exe", "buzz_client.exe", "buzz_linked.exe",
         "buzz_nested.dll")
SKIP = 77  # the exit code by which ctest reports a test as skipped


def skip_unless_32bit_runs() -> None:
    """Ends the script as skipped, with the reason, where this host cannot run 32-bit x86
    programs (some kernels refuse them with "Exec format error"): the 32-bit Wine loader, or
    $KBD_WINE32_LOADER, is run once to find out."""
    loader = os.environ.get("KBD_WINE32_LOADER", "/usr/lib/wine/wine")
    try:
        probe = subprocess.run([loader, "--version"], capture_output=True, text=True, timeout=60)
        reason = None if probe.returncode == 0 else (
            f"exit code {probe.returncode}: {(probe.stderr or probe.stdout).strip()[-300:]}")
    except OSError as error:
        reason = str(error)
    except subprocess.TimeoutExpired:
        reason = "no answer within 60 s"
    if reason is not None:
        print(f"SKIPPED: this host cannot run 32-bit programs ({loader}: {reason})")
        sys.exit(SKIP)


def build_folder(bits: int) -> Path:
    """The build's folder of the library and its tool: $KBD_BUZZER<bits>_BIN."""
    value = os.environ.get(f"KBD_BUZZER{bits}_BIN")
    if not value:
        raise harness.HarnessError(f"KBD_BUZZER{bits}_BIN is not set")
    folder = Path(value)
    for name in FILES:
        if not (folder / name).is_file():
            raise harness.HarnessError(
                f"{folder / name} is missing: build the windows{'32' if bits == 32 else ''} preset")
    return folder


class Install:
    """A point-of-sale program's folder: TVKBDCMD.dll, TAVBuzzChk.exe and the clients."""

    def __init__(self, bits: int, root: Path):
        self.bits = bits
        self.folder = root / f"POS Till {bits}"
        self.folder.mkdir(parents=True)
        for name in FILES:
            shutil.copy2(build_folder(bits) / name, self.folder / name)
        harness.add_real_hid_standins(self.folder, bits32=bits == 32)

    def select_sound(self, value: Optional[int]) -> None:
        """ReedBeep.ini with "SelectSound" = value; None removes the file."""
        ini = self.folder / "ReedBeep.ini"
        if value is None:
            ini.unlink(missing_ok=True)
        else:
            ini.write_bytes(f"[Speaker]\r\nSelectSound={value}\r\n".encode())

    def client(self, sim: harness.Kbdsim, env: Optional[dict] = None, **where) -> "Client":
        """buzz_client.exe of this installation, or `exe` (a copy elsewhere) run in `cwd`."""
        return Client(self, sim, env, **where)

    def run(self, exe: str, args=(), sim: Optional[harness.Kbdsim] = None, timeout=60):
        return harness.run_windows_exe(self.folder / exe, args,
                                       env=sim.env() if sim else None, cwd=self.folder,
                                       timeout=timeout)


class Client:
    """buzz_client.exe in an installation, one command per line, one answer line each."""

    def __init__(self, install: Install, sim: harness.Kbdsim, env: Optional[dict] = None,
                 exe: Optional[Path] = None, cwd: Optional[Path] = None):
        self.install = install
        self.process = harness.WindowsProcess(exe or install.folder / "buzz_client.exe", ["repl"],
                                              env=sim.env(env), cwd=cwd or install.folder,
                                              stdin_pipe=True)

    def ask(self, command: str, timeout: float = 60) -> str:
        self.process.stdin.write(command.encode() + b"\n")
        self.process.stdin.flush()
        line = self.process.read_line(timeout=timeout)
        if line is None:
            result = self.process.wait(timeout=10)
            raise AssertionError(f"buzz_client ended at {command!r}: {result.stderr[-2000:]}")
        return line

    def end(self, timeout: float = 30) -> harness.RunResult:
        self.process.stdin.close()
        return self.process.wait(timeout=timeout)

    def tool(self) -> dict[str, str]:
        """{'count': processes named TAVBuzzChk.exe, 'window': yes|no, 'handles': n|-,
        'windows': the tool windows}"""
        line = self.ask("tool")
        words = line.split()
        if words[:1] != ["tool"]:
            raise AssertionError(f"tool: {line}")
        return dict(w.split("=", 1) for w in words[1:])

    def wait_shared(self, settled, timeout: float = 15) -> str:
        """The client's "shared" answer once `settled(answer)` holds (or the last one seen). A
        library that started the check tool stays loaded until its starter thread is done, so
        a replay's unload shows in the count a moment later, longer on a busy machine."""
        deadline = time.monotonic() + timeout
        while True:
            seen = self.ask("shared")
            if settled(seen) or time.monotonic() > deadline:
                return seen
            time.sleep(0.2)

    def wait_tool(self, count: int, window: str, timeout: float = 15,
                  processes: bool = False) -> dict[str, str]:
        """Polls until that many check tools run and the window is (not) there. Tools are
        counted by their windows once the window's state is right: a copy whose start was
        cut short (its starter's process ended at that moment) may linger under Wine without
        ever running; `processes` counts the processes instead."""
        deadline = time.monotonic() + timeout
        while True:
            seen = self.tool()
            if int(seen["count" if processes else "windows"]) == count and seen["window"] == window:
                return seen
            if time.monotonic() > deadline:
                raise AssertionError(f"check tool: wanted count={count} window={window}, "
                                     f"have {seen}")
            time.sleep(0.2)


def frames_since(sim: harness.Kbdsim, mark: int) -> list[str]:
    """The frames the keyboards received since `mark` (a count of received frames), as
    "<model>: <bytes up to the checksum>" with the padding checked to be zero."""
    out = []
    for frame in sim.frames(direction="in")[mark:]:
        length = min(frame.data[2], 35)
        used = frame.data[: 3 + length]
        padding = frame.data[3 + length:]
        text = " ".join(f"{b:02X}" for b in used)
        if any(padding):
            text += " + non-zero padding " + padding.hex()
        out.append(f"{frame.model}: {text}")
    return out


def received(sim: harness.Kbdsim) -> int:
    return len(sim.frames(direction="in"))


class Facts:
    """Collects failed checks so one run reports every fact it disproved."""

    def __init__(self):
        self.failed: list[str] = []

    def check(self, what: str, ok: bool, detail: object = "") -> None:
        print(("ok   " if ok else "FAIL ") + what + ("" if ok else f": {detail}"))
        if not ok:
            self.failed.append(what)

    def equal(self, what: str, have, want) -> None:
        self.check(what, have == want, f"have {have!r}, want {want!r}")

    def exit_code(self) -> int:
        if self.failed:
            print(f"{len(self.failed)} fact(s) failed: " + "; ".join(self.failed))
            return 1
        print("all facts hold")
        return 0


def temp_root() -> Path:
    root = Path(tempfile.mkdtemp(prefix="buzzer-e2e-"))
    if os.environ.get("KBD_E2E_KEEP") != "1":
        import atexit
        atexit.register(shutil.rmtree, root, True)
    else:
        print(f"installation kept in {root}", file=sys.stderr)
    return root
