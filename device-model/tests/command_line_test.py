#!/usr/bin/python3
"""duskwell-device and check-traces from the command line: refusals with clear messages, traces
written as the Linux build writes them, a dylib changed by one byte in a colour string refused for
its page hashes, and once signed again caught with the scenario's name and the diff.

usage: command_line_test.py DEVICE_TOOL LINUX_TOOL CHECK_SCRIPT DYLIB SCENARIO_DIR
The signer is DUSKWELL_LINK, else duskwell-link beside DEVICE_TOOL.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

DEVICE, LINUX, CHECK, DYLIB, SCENARIOS = sys.argv[1:6]
del sys.argv[1:6]
LINK = os.environ.get("DUSKWELL_LINK", os.path.join(os.path.dirname(DEVICE), "duskwell-link"))


def run(*args):
    return subprocess.run(list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def thin_arm64(directory):
    """The shipped dylib's arm64 slice as a file of its own."""
    target = os.path.join(directory, "arm64.dylib")
    archs = run(DEVICE, "archs", "--dylib", DYLIB).stdout.split()
    if archs == ["arm64"]:
        shutil.copy(DYLIB, target)
    else:
        subprocess.run(["/usr/lib/llvm-14/bin/llvm-lipo", DYLIB, "-thin", "arm64", "-output", target], check=True)
    return target


def changed(path, old, new, sign, times=1):
    """`path` with the bytes `old` (found `times` times) replaced by `new`, signed again as the build
    signs when `sign`."""
    with open(path, "rb") as f:
        data = f.read()
    assert data.count(old) == times, f"{old!r} is in {path} {data.count(old)} times"
    with open(path, "wb") as f:
        f.write(data.replace(old, new))
    if sign:
        subprocess.run([LINK, "sign", "-identifier", "duskwell", "-o", path + ".signed", path], check=True)
        os.replace(path + ".signed", path)
    return path


class DeviceToolTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="device-cli.")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def test_the_conventions_of_the_other_tools(self):
        result = run(DEVICE, "--help")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("usage: duskwell-device", result.stdout)
        for command in ("hooks", "trace", "archs", "verify-signature", "help [COMMAND]"):
            self.assertIn("\n  " + command, result.stdout)
        with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "VERSION")) as f:
            version = f.readline().strip()
        self.assertEqual(run(DEVICE, "--version").stdout, "duskwell-device %s\n" % version)
        for words in (["help", "trace"], ["trace", "--help"], ["trace", "-h"]):
            result = run(DEVICE, *words)
            self.assertEqual(result.returncode, 0, words)
            self.assertIn("usage: duskwell-device trace SCENARIO...", result.stdout)
            self.assertIn("--out DIR", result.stdout)
        for words, message in ((["trce"], "unknown command 'trce' (did you mean 'trace'?)"),
                               (["help", "hoks"], "help: no command 'hoks' (did you mean 'hooks'?)"),
                               (["--versoin"], "unknown option '--versoin' (did you mean '--version'?)"),
                               (["trace", "--dylb", "x"], "trace: unknown option '--dylb' (did you mean '--dylib'?)"),
                               (["archs", "--out", "x"], "archs: unknown option '--out'"),
                               (["hooks", "--arch"], "hooks: option --arch needs a value"),
                               (["archs", "extra"], "archs: unexpected argument 'extra'")):
            result = run(DEVICE, *words)
            self.assertEqual(result.returncode, 2, words)
            self.assertIn("duskwell-device: " + message, result.stderr)
        spaced = run(DEVICE, "archs", "--dylib", DYLIB)
        joined = run(DEVICE, "archs", "--dylib=" + DYLIB)
        self.assertEqual(joined.returncode, 0, joined.stderr)
        self.assertEqual(joined.stdout, spaced.stdout)
        self.assertIn("arm64", joined.stdout.split())

    def test_refusals_name_what_is_wrong(self):
        self.assertIn("usage:", run(DEVICE).stderr)
        result = run(DEVICE, "trace", "--frobnicate")
        self.assertEqual(result.returncode, 2)
        self.assertIn("trace: unknown option '--frobnicate'", result.stderr)
        result = run(DEVICE, "hooks", "--dylib", os.path.join(self.tmp, "none.dylib"))
        self.assertEqual(result.returncode, 1)
        self.assertIn("none.dylib: cannot open", result.stderr)
        junk = os.path.join(self.tmp, "junk.dylib")
        with open(junk, "wb") as f:
            f.write(b"not a library at all")
        result = run(DEVICE, "hooks", "--dylib", junk)
        self.assertEqual(result.returncode, 1)
        self.assertIn("junk.dylib: not a Mach-O file", result.stderr)
        result = run(DEVICE, "hooks", "--arch", "x86_64")
        self.assertIn("unknown architecture 'x86_64'", result.stderr)
        bad = os.path.join(self.tmp, "bad.json")
        with open(bad, "w") as f:
            f.write('{"about": "x", "files": {"main": "absent"}, "calls": []}')
        result = run(DEVICE, "trace", bad)
        self.assertEqual(result.returncode, 1)
        self.assertIn("bad.json: files: missing member \"icon\"", result.stderr)
        self.assertEqual(result.stdout, "")

    def test_a_corrupt_dylib_is_refused_naming_the_file_and_the_field(self):
        with open(thin_arm64(self.tmp), "rb") as f:
            data = f.read()
        truncated = os.path.join(self.tmp, "truncated.dylib")
        with open(truncated, "wb") as f:
            f.write(data[:200])  # the header and part of the load commands
        scenario = sorted(n for n in os.listdir(SCENARIOS) if n.endswith(".json"))[0]
        for command in (["hooks"], ["trace", os.path.join(SCENARIOS, scenario)]):
            result = run(DEVICE, *command, "--dylib", truncated)
            self.assertEqual(result.returncode, 1, command)
            self.assertIn("duskwell-device: %s: Mach-O header: the load commands (sizeofcmds) (offset 0x20, " % truncated,
                          result.stderr)
            self.assertEqual(result.stdout, "", command)
        with open(DYLIB, "rb") as f:
            fat = f.read()
        if fat[:4] == b"\xca\xfe\xba\xbe":
            cut = os.path.join(self.tmp, "cut.dylib")
            with open(cut, "wb") as f:
                f.write(fat[:30])  # the fat header and its first entry, which points past the end
            result = run(DEVICE, "archs", "--dylib", cut)
            self.assertEqual(result.returncode, 1)
            self.assertIn("duskwell-device: %s: fat header: architecture 0's offset and size (offset " % cut, result.stderr)

    def test_an_unknown_import_stops_the_run_naming_symbol_and_library(self):
        dylib = changed(thin_arm64(self.tmp), b"_MSHookMessageEx\0", b"_MSHookMessageEy\0", sign=True,
                        times=2)  # the symbol table's name and the lazy bind's
        result = run(DEVICE, "hooks", "--dylib", dylib)
        self.assertEqual(result.returncode, 1)
        self.assertIn("import _MSHookMessageEy from /Library/Frameworks/CydiaSubstrate.framework/CydiaSubstrate "
                      "is not known to the device model", result.stderr)

    def test_traces_are_written_one_file_per_scenario(self):
        scenarios = [os.path.join(SCENARIOS, name) for name in ("filter-switch-on.json", "getters-two-keys.json")]
        result = run(DEVICE, "trace", "--dylib", DYLIB, "--out", self.tmp, *scenarios)
        self.assertEqual(result.returncode, 0, result.stderr)
        for scenario in scenarios:
            name = os.path.basename(scenario)[:-5]
            with open(os.path.join(self.tmp, name + ".trace")) as f:
                self.assertEqual(f.read(), run(LINUX, "trace", scenario).stdout, name)
        self.assertIn("several scenarios need --out", run(DEVICE, "trace", *scenarios).stderr)

    def test_a_colour_string_changed_by_one_byte_fails_the_check_with_the_scenario_and_diff(self):
        dylib = thin_arm64(self.tmp)
        scenarios = [os.path.join(SCENARIOS, name) for name in ("filter-switch-on.json", "files-missing.json")]
        result = run(CHECK, "--device", DEVICE, "--linux", LINUX, "--linux-f32", LINUX, "--dylib", dylib, *scenarios)
        self.assertEqual(result.returncode, 0, result.stderr)
        changed(dylib, b"\x00181818\x00", b"\x00181819\x00", sign=True)  # the filter's reference, not "#181818"
        result = run(CHECK, "--device", DEVICE, "--linux", LINUX, "--linux-f32", LINUX, "--dylib", dylib, *scenarios)
        self.assertEqual(result.returncode, 1)
        self.assertIn("filter-switch-on (arm64): the device trace differs from the Linux build's", result.stderr)
        self.assertIn('+  send UIColor(placeholder) initWithHex: "181819"', result.stderr)
        self.assertNotIn("files-missing (arm64)", result.stderr)

    def test_a_slice_whose_page_hashes_are_wrong_is_refused_before_any_run(self):
        listed = run(DEVICE, "verify-signature", "--dylib", DYLIB, "--identifier=duskwell")
        self.assertEqual(listed.returncode, 0, listed.stderr)
        for arch in run(DEVICE, "archs", "--dylib", DYLIB).stdout.split():
            self.assertIn(f"{DYLIB} ({arch} slice): signed as 'duskwell', SHA-1 (slot 0x0, ", listed.stdout)
        self.assertIn("every page hash matches", listed.stdout)
        other = run(DEVICE, "verify-signature", "--dylib", DYLIB, "--identifier", "duskwell.tmp")
        self.assertEqual(other.returncode, 1)
        self.assertIn("arm64 slice: SHA-256 code directory names 'duskwell', not 'duskwell.tmp'", other.stderr)
        self.assertIn("--identifier ID", run(DEVICE, "help", "verify-signature").stdout)

        dylib = thin_arm64(self.tmp)
        with open(dylib, "rb") as f:
            page = f.read().index(b"\x00181818\x00") // 4096
        changed(dylib, b"\x00181818\x00", b"\x00181819\x00", sign=False)
        refusal = (f"duskwell-device: {dylib}: its code signature does not verify:\n"
                   f"  arm64 slice: SHA-1 code directory: hash of page {page} (bytes {page * 4096:#x}-")
        for command in (["verify-signature"], ["hooks"], ["trace", os.path.join(SCENARIOS, "filter-switch-on.json")]):
            result = run(DEVICE, *command, "--dylib", dylib)
            self.assertEqual((result.returncode, result.stdout), (1, ""), command)
            self.assertIn(refusal, result.stderr, command)
            self.assertIn("  arm64 slice: SHA-256 code directory: hash of page %d " % page, result.stderr, command)
        scenarios = [os.path.join(SCENARIOS, name) for name in ("filter-switch-on.json", "files-missing.json")]
        result = run(CHECK, "--device", DEVICE, "--linux", LINUX, "--linux-f32", LINUX, "--dylib", dylib, *scenarios)
        self.assertEqual(result.returncode, 1)
        self.assertIn("device-check: " + refusal, result.stderr)
        self.assertNotIn("scenarios run", result.stdout)
        self.assertNotIn("filter-switch-on", result.stderr)

    def test_the_check_refuses_missing_tools_and_files(self):
        result = run(CHECK, "--device", DEVICE, "--linux", os.path.join(self.tmp, "none"), "--linux-f32", LINUX,
                     "--dylib", DYLIB, os.path.join(SCENARIOS, "files-missing.json"))
        self.assertEqual(result.returncode, 2)
        self.assertIn("none: no such tool", result.stderr)
        result = run(CHECK, "--device", DEVICE, "--linux", LINUX, "--linux-f32", LINUX, "--dylib", DYLIB,
                     os.path.join(self.tmp, "none.json"))
        self.assertIn("none.json: no such scenario", result.stderr)

    def test_generated_scenarios_are_the_same_for_a_seed_and_never_overwrite(self):
        generate = os.path.join(os.path.dirname(CHECK), "generate-scenarios")
        first, second, third = (os.path.join(self.tmp, name) for name in ("first", "second", "third"))
        for out, seed in ((first, "7"), (second, "7"), (third, "8")):
            result = run(generate, "--seed", seed, "--count", "5", "--out", out)
            self.assertEqual(result.returncode, 0, result.stderr)
        names = sorted(os.listdir(first))
        self.assertEqual(names, ["generated-7-%d.json" % i for i in range(5)])
        for name in names:
            with open(os.path.join(first, name)) as a, open(os.path.join(second, name)) as b:
                self.assertEqual(a.read(), b.read(), name)
        with open(os.path.join(first, names[0])) as a, open(os.path.join(third, "generated-8-0.json")) as b:
            self.assertNotEqual(a.read().replace("seed 7", "seed 8"), b.read())
        result = run(generate, "--seed", "7", "--count", "5", "--out", first)
        self.assertEqual(result.returncode, 1)
        self.assertIn("exists already", result.stderr)
        # Both executors run what it writes with the same traces (the arm64 slice: this tree's Linux
        # build has 64-bit components; make device-differential runs both slices).
        result = run(CHECK, "--device", DEVICE, "--linux", LINUX, "--linux-f32", LINUX, "--dylib", thin_arm64(self.tmp),
                     *[os.path.join(first, name) for name in names])
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_the_check_refuses_two_scenarios_of_one_name(self):
        original = os.path.join(SCENARIOS, "files-missing.json")
        other = os.path.join(self.tmp, "elsewhere")
        os.mkdir(other)
        copy = os.path.join(other, "files-missing.json")
        shutil.copy(original, copy)
        result = run(CHECK, "--device", DEVICE, "--linux", LINUX, "--linux-f32", LINUX, "--dylib", DYLIB, original, copy)
        self.assertEqual(result.returncode, 2)
        self.assertIn("%s and %s: two scenarios named files-missing" % (original, copy), result.stderr)
        result = run(CHECK, "--device", DEVICE, "--linux", LINUX, "--linux-f32", LINUX, "--dylib", DYLIB, original,
                     original)
        self.assertEqual(result.returncode, 0, "one file named twice is one scenario: " + result.stderr)


if __name__ == "__main__":
    unittest.main()
