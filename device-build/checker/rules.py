"""The rules of the device build, for each thin slice of the dylib and for the armv7 objects it was
linked from: processor, file type and two-level namespace; the build's install name and minimum OS;
only the device libraries the library may use, and everything bound to one of them; the build's
signature; exactly the library's exports; one module initialiser and one category, no classes; no
C++ runtime; every pointer the loader fixes (pointers.py)."""

import collections

from . import tools
from .pointers import check_fixups
from .signature import check_signature

# What the build decides and passes to the checker: the install name, the minimum iOS version and
# the signing identifier.
Build = collections.namedtuple("Build", "install_name min_os identifier")

EXPORTS = {"_GetPrefBool"}

# The only libraries the dylib may load, by install name; llvm-objdump names them by the short
# form in the bind tables.
LIBRARIES = {
    "/usr/lib/libobjc.A.dylib": "libobjc",
    "/System/Library/Frameworks/Foundation.framework/Foundation": "Foundation",
    "/System/Library/Frameworks/UIKit.framework/UIKit": "UIKit",
    "/System/Library/Frameworks/CoreFoundation.framework/CoreFoundation": "CoreFoundation",
    "/Library/Frameworks/CydiaSubstrate.framework/CydiaSubstrate": "CydiaSubstrate",
    "/usr/lib/libcolorpicker.dylib": "libcolorpicker",
    "/usr/lib/libSystem.B.dylib": "libSystem",
}
LOADING_COMMANDS = ("LC_LOAD_DYLIB", "LC_LOAD_WEAK_DYLIB", "LC_REEXPORT_DYLIB", "LC_LAZY_LOAD_DYLIB",
                    "LC_LOAD_UPWARD_DYLIB")

# Undefined symbols that armv7 objects may need beyond what the arm64 dylib binds. Empty today:
# the library returns no structures by message, so it needs no objc_msgSend_stret.
ARMV7_ONLY_SYMBOLS = set()

# Symbols that mean the C++ runtime crept in (operator new/delete, exceptions, guards, unwinding).
CXX_RUNTIME_PREFIXES = ("__Znw", "__Zna", "__Zdl", "__Zda", "___cxa_", "___gxx_personality", "__Unwind_")


def check_initialisers(problems, where, names):
    if len(names) != 1:
        listed = f" ({', '.join(names)})" if names else ""
        problems.append(f"{where}: __mod_init_func has {len(names)} entries{listed}; "
                        f"the library must have exactly one module initialiser, _logosLocalInit")
    elif "_logosLocalInit" not in names[0]:
        problems.append(f"{where}: the one module initialiser is {names[0]}, not _logosLocalInit")


def check_one_category(problems, where, sizes, pointer_size):
    entries = sizes.get("__objc_catlist", 0) // pointer_size
    if entries != 1:
        problems.append(f"{where}: __objc_catlist has {entries} entries; the library must have exactly one "
                        f"Objective-C category")


def _dylib_names(commands, kinds):
    return [c.get("name", "").split(" (offset")[0] for c in commands if c["cmd"] in kinds]


