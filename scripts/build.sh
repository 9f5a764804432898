#!/usr/bin/env bash
# Configures and builds the trees the project uses:
#   native          Linux, Debug, ASan + UBSan: portable code, InstallerBuilder, native tests
#   native-release  Linux, Release: the InstallerBuilder used to make setup.exe and benchmarks
#   win64           mingw-w64: InstallerCore.exe (setup.exe stub), InstallerBuilder.exe, Windows tests
#   fuzz            clang + libFuzzer targets
# Usage: scripts/build.sh [PRESET...]   (default: native-release win64)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "${root}"
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native-release win64)
jobs=${ZEL_JOBS:-$(nproc)}
for preset in "${presets[@]}"; do
    echo "== build ${preset}" >&2
    cmake --preset "${preset}" >/dev/null
    cmake --build --preset "${preset}" -j "${jobs}"
done
