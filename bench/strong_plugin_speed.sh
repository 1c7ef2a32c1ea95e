#!/usr/bin/env bash
# The second plug-in's cost per frame against the command line's strong mode,
# measured in one run on the same clip and settings: the plug-in through its
# table in the native test editor (plugin_host_strong_native, the 64-bit build
# of the plug-in's code) and `nivora --sigma S` reading the same pictures as
# 8-bit 4:4:4 y4m (YC48 keeps chroma at every pixel, so 4:4:4 is the same
# work), with the same worker count.
#
# Each side plays a short and a long run of the clip; the cost of a frame is
# the difference over the difference in frames, so start-up and the window's
# first frames cancel out. Wall time: the time inside the plug-in's func_proc
# (the editor's own work, filling its buffers and checking their guards, left
# out; its frame cache's fetches are inside), nivora's whole run (reading y4m
# is part of its frame). Processor time (all threads): the process's inside
# func_proc, nivora's of the process. Each run is repeated --rounds times, interleaved,
# and the fastest kept. Also printed: the plug-in's heap in use after the
# play (every buffer it holds) and nivora's peak resident memory.
#
# usage: bench/strong_plugin_speed.sh [options]
#   --size WxH        default 1920x1080
#   --sigma S         noise level of both (the plug-in's track: 10 S), default 4
#                     ("auto": the plug-in estimates, nivora --sigma auto)
#   --radius R        the plug-in's radius track (0: from the level), default 0
#   --chroma 0|1      the plug-in's chroma check box, default 1
#   --threads T       default 2
#   --frames A,B      frames of the short and the long run, default 6,16
#   --rounds N        default 3
#   --build DIR       the Linux build folder (default build)
#   --clip FILE       the pictures to play instead of the generated clip: any
#                     clip ffmpeg reads, scaled to --size, made 8-bit 4:4:4,
#                     with seeded noise of deviation --sigma (4 for auto)
#                     added, as footage of that noise level would carry
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size=1920x1080
sigma=4
radius=0
chroma=1
threads=2
frames=6,16
rounds=3
build=$root/build
clip=
while [ $# -gt 0 ]; do
  case $1 in
    --size) size=$2; shift ;;
    --sigma) sigma=$2; shift ;;
    --radius) radius=$2; shift ;;
    --chroma) chroma=$2; shift ;;
    --threads) threads=$2; shift ;;
    --frames) frames=$2; shift ;;
    --rounds) rounds=$2; shift ;;
    --build) build=$(realpath "$2"); shift ;;
    --clip) clip=$(realpath "$2"); shift ;;
    *) sed -n '/^# usage/,/^#   --build/p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
  shift
done
host=$build/tests/plugin_host_strong_native
nivora=$build/cli/nivora
for f in "$host" "$nivora"; do
  [ -x "$f" ] || { echo "$f is missing (cmake --build $build)"; exit 1; }
