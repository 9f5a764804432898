#!/usr/bin/env bash
# Installs every Debian package the build, the sample run and the tests need.
# Does nothing when all of them are present already. Run as root.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang clang-format libclang-rt-14-dev git
    mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    googletest libgtest-dev libgmock-dev
    wine wine64 wine32:i386
    xvfb x11-utils xauth fonts-noto-cjk imagemagick
    python3 python3-pefile
    openssl osslsigncode
    zip unzip       # the Windows release zip and its test
    libxxhash-dev   # the reference XXH64 the payload digests are tested against
    liblzma-dev     # the reference LZMA2 coder and x86 filter our decoder and encoder are checked against; the Linux builder's encoder
    nsis            # makensis: the peer installer of the install benchmark
    zlib1g-dev libz-mingw-w64-dev   # deflate payloads: the Linux builder; setup.exe and the Windows builder
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "${p}" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("${p}")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "installing: ${missing[*]}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
