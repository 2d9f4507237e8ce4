#!/usr/bin/python3
"""scripts/run-steps: runs steps in order, stops at the first failure, and always ends with the table."""
import os
import subprocess
import sys
import unittest

RUN_STEPS = os.path.join(sys.argv.pop(1), "scripts", "run-steps")


def run(*args):
    return subprocess.run([RUN_STEPS, *args], capture_output=True, text=True, timeout=60)


class RunSteps(unittest.TestCase):
    def test_all_steps_run_in_order_and_the_table_ends_the_output(self):
        result = run("first", "echo one", "second", "echo two")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertLess(result.stdout.index("one"), result.stdout.index("two"))
        table = result.stdout[result.stdout.index("step "):].splitlines()
        self.assertEqual([line.split()[0] for line in table[2:]], ["first", "second", "total"])

    def test_a_failing_step_stops_the_run_with_its_status(self):
        result = run("good", "true", "bad", "exit 3", "never", "echo should-not-run")
        self.assertEqual(result.returncode, 3)
        self.assertNotIn("should-not-run", result.stdout)
        self.assertRegex(result.stdout, r"bad\s+[\d.]+\s+FAILED \(exit 3\)")
        self.assertRegex(result.stdout, r"never\s+not run")

    def test_a_step_without_a_command_is_refused(self):
        result = run("lonely")
        self.assertEqual(result.returncode, 2)
        self.assertIn("Usage: scripts/run-steps", result.stderr)
        self.assertEqual(result.stdout, "")


if __name__ == "__main__":
    unittest.main()
