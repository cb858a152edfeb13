#!/usr/bin/env python3
"""Benchmark keymap_batch_overhead_s: the wall time of a TAVmapDL `/2 /W` batch run that
writes and date-stamps a different key map against kbdsim.exe, less the tool's fixed 12 s
pause before the date stamp. Prints `keymap_batch_overhead_s <median> s`.

    KBD_WIN_BIN=build/windows python3 tests/e2e/keymap_download/bench_batch.py [--runs N]

Uses $WINEPREFIX (default: the harness's) and a private Xvfb; guidriver.exe presses OK in the
result dialog as soon as it shows, so the run ends without the dialog's 10 s timer.
"""

import argparse
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
import harness  # noqa: E402
from tavmapdl import BATCH_TITLE, ENGLISH_ENV, keymap_state, write_table  # noqa: E402
from guidriver import GuiDriver, prepare_display_prefix  # noqa: E402

PAUSE_S = 12.0
OLD_MAP = bytes(range(160))
NEW_MAP = bytes(range(1, 161))


def one_run(display, gui, folder: Path) -> float:
    with harness.Kbdsim(models=(1, 2), state=keymap_state(2, OLD_MAP)) as sim:
        table = write_table(folder, "bench.tbl", NEW_MAP, lines=20)
        env = display.env(sim.env())
        env.update(ENGLISH_ENV)
        started = time.monotonic()
        process = harness.start_windows_exe(harness.exe_path("TAVmapDL"),
                                            ["/2", "/W", harness.to_windows_path(table)],
                                            env=env)
        shown = gui.message(title=BATCH_TITLE, button="ok", timeout_ms=60000)
        result = process.wait(timeout=60)
        elapsed = time.monotonic() - started
        if result.returncode != 0 or "update success" not in shown["text"]:
            raise SystemExit(f"bench run failed: exit {result.returncode}, {shown['text']!r}")
        return elapsed - PAUSE_S


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    prepare_display_prefix()
    folder = Path(harness.tempfile.mkdtemp(prefix="tavmapdl-bench-"))
    with harness.Xvfb() as display:
        gui = GuiDriver(display.env())
        try:
            overheads = [one_run(display, gui, folder) for _ in range(args.runs)]
        finally:
            gui.stop()
    harness.shutil.rmtree(folder, ignore_errors=True)
    print(f"keymap_batch_overhead_s {statistics.median(overheads):.3f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
