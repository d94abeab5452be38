#!/bin/sh
# Runs every test: the host unit tests under the sanitizers, then checks the
# Windows executables.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host -j2

scripts/build-windows.sh
ctest --test-dir build/windows-x64 --output-on-failure
ctest --test-dir build/windows-x86 --output-on-failure
