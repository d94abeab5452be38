#!/bin/sh
# Builds camsetup.exe for x64 and x86.
set -eu
cd "$(dirname "$0")/.."
for preset in windows-x64 windows-x86; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
