#!/bin/sh
# Checks the built DLL: it imports only KnownDLLs and carries its version resource; and,
# through tools/check-dll-image.py, it imports exactly api/CorvaneVMD.imports and none of
# the forbidden names, keeps its PE characteristics, has no TLS callback but the C
# runtime's, and exports exactly api/CorvaneVMD.def.  With EXE (corvane-vmd.exe),
# checks that the program imports only KnownDLLs too: it loads CorvaneVMD.dll
# at run time, so the library never appears in its import table.
#   check-dll.sh DLL [EXE]
set -eu
dll=$1
status=0

# Windows loads a KnownDLL from System32 whatever the search order; any other
# imported module is looked for in the host's folder first, where a planted
# copy would run inside the host.  These are KnownDLLs on every Windows the
# library supports (docs/design-notes.md); api-ms-win-* are API set names,
# resolved by the loader's schema and never searched for as files.
knowndlls="advapi32.dll clbcatq.dll comdlg32.dll gdi32.dll imagehlp.dll imm32.dll kernel32.dll msctf.dll msvcrt.dll
normaliz.dll nsi.dll ole32.dll oleaut32.dll psapi.dll rpcrt4.dll sechost.dll setupapi.dll shell32.dll shlwapi.dll
user32.dll wldap32.dll ws2_32.dll"
check_imports() {
  names=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  for name in $names; do
    case " $(echo $knowndlls) " in
      *" $name "*) ;;
      *) case "$name" in
           api-ms-win-*) ;;
           *) echo "FAIL: $(basename "$1") imports $name, which is not a KnownDLL"; status=1 ;;
         esac ;;
    esac
  done
  echo "$(basename "$1") imports: $(echo $names)"
}
check_imports "$dll"
if [ $# -ge 2 ]; then check_imports "$2"; fi

root=$(cd "$(dirname "$0")/.." && pwd)
python3 "$root/tools/check-dll-image.py" "$dll" "$root/api/CorvaneVMD.imports" "$root/api/CorvaneVMD.def" || status=1

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
