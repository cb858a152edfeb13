#!/usr/bin/env python3
"""Reads the version resource back from built Windows files and checks it carries the suite's
version: the fixed file and product version, and the FileVersion, ProductVersion and ProductName
strings, with no maker's name.

usage: check_version.py <version x.y.z> <product name> <file.exe|file.dll> ...
"""
import struct
import sys

FIXED_SIGNATURE = struct.pack("<I", 0xFEEF04BD)


def utf16(text: str) -> bytes:
    return text.encode("utf-16-le")


def string_value(data: bytes, key: str) -> str | None:
    """The value of one StringFileInfo entry: key, NUL, padding to 32 bits, value, NUL."""
    at = data.find(utf16(key) + b"\0\0")
    if at < 0:
        return None
    at += len(utf16(key)) + 2
    at += (-at) % 4  # entries align their values to 32 bits from the resource's start
    end = at
    while end + 1 < len(data) and data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def problems(path: str, version: str, product: str) -> list[str]:
    data = open(path, "rb").read()
    at = data.find(FIXED_SIGNATURE)
    if at < 0:
        return [f"{path}: no version resource"]
    parts = [int(p) for p in version.split(".")] + [0]
    want_ms = parts[0] << 16 | parts[1]
    want_ls = parts[2] << 16 | parts[3]
    _sig, _struct, file_ms, file_ls, prod_ms, prod_ls = struct.unpack_from("<6I", data, at)
    found = []
    if (file_ms, file_ls) != (want_ms, want_ls):
        found.append(f"{path}: file version {file_ms >> 16}.{file_ms & 0xFFFF}."
                     f"{file_ls >> 16}.{file_ls & 0xFFFF}, not {version}")
    if (prod_ms, prod_ls) != (want_ms, want_ls):
        found.append(f"{path}: product version differs from {version}")
    for key, want in (("FileVersion", version), ("ProductVersion", version),
                      ("ProductName", product)):
        got = string_value(data, key)
        if got != want:
            found.append(f"{path}: {key} is {got!r}, not {want!r}")
    if not string_value(data, "FileDescription"):
        found.append(f"{path}: no FileDescription")
    if string_value(data, "CompanyName") is not None:
        found.append(f"{path}: names a maker")
    return found


def main(argv: list[str]) -> int:
    if len(argv) < 4:
        print(__doc__)
        return 2
    version, product, files = argv[1], argv[2], argv[3:]
    found = [p for f in files for p in problems(f, version, product)]
    for line in found:
        print(line)
    print(f"{len(files) - len({p.split(':')[0] for p in found})} passed, "
          f"{len({p.split(':')[0] for p in found})} failed")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
