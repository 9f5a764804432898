#!/usr/bin/python3
"""Checks an executable written by InstallerBuilder against the stub it came
from, with pefile as an independent PE reader:
  verify_pe.py STUB OUTPUT PAYLOAD
- every resource of the stub is present with identical bytes (except RT_RCDATA
  101 and 102, which the payload and its digests replace, and the version
  resource, which the builder writes from setup.ini), and nothing else was added;
- RT_RCDATA 101 (language 0) holds exactly the bytes of the file PAYLOAD;
- when PAYLOAD is an archive, RT_RCDATA 102 (language 0) holds the XXH64
  digests of its directory and of every entry, computed here with the
  system's libxxhash;
- the file header asks the loader to run the image from the page file when it
  lies on removable media or the network, the stub's other flags kept;
- the checksum is right, SizeOfImage covers the last section, sections lie in
  the file, the resource directory points into an initialised-data section.
Exit status 0 when everything holds; each problem is printed."""
import ctypes
import struct
import sys

import pefile

RT_RCDATA = 10
PAYLOAD_ID = 101
DIGESTS_ID = 102


def xxh64(data: bytes) -> int:
    library = ctypes.CDLL("libxxhash.so.0")
    library.XXH64.restype = ctypes.c_uint64
    library.XXH64.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_uint64]
    return library.XXH64(data, len(data), 0)


def expected_digests(payload: bytes) -> bytes:
    """The digests resource for an archive: "ZELXXH64", version, count, the
    digest of header and directory, then one digest per entry."""
    count = struct.unpack_from("<I", payload, 12)[0]
    pos, ranges = 16, []
    for _ in range(count):
        length = struct.unpack_from("<I", payload, pos)[0]
        pos += 4 + length
        ranges.append(struct.unpack_from("<QQ", payload, pos))
        pos += 16
    out = b"ZELXXH64" + struct.pack("<IIQ", 1, count, xxh64(payload[:pos]))
    for offset, size in ranges:
        out += struct.pack("<Q", xxh64(payload[offset:offset + size]))
    return out
RT_VERSION = 16


def resources(pe):
    found = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                entry = lang.data.struct
                key = (t.name.decode() if t.name else t.id,
                       n.name.decode() if n.name else n.id,
                       lang.name.decode() if lang.name else lang.id)
                found[key] = pe.get_data(entry.OffsetToData, entry.Size)
    return found


def main():
    stub_path, out_path, payload_path = sys.argv[1:4]
    problems = []
    stub = pefile.PE(stub_path)
    out = pefile.PE(out_path)
    with open(payload_path, "rb") as f:
        payload = f.read()
    with open(out_path, "rb") as f:
        file_size = len(f.read())

    expected = {k: v for k, v in resources(stub).items()
                if not (k[0] == RT_RCDATA and k[1] in (PAYLOAD_ID, DIGESTS_ID)) and k[0] != RT_VERSION}
    expected[(RT_RCDATA, PAYLOAD_ID, 0)] = payload
    if payload.startswith(b"ZELSETUP"):  # an archive as InstallerBuilder writes it, not raw test bytes
        expected[(RT_RCDATA, DIGESTS_ID, 0)] = expected_digests(payload)
    actual = {k: v for k, v in resources(out).items() if k[0] != RT_VERSION}
    for key in sorted(set(expected) | set(actual), key=str):
        if key not in actual:
            problems.append(f"resource {key} missing")
        elif key not in expected:
            problems.append(f"unexpected resource {key}")
        elif actual[key] != expected[key]:
            problems.append(f"resource {key} differs ({len(actual[key])} bytes, expected {len(expected[key])})")

    run_from_swap = 0x0400 | 0x0800  # IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP | IMAGE_FILE_NET_RUN_FROM_SWAP
    if out.FILE_HEADER.Characteristics != stub.FILE_HEADER.Characteristics | run_from_swap:
        problems.append(f"file characteristics {out.FILE_HEADER.Characteristics:#x}, "
                        f"expected {stub.FILE_HEADER.Characteristics | run_from_swap:#x}")
    opt = out.OPTIONAL_HEADER
    if opt.CheckSum != out.generate_checksum():
        problems.append(f"checksum {opt.CheckSum:#x}, computed {out.generate_checksum():#x}")
    align = opt.SectionAlignment
    end = max(s.VirtualAddress + max(s.Misc_VirtualSize, s.SizeOfRawData) for s in out.sections)
    if opt.SizeOfImage != (end + align - 1) // align * align:
        problems.append(f"SizeOfImage {opt.SizeOfImage:#x}, sections end at {end:#x}")
    if out.FILE_HEADER.NumberOfSections != len(out.sections):
        problems.append("section count")
    for s in out.sections:
        if s.SizeOfRawData and s.PointerToRawData + s.SizeOfRawData > file_size:
            problems.append(f"section {s.Name} beyond the end of the file")
        if s.SizeOfRawData % opt.FileAlignment or s.VirtualAddress % align:
            problems.append(f"section {s.Name} not aligned")
    last = max(s.PointerToRawData + s.SizeOfRawData for s in out.sections)
    if last != file_size:
        problems.append(f"{file_size - last} bytes after the last section")
    rsrc = out.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]]
    section = out.get_section_by_rva(rsrc.VirtualAddress)
    if section is None or not section.Characteristics & 0x40:
        problems.append("resource directory not in an initialised-data section")
    elif rsrc.VirtualAddress + rsrc.Size > section.VirtualAddress + section.Misc_VirtualSize:
        problems.append("resource directory size beyond its section")
    for w in out.get_warnings():
        if not w.startswith("Byte 0x"):  # a heuristic about repeated bytes in the test payloads
            problems.append("pefile: " + w)

    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
