"""Writes a synthetic product folder for the benchmarks: setup.ini (UTF-8),
License.txt and files/.

    make_synthetic_product.py DIR [TOTAL_MB [FILES]] [--random]

Without FILES (or with 117): App.exe, one file of 110 MiB and 115 parts sharing
the rest, the shape of a desktop application with one large data file. With
another FILES count: App.exe and FILES - 1 equal parts, at most 100 per folder,
so that only the number of files changes between products of the same size.
TOTAL_MB 0 gives one tiny file. With --random every file holds pseudo-random
bytes (the same for the same arguments), which no codec shrinks; otherwise
repeated byte ramps, which every codec shrinks to almost nothing."""
import pathlib
import random
import sys

randomBytes = "--random" in sys.argv[1:]
args = [a for a in sys.argv[1:] if a != "--random"]
root = pathlib.Path(args[0])
total_mb = int(args[1]) if len(args) > 1 else 200
count = int(args[2]) if len(args) > 2 else 117
files = root / "files"
files.mkdir(parents=True, exist_ok=True)
selection = "File1=App.exe\n" if total_mb == 0 else "File1=App.exe\nFile2=Data\\*\n"
(root / "setup.ini").write_text(
    "[Setup]\nAppName=Bench\nAppVersion=1.0.0\nDefaultInstallDir=C:\\Bench\nLicenseFile=License.txt\n"
    "[Files]\n" + selection, encoding="utf-8")
(root / "License.txt").write_text("Benchmark licence.\n", encoding="utf-8")
MIB = 1024 * 1024


blocks = {}


def write(path: pathlib.Path, size: int, seed: int) -> None:
    path.parent.mkdir(parents=True, exist_ok=True)
    if randomBytes:
        generator = random.Random(seed)
        with open(path, "wb") as out:
            left = size
            while left > 0:
                n = min(left, MIB)
                out.write(generator.randbytes(n))
                left -= n
        return
    start = (seed * 31) & 0xFF
    if start not in blocks:
        blocks[start] = bytes([(start + i) & 0xFF for i in range(4096)]) * 256  # 1 MiB
    block = blocks[start]
    with open(path, "wb") as out:
        left = size
        while left > 0:
            n = min(left, len(block))
            out.write(block[:n])
            left -= n


if total_mb == 0:
    write(files / "App.exe", 4096, 2)
    sys.exit(0)
if count == 117:
    big = 110 * MIB
    write(files / "Data" / "big.bin", big, 1)
    write(files / "App.exe", 2 * MIB, 2)
    rest = total_mb * MIB - big - 2 * MIB
    for i in range(115):
        write(files / "Data" / f"set{i % 5}" / f"part{i:03}.dat", rest // 115, i + 3)
else:
    parts = count - 1
    write(files / "App.exe", 2 * MIB, 2)
    size = (total_mb * MIB - 2 * MIB) // parts
    for i in range(parts):
        write(files / "Data" / f"set{i // 100:04}" / f"part{i:05}.dat", size, i + 3)
