"""Every pointer the loader must fix is fixed, in writable memory, towards something real: each
symbol pointer bound to the symbol its indirect entry names, each stub jumping through its own
pointer, each pointer list entry rebased or bound, each rebased pointer inside the image. The
checker's reading of the image (image.py) is held against llvm-objdump's decoding of the tables."""

import struct

from . import tools
from .image import F

POINTER_LISTS = ("__objc_catlist", "__objc_nlcatlist", "__objc_classlist", "__objc_classrefs", "__objc_superrefs")
SYMBOL_POINTERS = (F.kNonLazySymbolPointers, F.kLazySymbolPointers)


def stub_pointer(image, stub):
    """The pointer a stub jumps through, for the two stub forms the device build uses."""
    code = image.data[stub.offset - stub.address:]
    def at(address, size):
        return struct.unpack_from("<H" if size == 2 else "<I", code, address)[0]
    def stub_target(address):
        if image.wide:  # adrp x16, page; ldr x16, [x16, #off]; br x16
            adrp, ldr, br = at(address, 4), at(address + 4, 4), at(address + 8, 4)
            if adrp & 0x9F00001F != 0x90000010 or ldr & 0xFFC003FF != 0xF9400210 or br != 0xD61F0200:
                return None
            immediate = ((adrp >> 29) & 3) | (((adrp >> 5) & 0x7FFFF) << 2)
            if immediate & (1 << 20):
                immediate -= 1 << 21
            return (address & ~0xFFF) + (immediate << 12) + ((ldr >> 10) & 0xFFF) * 8
        # Thumb-2: movw ip, #lo; movt ip, #hi; add ip, pc; ldr.w pc, [ip]
        halves = [at(address + 2 * i, 2) for i in range(7)]
        def move(first, second):
            return ((first & 0xF) << 12) | (((first >> 10) & 1) << 11) | (((second >> 12) & 7) << 8) | (second & 0xFF)
        if (halves[0] & 0xFBF0 != 0xF240 or halves[2] & 0xFBF0 != 0xF2C0 or halves[1] & 0x0F00 != 0x0C00
                or halves[3] & 0x0F00 != 0x0C00 or halves[4] != 0x44FC or halves[5:7] != [0xF8DC, 0xF000]):
            return None
        offset = move(halves[0], halves[1]) | (move(halves[2], halves[3]) << 16)
        return (address + 12 + offset) & 0xFFFFFFFF
    return stub_target


def check_fixups(problems, where, image, path):
    rebases, binds = tools.fixups(path)
    size = image.pointer_size
    names = [s[0] for s in image.symbols]
    for address in sorted(rebases | set(binds)):
        if not image.writable(address) or image.section_at(address) is None or address % size:
            problems.append(f"{where}: the loader would write at {address:#x}, which is not an aligned pointer "
                            f"in a writable section")
    for address in sorted(rebases):
        target = image.word(address)
        if target is None or image.section_at(target & ~1 if not image.wide else target) is None:
            section = image.section_at(address)
            label = section.label() if section else "?"
            problems.append(f"{where}: rebased pointer at {address:#x} {label} points at "
                            f"{target if target is None else hex(target)}, outside the image's sections")
    for s in image.sections:
        if s.kind in SYMBOL_POINTERS:
            for i, address in enumerate(range(s.address, s.address + s.size, size)):
                entry = image.indirect[s.reserved1 + i] if s.reserved1 + i < len(image.indirect) else None
                if entry is None:
                    problems.append(f"{where}: pointer {address:#x} {s.label()} has no indirect symbol")
                elif entry & F.kIndirectSymbolLocal:
                    if address not in rebases:
                        problems.append(f"{where}: local pointer {address:#x} {s.label()} is not rebased")
                elif names[entry] not in binds.get(address, set()):
                    problems.append(f"{where}: pointer {address:#x} {s.label()} for {names[entry]} has no bind "
                                    f"to {names[entry]}")
        elif s.kind in (F.kLiteralPointers, F.kModInitFuncPointers) or s.name in POINTER_LISTS:
            for address in range(s.address, s.address + s.size, size):
                if address not in rebases and address not in binds:
                    problems.append(f"{where}: pointer {address:#x} {s.label()} is neither rebased nor bound")
        if s.kind == F.kSymbolStubs and s.reserved2:  # reserved2: the size of one stub
            check_stubs(problems, where, image, s, names)


def check_stubs(problems, where, image, stubs, names):
    size = image.pointer_size
    pointers = {}
    for t in image.sections:
        if t.kind in SYMBOL_POINTERS:
            for i in range(t.size // size):
                if t.reserved1 + i < len(image.indirect):
                    pointers.setdefault(image.indirect[t.reserved1 + i], set()).add(t.address + i * size)
    target_of = stub_pointer(image, stubs)
    for i in range(stubs.size // stubs.reserved2):
        stub = stubs.address + i * stubs.reserved2
        entry = image.indirect[stubs.reserved1 + i] if stubs.reserved1 + i < len(image.indirect) else None
        name = names[entry] if entry is not None and entry < len(names) else "?"
        target = target_of(stub)
        if target is None:
            problems.append(f"{where}: stub {stub:#x} for {name} is not a stub form the checker knows")
        elif target not in pointers.get(entry, set()):
            problems.append(f"{where}: stub {stub:#x} for {name} jumps through {target:#x}, not through "
                            f"a pointer to {name}")
