#!/usr/bin/python3
"""duskwell-sim trace: a scenario that cannot run is refused with its file and member named."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

TOOL = sys.argv.pop(1)
VALID = {"about": "x", "files": {"main": "absent", "icon": "absent", "text": "absent", "status": "absent"},
         "objects": [{"name": "view", "class": "UIView"}],
         "calls": [{"to": "view", "selector": "setBackgroundColor:", "argument": {"color": "#FFFFFF"}}]}


def trace(scenario):
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as file:
        file.write(scenario if isinstance(scenario, str) else json.dumps(scenario))
    try:
        return file.name, subprocess.run([TOOL, "trace", file.name], capture_output=True, text=True, timeout=60)
    finally:
        os.unlink(file.name)


def changed(**members):
    scenario = json.loads(json.dumps(VALID))
    scenario.update(members)
    return scenario


class Refusals(unittest.TestCase):
    def assert_refused(self, scenario, *words):
        path, result = trace(scenario)
        self.assertNotEqual(result.returncode, 0)
        self.assertEqual(result.stdout, "")
        for word in (path,) + words:
            self.assertIn(word, result.stderr)

    def test_valid_scenario_runs(self):
        _, result = trace(VALID)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(result.stdout.startswith("call UIView#view setBackgroundColor: UIColor(1 1 1 1)\n"))

    def test_missing_file_and_bad_json(self):
        result = subprocess.run([TOOL, "trace", "/nonexistent/scenario.json"], capture_output=True, text=True)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("/nonexistent/scenario.json", result.stderr)
        self.assert_refused("{\"about\": ", "not valid JSON")

    def test_members_and_values(self):
        self.assert_refused(changed(colour=1), "unknown member \"colour\"")
        self.assert_refused(changed(files={"main": "absent"}), "files", "icon")
        self.assert_refused(changed(calls=[{"to": "view", "selector": "setNeedsLayout"}]), "calls[0].selector")
        self.assert_refused(changed(calls=[{"to": "view", "selector": "setBackgroundColor:"}]), "argument")
        self.assert_refused(changed(calls=[{"to": "view", "selector": "setBackgroundColor:",
                                            "argument": {"color": "#12"}}]), "calls[0].argument.color")
        self.assert_refused(changed(calls=[{"to": "window", "selector": "layoutSubviews"}]), "no object named window")

    def test_host_that_cannot_be_made(self):
        self.assert_refused(changed(classes=[{"name": "UIView", "superclass": "NSObject"}]), "UIView")
        self.assert_refused(changed(classes=[{"name": "SPTPopupView", "superclass": "UIWindow"}]), "UIWindow")
        self.assert_refused(changed(calls=[{"to": "view", "selector": "iconColor"}]), "calls[0]",
                            "UIView does not answer iconColor")


if __name__ == "__main__":
    unittest.main(verbosity=1)
