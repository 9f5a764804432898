#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test layer:
#   1. native unit tests of the portable code (ASan + UBSan)
#   2. Windows tests under Wine against the real Win32 API
#   3. end-to-end tests of the real setup.exe under Wine + Xvfb
#   4. short libFuzzer runs of the parsers
# Results (JUnit XML) and artefacts (screenshots) go to build/test-results and
# build/artifacts. Exits non-zero when anything failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "${root}"
fuzz_seconds=${ZEL_FUZZ_SECONDS:-45}
results=${root}/build/test-results
artifacts=${root}/build/artifacts
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

# Whatever way the run ends (failure, Ctrl-C, a killed build), the Wine prefix
# of layer 2 and its wineserver, and the private Xvfb, do not outlive it.
. scripts/lib/wine.sh
prefix=
cleanup() {
    [ -n "${prefix}" ] && zel_wine_prefix_remove "${prefix}"
    zel_xvfb_stop
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

bash scripts/install-deps.sh || exit 1
bash scripts/build.sh native native-release win64 fuzz || exit 1

echo "== formatting (clang-format --dry-run -Werror)" >&2
git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror || fail "formatting (run clang-format -i on the files named above)"

rm -rf "${results}" "${artifacts}"
mkdir -p "${results}/native" "${results}/windows" "${results}/e2e" "${artifacts}"
stub=${root}/build/win64/src/app/InstallerCore.exe

echo "== layer 1: native tests" >&2
for exe in build/native/tests/native_*_tests; do
    [ -x "${exe}" ] || continue
    name=$(basename "${exe}")
    ZEL_STUB_EXE="${stub}" ZEL_SOURCE_DIR="${root}" timeout 900 "${exe}" \
        --gtest_output="xml:${results}/native/${name}.xml" || fail "${name}"
done

echo "== layer 2: Windows tests under Wine" >&2
prefix=$(mktemp -d /tmp/zel-test-prefix.XXXXXX)
zel_xvfb_start || exit 1
zel_wine_prefix_create "${prefix}"
for exe in build/win64/tests/windows_*_tests.exe; do
    [ -f "${exe}" ] || continue
    name=$(basename "${exe}" .exe)
    xml=$(WINEPREFIX="${prefix}" winepath -w "${results}/windows/${name}.xml")
    art=$(WINEPREFIX="${prefix}" winepath -w "${artifacts}")
    (cd "$(dirname "${exe}")" && ZEL_ARTIFACTS_DIR="${art}" timeout 900 \
        env WINEPREFIX="${prefix}" WINEDEBUG=-all wine "./$(basename "${exe}")" --gtest_output="xml:${xml}") \
        || fail "${name}"
done
zel_wine_prefix_remove "${prefix}"

# The dialog look again at 144 DPI: fonts scale, the painted band keeps its pixels.
if [ -f build/win64/tests/windows_ui_tests.exe ]; then
    zel_wine_prefix_create "${prefix}" 144
    xml=$(WINEPREFIX="${prefix}" winepath -w "${results}/windows/windows_ui_tests_144dpi.xml")
    mkdir -p "${artifacts}/144dpi"
    art=$(WINEPREFIX="${prefix}" winepath -w "${artifacts}/144dpi")
    (cd build/win64/tests && ZEL_ARTIFACTS_DIR="${art}" timeout 900 \
        env WINEPREFIX="${prefix}" WINEDEBUG=-all wine ./windows_ui_tests.exe --gtest_output="xml:${xml}") \
        || fail "windows_ui_tests (144 DPI)"
    zel_wine_prefix_remove "${prefix}"
fi
prefix=
zel_xvfb_stop

echo "== layer 3: end-to-end tests" >&2
if [ -f scripts/run-e2e.sh ]; then
    ZEL_RESULTS_DIR="${results}/e2e" ZEL_ARTIFACTS_DIR="${artifacts}" \
        timeout 1500 bash scripts/run-e2e.sh build/win64 build/native-release || fail "e2e"
fi

echo "== layer 4: fuzzing (${fuzz_seconds} s per target)" >&2
for exe in build/fuzz/tests/*_fuzz; do
    [ -x "${exe}" ] || continue
    name=$(basename "${exe}")
    corpus=build/fuzz/corpus-${name}
    mkdir -p "${corpus}"
    seeds=()
    [ -d "tests/fuzz/seeds/${name}" ] && seeds+=("tests/fuzz/seeds/${name}")
    dict=()
    [ -f "tests/fuzz/${name}.dict" ] && dict+=("-dict=tests/fuzz/${name}.dict")
    if [ "${name}" = pe_stub_fuzz ]; then
        cp "${stub}" "${corpus}/stub.exe"
    fi
    if timeout $((fuzz_seconds + 120)) "${exe}" -max_total_time="${fuzz_seconds}" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="${artifacts}/${name}-" "${dict[@]}" "${corpus}" "${seeds[@]}" >"${results}/${name}.log" 2>&1; then
        echo "<testsuites><testsuite name=\"${name}\" tests=\"1\" failures=\"0\"><testcase name=\"fuzz\"/></testsuite></testsuites>" \
            > "${results}/${name}.xml"
    else
        tail -n 40 "${results}/${name}.log" >&2
        echo "<testsuites><testsuite name=\"${name}\" tests=\"1\" failures=\"1\"><testcase name=\"fuzz\"><failure/></testcase></testsuite></testsuites>" \
            > "${results}/${name}.xml"
        fail "${name}"
    fi
done

# Screenshots as PNG, so that a person can look at them anywhere.
find "${artifacts}" -name '*.bmp' -print0 | while IFS= read -r -d '' bmp; do
    convert "${bmp}" "${bmp%.bmp}.png" && rm -f "${bmp}"
done
echo "screenshots: ${artifacts}" >&2

python3 scripts/lib/summarize_results.py "${results}" || fail "summary"
if [ "${failures}" -ne 0 ]; then
    echo "${failures} test program(s) failed" >&2
    exit 1
fi
exit 0
