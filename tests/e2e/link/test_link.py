"""The HID link end to end: link_probe.exe (the real Link, transfers and sim backend) under Wine
against kbdsim.exe. Run one group with `test_link.py Discovery` (or Frames, Sharing, Churn,
Timeout)."""

import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
import harness  # noqa: E402
from harness import Kbdsim, frame_bytes  # noqa: E402


def make_frame(command: int, payload: bytes = b"") -> bytes:
    body = bytes([command, len(payload) + 1]) + payload
    return frame_bytes((b"\x00" + body + bytes([sum(body) & 0xFF])).hex())


def date_stamp(text: str) -> bytes:
    return make_frame(0x08, b"\x03" + text.encode())


def hex_args(frame: bytes) -> str:
    return " ".join(f"{b:02X}" for b in frame.rstrip(b"\x00") or b"\x00")


class Probe:
    """One run of link_probe.exe and what it printed."""

    def __init__(self, sim: Kbdsim, *args: str, timeout: float = 60):
        self.result = harness.run_windows_exe(
            harness.exe_path("link_probe"), list(args), env=sim.env(), timeout=timeout)
        self.code = self.result.returncode
        self.lines = self.result.stdout.splitlines()

    def field(self, name: str) -> str:
        for line in self.lines:
            if line.startswith(name + " ") or line == name:
                return line[len(name) + 1:]
        raise AssertionError(f"link_probe printed no {name!r}: {self.result.stdout!r}")

    def bytes_of(self, name: str) -> bytes:
        return bytes.fromhex(self.field(name))


def is_ack(frame: bytes) -> bool:
    return frame[1] != 0x81 and frame[3] == (frame[1] + frame[2]) & 0xFF


class Discovery(unittest.TestCase):
    def test_each_model_is_found_past_the_decoys_and_gets_the_frames(self):
        with Kbdsim(models=(1, 2, 3)) as sim:
            for selector in ("1", "2", "3", "4"):  # outside the firmware tool 4 means 2
                probe = Probe(sim, "open", selector)
                self.assertEqual(probe.code, 0, probe.result.stdout)
                self.assertIn("usage_page=FF01 usage=0001 input=38 output=38", probe.lines[0])
            for model in (1, 2, 3):
                stamp = date_stamp(f"2024-0{model}-15")
                probe = Probe(sim, "exchange", str(model), "TimeSet", hex_args(stamp))
                self.assertEqual(probe.field("result"), "accepted")
                received = sim.frames(direction="in")[-1]
                self.assertEqual((received.model, received.data), (model, stamp))

    def test_without_kbdsim_pipe_the_machines_hid_devices_are_searched(self):
        # Wine offers no HID keyboard of ours: the real backend enumerates and finds nothing.
        env = harness.wine_env()
        env.pop("KBDSIM_PIPE", None)
        result = harness.run_windows_exe(harness.exe_path("link_probe"), ["open", "1"], env=env)
        self.assertEqual((result.returncode, result.stdout), (1, "not found\n"))

    def test_firmware_tool_identities(self):
        with Kbdsim(models=("1alt", 4)) as sim:
            self.assertEqual(Probe(sim, "open", "1").code, 1)  # only the alternate identity
            self.assertEqual(Probe(sim, "open", "1", "firmware").code, 0)
            self.assertEqual(Probe(sim, "open", "4", "firmware").code, 0)
            self.assertEqual(Probe(sim, "open", "2").code, 1)
            self.assertEqual(Probe(sim, "open", "4").code, 1)  # means 2 outside the firmware tool

    def test_unplugged_keyboard_is_not_found_until_plugged_again(self):
        with Kbdsim(models=(1, 2)) as sim:
            sim.send("unplug 1")
            probe = Probe(sim, "open", "1")
            self.assertEqual((probe.code, probe.lines), (1, ["not found"]))
            self.assertEqual(Probe(sim, "open", "2").code, 0)
            sim.send("plug 1")
            self.assertEqual(Probe(sim, "open", "1").code, 0)

            self.assertEqual(sim.send_via_pipe("unplug 2").returncode, 0)
            self.assertEqual(Probe(sim, "open", "2").code, 1)
            self.assertEqual(Probe(sim, "readmap", "2").lines, ["failed"])

    # On Wine's HID stack the test bus driver's reader can still be behind kbdsim when the
    # pipe breaks on a busy machine, and the last frames are lost with it: a race of the test
    # driver, not of the link. The sim and stand-in runs keep the case.
    @unittest.skipIf(harness.HIDSTACK, "the test bus driver may lose frames sent just before "
                     "an unplug on a busy machine")
    def test_keyboard_unplugged_by_a_frame_answers_it_then_vanishes(self):
        with Kbdsim(models=(1,), commands=["fault 1 unplug-after on 11"]) as sim:
            probe = Probe(sim, "readmap", "1")
            self.assertEqual(probe.code, 0, probe.result.stdout)
            self.assertEqual(len(probe.bytes_of("keymap")), 192)
            self.assertEqual(Probe(sim, "open", "1").code, 1)
            self.assertIn("unplug", [e.text.split()[0] for e in sim.events(model=1)])


