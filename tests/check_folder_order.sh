#!/usr/bin/env bash
# The filter's folders call one way: driver/ runs the stages (prefilter/,
# analysis/, temporal/), and the stages work in the buffers of frame/, below
# them. So no stage folder includes anything from driver/, and frame/
# includes nothing from driver/ or a stage folder.
# Usage: check_folder_order.sh SOURCE_DIR
#        check_folder_order.sh --self-test   (the check finds planted includes)
set -uo pipefail

# Prints every include in folder $2 of tree $1 that names one of the folders
# after it; returns 1 if there is any.
forbidden() {
  local root="$1" folder="$2"
  shift 2
  local alternatives
  alternatives="$(IFS='|'; echo "$*")"
  [ -d "$root/$folder" ] || { echo "no folder $folder/ in $root"; return 1; }
  local found
  found="$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<]($alternatives)/" \
    --include='*.h' --include='*.cpp' "$root/$folder")"
  [ -z "$found" ] && return 0
  echo "$found" | sed "s|^$root/||"
  return 1
}

check() {
  local root="$1" bad=0
  for stage in prefilter analysis temporal; do
    forbidden "$root" "$stage" driver || bad=1
  done
  forbidden "$root" frame driver prefilter analysis temporal strong cli || bad=1
  return "$bad"
}

if [ "${1:-}" = --self-test ]; then
  tree="$(mktemp -d)"
  trap 'rm -rf "$tree"' EXIT
  mkdir -p "$tree"/{prefilter,analysis,temporal,frame}
  echo '#include "frame/buffers.h"' > "$tree/analysis/a.cpp"
  check "$tree" > /dev/null || { echo "self-test: a clean tree fails"; exit 1; }
  for plant in 'temporal/t.h:#include "driver/driver.h"' 'prefilter/p.cpp:  #  include <driver/x.h>' \
               'frame/f.cpp:#include "analysis/analysis.h"'; do
    file="${plant%%:*}"
    echo "${plant#*:}" > "$tree/$file"
    if check "$tree" > /dev/null; then
      echo "self-test: the include in $file is not found"
      exit 1
    fi
    rm "$tree/$file"
  done
  echo "self-test: every planted include is found"
  exit 0
fi

if check "$1"; then
  echo "no stage folder includes driver/; frame/ includes no folder above it"
else
  echo "includes against the folders' order (above)"
  exit 1
fi
