"""kbdsim.exe's own command line under Wine: ready line, --send answers and exit codes, stop on
end of input or "quit", state file and frame log at start, refusal of bad arguments."""

import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
import harness  # noqa: E402
from harness import Kbdsim  # noqa: E402


def kbdsim(*args: str) -> harness.RunResult:
    return harness.run_windows_exe(harness.exe_path("kbdsim"), list(args), timeout=30)


class KbdsimControl(unittest.TestCase):
    def test_send_answers_and_exit_codes(self):
        with Kbdsim(models=(1, 2)) as sim:
            self.assertEqual(sim.ready_line, f"kbdsim ready pipe={sim.pipe}")
            result = sim.send_via_pipe("unplug 2")
            self.assertEqual((result.returncode, result.stdout), (0, "ok\n"))
            result = sim.send_via_pipe("unplug 7")
            self.assertEqual(result.returncode, 1)
            self.assertTrue(result.stdout.startswith("error: "), result.stdout)
            listing = sim.send_via_pipe("list").stdout
            self.assertIn("interface 1 1FF3 0001 FF01 0001", listing)
            self.assertNotIn("interface 2 ", listing)
            self.assertTrue(listing.endswith("end\n"))
            self.assertTrue(sim.send("plug 2") == "ok")
            self.assertIn("interface 2 1FF3 0002 FF01 0001", sim.send_via_pipe("list").stdout)

            # A second simulator under the same name is refused; the first keeps serving.
            second = kbdsim("--pipe", sim.pipe, "--models", "1")
            self.assertEqual(second.returncode, 1)
            self.assertIn("already serves", second.stderr)
            self.assertEqual(sim.send_via_pipe("clear-faults").returncode, 0)

        result = kbdsim("--pipe", sim.pipe, "--send", "clear-faults")
        self.assertEqual(result.returncode, 2, result.stdout)
        self.assertEqual(sim.exit_code, 0)  # stopped by the end of its input

    def test_quit_stops_it_after_answering(self):
        sim = Kbdsim(models=(3,)).start()
        try:
            result = sim.send_via_pipe("quit")
            self.assertEqual((result.returncode, result.stdout), (0, "ok\n"))
            self.assertEqual(sim.process.wait(timeout=10).returncode, 0)
        finally:
            sim.stop()

    def test_state_file_and_commands_apply_at_start_and_the_log_is_appended(self):
        with Kbdsim(models=(1,)) as sim:
            sim.send("set 1 keymap-date = \"2023-05-06\"")
            state = sim.state_text()
            sim.send("unplug 1")
        self.assertIn('keymap-date = "2023-05-06"', state)

        with Kbdsim(models=(1,), state=state, commands=["unplug 1"]) as sim:
            self.assertIn('keymap-date = "2023-05-06"', sim.state_text())
            self.assertNotIn("interface 1 ", sim.send_via_pipe("list").stdout)
            sim.send("plug 1")
            # Frame-log lines are flushed as they happen.
            self.assertEqual([e.text for e in sim.events(model=1)], ["unplug", "plug"])

    def test_bad_arguments_and_files_are_refused(self):
        bad_runs = [
            (),
            ("--pipe",),
            ("--pipe", "a b"),
            ("--pipe", "x", "--bogus", "1"),
            ("--pipe", "x", "--models", "1,9"),
            ("--pipe", "x", "--command", "wobble 1"),
            ("--pipe", "x", "--turnaround-us", "soon"),
        ]
        for args in bad_runs:
            result = kbdsim(*args)
            self.assertEqual(result.returncode, 1, args)
            self.assertTrue(result.stderr.startswith("kbdsim: "), (args, result.stderr))
            self.assertNotIn("ready", result.stdout)

        with Kbdsim(models=(1,)) as sim:
            bad_state = sim.workdir / "bad.txt"
            bad_state.write_text("[model 1]\nkeymap = zz\n")
            result = kbdsim("--pipe", sim.pipe + "-2", "--state",
                            harness.to_windows_path(bad_state))
            self.assertEqual(result.returncode, 1)
            self.assertIn("state file", result.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
