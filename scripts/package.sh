#!/usr/bin/env bash
# Makes the release packages from the native-release and win64 build trees
# (building the programs they hold first):
#   zelsetup-VERSION-linux-x86_64.tar.gz   bin/InstallerBuilder, share/zelsetup/InstallerCore.exe,
#                                          share/doc/zelsetup/ (README, docs, licence)
#   zelsetup_VERSION_amd64.deb             the same below /usr
#   zelsetup-VERSION-windows-x64.zip       InstallerBuilder.exe beside InstallerCore.exe, README, docs, licence
# VERSION is project(ZelSetup VERSION ...) in CMakeLists.txt, which is also what
# InstallerBuilder --version prints. The same tree gives the same bytes: fixed
# file times (SOURCE_DATE_EPOCH, default: the last commit's time), sorted
# entries, owner 0/0, no names or times in the gzip header.
# Usage: scripts/package.sh [OUTPUT_DIR]   (default: build/packages); prints the package paths.
# Environment (optional): ZEL_PACKAGE_NO_BUILD=1 packages the trees as they are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "${root}"
out=$(mkdir -p "${1:-${root}/build/packages}" && cd "${1:-${root}/build/packages}" && pwd)
native=${root}/build/native-release
win64=${root}/build/win64
jobs=${ZEL_JOBS:-$(nproc)}

version=$(sed -n 's/^project(ZelSetup VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "${version}" ] || { echo "error: no project(ZelSetup VERSION ...) in CMakeLists.txt" >&2; exit 1; }

if [ -z "${ZEL_PACKAGE_NO_BUILD:-}" ]; then
    echo "== building InstallerBuilder (native-release), InstallerCore.exe and InstallerBuilder.exe (win64)" >&2
    cmake --preset native-release >/dev/null
    cmake --build "${native}" -j "${jobs}" --target InstallerBuilder
    cmake --preset win64 >/dev/null
    cmake --build "${win64}" -j "${jobs}" --target InstallerCore InstallerBuilder
fi
builder=${native}/tools/builder/InstallerBuilder
stub=${win64}/src/app/InstallerCore.exe
builder_exe=${win64}/tools/builder/InstallerBuilder.exe
for f in "${builder}" "${stub}" "${builder_exe}"; do
    [ -f "${f}" ] || { echo "error: missing ${f} (build it first)" >&2; exit 1; }
done
built_version=$("${builder}" --version)
if [ "${built_version}" != "InstallerBuilder ${version}" ]; then
    echo "error: ${builder} says \"${built_version}\", CMakeLists.txt ${version}: build it again" >&2
    exit 1
fi

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 1767225600)
fi
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C
umask 022

licence=
for name in LICENSE LICENSE.txt LICENSE.md COPYING; do
    [ -f "${name}" ] && { licence=${name}; break; }
done
[ -n "${licence}" ] || echo "warning: no LICENSE or COPYING in ${root}; the packages carry no licence file" >&2

stage=$(mktemp -d /tmp/zel-package.XXXXXX)
trap 'rm -rf "${stage}"' EXIT

# put_docs DIR: README, docs/ and the licence into DIR.
put_docs() {
    mkdir -p "$1/docs"
    cp README.md "$1/"
    cp docs/*.md "$1/docs/"
    [ -z "${licence}" ] || cp "${licence}" "$1/"
}

# normalise DIR: the same modes and times whoever made the files and when.
normalise() {
    find "$1" -type d -exec chmod 0755 {} +
    find "$1" -type f -exec chmod 0644 {} +
    find "$1" -type f \( -name InstallerBuilder -o -name '*.exe' \) -exec chmod 0755 {} +
    find "$1" -exec touch -h -d "@${SOURCE_DATE_EPOCH}" {} +
}

# The Linux tree: the stub in the data folder the builder looks in, the
# builder without its symbols (the same build gives the same stripped bytes).
linux_tree() {
    mkdir -p "$1/bin" "$1/share/zelsetup"
    strip -o "$1/bin/InstallerBuilder" "${builder}"
    cp "${stub}" "$1/share/zelsetup/InstallerCore.exe"
    put_docs "$1/share/doc/zelsetup"
}

# The archive.
name=zelsetup-${version}-linux-x86_64
linux_tree "${stage}/${name}"
normalise "${stage}/${name}"
tarball=${out}/${name}.tar.gz
tar -C "${stage}" --sort=name --format=gnu --owner=0 --group=0 --numeric-owner --mtime="@${SOURCE_DATE_EPOCH}" \
    -cf - "${name}" | gzip -9 -n > "${tarball}"

# The Debian package: the same below /usr. The builder is linked statically
# with the C++ runtime; it needs the C library its symbols name.
deb_root=${stage}/deb
linux_tree "${deb_root}/usr"
[ -z "${licence}" ] || mv "${deb_root}/usr/share/doc/zelsetup/${licence}" "${deb_root}/usr/share/doc/zelsetup/copyright"
glibc=$(objdump -T "${builder}" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -V | tail -n 1)
size=$(du -sk --apparent-size "${deb_root}/usr" | cut -f1)
mkdir -p "${deb_root}/DEBIAN"
cat > "${deb_root}/DEBIAN/control" <<EOF
Package: zelsetup
Version: ${version}
Architecture: amd64
Maintainer: ZelSetup developers <zelsetup@localhost>
Depends: libc6 (>= ${glibc})
Installed-Size: ${size}
Section: devel
Priority: optional
Description: builds self-contained Windows setup programs
 InstallerBuilder turns a product folder (setup.ini, a licence, files/) into
 one setup.exe with a Japanese installation wizard, unattended install and
 uninstall. It needs neither Windows nor Wine; the stub setup.exe is made
 from is installed in /usr/share/zelsetup.
EOF
normalise "${deb_root}"
deb=${out}/zelsetup_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "${deb_root}" "${deb}" >/dev/null

# The Windows zip: the builder finds its stub beside itself. DOS times are
# local times, hence TZ=UTC above; -X leaves out owner and extra time fields.
name=zelsetup-${version}-windows-x64
mkdir -p "${stage}/${name}"
cp "${builder_exe}" "${stub}" "${stage}/${name}/"
put_docs "${stage}/${name}"
normalise "${stage}/${name}"
zip=${out}/${name}.zip
rm -f "${zip}"
(cd "${stage}" && find "${name}" -type f | sort | zip -X -D -9 -q "${zip}" -@)

for f in "${tarball}" "${deb}" "${zip}"; do echo "${f}"; done
