"""One thin Mach-O image read directly (its segments, sections, symbols and indirect symbols), and
the slices of a fat file. The checker's own reading, on the shared
vocabulary: neither the linker's nor the device model's code."""

import struct

from . import vocabulary

F = vocabulary.load()
R = F.records


class ToolError(Exception):
    """The file cannot be checked at all: it cannot be read, or a tool failed."""


def arch_name(cputype, cpusubtype):
    """"armv7", "arm64" or None for the processors the device build targets."""
    return {(F.kCpuTypeArm, F.kCpuSubtypeArmV7): "armv7",
            (F.kCpuTypeArm64, 0): "arm64"}.get((cputype & 0xFFFFFFFF, cpusubtype & F.kCpuSubtypeMask))


class Section:
    def __init__(self, record):
        self.segment, self.name = record.segname, record.sectname
        self.address, self.size, self.offset, self.flags = record.addr, record.size, record.offset, record.flags
        self.reserved1, self.reserved2 = record.reserved1, record.reserved2

    @property
    def kind(self):
        return self.flags & F.kSectionTypeMask

    def label(self):
        return f"({self.segment},{self.name})"


class Image:
    """One thin Mach-O image: its sections, symbols and indirect symbols."""

    def __init__(self, path, data):
        self.path, self.data = path, data
        magic = struct.unpack_from("<I", data, 0)[0] if len(data) >= 4 else 0
        if magic not in (F.kMagic32, F.kMagic64):
            raise ToolError(f"{path}: not a thin Mach-O file")
        self.wide = magic == F.kMagic64
        self.pointer_size = 8 if self.wide else 4
        header = (R.MachHeader64 if self.wide else R.MachHeader32).read(data)
        self.cputype, self.cpusubtype, self.filetype = header.cputype, header.cpusubtype, header.filetype
        self.segments, self.sections, self.symbols, self.indirect = [], [], [], []
        at = (R.MachHeader64 if self.wide else R.MachHeader32).size
        symtab = dysymtab = None
        for _ in range(header.ncmds):
            command = R.LoadCommand.read(data, at)
            if command.cmd in (F.kSegment, F.kSegment64):
                wide = command.cmd == F.kSegment64
                segment = (R.SegmentCommand64 if wide else R.SegmentCommand32).read(data, at)
                self.segments.append((segment.segname, segment.vmaddr, segment.vmsize, segment.fileoff,
                                      segment.filesize, segment.initprot))
                layout = R.Section64 if wide else R.Section32
                first = at + (R.SegmentCommand64 if wide else R.SegmentCommand32).size
                for i in range(segment.nsects):
                    self.sections.append(Section(layout.read(data, first + i * layout.size)))
            elif command.cmd == F.kSymtab:
                symtab = R.SymtabCommand.read(data, at)
            elif command.cmd == F.kDysymtab:
                dysymtab = R.DysymtabCommand.read(data, at)
            at += command.cmdsize
        if symtab:
            entry = R.Nlist64 if self.wide else R.Nlist32
            for i in range(symtab.nsyms):
                symbol = entry.read(data, symtab.symoff + i * entry.size)
                start = symtab.stroff + symbol.strx
                end = data.index(b"\0", start)
                self.symbols.append((data[start:end].decode(errors="replace"), symbol.type, symbol.sect,
                                     symbol.desc, symbol.value))
        if dysymtab and dysymtab.nindirectsyms:
            self.indirect = list(struct.unpack_from(f"<{dysymtab.nindirectsyms}I", data, dysymtab.indirectsymoff))

    def arch(self):
        return arch_name(self.cputype, self.cpusubtype) or "unknown"

    def word(self, address):
        """The pointer stored at `address`, or None where the file holds no bytes for it."""
        no_contents = (F.kZerofill, F.kGbZerofill, F.kThreadLocalZerofill)
        for s in self.sections:
            if s.address <= address < s.address + s.size and s.kind not in no_contents:
                return struct.unpack_from("<Q" if self.wide else "<I", self.data, s.offset + address - s.address)[0]
        return None

    def section_at(self, address):
        for s in self.sections:
            if s.address <= address < s.address + s.size:
                return s
        return None

    def writable(self, address):
        for _, vmaddr, vmsize, _, _, initprot in self.segments:
            if vmaddr <= address < vmaddr + vmsize:
                return initprot & F.kProtWrite != 0
        return False

    def symbol_at(self, address):
        """The name of a defined symbol at the address (a Thumb address carries bit 0)."""
        plain = address & ~1 if not self.wide else address
        for name, ntype, _, _, value in self.symbols:
            if ntype & F.kStab == 0 and ntype & F.kTypeMask == F.kInSection and value == plain:
                return name
        return None

    def initialisers(self):
        names = []
        for s in self.sections:
            if s.kind == F.kModInitFuncPointers:
                for at in range(s.address, s.address + s.size, self.pointer_size):
                    target = self.word(at)
                    names.append(self.symbol_at(target) or hex(target))
        return names


def fat_slices(path, data, problems):
    """(arch, bytes) for each slice of a fat file, or the file itself as its only slice."""
    if len(data) < 4 or struct.unpack_from(">I", data, 0)[0] != F.kFatMagic:
        return [(None, data)]
    header = R.FatHeader.read(data, 0, big_endian=True)
    slices = []
    for i in range(header.nfat_arch):
        entry = R.FatArch.read(data, R.FatHeader.size + i * R.FatArch.size, big_endian=True)
        arch = arch_name(entry.cputype, entry.cpusubtype) or f"cpu {entry.cputype:#x}"
        if entry.offset + entry.size > len(data):
            raise ToolError(f"{path}: the {arch} slice lies beyond the end of the file")
        # The kernel maps each slice by pages: 4 KiB on armv7 devices, 16 KiB on arm64 ones.
        needed = 14 if arch == "arm64" else 12
        if entry.align < needed or entry.offset % (1 << needed):
            problems.append(f"{path}: the {arch} slice is aligned to 2^{entry.align} at offset {entry.offset:#x}; "
                            f"it must start on a 2^{needed}-byte page")
        slices.append((arch, data[entry.offset:entry.offset + entry.size]))
    return slices
