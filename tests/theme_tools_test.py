#!/usr/bin/python3
"""duskwell-sim preview, doctor and theme, driven on temporary device roots."""
import json
import os
import plistlib
import resource
import shutil
import signal
import socket
import stat
import struct
import subprocess
import sys
import tempfile
import unittest

import parallel_unittest

try:
    from PIL import Image, ImageChops
except ImportError:
    sys.exit("theme_tools_test.py: Pillow is missing (Debian: python3-pil; scripts/bootstrap installs it)")

TOOL = sys.argv.pop(1)
EXAMPLE_ROOT = sys.argv.pop(1)
PREFS = os.path.join("var", "mobile", "Library", "Preferences")
MAIN = "com.tervan.duskwell.plist"
TEXT = "com.tervan.textc.plist"


def run(*args, cwd=None, preexec_fn=None, env=None, tool=TOOL):
    return subprocess.run([tool, *args], capture_output=True, text=True, timeout=180, cwd=cwd,
                          preexec_fn=preexec_fn, env=env)


def file_size_limit(limit):
    """In the child: files can grow to `limit` bytes, as on a nearly full disk."""
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


NOBODY = 65534


def as_nobody():
    """In the child, when the tests run as root: an ordinary user, whom file modes stop."""
    if os.getuid() == 0:
        os.setgroups([])
        os.setgid(NOBODY)
        os.setuid(NOBODY)


def reachable_by_others(path):
    """Whether every directory from / down to `path` lets another user pass through it."""
    path = os.path.realpath(path)
    while True:
        if not os.stat(path).st_mode & stat.S_IXOTH:
            return False
        parent = os.path.dirname(path)
        if parent == path:
            return True
        path = parent


def world_reachable_directory():
    """A fresh directory that another user can enter: in the temporary directory when its parents
    let everyone through, else in /tmp."""
    parent = tempfile.gettempdir()
    if not reachable_by_others(parent):
        parent = "/tmp"
    directory = tempfile.mkdtemp(prefix="duskwell-others-", dir=parent)
    os.chmod(directory, 0o755)
    return directory


def relocated_tool(directory):
    """A copy of the tool with the libraries, filter and example it finds beside itself, in
    `directory`: the checkout may sit where another user cannot reach it, such as a 0700 home."""
    build = os.path.dirname(os.path.realpath(TOOL))
    for name in os.listdir(build):
        source = os.path.join(build, name)
        beside = name.endswith(".so") or name.endswith(".plist")  # the libraries, the loader filter
        if name == os.path.basename(TOOL) or (beside and os.path.isfile(source)):
            shutil.copy2(source, directory)
    example = os.path.join(build, "example-device-root")
    if os.path.isdir(example):
        shutil.copytree(example, os.path.join(directory, "example-device-root"), symlinks=True)
    for place, folders, files in os.walk(directory):
        for name in folders + files:
            os.chmod(os.path.join(place, name), 0o755)
    return os.path.join(directory, os.path.basename(TOOL))


def binary_plist(objects):
    """A binary property list from encoded objects (one-byte references), the first on top."""
    data, offsets = b"bplist00", []
    for item in objects:
        offsets.append(len(data))
        data += item
    table = len(data)
    data += b"".join(struct.pack(">H", offset) for offset in offsets)
    return data + b"\0" * 6 + bytes([2, 1]) + struct.pack(">QQQ", len(objects), 0, table)


def themed_pixels_by_half(path, colour, pairs_per_row=3):
    """Counts of the pixels of exactly `colour` in the left and the right half of every screen pair
    of a preview PNG, over every row. The PNG is decoded by Pillow."""
    with Image.open(path) as image:
        image.load()
        rgb = image.convert("RGB")
    bands = [band.point(lambda v, wanted=wanted: 255 if v == wanted else 0)
             for band, wanted in zip(rgb.split(), colour)]
    mask = ImageChops.multiply(ImageChops.multiply(bands[0], bands[1]), bands[2])
    stride = rgb.width / pairs_per_row
    left = right = 0
    for pair in range(pairs_per_row):
        start, middle, end = round(pair * stride), round(pair * stride + stride / 2), round((pair + 1) * stride)
        left += mask.crop((start, 0, middle, rgb.height)).histogram()[255]
        right += mask.crop((middle, 0, end, rgb.height)).histogram()[255]
    return left, right


