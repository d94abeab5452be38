#!/bin/sh
# Builds the release: build/release/camsetup-<version>.zip (or in the folder
# given as the first argument), and prints its path last.
#
# The archive is reproducible: the same commit gives the same bytes wherever
# and whenever it is built. SOURCE_DATE_EPOCH (the time of the last commit,
# unless set) dates the archive's entries.
#
# Signing: with CAMSETUP_SIGN_CERT and CAMSETUP_SIGN_KEY naming PEM files (the
# code-signing certificate, with its chain after it, and its unencrypted
# key), every .exe is Authenticode-signed (SHA-256) with osslsigncode before
# SHA256SUMS is made; CAMSETUP_SIGN_TIMESTAMP_URL adds an RFC 3161 time stamp
# from that server.
set -eu
cd "$(dirname "$0")/.."
out=${1:-build/release}
scripts/install-deps.sh

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH
if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "note: the working tree has changes that the last commit lacks" >&2
fi

# Only the shipped programs, each architecture in a build folder of its own.
for arch in x86 x64; do
  case $arch in
    x86) toolchain=cmake/mingw-i686.cmake ;;
    x64) toolchain=cmake/mingw-x86_64.cmake ;;
  esac
  cmake -S . -B "$out/build-$arch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/$toolchain" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build "$out/build-$arch" --target camsetup camsetup-check >/dev/null
done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/build-x86/CMakeCache.txt")

exec python3 release/make_archive.py --version "$version" --out "$out" \
  --x86 "$out/build-x86" --x64 "$out/build-x64"
