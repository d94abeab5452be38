#!/bin/sh
# Checks a Windows executable: GUI subsystem, and imports from Windows' own
# DLLs only (the C++ runtime is linked in).
# usage: check_pe.sh OBJDUMP EXE ALLOWED_DLL...
set -eu
objdump=$1 exe=$2
shift 2
dump=$("$objdump" -p "$exe")

echo "$dump" | grep -q '^Subsystem[[:space:]]*00000002' || {
  echo "$exe: not a Windows GUI program" >&2; exit 1; }

status=0
for dll in $(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
  ok=0
  for allowed in "$@"; do
    [ "$(echo "$dll" | tr a-z A-Z)" = "$(echo "$allowed" | tr a-z A-Z)" ] && ok=1
  done
  if [ $ok = 0 ]; then echo "$exe imports $dll" >&2; status=1; fi
done
exit $status
