#!/usr/bin/env python3
"""Stages the built deliverables and makes the service PC's MSI and the zip from them.

make_package.py --windows BUILD --windows32 BUILD32 --out DIR [--version X.Y.Z]
The version defaults to the project version of the top CMakeLists.txt; another one is only for
making an older or newer installer of the same files (the upgrade test)."""
import argparse
import os
import re
import shutil
import subprocess
import sys

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WXS = os.path.join(SOURCE, "packaging", "PosKeyboardSuite.wxs")


def project_version():
    with open(os.path.join(SOURCE, "CMakeLists.txt"), encoding="utf-8") as f:
        match = re.search(r"project\(\s*PosKeyboardSuite\s+VERSION\s+([0-9.]+)", f.read())
    if not match:
        sys.exit("make_package: no project version in CMakeLists.txt")
    return match.group(1)


def layout(build, build32):
    """(staged path, built or source file) for everything the MSI and the zip hold."""
    src = lambda *p: os.path.join(SOURCE, *p)
    b64 = lambda *p: os.path.join(build, *p)
    b32 = lambda *p: os.path.join(build32, *p)
    files = [
        ("TAVmapDL.exe", b64("keymap_download", "win32", "TAVmapDL.exe")),
        ("Lexmap.exe", b64("keymap_editor", "win32", "Lexmap.exe")),
        ("TAVSET.exe", b64("settings_tool", "win32", "TAVSET.exe")),
        ("TAVFrmDL.exe", b64("firmware_download", "win32", "TAVFrmDL.exe")),
        ("Sonder.exe", b64("report_tester", "win32", "Sonder.exe")),
        ("Keyboard.ini", src("report_tester", "samples", "Keyboard.ini")),
        ("Kit/README.md", src("buzzer_library", "README.md")),
        ("Kit/include/TVKBDCMD.h", src("buzzer_library", "TVKBDCMD.h")),
        ("Kit/simulator/kbdsim.exe", b64("simulator", "win32", "kbdsim.exe")),
        ("Kit/simulator/README.md", src("simulator", "README.md")),
    ]
    for name in ("Keycode.Eng", "Keycode.Jpn", "Lexmap.INI"):
        files.append((name, src("keymap_editor", "win32", "samples", name)))
    for arch, b in (("x64", b64), ("x86", b32)):
        files += [
            (f"Kit/redist/{arch}/TVKBDCMD.dll", b("buzzer", "TVKBDCMD.dll")),
            (f"Kit/redist/{arch}/TAVBuzzChk.exe", b("buzzer", "TAVBuzzChk.exe")),
            (f"Kit/lib/{arch}/TVKBDCMD.lib", b("buzzer", "lib", "TVKBDCMD.lib")),
            (f"Kit/lib/{arch}/libTVKBDCMD.dll.a", b("buzzer", "lib", "libTVKBDCMD.dll.a")),
            # The .def the import libraries were made from: what a client's linker resolves.
            (f"Kit/lib/{arch}/TVKBDCMD.def", b("buzzer_library", "win32", "TVKBDCMD_imports.def")),
        ]
    return files


def stage(files, folder):
    shutil.rmtree(folder, ignore_errors=True)
    for staged, built in files:
        if not os.path.isfile(built):
            sys.exit(f"make_package: missing {built} (build the windows and windows32 presets)")
        target = os.path.join(folder, staged)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(built, target)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--windows", required=True)
    parser.add_argument("--windows32", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--version", default=None)
    args = parser.parse_args()
    version = args.version or project_version()
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    name = f"PosKeyboardSuite-{version}"
    folder = os.path.join(out, name)
    stage(layout(args.windows, args.windows32), folder)

    msi = os.path.join(out, f"{name}-x64.msi")
    # wixl takes the files' sources relative to the folder it runs in.
    subprocess.run(["wixl", "-a", "x64", "-D", f"Version={version}", "-D", f"Stage={name}",
                    "-o", msi, WXS], cwd=out, check=True)
    archive = os.path.join(out, f"{name}.zip")
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(["zip", "-q", "-r", archive, name], cwd=out, check=True)
    for path in (msi, archive):
        print(f"{path}  {os.path.getsize(path)} bytes")


if __name__ == "__main__":
    main()
