"""End-to-end test harness: the suite's Windows programs under Wine against kbdsim.exe.

Python 3 standard library only. Test scripts import it (ctest puts this folder on PYTHONPATH;
scripts run by hand can do ``sys.path.insert(0, <this folder>)``), and are plain programs that
exit non-zero on failure (unittest is fine).

Environment, as ctest sets it per test (see ``kbd_e2e_test`` in CMakeLists.txt):

``WINEPREFIX``
    The Wine prefix of the test's lane. Without it: ``<repo>/build/windows/wine/default``.
``KBD_WIN_BIN``
    The Windows build directory, searched for executables by name.
    Without it: ``<repo>/build/windows``.
``KBD_EXE_<NAME>``
    Exact path of one executable (``KBD_EXE_KBDSIM``, ``KBD_EXE_LINK_PROBE``, ...); wins over
    the search in ``KBD_WIN_BIN``. Relative paths here and above are to the script's start
    folder.
``KBD_E2E_KEEP``
    When set to 1, temporary folders (kbdsim's frame log and state file) are kept and their
    paths printed, for looking at a failed test.
``KBD_E2E_BACKEND``
    ``realhid``: the programs under test run through their real HID backend with the stand-in
    setupapi.dll and hid.dll of tests/hid_standin/ (see "The real HID backend" below).
    ``hidstack``: they run through their real HID backend on Wine's own HID stack, kbdsim's
    keyboards presented by the test drivers of tests/hidstack/ (see "Wine's HID stack" below).
``KBD_E2E_DISPLAY``
    An X display to use instead of the script's private Xvfb (to watch a test). $DISPLAY is
    never used: a test run must not depend on, or draw on, the desktop it was started from.

Main API:

- ``exe_path(name)``: path of a built executable (``exe_path("kbdsim")``).
- ``ensure_prefix()``: initialises the prefix once (wineboot), safe when tests start at once.
- ``run_windows_exe(path, args, env, timeout)`` -> ``RunResult(returncode, stdout, stderr)``.
- ``start_windows_exe(path, args, env)`` -> ``WindowsProcess`` running in the background.
- ``Kbdsim(models=..., state=..., commands=..., workdir=...)``: context manager around
  kbdsim.exe, with ``send``, ``frames``, ``events``, ``state_text``, ``env`` and
  ``interface_path`` (the device path a tool opens for one of kbdsim's interfaces).
- ``Xvfb()``: context manager giving the script's X display, with ``env`` and ``screenshot``.
- ``desktop_display()``: the name of that display (":12").
- ``wine_reg_add(key, name, value)``: a registry value in the prefix (GUI test setup).
- ``kill_prefix()``: ends every Wine process of the prefix (``wineserver -k``).

The display: every Wine process the harness starts runs on one X display per script, a private
Xvfb started with the script's first Wine program (or $KBD_E2E_DISPLAY), whatever DISPLAY the
caller's environment or `env` holds. Wine draws all windows of a prefix through the desktop
process that the prefix's first program starts, bound to the display that program had; a
desktop without a display, or on a display that has gone, silently loses every window. So
before its first program a script ends whatever Wine processes an earlier run left in the
prefix (one script per prefix at a time, as ctest's lanes run them), and whenever the display
is replaced the prefix's processes end with it.

Every process the harness starts is ended when the test script exits, even on failure, and the
prefix is left without Wine processes: kbdsim.exe, the idle cmd.exe and the Xvfb additionally
stop on their own when the script dies, because their standard input (a pipe held only by the
harness) then reaches end of file. While a script runs, the idle cmd.exe keeps the prefix's
wineserver up, so each program starts in a few hundredths of a second.
"""

from __future__ import annotations

import atexit
import fcntl
import itertools
import os
import queue
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Iterable, Mapping, Optional, Sequence

REPO = Path(__file__).resolve().parents[2]
WINE_RUN = REPO / "scripts" / "wine-run"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"


class HarnessError(AssertionError):
    """A test precondition or harness step failed (counts as a test failure)."""


# --------------------------------------------------------------------------------------------
# Prefix and executables

# Relative paths from the environment are taken from the folder the script started in: the
# programs may run in another one (cwd=), and Wine resolves their paths there.
_START_DIR = Path.cwd()


def _absolute(path: os.PathLike | str) -> Path:
    return _START_DIR / Path(path)


def prefix() -> Path:
    """The Wine prefix of this test: $WINEPREFIX or the default under build/windows/wine/."""
    value = os.environ.get("WINEPREFIX")
    if value:
        return _absolute(value)
    return REPO / "build" / "windows" / "wine" / "default"


def windows_bin() -> Path:
    """The Windows build directory: $KBD_WIN_BIN or <repo>/build/windows."""
    return _absolute(os.environ.get("KBD_WIN_BIN") or REPO / "build" / "windows")


_exe_cache: dict[str, Path] = {}


def exe_path(name: str) -> Path:
    """Path of the built executable `name` ("kbdsim", "kbdsim.exe", "TAVmapDL", ...).

    Looks at $KBD_EXE_<NAME> (upper case, '.exe' dropped, '-' as '_'), then searches
    $KBD_WIN_BIN recursively. Raises HarnessError when it is not built.
    """
    base = name[:-4] if name.lower().endswith(".exe") else name
    if base not in _exe_cache:
        _exe_cache[base] = _built_exe_path(base)
    if REAL_HID and base.lower() not in _NOT_UNDER_TEST:
        return _real_hid_copy(_exe_cache[base])
    return _exe_cache[base]


