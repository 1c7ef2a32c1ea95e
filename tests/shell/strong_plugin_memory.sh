#!/usr/bin/env bash
# What the second plug-in holds at 1920x1080, the editor's usual largest
# frame: at most 600 MB of heap after a frame (its whole window of nine
# frames, with the estimate), frame by frame and field by field, so that a
# 32-bit editor process can give it. Nothing more is allocated per frame:
# the heap after a second frame is what it was after the first.
# Usage: strong_plugin_memory.sh NATIVE_HOST
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/clip.sh"
host=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
limit=600000000

"$host" gen 71 1920 1080 9 clip.yc > /dev/null
# Heap held after the play, per job (bytes).
cat > jobs.txt <<'EOF'
clip.yc frame_one.yc 0,0,10 1,0 4
clip.yc frame_two.yc 0,0,10 1,0 4,5
clip.yc field_one.yc 0,0,10 1,1 4
clip.yc field_two.yc 0,0,10 1,1 4,5
EOF
NIVORA_HOST_MEASURE=1 "$host" run linked jobs.txt 2 > log.txt 2>&1 || { cat log.txt; exit 1; }
heap() { sed -n "s/^job $1: measured: .*, filter heap \([0-9-]*\) bytes.*$/\1/p" log.txt; }
for job in 1 2 3 4; do
  held=$(heap $job)
  [ -n "$held" ] || { echo "FAIL: no measurement for job $job"; cat log.txt; exit 1; }
  echo "job $job: $((held / 1000000)) MB"
  [ "$held" -le $limit ] || fail "job $job holds $held bytes, more than $limit"
done
# A second frame adds nothing (a few kilobytes of the editor's own counters).
for pair in "1 2" "3 4"; do
  read -r a b <<< "$pair"
  grown=$(( $(heap "$b") - $(heap "$a") ))
  [ $grown -le 65536 ] || fail "job $b holds $grown bytes more than job $a"
done
finish
echo "strong plug-in at 1920x1080: at most $((limit / 1000000)) MB, frame and field, none more per frame"
