#!/usr/bin/python3
"""The set-up a stranger meets: ./run, scripts/bootstrap and the README's commands, with apt-get,
dpkg-query, id and make replaced by recorders so that nothing is installed or built."""
import os
import re
import stat
import subprocess
import sys
import tempfile
import unittest

SOURCE = sys.argv.pop(1)
BOOTSTRAP = os.path.join(SOURCE, "scripts", "bootstrap")
RUN = os.path.join(SOURCE, "run")

RECORDER = """#!/bin/sh
echo "$(basename "$0") $*" >> "{log}"
"""
DPKG_QUERY = """#!/bin/sh
# Every package asked about is installed, except those listed in $MISSING.
shift 2
for p in "$@"; do
  case " $MISSING " in *" $p "*) echo "not-installed $p" ;; *) echo "installed $p" ;; esac
done
"""


class FakeSystem(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.bin = os.path.join(self.directory.name, "bin")
        self.log = os.path.join(self.directory.name, "calls.log")
        os.mkdir(self.bin)
        for name in ("apt-get", "make", "runuser"):
            self.tool(name, RECORDER.format(log=self.log))
        self.tool("dpkg-query", DPKG_QUERY)
        self.user(0)

    def tearDown(self):
        self.directory.cleanup()

    def tool(self, name, text):
        path = os.path.join(self.bin, name)
        with open(path, "w") as file:
            file.write(text)
        os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)

    def user(self, uid):
        self.tool("id", f"#!/bin/sh\necho {uid}\n")

    def run_script(self, script, *args, missing=(), env=None):
        environment = {"PATH": self.bin + os.pathsep + os.environ["PATH"], "MISSING": " ".join(missing)}
        environment.update(env or {})
        return subprocess.run([script, *args], capture_output=True, text=True, env=environment, timeout=60)

    def calls(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as file:
            return file.read().splitlines()


class Bootstrap(FakeSystem):
    def test_names_the_versions_the_build_uses_and_nothing_unused(self):
        packages = self.run_script(BOOTSTRAP, "--list").stdout.split()
        for package in ("clang-14", "lld-14", "llvm-14", "libpango1.0-dev", "libcairo2-dev", "libgtest-dev"):
            self.assertIn(package, packages)
        for package in ("clang", "lld", "llvm", "libgmock-dev"):
            self.assertNotIn(package, packages)
        self.assertEqual(len(packages), len(set(packages)))

    def test_help_installs_nothing(self):
        for flag in ("-h", "--help"):
            result = self.run_script(BOOTSTRAP, flag, missing=["cmake"])
            self.assertEqual(result.returncode, 0)
            self.assertIn("usage: scripts/bootstrap", result.stdout)
        result = self.run_script(BOOTSTRAP, "--instal", missing=["cmake"])
        self.assertEqual(result.returncode, 2)
        self.assertIn("--instal", result.stderr)
        self.assertEqual(self.calls(), [])

    def test_quiet_and_idle_when_everything_is_there(self):
        result = self.run_script(BOOTSTRAP)
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, "", ""))
        self.assertEqual(self.calls(), [])

    def test_installs_exactly_what_is_missing_as_root(self):
        result = self.run_script(BOOTSTRAP, missing=["cmake", "lld-14"])
        self.assertEqual(result.returncode, 0, result.stderr)
        calls = self.calls()
        self.assertEqual(calls[0], "apt-get update -q")
        self.assertTrue(calls[1].startswith("apt-get install -y"))
        self.assertEqual(calls[1].split()[-2:], ["cmake", "lld-14"])
        self.assertEqual(len(result.stdout.splitlines()), 2)  # what it installs, and that it is done

    def test_names_the_sudo_command_for_another_user(self):
        self.user(1000)
        result = self.run_script(BOOTSTRAP, missing=["cmake"])
        self.assertEqual(result.returncode, 1)
        self.assertIn("cmake", result.stderr)
        self.assertIn("sudo ", result.stderr)
        self.assertEqual(self.calls(), [])


class EntryScript(FakeSystem):
    def test_bootstraps_then_makes_with_the_same_arguments(self):
        result = self.run_script(RUN, "demo", "VERBOSE=1", missing=["cmake"])
        self.assertEqual(result.returncode, 0, result.stderr)
        calls = self.calls()
        self.assertTrue(calls[0].startswith("apt-get update"))
        self.assertEqual(calls[-1], "make demo VERBOSE=1")

    def test_as_another_user_it_stops_before_make_and_names_the_install_step(self):
        self.user(1000)
        result = self.run_script(RUN, "test", missing=["cmake"])
        self.assertEqual(result.returncode, 1)
        self.assertIn("sudo scripts/bootstrap", result.stderr)
        self.assertEqual(self.calls(), [])
        result = self.run_script(RUN, "test")  # once installed, no root is needed
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.calls(), ["make test"])

    def test_through_sudo_the_build_stays_the_callers(self):
        result = self.run_script(RUN, "demo", env={"SUDO_USER": "alice"})
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.calls(), ["runuser -u alice -- make demo"])


class Agreement(unittest.TestCase):
    def test_readme_ci_and_makefile_name_the_same_commands(self):
        with open(os.path.join(SOURCE, "README.md")) as file:
            readme = file.read()
        block = re.search(r"```\n(.*?)```", readme, re.S).group(1)
        commands = [line.split("#")[0].strip() for line in block.splitlines()]
        self.assertEqual(commands, ["./run demo", "./run test"])
        with open(os.path.join(SOURCE, ".ci", "run")) as file:
            self.assertIn("\n./run test\n", file.read())
        with open(os.path.join(SOURCE, "Makefile")) as file:
            makefile = file.read()
        for target in ("demo", "test", "clean"):
            self.assertRegex(makefile, rf"(?m)^{target}:")
        self.assertRegex(makefile, r"(?m)^\trm -rf .*\bdist\b")


if __name__ == "__main__":
    unittest.main()
