"""A 64-bit and a 32-bit client on one PC share one attach count, one set of saved settings and
one check tool: each replays what the other saved, the tool outlives the first unload and
replays after a device change, the last unload ends it."""

import sys
import time

import harness
from buzzer import Facts, Install, skip_unless_32bit_runs, frames_since, received, temp_root


def main() -> int:
    skip_unless_32bit_runs()
    facts = Facts()
    root = temp_root()
    install64, install32 = Install(64, root), Install(32, root)
    with harness.Kbdsim(models=(1, 2)) as sim:
        a = install64.client(sim)
        b = install32.client(sim)
        facts.equal("bitnesses", (a.ask("bits"), b.ask("bits")), ("bits 64", "bits 32"))
        a.ask("load")
        a.wait_tool(1, "yes")
        mark = received(sim)
        for call in ("BuzzOn:1:2", "SetKEYClick:2", "WaveBuzzOn:2:0"):
            a.ask("call:" + call)
        b.ask("load")
        time.sleep(1)
        facts.equal("one check tool for both bitnesses",
                    b.wait_tool(1, "yes", processes=True)["count"], "1")
        for call in ("BuzzOn:0:255", "SetKEYClick:255", "WaveBuzzOn:0:255", "BuzzOff"):
            b.ask("call:" + call)
        a.ask("call:BuzzOn:0:255")  # cleared by the 32-bit client: nothing to repeat
        facts.equal("the 32-bit client replays what the 64-bit one saved, and clears it for both",
                    frames_since(sim, mark), [
                        "1: 00 04 03 02 02 0B", "2: 00 02 03 01 02 08", "1: 00 02 03 01 02 08",
                        "2: 00 04 03 04 00 0B",
                        "1: 00 04 03 02 02 0B", "2: 00 02 03 01 02 08", "1: 00 02 03 01 02 08",
                        "2: 00 04 03 04 00 0B", "1: 00 05 02 00 07"])
        a.ask("unload")
        a.end()
        time.sleep(0.5)
        facts.equal("the tool outlives the 64-bit client while the 32-bit one remains",
                    b.tool()["window"], "yes")
        sim.send("unplug 2")
        sim.send("plug 2")
        mark = received(sim)
        facts.equal("device change delivered", b.ask("devchange"), "devchange sent")
        facts.equal("the replay sends the settings both clients made",
                    frames_since(sim, mark), [
                        "2: 00 04 03 04 00 0B", "2: 00 02 03 01 02 08", "1: 00 02 03 01 02 08"])
        facts.equal("one client counted in the shared block",
                    b.wait_shared(lambda s: s.endswith("attach=1")).split()[-1], "attach=1")
        b.ask("unload")
        facts.equal("the shared block is gone with the last client",
                    b.wait_shared(lambda s: s == "shared none"), "shared none")
        facts.check("the last unload of either bitness ends the tool", bool(b.wait_tool(0, "no")))
        b.end()
    return facts.exit_code()


if __name__ == "__main__":
    sys.exit(main())
