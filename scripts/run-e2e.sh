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
mkdir -p "${product}" "${artifacts}"
cp -r "${root}/examples/sample/." "${product}/"
cp "${app}" "${product}/files/App.exe"
mkdir -p "${product}/files/com"
cp "${win64}/examples/ZelSampleCom.dll" "${product}/files/com/ZelSampleCom.dll"
if ! "${builder_native}" "${product}" -o "${setup}" --stub "${stub}"; then
    echo "error: InstallerBuilder could not build the sample setup.exe" >&2
    exit 2
fi

prefix=$(mktemp -d /tmp/zel-e2e-prefix.XXXXXX)
cleanup() {
    zel_wine_prefix_remove "${prefix}"
    zel_xvfb_stop
}
trap cleanup EXIT
zel_xvfb_start || exit 2
echo "== Wine prefix ${prefix}, display ${DISPLAY}" >&2
zel_wine_prefix_create "${prefix}"

winpath() { WINEPREFIX="${prefix}" winepath -w "$1" 2>/dev/null; }
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
            env -u DISPLAY WINEPREFIX="${prefix}" WINEDEBUG=-all wine "${runner}" "$(winpath "${taken}")" \
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
    ZEL_ARTIFACTS_DIR=$(winpath "${artifacts}") \
    ZEL_NODISPLAY_DIR=$(winpath "${nodisplay}") \
    timeout 900 env WINEPREFIX="${prefix}" WINEDEBUG=-all wine ./e2e_tests.exe "${gtest_output[@]}" "$@")
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
