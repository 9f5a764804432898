#!/usr/bin/env bash
# Runs one Windows test program the way ctest needs it (ctest --preset win64):
# in a throw-away Wine prefix on a private Xvfb, both made for this run alone and
# removed afterwards, so that runs side by side (ctest -j) do not meet. The
# program starts in its own folder; screenshots go to ZEL_ARTIFACTS_DIR (default:
# artifacts/ next to the program). Exits with the program's exit code.
#   scripts/lib/wine-test.sh PROGRAM.exe [ARGS...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "${here}/wine.sh"

[ $# -ge 1 ] || { echo "usage: $0 PROGRAM.exe [ARGS...]" >&2; exit 2; }
[ -f "$1" ] || { echo "error: no such program: $1" >&2; exit 2; }
folder=$(cd "$(dirname "$1")" && pwd)
program=$(basename "$1")
shift
artifacts=${ZEL_ARTIFACTS_DIR:-${folder}/artifacts}
mkdir -p "${artifacts}"

zel_wine_pick || exit 1
prefix=$(mktemp -d /tmp/zel-wine-test.XXXXXX)
cleanup() {
    zel_wine_prefix_remove "${prefix}"
    zel_xvfb_stop
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
zel_xvfb_start || exit 1
zel_wine_prefix_create "${prefix}"
art=$(WINEPREFIX="${prefix}" zel_wine winepath -w "${artifacts}" 2>/dev/null)
# A time limit below ctest's, so that a hanging program still leaves through cleanup.
cd "${folder}" &&
    ZEL_ARTIFACTS_DIR="${art}" timeout "${ZEL_TEST_TIMEOUT:-900}" \
        env WINEPREFIX="${prefix}" WINEDEBUG=-all "${ZEL_WINE}" "./${program}" "$@"
