"""The service PC's installer under Wine: an older package, then this one over it (one product
left, this version's files), every file where it belongs with the suite's version, the Start
menu shortcuts on the installed programs, TAVmapDL run from Program Files writing a key map to
kbdsim, a program buzzing through the kit's library, and an uninstall that leaves no file, shortcut or registry value behind.

usage: install_test.py <windows build> <windows32 build> <version> <product name>"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "keymap_download"))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "version"))

import harness  # noqa: E402
from check_version import problems  # noqa: E402
from tavmapdl import (BATCH_TITLE, ToolTest, keymap_frames, keymap_state,  # noqa: E402
                      state_keymap, write_table)

BUILD, BUILD32, VERSION, PRODUCT = sys.argv[1:5]
del sys.argv[1:5]
MAKE_PACKAGE = harness.REPO / "packaging" / "make_package.py"
OLDER = "0.9.0"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
SUITE_KEY = r"HKLM\Software\POS Keyboard Service"
KEYMAP = bytes((7 * i + 3) & 0xFF for i in range(160))


def make_package(out: Path, version: str) -> Path:
    subprocess.run([sys.executable, str(MAKE_PACKAGE), "--windows", BUILD, "--windows32", BUILD32,
                    "--out", str(out), "--version", version], check=True, capture_output=True)
    return out / f"PosKeyboardSuite-{version}-x64.msi"


def msiexec(*args: str) -> None:
    result = subprocess.run([str(harness.WINE_RUN), "msiexec", *args], env=harness.wine_env(),
                            capture_output=True, timeout=120)
    if result.returncode != 0:
        raise AssertionError(f"msiexec {args}: {result.returncode}\n{result.stderr[-2000:]}")


def reg_query(key: str) -> str:
    result = subprocess.run([str(harness.WINE_RUN), "reg", "query", key, "/s"],
                            env=harness.wine_env(), capture_output=True, timeout=60)
    return result.stdout.decode("utf-8", "replace") if result.returncode == 0 else ""


def installed_products() -> list[str]:
    """DisplayVersion of every registered product named as the suite."""
    text = reg_query(UNINSTALL_KEY).replace("\r", "")
    versions = []
    for block in text.split("\n\n"):
        if re.search(rf"DisplayName\s+REG_SZ\s+{re.escape(PRODUCT)}$", block, re.M):
            found = re.search(r"DisplayVersion\s+REG_SZ\s+(\S+)", block)
            versions.append(found.group(1) if found else "?")
    return versions


def shortcuts() -> list[Path]:
    drive = harness.prefix() / "drive_c"
    return [p for p in drive.rglob("*.lnk") if p.parent.name == "POS Keyboard Service"]


def shortcut_target(link: Path) -> Path:
    """The installed file a shell link points at: its local path, on the prefix's drive C."""
    text = link.read_bytes().decode("latin-1")
    found = re.search(r"C:\\Program Files\\POS Keyboard Service\\[^\0]+", text)
    if not found:
        raise AssertionError(f"{link.name} points nowhere in the install folder")
    relative = found.group(0)[len("C:\\"):].replace("\\", "/")
    return harness.prefix() / "drive_c" / relative


class InstalledSuite(ToolTest):
    def test_install_upgrade_use_uninstall(self):
        packages = Path(tempfile.mkdtemp(prefix="package-", dir=self.folder))
        older = make_package(packages / "older", OLDER)
        newer = make_package(packages / "newer", VERSION)
        stage = packages / "newer" / f"PosKeyboardSuite-{VERSION}"
        target = harness.prefix() / "drive_c" / "Program Files" / "POS Keyboard Service"
        try:
            msiexec("/i", harness.to_windows_path(older), "/qn")
            self.assertEqual(installed_products(), [OLDER])
            # The older package's files stand for an older build: the upgrade must bring this
            # one's (checked byte for byte below).
            for name in ("Lexmap.INI", "Kit/redist/x64/TVKBDCMD.dll"):
                (target / name).write_bytes(b"older\r\n")
            msiexec("/i", harness.to_windows_path(newer), "/qn")
            self.assertEqual(installed_products(), [VERSION])

            staged = sorted(p.relative_to(stage) for p in stage.rglob("*") if p.is_file())
            installed = sorted(p.relative_to(target) for p in target.rglob("*") if p.is_file())
            self.assertEqual(installed, staged)
            for name in staged:
                self.assertEqual((target / name).read_bytes(), (stage / name).read_bytes(), name)
            binaries = [str(target / n) for n in staged if n.suffix.lower() in (".exe", ".dll")]
            self.assertEqual(len(binaries), 10)
            self.assertEqual([p for f in binaries for p in problems(f, VERSION, PRODUCT)], [])

            links = {p.stem: shortcut_target(p) for p in shortcuts()}
            self.assertEqual(sorted(links),
                             ["Lexmap", "Sonder", "TAVFrmDL", "TAVSET", "TAVmapDL", "kbdsim"])
            for name, path in links.items():
                self.assertTrue(path.is_file(), f"{name} shortcut: {path}")
            self.assertIn("Installed", reg_query(SUITE_KEY))

            self.write_keymap_with_installed_tavmapdl(target / "TAVmapDL.exe")
            self.buzz_with_installed_library(target / "Kit" / "redist" / "x64")
        finally:
            harness.kill_prefix()
            msiexec("/x", harness.to_windows_path(newer), "/qn")
        self.assertEqual(installed_products(), [])
        self.assertFalse(target.exists() and any(target.rglob("*")), "files left after uninstall")
        self.assertFalse(target.exists(), "install folder left after uninstall")
        self.assertEqual(shortcuts(), [])
        self.assertEqual(reg_query(SUITE_KEY), "")

    def write_keymap_with_installed_tavmapdl(self, exe: Path) -> None:
        os.environ["KBD_EXE_TAVMAPDL"] = str(exe)
        self.start_sim(state=keymap_state(2, bytes(160)))
        table = write_table(self.folder, "new.tbl", KEYMAP, lines=20)
        process = self.start_tool(["/2", "/W", self.win(table), "/L", self.win(self.folder / "log.csv"),
                                   "/T", "2011-01-01"])
        shown = self.gui.message(title=BATCH_TITLE, button="ok", timeout_ms=40000)
        self.assertEqual(process.wait(timeout=60).returncode, 0, shown["text"])
        self.assertIn("update success", shown["text"])
        received = [f.data for f in self.sim.frames(model=2, direction="in")]
        for frame in keymap_frames(2, KEYMAP):
            self.assertIn(frame, received)
        self.assertEqual(state_keymap(self.sim.state_text(), 2)[0], KEYMAP)

    def buzz_with_installed_library(self, redist: Path) -> None:
        """A point-of-sale program with the kit's 64-bit library copied beside it."""
        program = self.folder / "POS Till"
        program.mkdir()
        for name in ("TVKBDCMD.dll", "TAVBuzzChk.exe"):
            shutil.copy2(redist / name, program / name)
        shutil.copy2(Path(BUILD) / "buzzer" / "buzz_client.exe", program / "buzz_client.exe")
        before = len(self.sim.frames(direction="in"))
        result = harness.run_windows_exe(program / "buzz_client.exe",
                                         ["load", "call:BuzzOn:1:0", "call:BuzzOff", "settle"],
                                         env=self.sim.env(), cwd=program, timeout=60)
        self.assertNotIn("failed", result.stdout, result.stdout)
        deadline = time.monotonic() + 10
        while len(self.sim.frames(direction="in")) == before and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertGreater(len(self.sim.frames(direction="in")), before, "no buzzer frame")


if __name__ == "__main__":
    unittest.main()