class DeviceRoot(unittest.TestCase):
    """A fresh device root with the example theme in it, per test."""

    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.root = os.path.join(self.directory.name, "root")
        result = run("theme", "init", self.root)
        self.assertEqual(result.returncode, 0, result.stderr)

    def tearDown(self):
        self.directory.cleanup()

    def path(self, name):
        return os.path.join(self.root, PREFS, name)

    def read(self, name):
        with open(self.path(name), "rb") as file:
            return plistlib.load(file)

    def write(self, name, value):
        with open(self.path(name), "wb") as file:
            plistlib.dump(value, file, fmt=plistlib.FMT_BINARY)

    def change(self, name, **keys):
        value = self.read(name)
        value.update(keys)
        self.write(name, value)

    def doctor(self):
        result = run("doctor", "--device-root", self.root, "--json")
        self.assertIn(result.returncode, (0, 1), result.stderr)
        document = json.loads(result.stdout)
        self.assertEqual(document["exitStatus"], result.returncode)
        return document


class Usage(unittest.TestCase):
    def test_help_lists_the_theme_tools(self):
        result = run("help")
        for command in ("preview", "doctor", "theme init", "theme set"):
            self.assertIn(command, result.stdout)

    def test_theme_needs_an_action(self):
        self.assertEqual(run("theme").returncode, 2)
        result = run("theme", "paint")
        self.assertEqual(result.returncode, 2)
        self.assertIn("paint", result.stderr)


