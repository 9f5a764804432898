#!/usr/bin/env bash
# Runs a setup.exe (its wizard, or /quiet and other switches passed through)
# in a named Wine prefix that stays, with the dialog fonts mapped to a Japanese
# font, and prints where the prefix is and how to look at the files, shortcuts
# and registry entries the run left. Running it again with the same name
# updates, repairs or removes the product in the same prefix.
#   scripts/try-setup.sh SETUP.exe [--prefix NAME|DIR] [-- SETUP_ARGS...]
#   scripts/try-setup.sh build/sample/setup.exe                       # the wizard, on $DISPLAY
#   scripts/try-setup.sh setup.exe --prefix quiet -- /quiet /log 'C:\setup.log'
# NAME (default: try) is a folder below ${ZEL_TRY_PREFIXES:-~/.local/share/zelsetup/prefixes};
# a value with a "/" is the prefix folder itself. Exits with setup.exe's exit code.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "${here}/lib/wine.sh"

usage() {
    echo "usage: $0 SETUP.exe [--prefix NAME|DIR] [-- SETUP_ARGS...]" >&2
    exit 2
}
setup=
name=try
while [ $# -gt 0 ]; do
    case $1 in
        --prefix) [ $# -ge 2 ] || usage; name=$2; shift 2 ;;
        --) shift; break ;;
        -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
        *) [ -z "${setup}" ] || usage; setup=$1; shift ;;
    esac
done
[ -n "${setup}" ] || usage
[ -f "${setup}" ] || { echo "error: ${setup} is not a file" >&2; exit 2; }
setup=$(cd "$(dirname "${setup}")" && pwd)/$(basename "${setup}")

case ${name} in
    */*) prefix=${name} ;;
    *) prefix=${ZEL_TRY_PREFIXES:-${XDG_DATA_HOME:-${HOME}/.local/share}/zelsetup/prefixes}/${name} ;;
esac
mkdir -p "$(dirname "${prefix}")"
prefix=$(cd "$(dirname "${prefix}")" && pwd)/$(basename "${prefix}")

quiet=
for arg in "$@"; do
    case ${arg,,} in /quiet|-quiet) quiet=1 ;; esac
done
if [ -z "${quiet}" ] && [ -z "${DISPLAY:-}" ]; then
    echo "error: no display for the wizard: set DISPLAY, or run it unattended: $0 ${setup} -- /quiet" >&2
    exit 2
fi

zel_wine_pick
if [ -f "${prefix}/system.reg" ]; then
    echo "== using the Wine prefix ${prefix}" >&2
elif [ ! -e "${prefix}" ] || [ -z "$(ls -A "${prefix}")" ]; then
    echo "== creating the Wine prefix ${prefix} (fonts mapped to Noto Sans CJK JP)" >&2
    zel_wine_prefix_create "${prefix}"
else
    echo "error: ${prefix} holds files but is no Wine prefix; name another one with --prefix" >&2
    exit 2
fi

echo "== running ${setup} $*" >&2
set +e
if [ -n "${quiet}" ]; then
    # No window at all: a quiet run must not need a display.
    env -u DISPLAY WINEPREFIX="${prefix}" WINEDEBUG="${WINEDEBUG:--all}" "${ZEL_WINE}" "${setup}" "$@"
else
    zel_wine_run "${prefix}" "${setup}" "$@"
fi
rc=$?
set -e
WINEPREFIX="${prefix}" wineserver -w 2>/dev/null || true

uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
wine_cmd="WINEPREFIX='${prefix}' ${ZEL_WINE}"
# Where the products of this prefix are installed, from the 64-bit view of the
# Uninstall key. reg query writes in the console's code page (Japanese names
# become "?"); reg export writes UTF-16, which keeps them.
exported=${prefix}/zel-try-uninstall.reg
rm -f "${exported}"
WINEPREFIX="${prefix}" WINEDEBUG=-all "${ZEL_WINE}" reg export "${uninstall}" \
    "$(WINEPREFIX="${prefix}" WINEDEBUG=-all "${ZEL_WINE}" winepath -w "${exported}" 2>/dev/null)" /reg:64 /y \
    >/dev/null 2>&1 || true
installed=
if [ -f "${exported}" ]; then
    installed=$(iconv -f UTF-16LE -t UTF-8 "${exported}" | tr -d '\r' |
        sed -n 's/^"InstallLocation"="\(.*\)"$/\1/p' | sed 's/\\\\/\\/g')
fi
cat <<EOF

setup.exe exited with ${rc}.
Wine prefix (kept): ${prefix}
  C: drive:          ${prefix}/drive_c
EOF
if [ -n "${installed}" ]; then
    while IFS= read -r folder; do
        echo "  installed in:      ${folder}  =  $(WINEPREFIX="${prefix}" WINEDEBUG=-all "${ZEL_WINE}" winepath -u "${folder}" 2>/dev/null |
            sed "s|/dosdevices/c:/|/drive_c/|")"
    done <<< "${installed}"
fi
cat <<EOF
  desktop shortcuts: ${prefix}/drive_c/users/*/Desktop
  Start menu:        ${prefix}/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs
  system folder:     ${prefix}/drive_c/windows/system32 (64-bit), .../syswow64 (32-bit)
The registry, in the 64-bit view setup.exe writes (/reg:64); reg query shows
Japanese text as "?" outside a Japanese locale, the exported UTF-16 file keeps it:
  ${wine_cmd} reg query '${uninstall}' /s /reg:64
  ${wine_cmd} reg export '${uninstall}' 'Z:\tmp\uninstall.reg' /reg:64 /y; iconv -f UTF-16LE -t UTF-8 /tmp/uninstall.reg
  ${wine_cmd} reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' /reg:64
  ${wine_cmd} regedit    (HKEY_LOCAL_MACHINE\\Software is the 64-bit view, its Wow6432Node the 32-bit one)
Again in the same prefix (update, repair, uninstall): $0 SETUP.exe --prefix '${prefix}'
Uninstall quietly: ${wine_cmd} '<install folder>\\Uninstall.exe' /uninstall <key under Uninstall> /quiet
Remove the prefix: WINEPREFIX='${prefix}' wineserver -k; rm -rf '${prefix}'
EOF
exit ${rc}
