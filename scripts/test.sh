#!/usr/bin/env bash
# Installs what is missing, builds what the chosen layers need and runs them:
#   format   clang-format --dry-run over every tracked .cpp/.h, and the
#            include graph's order (scripts/lib/check_layers.py)
#   native   native unit tests of the portable code (ASan + UBSan)
#   windows  Windows tests under Wine against the real Win32 API
#   e2e      end-to-end tests of the real setup.exe under Wine + Xvfb
#   fuzz     short libFuzzer runs of the parsers
#   package  the release packages: reproducible, and each builds and installs
#            the sample without --stub (tests/package/package_test.sh)
# Usage: scripts/test.sh [LAYER...] [-- TEST_ARGS...]
#   no LAYER runs all of them (as CI does); TEST_ARGS go to every GoogleTest
#   program run, e.g. scripts/test.sh e2e -- --gtest_filter='Quiet*'
# Results (JUnit XML) and artefacts (screenshots) go to build/test-results and
# build/artifacts. Ends with one line "summary: N passed, N failed, N skipped"
# and exits non-zero when anything failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "${root}"
fuzz_seconds=${ZEL_FUZZ_SECONDS:-45}
results=${root}/build/test-results
artifacts=${root}/build/artifacts
all_layers=(format native windows e2e fuzz package)

usage() {
    echo "usage: $0 [format|native|windows|e2e|fuzz|package...] [-- TEST_ARGS...]" >&2
    exit 2
}
layers=()
test_args=()
while [ $# -gt 0 ]; do
    case $1 in
        --) shift; test_args=("$@"); break ;;
        format|native|windows|e2e|fuzz|package) layers+=("$1"); shift ;;
        -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
        *) echo "unknown layer: $1" >&2; usage ;;
    esac
done
[ ${#layers[@]} -gt 0 ] || layers=("${all_layers[@]}")
wants() {
    local layer
    for layer in "${layers[@]}"; do [ "${layer}" = "$1" ] && return 0; done
    return 1
}

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

# Whatever way the run ends (failure, Ctrl-C, a killed build), the Wine prefix
# of the Windows layer and its wineserver, and the private Xvfb, do not outlive it.
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
presets=()
wants native && presets+=(native)
{ wants e2e || wants package; } && presets+=(native-release)
{ wants windows || wants e2e || wants package; } && presets+=(win64)
wants fuzz && presets+=(fuzz)
if [ ${#presets[@]} -gt 0 ]; then
    bash scripts/build.sh "${presets[@]}" || exit 1
fi

rm -rf "${results}" "${artifacts}"
mkdir -p "${results}" "${artifacts}"
stub=${root}/build/win64/src/app/InstallerCore.exe

if wants format; then
    echo "== formatting (clang-format --dry-run -Werror)" >&2
    git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror ||
        fail "formatting (run clang-format -i on the files named above)"
    echo "== include order (scripts/lib/check_layers.py)" >&2
    python3 scripts/lib/check_layers.py || fail "include order (an include named above runs back up)"
fi

if wants native; then
    echo "== native tests" >&2
    mkdir -p "${results}/native"
    # The tests that read the built InstallerCore.exe skip when it is not built.
    stub_env=()
    if [ -f "${stub}" ]; then
        stub_env=(ZEL_STUB_EXE="${stub}")
    else
        echo "note: ${stub} is not built (scripts/build.sh win64); the tests that read it skip" >&2
    fi
    for exe in build/native/tests/native_*_tests; do
        [ -x "${exe}" ] || continue
        name=$(basename "${exe}")
        env "${stub_env[@]}" ZEL_SOURCE_DIR="${root}" timeout 900 "${exe}" \
            --gtest_output="xml:${results}/native/${name}.xml" "${test_args[@]}" || fail "${name}"
    done
fi

# run_windows_tests NAME ARTIFACTS_DIR PROGRAM: runs one Windows test program
# in the prefix; its JUnit file is named NAME.
run_windows_tests() {
    local name=$1 exe=$3 art xml
    mkdir -p "$2"
    xml=$(WINEPREFIX="${prefix}" zel_wine winepath -w "${results}/windows/${name}.xml")
    art=$(WINEPREFIX="${prefix}" zel_wine winepath -w "$2")
    (cd "$(dirname "${exe}")" && ZEL_ARTIFACTS_DIR="${art}" timeout 900 \
        env WINEPREFIX="${prefix}" WINEDEBUG=-all "${ZEL_WINE}" "./$(basename "${exe}")" \
        --gtest_output="xml:${xml}" "${test_args[@]}") || fail "${name}"
}

if wants windows; then
    echo "== Windows tests under Wine" >&2
    zel_wine_pick || exit 1
    mkdir -p "${results}/windows"
    prefix=$(mktemp -d /tmp/zel-test-prefix.XXXXXX)
    zel_xvfb_start || exit 1
    zel_wine_prefix_create "${prefix}"
    for exe in build/win64/tests/windows_*_tests.exe; do
        [ -f "${exe}" ] || continue
        run_windows_tests "$(basename "${exe}" .exe)" "${artifacts}" "${exe}"
    done
    zel_wine_prefix_remove "${prefix}"

    # The dialog look again at 144 DPI: fonts scale, the painted band keeps its pixels.
    if [ -f build/win64/tests/windows_ui_tests.exe ]; then
        zel_wine_prefix_create "${prefix}" 144
        run_windows_tests windows_ui_tests_144dpi "${artifacts}/144dpi" build/win64/tests/windows_ui_tests.exe
        zel_wine_prefix_remove "${prefix}"
    fi
    prefix=
    zel_xvfb_stop
fi

if wants e2e; then
    echo "== end-to-end tests" >&2
    ZEL_RESULTS_DIR="${results}/e2e" ZEL_ARTIFACTS_DIR="${artifacts}" \
        timeout 1500 bash scripts/run-e2e.sh build/win64 build/native-release "${test_args[@]}" || fail "e2e"
fi

if wants fuzz; then
    echo "== fuzzing (${fuzz_seconds} s per target)" >&2
    for exe in build/fuzz/tests/*_fuzz; do
        [ -x "${exe}" ] || continue
        name=$(basename "${exe}")
        corpus=build/fuzz/corpus-${name}
        mkdir -p "${corpus}"
        seeds=()
        [ -d "tests/fuzz/seeds/${name}" ] && seeds+=("tests/fuzz/seeds/${name}")
        dict=()
        [ -f "tests/fuzz/${name}.dict" ] && dict+=("-dict=tests/fuzz/${name}.dict")
        if [ "${name}" = pe_stub_fuzz ] && [ -f "${stub}" ]; then
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
fi

if wants package; then
    echo "== release packages" >&2
    timeout 900 bash tests/package/package_test.sh "${results}/package" || fail "package"
fi

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
