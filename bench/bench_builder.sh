#!/usr/bin/env bash
# InstallerBuilder benchmark with a ~200 MB synthetic product (117 entries, one
# file over 100 MB): wall time against `cat` of the same files into one file,
# and InstallerBuilder's peak resident memory against the largest file.
# Targets: within 1.5x of cat; peak memory at most the largest file plus a few MB.
# Usage: bench/bench_builder.sh [--builder PATH] [--stub PATH] [--size-mb N] [--runs N] [--corpus]
#                               [--compression METHOD]
#   --builder      a Release InstallerBuilder (default: built in build/native-release)
#   --stub         InstallerCore.exe (default: $ZEL_STUB_EXE, else build/win64/src/app/InstallerCore.exe)
#   --corpus       the real corpus (bench/lib/make_corpus_product.py) instead of the synthetic product
#   --compression  passed to the builder; the targets against cat hold for stored payloads only
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
builder=
stub=${ZEL_STUB_EXE:-${root}/build/win64/src/app/InstallerCore.exe}
size_mb=200
runs=3
corpus=0
compression=
while [ $# -gt 0 ]; do
    case $1 in
        --builder) builder=$2; shift 2 ;;
        --stub) stub=$2; shift 2 ;;
        --size-mb) size_mb=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --corpus) corpus=1; shift ;;
        --compression) compression=$2; shift 2 ;;
        -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
        *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
[ -f "${stub}" ] || { echo "error: no stub at ${stub}; build the win64 preset or pass --stub" >&2; exit 1; }
if [ -z "${builder}" ]; then
    build=${root}/build/native-release
    [ -f "${build}/CMakeCache.txt" ] || cmake --preset native-release -S "${root}" >/dev/null
    cmake --build "${build}" -j2 --target InstallerBuilder >/dev/null
    builder=${build}/tools/builder/InstallerBuilder
fi

work=$(mktemp -d /tmp/zel-bench-builder.XXXXXX)
trap 'rm -rf "${work}"' EXIT
if [ "${corpus}" = 1 ]; then
    python3 "${root}/bench/lib/make_corpus_product.py" "${work}/product"
else
    python3 "${root}/bench/lib/make_synthetic_product.py" "${work}/product" "${size_mb}"
fi

python3 - "${builder}" "${stub}" "${work}" "${runs}" "${compression}" <<'PY'
import os, subprocess, sys, time

builder, stub, work, runs, compression = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5]
options = [f"--compression={compression}"] if compression else []
product = os.path.join(work, "product")
files = [os.path.join(product, "setup.ini"), os.path.join(product, "License.txt")]
for folder, _, names in os.walk(os.path.join(product, "files")):
    files += [os.path.join(folder, n) for n in names]
files.sort()
largest = max(os.path.getsize(f) for f in files)
total = sum(os.path.getsize(f) for f in files)

def run(argv, stdout):
    """Wall time and peak resident set (KiB) of one child process."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=stdout, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.perf_counter() - start
    err = child.stderr.read().decode(errors="replace")
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"{argv[0]} failed ({child.returncode}): {err}")
    return seconds, usage.ru_maxrss

out_cat = os.path.join(work, "cat.bin")
out_exe = os.path.join(work, "setup.exe")
for f in files:  # warm the page cache so that both read from memory
    with open(f, "rb") as src:
        while src.read(1 << 20):
            pass
cat_times, builder_times, builder_rss = [], [], []
for _ in range(runs):
    with open(out_cat, "wb") as out:
        cat_times.append(run(["cat"] + files, out)[0])
    os.remove(out_cat)
    seconds, rss = run([builder, product, "-o", out_exe, "--stub", stub] + options, subprocess.DEVNULL)
    builder_times.append(seconds)
    builder_rss.append(rss)
    size = os.path.getsize(out_exe)
    os.remove(out_exe)

median = lambda xs: sorted(xs)[len(xs) // 2]
cat_s, builder_s = median(cat_times), median(builder_times)
rss_mib = max(builder_rss) / 1024
largest_mib = largest / (1 << 20)
ratio = builder_s / cat_s
print(f"payload:        {len(files)} files, {total / (1 << 20):.1f} MiB, largest {largest_mib:.1f} MiB")
print(f"setup.exe:      {size / (1 << 20):.1f} MiB" + (f" (--compression={compression})" if compression else ""))
print(f"cat:            {cat_s:.3f} s (median of {runs})")
print(f"InstallerBuilder: {builder_s:.3f} s (median of {runs}), ratio to cat {ratio:.2f} "
      f"({'within' if ratio <= 1.5 else 'OVER'} the 1.5x target)")
print(f"peak RSS:       {rss_mib:.1f} MiB ({'within' if rss_mib <= largest_mib + 8 else 'OVER'} "
      f"the largest file + 8 MiB = {largest_mib + 8:.1f} MiB)")
PY
