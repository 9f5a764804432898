"""Writes the real-corpus product for the install benchmark: the x86-64 Windows
libraries that Debian's `wine` package installs, as one product.

    make_corpus_product.py DIR [COPIES]

The selection is fixed by the folder's contents alone: its `*.dll` files of at
most 20 MiB, in name order (byte order of the names), taken while the total
stays within 200 MiB. COPIES (default 1) puts that selection that many times
below files/, in folders copy0, copy1, ..., for a compressible product of about
COPIES x 200 MiB. Prints "files N bytes B" for the selection once. Exits with
status 3 and a message when the folder is missing or holds no such library.
ZEL_BENCH_CORPUS names another folder to take the libraries from."""
import os
import pathlib
import shutil
import sys

LIBRARIES = pathlib.Path(os.environ.get("ZEL_BENCH_CORPUS", "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"))
MIB = 1024 * 1024
LARGEST = 20 * MIB
TOTAL = 200 * MIB


def select(folder: pathlib.Path):
    """The corpus: (path, size) of each library taken, in name order."""
    chosen, total = [], 0
    for path in sorted(folder.glob("*.dll"), key=lambda p: p.name.encode()):
        if not path.is_file():
            continue
        size = path.stat().st_size
        if size > LARGEST:
            continue
        if total + size > TOTAL:
            break
        chosen.append((path, size))
        total += size
    return chosen


def main():
    root = pathlib.Path(sys.argv[1])
    copies = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    chosen = select(LIBRARIES) if LIBRARIES.is_dir() else []
    if not chosen:
        print(f"{LIBRARIES} is missing or holds no library of at most 20 MiB (install Debian's wine package)",
              file=sys.stderr)
        sys.exit(3)
    files = root / "files"
    for copy in range(copies):
        target = files / f"copy{copy}" if copies > 1 else files / "bin"
        target.mkdir(parents=True, exist_ok=True)
        for path, _ in chosen:
            # Copies, not links: the builder refuses links that lead outside the product.
            shutil.copyfile(path, target / path.name)
    (root / "setup.ini").write_text(
        "[Setup]\nAppName=Bench\nAppVersion=1.0.0\nDefaultInstallDir=C:\\Bench\nLicenseFile=License.txt\n"
        "[Files]\nFile1=*.*\n", encoding="utf-8")
    (root / "License.txt").write_text("Benchmark licence.\n", encoding="utf-8")
    print(f"files {len(chosen)} bytes {sum(size for _, size in chosen)}")


if __name__ == "__main__":
    main()