class Preview(DeviceRoot):
    def test_png_has_signature_and_sensible_size(self):
        out = os.path.join(self.directory.name, "preview.png")
        result = run("preview", "--device-root", self.root, "--out", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(out, result.stdout)
        with open(out, "rb") as file:
            header = file.read(24)
        self.assertEqual(header[:8], b"\x89PNG\r\n\x1a\n")
        width, height = struct.unpack(">II", header[16:24])
        self.assertGreaterEqual(width, 2 * 375)
        self.assertLess(width, 2600)   # three pairs of screens to a row: one laptop screen
        self.assertGreaterEqual(height, 667)
        self.assertLess(height, 1600)

    def test_only_the_right_half_has_the_theme_background(self):
        self.assertEqual(run("theme", "set", self.root, "background", "#336699").returncode, 0)
        out = os.path.join(self.directory.name, "preview.png")
        self.assertEqual(run("preview", "--device-root", self.root, "--out", out).returncode, 0)
        # Screens come in pairs, three to a row: without the library on the left of each pair.
        left, right = themed_pixels_by_half(out, (0x33, 0x66, 0x99))
        self.assertEqual(left, 0)
        self.assertGreater(right, 7000)

    def test_default_output_goes_to_out_directory(self):
        result = run("preview", "--device-root", self.root, cwd=self.directory.name)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(os.path.isfile(os.path.join(self.directory.name, "out", "preview.png")))

    def test_svg_and_pdf_by_extension(self):
        svg = os.path.join(self.directory.name, "preview.svg")
        pdf = os.path.join(self.directory.name, "preview.pdf")
        self.assertEqual(run("preview", "--device-root", self.root, "--out", svg).returncode, 0)
        self.assertEqual(run("preview", "--device-root", self.root, "--out", pdf).returncode, 0)
        with open(svg, "rb") as file:
            self.assertIn(b"<svg", file.read(400))
        with open(pdf, "rb") as file:
            self.assertEqual(file.read(5), b"%PDF-")

    def test_unknown_extension_is_refused_and_nothing_created(self):
        out = os.path.join(self.directory.name, "preview.gif")
        result = run("preview", "--device-root", self.root, "--out", out)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(out, result.stderr)
        self.assertFalse(os.path.exists(out))
        self.assertEqual(os.listdir(self.directory.name), ["root"])

    def test_unwritable_directory_and_missing_root(self):
        result = run("preview", "--device-root", self.root, "--out", "/nonexistent/dir/p.png")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("/nonexistent/dir/p.png", result.stderr)
        out = os.path.join(self.directory.name, "p.png")
        result = run("preview", "--device-root", "/nonexistent/root", "--out", out)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("/nonexistent/root", result.stderr)
        self.assertFalse(os.path.exists(out))

    def test_failure_keeps_existing_file(self):
        out = os.path.join(self.directory.name, "keep.png")
        with open(out, "w") as file:
            file.write("old")
        run("preview", "--device-root", "/nonexistent/root", "--out", out)
        with open(out) as file:
            self.assertEqual(file.read(), "old")


class Doctor(DeviceRoot):
    def test_example_root_is_clean_and_switch_on(self):
        result = run("doctor", "--device-root", EXAMPLE_ROOT)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn('"custom1": on', result.stdout)
        document = self.doctor()
        self.assertTrue(document["switch"]["on"])
        self.assertEqual(document["colors"]["background"]["color"], "#121212FF")
        self.assertEqual(document["palettes"]["icon"]["getterColorName"], "lightgray")
        self.assertEqual(document["warnings"], [])

    def test_non_boolean_switch_is_explained(self):
        self.change(MAIN, custom1="0")
        document = self.doctor()
        self.assertFalse(document["switch"]["on"])
        self.assertEqual(document["switch"]["valueKind"], "string")
        self.assertIn("not a boolean", document["switch"]["explanation"])
        self.assertEqual(document["exitStatus"], 1)
        self.change(MAIN, custom1=[1])
        document = self.doctor()
        self.assertFalse(document["switch"]["on"])
        self.assertIn("no boolean reading", document["switch"]["explanation"])

    def test_number_switch_reads_by_non_zero(self):
        self.change(MAIN, custom1=7)
        self.assertTrue(self.doctor()["switch"]["on"])

    def test_non_string_and_unreadable_colours_fall_back(self):
        self.change(MAIN, tabs=12, background="ochre")
        colors = self.doctor()["colors"]
        self.assertEqual(colors["tabs"]["source"], "fallback")
        self.assertEqual(colors["tabs"]["color"], "#000000FF")
        self.assertIn("not a colour string", colors["tabs"]["reason"])
        self.assertEqual(colors["background"]["color"], "#181818FF")
        self.assertIn("ochre", colors["background"]["reason"])

    def test_wrong_suffix_and_wrong_case_keys_are_ignored(self):
        self.change(TEXT, white1=True, Red2=True)
        document = self.doctor()
        reasons = {item["key"]: item["reason"] for item in document["ignoredKeys"]}
        self.assertIn("icon palette", reasons["white1"])
        self.assertIn("wrong case", reasons["Red2"])
        self.assertEqual(document["exitStatus"], 1)

    def test_getter_and_setter_colours_differ_with_two_keys(self):
        self.change(TEXT, white2=True, red2=True)
        text = self.doctor()["palettes"]["text"]
        self.assertEqual(text["setKeys"], ["white2", "red2"])
        self.assertEqual(text["getterColorName"], "white")
        self.assertEqual(text["setterColorName"], "red")

    def test_unreadable_files_say_why(self):
        with open(self.path(TEXT), "wb") as file:
            file.write(b"\x00\x01 not a plist")
        self.write("com.tervan.status.plist", [1, 2])
        files = {item["role"]: item for item in self.doctor()["files"]}
        self.assertEqual(files["text"]["state"], "not-property-list")
        self.assertEqual(files["status"]["state"], "not-dictionary")
        os.remove(self.path(MAIN))
        document = self.doctor()
        self.assertFalse(document["switch"]["on"])
        self.assertEqual({item["role"]: item for item in document["files"]}["main"]["state"], "missing")

    def test_missing_palette_is_not_a_warning(self):
        os.remove(self.path("com.tervan.icon.plist"))
        self.assertEqual(self.doctor()["exitStatus"], 0)

    def test_low_contrast_warns(self):
        self.change(MAIN, text2="#202020")
        result = run("doctor", "--device-root", self.root)
        self.assertEqual(result.returncode, 1)
        self.assertIn("contrast", result.stdout)
        contrast = self.doctor()["contrast"]
        self.assertFalse(contrast["sufficient"])
        self.assertLess(contrast["ratio"], 4.5)

    def test_unusable_input(self):
        self.assertEqual(run("doctor", "--device-root", "/nonexistent/root").returncode, 2)
        self.assertEqual(run("doctor", "--colour").returncode, 2)

    def test_files_that_are_not_plain_files_are_named_exactly(self):
        icon, status, text = (self.path(name) for name in ("com.tervan.icon.plist", "com.tervan.status.plist", TEXT))
        os.remove(icon)
        os.symlink(icon, icon)
        os.remove(status)
        os.mkfifo(status)
        # {5: true}: a binary dictionary whose key is an integer
        with open(text, "wb") as file:
            file.write(binary_plist([bytes([0xD1, 1, 2]), bytes([0x10, 5]), bytes([0x09])]))
        result = run("doctor", "--device-root", self.root, "--json")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, "")
        files = {item["role"]: item for item in json.loads(result.stdout)["files"]}
        self.assertIn("symbolic link loop", files["icon"]["reason"])
        self.assertIn("FIFO", files["status"]["reason"])
        self.assertIn("not a string", files["text"]["reason"])
        self.assertEqual(files["main"]["state"], "read")
        os.remove(status)
        os.symlink("/dev/zero", status)
        os.remove(icon)
        os.symlink(os.path.join(self.root, "nowhere.plist"), icon)
        files = {item["role"]: item for item in self.doctor()["files"]}
        self.assertIn("character device", files["status"]["reason"])
        self.assertEqual(files["icon"]["state"], "missing")
        self.assertIn("symbolic link to", files["icon"]["reason"])

    def test_permissions_are_named(self):
        # Another user runs the tool here, so both the tool and the device root go where anyone can
        # pass: the checkout and the temporary directory may sit in a home no one else may enter.
        others = world_reachable_directory()
        self.addCleanup(shutil.rmtree, others)
        tool = relocated_tool(others)
        self.root = os.path.join(others, "root")
        self.assertEqual(run("theme", "init", self.root).returncode, 0)
        os.chmod(self.path(TEXT), 0)
        result = run("doctor", "--device-root", self.root, "--json", tool=tool, preexec_fn=as_nobody)
        self.assertEqual(result.returncode, 1, result.stderr)
        files = {item["role"]: item for item in json.loads(result.stdout)["files"]}
        self.assertEqual(files["text"]["state"], "unreadable")
        self.assertIn("permission denied", files["text"]["reason"])
        os.chmod(self.path(TEXT), 0o644)
        os.chmod(self.root, 0o700)
        result = run("doctor", "--device-root", self.root, tool=tool, preexec_fn=as_nobody)
        self.assertEqual(result.returncode, 2)
        self.assertIn(self.root, result.stderr)
        self.assertIn("cannot read", result.stderr)
        self.assertNotIn("does not exist", result.stdout + result.stderr)


