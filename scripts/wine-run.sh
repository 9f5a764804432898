#!/usr/bin/env bash
# Runs one Windows program in a fresh throw-away Wine prefix (fonts mapped for
# Japanese text), on $DISPLAY or on a private Xvfb, and exits with its exit code.
#   scripts/wine-run.sh [--keep PREFIX_DIR] [--dpi N] PROGRAM.exe [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "${here}/lib/wine.sh"
zel_wine_pick

keep=
dpi=96
while [ $# -gt 0 ]; do
    case $1 in
        --keep) keep=$2; shift 2 ;;
        --dpi) dpi=$2; shift 2 ;;
        -h|--help) sed -n '2,4p' "$0"; exit 0 ;;
        *) break ;;
    esac
done
[ $# -ge 1 ] || { echo "usage: $0 [--keep DIR] [--dpi N] PROGRAM.exe [ARGS...]" >&2; exit 2; }

prefix=${keep:-$(mktemp -d /tmp/zel-wine.XXXXXX)}
cleanup() {
    [ -n "${keep}" ] || zel_wine_prefix_remove "${prefix}"
    zel_xvfb_stop
}
trap cleanup EXIT
[ -n "${DISPLAY:-}" ] || zel_xvfb_start
zel_wine_prefix_create "${prefix}" "${dpi}"
set +e
zel_wine_run "${prefix}" "$@"
rc=$?
set -e
exit ${rc}
