#!/usr/bin/python3
"""duskwell-sim serve without a browser: who is refused, what a change writes, outside changes, and
themes as archives, on the built library and a temporary device root."""
import gzip
import io
import json
import os
import pathlib
import plistlib
import socket
import subprocess
import sys
import tarfile
import time
import unittest
import zipfile

import parallel_unittest
from editor_server import Editor, PREFS, THEME_FILES

TOOL = sys.argv.pop(1)
MAIN_ID = "com.tervan.duskwell"


def tar_of(entries, compress=False):
    """A tar archive of (name, bytes) or (name, TarInfo-tweaking function) entries."""
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w:gz" if compress else "w") as archive:
        for name, content, *tweak in entries:
            info = tarfile.TarInfo(name)
            info.size = len(content)
            if tweak:
                tweak[0](info)
                info.size = len(content) if info.type == tarfile.REGTYPE else 0
            archive.addfile(info, io.BytesIO(content) if info.type == tarfile.REGTYPE else None)
    return buffer.getvalue()


def main_file(**changes):
    values = {"custom1": True, "tabs": "#0A0A0A", "background": "#121212", "text2": "#E8E8E8"}
    values.update(changes)
    return plistlib.dumps(values, fmt=plistlib.FMT_BINARY)


def attributed(editor):
    """The state once who painted what is worked out (a moment after the pictures)."""
    deadline = time.monotonic() + 30
    while True:
        state = editor.state()
        if state["drawing"]["attributed"] or time.monotonic() > deadline:
            return state
        time.sleep(0.05)


