#!/usr/bin/env python3
"""duskwell-sim from the outside: its errors, and what inspect and hooks report on the example theme."""
import json
import os
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
