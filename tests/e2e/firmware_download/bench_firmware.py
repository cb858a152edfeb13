#!/usr/bin/env python3
"""Benchmark firmware_download_s: the wall time of a TAVFrmDL batch download of a full 64 KiB
image (2048 data frames) and its date stamp against kbdsim.exe, less the tool's two fixed
12 s pauses. Prints `firmware_download_s <median> s`.

    KBD_WIN_BIN=build/windows python3 tests/e2e/firmware_download/bench_firmware.py [--runs N]

Uses $WINEPREFIX (default: the harness's). The batch mode shows no window, so no display is
needed beyond the harness's own.
"""

import argparse
import statistics
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
import harness  # noqa: E402
from tavfrmdl import ENGLISH_ENV, random_image, state_firmware, write_firmware  # noqa: E402

PAUSES_S = 24.0


def one_run(folder: Path, image: bytes) -> float:
    path = write_firmware(folder / "bench.mhx", image)
    with harness.Kbdsim(models=(2,)) as sim:
        env = sim.env(ENGLISH_ENV)
        started = time.monotonic()
        result = harness.run_windows_exe(harness.exe_path("TAVFrmDL"),
                                         ["2", harness.to_windows_path(path)], env=env,
                                         timeout=120)
        elapsed = time.monotonic() - started
        kept = state_firmware(sim.state_text(), 2)[0]
        if result.returncode != 0 or kept != image:
            raise SystemExit(f"bench run failed: exit {result.returncode}, "
                             f"image {'arrived' if kept == image else 'differs'}")
        return elapsed - PAUSES_S


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    folder = Path(tempfile.mkdtemp(prefix="tavfrmdl-bench-"))
    image = random_image(99, holes=False)
    try:
        overheads = [one_run(folder, image) for _ in range(args.runs)]
    finally:
        harness.shutil.rmtree(folder, ignore_errors=True)
    print(f"firmware_download_s {statistics.median(overheads):.3f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
