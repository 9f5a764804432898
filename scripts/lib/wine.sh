# Shell helpers for running Windows programs under Wine in throw-away prefixes
# and on a private virtual X server. Source this file; it defines functions only.
# Every Wine program (wine, winepath, wineboot, reg) is started through zel_wine.

# zel_wine_pick: chooses the Wine loader once and exports it as ZEL_WINE, with
# ZEL_WINE_32BIT=1 when 32-bit Windows programs can run on this machine, else 0.
# Debian's `wine` (and winepath, wineboot… through it) always starts the 32-bit
# loader, which re-executes the 64-bit one for 64-bit programs. On a kernel that
# cannot run i386 binaries that first step fails with "Exec format error", so
# there the 64-bit loader is started directly; 32-bit programs cannot run at all.
zel_wine_pick() {
    [ -n "${ZEL_WINE:-}" ] && return 0
    if command -v wine >/dev/null 2>&1 && wine --version >/dev/null 2>&1; then
        ZEL_WINE=wine
        local loader32
        for loader32 in /usr/lib/wine/wine /usr/lib32/wine/wine /opt/wine-stable/bin/wine; do
            [ -x "${loader32}" ] && break
            loader32=
        done
        # No separate 32-bit loader (wine32 not installed): `wine` is the 64-bit one.
        if [ -n "${loader32}" ] && "${loader32}" --version >/dev/null 2>&1; then
            ZEL_WINE_32BIT=1
        else
            ZEL_WINE_32BIT=0
        fi
    else
        local loader64
        for loader64 in "$(command -v wine64 2>/dev/null)" /usr/lib/wine/wine64 /usr/lib64/wine/wine64 \
            /opt/wine-stable/bin/wine64; do
            [ -n "${loader64}" ] && [ -x "${loader64}" ] && "${loader64}" --version >/dev/null 2>&1 && break
            loader64=
        done
        if [ -z "${loader64}" ]; then
            echo "error: no Wine loader runs on this machine (tried wine, wine64)" >&2
            return 1
        fi
        ZEL_WINE=${loader64}
        ZEL_WINE_32BIT=0
        # As Debian's wine script does when it falls back to wine64: the programs
        # Wine starts from inside use this loader too.
        export WINELOADER=${WINELOADER:-${loader64}}
    fi
    export ZEL_WINE ZEL_WINE_32BIT
    if [ "${ZEL_WINE_32BIT}" = 0 ]; then
        echo "note: 32-bit Windows programs cannot run on this machine; tests that need them are skipped" >&2
    fi
}

# zel_wine ARGS...: wine ARGS with the loader zel_wine_pick chose, e.g.
# zel_wine winepath -w FILE, zel_wine wineboot -i, zel_wine reg import FILE.
zel_wine() {
    zel_wine_pick || return 127
    "${ZEL_WINE}" "$@"
}

# zel_xvfb_start: starts Xvfb on a free display number and exports DISPLAY.
# The PID is kept in ZEL_XVFB_PID; stop it with zel_xvfb_stop.
zel_xvfb_start() {
    local geometry=${1:-1280x1024x24}
    local n
    for n in $(seq 90 190); do
        if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
            Xvfb ":${n}" -screen 0 "${geometry}" -nolisten tcp >/dev/null 2>&1 &
            ZEL_XVFB_PID=$!
            local i
            for i in $(seq 1 50); do
                [ -e "/tmp/.X11-unix/X${n}" ] && break
                sleep 0.1
            done
            if kill -0 "${ZEL_XVFB_PID}" 2>/dev/null; then
                export DISPLAY=":${n}"
                return 0
            fi
        fi
    done
    echo "error: no free X display for Xvfb" >&2
    return 1
}

zel_xvfb_stop() {
    if [ -n "${ZEL_XVFB_PID:-}" ]; then
        kill "${ZEL_XVFB_PID}" 2>/dev/null || true
        wait "${ZEL_XVFB_PID}" 2>/dev/null || true
        ZEL_XVFB_PID=
    fi
}

# zel_wine_prefix_create DIR [DPI]: a fresh 64-bit prefix with the dialog fonts
# mapped to a Japanese font, optionally with a screen resolution other than 96 DPI.
zel_wine_prefix_create() {
    local prefix=$1
    local dpi=${2:-96}
    zel_wine_pick || return 1
    rm -rf "${prefix}"
    mkdir -p "${prefix}"
    export WINEDEBUG=${WINEDEBUG:--all}
    WINEPREFIX="${prefix}" WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" zel_wine wineboot -i >/dev/null 2>&1
    WINEPREFIX="${prefix}" wineserver -w
    # Wine links the user's Desktop, Documents… to one host folder shared by every
    # prefix; real folders inside the prefix keep each run's shortcuts to itself.
    local link
    for link in "${prefix}"/drive_c/users/*/*; do
        if [ -L "${link}" ]; then
            rm -f "${link}" && mkdir -p "${link}"
        fi
    done
    local reg="${prefix}/zel-setup.reg"
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
        local face
        for face in "MS Shell Dlg" "MS Shell Dlg 2" "Segoe UI" "Tahoma"; do
            printf '"%s"="Noto Sans CJK JP"\r\n' "${face}"
        done
        printf '\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n'
        printf '"LogPixels"=dword:%08x\r\n' "${dpi}"
        printf '\r\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts]\r\n'
        printf '"LogPixels"=dword:%08x\r\n' "${dpi}"
        # Without a window manager on Xvfb, managed windows make Wine wait ~2 s each
        # time a dialog is hidden or destroyed; unmanaged windows do not.
        printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n'
        printf '"Managed"="N"\r\n'
        # No desktop-menu entries on the host for the shortcuts the tests create.
        printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\r\n'
        printf '"winemenubuilder.exe"=""\r\n'
        # No crash dialog: a crashing test program must end, not wait for a click.
        printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n'
        printf '"ShowCrashDialog"=dword:00000000\r\n'
    } > "${reg}"
    WINEPREFIX="${prefix}" zel_wine reg import "$(WINEPREFIX="${prefix}" zel_wine winepath -w "${reg}")" >/dev/null 2>&1
    WINEPREFIX="${prefix}" wineserver -w
}

zel_wine_prefix_remove() {
    local prefix=$1
    [ -d "${prefix}" ] || return 0
    WINEPREFIX="${prefix}" wineserver -k 2>/dev/null || true
    WINEPREFIX="${prefix}" wineserver -w 2>/dev/null || true
    rm -rf "${prefix}"
}

# zel_wine_run PREFIX PROGRAM [ARGS...]: runs a Windows program and returns its exit code.
zel_wine_run() {
    local prefix=$1
    shift
    WINEPREFIX="${prefix}" WINEDEBUG=${WINEDEBUG:--all} zel_wine "$@"
}
