"""The Mach-O vocabulary of the device build, read from the one header that defines it for the linker
and the device model (device-build/macho/MachOFormat.h): its constants by name, and its records as layouts of
named fields. Nothing of the format is written down here a second time.

The header is read as it is written: `constexpr TYPE kName = EXPRESSION;` lines, and `struct Name {
TYPE field, field[16]; ... };` records of fixed-width fields, laid out as the compiler lays them out
(each field at its natural alignment). The header's `static_assert(sizeof(...) == N)` lines are
checked against the layouts computed here, so that a record this reader gets wrong fails loudly.
"""

import ast
import os
import re
import struct
import types

HEADER = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "macho", "MachOFormat.h")

# Fixed-width field types: struct format code and size (which is also the alignment).
_SCALARS = {"uint8_t": ("B", 1), "char": ("s", 1), "uint16_t": ("H", 2), "uint32_t": ("I", 4), "uint64_t": ("Q", 8)}


class VocabularyError(Exception):
    """The header is missing or written in a way this reader does not know."""


def _evaluate(expression, known, where):
    """An integer constant expression: literals, earlier constants, | << + - and parentheses."""
    def value(node):
        if isinstance(node, ast.Constant) and isinstance(node.value, int):
            return node.value
        if isinstance(node, ast.Name) and node.id in known:
            return known[node.id]
        if isinstance(node, ast.UnaryOp) and isinstance(node.op, ast.USub):
            return -value(node.operand)
        if isinstance(node, ast.BinOp):
            operations = {ast.BitOr: lambda a, b: a | b, ast.LShift: lambda a, b: a << b,
                          ast.Add: lambda a, b: a + b, ast.Sub: lambda a, b: a - b}
            operation = operations.get(type(node.op))
            if operation is not None:
                return operation(value(node.left), value(node.right))
        raise VocabularyError(f"{where}: cannot evaluate '{expression}'")
    try:
        return value(ast.parse(expression.strip(), mode="eval").body)
    except SyntaxError:
        raise VocabularyError(f"{where}: cannot evaluate '{expression}'")


class Record:
    """One record's layout: each field's name, offset and struct format, in file order."""

    def __init__(self, name, declarations, where):
        self.name = name
        self.fields = []
        offset, alignment = 0, 1
        for type_name, field, count in declarations:
            if type_name not in _SCALARS:
                raise VocabularyError(f"{where}: field {name}.{field} has the unknown type {type_name}")
            code, size = _SCALARS[type_name]
            offset = (offset + size - 1) // size * size
            alignment = max(alignment, size)
            if count is None:
                self.fields.append((field, offset, code, False))
                offset += size
            else:  # an array: of char a zero-padded name, of bytes the bytes
                self.fields.append((field, offset, f"{count}s", type_name == "char"))
                offset += size * count
        self.size = (offset + alignment - 1) // alignment * alignment
        self._little = struct.Struct("<" + self._format())
        self._big = struct.Struct(">" + self._format())

    def _format(self):
        parts, at = [], 0
        for _, offset, code, _ in self.fields:
            if offset > at:
                parts.append(f"{offset - at}x")
            parts.append(code)
            at = offset + struct.calcsize("<" + code)
        if self.size > at:
            parts.append(f"{self.size - at}x")
        return "".join(parts)

    def offset(self, field):
        for name, offset, _, _ in self.fields:
            if name == field:
                return offset
        raise KeyError(f"{self.name} has no field {field}")

    def read(self, data, at=0, big_endian=False):
        """The record at `at` as an object with one attribute per field; char arrays are names, read
        up to their first zero byte."""
        values = (self._big if big_endian else self._little).unpack_from(data, at)
        record = types.SimpleNamespace()
        for (name, _, _, text), value in zip(self.fields, values):
            setattr(record, name, value.split(b"\0", 1)[0].decode(errors="replace") if text else value)
        return record


def _records(text, where):
    records = {}
    for match in re.finditer(r"^struct (\w+) \{\n(.*?)^\};", text, re.S | re.M):
        name, body = match.group(1), re.sub(r"//[^\n]*", "", match.group(2))
        declarations = []
        for statement in body.split(";"):
            statement = " ".join(statement.split())
            if not statement:
                continue
            type_name, _, names = statement.partition(" ")
            for field in names.split(","):
                field = field.strip()
                array = re.fullmatch(r"(\w+)\[(\d+)\]", field)
                if array:
                    declarations.append((type_name, array.group(1), int(array.group(2))))
                elif re.fullmatch(r"\w+", field):
                    declarations.append((type_name, field, None))
                else:
                    raise VocabularyError(f"{where}: struct {name}: cannot read the field '{field}'")
        records[name] = Record(name, declarations, where)
    return records


def _check_sizes(text, records, where):
    for assertion in re.findall(r"^static_assert\((.*)\);", text, re.M):
        for record, size in re.findall(r"sizeof\((\w+)\) == (\d+)", assertion):
            if record not in records or records[record].size != int(size):
                found = records[record].size if record in records else "no such record"
                raise VocabularyError(f"{where}: {record} is {size} bytes in the header, {found} as read here")
        for record, field, offset in re.findall(r"offsetof\((\w+), (\w+)\) == (\d+)", assertion):
            if records[record].offset(field) != int(offset):
                raise VocabularyError(f"{where}: {record}.{field} is at {offset} in the header, "
                                      f"{records[record].offset(field)} as read here")


def load(path=HEADER):
    """The vocabulary as a namespace: constants as attributes (kSegment64, ...), records under .records."""
    try:
        with open(path) as f:
            text = f.read()
    except OSError as error:
        raise VocabularyError(f"{path}: cannot read the Mach-O vocabulary: {error.strerror}")
    constants = {}
    for line_number, line in enumerate(text.splitlines(), 1):
        match = re.match(r"constexpr\s+\w+\s+(k\w+)\s*=\s*([^;]+);", line)
        if match:
            constants[match.group(1)] = _evaluate(match.group(2), constants, f"{path}:{line_number}")
    records = _records(text, path)
    if not constants or not records:
        raise VocabularyError(f"{path}: no constants or no records found; is it the Mach-O vocabulary?")
    _check_sizes(text, records, path)
    return types.SimpleNamespace(**constants, records=types.SimpleNamespace(**records))