def _built_exe_path(base: str) -> Path:
    exact = os.environ.get("KBD_EXE_" + base.upper().replace("-", "_"))
    if exact and _absolute(exact).is_file():
        return _absolute(exact)
    root = windows_bin()
    wanted = (base + ".exe").lower()
    for dirpath, dirnames, filenames in os.walk(root):
        # Skip the Wine prefixes and third-party build trees: big and never hold our programs.
        dirnames[:] = [d for d in dirnames if d not in ("wine", "googletest", "CMakeFiles")]
        for filename in filenames:
            if filename.lower() == wanted:
                return Path(dirpath) / filename
    raise HarnessError(f"{base}.exe not found under {root}: build the Windows preset first")


def to_windows_path(path: os.PathLike | str) -> str:
    """A Unix path as Wine programs see it, on drive Z: (mapped to / in every prefix)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def wine_env(extra: Optional[Mapping[str, str]] = None) -> dict[str, str]:
    """The environment for a Wine program: ours, the prefix, quiet Wine, plus `extra`."""
    env = dict(os.environ)
    env["WINEPREFIX"] = str(prefix())
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    if extra:
        env.update(extra)
    return env


_READY_MARK = ".kbd-prefix-ready"
# Set once the prefix lets a crashing program end at once (see _turn_off_crash_dialog).
_CRASH_DIALOG_MARK = ".kbd-crash-dialog-off"


def ensure_prefix() -> Path:
    """Initialises the prefix on first use (wineboot, a few seconds); returns its path.

    Concurrent first use is safe: the first caller holds a lock file beside the prefix while
    it initialises, the others wait for it and then find the prefix ready.
    """
    pfx = prefix()
    if HIDSTACK:
        _drop_prefix_with_old_drivers()
    if (pfx / _READY_MARK).exists() and (pfx / _CRASH_DIALOG_MARK).exists():
        return pfx
    pfx.parent.mkdir(parents=True, exist_ok=True)
    with open(str(pfx) + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            if not (pfx / _READY_MARK).exists():
                _run_setup_step(["wineboot", "-i"], "wineboot")
                # wineboot ran without a display: nothing it left may draw the next windows.
                _end_wine_processes()
                (pfx / _READY_MARK).write_text("initialised by tests/e2e/harness.py\n")
            if not (pfx / _CRASH_DIALOG_MARK).exists():
                _turn_off_crash_dialog()
                (pfx / _CRASH_DIALOG_MARK).write_text("set by tests/e2e/harness.py\n")
        finally:
            fcntl.flock(lock, fcntl.LOCK_UN)
    return pfx


def _run_setup_step(args: Sequence[str], what: str) -> None:
    result = subprocess.run([str(WINE_RUN), *args], env=wine_env(), stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=180)
    if result.returncode != 0:
        raise HarnessError(
            f"{what} failed in {prefix()}: {result.stderr.decode(errors='replace')}")


def _turn_off_crash_dialog() -> None:
    """A program that crashes ends at once, its backtrace on its standard error, instead of
    waiting in Wine's "Program Error" dialog on the test's display until the test times out
    (Wine's debugger shows that dialog whenever a display is at hand)."""
    _run_setup_step(["reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog",
                     "/t", "REG_DWORD", "/d", "0", "/f"], "turning off the crash dialog")
    _end_wine_processes()  # the registry is on disk, and no process without a display is left


def kill_prefix() -> None:
    """Ends every Wine process of the prefix (wineserver -k) and waits until they are gone;
    harmless when none runs. The next program started begins a fresh wineserver and desktop,
    on the script's display."""
    global _prefix_display
    with _launch_lock:
        _stop_keeper()
        _end_wine_processes()
        _prefix_display = None


def _end_wine_processes() -> None:
    env = wine_env()
    subprocess.run([WINESERVER, "-k"], env=env, capture_output=True, timeout=30)
    subprocess.run([WINESERVER, "-w"], env=env, capture_output=True, timeout=30)


def wait_prefix_idle(timeout: float = 30) -> None:
    """Waits until the prefix's wineserver has exited (wineserver -w): every Wine process of
    the prefix has ended and the registry is on disk."""
    subprocess.run([WINESERVER, "-w"], env=wine_env(), capture_output=True, timeout=timeout)


def wine_reg_add(key: str, name: str, value: str, kind: str = "REG_SZ") -> None:
    """Sets a registry value in the prefix, e.g.
    wine_reg_add(r"HKCU\\Software\\Wine\\X11 Driver", "Managed", "N")."""
    result = run_windows_exe(
        "reg", ["add", key, "/v", name, "/t", kind, "/d", value, "/f"], timeout=60
    )
    if result.returncode != 0:
        raise HarnessError(f"reg add {key} {name} failed: {result.stdout}{result.stderr}")


# --------------------------------------------------------------------------------------------
# Running programs

_live: list["WindowsProcess"] = []
# After a program has ended, how long its last output may take to reach us.
_OUTPUT_GRACE = 0.5
_live_lock = threading.Lock()


@dataclass
class RunResult:
    returncode: int
    stdout: str  # decoded with the `encoding` asked for (UTF-8 by default), CR LF as "\n"
    stderr: str
    stdout_bytes: bytes
    stderr_bytes: bytes


class WindowsProcess:
    """A Windows program started in the background (start_windows_exe).

    `wait(timeout)` returns a RunResult (HarnessError on time-out, the process is then
    killed); `kill()` ends it; `running()` tells whether it still runs; `read_line(timeout)`
    takes its standard output line by line while it runs. With stdin_pipe=True, `stdin` is a
    pipe the test writes to (bytes). The harness kills whatever still runs when the script
    exits.
    """

    def __init__(
        self,
        path: os.PathLike | str,
        args: Sequence[str] = (),
        env: Optional[Mapping[str, str]] = None,
        cwd: Optional[os.PathLike | str] = None,
        stdin_pipe: bool = False,
        encoding: str = "utf-8",
    ):
        ensure_prefix()
        display = _prepare_launch()
        self.path = str(path)
        self.args = list(args)
        self.encoding = encoding
        self._popen = subprocess.Popen(
            [str(WINE_RUN), self.path, *self.args],
            env=dict(_backend_env(self.path, wine_env(env)), DISPLAY=display),
            cwd=str(cwd) if cwd else None,
            stdin=subprocess.PIPE if stdin_pipe else subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            start_new_session=True,
        )
        self._stdout = bytearray()
        self._stderr = bytearray()
        self._lines: "queue.Queue[Optional[bytes]]" = queue.Queue()
        self._readers = [
            threading.Thread(target=self._drain, args=(self._popen.stdout, self._stdout, True)),
            threading.Thread(target=self._drain, args=(self._popen.stderr, self._stderr, False)),
        ]
        for reader in self._readers:
            reader.daemon = True
            reader.start()
        with _live_lock:
            _live.append(self)

    def _drain(self, stream, sink: bytearray, to_lines: bool) -> None:
        # Raw reads, not readline: output without a final line end arrives too, and nothing
        # waits for an end of file that Wine's helper processes may hold back (they inherit
        # the pipes of the program that started them).
        pending = b""
        fd = stream.fileno()
        while True:
            try:
                chunk = os.read(fd, 65536)
            except (OSError, ValueError):
                chunk = b""
            if not chunk:
                break
            sink.extend(chunk)
            if to_lines:
                pending += chunk
                *lines, pending = pending.split(b"\n")
                for line in lines:
                    self._lines.put(line)
        if to_lines:
            if pending:
                self._lines.put(pending)
            self._lines.put(None)
        stream.close()

    @property
    def pid(self) -> int:
        return self._popen.pid

    @property
    def stdin(self):
        return self._popen.stdin

    def running(self) -> bool:
        return self._popen.poll() is None

    def read_line(self, timeout: float) -> Optional[str]:
        """The next line of standard output (without the line end); None once the program
        has ended and printed nothing more. HarnessError when no line comes within `timeout`
        seconds."""
        deadline = time.monotonic() + timeout
        ended_at = None
        while True:
            try:
                line = self._lines.get(timeout=0.05)
                break
            except queue.Empty:
                pass
            now = time.monotonic()
            if not self.running():
                ended_at = ended_at or now
                if now - ended_at > _OUTPUT_GRACE:
                    return None
            elif now > deadline:
                raise HarnessError(
                    f"{Path(self.path).name}: no output line within {timeout} s")
        if line is None:
            self._lines.put(None)  # stays at end of output for later calls
            return None
        return line.decode(self.encoding, errors="replace").rstrip("\r")

    def wait(self, timeout: float = 60) -> RunResult:
        try:
            code = self._popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise HarnessError(
                f"{Path(self.path).name} {' '.join(self.args)} did not end within {timeout} s"
            ) from None
        for reader in self._readers:
            reader.join(timeout=_OUTPUT_GRACE)
        self._forget()
        return RunResult(
            code,
            self._text(self._stdout),
            self._text(self._stderr),
            bytes(self._stdout),
            bytes(self._stderr),
        )

    def _text(self, data: bytearray) -> str:
        # Windows programs end lines with CR LF in text mode; tests compare with "\n".
        return data.decode(self.encoding, errors="replace").replace("\r\n", "\n")


    def kill(self) -> None:
        if self._popen.poll() is None:
            try:
                os.killpg(self._popen.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            try:
                self._popen.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        self._forget()

    def _forget(self) -> None:
        if self._popen.stdin is not None:
            try:
                self._popen.stdin.close()
            except OSError:
                pass
        with _live_lock:
            if self in _live:
                _live.remove(self)


def start_windows_exe(
    path: os.PathLike | str,
    args: Sequence[str] = (),
    env: Optional[Mapping[str, str]] = None,
    cwd: Optional[os.PathLike | str] = None,
    encoding: str = "utf-8",
) -> WindowsProcess:
    """Starts a Windows program under Wine in the background (GUI tests: the program under
    test, while guidriver.exe drives it). `env` is added to the environment (a full
    environment such as Kbdsim.env() works too)."""
    return WindowsProcess(path, args, env=env, cwd=cwd, encoding=encoding)


def run_windows_exe(
    path: os.PathLike | str,
    args: Sequence[str] = (),
    env: Optional[Mapping[str, str]] = None,
    timeout: float = 60,
    cwd: Optional[os.PathLike | str] = None,
    encoding: str = "utf-8",
) -> RunResult:
    """Runs a Windows program under Wine to its end and returns its exit code and output.

    `path` is a built executable (see exe_path) or a Wine built-in ("reg", "cmd").
    `env` is added to the environment. Output is decoded with `encoding` (Windows programs
    write in their ANSI code page: "cp932" for Japanese runs). A program still running after
    `timeout` seconds is killed and HarnessError raised.
    """
    return WindowsProcess(path, args, env=env, cwd=cwd, encoding=encoding).wait(timeout)


_keeper: Optional[subprocess.Popen] = None
# The display the prefix's Wine processes were started on by this script; None: unknown (an
# earlier run, or wineboot, may have left processes bound to another display or to none).
_prefix_display: Optional["_XServer"] = None
_launch_lock = threading.RLock()


def _prepare_launch() -> str:
    """Makes the prefix ready for one more program on the script's display; returns its name.

    A prefix whose processes may be bound to another display (first program of the script,
    after kill_prefix(), or after the display was replaced) is emptied first, so the desktop
    that the next program starts is on our display; then the keeper starts there.
    """
    global _prefix_display
    with _launch_lock:
        server = _desktop_server()
        if _prefix_display is not server:
            kill_prefix()
            _prefix_display = server
        _keep_wineserver(server.name)
        return server.name


def _keep_wineserver(display: str) -> None:
    """Keeps one idle Wine program (cmd.exe reading our pipe) running while the script runs.

    Without it every program start would start the prefix's wineserver and its helper
    processes anew (about a second), and those helpers, inheriting the program's output
    pipes, would hold them open for seconds after it ended. The keeper ends with the script
    (its input reaches end of file), even when the script is killed, and with kill_prefix().
    """
    global _keeper
    if _keeper is not None and _keeper.poll() is None:
        return
    _keeper = subprocess.Popen(
        [str(WINE_RUN), "cmd.exe"],
        env=dict(wine_env(), DISPLAY=display),
        stdin=subprocess.PIPE,
        stdout=subprocess.PIPE,
        stderr=subprocess.DEVNULL,
        start_new_session=True,
    )
    _keeper.stdin.write(b"echo kbd-keeper-ready\r\n")
    _keeper.stdin.flush()
    # Once cmd.exe answers, the wineserver and its helpers are up.
    seen = b""
    deadline = time.monotonic() + 60
    fd = _keeper.stdout.fileno()
    while b"kbd-keeper-ready" not in seen and time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.5)
        if ready:
            chunk = os.read(fd, 4096)
            if not chunk:
                break
            seen += chunk
    # Its output is not read any more; the little cmd.exe writes fits the pipe's buffer.


def _stop_keeper() -> None:
    global _keeper
    if _keeper is None:
        return
    try:
        _keeper.stdin.close()
        _keeper.wait(timeout=5)
    except (OSError, subprocess.TimeoutExpired):
        try:
            os.killpg(_keeper.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    _keeper.stdout.close()
    _keeper = None


def _kill_leftovers() -> None:
    with _live_lock:
        leftovers = list(_live)
    for process in leftovers:
        process.kill()
    _stop_keeper()
    # No Wine process of ours outlives the script or its display.
    if _prefix_display is not None:
        kill_prefix()
    _stop_desktop_server()


atexit.register(_kill_leftovers)


def _exit_on_signal(signum, frame):  # ctest's time-out and Ctrl-C end the script cleanly
    _kill_leftovers()
    sys.exit(128 + signum)


for _signal in (signal.SIGTERM, signal.SIGHUP):
    signal.signal(_signal, _exit_on_signal)


# --------------------------------------------------------------------------------------------
# The real HID backend
#
# With KBD_E2E_BACKEND=realhid the same test scripts run the programs through their real HID
# backend (SetupDi and hid.dll) instead of the simulator backend: exe_path() hands out a copy
# of the program's folder with the stand-in setupapi.dll and hid.dll beside the program
# (tests/hid_standin/), such a program runs with a DLL override that loads them, and the
# simulator's pipe reaches the stand-ins as KBD_STANDIN_PIPE while KBDSIM_PIPE stays unset.
# When the script ends, the stand-ins' reports must show that they were used and that nothing
# was left behind (preparsed data, device lists, open handles, misuse); otherwise the script
# fails.

REAL_HID = os.environ.get("KBD_E2E_BACKEND") == "realhid"
# Programs that are the test's tools rather than the product: never under the stand-ins.
_NOT_UNDER_TEST = {"kbdsim", "guidriver", "hidstack_bridge"}
_real_hid_root: Optional[Path] = None
_real_hid_copies: dict[Path, Path] = {}


def _pe_is_32bit(path: Path) -> bool:
    data = path.read_bytes()[:4096]
    offset = int.from_bytes(data[0x3C:0x40], "little")
    return data[offset + 4 : offset + 6] == b"\x4c\x01"  # IMAGE_FILE_MACHINE_I386


def _standin_dir(bits32: bool) -> Path:
    variable = "KBD_STANDIN_DLLS_32" if bits32 else "KBD_STANDIN_DLLS"
    value = os.environ.get(variable)
    folder = _absolute(value) if value else windows_bin() / "tests" / "hid_standin" / "dlls"
    if not (folder / "hid.dll").is_file() or not (folder / "setupapi.dll").is_file():
        raise HarnessError(f"the stand-in DLLs are not built in {folder} (${variable})")
    return folder


def _real_hid_report_root() -> Path:
    global _real_hid_root
    if _real_hid_root is None:
        _real_hid_root = Path(tempfile.mkdtemp(prefix="realhid-"))
        (_real_hid_root / "report.txt").touch()
    return _real_hid_root


def add_real_hid_standins(folder: os.PathLike | str, bits32: bool = False) -> None:
    """For a test that installs programs into a folder of its own: in a real-backend run, puts
    the stand-ins of that bitness beside them (otherwise does nothing)."""
    if not REAL_HID:
        return
    _real_hid_report_root()
    for item in _standin_dir(bits32).glob("*.dll"):
        shutil.copy2(item, Path(folder) / item.name)


def _real_hid_copy(exe: Path) -> Path:
    """The program in a copy of its folder (its files only: companions such as a DLL or a
    settings file come along) with the stand-ins of its bitness beside it."""
    folder = exe.parent
    if folder not in _real_hid_copies:
        target = _real_hid_report_root() / f"bin{len(_real_hid_copies)}"
        target.mkdir()
        for item in folder.iterdir():
            if item.is_file() and item.suffix.lower() not in (".a", ".o", ".obj", ".ninja"):
                shutil.copy2(item, target / item.name)
        add_real_hid_standins(target, _pe_is_32bit(exe))
        _real_hid_copies[folder] = target
    return _real_hid_copies[folder] / exe.name


def real_hid_report() -> str:
    """What the stand-ins reported so far: one line per DLL and ended process."""
    if _real_hid_root is None:
        return ""
    return (_real_hid_root / "report.txt").read_text(errors="replace")


def _backend_env(path: str, env: dict[str, str]) -> dict[str, str]:
    # A program beside the stand-ins: a copy exe_path() made, or one a test copied on together
    # with the DLLs of its folder.
    folder = Path(path).parent
    if not REAL_HID or not (folder / "hid.dll").is_file() or not (folder / "setupapi.dll").is_file():
        return env
    env = dict(env)
    pipe = env.pop("KBDSIM_PIPE", None)
    if pipe:
        env["KBD_STANDIN_PIPE"] = pipe
    env["KBD_STANDIN_REPORT"] = to_windows_path(_real_hid_report_root() / "report.txt")
    overrides = env.get("WINEDLLOVERRIDES", "")
    env["WINEDLLOVERRIDES"] = (overrides + ";" if overrides else "") + "setupapi,hid=n"
    return env


def forget_real_hid_report() -> None:
    """Empties the report, for a test that left things behind on purpose and checked them."""
    if _real_hid_root is not None:
        (_real_hid_root / "report.txt").write_text("")
    global _real_hid_expect_use
    _real_hid_expect_use = False


# Whether the end-of-script check wants to see the stand-ins used.
_real_hid_expect_use = True
_LEAK_FIELDS = ("preparsed_not_freed", "lists_not_destroyed", "handles_open", "misuse")


def real_hid_problems(report: str) -> list[str]:
    """The report's lines that show something left behind or misused, and a note when the
    stand-ins never enumerated (the programs did not take the real backend)."""
    problems = []
    used = False
    for line in report.splitlines():
        fields = dict(part.split("=", 1) for part in line.split()[1:] if "=" in part)
        if any(fields.get(name, "0") != "0" for name in _LEAK_FIELDS):
            problems.append(line)
        used = used or fields.get("lists_created", "0") != "0"
    if not used and _real_hid_expect_use:
        problems.append("the stand-in setupapi.dll never enumerated: no program took the real "
                        "HID backend")
    return problems


def _check_real_hid_at_exit() -> None:
    if _real_hid_root is None:
        return
    _kill_leftovers()  # every program has ended and written its lines
    report = real_hid_report()
    problems = real_hid_problems(report)
    if os.environ.get("KBD_E2E_KEEP") != "1":
        shutil.rmtree(_real_hid_root, ignore_errors=True)
    if problems:
        print("real HID backend: stand-in report shows problems:\n  " + "\n  ".join(problems)
              + "\n", file=sys.stderr)
        sys.stdout.flush()
        sys.stderr.flush()
        os._exit(1)


if REAL_HID:
    atexit.register(_check_real_hid_at_exit)  # runs before _kill_leftovers: atexit is LIFO


# --------------------------------------------------------------------------------------------
# Wine's HID stack
#
# With KBD_E2E_BACKEND=hidstack the programs run unchanged, without KBDSIM_PIPE and without
# stand-ins: every Kbdsim installs the test drivers of tests/hidstack/ into the prefix (once;
# the installation stays) and starts hidstack_bridge.exe beside kbdsim, which keeps a HID device
# for each of kbdsim's keyboard collections on Wine's own HID stack (setupapi, hid.dll,
# hidclass.sys, Plug and Play). After each control command the harness waits until the
# devices match kbdsim's listing again, as they would once a real keyboard has been plugged
# or unplugged. A keyboard's boot keyboard collection is enumerated before its vendor
# collection, unless KBD_HIDSTACK_KEYBOARD_LAST=1: Windows refuses a program's open of a
# keyboard collection, Wine 8.0 cannot (it gives a driver no desired access and ignores a
# refused open), so a program that opens the first interface of a keyboard's identity, as
# Sonder does, needs the keyboard collection after the vendor one there.

HIDSTACK = os.environ.get("KBD_E2E_BACKEND") == "hidstack"
_HIDSTACK_TIMEOUT = 60


_hidstack_prefix_checked = False


def _drop_prefix_with_old_drivers() -> None:
    """A prefix that holds another build of the drivers (installed in it by an earlier run) is
    removed before the script's first program, to be made anew: the drivers of a prefix are
    installed once and stay loaded while it runs."""
    global _hidstack_prefix_checked
    if _hidstack_prefix_checked:
        return
    _hidstack_prefix_checked = True
    drivers = exe_path("hidstack_bridge").parent / "drivers"
    windows = prefix() / "drive_c" / "windows"
    installed = {windows / "inf" / "kbdsim_hidstack.inf": drivers / "kbdsim_hidstack.inf"}
    for built in drivers.glob("*.sys"):
        installed[windows / "system32" / "drivers" / built.name] = built
    if not any(path.exists() for path in installed):
        return
    if all(path.exists() and path.read_bytes() == built.read_bytes()
           for path, built in installed.items()):
        return
    _end_wine_processes()
    shutil.rmtree(prefix())


def _start_hidstack_bridge(pipe: str) -> "WindowsProcess":
    bridge = exe_path("hidstack_bridge")
    drivers = to_windows_path(bridge.parent / "drivers")
    result = run_windows_exe(bridge, ["install", drivers], timeout=_HIDSTACK_TIMEOUT)
    if result.returncode != 0:
        raise HarnessError(f"the test HID drivers did not install: {result.stdout}{result.stderr}")
    args = ["--pipe", pipe]
    if os.environ.get("KBD_HIDSTACK_KEYBOARD_LAST") == "1":
        args.append("--keyboard-last")
    process = WindowsProcess(bridge, args, stdin_pipe=True)
    line = process.read_line(timeout=_HIDSTACK_TIMEOUT)
    if line != "hidstack ready":
        process.kill()
        raise HarnessError(f"hidstack_bridge.exe not ready: {line!r} "
                           f"{process.wait(timeout=10).stderr}")
    return process


def _sync_hidstack_bridge(process: "WindowsProcess") -> None:
    process.stdin.write(b"sync\n")
    process.stdin.flush()
    line = process.read_line(timeout=_HIDSTACK_TIMEOUT)
    if line != "hidstack synced":
        raise HarnessError(f"hidstack_bridge.exe: {line!r} after a sync")


def _stop_hidstack_bridge(process: "WindowsProcess") -> None:
    try:
        process.stdin.close()
    except OSError:
        pass
    try:
        process.wait(timeout=20)
    except HarnessError:
        process.kill()


# --------------------------------------------------------------------------------------------
# The simulated keyboard


@dataclass(frozen=True)
class LoggedFrame:
    """One frame of kbdsim's frame log. direction "in" is PC to keyboard, "out" keyboard to PC."""

    time: float
    model: int
    direction: str
    data: bytes  # the 38 bytes

    def hex(self) -> str:
        """The bytes as the log writes them: "00 21 06 ..." (upper case)."""
        return " ".join(f"{b:02X}" for b in self.data)


@dataclass(frozen=True)
class LoggedEvent:
    """A non-frame line of the frame log (plug, unplug, fault)."""

    time: float
    model: int
    text: str


_FRAME_LINE = re.compile(r"^(\d+\.\d{3}) (\d+) (in|out) ((?:[0-9A-F]{2} ){37}[0-9A-F]{2})$")
_EVENT_LINE = re.compile(r"^(\d+\.\d{3}) (\d+) event (.*)$")


def parse_frame_log(text: str) -> tuple[list[LoggedFrame], list[LoggedEvent]]:
    """Splits frame-log text into frames and events; a malformed line raises HarnessError."""
    frames: list[LoggedFrame] = []
    events: list[LoggedEvent] = []
    for number, line in enumerate(text.splitlines(), 1):
        if not line:
            continue
        match = _FRAME_LINE.match(line)
        if match:
            frames.append(
                LoggedFrame(
                    float(match[1]), int(match[2]), match[3], bytes.fromhex(match[4])
                )
            )
            continue
        match = _EVENT_LINE.match(line)
        if match:
            events.append(LoggedEvent(float(match[1]), int(match[2]), match[3]))
            continue
        raise HarnessError(f"frame log line {number} malformed: {line!r}")
    return frames, events


def frame_bytes(text: str) -> bytes:
    """Hex text ("00 21 06 00 ...", spaces optional) as a 38-byte frame, zero-padded."""
    data = bytes.fromhex(text)
    if len(data) > 38:
        raise ValueError(f"frame longer than 38 bytes: {text}")
    return data + bytes(38 - len(data))


_pipe_numbers = itertools.count(1)

# What Wine prints on the standard error of a program that crashed.
_CRASH_MARKS = ("Unhandled exception", "Unhandled page fault", "starting debugger")


def _unclean_end(result: RunResult) -> Optional[str]:
    """Why a kbdsim run that ended did not end cleanly, or None."""
    crashed = any(mark in result.stderr for mark in _CRASH_MARKS)
    if result.returncode == 0 and not crashed:
        return None
    what = "crashed" if crashed else f"ended with exit code {result.returncode}"
    return f"kbdsim.exe {what}; its standard error ends with:\n{result.stderr[-3000:]}"



class Kbdsim:
    """kbdsim.exe serving simulated keyboards on named pipes, for one test.

    with Kbdsim(models=(1, 2), state=None, commands=("fault 1 ...",)) as sim:
        run_windows_exe(exe_path("TAVmapDL"), ["/1", ...], env=sim.env())
        sim.frames(model=1, direction="in")   # what the keyboard received
        sim.state_text()                      # the keyboard's state file now

    Arguments:
      models    the keyboards present (model selectors; tokens as kbdsim --models takes them).
      state     text of a state file to start from (None: the simulator's initial state).
      commands  control commands applied at start (kbdsim --command), e.g. faults.
      pipe      pipe base name (default: unique per test process and instance).
      ready_timeout  seconds to wait for the "kbdsim ready" line.
      args      further kbdsim arguments, e.g. ("--turnaround-us", "200").
      workdir   folder for the state file and frame log, created if missing and left in place
                (default: a temporary folder, removed at stop unless KBD_E2E_KEEP=1).

    Attributes: pipe, workdir, log_path, state_path, process (WindowsProcess), exit_code
    (after stop).
    """

    def __init__(
        self,
        models: Iterable[int | str] = (1, 2, 3, 4),
        state: Optional[str] = None,
        commands: Iterable[str] = (),
        pipe: Optional[str] = None,
        ready_timeout: float = 20,
        args: Sequence[str] = (),
        workdir: Optional[os.PathLike | str] = None,
    ):
        self.models = ",".join(str(m) for m in models)
        self.extra_args = list(args)
        self.initial_state = state
        self.commands = list(commands)
        self.pipe = pipe or f"kbdsim-test-{os.getpid()}-{next(_pipe_numbers)}"
        self.ready_timeout = ready_timeout
        self.own_workdir = workdir is None
        if workdir is None:
            self.workdir = Path(tempfile.mkdtemp(prefix="kbdsim-"))
        else:
            self.workdir = Path(workdir).resolve()
            self.workdir.mkdir(parents=True, exist_ok=True)
        self.log_path = self.workdir / "frames.log"
        self.state_path = self.workdir / "state.txt"
        self.process: Optional[WindowsProcess] = None
        self.bridge: Optional[WindowsProcess] = None  # hidstack_bridge.exe (hidstack backend)
        self.exit_code: Optional[int] = None
        self.ready_line = ""

    # -- lifecycle

    def start(self) -> "Kbdsim":
        """Starts kbdsim.exe and waits for its ready line (HarnessError on time-out/exit)."""
        if self.initial_state is not None:
            self.state_path.write_text(self.initial_state)
        args = ["--pipe", self.pipe, "--models", self.models,
                "--state", to_windows_path(self.state_path),
                "--log", to_windows_path(self.log_path)]
        for command in self.commands:
            args += ["--command", command]
        args += self.extra_args
        self.process = WindowsProcess(exe_path("kbdsim"), args, stdin_pipe=True)
        deadline = time.monotonic() + self.ready_timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                self.stop(check=False)
                raise HarnessError(f"kbdsim.exe not ready within {self.ready_timeout} s")
            line = self.process.read_line(timeout=left)
            if line is None:
                result = self.process.wait(timeout=10)
                raise HarnessError(
                    f"kbdsim.exe ended before it was ready (exit {result.returncode}): "
                    f"{result.stdout}{result.stderr}"
                )
            if line == f"kbdsim ready pipe={self.pipe}":
                self.ready_line = line
                if HIDSTACK:
                    try:
                        self.bridge = _start_hidstack_bridge(self.pipe)
                    except HarnessError:
                        self.stop(check=False)
                        raise
                return self

    def stop(self, check: bool = True) -> Optional[int]:
        """Stops kbdsim (end of its standard input), killing it if it does not end within
        10 s; returns its exit code. Removes the temporary folder unless KBD_E2E_KEEP=1 (a
        `workdir` given is left alone).

        With check=True a kbdsim that did not end cleanly (killed, an exit code other than 0,
        a crash reported on its standard error) raises HarnessError, after the clean-up, so
        that a test never passes over a simulator that broke under it.
        """
        problem = None
        if self.bridge is not None:
            bridge, self.bridge = self.bridge, None
            _stop_hidstack_bridge(bridge)
        if self.process is not None:
            process, self.process = self.process, None
            try:
                process.stdin.close()
            except OSError:
                pass
            try:
                result = process.wait(timeout=10)
                self.exit_code = result.returncode
                problem = _unclean_end(result)
            except HarnessError:
                self.exit_code = None  # killed
                problem = "kbdsim.exe did not stop within 10 s of the end of its input"
        if self.own_workdir:
            if os.environ.get("KBD_E2E_KEEP") == "1":
                print(f"kbdsim files kept in {self.workdir}", file=sys.stderr)
            else:
                shutil.rmtree(self.workdir, ignore_errors=True)
        if problem and check:
            raise HarnessError(problem)
        return self.exit_code

    def __enter__(self) -> "Kbdsim":
        return self.start()

    def __exit__(self, exc_type, *exc) -> None:
        # A failure inside the block is the one to report; a broken kbdsim is reported only
        # when the block itself went well.
        self.stop(check=exc_type is None)

    # -- control

    def send(self, command: str, check: bool = True) -> str:
        """Applies a control command ("unplug 1", "fault ...", "clear-faults") and returns
        kbdsim's answer ("ok" or "error: ..."); with check=True an error raises HarnessError.

        Goes through kbdsim's standard input (no Wine start-up); send_via_pipe uses
        `kbdsim.exe --send` instead, exactly as a user would.
        """
        if self.process is None or not self.process.running():
            raise HarnessError("kbdsim.exe is not running")
        self.process.stdin.write(command.encode() + b"\n")
        self.process.stdin.flush()
        answer = self.process.read_line(timeout=10)
        if answer is None:
            raise HarnessError(f"kbdsim.exe ended while applying {command!r}")
        if check and answer != "ok":
            raise HarnessError(f"kbdsim {command!r}: {answer}")
        if self.bridge is not None:
            _sync_hidstack_bridge(self.bridge)
        return answer

    def send_via_pipe(self, command: str) -> RunResult:
        """`kbdsim.exe --pipe NAME --send COMMAND` as a second process (exit 0 ok, 1 error,
        2 no simulator)."""
        result = run_windows_exe(exe_path("kbdsim"), ["--pipe", self.pipe, "--send", command],
                                 timeout=30)
        if self.bridge is not None:
            _sync_hidstack_bridge(self.bridge)
        return result

    def interface_path(self, interface_id: int) -> str:
        """The device path a tool opens for kbdsim's interface `interface_id` (a keyboard's
        vendor collection): the interface's pipe, or on Wine's HID stack the HID device that
        stands for it."""
        if not HIDSTACK:
            return f"\\\\.\\pipe\\{self.pipe}.if{interface_id}"
        alternate = interface_id == 1 and "1alt" in self.models.split(",")
        vid, pid = (0x1FF4, 0x0100) if alternate else (0x1FF3, interface_id)
        return (f"\\\\?\\hid#vid_{vid:04x}&pid_{pid:04x}&mi_01#{interface_id}"
                "#{4d1e55b2-f16f-11cf-88cb-001111000030}")

    def env(self, extra: Optional[Mapping[str, str]] = None) -> dict[str, str]:
        """The environment for a tool that should talk to this simulator (KBDSIM_PIPE set;
        on Wine's HID stack unset, as the tool then finds the keyboards as HID devices)."""
        values = {} if HIDSTACK else {"KBDSIM_PIPE": self.pipe}
        if extra:
            values.update(extra)
        return wine_env(values)

    # -- what happened

    def log_text(self) -> str:
        """The frame log's complete lines so far: a line kbdsim is writing right now is left
        for the next look."""
        text = self.log_path.read_text() if self.log_path.exists() else ""
        return text[: text.rfind("\n") + 1]

    def frames(self, model: Optional[int] = None, direction: Optional[str] = None
               ) -> list[LoggedFrame]:
        """The logged frames so far, optionally only one model's and/or one direction's."""
        frames, _ = parse_frame_log(self.log_text())
        return [f for f in frames
                if (model is None or f.model == model)
                and (direction is None or f.direction == direction)]

    def events(self, model: Optional[int] = None) -> list[LoggedEvent]:
        """The logged non-frame events (plug, unplug, fault) so far."""
        _, events = parse_frame_log(self.log_text())
        return [e for e in events if model is None or e.model == model]

    def state_text(self) -> str:
        """The simulator's state file as it is now (saved after every change)."""
        return self.state_path.read_text() if self.state_path.exists() else ""


# --------------------------------------------------------------------------------------------
# X display for GUI tests


_DEFAULT_SIZE = "1280x1024x24"


class _XServer:
    """One X display: a private Xvfb (`popen` set) or $KBD_E2E_DISPLAY (`popen` None)."""

    def __init__(self, name: str, size: str, popen: Optional[subprocess.Popen] = None):
        self.name = name
        self.size = size
        self.popen = popen

    def alive(self) -> bool:
        return self.popen is None or self.popen.poll() is None

    # Runs Xvfb, ends it once our pipe on standard input reaches end of file (so it goes with
    # the script, even a killed one), and itself ends with Xvfb (so `alive` tells).
    _WATCH = ('exec 3<&0; Xvfb "$@" </dev/null & x=$!; { read -r _ <&3; kill $x; } & r=$!; '
              "wait $x; kill $r 2>/dev/null")

    @classmethod
    def start(cls, size: str) -> "_XServer":
        """A new Xvfb, which stops with the script."""
        read_fd, low_fd = os.pipe()
        # Above the standard streams and the watcher's fd 3, even in a script started without
        # standard input (where the pipe may get fd 0, which the child's stdin replaces).
        write_fd = fcntl.fcntl(low_fd, fcntl.F_DUPFD, 10)
        os.close(low_fd)
        popen = subprocess.Popen(
            ["sh", "-c", cls._WATCH, "xvfb", "-displayfd", str(write_fd), "-screen", "0", size,
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,),
            stdin=subprocess.PIPE,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            start_new_session=True,
        )
        os.close(write_fd)
        server = cls("", size, popen)
        number = b""
        deadline = time.monotonic() + 15
        try:
            # Xvfb writes the display number it chose once it accepts connections.
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                ready, _, _ = select.select([read_fd], [], [], 0.5)
                chunk = os.read(read_fd, 64) if ready else b""
                if ready and not chunk:
                    break
                number += chunk
        finally:
            os.close(read_fd)
        if not number.strip().isdigit():
            server.stop()
            raise HarnessError("Xvfb did not start")
        server.name = ":" + number.strip().decode()
        return server

    def stop(self) -> None:
        if self.popen is None:
            return
        try:
            self.popen.stdin.close()
            self.popen.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            try:
                os.killpg(self.popen.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.popen.wait(timeout=10)
        self.popen = None


_desktop: Optional[_XServer] = None


def _desktop_server(size: Optional[str] = None) -> _XServer:
    """The script's display, started (again) when there is none, it died, or another `size`
    is asked for. A replaced display takes the prefix's Wine processes with it."""
    global _desktop
    with _launch_lock:
        external = os.environ.get("KBD_E2E_DISPLAY", "")
        if external:
            if _desktop is None or _desktop.name != external:
                _desktop = _XServer(external, size or _DEFAULT_SIZE)
            return _desktop
        if _desktop is not None and _desktop.alive() and size in (None, _desktop.size):
            return _desktop
        if _desktop is not None:
            if _prefix_display is _desktop:
                kill_prefix()
            _desktop.stop()
        _desktop = _XServer.start(size or _DEFAULT_SIZE)
        return _desktop


def _stop_desktop_server() -> None:
    global _desktop
    if _desktop is not None:
        _desktop.stop()
        _desktop = None


def desktop_display() -> str:
    """The X display every Wine program of this script runs on (":12"); starts it if needed."""
    return _desktop_server().name


class Xvfb:
    """The script's X display (a private Xvfb, or the display named by $KBD_E2E_DISPLAY),
    for GUI tests: every Wine program the harness starts runs on it.

    with Xvfb() as x:
        start_windows_exe(exe_path("TAVmapDL"), env=x.env(sim.env()))
        x.screenshot("build/shots/main.png")

    All Xvfb objects of a script share that display; it lives until the script ends, since
    the prefix's Wine processes are bound to it. Asking for another `size` than the running
    display's replaces the display, ending the prefix's Wine processes.
    """

    def __init__(self, size: str = _DEFAULT_SIZE):
        self.size = size
        self.display = os.environ.get("KBD_E2E_DISPLAY", "")

    def start(self) -> "Xvfb":
        self.display = _desktop_server(self.size).name
        return self

    def stop(self) -> None:
        """Nothing to do: the display stays up for the rest of the script (see the class)."""

    def __enter__(self) -> "Xvfb":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()

    def env(self, base: Optional[Mapping[str, str]] = None) -> dict[str, str]:
        """`base` (or wine_env()) with DISPLAY set to this display."""
        env = dict(base) if base is not None else wine_env()
        env["DISPLAY"] = self.display
        return env

    def screenshot(self, path: os.PathLike | str) -> Path:
        """Saves the whole screen as an image (ImageMagick `import -window root`)."""
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", "-display", self.display, "-window", "root", str(path)],
                       check=True, capture_output=True, timeout=30)
        return path


# --------------------------------------------------------------------------------------------
# Command line, for ctest's per-lane fixtures


def main(argv: Sequence[str]) -> int:
    """`harness.py init-prefix` initialises $WINEPREFIX; `harness.py kill-prefix` ends every
    Wine process still running in it."""
    if argv == ["init-prefix"]:
        print(f"prefix ready: {ensure_prefix()}")
        return 0
    if argv == ["kill-prefix"]:
        kill_prefix()
        return 0
    print("usage: harness.py init-prefix | kill-prefix", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
