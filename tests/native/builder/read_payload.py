#!/usr/bin/python3
"""Reads the payload of a setup.exe written by InstallerBuilder, independently
of the installer's own reader: pefile finds RT_RCDATA 101 and 102, the archive
is parsed here from its documented layout (version 1: a directory of entries
with their offsets; version 2: a block table, then entries that name their
block), every block is checked against its XXH64 digest (the system's
libxxhash), deflate blocks are decoded with Python's zlib, and every entry is
written below OUTDIR under its name.
  read_payload.py SETUP.EXE OUTDIR
Prints one line per entry: method, stored size of its block, size, name.
Exit status 0 when everything holds; each problem is printed."""
import ctypes
import os
import struct
import sys
import zlib

import pefile

RT_RCDATA, PAYLOAD_ID, DIGESTS_ID = 10, 101, 102
METHODS = {0: "stored", 1: "deflate", 2: "lzma2"}


def xxh64(data: bytes) -> int:
    library = ctypes.CDLL("libxxhash.so.0")
    library.XXH64.restype = ctypes.c_uint64
    library.XXH64.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_uint64]
    return library.XXH64(data, len(data), 0)


def rcdata(pe, wanted):
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if t.id != RT_RCDATA:
            continue
        for n in t.directory.entries:
            if n.id == wanted:
                entry = n.directory.entries[0].data.struct
                return pe.get_data(entry.OffsetToData, entry.Size)
    return None


def parse(archive):
    """(version, blocks, entries, directory size); a block is (method, filter,
    property, offset, stored, original), an entry (name, block, offset, size)."""
    assert archive[:8] == b"ZELSETUP", "magic"
    version, = struct.unpack_from("<I", archive, 8)
    blocks, entries = [], []
    if version == 1:
        count, = struct.unpack_from("<I", archive, 12)
        pos = 16
        for i in range(count):
            length, = struct.unpack_from("<I", archive, pos)
            name = archive[pos + 4:pos + 4 + length].decode("utf-8")
            offset, size = struct.unpack_from("<QQ", archive, pos + 4 + length)
            pos += 4 + length + 16
            blocks.append((0, 0, 0, offset, size, size))
            entries.append((name, i, 0, size))
    elif version == 2:
        entry_count, block_count, reserved = struct.unpack_from("<III", archive, 12)
        assert reserved == 0, "reserved header field"
        pos = 24
        for _ in range(block_count):
            method, filt, prop, zero8, zero32, offset, stored, original = struct.unpack_from("<BBBBIQQQ", archive, pos)
            assert zero8 == 0 and zero32 == 0, "reserved block fields"
            blocks.append((method, filt, prop, offset, stored, original))
            pos += 32
        for _ in range(entry_count):
            length, = struct.unpack_from("<I", archive, pos)
            name = archive[pos + 4:pos + 4 + length].decode("utf-8")
            block, offset, size = struct.unpack_from("<IQQ", archive, pos + 4 + length)
            pos += 4 + length + 20
            entries.append((name, block, offset, size))
    else:
        raise AssertionError(f"version {version}")
    return version, blocks, entries, pos


def decode(archive, block):
    method, filt, _, offset, stored, original = block
    data = archive[offset:offset + stored]
    assert filt == 0, "filter"
    if method == 0:
        return data
    if method == 1:
        inflater = zlib.decompressobj(-15)
        out = inflater.decompress(data) + inflater.flush()
        assert inflater.eof and not inflater.unused_data, "deflate stream does not end with the block"
        assert len(out) == original, f"decodes to {len(out)} bytes, block says {original}"
        return out
    raise AssertionError(f"method {method}")


def main():
    exe_path, out_dir = sys.argv[1:3]
    pe = pefile.PE(exe_path)
    archive, digests = rcdata(pe, PAYLOAD_ID), rcdata(pe, DIGESTS_ID)
    problems = []
    version, blocks, entries, directory_size = parse(archive)
    magic, digest_version, count, directory = struct.unpack_from("<8sIIQ", digests, 0)
    if magic != b"ZELXXH64" or digest_version != version or count != len(blocks):
        problems.append("digests resource header")
    if directory != xxh64(archive[:directory_size]):
        problems.append("directory digest")
    expected_offset = directory_size
    for i, block in enumerate(blocks):
        offset, stored = block[3], block[4]
        if xxh64(archive[offset:offset + stored]) != struct.unpack_from("<Q", digests, 24 + 8 * i)[0]:
            problems.append(f"block {i} digest")
        if version == 2 and offset != expected_offset:
            problems.append(f"block {i} at {offset}, expected {expected_offset}")
        expected_offset = offset + stored
    if version == 2 and expected_offset != len(archive):
        problems.append(f"blocks end at {expected_offset}, archive at {len(archive)}")
    decoded = {}
    for name, block, offset, size in entries:
        if block not in decoded:
            decoded[block] = decode(archive, blocks[block])
        data = decoded[block][offset:offset + size]
        if len(data) != size:
            problems.append(f"{name}: beyond its block")
        target = os.path.join(out_dir, name)
        os.makedirs(os.path.dirname(target) or out_dir, exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)
        print(f"{METHODS.get(blocks[block][0], '?')} {blocks[block][4]} {size} {name}")
    for p in problems:
        print(p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
