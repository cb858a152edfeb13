"""The harness itself, under Wine: every window opens on the script's display whatever ran
before it and whatever DISPLAY and standard input the script has, a script leaves neither Wine
processes nor an X server behind however it ends, a crashing program ends at once instead of
waiting in a crash dialog, and relative build paths and kbdsim working folders hold when a
program runs in another folder."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import textwrap
import time
import unittest
from pathlib import Path
from typing import Optional

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402


def display_windows(display: str) -> str:
    """The X windows on `display`, one per line with its title (xwininfo -tree)."""
    return subprocess.run(["xwininfo", "-root", "-tree", "-display", display],
                          capture_output=True, text=True, timeout=30).stdout


def assert_notepad_window_opens(env: Optional[dict] = None, keep: bool = False) -> None:
    """Wine's Notepad, started through the harness (with `env`), shows its window on the
    script's display; it is ended unless `keep`."""
    notepad = harness.start_windows_exe("notepad", env=env)
    try:
        deadline = time.monotonic() + 20
        while "Notepad" not in display_windows(harness.desktop_display()):
            if not notepad.running():
                raise AssertionError("notepad ended without a window")
            if time.monotonic() > deadline:
                raise AssertionError("no Notepad window on the display")
            time.sleep(0.2)
    finally:
        if not keep:
            notepad.kill()


def prefix_processes() -> list[str]:
    """Command lines of the live Wine processes (wineserver, programs) of this test's prefix."""
    wanted = b"WINEPREFIX=" + str(harness.prefix()).encode()
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            is_wine = os.readlink(entry / "exe").startswith("/usr/lib/wine/")
            if is_wine and wanted in (entry / "environ").read_bytes().split(b"\0"):
                found.append((entry / "cmdline").read_bytes().replace(b"\0", b" ").decode())
        except OSError:
            continue  # gone meanwhile, or not ours
    return found


def command_line(pid: int) -> str:
    try:
        return Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").decode()
    except OSError:
        return ""


def alive(pid: int) -> bool:
    try:
        return Path(f"/proc/{pid}/stat").read_text().split(")")[-1].split()[0] != "Z"
    except OSError:
        return False


class Display(unittest.TestCase):
    def setUp(self):
        # Whatever the caller's environment says, it is not where the windows go.
        self.saved_display = os.environ.get("DISPLAY")
        os.environ["DISPLAY"] = ":4711"

    def tearDown(self):
        os.environ.pop("DISPLAY")
        if self.saved_display is not None:
            os.environ["DISPLAY"] = self.saved_display

    def test_windows_open_after_leftovers_bound_to_no_display_or_a_dead_one(self):
        # What an earlier run may leave in the prefix: Wine's desktop started by a program
        # without a display (say a `reg add` run before the test's X server existed), or by
        # one whose X server has since gone.
        for leftover_display in (None, "dead"):
            with self.subTest(leftover_display=leftover_display):
                harness.kill_prefix()
                env = harness.wine_env()
                env.pop("DISPLAY")
                dead = None
                if leftover_display == "dead":
                    dead = harness._XServer.start("640x480x24")
                    env["DISPLAY"] = dead.name
                leftover = subprocess.Popen([str(harness.WINE_RUN), "cmd.exe"], env=env,
                                            stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                            stderr=subprocess.DEVNULL, start_new_session=True)
                try:
                    leftover.stdin.write(b"echo leftover-up\r\n")
                    leftover.stdin.flush()
                    seen = b""
                    while b"leftover-up" not in seen:
                        chunk = leftover.stdout.read1(4096)
                        self.assertTrue(chunk, "the leftover program did not start")
                        seen += chunk
                    if dead is not None:
                        dead.stop()
                    # A batch program first, then a window.
                    result = harness.run_windows_exe("cmd.exe", ["/c", "echo", "batch"])
                    self.assertEqual(result.stdout.strip(), "batch")
                    assert_notepad_window_opens()
                    self.assertIsNotNone(leftover.poll(), "the leftover program still runs")
                finally:
                    if leftover.poll() is None:
                        os.killpg(leftover.pid, signal.SIGKILL)
                    leftover.wait(timeout=10)
                    leftover.stdin.close()
                    leftover.stdout.close()

    def test_every_program_and_display_handle_shares_the_one_display(self):
        display = harness.Xvfb().start()
        self.assertEqual(display.display, harness.desktop_display())
        self.assertNotEqual(display.env({"DISPLAY": ":4711"})["DISPLAY"], ":4711")
        with harness.Kbdsim(models=(1,)) as sim:
            # A program given another DISPLAY still opens its window on the script's display.
            assert_notepad_window_opens(env=dict(sim.env(), DISPLAY=":4711"))
            self.assertEqual(sim.send("unplug 1"), "ok")  # the simulator kept running

    def test_a_script_without_standard_input_or_display_gets_its_windows(self):
        # As CI runs tests: no DISPLAY, standard input closed (not even /dev/null).
        harness.kill_prefix()
        env = dict(os.environ, PYTHONPATH=str(Path(harness.__file__).parent))
        env.pop("DISPLAY")
        code = "import test_harness; test_harness.assert_notepad_window_opens(); print('ok')"
        result = subprocess.run(["sh", "-c", 'exec "$0" -c "$1" 0<&-', sys.executable, code],
                                env=env, capture_output=True, text=True, timeout=120)
        self.assertEqual(result.stdout, "ok\n", result.stderr)

    def test_another_size_replaces_the_display_and_windows_follow(self):
        small = harness.Xvfb(size="800x600x24").start()
        try:
            info = subprocess.run(["xdpyinfo", "-display", small.display],
                                  capture_output=True, text=True, timeout=30).stdout
            self.assertIn("800x600 pixels", info)
            assert_notepad_window_opens()
        finally:
            harness.Xvfb().start()  # back to the usual size for the other tests
        assert_notepad_window_opens()