class Refusals(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.editor = Editor(TOOL)

    @classmethod
    def tearDownClass(cls):
        cls.editor.stop()

    def test_only_this_runs_page_with_its_token_and_address_is_answered(self):
        editor = self.editor
        before = editor.file_bytes()
        change = json.dumps({"id": MAIN_ID + "/custom1", "value": False}).encode()
        wrong_port = f"127.0.0.1:{editor.port + 1 if editor.port < 65535 else editor.port - 1}"
        refused = [
            ("the page without the token", "GET", "/", None, {}, False),
            ("the script without the token", "GET", "/editor.js", None, {}, False),
            ("the state with a wrong token", "GET", "/api/state", None, {}, "0" * len(editor.token)),
            ("a token one character short", "GET", "/api/state", None, {}, editor.token[:-1]),
            ("a change without the token", "POST", "/api/set", change, {"Content-Type": "application/json"}, False),
            ("a change from another site", "POST", "/api/set", change,
             {"Origin": "http://evil.example", "Content-Type": "application/json"}, True),
            ("a change from an opaque origin", "POST", "/api/set", change, {"Origin": "null"}, True),
            ("a change from our address on another port", "POST", "/api/set", change,
             {"Origin": "http://" + wrong_port}, True),
            ("a cross-site fetch", "POST", "/api/set", change, {"Sec-Fetch-Site": "cross-site"}, True),
            ("a rebound DNS name as Host", "POST", "/api/set", change, {"Host": f"evil.example:{editor.port}"}, True),
            ("localhost as Host", "GET", "/api/state", None, {"Host": f"localhost:{editor.port}"}, True),
            ("another port as Host", "GET", "/api/state", None, {"Host": wrong_port}, True),
            ("no Host at all", "GET", "/api/state", None, {"Host": None}, True),
            ("an upload from another site", "POST", "/api/upload", tar_of([("com.tervan.duskwell.plist", main_file())]),
             {"Origin": "https://evil.example"}, True),
            ("a confirmation from another site", "POST", "/api/upload/confirm", b"", {"Origin": "http://evil.example"},
             True),
            ("the download without the token", "GET", "/api/theme.tar", None, {}, False),
            ("a picture without the token", "GET", "/screens/with/0.png", None, {}, False),
        ]
        for what, method, path, body, headers, token in refused:
            with self.subTest(what):
                status, _, reply = editor.request(method, path, body, headers=headers, token=token)
                self.assertEqual(status, 403, reply)
                self.assertTrue(reply.startswith(b"refused: "), reply)
        self.assertEqual(editor.file_bytes(), before)
        self.assertTrue(editor.state()["values"][MAIN_ID + "/custom1"]["value"])

    def test_the_page_links_its_own_files_with_the_token(self):
        status, headers, page = self.editor.request("GET", "/")
        self.assertEqual(status, 200)
        self.assertIn(f"editor.js?token={self.editor.token}".encode(), page)
        self.assertIn("no-referrer", headers.get("Referrer-Policy", ""))
        for asset, kind in (("/editor.js", "text/javascript"), ("/editor.css", "text/css")):
            status, headers, _ = self.editor.request("GET", asset)
            self.assertEqual((status, headers["Content-Type"].split(";")[0]), (200, kind))

    def test_the_pane_is_the_packages_own(self):
        status, pane = self.editor.json("GET", "/api/pane")
        self.assertEqual(status, 200)
        files = [p["file"] for p in pane["panes"]]
        self.assertEqual(files[0], "duskwell.plist")
        self.assertEqual(sorted(files[1:]), ["duskwell/IconPalette.plist", "duskwell/StatusPalette.plist",
                                             "duskwell/TextPalette.plist"])
        cells = {c.get("id"): c for p in pane["panes"] for c in p["cells"]}
        self.assertEqual(cells[MAIN_ID + "/text2"]["alpha"], True)
        self.assertEqual(cells[MAIN_ID + "/background"]["alpha"], False)
        self.assertEqual(cells[MAIN_ID + "/background"]["default"], "#000000")
        self.assertEqual(cells["com.tervan.textc/red2"]["kind"], "switch")
        footers = [c["footer"] for c in pane["panes"][0]["cells"] if c["kind"] == "group"]
        self.assertTrue(any("next layout" in footer for footer in footers), footers)


class Changes(unittest.TestCase):
    def test_each_cell_writes_what_the_settings_app_writes(self):
        with Editor(TOOL) as editor:
            first = editor.state()
            cases = [
                ("custom1", False, "com.tervan.duskwell.plist", False),
                ("background", {"hex": "#1c1c24"}, "com.tervan.duskwell.plist", "#1C1C24"),
                ("text2", {"hex": "#e8e8e8", "alpha": 0.5}, "com.tervan.duskwell.plist", "#E8E8E8:0.5"),
                ("text2", {"hex": "#FFFFFF", "alpha": 1}, "com.tervan.duskwell.plist", "#FFFFFF"),
            ]
            for key, value, name, written in cases:
                with self.subTest(key=key, value=value):
                    status, state = editor.json("POST", "/api/set", {"id": f"{MAIN_ID}/{key}", "value": value})
                    self.assertEqual(status, 200, state)
                    with open(editor.path(name), "rb") as file:
                        raw = file.read()
                    self.assertTrue(raw.startswith(b"bplist00"))
                    stored = plistlib.loads(raw)
                    self.assertIs(type(stored[key]), type(written))
                    self.assertEqual(stored[key], written)
                    self.assertEqual(len(stored), 4, "the file's other keys stay")
            status, state = editor.json("POST", "/api/set", {"id": "com.tervan.textc/red2", "value": True})
            self.assertEqual(status, 200, state)
            with open(editor.path("com.tervan.textc.plist"), "rb") as file:
                self.assertIs(plistlib.load(file)["red2"], True)
            self.assertEqual(state["doctor"]["colors"]["background"]["color"], "#1C1C24FF")
            self.assertEqual(state["doctor"]["palettes"]["text"]["setKeys"], ["red2"])
            self.assertGreater(state["version"], first["version"])
            changed = [s["name"] for s, old in zip(state["screens"], first["screens"]) if s["with"] != old["with"]]
            self.assertTrue(changed, "the themed screens changed")
            self.assertEqual([s["without"] for s in state["screens"]], [s["without"] for s in first["screens"]])
            status, _ = editor.json("POST", "/api/set", {"id": f"{MAIN_ID}/custom1", "value": True})
            self.assertEqual(status, 200)
            state = attributed(editor)
            painters = {r["painter"] for s in state["screens"] for r in s["regions"]}
            self.assertEqual(painters, {"the host", '"tabs"', '"background"', "the filter"})

    def test_a_change_the_cell_cannot_make_writes_nothing(self):
        with Editor(TOOL) as editor:
            before = editor.file_bytes()
            for what, body in [
                ("a key no cell writes", {"id": MAIN_ID + "/custom2", "value": True}),
                ("a key of another file", {"id": "com.tervan.icon/custom1", "value": True}),
                ("a switch given a string", {"id": MAIN_ID + "/custom1", "value": "yes"}),
                ("a switch given a number", {"id": MAIN_ID + "/custom1", "value": 1}),
                ("a colour given a string", {"id": MAIN_ID + "/tabs", "value": "#123456"}),
                ("a colour that is no hex", {"id": MAIN_ID + "/tabs", "value": {"hex": "red"}}),
                ("alpha on an opaque cell", {"id": MAIN_ID + "/tabs", "value": {"hex": "#123456", "alpha": 0.5}}),
                ("alpha above one", {"id": MAIN_ID + "/text2", "value": {"hex": "#123456", "alpha": 1.5}}),
                ("an id without a domain", {"id": "custom1", "value": True}),
                ("a domain that climbs out", {"id": "../../etc/x/custom1", "value": True}),
            ]:
                with self.subTest(what):
                    status, reply = editor.json("POST", "/api/set", body)
                    self.assertEqual(status, 400, reply)
                    self.assertTrue(reply["error"])
            status, _, _ = editor.request("POST", "/api/set", b"{not json", headers={"Content-Type": "application/json"})
            self.assertEqual(status, 400)
            self.assertEqual(editor.file_bytes(), before)

    def test_an_unreadable_file_is_left_as_it_is(self):
        with Editor(TOOL) as editor:
            with open(editor.path("com.tervan.duskwell.plist"), "wb") as file:
                file.write(b"not a property list")
            status, reply = editor.json("POST", "/api/set", {"id": MAIN_ID + "/custom1", "value": True})
            self.assertEqual(status, 409, reply)
            self.assertIn("not changing it", reply["error"])
            with open(editor.path("com.tervan.duskwell.plist"), "rb") as file:
                self.assertEqual(file.read(), b"not a property list")

    def test_the_page_follows_a_change_made_outside(self):
        with Editor(TOOL) as editor:
            version = editor.state()["version"]
            subprocess.run([TOOL, "theme", "set", editor.root, "background", "#203040"], check=True,
                           capture_output=True, timeout=60)
            # The page's wait: each answer names a newer version, until one of them shows the change.
            deadline = time.monotonic() + 30
            while True:
                status, event = editor.json("GET", "/api/events", params={"after": version})
                self.assertEqual(status, 200)
                self.assertGreater(event["version"], version)
                version, state = event["version"], editor.state()
                if state["values"][MAIN_ID + "/background"]["value"] == "#203040" or time.monotonic() > deadline:
                    break
            self.assertEqual(state["values"][MAIN_ID + "/background"]["value"], "#203040")
            self.assertEqual(state["doctor"]["colors"]["background"]["color"], "#203040FFFF"[:9])
            self.assertIn("changed on disk", state["change"])


class Archives(unittest.TestCase):
    def test_the_download_is_the_four_files_as_a_device_root(self):
        with Editor(TOOL) as editor:
            status, headers, body = editor.request("GET", "/api/theme.tar")
            self.assertEqual(status, 200)
            self.assertIn("attachment", headers["Content-Disposition"])
            with tarfile.open(fileobj=io.BytesIO(body)) as archive:
                members = {m.name: archive.extractfile(m).read() for m in archive.getmembers()}
            expected = {os.path.join(PREFS, name): content for name, content in editor.file_bytes().items()}
            self.assertEqual(members, expected)

    def test_an_upload_is_shown_and_written_only_when_confirmed(self):
        with Editor(TOOL) as editor:
            before = editor.file_bytes()
            palette = plistlib.dumps({"red3": True}, fmt=plistlib.FMT_XML)
            for archive in (tar_of([(os.path.join(".", PREFS, "com.tervan.duskwell.plist"), main_file(background="#445566")),
                                    ("com.tervan.status.plist", palette)]),
                            tar_of([("com.tervan.duskwell.plist", main_file(background="#445566"))], compress=True)):
                status, shown = editor.json("POST", "/api/upload", body_of(archive))
                self.assertEqual(status, 200, shown)
                self.assertEqual(shown["files"][0]["values"]["background"], "#445566")
                self.assertEqual(editor.file_bytes(), before, "nothing is written before the confirmation")
            status, reply = editor.json("POST", "/api/upload/confirm", params={"upload": shown["upload"] + 7})
            self.assertEqual(status, 409, reply)
            self.assertEqual(editor.file_bytes(), before)
            buffer = io.BytesIO()
            with zipfile.ZipFile(buffer, "w") as archive:
                archive.writestr("com.tervan.duskwell.plist", main_file(background="#445566", custom1=False))
                archive.writestr("com.tervan.status.plist", palette)
            status, shown = editor.json("POST", "/api/upload", body_of(buffer.getvalue()))
            self.assertEqual(status, 200, shown)
            status, state = editor.json("POST", "/api/upload/confirm", params={"upload": shown["upload"]})
            self.assertEqual(status, 200, state)
            with open(editor.path("com.tervan.duskwell.plist"), "rb") as file:
                self.assertEqual(plistlib.load(file)["background"], "#445566")
            with open(editor.path("com.tervan.status.plist"), "rb") as file:
                self.assertEqual(plistlib.load(file), {"red3": True})
            self.assertEqual(state["values"][MAIN_ID + "/custom1"]["value"], False)
            status, _ = editor.json("POST", "/api/upload/confirm", params={"upload": shown["upload"]})
            self.assertEqual(status, 409, "an upload is written once")

    def test_hostile_uploads_are_refused_and_write_nothing(self):
        nested = b"<plist><array>" * 600 + b"</array>" * 600 + b"</plist>"
        symlink = lambda info: setattr(info, "type", tarfile.SYMTYPE) or setattr(info, "linkname", "/etc/passwd")
        hardlink = lambda info: setattr(info, "type", tarfile.LNKTYPE) or setattr(info, "linkname", "com.tervan.icon.plist")
        fifo = lambda info: setattr(info, "type", tarfile.FIFOTYPE)
        hostile = [
            ("no archive at all", b"hello, this is text"),
            ("a link to a system file", tar_of([("com.tervan.duskwell.plist", b"", symlink)])),
            ("a hard link", tar_of([("com.tervan.icon.plist", main_file()), ("com.tervan.duskwell.plist", b"", hardlink)])),
            ("a FIFO", tar_of([("com.tervan.duskwell.plist", b"", fifo)])),
            ("a path that climbs out", tar_of([("../com.tervan.duskwell.plist", main_file())])),
            ("an absolute path", tar_of([("/etc/com.tervan.duskwell.plist", main_file())])),
            ("a file the theme does not have", tar_of([("com.tervan.duskwell.plist", main_file()),
                                                      ("evil.plist", main_file())])),
            ("a file twice", tar_of([("com.tervan.duskwell.plist", main_file()),
                                     (os.path.join(PREFS, "com.tervan.duskwell.plist"), main_file(custom1=False))])),
            ("a file past the reader's limit, compressed small",
             tar_of([("com.tervan.duskwell.plist", b"\0" * (16 * 1024 * 1024 + 1))], compress=True)),
            ("a file that is no property list", tar_of([("com.tervan.duskwell.plist", b"not a plist")])),
            ("a property list nested past the reader's depth", tar_of([("com.tervan.duskwell.plist", nested)])),
            ("a top level that is no dictionary", tar_of([("com.tervan.duskwell.plist", plistlib.dumps([1, 2]))])),
            ("a value a file cannot hold", tar_of([("com.tervan.duskwell.plist",
                                                    plistlib.dumps({"background": float("nan")}, fmt=plistlib.FMT_BINARY))])),
            ("too many entries", tar_of([(f"dir{i}/", b"", lambda info: setattr(info, "type", tarfile.DIRTYPE))
                                         for i in range(40)])),
            ("nothing of the theme", tar_of([("var/", b"", lambda info: setattr(info, "type", tarfile.DIRTYPE))])),
            ("a truncated archive", tar_of([("com.tervan.duskwell.plist", main_file() * 50)])[:700]),
        ]
        with Editor(TOOL) as editor:
            before = editor.file_bytes()
            status, good = editor.json("POST", "/api/upload", body_of(tar_of([("com.tervan.duskwell.plist", main_file())])))
            self.assertEqual(status, 200)
            for what, archive in hostile:
                with self.subTest(what):
                    status, reply = editor.json("POST", "/api/upload", body_of(archive))
                    self.assertEqual(status, 422, reply)
                    self.assertIn("nothing was written", reply["error"])
            status, _ = editor.json("POST", "/api/upload/confirm", params={"upload": good["upload"]})
            self.assertEqual(status, 409, "a refused upload also drops the one that waited")
            self.assertEqual(editor.file_bytes(), before)

    def test_an_upload_larger_than_the_limit_is_refused_unread(self):
        with Editor(TOOL) as editor:
            before = editor.file_bytes()
            with socket.create_connection(("127.0.0.1", editor.port), timeout=30) as connection:
                connection.sendall(f"POST /api/upload?token={editor.token} HTTP/1.1\r\nHost: {editor.host}\r\n"
                                   "Content-Length: 200000000\r\n\r\n".encode() + b"\0" * 65536)
                self.assertIn(b" 413 ", connection.recv(4096).split(b"\r\n")[0] + b" ")
            self.assertEqual(editor.file_bytes(), before)


def body_of(archive):
    """An upload as the page sends it: the archive's bytes, not JSON."""
    return RawBody(archive)


class RawBody:
    def __init__(self, data):
        self.data = data


# Editor.json sends a document as JSON; an archive goes as it is.
_json = Editor.json


def _json_or_raw(self, method, path, document=None, **options):
    if isinstance(document, RawBody):
        status, _, reply = self.request(method, path, document.data,
                                        headers={"Content-Type": "application/octet-stream"}, **options)
        return status, json.loads(reply) if reply.startswith(b"{") else reply
    return _json(self, method, path, document, **options)


Editor.json = _json_or_raw


class CommandLine(unittest.TestCase):
    def run_tool(self, *args):
        return subprocess.run([TOOL, "serve", *args], capture_output=True, text=True, timeout=60)

    def test_options_and_their_mistakes(self):
        help_text = self.run_tool("--help")
        self.assertEqual(help_text.returncode, 0)
        for option in ("--device-root DIR", "--port N", "--layout DIR"):
            self.assertIn(option, help_text.stdout)
        for args, message in [(("--port", "70000"), "not a port number"), (("--port", "80a"), "not a port number"),
                              (("--layout", "/nonexistent"), "/nonexistent"),
                              (("--device-root", "/nonexistent"), "does not exist"),
                              (("--prot", "1"), "did you mean '--port'")]:
            with self.subTest(args=args):
                result = self.run_tool(*args)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertEqual(result.stdout, "")

    def test_a_port_in_use_is_named(self):
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            port = taken.getsockname()[1]
            result = self.run_tool("--port", str(port))
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"port {port}", result.stderr)
        self.assertEqual(result.stdout, "")

    def test_it_prints_one_url_and_stops_cleanly(self):
        editor = Editor(TOOL)
        try:
            self.assertRegex(editor.url, r"^http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{32}$")
            self.assertEqual(editor.state()["root"], editor.root)
            editor.process.terminate()
            self.assertEqual(editor.process.wait(timeout=30), 0)
            self.assertEqual(editor.process.stdout.read(), "", "one URL and nothing more")
        finally:
            editor.stop()

    def test_without_a_device_root_it_edits_a_copy_of_the_example(self):
        example = os.path.join(os.path.dirname(TOOL), "example-device-root")
        def example_bytes():
            folder = pathlib.Path(example, PREFS)
            return {path.name: path.read_bytes() for path in sorted(folder.iterdir())}
        before = example_bytes()
        editor = Editor(TOOL, own_root=False)
        try:
            self.assertTrue(editor.root.startswith(editor.directory.name + os.sep), editor.root)
            status, _ = editor.json("POST", "/api/set", {"id": MAIN_ID + "/background", "value": {"hex": "#102030"}})
            self.assertEqual(status, 200)
            with open(editor.path(MAIN_ID + ".plist"), "rb") as file:
                self.assertEqual(plistlib.load(file)["background"], "#102030")
            self.assertEqual(example_bytes(), before, "the example theme itself is left as it ships")
            editor.process.terminate()
            editor.process.wait(timeout=30)
            self.assertIn(f"editing a copy of the example theme in {editor.root}", editor.process.stderr.read())
            self.assertTrue(os.path.exists(editor.path(MAIN_ID + ".plist")), "the copy outlives the server")
        finally:
            editor.stop()


if __name__ == "__main__":
    parallel_unittest.main()
