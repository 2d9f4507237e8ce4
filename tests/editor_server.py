"""duskwell-sim serve for the editor's tests: a server on a fresh device root (the example theme),
its URL, and requests made exactly as the test says (headers included)."""
import http.client
import json
import os
import subprocess
import tempfile
import urllib.parse

PREFS = os.path.join("var", "mobile", "Library", "Preferences")
THEME_FILES = ("com.tervan.duskwell.plist", "com.tervan.icon.plist", "com.tervan.textc.plist",
               "com.tervan.status.plist")


class Editor:
    """`serve` on a device root of its own, stopped and removed on exit."""

    def __init__(self, tool, *extra, settings=(), own_root=True):
        """Without `own_root`, serve picks its device root itself (`self.root` is then what it says)."""
        self.tool = tool
        self.directory = tempfile.TemporaryDirectory(prefix="duskwell-editor-test.")
        self.root = os.path.join(self.directory.name, "root")
        environment = dict(os.environ)
        if own_root:
            subprocess.run([tool, "theme", "init", self.root], check=True, capture_output=True, timeout=60)
            for key, value in settings:  # theme set, before the server starts
                subprocess.run([tool, "theme", "set", self.root, key, value], check=True, capture_output=True,
                               timeout=60)
            extra = ("--device-root", self.root, *extra)
        else:
            environment["TMPDIR"] = self.directory.name
        self.process = subprocess.Popen([tool, "serve", *extra], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, env=environment)
        self.url = self.process.stdout.readline().strip()
        if not self.url:
            self.stop()
            raise RuntimeError("serve printed no URL: " + self.process.stderr.read())
        parsed = urllib.parse.urlsplit(self.url)
        self.port = parsed.port
        self.token = urllib.parse.parse_qs(parsed.query)["token"][0]
        self.host = f"127.0.0.1:{self.port}"
        if not own_root:
            self.root = self.state()["root"]

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.stop()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        self.process.stderr.close()
        self.directory.cleanup()

    def path(self, name):
        return os.path.join(self.root, PREFS, name)

    def file_bytes(self):
        """Every theme file's bytes (None for a missing one)."""
        result = {}
        for name in THEME_FILES:
            try:
                with open(self.path(name), "rb") as file:
                    result[name] = file.read()
            except FileNotFoundError:
                result[name] = None
        return result

    def request(self, method, path, body=None, headers=None, token=True, params=None):
        """(status, headers, body bytes); `headers` replace the defaults (Host is ours unless given)."""
        query = dict(params or {})
        if token is True:
            query["token"] = self.token
        elif token:
            query["token"] = token
        if method == "POST" and body is None:
            body = b""
        target = path + ("?" + urllib.parse.urlencode(query) if query else "")
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        try:
            connection.putrequest(method, target, skip_host=True, skip_accept_encoding=True)
            sent = {"Host": self.host}
            sent.update(headers or {})
            if body is not None:
                sent.setdefault("Content-Length", str(len(body)))
            for name, value in sent.items():
                if value is not None:
                    connection.putheader(name, value)
            connection.endheaders(body)
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            connection.close()

    def json(self, method, path, document=None, **options):
        body = None if document is None else json.dumps(document).encode()
        headers = options.pop("headers", {})
        if body is not None:
            headers.setdefault("Content-Type", "application/json")
        status, _, reply = self.request(method, path, body, headers=headers, **options)
        return status, json.loads(reply) if reply.startswith((b"{", b"[")) else reply

    def state(self):
        status, document = self.json("GET", "/api/state")
        assert status == 200, document
        return document
