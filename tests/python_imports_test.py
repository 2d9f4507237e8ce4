#!/usr/bin/python3
"""Every Python module that the repository's scripts and tests import comes with Debian's Python or from a
package that scripts/bootstrap installs, together with whatever those modules import in turn: a
package whose own dependencies are incomplete (python3-unicorn needs pkg_resources without saying
so) fails here rather than on a fresh machine."""
import ast
import json
import os
import subprocess
import sys
import unittest

REPO = os.path.abspath(sys.argv.pop(1))
# What the build makes and what git keeps are no sources of ours.
SKIPPED = ("build", "out", "dist", "__pycache__")
PYTHON = "/usr/bin/python3"


def python_files():
    for place, folders, files in os.walk(REPO):
        folders[:] = [name for name in folders if not name.startswith((".", *SKIPPED))]
        for name in files:
            path = os.path.join(place, name)
            if name.endswith(".py"):
                yield path
                continue
            try:
                with open(path, "rb") as file:
                    first = file.readline(200)
            except OSError:
                continue
            if first.startswith(b"#!") and b"python" in first:
                yield path


def imported_modules(path):
    """The top-level names of the absolute imports in one file, wherever they stand."""
    with open(path, encoding="utf-8") as file:
        tree = ast.parse(file.read(), path)
    for node in ast.walk(tree):
        if isinstance(node, ast.Import):
            for alias in node.names:
                yield alias.name.split(".")[0]
        elif isinstance(node, ast.ImportFrom) and node.level == 0 and node.module:
            yield node.module.split(".")[0]


def our_modules(paths):
    names = set()
    for path in paths:
        base = os.path.basename(path)
        names.add(base[:-3] if base.endswith(".py") else base)
        if base.endswith(".py"):  # a folder of our modules is a package of ours, __init__.py or not
            names.add(os.path.basename(os.path.dirname(path)))
    return names


def files_loaded_by(modules):
    """For each module, the files that importing it loads beyond what an empty start-up and the
    modules before it loaded, in one Python of its own. setuptools, where it is installed, would
    stand in for distutils; a fresh machine has none, so its stand-in is turned off."""
    probe = ("import importlib, json, sys\n"
             "loaded = {}\n"
             f"for name in {sorted(modules)!r}:\n"
             "    before = set(sys.modules)\n"
             "    try:\n"
             "        importlib.import_module(name)\n"
             "    except Exception as error:\n"
             "        loaded[name] = repr(error)\n"
             "        continue\n"
             "    loaded[name] = sorted({m.__file__ for n, m in list(sys.modules.items())\n"
             "        if n not in before and getattr(m, '__file__', None)})\n"
             "print(json.dumps(loaded))\n")
    environment = dict(os.environ, SETUPTOOLS_USE_DISTUTILS="stdlib")
    result = subprocess.run([PYTHON, "-c", probe], capture_output=True, text=True, timeout=300,
                            env=environment, check=True)
    return json.loads(result.stdout)


def owning_packages(files):
    """Debian's package for each file, or None for a file that no package installed."""
    result = subprocess.run(["dpkg", "-S", *files], capture_output=True, text=True)
    owners = {}
    for line in result.stdout.splitlines():
        package, _, path = line.partition(": ")
        owners[path] = package.split(":")[0]
    return {path: owners.get(path) for path in files}


def installed_with(packages):
    """The packages and everything they declare they need (Depends, Pre-Depends), as apt installs
    them: what a package uses without declaring it is not among them."""
    fields = subprocess.run(["dpkg-query", "-W", "-f", "${Package}\t${Provides}\t${Depends}, ${Pre-Depends}\n"],
                            capture_output=True, text=True, check=True).stdout
    needs, providers = {}, {}
    for line in fields.splitlines():
        package, provides, depends = line.split("\t")
        needs[package] = [[choice.split()[0].split(":")[0] for choice in group.split("|")]
                          for group in depends.split(",") if group.strip()]
        for virtual in provides.split(","):
            if virtual.strip():
                providers.setdefault(virtual.split()[0], []).append(package)
    closure, pending = set(), list(packages)
    while pending:
        package = pending.pop()
        for real in [package] if package in needs else providers.get(package, []):
            if real in closure:
                continue
            closure.add(real)
            for group in needs[real]:
                pending.extend(choice for choice in group if choice in needs or choice in providers)
    return closure


class PythonImports(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        listing = subprocess.run([os.path.join(REPO, "scripts", "bootstrap"), "--list"],
                                 capture_output=True, text=True, check=True)
        cls.bootstrap = set(listing.stdout.split())
        cls.files = sorted(python_files())
        ours = our_modules(cls.files)
        cls.importers = {}
        for path in cls.files:
            for module in imported_modules(path):
                if module not in ours:
                    cls.importers.setdefault(module, []).append(os.path.relpath(path, REPO))

    def test_the_scan_sees_the_scripts(self):
        names = {os.path.relpath(path, REPO) for path in self.files}
        self.assertIn("scripts/run-steps", names)
        self.assertIn("tests/parallel_unittest.py", names)
        self.assertIn("unicorn", self.importers)

    def test_every_import_is_installed_by_bootstrap(self):
        allowed = installed_with(self.bootstrap)
        loaded = files_loaded_by(self.importers)
        files = sorted({path for paths in loaded.values() if isinstance(paths, list) for path in paths})
        owners = owning_packages(files)
        problems = set()
        for module, paths in sorted(loaded.items()):
            importers = ", ".join(sorted(set(self.importers[module])))
            if isinstance(paths, str):
                problems.add(f"{module} (imported by {importers}) does not import: {paths}")
                continue
            for path in paths:
                package = owners[path]
                if package is None:
                    problems.add(f"{module} (imported by {importers}) loads {path}, which no Debian "
                                 "package installed")
                elif package not in allowed:
                    problems.add(f"{module} (imported by {importers}) needs {package}, which "
                                 "scripts/bootstrap neither installs nor pulls in")
        self.assertEqual(sorted(problems), [], "\n".join(sorted(problems)))


if __name__ == "__main__":
    unittest.main()