class DoctorUnshownColours(DeviceRoot):
    def unshown(self):
        document = self.doctor()
        return {(item["key"], item["reason"]) for item in document["unshownColors"]}, document

    def test_colour_keys_while_the_switch_is_off(self):
        self.change(MAIN, custom1=False)
        unshown, document = self.unshown()
        self.assertEqual({key for key, _ in unshown}, {"tabs", "background", "text2"})
        self.assertTrue(all("custom1" in reason for _, reason in unshown))
        self.assertEqual(document["exitStatus"], 1)
        main = self.read(MAIN)
        del main["custom1"], main["text2"]
        self.write(MAIN, main)
        self.assertEqual({key for key, _ in self.unshown()[0]}, {"tabs", "background"})

    def test_tabs_the_filter_exchanges(self):
        for value, reason in (("#FFFFFF", "white"), ("#fff", "white"), ("#121212", "#121212"), ("#181818", "#181818"),
                              ("#282828", "#282828")):
            self.change(MAIN, tabs=value)
            unshown, _ = self.unshown()
            self.assertEqual(len(unshown), 1, value)
            key, text = unshown.pop()
            self.assertEqual(key, "tabs")
            self.assertIn(reason, text)
            self.assertIn("filter", text)
        # The filter compares opaque colours at 8-bit precision: these show as they are.
        for value in ("#FFFFFF:0.5", "#131313", "#FEFEFE", "#0A0A0A"):
            self.change(MAIN, tabs=value)
            self.assertEqual(self.unshown()[0], set(), value)
        self.assertEqual(self.doctor()["exitStatus"], 0)

    def test_text2_overridden_by_the_text_palette(self):
        self.change(TEXT, red2=True)
        unshown, _ = self.unshown()
        self.assertEqual(len(unshown), 1)
        key, reason = unshown.pop()
        self.assertEqual(key, "text2")
        self.assertIn("red", reason)
        self.change(TEXT, white2=True)  # the label setters end on the last set key: still red
        self.assertIn("red", self.unshown()[0].pop()[1])
        self.change(MAIN, text2="#FF0000")  # the same colour as the one that wins shows after all
        self.assertEqual(self.unshown()[0], set())
        self.change(MAIN, text2="#E8E8E8", custom1=False)  # with the switch off, it is the switch's fault
        reasons = [reason for key, reason in self.unshown()[0] if key == "text2"]
        self.assertEqual(len(reasons), 1)
        self.assertIn("custom1", reasons[0])

    def test_text_output_gives_each_reason(self):
        self.change(MAIN, tabs="#FFFFFF")
        self.change(TEXT, blue2=True)
        result = run("doctor", "--device-root", self.root)
        self.assertEqual(result.returncode, 1)
        self.assertNotIn("no problems found", result.stdout)
        self.assertIn('"tabs" cannot show', result.stdout)
        self.assertIn('"text2" cannot show', result.stdout)


