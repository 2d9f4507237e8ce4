#!/usr/bin/python3
"""duskwell-sim from the outside: its errors, and what inspect and hooks report on the example theme."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import parallel_unittest

TOOL = sys.argv.pop(1)
EXAMPLE_ROOT = sys.argv.pop(1)


def run(*args):
    return subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=120)


def inspect(*args):
    result = run("inspect", "--json", *args)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def backgrounds(document):
    return {view["background"]["hex"] for screen in document["screens"] for view in screen["views"]
            if view["background"] is not None}


class Errors(unittest.TestCase):
    def assert_fails(self, result, *words):
        self.assertNotEqual(result.returncode, 0)
        self.assertEqual(result.stdout, "")
        for word in words:
            self.assertIn(word, result.stderr)

    def test_no_command(self):
        self.assert_fails(run(), "usage")

    def test_unknown_command(self):
        self.assert_fails(run("paint"), "unknown command", "paint")

    def test_unknown_option(self):
        self.assert_fails(run("inspect", "--colour"), "unknown option", "--colour")
        self.assert_fails(run("hooks", "--json"), "unknown option", "--json")

    def test_option_without_value(self):
        self.assert_fails(run("inspect", "--device-root"), "--device-root", "needs a value")

    def test_missing_device_root(self):
        self.assert_fails(run("inspect", "--device-root", "/nonexistent/root"), "/nonexistent/root")

    def test_device_root_that_is_a_file(self):
        with tempfile.NamedTemporaryFile() as file:
            self.assert_fails(run("hooks", "--device-root", file.name), file.name)


class Conventions(unittest.TestCase):
    """getopt_long conventions: help everywhere, the version, both value forms, suggestions."""

    def test_help_globally_and_per_command_exits_zero(self):
        for args in (["-h"], ["--help"], ["help"]):
            result = run(*args)
            self.assertEqual(result.returncode, 0, args)
            self.assertIn("usage: duskwell-sim", result.stdout)
            self.assertIn("doctor", result.stdout)
        for command in (["inspect"], ["hooks"], ["preview"], ["doctor"], ["theme", "set"], ["theme", "init"]):
            for flag in ("-h", "--help"):
                result = run(*command, flag)
                self.assertEqual(result.returncode, 0, command)
                self.assertIn("usage: duskwell-sim " + " ".join(command), result.stdout)
            self.assertEqual(run("help", *command).stdout, run(*command, "--help").stdout)
        self.assertIn("--explain", run("preview", "--help").stdout)

    def test_version_comes_from_the_version_file(self):
        with open(os.path.join(EXAMPLE_ROOT, "..", "..", "VERSION")) as file:
            version = file.read().strip()
        result = run("--version")
        self.assertEqual((result.returncode, result.stdout), (0, f"duskwell-sim {version}\n"))

    def test_value_after_equals_sign_or_as_next_argument(self):
        joined = run("inspect", f"--device-root={EXAMPLE_ROOT}", "--json")
        separate = run("inspect", "--json", "--device-root", EXAMPLE_ROOT)
        self.assertEqual(joined.returncode, 0, joined.stderr)
        self.assertEqual(joined.stdout, separate.stdout)
        self.assertEqual(run("inspect", "--device-root=").returncode, 2)
        result = run("doctor", "--json=yes")
        self.assertEqual(result.returncode, 2)
        self.assertIn("takes no value", result.stderr)

    def test_did_you_mean(self):
        for args, wrong, right in ((["inspct"], "inspct", "inspect"),
                                   (["inspect", "--devce-root", "x"], "--devce-root", "--device-root"),
                                   (["preview", "--explian"], "--explian", "--explain"),
                                   (["--verison"], "--verison", "--version"),
                                   (["help", "doctr"], "doctr", "doctor"),
                                   (["theme", "ste"], "ste", "set")):
            result = run(*args)
            self.assertEqual(result.returncode, 2, args)
            self.assertEqual(result.stdout, "")
            self.assertIn(f"'{wrong}'", result.stderr)
            self.assertIn(f"did you mean '{right}'?", result.stderr)
        self.assertNotIn("did you mean", run("paint").stderr)

    def test_operands_are_counted(self):
        self.assertIn("unexpected argument 'extra'", run("hooks", "extra").stderr)
        self.assertIn("missing DIR", run("theme", "init").stderr)
        self.assertIn("missing VALUE", run("theme", "set", "dir", "tabs").stderr)


class DeviceRoots(unittest.TestCase):
    def test_existing_path_that_is_not_a_directory_is_named_precisely(self):
        with tempfile.NamedTemporaryFile() as file:
            for command in ("inspect", "preview", "doctor", "hooks"):
                result = run(command, "--device-root", file.name)
                self.assertEqual(result.returncode, 2, command)
                self.assertIn(f"{file.name} is a file, not a directory", result.stderr)
        with tempfile.TemporaryDirectory() as directory:
            fifo = os.path.join(directory, "pipe")
            os.mkfifo(fifo)
            self.assertIn("is a FIFO, not a directory", run("doctor", "--device-root", fifo).stderr)
            self.assertIn("does not exist", run("doctor", "--device-root", fifo + "x").stderr)

    def test_root_without_theme_files_warns_but_succeeds(self):
        with tempfile.TemporaryDirectory() as root:
            expected = os.path.join(root, "var/mobile/Library/Preferences/com.tervan.duskwell.plist")
            result = run("inspect", "--json", "--device-root", root)
            self.assertEqual(result.returncode, 0, result.stderr)
            json.loads(result.stdout)
            self.assertIn("warning", result.stderr)
            self.assertIn(expected, result.stderr)
            out = os.path.join(root, "p.png")
            result = run("preview", "--device-root", root, "--out", out)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn(expected, result.stderr)
            self.assertTrue(os.path.isfile(out))
        self.assertNotIn("warning", run("inspect", "--device-root", EXAMPLE_ROOT).stderr)

    def test_the_preferences_folder_itself_is_recognised(self):
        folder = os.path.join(EXAMPLE_ROOT, "var", "mobile", "Library", "Preferences")
        result = run("inspect", "--device-root", folder)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("the device root is " + os.path.normpath(EXAMPLE_ROOT), result.stderr)


class Relocation(unittest.TestCase):
    def test_a_build_without_the_loader_filter_names_it_and_stops(self):
        build = os.path.dirname(TOOL)
        with tempfile.TemporaryDirectory() as elsewhere:
            for name in os.listdir(build):
                if name.endswith(".so") or name == "duskwell-sim":
                    shutil.copy2(os.path.join(build, name), elsewhere)
            result = subprocess.run([os.path.join(elsewhere, "duskwell-sim"), "hooks", "--device-root", EXAMPLE_ROOT],
                                    capture_output=True, text=True, timeout=60)
            self.assertEqual(result.returncode, 2, result.stdout)
            self.assertIn(os.path.join(elsewhere, "duskwell.plist") + ": the loader keeps duskwell.so out of the host",
                          result.stderr)
            self.assertIn("cannot be read", result.stderr)

    def test_a_copied_build_finds_its_libraries_and_example(self):
        build = os.path.dirname(TOOL)
        with tempfile.TemporaryDirectory() as elsewhere:
            for name in os.listdir(build):
                # The library's loader filter travels with it, as on the device.
                if name.endswith(".so") or name in ("duskwell-sim", "duskwell.plist"):
                    shutil.copy2(os.path.join(build, name), elsewhere)
            shutil.copytree(os.path.join(build, "example-device-root"), os.path.join(elsewhere, "example-device-root"))
            result = subprocess.run([os.path.join(elsewhere, "duskwell-sim"), "doctor", "--json"],
                                    capture_output=True, text=True, timeout=60)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(json.loads(result.stdout)["deviceRoot"], os.path.join(elsewhere, "example-device-root"))
            result = subprocess.run([os.path.join(elsewhere, "duskwell-sim"), "hooks"], capture_output=True, text=True,
                                    timeout=60)
            self.assertEqual(result.returncode, 0, result.stderr)
            for name in os.listdir(elsewhere):
                if name.endswith(".so") or name == "duskwell-sim":
                    dynamic = subprocess.run(["readelf", "-d", os.path.join(elsewhere, name)], capture_output=True,
                                             text=True).stdout
                    for line in dynamic.splitlines():
                        if "RUNPATH" in line or "RPATH" in line:
                            paths = line.split("[", 1)[1].rstrip("]").split(":")
                            self.assertTrue(all(path.startswith("$ORIGIN") for path in paths), (name, line))


class Inspect(unittest.TestCase):
    def test_json_document_has_the_stable_fields(self):
        document = inspect()
        self.assertGreaterEqual(len(document["screens"]), 5)
        for screen in document["screens"]:
            self.assertTrue(screen["name"])
            for view in screen["views"]:
                self.assertEqual(set(view), {"path", "class", "background", "text", "hidden"})
        self.assertEqual(set(document["getters"]),
                         {"iconColor", "labelStyleTextColor", "statusBarTintColor", "sliderTintColor"})
        colour = document["getters"]["iconColor"]
        self.assertEqual(set(colour), {"r", "g", "b", "a", "hex"})

    def test_example_theme_applies_with_the_library_only(self):
        themed, plain = inspect(), inspect("--without-library")
        self.assertIn("#0A0A0AFF", backgrounds(themed))
        self.assertIn("#121212FF", backgrounds(themed))
        self.assertNotIn("#FFFFFFFF", backgrounds(themed))
        self.assertNotIn("#0A0A0AFF", backgrounds(plain))
        self.assertEqual(themed["getters"]["statusBarTintColor"]["hex"], "#FFFFFFFF")
        self.assertNotEqual(plain["getters"]["iconColor"], themed["getters"]["iconColor"])
        self.assertEqual([s["name"] for s in themed["screens"]], [s["name"] for s in plain["screens"]])

    def test_empty_device_root_looks_like_no_library(self):
        with tempfile.TemporaryDirectory() as root:
            themed, plain = inspect("--device-root", root), inspect("--device-root", root, "--without-library")
        self.assertEqual(backgrounds(themed), backgrounds(plain))
        self.assertEqual(themed["getters"], plain["getters"])

    def test_text_output(self):
        result = run("inspect", "--device-root", EXAMPLE_ROOT)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("== getters", result.stdout)


class Hooks(unittest.TestCase):
    def test_lists_fifty_six_installed_rows(self):
        result = run("hooks")
        self.assertEqual(result.returncode, 0, result.stderr)
        rows = [line.split() for line in result.stdout.splitlines()[1:]]
        self.assertEqual(len(rows), 56)
        self.assertEqual(rows[0][:3], ["1", "SPTNowPlayingContainerViewController", "layoutSubviews"])
        self.assertEqual(rows[55][:3], ["56", "UIView", "setBackgroundColor:"])
        self.assertTrue(all(row[3:] == ["yes", "yes"] for row in rows))


if __name__ == "__main__":
    parallel_unittest.main()
