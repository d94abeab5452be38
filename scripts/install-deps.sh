#!/bin/sh
# Installs what the build and the tests need on Debian 12, as root.
# Idempotent: packages already present are not fetched again.
#   install-deps.sh          compilers, CMake, GoogleTest, mingw-w64,
#                            osslsigncode and openssl for signing the release,
#                            and Microsoft's SARIF multitool (from npm, with
#                            the ICU it needs) for the checker's SARIF test
#   install-deps.sh wine     the above, and Wine with an X display for the
#                            end-to-end tests and the demo, wixl for the MSI
#                            packages they install, 32-bit Wine
#                            (wine32:i386) included, or, on a kernel that runs
#                            no 32-bit programs, QEMU and debootstrap for the
#                            x86 virtual machine
set -eu

packages="cmake ninja-build g++ libgtest-dev libbenchmark-dev nlohmann-json3-dev clang libclang-rt-14-dev
          g++-mingw-w64-x86-64 g++-mingw-w64-i686 osslsigncode openssl libssl-dev git libicu72"
# npm comes with some Node.js builds; Debian's own is installed only where
# there is none, as it would clash with them.
command -v npm >/dev/null 2>&1 || packages="$packages npm"
if [ "${1:-}" = wine ]; then
  packages="$packages python3 wine wine64 xvfb imagemagick locales wixl"
fi

# 32-bit Wine runs the x86 launcher. It needs a kernel that runs 32-bit
# programs: some run none (IA-32 emulation off), and there wine32 would only
# make Debian's /usr/bin/wine fail for 64-bit programs too. A 91-byte i386
# program that exits with 0 tells.
kernel_runs_i386() {
  probe=$(mktemp)
  printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\133\000\000\000\133\000\000\000\005\000\000\000\000\020\000\000\061\333\061\300\100\315\200' >"$probe"
  chmod +x "$probe"
  ok=0
  "$probe" 2>/dev/null || ok=1
  rm -f "$probe"
  return $ok
}

wine32=""
if [ "${1:-}" = wine ] && [ "$(dpkg --print-architecture)" = amd64 ]; then
  if kernel_runs_i386; then
    wine32="wine32:i386"
  else
    # There the x86 runs go to a Debian virtual machine under QEMU's software
    # emulation (tests/vm/x86_vm.py), which installs wine32 inside itself.
    packages="$packages qemu-system-x86 debootstrap e2fsprogs"
  fi
fi

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
missing=""
for p in $packages; do
  installed "$p" || missing="$missing $p"
done
if [ -n "$wine32" ] && installed "$wine32"; then
  wine32=""
fi
# The SARIF validator, a .NET program that npm installs.
sarif_multitool() {
  if ! command -v sarif-multitool >/dev/null 2>&1; then
    echo "installing: @microsoft/sarif-multitool (npm)" >&2
    npm install -g -q @microsoft/sarif-multitool >/dev/null
  fi
  # A .NET program: without ICU it stops at its first line.
  sarif-multitool --version >/dev/null ||
    { echo "sarif-multitool does not run (is libicu72 installed?)" >&2; exit 1; }
}

if [ -z "$missing" ] && [ -z "$wine32" ]; then
  sarif_multitool
  exit 0
fi

echo "installing:$missing${wine32:+ $wine32}" >&2
export DEBIAN_FRONTEND=noninteractive
# Another apt-get at work holds the lock: wait for it rather than fail.
apt="apt-get -o DPkg::Lock::Timeout=600"
if [ -n "$wine32" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails one index; the install below still works
# when the packages it needs are listed.
$apt update -q >/dev/null || echo "apt-get update reported errors; trying the install" >&2
if [ -n "$missing" ]; then
  # shellcheck disable=SC2086
  $apt install -y -q $missing >/dev/null
fi
if [ -n "$wine32" ]; then
  # Without it only the x86 end-to-end scenarios are lost, and they say so.
  $apt install -y -q "$wine32" >/dev/null ||
    echo "apt-get install $wine32 failed (see above); the x86 end-to-end scenarios" \
         "will report themselves skipped" >&2
fi

sarif_multitool