class Frames(unittest.TestCase):
    def check_keymap_read(self, sim, model, request, data_frames):
        probe = Probe(sim, "readmap", str(model))
        self.assertEqual(probe.code, 0, probe.result.stdout)
        keymap = probe.bytes_of("keymap")

        self.assertEqual([f.data for f in sim.frames(model=model, direction="in")],
                         [frame_bytes(request)])
        sent = [f.data for f in sim.frames(model=model, direction="out")]
        self.assertEqual(len(sent), 1 + 1 + data_frames + 1)  # ACK, start, data, end
        ack, start, data, end = sent[0], sent[1], sent[2:-1], sent[-1]
        self.assertTrue(is_ack(ack), ack.hex())
        self.assertEqual((start[2], start[3], start[4]), (6, 0x00, 0x00))
        for frame in data:
            self.assertEqual((frame[2], frame[3], frame[4]), (35, 0x00, 0x01))
        self.assertEqual((end[2], end[3], end[4], end[5]), (3, 0x00, 0xFF, (end[1] + 2) & 0xFF))
        # What the PC got through the pipes is exactly what the keyboard logged as sent.
        self.assertEqual(keymap, b"".join(frame[5:37] for frame in data))

    def test_keymap_read_through_the_pipes_matches_the_frame_log(self):
        with Kbdsim(models=(1, 2)) as sim:
            self.check_keymap_read(sim, 1, "00 11 02 00 13", 6)
            self.check_keymap_read(sim, 2, "00 11 02 01 14", 5)

    def test_reply_read_is_the_reply_logged(self):
        with Kbdsim(models=(2,), commands=["fault 2 nak on 08 at 2"]) as sim:
            stamp = date_stamp("2025-11-30")
            probe = Probe(sim, "exchange", "2", "TimeSet", hex_args(stamp))
            self.assertEqual(probe.field("result"), "accepted")
            self.assertEqual(probe.bytes_of("reply"), sim.frames(direction="out")[-1].data)
            self.assertIn('keymap-date = "2025-11-30"', sim.state_text())

            probe = Probe(sim, "exchange", "2", "TimeSet", hex_args(date_stamp("2026-01-01")))
            self.assertEqual((probe.code, probe.field("result")), (1, "refused"))
            reply = probe.bytes_of("reply")
            self.assertEqual(reply[1], 0x81)
            self.assertEqual(reply, sim.frames(direction="out")[-1].data)
            self.assertIn('keymap-date = "2025-11-30"', sim.state_text())


class Sharing(unittest.TestCase):
    def test_phase_event_is_a_named_object_while_the_program_runs(self):
        with Kbdsim(models=(1,)) as sim:
            holder = harness.start_windows_exe(
                harness.exe_path("link_probe"), ["hold", "1", "3000"], env=sim.env())
            self.assertEqual(holder.read_line(timeout=30), "holding")
            probe = Probe(sim, "events", "ZELDLStart", "KeyUpZEL")
            self.assertEqual(probe.lines, ["event ZELDLStart exists", "event KeyUpZEL missing"])
            self.assertEqual(holder.wait(timeout=30).returncode, 0)
            probe = Probe(sim, "events", "ZELDLStart")
            self.assertEqual(probe.lines, ["event ZELDLStart missing"])

    def test_two_processes_hold_the_same_keyboard_and_get_their_own_replies(self):
        with Kbdsim(models=(2,)) as sim:
            first, second = date_stamp("2024-01-01"), date_stamp("2024-02-02")
            holder = harness.start_windows_exe(
                harness.exe_path("link_probe"), ["hold", "2", "2500", hex_args(first)],
                env=sim.env())
            self.assertEqual(holder.read_line(timeout=30), "holding")
            probe = Probe(sim, "exchange", "2", "TimeSet", hex_args(second))
            self.assertEqual(probe.field("result"), "accepted")
            self.assertTrue(is_ack(probe.bytes_of("reply")))

            held = holder.wait(timeout=30)
            self.assertEqual(held.returncode, 0, held.stdout)
            self.assertIn("result accepted", held.stdout)
            self.assertEqual([f.data for f in sim.frames(direction="in")], [second, first])
            self.assertIn('keymap-date = "2024-01-01"', sim.state_text())


    def test_a_delayed_reply_holds_up_only_its_own_connection(self):
        with Kbdsim(models=(1,), commands=["fault 1 delay 3000 on 08 once"]) as sim:
            slow = harness.start_windows_exe(
                harness.exe_path("link_probe"),
                ["exchange", "1", "TimeSet", hex_args(date_stamp("2024-05-05"))], env=sim.env())
            deadline = time.monotonic() + 20
            while not sim.frames(direction="in") and time.monotonic() < deadline:
                time.sleep(0.05)
            probe = Probe(sim, "exchange", "1", "TimeSet", hex_args(date_stamp("2024-06-06")))
            self.assertEqual(probe.field("result"), "accepted")
            self.assertLess(int(probe.field("elapsed_ms")), 1000)
            self.assertTrue(slow.running())

            slow_result = slow.wait(timeout=30)
            self.assertIn("result accepted", slow_result.stdout)
            elapsed = int(slow_result.stdout.split("elapsed_ms ")[1].split()[0])
            self.assertGreaterEqual(elapsed, 3000)

    def test_unplug_closes_the_open_connections(self):
        with Kbdsim(models=(1,)) as sim:
            holder = harness.start_windows_exe(
                harness.exe_path("link_probe"),
                ["hold", "1", "1500", hex_args(date_stamp("2024-07-07"))], env=sim.env())
            self.assertEqual(holder.read_line(timeout=30), "holding")
            sim.send("unplug 1")
            started = time.monotonic()
            held = holder.wait(timeout=30)
            # The write and read fail on the closed pipe at once: no 5 s time-out.
            self.assertLess(time.monotonic() - started, 3.5)
            self.assertEqual(held.returncode, 1)
            self.assertIn("result no_reply", held.stdout)
            self.assertEqual(sim.frames(direction="in"), [])


