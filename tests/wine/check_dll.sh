#!/usr/bin/env bash
# The plug-in imports only system libraries and exports exactly GetFilterTable.
set -euo pipefail
dll="$1"
objdump=i686-w64-mingw32-objdump
imports=$($objdump -p "$dll" | awk '/DLL Name:/ {print toupper($3)}' | sort | tr '\n' ' ')
expected="GDI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL "
if [ "$imports" != "$expected" ]; then
  echo "unexpected imports: $imports (want $expected)"
  exit 1
fi
exports=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^[[:space:]]+\[' | awk '{print $NF}' | tr '\n' ' ')
if [ "$exports" != "GetFilterTable " ]; then
  echo "unexpected exports: '$exports'"
  exit 1
fi
echo "imports: $imports; export: $exports"