# A test script that runs kbdsim (files in the folder of argument 2) and a window, then ends as
# argument 1 tells, once the parent has seen its processes (a line on standard input).
CHILD = textwrap.dedent("""
    import sys
    import time
    from pathlib import Path

    import harness
    import test_harness

    sim = harness.Kbdsim(models=(1,), workdir=sys.argv[2]).start()
    test_harness.assert_notepad_window_opens(keep=True)
    watcher = harness._desktop.popen.pid
    children = Path(f"/proc/{watcher}/task/{watcher}/children").read_text().split()
    print("ready", watcher, *children, flush=True)
    sys.stdin.readline()
    how = sys.argv[1]
    if how == "failure":
        raise RuntimeError("a failing test")
    if how in ("sigterm", "sigkill"):
        time.sleep(120)
""")


class Leftovers(unittest.TestCase):
    def run_child(self, script: Path, how: str) -> tuple[str, dict[int, str]]:
        """Runs the child script to its end; returns the Wine processes it had running and
        the command lines of its X server and what watches it, by process id."""
        env = dict(os.environ, PYTHONPATH=str(Path(harness.__file__).parent))
        env.pop("DISPLAY", None)
        with subprocess.Popen([sys.executable, str(script), how, str(script.parent / how)],
                              env=env,
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE) as child:
            try:
                ready = child.stdout.readline().decode().split()
                running = " ".join(prefix_processes())
                servers = {int(pid): command_line(int(pid)) for pid in ready[1:]}
                if how == "sigterm":
                    child.send_signal(signal.SIGTERM)
                elif how == "sigkill":
                    child.kill()
                child.communicate(b"go\n", timeout=60)
            finally:
                if child.poll() is None:
                    child.kill()
        self.assertEqual(ready[:1], ["ready"], "the child script failed before it was ready")
        return running, servers

    def test_a_script_leaves_no_wine_process_or_x_server_however_it_ends(self):
        script = Path(tempfile.mkdtemp(prefix="harness-test-")) / "child.py"
        script.write_text(CHILD)
        try:
            for how in ("exit", "failure", "sigterm", "sigkill"):
                with self.subTest(how=how):
                    harness.kill_prefix()  # our own programs would count as leftovers
                    running, servers = self.run_child(script, how)
                    self.assertIn("kbdsim.exe", running)
                    self.assertIn("notepad", running)
                    self.assertTrue(any(line.startswith("Xvfb ") for line in servers.values()))
                    server_pids = list(servers)
                    deadline = time.monotonic() + 20
                    while prefix_processes() or any(alive(pid) for pid in server_pids):
                        if time.monotonic() > deadline:
                            self.fail(f"left behind: {prefix_processes()} "
                                      f"{[pid for pid in server_pids if alive(pid)]}")
                        time.sleep(0.2)
        finally:
            harness.kill_prefix()
            shutil.rmtree(script.parent)


class Crashes(unittest.TestCase):
    def test_a_crashing_program_ends_at_once_and_says_so_on_stderr(self):
        # A display is up, so Wine's debugger would show its "Program Error" dialog and keep
        # the program waiting there, unless the prefix turned that dialog off.
        harness.Xvfb().start()
        started = time.monotonic()
        result = harness.run_windows_exe("rundll32.exe", ["kernel32.dll,DebugBreak"],
                                         timeout=60)
        self.assertLess(time.monotonic() - started, 20)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("Unhandled exception", result.stderr)
        self.assertNotIn("Program Error", display_windows(harness.desktop_display()))


class Paths(unittest.TestCase):
    def test_relative_build_folder_and_kbdsim_workdir_hold_in_another_working_folder(self):
        saved = {name: os.environ.get(name) for name in ("KBD_WIN_BIN", "KBD_EXE_KBDSIM")}
        folder = Path(tempfile.mkdtemp(prefix="harness-test-"))
        try:
            os.environ["KBD_WIN_BIN"] = os.path.relpath(harness.exe_path("kbdsim").parent)
            os.environ.pop("KBD_EXE_KBDSIM", None)
            harness._exe_cache.clear()
            kbdsim = harness.exe_path("kbdsim")
            self.assertTrue(kbdsim.is_absolute(), kbdsim)
            # Exit code 2: the program ran, and found no simulator under that name.
            result = harness.run_windows_exe(kbdsim, ["--pipe", "none", "--send", "plug 1"],
                                             cwd=folder)
            self.assertEqual(result.returncode, 2, result.stderr)

            with harness.Kbdsim(models=(1,), workdir=folder / "sim") as sim:
                self.assertEqual(sim.workdir, folder / "sim")
                sim.send("unplug 1")
            self.assertIn("unplug", (folder / "sim" / "frames.log").read_text())
            self.assertTrue((folder / "sim" / "state.txt").is_file())  # left for the caller

            if os.environ.get("KBD_E2E_KEEP") != "1":
                with harness.Kbdsim(models=(1,)) as sim:
                    pass
                self.assertFalse(sim.workdir.exists())  # a temporary folder goes
        finally:
            for name, value in saved.items():
                if value is None:
                    os.environ.pop(name, None)
                else:
                    os.environ[name] = value
            harness._exe_cache.clear()
            shutil.rmtree(folder)


if __name__ == "__main__":
    unittest.main()
