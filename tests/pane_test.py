#!/usr/bin/python3
"""The Settings pane the package installs, against what the built library reads.

The pane's property lists are read here as the settings loader reads them. What the library reads
comes from the library itself: `duskwell-sim pane --json` loads it into the simulated host on a
device root with only the master switch on, lays out every screen, asks every colour getter, and
reports each key the library looked up, in which file, whether it was read as a switch or as a
colour string, and which fallbacks the colour reads passed.
"""
import copy
import json
import os
import plistlib
import shutil
import subprocess
import sys
import tempfile
import unittest

import parallel_unittest

TOOL = sys.argv.pop(1)
LAYOUT = sys.argv.pop(1)
FOLDER = os.path.join("Library", "PreferenceLoader", "Preferences")
PREFS = os.path.join("var", "mobile", "Library", "Preferences")


def run(*args):
    return subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=120)


def load_panes(layout):
    """Every pane, entries first then the sub-panes they link to: [(file, plist)]."""
    folder = os.path.join(layout, FOLDER)
    panes, pending = [], sorted(name for name in os.listdir(folder) if name.endswith(".plist"))
    while pending:
        name = pending.pop(0)
        with open(os.path.join(folder, name), "rb") as file:
            pane = plistlib.load(file)
        panes.append((name, pane))
        pending += [item["pl_alt_plist_name"] + ".plist" for item in pane["items"] if "pl_alt_plist_name" in item]
    return panes


def writing_cells(panes):
    """(domain, key, kind, default, alpha, label) of every cell that writes a setting, in pane order."""
    cells = []
    for _, pane in panes:
        for item in pane["items"]:
            if item.get("cellClass") == "PFSimpleLiteColorCell":
                picker = item["libcolorpicker"]
                cells.append((picker["defaults"], picker["key"], "color", picker.get("fallback"), picker.get("alpha"),
                              item["label"]))
            elif "key" in item:
                kind = "boolean" if item["cell"] == "PSSwitchCell" else item["cell"]
                cells.append((item["defaults"], item["key"], kind, item.get("default"), None, item["label"]))
    return cells


def library_reads():
    result = run("pane", "--json")
    assert result.returncode in (0, 1), result.stderr
    return json.loads(result.stdout)["library"]


def fresh_pane_files(panes):
    """What the pane writes when every cell keeps its default: {device path: dictionary}."""
    files = {}
    for domain, key, _, default, _, _ in writing_cells(panes):
        files.setdefault(os.path.join("/var/mobile/Library/Preferences", domain + ".plist"), {})[key] = default
    return files


