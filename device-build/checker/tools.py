"""What llvm-objdump and llvm-nm say about a file, as the rules need it: the header, the load
commands, section sizes, the rebase and bind tables, exports and undefined symbols. The tables come
from LLVM's reading, the checker's own reading (image.py) is compared with it by the rules. Tools:
LLVM_OBJDUMP and LLVM_NM in the environment, else LLVM 14's."""

import functools
import os
import subprocess

from .image import ToolError

OBJDUMP = os.environ.get("LLVM_OBJDUMP", "/usr/lib/llvm-14/bin/llvm-objdump")
NM = os.environ.get("LLVM_NM", "/usr/lib/llvm-14/bin/llvm-nm")


@functools.lru_cache(maxsize=None)
def run(tool, *args):
    """A tool's output; the same question about the same file is asked once per check."""
    try:
        done = subprocess.run([tool, *args], capture_output=True, text=True)
    except FileNotFoundError:
        raise ToolError(f"{tool} not found (install llvm 14: scripts/bootstrap)")
    if done.returncode != 0:
        raise ToolError(f"{os.path.basename(tool)} {' '.join(args)} failed: {done.stderr.strip()}")
    return done.stdout


def mach_header(path):
    """(cputype, cpusubtype, filetype, flags) from llvm-objdump's header table."""
    lines = run(OBJDUMP, "--macho", "--private-headers", path).splitlines()
    for i, line in enumerate(lines):
        if line.split()[:2] == ["magic", "cputype"] and i + 1 < len(lines):
            fields = lines[i + 1].split()
            return fields[1], fields[2], fields[4], set(fields[7:])
    raise ToolError(f"{path}: no Mach-O header found")


def load_commands(path):
    """Each load command as a dict of its fields ('cmd', 'name', 'version', ...)."""
    commands = []
    for line in run(OBJDUMP, "--macho", "--private-headers", path).splitlines():
        if line.startswith("Load command "):
            commands.append({})
        elif commands and line.strip():
            key, _, value = line.strip().partition(" ")
            commands[-1].setdefault(key, value.strip())
    return commands


def section_sizes(path):
    """Total size of each section name, over all segments."""
    sizes = {}
    for line in run(OBJDUMP, "--macho", "--section-headers", path).splitlines():
        fields = line.split()
        if len(fields) >= 3 and fields[0].isdigit():
            sizes[fields[1]] = sizes.get(fields[1], 0) + int(fields[2], 16)
    return sizes


def minimum_os(commands):
    for command in commands:
        if command["cmd"] == "LC_VERSION_MIN_IPHONEOS":
            return command.get("version")
        if command["cmd"] == "LC_BUILD_VERSION" and command.get("platform", "").lower() == "ios":
            return command.get("minos")
    return None


def object_initialisers(path):
    """The function each __mod_init_func entry of an object points at, by symbol name."""
    names = []
    listing = run(OBJDUMP, "--macho", "--section=__DATA,__mod_init_func", path)
    for line in listing.splitlines():
        fields = line.split()
        if len(fields) >= 2 and fields[0].startswith("0x") and fields[1].startswith("0x"):
            names.append(fields[2] if len(fields) > 2 else fields[1])
    return names


def _fixup_rows(path):
    """(table title, fields) for each entry of the rebase, bind, lazy and weak bind tables."""
    table = None
    for line in run(OBJDUMP, "--macho", "--rebase", "--bind", "--lazy-bind", "--weak-bind", path).splitlines():
        fields = line.split()
        if line.endswith("table:"):
            table = line
        elif fields and fields[0] != "segment":
            yield table, fields


def fixups(path):
    """Rebase addresses and (address, symbol) binds of every table, as llvm-objdump decodes them."""
    rebases, binds = set(), {}
    for table, fields in _fixup_rows(path):
        if table == "Rebase table:" and len(fields) >= 4:
            rebases.add(int(fields[2], 16))
        elif table in ("Bind table:", "Lazy bind table:") and len(fields) >= 5:
            binds.setdefault(int(fields[2], 16), set()).add(fields[-1])
    return rebases, binds


def bindings(path):
    """(symbol, library short name) for every entry of the bind, lazy and weak bind tables."""
    found = []
    for table, fields in _fixup_rows(path):
        if table == "Bind table:" and len(fields) >= 7:
            found.append((fields[-1], fields[5]))
        elif table == "Lazy bind table:" and len(fields) >= 5:
            found.append((fields[-1], fields[3]))
        elif table == "Weak bind table:" and len(fields) >= 5:
            found.append((fields[-1], "weak-definition"))
    return found


def exported_symbols(path):
    lines = run(OBJDUMP, "--macho", "--exports-trie", path).splitlines()
    names = set()
    if "Exports trie:" in lines:
        for line in lines[lines.index("Exports trie:") + 1:]:
            fields = line.split()
            if len(fields) >= 2 and fields[0].startswith("0x"):
                names.add(fields[1])
    return names


def undefined_in_dylib(path):
    """(symbol, where from) for each undefined symbol, as llvm-nm -m reports it."""
    found = []
    for line in run(NM, "-m", "--undefined-only", path).splitlines():
        if "(undefined)" not in line:
            continue
        symbol, _, source = line.split("external ", 1)[-1].strip().partition(" ")
        found.append((symbol, source.strip("()")))
    return found


def external_symbols(path):
    """(name, undefined, private external) for each external symbol of an object, from llvm-nm -m."""
    found = []
    for line in run(NM, "-m", "--extern-only", path).splitlines():
        fields = line.split()
        if fields:
            found.append((fields[-1], "(undefined)" in line, "private external" in line))
    return found
