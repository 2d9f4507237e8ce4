#!/usr/bin/python3
"""The side-by-side test runner on a module of its own making: what it says of tests that fail, that
raise, and that pass, and its exit status."""
import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))

SAMPLE = textwrap.dedent('''
    import unittest
    import parallel_unittest

    class Plain(unittest.TestCase):
        def test_passes(self):
            self.assertTrue(True)

        def test_fails(self):
            self.assertEqual("expected colour", "other colour")

        def test_raises(self):
            raise OSError("the device root vanished")

    class WithFixtures(unittest.TestCase):
        @classmethod
        def setUpClass(cls):
            cls.shared = "ready"

        def test_first_passes(self):
            self.assertEqual(self.shared, "ready")

        def test_second_fails(self):
            self.fail("fixture test failed on purpose")

    if __name__ == "__main__":
        parallel_unittest.main()
''')


class Runner(unittest.TestCase):
    def run_sample(self, source, *names):
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "sample_test.py")
            with open(path, "w") as file:
                file.write(source)
            environment = dict(os.environ, PYTHONPATH=HERE)
            return subprocess.run([sys.executable, path, *names], capture_output=True, text=True,
                                  timeout=60, env=environment)

    def test_each_problem_is_named_with_its_output(self):
        result = self.run_sample(SAMPLE)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertEqual(result.stderr, "")
        out = result.stdout
        self.assertIn("FAIL: __main__.Plain.test_fails\n", out)
        self.assertIn("'expected colour' != 'other colour'", out)
        self.assertIn("ERROR: __main__.Plain.test_raises\n", out)
        self.assertIn("OSError: the device root vanished", out)
        self.assertIn("FAIL: __main__.WithFixtures.test_second_fails\n", out)
        self.assertIn("fixture test failed on purpose", out)
        self.assertNotIn("test_passes", out)
        self.assertNotIn("test_first_passes", out)
        self.assertTrue(out.endswith("5 tests, 3 failed\n"), out)

    def test_a_clean_run_and_an_empty_one(self):
        passing = self.run_sample(SAMPLE, "Plain.test_passes", "WithFixtures.test_first_passes")
        self.assertEqual((passing.returncode, passing.stdout), (0, "2 tests, 0 failed\n"))
        empty = self.run_sample("import parallel_unittest\nparallel_unittest.main()\n")
        self.assertEqual((empty.returncode, empty.stdout), (1, "0 tests, 0 failed\n"))

    def test_a_failing_class_fixture_is_reported(self):
        broken = SAMPLE.replace('cls.shared = "ready"', 'raise RuntimeError("no simulated host")')
        result = self.run_sample(broken, "WithFixtures")
        self.assertEqual(result.returncode, 1)
        self.assertIn("ERROR: setUpClass (__main__.WithFixtures)", result.stdout)
        self.assertIn("RuntimeError: no simulated host", result.stdout)


if __name__ == "__main__":
    unittest.main()
