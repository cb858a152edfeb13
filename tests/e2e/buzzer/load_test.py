"""Load: 8 clients, 4 of each bitness, load the library, call its exports at random and unload
it, again and again for 30 s, against one simulated keyboard, while a ninth client holds the
library and sends the check tool 100 device changes. Nothing crashes or hangs, the tool's
handle count does not grow, and once the last client has unloaded no tool is left."""

import sys
import time

import harness
from buzzer import Facts, Install, skip_unless_32bit_runs, temp_root

SECONDS = 30
DEVICE_CHANGES = 100


def main() -> int:
    skip_unless_32bit_runs()
    facts = Facts()
    root = temp_root()
    installs = {64: Install(64, root), 32: Install(32, root)}
    with harness.Kbdsim(models=(1, 2)) as sim:
        holder = installs[64].client(sim)
        holder.ask("load")
        holder.ask("call:BuzzOn:2:1")
        holder.ask("call:SetKEYClick:1")
        holder.wait_tool(1, "yes")
        for _ in range(5):  # the tool's first replays set up what it keeps for good
            holder.ask("devchange")
        before = holder.tool()

        clients = [harness.start_windows_exe(installs[64 if n % 2 else 32].folder /
                                             "buzz_client.exe", [f"cycle:{SECONDS}:{n + 1}"],
                                             env=sim.env(), cwd=installs[64 if n % 2 else 32].folder)
                   for n in range(8)]
        answers = [holder.ask("devchange", timeout=90) for _ in range(DEVICE_CHANGES)]
        results = [client.wait(timeout=SECONDS + 60) for client in clients]
        # Counted once the last replay has settled: a replay's load starts a short thread
        # that holds a few handles until it has started the tool.
        deadline = time.monotonic() + 10
        after = holder.tool()
        while (after["handles"] != "-" and before["handles"] != "-"
               and int(after["handles"]) > int(before["handles"]) + 5
               and time.monotonic() < deadline):
            time.sleep(0.5)
            after = holder.tool()

        facts.equal("every device change reached the tool",
                    {answer for answer in answers}, {"devchange sent"})
        facts.check(f"the tool's handles do not grow over {DEVICE_CHANGES} device changes "
                    f"({before['handles']} -> {after['handles']})",
                    before["handles"] != "-" and after["handles"] != "-"
                    and int(after["handles"]) <= int(before["handles"]) + 5, (before, after))
        for n, result in enumerate(results):
            line = result.stdout.strip()
            crashed = any(mark in result.stderr for mark in harness._CRASH_MARKS)
            facts.check(f"client {n} ({64 if n % 2 else 32}-bit) ran to its end: {line}",
                        result.returncode == 0 and line.startswith("cycles=") and not crashed,
                        result.stderr[-1500:])
        holder.ask("unload")
        facts.check("no check tool is left once the last client has unloaded",
                    bool(holder.wait_tool(0, "no", timeout=20)))
        holder.end()
    return facts.exit_code()


if __name__ == "__main__":
    sys.exit(main())
