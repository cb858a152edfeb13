#!/usr/bin/env python3
"""Runs link_bench.exe under Wine against a fresh kbdsim.exe and prints its figures, one per line:
"name value unit" (exchange_roundtrip_ms, exchange_roundtrip_poll8_ms, transfer_2048_frames_s).

usage: bench/run_link_bench.py [--build-dir DIR] [--samples N]

DIR is the Windows build directory (default: $KBD_WIN_BIN or build/windows). The Wine prefix
is $WINEPREFIX or DIR/wine/bench. Exit code: link_bench's (0 all exchanges succeeded).
"""

import argparse
import os
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.environ.get("KBD_WIN_BIN")
                        or str(REPO / "build" / "windows"))
    parser.add_argument("--samples", type=int, default=200)
    args = parser.parse_args()
    build_dir = Path(args.build_dir).resolve()
    os.environ["KBD_WIN_BIN"] = str(build_dir)
    os.environ.setdefault("WINEPREFIX", str(build_dir / "wine" / "bench"))

    import harness  # after the environment is set: it reads the prefix and build folder

    # A keyboard answers after its USB turnaround, never before the PC has started reading.
    with harness.Kbdsim(models=(1,), args=("--turnaround-us", "200")) as sim:
        result = harness.run_windows_exe(harness.exe_path("link_bench"),
                                         ["--samples", str(args.samples)],
                                         env=sim.env(), timeout=300)
    sys.stdout.write(result.stdout)
    sys.stderr.write(result.stderr)
    return result.returncode


if __name__ == "__main__":
    sys.exit(main())
