#!/usr/bin/env bash
# Objects compiled for a wider instruction set (*_avx2) must not define any
# shared inline function or template (weak symbols in ELF, .text$ COMDAT
# sections in COFF): the linker keeps one copy
# of each, and if it kept the AVX2-compiled one, processors without AVX2 would
# run it from their scalar or SSE paths.
# Usage: check_isa_objects.sh NM BUILD_DIR
set -euo pipefail
nm_tool="$1"
build_dir="$2"
found=0
objects=$(find "$build_dir" \( -name '*_avx2.cpp.o' -o -name '*_avx2.cpp.obj' \) | sort)
if [ -z "$objects" ]; then
  echo "no AVX2 objects under $build_dir"
  exit 1
fi
for o in $objects; do
  weak=$("$nm_tool" -C "$o" | grep -E ' [WVu] | t \.text\$' || true)
  if [ -n "$weak" ]; then
    echo "$o defines shared symbols:"
    echo "$weak"
    found=1
  fi
done
[ "$found" -eq 0 ] && echo "$(echo "$objects" | wc -l) AVX2 objects, none defines a shared symbol"
exit "$found"
