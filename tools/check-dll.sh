#!/bin/sh
# Checks the built DLL: it imports only Windows system DLLs, carries its
# version resource, and keeps the PE hardening flags.
set -eu
dll=$1
dump=$(x86_64-w64-mingw32-objdump -p "$dll")
status=0

imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
allowed="advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shlwapi.dll shell32.dll iphlpapi.dll setupapi.dll powrprof.dll mpr.dll user32.dll"
for dll_name in $imports; do
  case " $allowed " in
    *" $dll_name "*) ;;
    api-ms-win-*) ;;
    *) echo "FAIL: imports a non-system DLL: $dll_name"; status=1 ;;
  esac
done
echo "imports: $(echo $imports)"

for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
  if printf '%s\n' "$dump" | grep -q "$flag"; then echo "flag $flag: set"; else echo "FAIL: $flag not set"; status=1; fi
done

# The version resource: the fixed table's 1.0.0.0 and the string table's texts (UTF-16).
strings_le=$(strings -e l "$dll")
for text in "FileVersion" "1.0.0.0" "ProductVersion" "ProductName" "CorvaneVMD" "FileDescription" "OriginalFilename" "CorvaneVMD.dll"; do
  if printf '%s\n' "$strings_le" | grep -qF "$text"; then :; else echo "FAIL: version resource lacks $text"; status=1; fi
done
# VS_FIXEDFILEINFO: signature 0xFEEF04BD, then version 1.0.0.0 as file and product version.
if od -An -tx1 -v "$dll" | tr -d '\n' | grep -q "bd 04 ef fe 00 00 01 00 00 00 01 00 00 00 00 00 00 00 01 00 00 00 00 00"; then
  echo "fixed version: 1.0.0.0"
else
  echo "FAIL: fixed file info is not 1.0.0.0"; status=1
fi
[ $status -eq 0 ] && echo "dll_binary_check: all checks passed"
exit $status
