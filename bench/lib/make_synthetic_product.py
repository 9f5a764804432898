"""Writes a synthetic product folder of about 200 MB for the benchmarks:
setup.ini (UTF-8), License.txt and files/ with 116 files, one of them over 100 MB."""
import os
import pathlib
import sys

root = pathlib.Path(sys.argv[1])
total_mb = int(sys.argv[2]) if len(sys.argv) > 2 else 200
files = root / "files"
files.mkdir(parents=True, exist_ok=True)
(root / "setup.ini").write_text(
    "[Setup]\nAppName=Bench\nAppVersion=1.0.0\nDefaultInstallDir=C:\\Bench\nLicenseFile=License.txt\n"
    "[Files]\nFile1=App.exe\nFile2=Data\\*\n", encoding="utf-8")
(root / "License.txt").write_text("Benchmark licence.\n", encoding="utf-8")

def write(path: pathlib.Path, size: int, seed: int) -> None:
    path.parent.mkdir(parents=True, exist_ok=True)
    block = (bytes([(seed * 31 + i) & 0xFF for i in range(4096)])) * 256  # 1 MiB
    with open(path, "wb") as out:
        left = size
        while left > 0:
            n = min(left, len(block))
            out.write(block[:n])
            left -= n

big = 110 * 1024 * 1024
write(files / "Data" / "big.bin", big, 1)
write(files / "App.exe", 2 * 1024 * 1024, 2)
rest = total_mb * 1024 * 1024 - big - 2 * 1024 * 1024
count = 115
for i in range(count):
    write(files / "Data" / f"set{i % 5}" / f"part{i:03}.dat", rest // count, i + 3)
