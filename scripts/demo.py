"""A key map download into the simulated Sparrow POS Keyboard, shown step by step.

Runs `TAVmapDL.exe /1 /W <sample>.tbl /L <log>.csv` under Wine against kbdsim.exe, answers the
tool's message dialog through guidriver.exe on a private X display, and prints the exit code,
the dialog, the log line, every frame on the wire and the key map the keyboard holds afterwards.
Exits 0 only when the keyboard ends up holding the file's key map, dated today.

scripts/demo builds what this needs and runs it; the Wine prefix is build/demo/wine.
Arguments are kbdsim control commands applied at its start, to see a failure, e.g.
    scripts/demo "fault 1 nak on 21:00:01 at 3"
"""

from __future__ import annotations

import os
import re
import shutil
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
REPO = Path(__file__).resolve().parents[1]
DEMO = REPO / "build" / "demo"
SAMPLE = REPO / "keymap_download" / "samples" / "sparrow_sample.tbl"
for folder in ("tests/e2e", "tests/e2e/driver", "tests/e2e/keymap_download"):
    sys.path.insert(0, str(REPO / folder))

import harness  # noqa: E402
from guidriver import DriverError, GuiDriver  # noqa: E402
from tavmapdl import BATCH_TITLE, state_keymap, today  # noqa: E402

EXIT_MEANING = {
    0: "success: written and date-stamped (or the keyboard already held this key map)",
    1: "the write failed (or, with /C, the key maps differ)",
    2: "no keyboard found",
    3: "other error: file, command line, key map read, date stamp or time-out",
}
DATE_STAMP_PAUSE = 12


def table_keymap(path: Path) -> bytes:
    """The 192 bytes of a key map table file's 24 T lines."""
    rows = re.findall(r"^T((?:,[0-9A-F]{2}H){8})", path.read_text("ascii"), re.M)
    return bytes(int(group[1:3], 16) for row in rows[:24] for group in re.findall(r",..H", row))


def describe(frame: bytes, direction: str, data_frames: dict[int, int]) -> str:
    """What one logged frame is, in the key map protocol's terms; `data_frames` counts the
    data frames of the transfer in progress, per command."""
    command, length = frame[1], frame[2]
    if frame[1:3] == b"\x81\x02":
        return f"negative reply to command {frame[3]:02X}"
    if length == 1:
        return f"ACK of command {command:02X}"
    if command == 0x11 and direction == "in":
        return "key map read request"
    if command in (0x11, 0x21) and length in (6, 35, 3):
        name = "key map read" if command == 0x11 else "key map write"
        if length == 6:
            data_frames[command] = 0
            return f"{name}: start frame, model flag {frame[5]}, sum {frame[6]:02X}{frame[7]:02X}"
        if length == 35:
            n = data_frames[command] = data_frames.get(command, 0) + 1
            return f"{name}: data frame {n}, key map bytes {32 * n - 32:02X}-{32 * n - 1:02X}"
        return f"{name}: end frame"
    if command == 0x08:
        item = "key map date" if frame[3] == 0x03 else f"item {frame[3]:02X}"
        text = frame[4:14].rstrip(b"\0").decode("ascii", "replace")
        return f'date stamp, {item}: "{text}"'
    return "other frame"


def meaningful_hex(frame: bytes) -> str:
    """Report ID, command, length, payload and checksum: the frame without its zero padding."""
    used = min(38, 3 + frame[2])
    return " ".join(f"{b:02X}" for b in frame[:used]) + (" (00 ...)" if used < 38 else "")


@dataclass
class WireTranscript:
    """Prints kbdsim's frame log while it grows: each frame once, annotated."""

    printed: int = 0
    last: str = ""
    data_frames: dict[int, int] = field(default_factory=dict)

    def show_new(self, sim: harness.Kbdsim) -> None:
        frames, events = harness.parse_frame_log(sim.log_text())
        entries = sorted(frames + events, key=lambda entry: entry.time)
        for entry in entries[self.printed :]:
            if isinstance(entry, harness.LoggedEvent):
                print(f"{entry.time:8.3f}  model {entry.model}  event {entry.text}")
                continue
            arrow = "PC -> kbd" if entry.direction == "in" else "kbd -> PC"
            what = describe(entry.data, entry.direction, self.data_frames)
            print(f"{entry.time:8.3f}  model {entry.model}  {arrow}  {what}\n"
                  f"{'':28}{meaningful_hex(entry.data)}")
            if self.last == "key map write: end frame" and what == "ACK of command 21":
                print(f"          ... written; TAVmapDL now waits {DATE_STAMP_PAUSE} s before "
                      "the date stamp ...")
            self.last = what
        self.printed = len(entries)
        sys.stdout.flush()