class DoctorLearnsFromTheLibrary(DeviceRoot):
    """The doctor's fallbacks come from the library run in the host, hook by hook; pane learns the
    same library's reads by laying out every screen. The two ways must agree."""

    def test_fallbacks_are_those_the_library_reads_and_name_their_hooks(self):
        main = self.read(MAIN)
        for key in ("tabs", "background", "text2"):
            del main[key]
        self.write(MAIN, main)
        colours = self.doctor()["colors"]
        pane = run("pane", "--json")
        self.assertIn(pane.returncode, (0, 1), pane.stderr)
        reads = {row["key"]: row for row in json.loads(pane.stdout)["library"] if row["file"].endswith(MAIN)}
        for key, colour in colours.items():
            others = [part.split(" for ")[0] for part in (colour["otherFallback"] or "").split("; ") if part]
            self.assertEqual(sorted([colour["fallback"]] + others), reads[key]["fallbacks"], key)
            self.assertEqual(colour["color"], colour["fallback"] + "FF")
        # The filter's own read of "background" is its own, not every repainted view's.
        self.assertEqual(colours["background"]["otherFallback"],
                         "#000000 for the offline switch row and the background filter")
        self.assertEqual(colours["tabs"]["otherFallback"], "#181818 for GLUEButton")
        self.assertIsNone(colours["text2"]["otherFallback"])

    def test_palette_order_is_the_order_pane_sees_the_library_test(self):
        pane = run("pane", "--json")
        self.assertIn(pane.returncode, (0, 1), pane.stderr)
        library_order = [row["key"] for row in json.loads(pane.stdout)["library"] if row["file"].endswith(TEXT)]
        self.assertEqual(len(library_order), 15)
        self.write(TEXT, {key: True for key in reversed(library_order)})
        text = self.doctor()["palettes"]["text"]
        self.assertEqual(text["setKeys"], library_order)
        self.assertEqual(text["getterColorName"] + "2", library_order[0])
        self.assertEqual(text["setterColorName"] + "2", library_order[-1])

    def test_palette_colours_are_what_the_getters_answer_in_the_host(self):
        for stem in ("lightgray", "darkgray", "clear"):
            self.write("com.tervan.icon.plist", {stem + "1": True})
            icon = self.doctor()["palettes"]["icon"]
            result = run("inspect", "--device-root", self.root, "--json")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(icon["getterColorName"], stem)
            self.assertEqual(icon["getterColor"], json.loads(result.stdout)["getters"]["iconColor"]["hex"], stem)

    def test_no_probe_root_is_left_behind(self):
        temporary = os.path.join(self.directory.name, "tmp")
        os.mkdir(temporary)
        env = dict(os.environ, TMPDIR=temporary, TMP=temporary, TEMP=temporary)
        self.assertIn(run("doctor", "--device-root", self.root, env=env).returncode, (0, 1))
        self.assertEqual(run("doctor", "--device-root", os.path.join(self.root, "nowhere"), env=env).returncode, 2)
        left = [os.path.join(folder, name) for folder, names, files in os.walk(temporary) for name in names + files]
        self.assertEqual([path for path in left if "duskwell" in path], [])

    def test_without_the_library_the_doctor_says_so(self):
        build = os.path.dirname(TOOL)
        elsewhere = os.path.join(self.directory.name, "build")
        os.mkdir(elsewhere)
        for name in os.listdir(build):
            if (name.endswith(".so") and name != "duskwell.so") or name == "duskwell-sim":
                shutil.copy2(os.path.join(build, name), elsewhere)
        result = run("doctor", "--device-root", self.root, tool=os.path.join(elsewhere, "duskwell-sim"))
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stdout, "")
        self.assertIn("doctor: ", result.stderr)
        self.assertIn(os.path.join(elsewhere, "duskwell.so"), result.stderr)


