#!/usr/bin/env bash
# The main job: installs what is missing, builds, builds the sample product's
# setup.exe with InstallerBuilder and starts it under Wine. On $DISPLAY when set;
# otherwise on a private virtual X server, where a screenshot of the first dialog
# is saved as build/sample/setup-screenshot.png and the program is then ended.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "${root}"
bash scripts/install-deps.sh
bash scripts/build.sh native-release win64
setup=$(bash scripts/build-sample.sh | tail -n 1)

. scripts/lib/wine.sh
zel_wine_pick
prefix=${root}/build/sample/wine-prefix
headless=
if [ -z "${DISPLAY:-}" ]; then
    headless=1
    zel_xvfb_start
fi
cleanup() {
    WINEPREFIX="${prefix}" wineserver -k 2>/dev/null || true
    zel_xvfb_stop
}
trap cleanup EXIT
echo "== creating Wine prefix ${prefix}" >&2
zel_wine_prefix_create "${prefix}"

if [ -z "${headless}" ]; then
    echo "== starting ${setup}" >&2
    set +e
    zel_wine_run "${prefix}" "${setup}"
    rc=$?
    set -e
    echo "setup.exe exited with ${rc}" >&2
    exit ${rc}
fi

echo "== starting ${setup} on virtual display ${DISPLAY}" >&2
zel_wine_run "${prefix}" "${setup}" &
wine_pid=$!
for _ in $(seq 1 60); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"セットアップ"\|"メンテナンス"\|"Setup"'; then
        break
    fi
    sleep 0.5
done
sleep 2
shot=${root}/build/sample/setup-screenshot.png
import -window root "${shot}"
echo "screenshot: ${shot}" >&2
WINEPREFIX="${prefix}" wineserver -k 2>/dev/null || true
wait "${wine_pid}" 2>/dev/null || true
