#!/usr/bin/python3
"""The loader filter as the hooking platform's loader reads it, through the simulated launcher.

Each case puts a copy of the built library and a filter beside it into a fresh directory and starts
a process on it, as the loader would: the simulated host (with the host app's classes) or a process
that has UIKit's classes only. The probe reports what the launcher decided and what the process
shows: whether the library is mapped and whether UIView's background setter is the library's.
"""
import os
import plistlib
import shutil
import subprocess
import sys
import tempfile
import unittest

import parallel_unittest

LIBRARY = sys.argv.pop(1)
HOST = sys.argv.pop(1)
UIKIT_ONLY = sys.argv.pop(1)
FILTER_TOOL = sys.argv.pop(1)
HOOK_TABLE = sys.argv.pop(1)
PACKAGED_FILTER = os.path.join(os.path.dirname(LIBRARY), "duskwell.plist")
HOST_PREFIXES = ("SPT", "GLUE", "HUB")


class LoaderFilter(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.addCleanup(self.directory.cleanup)
        self.root = os.path.join(self.directory.name, "device")
        os.mkdir(self.root)

    def library_with(self, name, filter_plist=None, filter_file=None):
        """A copy of the library in its own folder, with this filter (a value, or a file) beside it."""
        folder = os.path.join(self.directory.name, name)
        os.mkdir(folder)
        library = os.path.join(folder, "duskwell.so")
        shutil.copy(LIBRARY, library)
        target = os.path.join(folder, "duskwell.plist")
        if filter_file is not None:
            shutil.copy(filter_file, target)
        elif filter_plist is not None:
            with open(target, "wb") as file:
                plistlib.dump(filter_plist, file)
        return library

    def launch(self, process, library, bundle_id=None):
        result = subprocess.run([process, self.root, library] + ([bundle_id] if bundle_id else []),
                                capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        report = dict(line.split(": ", 1) for line in result.stdout.splitlines())
        # What the launcher says must be what the process shows.
        self.assertEqual({report["loaded"]}, {report["mapped"], report["hooked"]}, result.stdout)
        return report["loaded"] == "yes", report["why"]

    def assertLoads(self, process, library, bundle_id=None):
        loaded, why = self.launch(process, library, bundle_id)
        self.assertTrue(loaded, why)
        return why

    def assertStaysOut(self, process, library, bundle_id=None, because=""):
        loaded, why = self.launch(process, library, bundle_id)
        self.assertFalse(loaded, why)
        self.assertIn(because, why)
        return why

    def written_filter(self, *options):
        path = os.path.join(self.directory.name, "written.plist")
        subprocess.run([FILTER_TOOL, "write", "--hooks", HOOK_TABLE, *options, path], check=True, timeout=60)
        return path

    def test_the_packaged_filter_names_host_only_classes_of_the_hook_table(self):
        with open(PACKAGED_FILTER, "rb") as file:
            packaged = plistlib.load(file)
        self.assertEqual(list(packaged), ["Filter"])
        self.assertEqual(list(packaged["Filter"]), ["Classes"])
        classes = packaged["Filter"]["Classes"]
        self.assertTrue(2 <= len(classes) <= 3, classes)
        with open(HOOK_TABLE) as file:
            table = file.read()
        for name in classes:
            self.assertTrue(name.startswith(HOST_PREFIXES), name)
            self.assertIn("DW_HOOK(%s," % name, table)

    def test_the_packaged_filter_loads_the_library_into_the_host(self):
        library = self.library_with("packaged", filter_file=PACKAGED_FILTER)
        self.assertIn("exists", self.assertLoads(HOST, library))

    def test_the_packaged_filter_keeps_the_library_out_of_a_uikit_only_process(self):
        library = self.library_with("packaged", filter_file=PACKAGED_FILTER)
        self.assertStaysOut(UIKIT_ONLY, library, because="none of the classes")

    def test_an_unknown_key_makes_the_file_invalid_and_the_library_is_loaded_nowhere(self):
        library = self.library_with("typo", {"Filter": {"Classes": ["SPTPopupView"], "Bundle": ["com.example.host"]}})
        self.assertStaysOut(HOST, library, because='invalid, so loaded nowhere: Filter has the key "Bundle"')

    def test_classes_that_are_not_an_array_make_the_file_invalid(self):
        library = self.library_with("string", {"Filter": {"Classes": "SPTPopupView"}})
        self.assertStaysOut(HOST, library, because="Classes is not an array of strings")
        library = self.library_with("numbers", {"Filter": {"Classes": ["SPTPopupView", 7]}})
        self.assertStaysOut(HOST, library, because="Classes is not an array of strings")

    def test_an_empty_filter_restricts_nothing(self):
        library = self.library_with("empty", {"Filter": {}})
        self.assertIn("an empty Filter", self.assertLoads(UIKIT_ONLY, library))
        library = self.library_with("no-filter", {})
        self.assertIn("no Filter", self.assertLoads(UIKIT_ONLY, library))

    def test_a_missing_or_unreadable_filter_file_keeps_the_library_out(self):
        self.assertStaysOut(HOST, self.library_with("missing"), because="cannot be read")
        library = self.library_with("garbage")
        with open(os.path.join(os.path.dirname(library), "duskwell.plist"), "w") as file:
            file.write("{ Filter = ")
        self.assertStaysOut(HOST, library, because="not an XML or binary property list")

    def test_with_a_bundle_id_either_condition_alone_suffices(self):
        library = self.library_with("bundle", filter_file=self.written_filter("--bundle-id", "com.example.host"))
        self.assertIn("Bundles: it is com.example.host", self.assertLoads(UIKIT_ONLY, library, "com.example.host"))
        self.assertIn("Classes: the class", self.assertLoads(HOST, library, "com.example.other"))
        self.assertStaysOut(UIKIT_ONLY, library, "com.example.other", because="no condition holds")

    def test_without_mode_every_condition_must_hold(self):
        library = self.library_with("all", {"Filter": {"Bundles": ["com.example.host"], "Classes": ["SPTPopupView"]}})
        self.assertLoads(HOST, library, "com.example.host")
        self.assertStaysOut(UIKIT_ONLY, library, "com.example.host", because="none of the classes SPTPopupView")
        self.assertStaysOut(HOST, library, "com.example.other", because="Bundles: the process is none of")

    def test_mode_other_than_any_is_invalid(self):
        library = self.library_with("mode", {"Filter": {"Classes": ["SPTPopupView"], "Mode": "All"}})
        self.assertStaysOut(HOST, library, because='Mode is not the string "Any"')

    def test_executables_and_the_core_foundation_version(self):
        probe = os.path.basename(UIKIT_ONLY)
        self.assertLoads(UIKIT_ONLY, self.library_with("executable", {"Filter": {"Executables": [probe]}}))
        self.assertStaysOut(HOST, self.library_with("other-executable", {"Filter": {"Executables": [probe]}}),
                            because="the process is none of")
        self.assertLoads(HOST, self.library_with("version", {"Filter": {"CoreFoundationVersion": [1200, 1300.5]}}))
        self.assertStaysOut(HOST, self.library_with("newer", {"Filter": {"CoreFoundationVersion": [1300]}}),
                            because="CoreFoundationVersion")
        self.assertStaysOut(HOST, self.library_with("three", {"Filter": {"CoreFoundationVersion": [1, 2, 3]}}),
                            because="not an array of one or two numbers")

    def test_mode_any_with_no_condition_holds_for_no_process(self):
        self.assertStaysOut(UIKIT_ONLY, self.library_with("any", {"Filter": {"Mode": "Any"}}),
                            because="no condition")


if __name__ == "__main__":
    parallel_unittest.main()
