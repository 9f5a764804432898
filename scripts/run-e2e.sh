#!/usr/bin/env bash
# Runs the end-to-end tests: builds the sample setup.exe with the native
# InstallerBuilder, then runs e2e_tests.exe under Wine on a private Xvfb in one
# fresh prefix, and exits with the tests' exit code.
#   scripts/run-e2e.sh WIN64_BUILD_DIR NATIVE_BUILD_DIR [GTEST_ARGS...]
# Environment (optional): ZEL_ARTIFACTS_DIR (screenshots, default
# WIN64_BUILD_DIR/e2e-artifacts), ZEL_RESULTS_DIR (JUnit XML of the run).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "${here}/.." && pwd)
. "${here}/lib/wine.sh"

[ $# -ge 2 ] || { echo "usage: $0 WIN64_BUILD_DIR NATIVE_BUILD_DIR [GTEST_ARGS...]" >&2; exit 2; }
win64=$(cd "$1" && pwd) || exit 2
native=$(cd "$2" && pwd) || exit 2
shift 2

tests_exe=${win64}/tests/e2e/e2e_tests.exe
stub=${win64}/src/app/InstallerCore.exe
app=${win64}/examples/App.exe
builder_native=${native}/tools/builder/InstallerBuilder
builder_win=${win64}/tools/builder/InstallerBuilder.exe
artifacts=${ZEL_ARTIFACTS_DIR:-${win64}/e2e-artifacts}
results=${ZEL_RESULTS_DIR:-}
for f in "${tests_exe}" "${stub}" "${app}" "${builder_native}"; do
    [ -f "${f}" ] || { echo "error: missing ${f} (build it first)" >&2; exit 2; }
done

# The sample product and its setup.exe, inside the build folder.
work=${win64}/e2e
product=${work}/sample
setup=${work}/setup.exe
rm -rf "${work}"
mkdir -p "${work}" "${artifacts}"
if ! ZEL_BUILDER="${builder_native}" ZEL_STUB="${stub}" ZEL_SAMPLE_APP="${app}" \
    ZEL_SAMPLE_COM="${win64}/examples/ZelSampleCom.dll" ZEL_SAMPLE_PRODUCT="${product}" \
    bash "${here}/build-sample.sh" "${setup}" >/dev/null; then
    echo "error: InstallerBuilder could not build the sample setup.exe" >&2
    exit 2
fi

# The same sample with compressed payloads.
deflate_setup=${work}/setup-deflate.exe
lzma_setup=${work}/setup-lzma.exe
if ! "${builder_native}" "${product}" -o "${deflate_setup}" --stub "${stub}" --compression=deflate >/dev/null 2>&1 ||
    ! "${builder_native}" "${product}" -o "${lzma_setup}" --stub "${stub}" --compression=lzma >/dev/null 2>&1; then
    echo "error: InstallerBuilder could not build the compressed samples" >&2
    exit 2
fi

# The sample setup.exe signed after building, with a throw-away self-signed
# certificate, as a packager signs it.
signed=${work}/signed-setup.exe
if openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=ZelSetup end-to-end test" \
        -keyout "${work}/sign-key.pem" -out "${work}/sign-cert.pem" >/dev/null 2>&1 &&
    osslsigncode sign -certs "${work}/sign-cert.pem" -key "${work}/sign-key.pem" -n "ZelSetup end-to-end test" \
        -in "${setup}" -out "${signed}" >/dev/null; then
    "${builder_native}" --list "${signed}" >"${work}/signed-list.txt"
else
    echo "warning: could not sign the sample (openssl, osslsigncode); the signed-install test is skipped" >&2
    signed=
fi

# A product with Japanese file and folder names, built here by the Linux builder
# and in the tests by InstallerBuilder.exe; its --list is what an install copies.
jp=${work}/jp-product
mkdir -p "${jp}/files/アプリ" "${jp}/files/資料/使い方" "${jp}/files/データ"
cp "${app}" "${jp}/files/アプリ/ビューア.exe"
printf '使用許諾の条項\r\n' > "${jp}/使用許諾.txt"
printf '説明書\r\n' > "${jp}/files/資料/説明書.txt"
printf '手順\r\n' > "${jp}/files/資料/使い方/はじめに.txt"
printf '<設定/>\r\n' > "${jp}/files/データ/設定.xml"
printf 'not installed\r\n' > "${jp}/files/データ/メモ.txt"
printf '%s\r\n' '[Setup]' 'AppName=日本語テスト製品' 'AppVersion=3.1.0' 'Publisher=ゼル株式会社' \
    'DefaultInstallDir=C:\Program Files\日本語テスト製品' 'LicenseFile=使用許諾.txt' 'Compression=deflate' \
    '[Files]' 'File1=アプリ\ビューア.exe' 'File2=資料\*' 'File3=データ\*.xml' \
    '[StartMenuItems]' 'Item1=説明書|資料\説明書.txt' > "${jp}/setup.ini"
jp_setup=${work}/jp-linux-setup.exe
jp_list=${work}/jp-list.txt
if ! "${builder_native}" "${jp}" -o "${jp_setup}" --stub "${stub}" 2>/dev/null ||
    ! "${builder_native}" --list "${jp}" >"${jp_list}" 2>/dev/null; then
    echo "error: InstallerBuilder could not build the Japanese product" >&2
    exit 2
fi

prefix=$(mktemp -d /tmp/zel-e2e-prefix.XXXXXX)
cleanup() {
    zel_wine_prefix_remove "${prefix}"
    zel_xvfb_stop
}
trap cleanup EXIT
zel_wine_pick || exit 2
zel_xvfb_start || exit 2
echo "== Wine prefix ${prefix}, display ${DISPLAY}" >&2
zel_wine_prefix_create "${prefix}"

winpath() { WINEPREFIX="${prefix}" zel_wine winepath -w "$1" 2>/dev/null; }
gtest_output=()
if [ -n "${results}" ]; then
    mkdir -p "${results}"
    gtest_output=("--gtest_output=xml:$(winpath "${results}/e2e_tests.xml")")
fi
builder_env=
[ -f "${builder_win}" ] && builder_env=$(winpath "${builder_win}")

# Programs the quiet-run tests start with no display at all: a test drops a
# command line into the folder as N.cmd; this loop runs it through
# e2e_nodisplay_runner.exe with DISPLAY unset, which writes N.exit.
nodisplay=${work}/nodisplay
mkdir -p "${nodisplay}"
runner=$(dirname "${tests_exe}")/e2e_nodisplay_runner.exe
(
    while :; do
        for request in "${nodisplay}"/*.cmd; do
            [ -e "${request}" ] || continue
            taken=${request%.cmd}.run
            mv "${request}" "${taken}"
            env -u DISPLAY WINEPREFIX="${prefix}" WINEDEBUG=-all "${ZEL_WINE}" "${runner}" "$(winpath "${taken}")" \
                >/dev/null 2>&1
        done
        sleep 0.1
    done
) &
nodisplay_loop=$!
trap 'kill ${nodisplay_loop} 2>/dev/null; cleanup' EXIT

echo "== running e2e_tests.exe" >&2
start=$(date +%s)
(cd "$(dirname "${tests_exe}")" &&
    ZEL_SETUP_EXE=$(winpath "${setup}") \
    ZEL_STUB_EXE=$(winpath "${stub}") \
    ZEL_BUILDER_EXE=${builder_env} \
    ZEL_SAMPLE_DIR=$(winpath "${product}") \
    ZEL_DEFLATE_SETUP_EXE=$(winpath "${deflate_setup}") \
    ZEL_LZMA_SETUP_EXE=$(winpath "${lzma_setup}") \
    ZEL_SIGNED_SETUP_EXE=$([ -n "${signed}" ] && winpath "${signed}") \
    ZEL_SIGNED_LIST=$([ -n "${signed}" ] && winpath "${work}/signed-list.txt") \
    ZEL_JP_PRODUCT_DIR=$(winpath "${jp}") \
    ZEL_JP_LINUX_SETUP_EXE=$(winpath "${jp_setup}") \
    ZEL_JP_LIST=$(winpath "${jp_list}") \
    ZEL_ARTIFACTS_DIR=$(winpath "${artifacts}") \
    ZEL_NODISPLAY_DIR=$(winpath "${nodisplay}") \
    timeout 900 env WINEPREFIX="${prefix}" WINEDEBUG=-all "${ZEL_WINE}" ./e2e_tests.exe "${gtest_output[@]}" "$@")
rc=$?
echo "== e2e_tests.exe exited with ${rc} after $(( $(date +%s) - start )) s" >&2

# What the screen shows at the end, and every step's picture as PNG.
import -window root "${artifacts}/screen-at-end.png" 2>/dev/null || true
for bmp in "${artifacts}"/*.bmp; do
    [ -f "${bmp}" ] || continue
    convert "${bmp}" "${bmp%.bmp}.png" 2>/dev/null && rm -f "${bmp}"
done
echo "== screenshots in ${artifacts}" >&2
exit ${rc}
