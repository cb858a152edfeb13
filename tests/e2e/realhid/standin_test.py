"""The stand-in setupapi.dll and hid.dll themselves: standin_check.exe holds them to the system's
rules against kbdsim (which takes misuse on purpose: a wrong record size once for the
interface record and once per interface for the detail record, freeing and destroying twice, a
call on freed data), then leaves one of everything behind, and their report must show each."""

import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
import harness  # noqa: E402


class Standins(unittest.TestCase):
    def test_rules_and_the_report_of_what_was_left_behind(self):
        exe = harness.exe_path("standin_check")  # a copy beside the stand-ins (realhid mode)
        with harness.Kbdsim(models=(1,)) as sim:
            result = harness.run_windows_exe(exe, env=sim.env(), timeout=60)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("standin rules ok", result.stdout)
        lines = {line.split()[0]: line for line in harness.real_hid_report().splitlines()
                 if "exe=standin_check.exe" in line}
        self.assertRegex(lines["setupapi"], r"lists_not_destroyed=1 misuse=6\b")
        self.assertRegex(lines["hid"], r"preparsed_not_freed=1 handles_open=1 misuse=2\b")
        self.assertEqual(harness.real_hid_problems(lines["setupapi"] + "\n" + lines["hid"]),
                         [lines["setupapi"], lines["hid"]])
        # Nothing else ran, so the end-of-script check must not fail this script for them.
        harness.forget_real_hid_report()


if __name__ == "__main__":
    unittest.main(verbosity=2)
