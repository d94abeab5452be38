#!/bin/sh
# The main job: builds camsetup.exe for x64 and x86, then runs the x86
# launcher (the one to ship) under Wine on the sample package in
# demo/package, once with a camera attached and once without, and saves the
# message box as build/demo/not-found.png. Where 32-bit programs cannot run
# under Wine, it says why and runs the x64 launcher instead.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh wine
scripts/build-windows.sh >/dev/null
echo "Built: build/windows-x64/camsetup.exe and build/windows-x86/camsetup.exe"
echo
arch=x86
why=$(cd tests/e2e && python3 -c 'import winelab; print(winelab.wine32_problem() or "")')
if [ -n "$why" ]; then
  echo "The x86 launcher, the one to ship, cannot run here: $why."
  echo "Running the x64 launcher instead."
  echo
  arch=x64
fi
bin=build/windows-$arch/tests/windows
echo "Launcher: build/windows-$arch/camsetup.exe"
exec python3 demo/run_demo.py --launcher "build/windows-$arch/camsetup.exe" \
  --driver "$bin/e2e_driver.exe" --standin "$bin/e2e_standin.exe" \
  --work "build/demo-$arch" --screenshot build/demo/not-found.png
