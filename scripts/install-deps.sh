#!/bin/sh
# Installs what the build and the tests need on Debian 12, as root.
# Idempotent: packages already present are not fetched again.
set -eu

packages="cmake ninja-build g++ libgtest-dev g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686"
for extra in "$@"; do packages="$packages $extra"; done

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "installing:$missing" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >/dev/null
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing >/dev/null