ROUNDS = int(sys.argv.pop(2)) if len(sys.argv) > 2 and sys.argv[2].isdigit() else 8


class Churn(unittest.TestCase):
    """Many short connections at once, as several tools (and each tool's discovery, which
    opens and closes the decoys) make them: every one is served, and kbdsim stops cleanly in
    the middle of them."""

    def test_every_phase_of_concurrent_clients_is_served(self):
        with Kbdsim(models=(1, 2)) as sim:
            probes = [harness.start_windows_exe(harness.exe_path("link_probe"),
                                                ["churn", model, "3", "2000"], env=sim.env())
                      for model in ("1", "2")]
            for probe in probes:
                result = probe.wait(timeout=60)
                self.assertEqual(result.returncode, 0, result.stdout)
                phases = int(result.stdout.split("phases ")[1].split()[0])
                self.assertGreater(phases, 20, result.stdout)
            # Lines logged from many connections at once come out whole, one per frame.
            requests = sim.frames(direction="in")
            self.assertTrue(requests)
            self.assertTrue(all(f.data[1] == 0x11 for f in requests))

    def test_stopping_in_the_middle_of_many_connections_is_clean(self):
        for round_number in range(ROUNDS):
            with self.subTest(round=round_number):
                sim = Kbdsim(models=(1, 2)).start()
                probe = harness.start_windows_exe(harness.exe_path("link_probe"),
                                                  ["churn", "2", "6", "20000"], env=sim.env())
                try:
                    deadline = time.monotonic() + 20
                    while len(sim.frames(direction="in")) < 10 + 5 * round_number:
                        self.assertLess(time.monotonic(), deadline, "no requests came")
                        time.sleep(0.01)
                finally:
                    # Raises if kbdsim crashed, hung or ended with another code than 0.
                    self.assertEqual(sim.stop(), 0)
                    probe.kill()


class Timeout(unittest.TestCase):
    def test_no_reply_ends_after_the_timeout_and_the_link_recovers(self):
        with Kbdsim(models=(1,), commands=["fault 1 silent always"]) as sim:
            probe = Probe(sim, "exchange", "1", "ZELDLStart", hex_args(date_stamp("2024-03-03")))
            self.assertEqual((probe.code, probe.field("result")), (1, "no_reply"))
            elapsed = int(probe.field("elapsed_ms"))
            self.assertGreaterEqual(elapsed, 5000)
            self.assertLess(elapsed, 6500)
            self.assertEqual(len(sim.frames(direction="in")), 1)
            self.assertEqual(sim.frames(direction="out"), [])

            sim.send("clear-faults")
            probe = Probe(sim, "exchange", "1", "ZELDLStart", hex_args(date_stamp("2024-03-04")))
            self.assertEqual(probe.field("result"), "accepted")
            self.assertLess(int(probe.field("elapsed_ms")), 1000)

    def test_late_reply_is_taken_as_soon_as_it_comes(self):
        with Kbdsim(models=(1,), commands=["fault 1 delay 1500 on 08"]) as sim:
            started = time.monotonic()
            probe = Probe(sim, "exchange", "1", "TimeSet", hex_args(date_stamp("2024-04-04")))
            self.assertEqual(probe.field("result"), "accepted")
            elapsed = int(probe.field("elapsed_ms"))
            self.assertGreaterEqual(elapsed, 1500)
            self.assertLess(elapsed, 2000)
            self.assertLess(time.monotonic() - started, 4.5)


if __name__ == "__main__":
    unittest.main(verbosity=2)
