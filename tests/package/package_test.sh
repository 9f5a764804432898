#!/usr/bin/env bash
# The release packages as a packager with nothing but a package meets them:
# the Linux archive and the .deb unpacked into scratch roots, and the Windows
# zip's InstallerBuilder.exe under Wine, each build the sample product without
# --stub, byte-identical to the build tree's builder; the result installs
# quietly under Wine; two package runs from the same tree give the same bytes.
# Needs the native-release and win64 trees built (InstallerBuilder,
# InstallerCore, sample_app, sample_com).
#   tests/package/package_test.sh [RESULTS_DIR]   (JUnit XML: RESULTS_DIR/package_tests.xml)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
results=${1:-${root}/build/test-results/package}
. "${root}/scripts/lib/wine.sh"

mkdir -p "${results}"
work=$(mktemp -d /tmp/zel-package-test.XXXXXX)
prefix=${work}/prefix
cleanup() {
    zel_wine_prefix_remove "${prefix}"
    rm -rf "${work}"
}
trap cleanup EXIT

version=$(sed -n 's/^project(ZelSetup VERSION \([0-9.]*\).*/\1/p' "${root}/CMakeLists.txt")
product=${work}/product
reference=${work}/reference-setup.exe

# Each case runs in a subshell with its output kept; a failed one reports the
# end of that output.
cases_xml=
failed=0
run_case() {
    local name=$1
    shift
    local log=${work}/${name}.log start seconds
    start=$(date +%s)
    # Not in an if: errexit holds inside the subshell only outside of one.
    (set -e; "$@") >"${log}" 2>&1
    local rc=$?
    if [ "${rc}" -eq 0 ]; then
        seconds=$(($(date +%s) - start))
        echo "[  PASSED  ] ${name} (${seconds} s)" >&2
        cases_xml+="<testcase classname=\"Packages\" name=\"${name}\" time=\"${seconds}\"/>"
    else
        seconds=$(($(date +%s) - start))
        echo "[  FAILED  ] ${name} (${seconds} s)" >&2
        tail -n 30 "${log}" >&2
        local text
        text=$(tail -n 30 "${log}" | sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g')
        cases_xml+="<testcase classname=\"Packages\" name=\"${name}\" time=\"${seconds}\"><failure>${text}</failure></testcase>"
        failed=$((failed + 1))
    fi
}

same_bytes() {
    cmp "$1" "$2" || { echo "$1 and $2 differ" >&2; return 1; }
}

packages_are_reproducible() {
    ZEL_PACKAGE_NO_BUILD=1 bash "${root}/scripts/package.sh" "${work}/packages"
    sleep 1  # other file times in the staging folder
    ZEL_PACKAGE_NO_BUILD=1 bash "${root}/scripts/package.sh" "${work}/packages-again"
    local f
    for f in "zelsetup-${version}-linux-x86_64.tar.gz" "zelsetup_${version}_amd64.deb" \
        "zelsetup-${version}-windows-x64.zip"; do
        same_bytes "${work}/packages/${f}" "${work}/packages-again/${f}"
    done
}

# unpacked ROOT BUILDER OUTPUT: the builder from an unpacked package reports the
# version and builds the sample without --stub, as the tree's builder does.
builds_the_sample() {
    local builder=$1 out=$2
    [ "$("${builder}" --version)" = "InstallerBuilder ${version}" ]
    "${builder}" "${product}" -o "${out}"
    same_bytes "${reference}" "${out}"
}

linux_archive_builds_the_sample_without_stub() {
    mkdir -p "${work}/tar-root"
    tar -C "${work}/tar-root" -xzf "${work}/packages/zelsetup-${version}-linux-x86_64.tar.gz"
    local top=${work}/tar-root/zelsetup-${version}-linux-x86_64
    [ -f "${top}/share/doc/zelsetup/docs/setup-ini.md" ]
    builds_the_sample "${top}/bin/InstallerBuilder" "${work}/tar-setup.exe"
}

deb_builds_the_sample_without_stub() {
    local deb=${work}/packages/zelsetup_${version}_amd64.deb
    [ "$(dpkg-deb -f "${deb}" Version)" = "${version}" ]
    dpkg-deb -x "${deb}" "${work}/deb-root"
    [ -f "${work}/deb-root/usr/share/zelsetup/InstallerCore.exe" ]
    builds_the_sample "${work}/deb-root/usr/bin/InstallerBuilder" "${work}/deb-setup.exe"
}

windows_zip_builds_the_sample_without_stub() {
    unzip -q "${work}/packages/zelsetup-${version}-windows-x64.zip" -d "${work}/zip-root"
    local exe=${work}/zip-root/zelsetup-${version}-windows-x64/InstallerBuilder.exe
    [ -f "$(dirname "${exe}")/InstallerCore.exe" ]
    zel_wine_prefix_create "${prefix}"
    winpath() { WINEPREFIX="${prefix}" zel_wine winepath -w "$1" 2>/dev/null; }
    local shown
    shown=$(zel_wine_run "${prefix}" "${exe}" --version | tr -d '\r')
    [ "${shown}" = "InstallerBuilder ${version}" ] || { echo "--version: ${shown}" >&2; return 1; }
    zel_wine_run "${prefix}" "${exe}" "$(winpath "${product}")" -o "$(winpath "${work}/zip-setup.exe")"
    same_bytes "${reference}" "${work}/zip-setup.exe"
}

built_setup_installs_under_wine() {
    [ -f "${work}/deb-setup.exe" ]
    bash "${root}/scripts/try-setup.sh" "${work}/deb-setup.exe" --prefix "${prefix}" -- /quiet /dir 'C:\Apps\Zel'
    [ -f "${prefix}/drive_c/Apps/Zel/App.exe" ]
    [ -f "${prefix}/drive_c/Apps/Zel/Uninstall.exe" ]
    iconv -f UTF-16LE -t UTF-8 "${prefix}/zel-try-uninstall.reg" | grep -F '"InstallLocation"="C:\\Apps\\Zel"'
}

echo "== package tests (${work})" >&2
zel_wine_pick >/dev/null 2>&1 || true
if ZEL_SAMPLE_PRODUCT="${product}" bash "${root}/scripts/build-sample.sh" "${reference}" >"${work}/reference.log" 2>&1; then
    run_case packages_are_reproducible packages_are_reproducible
    run_case linux_archive_builds_the_sample_without_stub linux_archive_builds_the_sample_without_stub
    run_case deb_builds_the_sample_without_stub deb_builds_the_sample_without_stub
    run_case windows_zip_builds_the_sample_without_stub windows_zip_builds_the_sample_without_stub
    run_case built_setup_installs_under_wine built_setup_installs_under_wine
else
    cat "${work}/reference.log" >&2
    cases_xml="<testcase classname=\"Packages\" name=\"reference_build\"><failure>the build tree's builder could not build the sample</failure></testcase>"
    failed=1
fi
printf '<testsuites><testsuite name="Packages">%s</testsuite></testsuites>\n' "${cases_xml}" \
    > "${results}/package_tests.xml"
[ "${failed}" -eq 0 ]
