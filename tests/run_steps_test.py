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
        self.assertRegex(result.stdout, r"bad(\s+[\d.]+){3}\s+FAILED \(exit 3\)")
        self.assertRegex(result.stdout, r"never\s+not run")

    def test_each_step_shows_the_cpu_its_processes_used(self):
        busy = "/usr/bin/python3 -c 'import time; end = time.process_time() + 0.3\nwhile time.process_time() < end: pass'"
        result = run("busy", busy, "idle", "sleep 0.3")
        self.assertEqual(result.returncode, 0, result.stderr)
        table = result.stdout[result.stdout.index("step "):].splitlines()
        self.assertEqual(table[0].split(), ["step", "seconds", "cpu", "stolen"])
        rows = {line.split()[0]: line.split()[1:] for line in table[2:]}
        busy_cpu, idle_seconds, idle_cpu = float(rows["busy"][1]), float(rows["idle"][0]), float(rows["idle"][1])
        self.assertGreaterEqual(busy_cpu, 0.3)
        self.assertLess(idle_cpu, idle_seconds)
        self.assertGreaterEqual(float(rows["total"][1]), busy_cpu)
        stolen = rows["total"][2]
        self.assertTrue(stolen == "-" or float(stolen) >= 0, stolen)

    def test_a_step_without_a_command_is_refused(self):
        result = run("lonely")
        self.assertEqual(result.returncode, 2)
        self.assertIn("Usage: scripts/run-steps", result.stderr)
        self.assertEqual(result.stdout, "")


if __name__ == "__main__":
    unittest.main()
