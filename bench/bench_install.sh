#!/usr/bin/env bash
# Install benchmark under Wine, with a ~200 MB synthetic product:
#   extraction   time from starting setup.exe until the wizard window exists,
#                against floor_extract.exe (map the payload once, one WriteFile per entry);
#   install copy time from pressing Install until the install folder holds all payload bytes,
#                against floor_copy.exe (one CopyFileW per file);
#   cp -r        of the same files on Linux, for scale;
#   peak working set of setup.exe.
# Usage: bench/bench_install.sh   (after scripts/build.sh native-release win64)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "${root}/scripts/lib/wine.sh"
work=$(mktemp -d /tmp/zel-bench-install.XXXXXX)
prefix=${work}/prefix
cleanup() {
    zel_wine_prefix_remove "${prefix}"
    zel_xvfb_stop
    rm -rf "${work}"
}
trap cleanup EXIT

python3 "${root}/bench/lib/make_synthetic_product.py" "${work}/product" 200
"${root}/build/native-release/tools/builder/InstallerBuilder" "${work}/product" -o "${work}/setup.exe" \
    --stub "${root}/build/win64/src/app/InstallerCore.exe"
[ -n "${DISPLAY:-}" ] || zel_xvfb_start
zel_wine_prefix_create "${prefix}"
w() { WINEPREFIX="${prefix}" winepath -w "$1"; }
bin=${root}/build/win64/bench/wine
mkdir -p "${work}/scratch"
WINEPREFIX="${prefix}" WINEDEBUG=${ZEL_BENCH_WINEDEBUG:--all} wine "${bin}/bench_setup.exe" "$(w "${work}/setup.exe")" 'C:\BenchInstall' \
    "$(w "${bin}/floor_extract.exe")" "$(w "${bin}/floor_copy.exe")" "$(w "${work}/scratch")" | tr -d '\r' > "${work}/wine.txt"
start=$(date +%s.%N)
cp -r "${work}/product/files" "${work}/cp-copy"
end=$(date +%s.%N)
python3 - "${work}/wine.txt" "${start}" "${end}" <<'PY'
import sys
values = dict(line.split() for line in open(sys.argv[1]) if line.strip())
v = {k: float(x) for k, x in values.items()}
cp = float(sys.argv[3]) - float(sys.argv[2])
print(f"extraction:   setup.exe {v['setup_extract_seconds']:.2f} s, floor {v['floor_extract_seconds']:.2f} s, "
      f"ratio {v['setup_extract_seconds'] / v['floor_extract_seconds']:.2f} (target <= 1.2)")
print(f"install copy: setup.exe {v['setup_copy_seconds']:.2f} s, floor {v['floor_copy_seconds']:.2f} s, "
      f"ratio {v['setup_copy_seconds'] / v['floor_copy_seconds']:.2f} (target <= 1.2)")
print(f"  floor copying from setup.exe's own extraction folder: {v['floor_copy_from_setup_temp_seconds']:.2f} s")
print(f"whole install run: {v['setup_install_run_seconds']:.2f} s; cp -r on Linux: {cp:.2f} s")
print(f"setup.exe peak working set: {v['setup_peak_working_set_bytes'] / 1048576:.1f} MiB")
PY