class PreviewExplains(DeviceRoot):
    def explain(self, *options):
        out = os.path.join(self.directory.name, "preview.png")
        result = run("preview", "--device-root", self.root, "--out", out, "--explain", *options)
        self.assertEqual(result.returncode, 0, result.stderr)
        line = result.stdout.splitlines()[-1]
        self.assertTrue(line.startswith("final backgrounds set by: "), result.stdout)
        counts = {}
        for part in line.split(": ", 1)[1].split(", "):
            name, count = part.rsplit(" ", 1)
            counts[name] = int(count)
        self.assertEqual(set(counts), {'"tabs"', '"background"', "the filter", "the host"})
        return counts

    def test_each_key_and_the_filter_get_their_views(self):
        counts = self.explain()
        self.assertGreater(counts['"tabs"'], 10)
        self.assertGreater(counts['"background"'], 10)
        self.assertGreater(counts["the filter"], 0)
        # White "tabs" is exchanged by the filter: the same views now go to the filter.
        self.change(MAIN, tabs="#FFFFFF")
        exchanged = self.explain()
        self.assertEqual(exchanged['"tabs"'], 0)
        self.assertEqual(exchanged["the filter"], counts["the filter"] + counts['"tabs"'])
        self.assertEqual(exchanged['"background"'], counts['"background"'])
        # Equal values for both keys: the second pass still tells them apart. And the example's
        # "background" is the stock #121212 itself, which the filter exchanges for itself: a
        # "background" that is no stock grey gives the same counts.
        self.change(MAIN, tabs="#222222", background="#222222")
        self.assertEqual(self.explain(), counts)

    def test_switch_off_leaves_everything_to_the_host(self):
        self.change(MAIN, custom1=False)
        counts = self.explain()
        self.assertEqual(counts['"tabs"'] + counts['"background"'] + counts["the filter"], 0)
        self.assertGreater(counts["the host"], 50)

    def test_plain_preview_prints_no_counts(self):
        out = os.path.join(self.directory.name, "preview.svg")
        result = run("preview", "--device-root", self.root, "--out", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotIn("final backgrounds", result.stdout)
        with open(out) as file:
            picture = file.read()
        # The header's swatches are drawn as vectors: the theme's "background" is in the file.
        self.assertIn("rgb(7.058824%,7.058824%,7.058824%)", picture)


class Theme(DeviceRoot):
    def test_init_refuses_to_overwrite(self):
        before = self.read(MAIN)
        self.change(MAIN, tabs="#123456")
        result = run("theme", "init", self.root)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(MAIN, result.stderr)
        self.assertEqual(self.read(MAIN)["tabs"], "#123456")
        self.assertEqual(before["custom1"], True)

    def test_init_writes_the_example_theme_as_binary(self):
        for name in os.listdir(os.path.join(EXAMPLE_ROOT, PREFS)):
            with open(os.path.join(EXAMPLE_ROOT, PREFS, name), "rb") as file:
                self.assertEqual(self.read(name), plistlib.load(file))
            with open(self.path(name), "rb") as file:
                self.assertEqual(file.read(8), b"bplist00")

    def test_unknown_input_changes_nothing(self):
        before = {name: open(self.path(name), "rb").read() for name in os.listdir(os.path.join(self.root, PREFS))}
        for args in (("set", self.root, "lightGray2", "1"), ("set", "--bogus", self.root, "red2", "1"),
                     ("set", self.root, "red2", "1", "extra"), ("init", self.root, "--force"), ("sett", self.root)):
            result = run("theme", *args)
            self.assertEqual(result.returncode, 2, args)
        self.assertIn("did you mean 'lightgray2'?", run("theme", "set", self.root, "lightGray2", "1").stderr)
        after = {name: open(self.path(name), "rb").read() for name in os.listdir(os.path.join(self.root, PREFS))}
        self.assertEqual(before, after)

    def test_set_type_checks(self):
        for key, value in (("custom1", "maybe"), ("tabs", "ochre"), ("red2", "#FF0000"), ("Red2", "1"),
                           ("white4", "1"), ("wallpaper", "1")):
            result = run("theme", "set", self.root, key, value)
            self.assertNotEqual(result.returncode, 0, key)
            self.assertIn(key, result.stderr)

    def test_set_preserves_other_keys_and_inspect_sees_it(self):
        result = run("theme", "set", self.root, "background", "#336699")
        self.assertEqual(result.returncode, 0, result.stderr)
        main = self.read(MAIN)
        self.assertEqual(main["background"], "#336699")
        self.assertEqual(main["custom1"], True)
        self.assertEqual(main["text2"], "#E8E8E8")
        result = run("inspect", "--json", "--device-root", self.root)
        self.assertEqual(result.returncode, 0, result.stderr)
        colors = {view["background"]["hex"] for screen in json.loads(result.stdout)["screens"]
                  for view in screen["views"] if view["background"] is not None}
        self.assertIn("#336699FF", colors)

    def test_set_palette_key_goes_to_its_file(self):
        self.assertEqual(run("theme", "set", self.root, "red2", "yes").returncode, 0)
        self.assertIs(self.read(TEXT)["red2"], True)
        self.assertIs(self.read(TEXT)["white2"], False)
        self.assertEqual(run("theme", "set", self.root, "custom1", "0").returncode, 0)
        self.assertIs(self.read(MAIN)["custom1"], False)

    def test_set_never_overwrites_an_unreadable_file(self):
        with open(self.path(TEXT), "wb") as file:
            file.write(b"\x00garbage")
        result = run("theme", "set", self.root, "red2", "1")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(TEXT, result.stderr)
        with open(self.path(TEXT), "rb") as file:
            self.assertEqual(file.read(), b"\x00garbage")


class SafeWrites(DeviceRoot):
    def listing(self):
        return sorted(os.listdir(os.path.join(self.root, PREFS)))

    def test_values_a_file_cannot_hold_are_refused_and_the_file_kept(self):
        for bad in (float("nan"), float("inf"), float("-inf")):
            self.change(MAIN, brightness=[1.0, bad])
            with open(self.path(MAIN), "rb") as file:
                before = file.read()
            result = run("theme", "set", self.root, "tabs", "#123456")
            self.assertEqual(result.returncode, 1)
            self.assertIn("brightness", result.stderr)
            self.assertIn("NaN" if bad != bad else "infinity", result.stderr)
            with open(self.path(MAIN), "rb") as file:
                self.assertEqual(file.read(), before)
        self.assertEqual(len(self.listing()), 4)

    def test_integers_past_64_bits_signed_are_kept_by_refusing(self):
        self.change(MAIN, big=2 ** 64 - 1)  # stored in 16 bytes, as common writers do
        with open(self.path(MAIN), "rb") as file:
            before = file.read()
        result = run("theme", "set", self.root, "tabs", "#123456")
        self.assertEqual(result.returncode, 1)
        self.assertIn("9223372036854775807", result.stderr)
        with open(self.path(MAIN), "rb") as file:
            self.assertEqual(file.read(), before)
        self.assertTrue(self.doctor()["switch"]["on"])
        self.change(MAIN, big=2 ** 63 - 1)
        self.assertEqual(run("theme", "set", self.root, "tabs", "#123456").returncode, 0)
        self.assertEqual(self.read(MAIN)["big"], 2 ** 63 - 1)

    def test_a_nan_the_tool_did_not_write_still_reads_as_a_theme(self):
        self.change(MAIN, brightness=float("nan"))
        document = self.doctor()
        self.assertTrue(document["switch"]["on"])
        self.assertEqual(document["colors"]["background"]["source"], "file")

    def test_concurrent_sets_keep_every_change(self):
        stems = ["gray", "lightgray", "black", "blue", "brown", "clear", "cyan", "darkgray", "green", "magenta",
                 "orange", "purple", "red", "yellow"]
        processes = [subprocess.Popen([TOOL, "theme", "set", self.root, stem + "2", "true"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE) for stem in stems]
        processes.append(subprocess.Popen([TOOL, "theme", "set", self.root, "white2", "false"],
                                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE))
        for process in processes:
            self.assertEqual(process.wait(timeout=120), 0, process.stderr.read())
            process.stderr.close()
        text = self.read(TEXT)
        self.assertEqual([stem for stem in stems if text[stem + "2"] is not True], [])
        self.assertIs(text["white2"], False)
        self.assertEqual(len(self.listing()), 4)

    def test_mode_and_symbolic_links_are_kept(self):
        os.chmod(self.path(MAIN), 0o600)
        self.assertEqual(run("theme", "set", self.root, "tabs", "#010203").returncode, 0)
        self.assertEqual(stat.S_IMODE(os.lstat(self.path(MAIN)).st_mode), 0o600)
        elsewhere = os.path.join(self.directory.name, "shared-text.plist")
        os.rename(self.path(TEXT), elsewhere)
        os.symlink(elsewhere, self.path(TEXT))
        self.assertEqual(run("theme", "set", self.root, "red2", "1").returncode, 0)
        self.assertTrue(os.path.islink(self.path(TEXT)))
        with open(elsewhere, "rb") as file:
            self.assertIs(plistlib.load(file)["red2"], True)
        self.assertEqual(sorted(os.listdir(self.directory.name)), ["root", "shared-text.plist"])

    def test_links_that_lead_nowhere_are_refused(self):
        os.remove(self.path(TEXT))
        os.symlink(self.path(TEXT), self.path(TEXT))
        result = run("theme", "set", self.root, "red2", "1")
        self.assertEqual(result.returncode, 1)
        self.assertIn("loop", result.stderr)
        os.remove(self.path(TEXT))
        os.symlink("/nonexistent/text.plist", self.path(TEXT))
        result = run("theme", "set", self.root, "red2", "1")
        self.assertEqual(result.returncode, 1)
        self.assertIn("does not exist", result.stderr)
        self.assertTrue(os.path.islink(self.path(TEXT)))

    def test_a_full_disk_loses_nothing(self):
        # 150 bytes: the main file (113) fits, a palette file (205) does not.
        with open(self.path(TEXT), "rb") as file:
            before = file.read()
        result = run("theme", "set", self.root, "red2", "1", preexec_fn=file_size_limit(150))
        self.assertEqual(result.returncode, 1)
        self.assertIn(TEXT, result.stderr)
        with open(self.path(TEXT), "rb") as file:
            self.assertEqual(file.read(), before)
        self.assertEqual(len(self.listing()), 4)
        fresh = os.path.join(self.directory.name, "fresh")
        result = run("theme", "init", fresh, preexec_fn=file_size_limit(150))
        self.assertEqual(result.returncode, 1)
        self.assertIn("no theme file was written", result.stderr)
        self.assertFalse(os.path.exists(fresh))
        self.assertEqual(run("theme", "init", fresh).returncode, 0)
        self.assertEqual(len(os.listdir(os.path.join(fresh, PREFS))), 4)


if __name__ == "__main__":
    parallel_unittest.main()
