"""Both TVKBDCMD.dll builds export exactly the six undecorated names and import only Windows'
own DLLs (objdump -p); their import libraries map the __stdcall names a client's compiler
uses to those exports."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

EXPORTS = ["BuzzOff", "BuzzOn", "DisKEYClick", "SetKEYClick", "WaveBuzzOff", "WaveBuzzOn"]
ARG_BYTES = {"BuzzOn": 8, "BuzzOff": 0, "SetKEYClick": 4, "DisKEYClick": 0, "WaveBuzzOn": 8,
             "WaveBuzzOff": 0}
# DLLs every Windows installation has; nothing of MinGW's runtime (libgcc, libstdc++,
# libwinpthread) may appear.
WINDOWS_DLLS = {"kernel32.dll", "user32.dll", "winmm.dll", "hid.dll", "setupapi.dll",
                "msvcrt.dll", "advapi32.dll", "gdi32.dll"}
TOOLS = {64: ("x86_64-w64-mingw32-objdump", "pe-x86-64"), 32: ("i686-w64-mingw32-objdump",
                                                              "pei-i386")}


def main() -> int:
    failed = []

    def check(what, ok, detail=""):
        print(("ok   " if ok else "FAIL ") + what + ("" if ok else f": {detail}"))
        if not ok:
            failed.append(what)

    for bits in (64, 32):
        folder = Path(os.environ[f"KBD_BUZZER{bits}_BIN"])
        dll = folder / "TVKBDCMD.dll"
        objdump, _ = TOOLS[bits]
        text = subprocess.run([objdump, "-p", str(dll)], capture_output=True, text=True,
                              check=True).stdout
        check(f"{bits}-bit: a {bits}-bit DLL",
              ("Magic\t\t\t020b" if bits == 64 else "Magic\t\t\t010b") in text)
        table = text[text.find("[Ordinal/Name Pointer] Table"):]
        table = table if "[Ordinal/Name Pointer]" in table else text[text.find("Name Pointer"):]
        names = sorted(set(re.findall(r"^\s+\[\s*\d+\]\s+(\S+)\s*$", table, re.M)))
        check(f"{bits}-bit: exactly the six undecorated exports", names == EXPORTS, names)
        dlls = sorted({name.lower() for name in re.findall(r"DLL Name: (\S+)", text)})
        check(f"{bits}-bit: imports only Windows' own DLLs ({', '.join(dlls)})",
              set(dlls) <= WINDOWS_DLLS, dlls)

        nm = shutil.which("llvm-nm") or shutil.which("llvm-nm-14")
        for lib in ("libTVKBDCMD.dll.a", "TVKBDCMD.lib"):
            path = folder / "lib" / lib
            if not path.exists():
                check(f"{bits}-bit: {lib} built", False, path)
                continue
            if not nm:
                continue
            symbols = subprocess.run([nm, str(path)], capture_output=True, text=True).stdout
            for name in EXPORTS:
                wanted = (f"__imp_{name}" if bits == 64 else f"__imp__{name}@{ARG_BYTES[name]}")
                if not re.search(rf"\s{re.escape(wanted)}$", symbols, re.M):
                    check(f"{bits}-bit: {lib} has {wanted}", False, symbols[:500])
                    break
            else:
                check(f"{bits}-bit: {lib} maps every export", True)
    print("all facts hold" if not failed else f"{len(failed)} fact(s) failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
