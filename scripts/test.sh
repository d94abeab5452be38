#!/bin/sh
# Runs every test: the host unit tests under the sanitizers, the fuzz
# targets for a short time, the scan benchmark, then the Windows
# executables' checks and the end-to-end scenarios under Wine, and last the
# release archive: its contents, its reproducibility and its signed form.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh wine

cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host -j2

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz -j2

cmake --preset bench >/dev/null
cmake --build --preset bench
ctest --preset bench

scripts/build-windows.sh
# Verbose, so that each end-to-end scenario's line (or the reason for a skip)
# shows in the log.
ctest --test-dir build/windows-x64 -V
ctest --test-dir build/windows-x86 -V

python3 tests/release/test_release.py