class PaneAgainstLibrary(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.panes = load_panes(LAYOUT)
        cls.cells = writing_cells(cls.panes)
        cls.reads = library_reads()

    def test_the_census_finds_switches_and_colour_reads_in_several_files(self):
        # Guards the rest: an empty census would make every other check pass.
        files = {read["file"] for read in self.reads}
        self.assertGreaterEqual(len(files), 2)
        self.assertTrue(all(read["type"] in ("boolean", "color") for read in self.reads), self.reads)
        self.assertTrue(any(read["type"] == "color" and read["fallbacks"] for read in self.reads))

    def test_every_key_the_library_reads_has_exactly_one_cell_of_its_type_and_default(self):
        for read in self.reads:
            with self.subTest(key=read["key"], file=read["file"]):
                matching = [cell for cell in self.cells if cell[1] == read["key"]]
                self.assertEqual(len(matching), 1, matching)
                domain, _, kind, default, alpha, _ = matching[0]
                self.assertEqual(os.path.join("/var/mobile/Library/Preferences", domain + ".plist"), read["file"])
                self.assertEqual(kind, read["type"])
                if kind == "boolean":
                    self.assertIs(default, False)  # an absent key reads as off
                else:
                    self.assertIn(default, read["fallbacks"])
                    self.assertIsInstance(alpha, bool)

    def test_no_cell_writes_a_key_the_library_does_not_read(self):
        read = {(r["domain"], r["key"]) for r in self.reads}
        for domain, key, *_ in self.cells:
            self.assertIn((domain, key), read)

    def test_palette_switches_follow_the_order_the_library_tests_them_and_name_their_colours(self):
        palettes = {read["file"] for read in self.reads} - {read["file"] for read in self.reads if read["type"] == "color"}
        self.assertTrue(palettes)
        for path in palettes:
            domain = os.path.basename(path)[:-len(".plist")]
            library_order = [read["key"] for read in self.reads if read["file"] == path]
            pane = [(key, label) for d, key, _, _, _, label in self.cells if d == domain]
            self.assertEqual([key for key, _ in pane], library_order)
            for key, label in pane:
                self.assertEqual(label.lower().replace(" ", ""), key.rstrip("0123456789"))

    def test_every_group_says_what_its_cells_do(self):
        for name, pane in self.panes:
            groups = [item for item in pane["items"] if item["cell"] == "PSGroupCell"]
            self.assertTrue(groups, name)
            for group in groups:
                self.assertTrue(group.get("label") and group.get("footerText"), (name, group))
        entries = [pane for name, pane in self.panes if "entry" in pane]
        self.assertEqual(len(entries), 1)
        self.assertEqual(entries[0]["entry"]["cell"], "PSLinkCell")


class FreshPane(unittest.TestCase):
    """The files a user gets by confirming every default the pane shows."""

    @classmethod
    def setUpClass(cls):
        cls.panes = load_panes(LAYOUT)

    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.addCleanup(self.directory.cleanup)

    def device_root(self, name, files):
        root = os.path.join(self.directory.name, name)
        os.makedirs(os.path.join(root, PREFS))
        for device_path, contents in files.items():
            with open(os.path.join(root, device_path.lstrip("/")), "wb") as file:
                plistlib.dump(contents, file, fmt=plistlib.FMT_BINARY)
        return root

    def inspect(self, root):
        result = run("inspect", "--device-root", root, "--json")
        self.assertEqual(result.returncode, 0, result.stderr)
        return json.loads(result.stdout)

    def test_doctor_reads_the_defaults_as_the_pane_shows_them(self):
        files = fresh_pane_files(self.panes)
        result = run("doctor", "--device-root", self.device_root("fresh", files), "--json")
        document = json.loads(result.stdout)
        # A fresh pane leaves the theme off, so its colours cannot show yet: that, and nothing else.
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertTrue(document["warnings"])
        self.assertTrue(all("cannot show" in w and "custom1" in w for w in document["warnings"]), document["warnings"])
        self.assertEqual([f["state"] for f in document["files"]], ["read"] * len(files))
        self.assertFalse(document["switch"]["on"])
        colours = {key: value for path, keys in files.items() for key, value in keys.items() if isinstance(value, str)}
        self.assertEqual(set(colours), set(document["colors"]))
        for key, default in colours.items():
            self.assertEqual(document["colors"][key]["source"], "file")
            self.assertEqual(document["colors"][key]["color"], default.upper() + "FF")
        for palette in document["palettes"].values():
            self.assertEqual(palette["setKeys"], [])
        self.assertEqual(document["ignoredKeys"], [])

    def test_with_the_theme_on_the_colour_defaults_look_exactly_like_no_colour_picked(self):
        # The pane shows the colour the user gets when the key is absent, so confirming it changes nothing.
        files = fresh_pane_files(self.panes)
        main = next(path for path, keys in files.items() if "custom1" in keys)
        files[main]["custom1"] = True
        unset = self.inspect(self.device_root("unset", {main: {"custom1": True}}))
        confirmed = self.inspect(self.device_root("confirmed", files))
        self.assertEqual(confirmed, unset)
        # The comparison sees a difference where there is one: the library's other fallback for the
        # same key is not what an unpicked background looks like.
        other = copy.deepcopy(files)
        other[main]["background"] = "#181818"
        self.assertNotEqual(self.inspect(self.device_root("other", other)), unset)


class ToolFindsFaults(unittest.TestCase):
    """duskwell-sim pane on layouts that are wrong in one way each."""

    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.addCleanup(self.directory.cleanup)
        self.layout = os.path.join(self.directory.name, "layout")
        shutil.copytree(LAYOUT, self.layout)
        self.folder = os.path.join(self.layout, FOLDER)

    def edit(self, name, change):
        path = os.path.join(self.folder, name)
        with open(path, "rb") as file:
            pane = plistlib.load(file)
        change(pane["items"])
        with open(path, "wb") as file:
            plistlib.dump(pane, file)

    def check(self, status, *needles):
        result = run("pane", "--layout", self.layout)
        self.assertEqual(result.returncode, status, result.stdout + result.stderr)
        for needle in needles:
            self.assertIn(needle, result.stdout + result.stderr)

    def test_the_shipped_layout_passes(self):
        self.check(0, "custom1", "lightgray2", "#000000")

    def test_a_missing_colour_cell(self):
        self.edit("duskwell.plist", lambda items: items.remove(
            next(i for i in items if i.get("libcolorpicker", {}).get("key") == "text2")))
        self.check(1, '"text2"', "no cell writes it")

    def test_a_switch_that_shows_on(self):
        self.edit("duskwell/IconPalette.plist", lambda items: items[3].update({"default": True}))
        self.check(1, '"lightgray1"', "shows on by default")

    def test_a_switch_in_the_wrong_file_and_a_key_the_library_does_not_read(self):
        def change(items):
            items[1]["defaults"] = "com.tervan.text"  # the text palette's file ends in "textc"
            items.append({"cell": "PSSwitchCell", "label": "Extra", "defaults": "com.tervan.duskwell", "key": "custom2",
                          "default": False})
        self.edit("duskwell/TextPalette.plist", change)
        self.check(1, '"white2" in com.tervan.text, but the library reads', '"custom2"', "does not read")

    def test_a_colour_default_the_library_never_falls_back_to(self):
        def change(items):
            next(i for i in items if i.get("libcolorpicker", {}).get("key") == "tabs")["libcolorpicker"]["fallback"] = "#222222"
        self.edit("duskwell.plist", change)
        self.check(1, "shows #222222 by default", "#000000 or #181818")

    def test_palette_switches_out_of_order(self):
        self.edit("duskwell/StatusPalette.plist", lambda items: items.insert(1, items.pop(5)))
        self.check(1, "not in the order the library tests them")

    def test_unreadable_layouts_are_refused_naming_the_file(self):
        with open(os.path.join(self.folder, "duskwell", "TextPalette.plist"), "w") as file:
            file.write("<plist><dict>")
        self.check(2, "TextPalette.plist", "not a property list")
        os.remove(os.path.join(self.folder, "duskwell", "TextPalette.plist"))
        self.check(2, "duskwell/TextPalette.plist, which the layout does not have")
        self.check_missing_layout()

    def check_missing_layout(self):
        result = run("pane", "--layout", os.path.join(self.directory.name, "absent"))
        self.assertEqual(result.returncode, 2)
        self.assertIn("absent", result.stderr)


if __name__ == "__main__":
    parallel_unittest.main()