done
w=${size%x*} h=${size#*x}
short=${frames%,*} long=${frames#*,}
[ "$long" -gt "$short" ] || { echo "--frames: the long run must be longer"; exit 2; }
if [ "$sigma" = auto ]; then track=0; else track=$(awk -v s="$sigma" 'BEGIN { printf "%d", s * 10 + 0.5 }'); fi

work=$(mktemp -d "${TMPDIR:-/tmp}/nivora_strong_speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
if [ -n "$clip" ]; then
  # ffmpeg's noise filter: uniform in +-alls, deviation alls / sqrt(3).
  level=$([ "$sigma" = auto ] && echo 4 || echo "$sigma")
  amount=$(awk -v s="$level" 'BEGIN { printf "%d", s * sqrt(3) + 0.5 }')
  ffmpeg -nostdin -v error -y -stream_loop -1 -i "$clip" -frames:v "$long" \
    -vf "scale=$w:$h,format=yuv444p,noise=alls=$amount:allf=t:all_seed=7" -f yuv4mpegpipe clip.y4m
else
  "$host" gen 7 "$w" "$h" "$long" raw.yc > /dev/null
  "$host" to-y4m raw.yc clip.y4m
  rm raw.yc
fi
"$host" from-y4m clip.y4m clip.yc

# plugin N: "wall_ms cpu_ms heap_bytes" of the calls of func_proc in the
# editor's play of frames 0..N-1.
plugin() {
  echo "clip.yc out.yc $track,$radius,10 $chroma,0 0-$(($1 - 1))" > job.txt
  NIVORA_HOST_MEASURE=1 "$host" run linked job.txt "$threads" |
    sed -n 's/.*measured: .* in func_proc \([0-9.]*\) ms, processor \([0-9.]*\) ms, filter heap \([0-9-]*\) bytes, cache filling \([0-9.]*\) ms/\1 \2 \3 \4/p'
}
# cli N: "wall_ms cpu_ms peak_rss_bytes" of nivora on frames 0..N-1.
cli() {
  /usr/bin/time -f '%e %U %S %M' -o time.txt "$nivora" --sigma "$sigma" --threads "$threads" \
    --range "0:$1" -q clip.y4m --output-format null - > /dev/null 2> cli_err.txt ||
    { cat cli_err.txt; return 1; }
  awk '{ printf "%.0f %.0f %.0f\n", $1 * 1000, ($2 + $3) * 1000, $4 * 1024 }' time.txt
}

best() {  # best FILE: the smallest of each column
  awk '{ for (i = 1; i <= NF; ++i) if (NR == 1 || $i < m[i]) m[i] = $i }
       END { for (i = 1; i <= NF; ++i) printf "%s%s", m[i], (i < NF ? " " : "\n") }' "$1"
}

: > p_short; : > p_long; : > c_short; : > c_long
for ((r = 1; r <= rounds; ++r)); do
  plugin "$short" >> p_short
  cli "$short" >> c_short
  plugin "$long" >> p_long
  cli "$long" >> c_long
done
for f in p_short p_long c_short c_long; do
  [ -s $f ] || { echo "no result from the $f runs"; exit 1; }
done
read -r ps_wall ps_cpu ps_heap ps_fill < <(best p_short)
read -r pl_wall pl_cpu pl_heap pl_fill < <(best p_long)
read -r cs_wall cs_cpu cs_rss < <(best c_short)
read -r cl_wall cl_cpu cl_rss < <(best c_long)

echo "strong plug-in against nivora --sigma $sigma, ${w}x$h, $threads threads, radius track $radius," \
  "chroma $chroma; frames $short and $long, best of $rounds; load: $(cut -d' ' -f1-3 /proc/loadavg)"
awk -v n=$((long - short)) -v plw="$pl_wall" -v psw="$ps_wall" -v plc="$pl_cpu" -v psc="$ps_cpu" \
    -v cw=$((cl_wall - cs_wall)) -v cc=$((cl_cpu - cs_cpu)) -v heap="$pl_heap" -v rss="$cl_rss" \
    -v plf="$pl_fill" -v psf="$ps_fill" 'BEGIN {
  pw = plw - psw; pc = plc - psc; pf = plf - psf
  printf "%-22s %12s %12s\n", "per frame (ms)", "wall", "processor"
  printf "%-22s %12.1f %12.1f\n", "plug-in", pw / n, pc / n
  printf "%-22s %12.1f %12.1f\n", "nivora --sigma", cw / n, cc / n
  printf "%-22s %11.3fx %11.3fx\n", "ratio", pw / cw, pc / cc
  printf "of the plug-in wall time, %.1f ms a frame is the test editor filling its frame cache\n", pf / n
  printf "(a copy of the frame); without it the ratio is %.3fx\n", (pw - pf) / cw
  printf "plug-in heap after the play: %.1f MB; nivora peak resident: %.1f MB\n", heap / 1e6, rss / 1e6
}'
