#!/usr/bin/env bash
# Frames per second of nivora next to ffmpeg's own denoisers (hqdn3d,
# atadenoise, vaguedenoiser) on the same generated clips, in one run, with the
# ratios to nivora, so that no figure stands alone. The machines we run on are
# shared and noisy: runs are interleaved round by round and the best of the
# rounds is kept for every tool, and only the ratios of one run should be
# compared.
#
#   scripts/bench_peers.sh [options]
#     --nivora PATH     the command-line host (default: build/cli/nivora,
#                       else build-bench/cli/nivora, else nivora on the PATH)
#     --threads N       threads for every tool (default 2)
#     --repeat N        rounds; the fastest run of each tool counts (default 3)
#     --frames-large N  frames of the 1920x1080 clip (default 40)
#     --frames-small N  frames of the 720x480 clip (default 150)
#     --sizes "WxH ..." clip sizes (default "1920x1080 720x480")
#     --keep DIR        generate the clips in DIR and keep them (reused when
#                       present); default: a temporary directory, removed
#
# nivora runs the plug-in's filter at its defaults (--plugin); other options
# can be given in NIVORA_OPTIONS instead (e.g. "--frame 3", "--sigma auto").
# The clips are ffmpeg's testsrc2 with seeded temporal noise, yuv420p y4m.
# Every tool reads the same file (from the page cache after the first round)
# and writes to a null sink, so reading and parsing the input is part of every
# figure; the "ffmpeg, no filter" row shows what that costs.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
nivora=""
threads=2
repeat=3
frames_large=40
frames_small=150
sizes="1920x1080 720x480"
keep=""

while (($#)); do
  case "$1" in
    --nivora) nivora="$2"; shift 2 ;;
    --threads) threads="$2"; shift 2 ;;
    --repeat) repeat="$2"; shift 2 ;;
    --frames-large) frames_large="$2"; shift 2 ;;
    --frames-small) frames_small="$2"; shift 2 ;;
    --sizes) sizes="$2"; shift 2 ;;
    --keep) keep="$2"; shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench_peers: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done

if [ -z "$nivora" ]; then
  for candidate in "$root/build/cli/nivora" "$root/build-bench/cli/nivora"; do
    if [ -x "$candidate" ]; then nivora="$candidate"; break; fi
  done
  [ -n "$nivora" ] || nivora="$(command -v nivora || true)"
fi
if [ -z "$nivora" ] || [ ! -x "$nivora" ]; then
  echo "bench_peers: no nivora binary (--nivora PATH)" >&2
  exit 1
fi
command -v ffmpeg >/dev/null || { echo "bench_peers: ffmpeg is needed" >&2; exit 1; }
have_time=0
[ -x /usr/bin/time ] && have_time=1

if [ -n "$keep" ]; then
  work="$keep"
  mkdir -p "$work"
else
  work="$(mktemp -d "${TMPDIR:-/tmp}/bench_peers.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
fi

# --- the clips -------------------------------------------------------------
clip_frames() { [ "$1" = 1920x1080 ] && echo "$frames_large" || echo "$frames_small"; }
for size in $sizes; do
  n=$(clip_frames "$size")
  clip="$work/clip_${size}_${n}.y4m"
  if [ ! -s "$clip" ]; then
    echo "bench_peers: generating $clip ($n frames)" >&2
    ffmpeg -hide_banner -nostdin -loglevel error -y \
      -f lavfi -i "testsrc2=size=$size:rate=25,noise=alls=12:allf=t+u:all_seed=4242" \
      -frames:v "$n" -pix_fmt yuv420p "$clip"
  fi
done

# --- the tools ---------------------------------------------------------------
tools=(nivora hqdn3d atadenoise vaguedenoiser none)
label() {
  case "$1" in
    nivora) echo "nivora" ;;
    none) echo "ffmpeg, no filter" ;;
    *) echo "ffmpeg $1" ;;
  esac
}
# Sets cmd to the command line of a tool on a clip.
command_for() {  # tool clip
  if [ "$1" = nivora ]; then
    local extra=()
    # The plug-in's filter at its defaults unless options are given: without
    # a filter option the command line runs strong mode.
    read -r -a extra <<< "${NIVORA_OPTIONS:---plugin}"
    cmd=("$nivora" --threads "$threads" --quiet --output-format null "${extra[@]}" "$2" -)
  else
    local vf="$1"
    [ "$vf" = none ] && vf=null
    cmd=(ffmpeg -hide_banner -nostdin -loglevel error -filter_threads "$threads"
      -threads "$threads" -i "$2" -vf "$vf" -threads "$threads" -f null -)
  fi
}

# Runs one command; prints "seconds peak_kB".
measure() {
  local start end peak=0 memfile="$work/time.out"
  start=$(date +%s%N)
  if ((have_time)); then
    /usr/bin/time -f %M -o "$memfile" "$@" >/dev/null
    peak=$(tail -n 1 "$memfile")
  else
    "$@" >/dev/null
  fi
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 )) $peak"
}

declare -A best_us peak_kb
echo "bench_peers: $repeat rounds, $threads threads; load: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for ((round = 1; round <= repeat; round++)); do
  for size in $sizes; do
    clip="$work/clip_${size}_$(clip_frames "$size").y4m"
    for tool in "${tools[@]}"; do
      command_for "$tool" "$clip"
      read -r us kb < <(measure "${cmd[@]}")
      key="$size/$tool"
      if [ -z "${best_us[$key]:-}" ] || ((us < best_us[$key])); then best_us[$key]=$us; fi
      if [ -z "${peak_kb[$key]:-}" ] || ((kb > peak_kb[$key])); then peak_kb[$key]=$kb; fi
    done
  done
  echo "bench_peers: round $round done; load: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
done

# --- the table -----------------------------------------------------------------
echo "nivora: $nivora ${NIVORA_OPTIONS:-}"
echo "threads: $threads; best of $repeat rounds; load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-10s %-22s %8s %12s %9s\n' size tool fps nivora/tool "peak MB"
for size in $sizes; do
  n=$(clip_frames "$size")
  nivora_us=${best_us[$size/nivora]}
  for tool in "${tools[@]}"; do
    us=${best_us[$size/$tool]}
    awk -v size="$size" -v tool="$(label "$tool")" -v n="$n" -v us="$us" -v ref="$nivora_us" \
        -v kb="${peak_kb[$size/$tool]}" 'BEGIN {
      fps = n / (us / 1e6); nfps = n / (ref / 1e6);
      mem = kb > 0 ? sprintf("%9.1f", kb * 1024 / 1e6) : sprintf("%9s", "-");
      printf "%-10s %-22s %8.2f %12.2f %s\n", size, tool, fps, nfps / fps, mem }'
  done
done
if [[ " $sizes " == *" 1920x1080 "* ]]; then
  awk -v a="${best_us[1920x1080/vaguedenoiser]}" -v b="${best_us[1920x1080/nivora]}" 'BEGIN {
    r = a / b
    printf "target: nivora at least twice the rate of vaguedenoiser at 1920x1080: %.2fx (%s)\n",
      r, (r >= 2 ? "met" : "MISSED") }'
fi
