#!/bin/sh
# The main job: builds camsetup.exe for x64 and x86, then runs the x64
# launcher under Wine on the sample package in demo/package, once with a
# camera attached and once without, and saves the message box as
# build/demo/not-found.png.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh wine
scripts/build-windows.sh >/dev/null
echo "Built: build/windows-x64/camsetup.exe and build/windows-x86/camsetup.exe"
echo
bin=build/windows-x64/tests/windows
exec python3 demo/run_demo.py --launcher build/windows-x64/camsetup.exe \
  --driver "$bin/e2e_driver.exe" --standin "$bin/e2e_standin.exe" \
  --work build/demo --screenshot build/demo/not-found.png
