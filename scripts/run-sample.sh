#!/usr/bin/env bash
# The main job: installs what is missing, builds only what the sample needs
# (InstallerBuilder, the InstallerCore.exe stub, the sample's App.exe and COM
# library), builds the sample product's setup.exe with InstallerBuilder and
# starts it under Wine. With $DISPLAY set the wizard opens there and the script
# ends when it is closed; without one it runs on a private virtual X server,
# saves a screenshot of the first dialog as build/sample/setup-screenshot.png
# and ends the program. The Wine prefix is build/sample/wine-prefix, made anew
# each run (scripts/try-setup.sh keeps one to try things in).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "${root}"
bash scripts/install-deps.sh
jobs=${ZEL_JOBS:-$(nproc)}
echo "== building InstallerBuilder (native-release)" >&2
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j "${jobs}" --target InstallerBuilder
echo "== building InstallerCore.exe, App.exe and ZelSampleCom.dll (win64)" >&2
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "${jobs}" --target InstallerCore sample_app sample_com
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
