#!/usr/bin/python3
"""Checks the identity InstallerBuilder gives a setup.exe, with pefile as an
independent PE reader:
  check_identity.py OUTPUT STUB ICO|- KEY=VALUE...
- the version resource's strings include every KEY=VALUE given (UTF-8), and
  its fixed part's file and product version equal the one given as
  FIXED=a.b.c.d;
- with an .ico file: icon group 32512 lists exactly the file's images, in
  order, and each of its RT_ICON entries holds that image's bytes;
  without one (-): the stub's icon group and images are kept;
- every other resource of the stub is present with identical bytes, and
  nothing else was added besides the payload and its digests.
Exit status 0 when everything holds; each problem is printed."""
import struct
import sys

import pefile

RT_ICON, RT_RCDATA, RT_GROUP_ICON, RT_VERSION = 3, 10, 14, 16
PAYLOAD_ID, DIGESTS_ID, ICON_GROUP = 101, 102, 32512


def resources(pe):
    found = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                entry = lang.data.struct
                key = (t.name.decode() if t.name else t.id, n.name.decode() if n.name else n.id)
                found[key] = pe.get_data(entry.OffsetToData, entry.Size)
    return found


def ico_images(path):
    with open(path, "rb") as f:
        data = f.read()
    _, _, count = struct.unpack_from("<HHH", data, 0)
    images = []
    for i in range(count):
        w, h, colors, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        images.append(((w, h, colors, planes, bits, size), data[offset:offset + size]))
    return images


def group_entries(group):
    _, _, count = struct.unpack_from("<HHH", group, 0)
    entries = []
    for i in range(count):
        w, h, colors, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        entries.append(((w, h, colors, planes, bits, size), icon_id))
    return entries


def main():
    out_path, stub_path, ico_path = sys.argv[1:4]
    expected = dict(arg.split("=", 1) for arg in sys.argv[4:])
    fixed = expected.pop("FIXED", None)
    problems = []
    out = pefile.PE(out_path)
    stub = pefile.PE(stub_path)

    strings = {}
    for info in getattr(out, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({k.decode("utf-8"): v.decode("utf-8") for k, v in table.entries.items()})
    for key, value in expected.items():
        if strings.get(key) != value:
            problems.append(f"version string {key}: {strings.get(key)!r}, expected {value!r}")
    if fixed is not None:
        ffi = out.VS_FIXEDFILEINFO[0]
        numbers = [ffi.FileVersionMS >> 16, ffi.FileVersionMS & 0xFFFF, ffi.FileVersionLS >> 16,
                   ffi.FileVersionLS & 0xFFFF]
        product = [ffi.ProductVersionMS >> 16, ffi.ProductVersionMS & 0xFFFF, ffi.ProductVersionLS >> 16,
                   ffi.ProductVersionLS & 0xFFFF]
        want = [int(x) for x in fixed.split(".")]
        if numbers != want or product != want:
            problems.append(f"fixed version {numbers} / {product}, expected {want}")

    mine, theirs = resources(out), resources(stub)
    icon_keys = set()
    if ico_path != "-":
        group = mine.get((RT_GROUP_ICON, ICON_GROUP))
        if group is None:
            problems.append("icon group 32512 missing")
        else:
            entries = group_entries(group)
            images = ico_images(ico_path)
            if [e[0] for e in entries] != [i[0] for i in images]:
                problems.append(f"icon group entries {entries}, expected {[i[0] for i in images]}")
            for (_, icon_id), (_, data) in zip(entries, images):
                icon_keys.add((RT_ICON, icon_id))
                if mine.get((RT_ICON, icon_id)) != data:
                    problems.append(f"icon image {icon_id} differs from the .ico file's")
        old_group = theirs.get((RT_GROUP_ICON, ICON_GROUP))
        old_icons = {(RT_ICON, i) for _, i in group_entries(old_group)} if old_group else set()
        skip = old_icons | {(RT_GROUP_ICON, ICON_GROUP)}
        for key in mine:
            if key[0] == RT_ICON and key not in icon_keys and key not in theirs:
                problems.append(f"unexpected icon {key}")
    else:
        skip = set()
    # The payload and its digests are checked elsewhere (verify_pe.py).
    skip |= {(RT_VERSION, 1), (RT_RCDATA, PAYLOAD_ID), (RT_RCDATA, DIGESTS_ID)}
    for key, data in theirs.items():
        if key in skip:
            continue
        if key not in mine:
            problems.append(f"resource {key} of the stub missing")
        elif mine[key] != data:
            problems.append(f"resource {key} of the stub changed")
    for key in mine:
        if key not in theirs and key not in icon_keys and key not in skip:
            problems.append(f"unexpected resource {key}")
    if out.OPTIONAL_HEADER.CheckSum != out.generate_checksum():
        problems.append("checksum")

    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