def check_dylib(path, where, image, build, problems, summary):
    """Every rule of the device build for one thin slice, at `path` (`where` names it in messages);
    returns the symbols it binds."""
    _, _, filetype, flags = tools.mach_header(path)
    arch = image.arch()
    if arch not in ("arm64", "armv7") or filetype != "DYLIB":
        problems.append(f"{where}: is a {arch} {filetype}, not an arm64 or armv7 dylib")
    if "TWOLEVEL" not in flags:
        problems.append(f"{where}: not linked with a two-level namespace (header flags: {' '.join(sorted(flags))})")
    if "FORCE_FLAT" in flags:
        problems.append(f"{where}: forces a flat namespace")

    commands = tools.load_commands(path)
    ids = _dylib_names(commands, ("LC_ID_DYLIB",))
    if ids != [build.install_name]:
        problems.append(f"{where}: install name is {', '.join(ids) or 'missing'}, must be {build.install_name}")
    found_os = tools.minimum_os(commands)
    if found_os != build.min_os:
        problems.append(f"{where}: minimum iOS is {found_os or 'not recorded'}, must be {build.min_os}")

    loaded = _dylib_names(commands, LOADING_COMMANDS)
    for name in loaded:
        if name not in LIBRARIES:
            problems.append(f"{where}: loads {name}, which is not one of the device libraries the library may use")
    for name in LIBRARIES:
        if name not in loaded:
            problems.append(f"{where}: does not load {name}")

    check_signature(problems, where, path, build.identifier)

    exports = tools.exported_symbols(path)
    if exports != EXPORTS:
        extra = sorted(exports - EXPORTS)
        missing = sorted(EXPORTS - exports)
        problems.append(f"{where}: exports must be exactly {sorted(EXPORTS)}; extra {extra}, missing {missing}")

    sizes = tools.section_sizes(path)
    check_initialisers(problems, where, image.initialisers())
    check_one_category(problems, where, sizes, image.pointer_size)
    if sizes.get("__objc_classlist", 0):
        problems.append(f"{where}: defines Objective-C classes; the library defines none of its own")

    allowed = set(LIBRARIES.values())
    per_library = {}
    for symbol, library in tools.bindings(path):
        if library not in allowed:
            problems.append(f"{where}: {symbol} is bound to {library}, not to one of the device libraries")
        per_library.setdefault(library, set()).add(symbol)
    bound = set().union(*per_library.values()) if per_library else set()
    for symbol, source in tools.undefined_in_dylib(path):
        if not source.startswith("from ") or source[5:] not in allowed:
            problems.append(f"{where}: undefined {symbol} is {source or 'not bound to any library'}")
        if symbol.startswith(CXX_RUNTIME_PREFIXES):
            problems.append(f"{where}: needs the C++ runtime ({symbol})")
    check_fixups(problems, where, image, path)

    summary.append(f"{where}: {arch} dylib, {len(image.data)} bytes, install name {build.install_name}, "
                   f"iOS {found_os}+, exports {sorted(exports)}, signed (SHA-1 and SHA-256, every page checked)")
    for library in sorted(per_library):
        summary.append(f"  {library}: {', '.join(sorted(per_library[library]))}")
    return bound


def check_armv7(paths, bound, arch, build, problems, summary):
    """The armv7 objects: each an armv7 object of the build's minimum OS, hiding all but the exports;
    together one initialiser and one category, and needing nothing the dylib's `arch` slice does not
    bind (`bound`) or another object defines."""
    defined = set()
    undefined = {}
    found_initialisers = []
    categories = 0
    for path in paths:
        cputype, cpusubtype, filetype, _ = tools.mach_header(path)
        if (cputype, cpusubtype, filetype) != ("ARM", "V7", "OBJECT"):
            problems.append(f"{path}: is a {cputype} {cpusubtype} {filetype}, not an armv7 object")
            continue
        found_os = tools.minimum_os(tools.load_commands(path))
        if found_os != build.min_os:
            problems.append(f"{path}: minimum iOS is {found_os or 'not recorded'}, must be {build.min_os}")
        sizes = tools.section_sizes(path)
        found_initialisers += tools.object_initialisers(path)
        categories += sizes.get("__objc_catlist", 0)
        for name, is_undefined, private in tools.external_symbols(path):
            if is_undefined:
                undefined.setdefault(name, path)
                continue
            defined.add(name)
            if not private and name not in EXPORTS:
                problems.append(f"{path}: {name} is visible outside the library; only {sorted(EXPORTS)} may be")
    check_initialisers(problems, "armv7 objects", found_initialisers)
    check_one_category(problems, "armv7 objects", {"__objc_catlist": categories}, 4)
    allowed = bound | ARMV7_ONLY_SYMBOLS
    for symbol, path in sorted(undefined.items()):
        if symbol not in defined and symbol not in allowed:
            problems.append(f"{path}: undefined {symbol} is neither bound by the dylib's {arch} slice nor defined by "
                            f"an armv7 object")
    summary.append(f"armv7 objects: {len(paths)} checked, their undefined symbols all bound by the {arch} slice")
