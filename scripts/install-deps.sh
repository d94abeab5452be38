#!/bin/sh
# Installs what the build and the tests need on Debian 12, as root.
# Idempotent: packages already present are not fetched again.
#   install-deps.sh          compilers, CMake, GoogleTest, mingw-w64
#   install-deps.sh wine     the above, and Wine with an X display for the
#                            end-to-end tests and the demo
set -eu

packages="cmake ninja-build g++ libgtest-dev libbenchmark-dev nlohmann-json3-dev clang libclang-rt-14-dev
          g++-mingw-w64-x86-64 g++-mingw-w64-i686"
if [ "${1:-}" = wine ]; then
  packages="$packages python3 wine wine64 xvfb imagemagick locales"
fi

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "installing:$missing" >&2
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync fails one index; the install below still works
# when the packages it needs are listed.
apt-get update -q >/dev/null || echo "apt-get update reported errors; trying the install" >&2
# shellcheck disable=SC2086
apt-get install -y -q $missing >/dev/null
