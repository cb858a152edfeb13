#!/usr/bin/env python3
"""Benchmark buzzer_heap_growth_per_load_bytes: what a client process's private memory (its
committed private pages, the system's "private bytes") grows by per load and unload of
TVKBDCMD.dll: after 1000 cycles less after the first, divided by 999. Target 0. Each cycle
waits until the library is really gone, so every load runs the library's start anew. Also
prints the bytes in use in the client's heaps the same way, and both for the 32-bit build
when it has been built (suffix _32).

    KBD_WIN_BIN=build/windows python3 tests/e2e/buzzer/bench_heap.py [--cycles N]
"""

import argparse
import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from buzzer import Install, temp_root  # noqa: E402


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--cycles", type=int, default=1000)
    cycles = parser.parse_args().cycles
    build = Path(os.environ.get("KBD_WIN_BIN", "build/windows")).resolve()
    os.environ.setdefault("KBD_BUZZER64_BIN", str(build / "buzzer"))
    os.environ.setdefault("KBD_BUZZER32_BIN", str(build.parent / "windows32" / "buzzer"))
    root = temp_root()
    for bits, suffix in ((64, ""), (32, "_32")):
        try:
            install = Install(bits, root)
        except harness.HarnessError as error:
            print(f"# {bits}-bit not measured: {error}", file=sys.stderr)
            continue
        result = install.run("buzz_client.exe", [f"growth:{cycles}"], timeout=1800)
        words = result.stdout.split()
        if result.returncode != 0 or words[:1] != ["growth"]:
            print(f"# {bits}-bit growth run failed: {result.stdout} {result.stderr[-500:]}",
                  file=sys.stderr)
            return 1
        grown = dict(word.split("=", 1) for word in words[1:])
        print(f"buzzer_heap_growth_per_load_bytes{suffix} {grown['committed']} bytes")
        print(f"buzzer_heap_in_use_growth_per_load_bytes{suffix} {grown['heap']} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
