#!/usr/bin/env bash
# The second plug-in's quality against the command line's: on the clean clips
# of ../shared/clips, chroma brought to every pixel (4:4:4, as YC48 holds it)
# and seeded Gaussian noise added (build/add_noise, the seed from the clip and
# sigma as bench/quality makes it), the plug-in at its defaults (noise 0: the
# estimate from each frame's window; per field on the interlaced clip) through
# the native test editor, and `nivora --sigma auto`; PSNR (Y, and all planes
# pooled) and SSIM (all) of each against the clean clip, by ffmpeg, per clip
# and sigma. The plug-in's frames go back to 8 bits as the editor converts
# YC48 (its luma rounding is 0.42 of a code value low on average) and, in the
# "nearest" columns, with luma rounded to nearest: the filter alone. Prints a
# Markdown table.
#
# usage: bench/strong_plugin_quality.sh [--sigmas "2 5 10"] [--only a,b] [--build DIR]
#        [--clips DIR] [--threads T] [--keep DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sigmas="2 5 10"
only=
build=$root/build
clips=$root/../shared/clips
[ -d "$clips" ] || clips=/work/shared/clips
threads=2
keep=
while [ $# -gt 0 ]; do
  case $1 in
    --sigmas) sigmas=$2; shift ;;
    --only) only=$2; shift ;;
    --build) build=$(realpath "$2"); shift ;;
    --clips) clips=$(realpath "$2"); shift ;;
    --threads) threads=$2; shift ;;
    --keep) keep=$(realpath -m "$2"); shift ;;
    *) sed -n '/^# usage/,/^#        \[--clips/p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
  shift
done
host=$build/tests/plugin_host_strong_native
nivora=$build/cli/nivora
add_noise=$build/add_noise
for f in "$host" "$nivora" "$add_noise"; do
  [ -x "$f" ] || { echo "$f is missing (cmake --build $build)"; exit 1; }
done
if [ -n "$keep" ]; then work=$keep; mkdir -p "$work"; else
  work=$(mktemp -d "${TMPDIR:-/tmp}/nivora_strong_quality.XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi
cd "$work"

# The clips in bench/quality's order (the seed depends on the index).
names="bbb_anim_640x360_30f cisco_vt2people_320x192_9f coffee_pan_352x288_30f
flower_pan_720x480_30f flower_pan_interlaced_tff_720x480_30f"
seed_base=1000

# metrics OUT CLEAN: "psnr_y psnr_all ssim_all"; frames paired by position
# (the test editor's y4m files carry a frame rate of their own).
pair="[0]settb=AVTB,setpts=N[a];[1]settb=AVTB,setpts=N[b];"
metrics() {
  local psnr ssim
  psnr=$(ffmpeg -hide_banner -nostats -i "$1" -i "$2" -lavfi "$pair[a][b]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR y:\([0-9.inf]*\) .* average:\([0-9.inf]*\) .*/\1 \2/p' | tail -1)
  ssim=$(ffmpeg -hide_banner -nostats -i "$1" -i "$2" -lavfi "$pair[a][b]ssim" -f null - 2>&1 |
    sed -n 's/.*SSIM .* All:\([0-9.]*\) .*/\1/p' | tail -1)
  echo "$psnr $ssim"
}

echo "| clip | sigma | noisy PSNR-Y | plug-in PSNR-Y | nearest | nivora PSNR-Y | plug-in PSNR-all | nearest | nivora PSNR-all | plug-in SSIM | nearest | nivora SSIM |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
index=-1
for name in $names; do
  index=$((index + 1))
  if [ -n "$only" ] && [[ ,$only, != *,${name%%_*},* ]] && [[ ,$only, != *,$name,* ]]; then continue; fi
  xz -dc "$clips/$name.y4m.xz" |
    ffmpeg -hide_banner -loglevel error -f yuv4mpegpipe -i - -pix_fmt yuv444p -strict -1 \
      -f yuv4mpegpipe -y clean.y4m
  field=0
  head -c 100 clean.y4m | head -1 | grep -q ' I[tb]' && field=1
  for sigma in $sigmas; do
    seed=$((seed_base + 100 * index + $(awk -v s="$sigma" 'BEGIN { printf "%d", s * 10 }')))
    "$add_noise" "$sigma" "$seed" < clean.y4m > noisy.y4m
    "$host" from-y4m noisy.y4m noisy.yc
    frames=$(od -An -t d4 -j 16 -N 4 noisy.yc | tr -d ' ')  # the clip file's frame count
    echo "noisy.yc plugin.yc 0,0,10 1,$field 0-$((frames - 1))" > job.txt
    "$host" run linked job.txt "$threads" > /dev/null
    "$host" to-y4m plugin.yc plugin.y4m
    "$host" to-y4m plugin.yc nearest.y4m --nearest
    "$nivora" --sigma auto --threads "$threads" -q noisy.y4m cli.y4m
    read -r ny na ns < <(metrics noisy.y4m clean.y4m)
    read -r py pa ps < <(metrics plugin.y4m clean.y4m)
    read -r ry ra rs < <(metrics nearest.y4m clean.y4m)
    read -r cy ca cs < <(metrics cli.y4m clean.y4m)
    echo "| ${name%%_[0-9]*} | $sigma | $ny | $py | $ry | $cy | $pa | $ra | $ca | $ps | $rs | $cs |"
  done
done
