#!/bin/sh
# Checks that the built DLL exports exactly what api/CorvaneVMD.def lists, and
# that the list itself holds only the five functions and CorvaneException's
# members: no export appears or disappears unnoticed, and none is unnamed.
#   check-dll-exports.sh DEF DLL
set -eu
def=$1
dll=$2
status=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Names under EXPORTS, without comments and the DATA keyword.
sed -n '/^EXPORTS/,$p' "$def" | sed '1d; s/;.*//; s/[[:space:]]DATA[[:space:]]*$//; s/^[[:space:]]*//; s/[[:space:]]*$//' |
  grep -v '^$' | sort >"$work/listed"

dump=$(x86_64-w64-mingw32-objdump -p "$dll")
printf '%s\n' "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' |
  sort >"$work/exported"

for name in $(comm -23 "$work/listed" "$work/exported"); do echo "FAIL: listed in the .def but not exported: $name"; status=1; done
for name in $(comm -13 "$work/listed" "$work/exported"); do echo "FAIL: exported but not listed in the .def: $name"; status=1; done

# Every export has a name: the address table is no longer than the name table.
addresses=$(printf '%s\n' "$dump" | sed -n '/^Export Address Table -- /,/^$/p' | grep -c 'Export RVA' || true)
names=$(wc -l <"$work/exported")
if [ "$addresses" -ne "$names" ]; then echo "FAIL: $addresses exports but $names names: some are unnamed"; status=1; fi

# The .def documents the five functions and the exception type, nothing else.
for name in DetectVM GetVMType GetVMName GetLibVersion SetLogFolder; do
  grep -qx "$name" "$work/listed" || { echo "FAIL: the .def does not list $name"; status=1; }
done
for name in $(cat "$work/listed"); do
  case "$name" in
    DetectVM|GetVMType|GetVMName|GetLibVersion|SetLogFolder) ;;
    *CorvaneException*) ;;
    *) echo "FAIL: the .def lists an undocumented export: $name"; status=1 ;;
  esac
done

echo "exports: $names named, $addresses in all"
[ $status -eq 0 ] && echo "check-dll-exports: the DLL exports exactly the listed names"
exit $status
