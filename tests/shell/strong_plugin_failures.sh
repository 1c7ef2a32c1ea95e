#!/usr/bin/env bash
# The second plug-in's failures, driven by the native test editor: a frame
# wider than it takes, memory that cannot be had (the process's address space
# capped below what the window needs) and a processor without SSE2. Each is
# answered by unchanged frames and exactly one message however many frames
# are asked for, never a crash; the next job of the same process (a size it
# takes, memory enough) is filtered again, without a message.
# Usage: strong_plugin_failures.sh NATIVE_HOST
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/clip.sh"
host=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$host" gen 61 64 48 5 small.yc > /dev/null
"$host" gen 62 8200 4 3 wide.yc > /dev/null
"$host" gen 63 8192 512 2 large.yc > /dev/null

# check CASE LOG OUT CLIP TEXT: OUT is CLIP (the frames as played) unchanged
# and LOG holds exactly one message, which contains TEXT.
check() {
  local name=$1 log=$2 out=$3 clip=$4 text=$5 count
  cmp -s "$out" "$clip" || { fail "$name: the frames did not pass unchanged"; "$host" diff "$clip" "$out" || true; }
  count=$(grep -c '^Nivora Strong: ' "$log" || true)
  [ "$count" = 1 ] || { fail "$name: $count messages, not one"; cat "$log"; }
  grep -q "$text" "$log" || { fail "$name: the message does not say '$text'"; cat "$log"; }
}
# filtered CASE OUT CLIP: the frames of OUT were filtered.
filtered() {
  if cmp -s "$2" "$3"; then fail "$1: the next job was not filtered"; fi
}

# A size it does not take; then a size it does.
cat > size.txt <<'EOF'
wide.yc wide_out.yc 40,0,10 1,0 0-2,1,0
small.yc small_after_size.yc 40,0,10 1,0 0-4
EOF
"$host" run linked size.txt 2 > size.log 2>&1 || fail "the run with a frame too wide failed"
"$host" pick wide.yc wide_played.yc 0,1,2,1,0
# One message over both jobs: none for the size it takes.
check "a frame too wide" size.log wide_out.yc wide_played.yc "8200 x 4"
filtered "after a frame too wide" small_after_size.yc small.yc

# Memory: the window of 8192x512 frames needs about 600 MB; the process gets
# 450 MB of address space, enough for the editor's side and the small clip.
cat > memory.txt <<'EOF'
large.yc large_out.yc 40,0,10 1,0 0-1,0,1
small.yc small_after_memory.yc 40,0,10 1,0 0-4
EOF
status=0
(ulimit -v 450000; exec "$host" run linked memory.txt 2) > memory.log 2>&1 || status=$?
[ $status = 0 ] || { fail "the run short of memory failed (status $status)"; cat memory.log; }
"$host" pick large.yc large_played.yc 0,1,0,1
check "memory short" memory.log large_out.yc large_played.yc "not enough memory"
filtered "after memory ran short" small_after_memory.yc small.yc

# A processor without SSE2: every frame passes, one message; the same
# frames on this processor are filtered.
echo "small.yc cpu_out.yc 40,0,10 1,0 0-4,2" > cpu.txt
"$host" run linked cpu.txt 2 --cpu=none > cpu.log 2>&1 || fail "the run without SSE2 failed"
"$host" pick small.yc small_played.yc 0,1,2,3,4,2
check "no SSE2" cpu.log cpu_out.yc small_played.yc "SSE2"
echo "small.yc cpu_after.yc 40,0,10 1,0 0-4,2" > cpu_after.txt
"$host" run linked cpu_after.txt 2 > cpu_after.log 2>&1 || fail "the run with SSE2 failed"
filtered "with SSE2" cpu_after.yc small_played.yc
if grep -q '^Nivora Strong: ' cpu_after.log; then fail "with SSE2: a message"; fi

finish
echo "strong plug-in: a frame too wide, memory short and no SSE2 each pass the frames unchanged" \
  "with one message, and the next job is filtered"
