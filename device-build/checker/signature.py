"""The embedded code signature of one image: a SHA-1 code directory and a SHA-256 alternate, with the
build's identifier, covering everything before the signature, with every page hash recomputed."""

import hashlib
import struct

from .image import F, R

HASHES = {F.kHashTypeSha1: ("SHA-1", hashlib.sha1), F.kHashTypeSha256: ("SHA-256", hashlib.sha256)}
# The slot each directory must be in: iOS 9 reads SHA-1, later kernels SHA-256.
SLOTS = (("SHA-1", F.kSlotCodeDirectory), ("SHA-256", F.kSlotAlternateCodeDirectory))


def check_signature(problems, where, image, identifier):
    if image.signature is None:
        problems.append(f"{where}: has no code signature")
        return
    data = image.data
    dataoff, datasize = image.signature
    blob = data[dataoff:dataoff + datasize]
    if len(blob) < R.SuperBlob.size or struct.unpack_from(">I", blob, 0)[0] != F.kEmbeddedSignatureMagic:
        magic = struct.unpack_from(">I", blob, 0)[0] if len(blob) >= 4 else 0
        problems.append(f"{where}: code signature blob has magic {magic:#x}, not an embedded signature")
        return
    count = R.SuperBlob.read(blob, 0, big_endian=True).count
    entries = [R.BlobIndex.read(blob, R.SuperBlob.size + R.BlobIndex.size * i, big_endian=True) for i in range(count)]
    blobs = {entry.type: entry.offset for entry in entries}
    requirements = None
    if F.kSlotRequirements in blobs:
        start = blobs[F.kSlotRequirements]
        length = struct.unpack_from(">I", blob, start + 4)[0]
        requirements = blob[start:start + length]
    found = {}
    for entry in entries:
        if (entry.type not in (F.kSlotCodeDirectory, F.kSlotAlternateCodeDirectory)
                or struct.unpack_from(">I", blob, entry.offset)[0] != F.kCodeDirectoryMagic):
            continue
        directory = R.CodeDirectory.read(blob, entry.offset, big_endian=True)
        cd = blob[entry.offset:entry.offset + directory.length]
        name, algorithm = HASHES.get(directory.hashType, (f"hash type {directory.hashType}", None))
        found[name] = entry.type
        ident = directory.identOffset
        signed_as = cd[ident:cd.index(b"\0", ident)].decode(errors="replace")
        if signed_as != identifier:
            problems.append(f"{where}: {name} code directory names '{signed_as}', not '{identifier}'")
        code_limit, hash_size, hash_offset = directory.codeLimit, directory.hashSize, directory.hashOffset
        if code_limit != dataoff:
            problems.append(f"{where}: {name} code directory covers {code_limit} bytes, but the signature starts at {dataoff}")
        if algorithm is None or hash_size != algorithm().digest_size:
            problems.append(f"{where}: {name} code directory has hash size {hash_size}")
            continue
        page = 1 << directory.pageSize
        if directory.nCodeSlots != (code_limit + page - 1) // page:
            problems.append(f"{where}: {name} code directory has {directory.nCodeSlots} page hashes for {code_limit} bytes")
        for i in range(directory.nCodeSlots):
            stored = cd[hash_offset + i * hash_size:hash_offset + (i + 1) * hash_size]
            if algorithm(data[i * page:min((i + 1) * page, code_limit)]).digest() != stored:
                problems.append(f"{where}: {name} hash of page {i} (bytes {i * page:#x}-) does not match its contents")
                break
        # Special slots count down from the page hashes: -2, the requirements, is the second before them.
        if directory.nSpecialSlots >= 2 and requirements is not None:
            stored = cd[hash_offset - 2 * hash_size:hash_offset - hash_size]
            if algorithm(requirements).digest() != stored:
                problems.append(f"{where}: {name} hash of the requirements does not match them")
    for name, slot in SLOTS:
        if found.get(name) != slot:
            problems.append(f"{where}: no {name} code directory in slot {slot:#x} (iOS 9 reads SHA-1, later kernels SHA-256)")
