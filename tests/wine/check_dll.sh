#!/usr/bin/env bash
# The plug-in imports only system libraries, exports exactly GetFilterTable and
# ships stripped: no symbol table, no debugging sections.
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
# One entry in the export address table, at ordinal 1.
entries=$($objdump -p "$dll" | grep -cE '^[[:space:]]+\[ *[0-9]+\] \+base\[ *[0-9]+\]' || true)
ordinal=$($objdump -p "$dll" | sed -n 's/^[[:space:]]*\[ *0\] +base\[ *\([0-9]*\)\].*/\1/p' | head -1)
if [ "$entries" != 1 ] || [ "$ordinal" != 1 ]; then
  echo "unexpected export address table: $entries entries, first ordinal '$ordinal'"
  exit 1
fi
if $objdump -f "$dll" | grep -q HAS_SYMS || ! $objdump -t "$dll" | grep -q '^no symbols'; then
  echo "the shipped plug-in has a symbol table"
  exit 1
fi
debug_sections=$($objdump -h "$dll" | awk '$2 ~ /^\.debug/ {print $2}' | tr '\n' ' ')
if [ -n "$debug_sections" ]; then
  echo "the shipped plug-in has debugging sections: $debug_sections"
  exit 1
fi
echo "imports: $imports; export: $exports(ordinal $ordinal); stripped"
