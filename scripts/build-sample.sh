#!/usr/bin/env bash
# Assembles the sample product folder (examples/sample plus the App.exe built from
# examples/sample_app, and the COM library ZelSampleCom.dll) and turns it into setup.exe with InstallerBuilder.
# Usage: scripts/build-sample.sh [OUTPUT.exe]   (default: build/sample/setup.exe)
# Environment (optional): ZEL_BUILDER, ZEL_STUB, ZEL_SAMPLE_APP, ZEL_SAMPLE_COM (the
# programs used, default: those in build/), ZEL_SAMPLE_PRODUCT (where the product
# folder is assembled, default: build/sample/product). The last line printed is OUTPUT.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-${root}/build/sample/setup.exe}
builder=${ZEL_BUILDER:-${root}/build/native-release/tools/builder/InstallerBuilder}
stub=${ZEL_STUB:-${root}/build/win64/src/app/InstallerCore.exe}
app=${ZEL_SAMPLE_APP:-${root}/build/win64/examples/App.exe}
com=${ZEL_SAMPLE_COM:-${root}/build/win64/examples/ZelSampleCom.dll}

product=${ZEL_SAMPLE_PRODUCT:-${root}/build/sample/product}
rm -rf "${product}"
mkdir -p "${product}"
cp -r "${root}/examples/sample/." "${product}/"
cp "${app}" "${product}/files/App.exe"
mkdir -p "${product}/files/com"
cp "${com}" "${product}/files/com/ZelSampleCom.dll"
mkdir -p "$(dirname "${out}")"
"${builder}" "${product}" -o "${out}" --stub "${stub}"
echo "${out}"
