#!/usr/bin/env bash
# The second plug-in (strong mode in the editor) driven by the native test
# editor through its table: every setting kind, frames identical whatever the
# play order (forward, backward, random with a start of saving and a setting
# change between), the worker count (1, 2, 3, 4, 7) and the kernels (scalar or
# the processor's); a frame the cache does not deliver leaves that frame
# unchanged and the others as they were; and against the command line's
# `nivora --sigma S` and `--sigma auto` on the same 8-bit clip, no sample
# further apart than the one code value the conversions to and from YC48 may
# cost.
# Usage: strong_plugin.sh NATIVE_HOST NIVORA
set -euo pipefail
host=$(realpath "$1") nivora=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Clips made 8-bit exact (through y4m), so the command line reads the same
# pictures: name seed width height frames.
while read -r name seed w h n; do
  "$host" gen "$seed" "$w" "$h" "$n" raw.yc
  "$host" to-y4m raw.yc "$name.y4m"
  "$host" from-y4m "$name.y4m" "$name.yc"
done <<'CLIPS'
small 51 64 48 7
odd 52 100 70 7
CLIPS

# Settings: name, track values (noise in tenths, radius, spatial in tenths),
# check values (chroma, per field).
settings="estimate 0,0,10 1,0
given 40,0,10 1,0
fields_r2 60,2,20 0,1
no_spatial 60,1,0 1,1
"
# Orders: name, play list, the frames in the order played.
orders="forward 0-6 0,1,2,3,4,5,6
backward 6-0 6,5,4,3,2,1,0
random 3,0,u,6,s,2,5,1,u,4 3,0,6,2,5,1,4
"
for clip in small odd; do
  : > jobs.txt
  while read -r s track check; do
    [ -n "$s" ] || continue
    while read -r order list positions; do
      [ -n "$order" ] || continue
      echo "$clip.yc out_T_${s}_$order.yc $track $check $list" >> jobs.txt
    done <<< "$orders"
  done <<< "$settings"
  for variant in t1:1 t2:2 t3:3 t4:4 t7:7 ref:1:--kernels=ref; do
    IFS=: read -r tag threads kernels <<< "$variant"
    sed "s/_T_/_${tag}_/" jobs.txt > "jobs_$tag.txt"
    "$host" run linked "jobs_$tag.txt" "$threads" $kernels > "log_$tag.txt" || {
      cat "log_$tag.txt"; fail "$clip: the $tag run failed"; }
  done
  # Frames in frame order, from the forward run on one thread.
  while read -r s track check; do
    [ -n "$s" ] || continue
    reference="out_t1_${s}_forward.yc"
    "$host" not-cleared "$reference" > /dev/null || fail "$clip $s: cleared frames"
    if cmp -s "$reference" "$clip.yc"; then fail "$clip $s: the clip came back unchanged"; fi
    while read -r order list positions; do
      [ -n "$order" ] || continue
      for tag in t1 t2 t3 t4 t7 ref; do
        out="out_${tag}_${s}_$order.yc"
        # Position of each frame 0.. in the play order.
        picks=$(echo "$positions" | tr ',' '\n' | awk '{ pos[$1] = NR - 1 } END {
          for (i = 0; i < NR; ++i) printf "%s%d", (i ? "," : ""), pos[i] }')
        "$host" pick "$out" ordered.yc "$picks"
        cmp -s "$reference" ordered.yc || { fail "$clip $s: $tag $order differs";
          "$host" diff "$reference" ordered.yc || true; }
      done
    done <<< "$orders"
  done <<< "$settings"
  rm -f out_*.yc
done

# A frame the cache does not deliver: that frame passes unchanged, and its
# neighbours are filtered without it, alike on every thread count.
echo "small.yc miss1.yc 40,0,10 1,0 0-6 missing=3" > miss1.txt
echo "small.yc miss4.yc 40,0,10 1,0 0-6 missing=3" > miss4.txt
"$host" run linked miss1.txt 1 > /dev/null || fail "the run with a missing frame failed"
"$host" run linked miss4.txt 4 > /dev/null || fail "the run with a missing frame failed (4)"
cmp -s miss1.yc miss4.yc || fail "a missing frame: 1 and 4 threads differ"
"$host" pick miss1.yc m3.yc 3
"$host" pick small.yc s3.yc 3
cmp -s m3.yc s3.yc || fail "the missing frame did not pass unchanged"

# Against the command line on the same clips, a given noise level, and the
# estimate: the clips are no longer than a window, so every frame's window is
# the whole clip, the very frames `--sigma auto` reads (the clips' samples at
# the 8-bit ends among them).
for clip in small odd; do
  for sigma in 4 6 auto; do
    track=0
    [ "$sigma" = auto ] || track=$((sigma * 10))
    echo "$clip.yc p.yc $track,0,10 1,0 0-6" > cli.txt
    "$host" run linked cli.txt 2 > /dev/null || fail "$clip sigma $sigma: the run failed"
    "$host" to-y4m p.yc p.y4m
    "$nivora" --sigma "$sigma" "$clip.y4m" c.y4m 2> /dev/null
    echo -n "$clip, sigma $sigma, plug-in against the command line: "
    "$host" compare-y4m p.y4m c.y4m 1 || fail "$clip sigma $sigma: further from the command line than the conversions"
  done
done

[ $failures -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "strong plug-in: play orders, threads 1-7, scalar kernels, a missing frame and the command line agree"