def main(commands: list[str]) -> int:
    # A prefix of its own; the harness runs its Wine programs on a private X display and ends
    # them all when the demo ends.
    os.environ["WINEPREFIX"] = str(DEMO / "wine")
    workdir = DEMO / "kbdsim"  # kbdsim's state file and frame log, kept for a look later
    for old in DEMO.glob("kbdsim*"):
        shutil.rmtree(old, ignore_errors=True)
    print(f"== Wine prefix {harness.prefix()} (the first run sets it up: ~10-60 s)", flush=True)
    harness.ensure_prefix()
    sim = harness.Kbdsim(models=(1, 2), pipe=f"demo-{os.getpid()}", commands=commands,
                         workdir=workdir)
    with harness.Xvfb() as display, sim, GuiDriver(display.env()) as gui:
        status = run_download(sim, gui)
    print(f"kbdsim files kept in {workdir}", file=sys.stderr)
    return status


def run_download(sim: harness.Kbdsim, gui: GuiDriver) -> int:
    log = sim.workdir / "download.csv"
    args = ["/1", "/W", harness.to_windows_path(SAMPLE), "/L", harness.to_windows_path(log)]
    print("== Simulated keyboards (Sparrow POS Keyboard, ReedKey PAD) served by kbdsim.exe:")
    print(f"   kbdsim.exe --pipe {sim.pipe} --models 1,2 --state "
          f"{harness.to_windows_path(sim.state_path)} --log {harness.to_windows_path(sim.log_path)}"
          + "".join(f' --command "{command}"' for command in sim.commands))
    before, before_date = state_keymap(sim.state_text(), 1)
    print(f"   the Sparrow holds its initial key map {before[:4].hex(' ').upper()} ... "
          f"{before[-2:].hex(' ').upper()}, dated {before_date}")
    print(f"== Download (batch mode), with KBDSIM_PIPE={sim.pipe}:")
    print(f"   TAVmapDL.exe {' '.join(args)}")
    print("   It reads the keyboard's key map, finds it differs and writes the file; then it "
          f"waits {DATE_STAMP_PAUSE} s before the date stamp (the keyboard's protocol: nothing "
          "hangs).")
    print("== Frames on the wire (seconds since kbdsim started):", flush=True)
    tool = harness.start_windows_exe(harness.exe_path("TAVmapDL"), args, env=sim.env(),
                                     cwd=sim.workdir)
    wire, dialog = WireTranscript(), None
    deadline = time.monotonic() + 90
    while tool.running() and time.monotonic() < deadline:
        wire.show_new(sim)
        if gui.windows(title=BATCH_TITLE, cls="#32770"):
            dialog = gui.message(title=BATCH_TITLE, cls="#32770", button="ok")
            break
        time.sleep(0.2)
    result = tool.wait(timeout=30)
    wire.show_new(sim)

    print(f"== TAVmapDL exit code {result.returncode}: "
          f"{EXIT_MEANING.get(result.returncode, 'unknown')}")
    print('== Its message dialog (title "TAVmapDL"), answered with OK:')
    print("   " + (dialog["text"].rstrip("\n") if dialog else "(no dialog was shown)"))
    if not dialog and result.stderr.strip():
        print("   Wine reported: " + result.stderr.strip())
    print(f"== Log {log.name}:")
    lines = log.read_text("ascii", "replace").splitlines() if log.exists() else []
    for line in lines or ["(no log line was written)"]:
        print("   " + line)

    keymap, date = state_keymap(sim.state_text(), 1)
    print(f"== The Sparrow POS Keyboard now holds (state file {sim.state_path}):")
    for row in range(0, len(keymap), 8):
        print(f"   {row:02X}-{row + 7:02X}  {keymap[row:row + 8].hex(' ').upper()}")
    print(f'   key map date "{date}"')
    sample = SAMPLE.relative_to(REPO)
    if keymap != table_keymap(SAMPLE):
        print(f"== The key map in the keyboard differs from {sample}.")
        return 1
    print(f"== The key map in the keyboard now equals {sample}"
          f"{', dated today' if date == today() else ', but its date is not today'}.")
    return 0 if result.returncode == 0 and date == today() else 1


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except (harness.HarnessError, DriverError) as error:
        print(f"demo failed: {error}", file=sys.stderr)
        sys.exit(1)
