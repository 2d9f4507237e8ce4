#!/usr/bin/env python3
"""fuzz/run-target on a real libFuzzer target of its own, which faults on the one input "BOOM!":
the smoke mode passes clean seeds and reports a fault with its log and input, seeds are only read,
the exploration keeps what it finds in its work folder, and every mistake of the caller is named.

usage: run_target_test.py RUN_TARGET CLANG"""
import os
import subprocess
import sys
import tempfile
import unittest

RUN_TARGET, CLANG = sys.argv.pop(1), sys.argv.pop(1)
FAULTING_TARGET = r"""
#include <stddef.h>
#include <stdint.h>
// Faults on one input only, "BOOM!", known by its hash so that the fuzzer cannot find it by itself.
static uint64_t Hash(const uint8_t *data, size_t size) {
  uint64_t h = 14695981039346656037ull;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
  return h;
}
int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const uint8_t boom[] = "BOOM!";
  if (Hash(data, size) == Hash(boom, 5)) __builtin_trap();
  return 0;
}
"""

def snapshot(folder):
    """Every file under `folder` with its bytes."""
    result = {}
    for directory, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(directory, name)
            with open(path, "rb") as file:
                result[os.path.relpath(path, folder)] = file.read()
    return result


class RunTarget(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory(prefix="duskwell-run-target.")
        cls.executable = os.path.join(cls.folder.name, "boom_fuzz")
        source = os.path.join(cls.folder.name, "boom.c")
        with open(source, "w") as file:
            file.write(FAULTING_TARGET)
        subprocess.run([CLANG, "-fsanitize=fuzzer", "-O1", source, "-o", cls.executable], check=True, timeout=300)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def setUp(self):
        self.work = tempfile.mkdtemp(dir=self.folder.name)
        self.seeds = tempfile.mkdtemp(dir=self.folder.name)
        with open(os.path.join(self.seeds, "plain"), "wb") as file:
            file.write(b"hello")

    def run_target(self, *args, **environment):
        return subprocess.run([RUN_TARGET, *args], capture_output=True, text=True, timeout=300,
                              env={**os.environ, **environment})

    def test_smoke_passes_clean_seeds_and_only_reads_them(self):
        before = snapshot(self.seeds)
        result = self.run_target("smoke", self.executable, self.work, self.seeds, FUZZ_RUNS="50")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "fuzz-smoke: boom: 50 inputs, no fault\n")
        self.assertEqual(snapshot(self.seeds), before)
        self.assertTrue(os.path.isfile(os.path.join(self.work, "smoke", "boom.log")))

    def test_smoke_reports_a_fault_with_its_log_and_keeps_its_input(self):
        other = tempfile.mkdtemp(dir=self.folder.name)  # the second seed folder is read too
        with open(os.path.join(other, "crash"), "wb") as file:
            file.write(b"BOOM!")
        result = self.run_target("smoke", self.executable, self.work, self.seeds, other, FUZZ_RUNS="50")
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"run-target: boom: fault (the log is {self.work}/smoke/boom.log)", result.stderr)
        crashes = [name for name in os.listdir(self.work) if name.startswith("crash-")]
        self.assertEqual(len(crashes), 1, os.listdir(self.work))
        with open(os.path.join(self.work, crashes[0]), "rb") as file:
            self.assertEqual(file.read(), b"BOOM!")

    def test_exploration_keeps_its_corpus_in_the_work_folder(self):
        before = snapshot(self.seeds)
        result = self.run_target("explore", self.executable, self.work, self.seeds, FUZZ_TIME="2")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("fuzz: boom for 2 s", result.stdout)
        self.assertTrue(os.listdir(os.path.join(self.work, "corpus", "boom")))
        self.assertEqual(snapshot(self.seeds), before)

    def test_mistakes_are_named(self):
        missing = os.path.join(self.folder.name, "missing")
        for args, message in [
            (("smoke", self.executable, self.work), "usage: run-target"),
            (("smoke", missing, self.work, self.seeds), f"{missing}: no such executable"),
            (("smoke", self.executable, self.work, self.seeds, missing), f"{missing}: no such seed directory"),
            (("fast", self.executable, self.work, self.seeds), "unknown mode 'fast'"),
        ]:
            with self.subTest(args=args):
                result = self.run_target(*args)
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, result.stderr)


if __name__ == "__main__":
    unittest.main()
