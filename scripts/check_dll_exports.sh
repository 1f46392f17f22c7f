#!/usr/bin/env bash
# Checks the export table of a Windows DLL of the library: exactly the eight
# calls, by their plain names; on 32-bit Windows each is __stdcall (it takes
# its three pointer arguments off the stack: "ret $0xc").
#   scripts/check_dll_exports.sh DLL i686|x86_64
set -euo pipefail
dll=$1 arch=$2
objdump=$arch-w64-mingw32-objdump
expected="CLOSE CLOSEMESSAGE IDLE MESSAGE OPEN RECEIPT THANKYOU VERSION"

# The names of the export table, as "[Ordinal/Name Pointer] Table" lists them.
names=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next}
                                    on && /^\t\[ *[0-9]+\]/ {print $NF; next}
                                    on {on=0}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$names" != "$expected" ]; then
  echo "check-exports: $dll exports [$names], not [$expected]" >&2
  exit 1
fi
if [ "$arch" = i686 ]; then
  for name in $expected; do
    # The linker's symbol of a __stdcall function carries its argument bytes.
    # (objdump may go on into the function after it: only its own lines count;
    # awk reads to the end, so that objdump is never cut off by a closed pipe)
    code=$("$objdump" -d --disassemble="_${name}@12" "$dll" |
      awk -v sym="<_${name}@12>:" 'index($0, sym) {on=1; next} on && /^[0-9a-f]+ <.*>:$/ {on=0; done=1} on && !done')
    if ! grep -Eq 'ret +\$0xc' <<<"$code" || grep -Eq 'ret *$' <<<"$code"; then
      echo "check-exports: $name in $dll is not __stdcall with three arguments (no _${name}@12 ending in ret \$0xc)" >&2
      exit 1
    fi
  done
fi
imports=$("$objdump" -p "$dll" | sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')
echo "check-exports: $dll ($arch) exports exactly: $names; imports: $imports"
