#!/usr/bin/env bash
# The main job: on a Debian 12 machine, install what is missing, build the
# command line, make a short noisy clip (ffmpeg's generated test picture plus
# seeded noise), denoise it with nivora, and write the result and a
# side-by-side before/after picture.
#
#   scripts/demo.sh [OUTPUT_DIR]      (default: out/demo in the repository)
#
# The filter is meant for light noise; the demo uses strong settings so that
# the difference shows. Other nivora options can be given in NIVORA_OPTIONS,
# e.g. NIVORA_OPTIONS="--quiet" scripts/demo.sh runs with the plug-in's defaults.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:-$root/out/demo}"
build="$root/build-demo"
frames=50
size=640x360

# --- what the demo needs: a C++17 compiler, CMake, make, ffmpeg -------------
missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v g++ >/dev/null || missing+=(g++)
command -v make >/dev/null || missing+=(make)
command -v ffmpeg >/dev/null || missing+=(ffmpeg)
if ((${#missing[@]})); then
  echo "demo: installing ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "demo: run as root or install: ${missing[*]}" >&2; exit 1; }
    sudo=sudo
  fi
  # A mirror in sync can fail one index (apt then exits 100): carry on with
  # the indexes that arrived.
  $sudo apt-get update -qq || echo "demo: some package indexes failed to download; carrying on"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    ca-certificates "${missing[@]}" >/dev/null
fi

# --- build the command line only (no tests, no benchmarks) ------------------
echo "demo: building nivora"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DNIVORA_TESTS=OFF -DNIVORA_BENCH=OFF \
  -G "Unix Makefiles" >/dev/null
cmake --build "$build" --target nivora -j "$(nproc)" >/dev/null
nivora="$build/cli/nivora"

# --- a clean clip and the same clip with seeded noise -----------------------
mkdir -p "$out"
echo "demo: making a ${frames}-frame ${size} clip with noise"
# Slowly turning colour gradients with a moving test pattern on top; the
# noise is seeded, so every run makes the same clip.
ffmpeg -v error -y -f lavfi -i "gradients=size=$size:rate=25:speed=0.02:seed=7:nb_colors=4" \
  -f lavfi -i "testsrc2=size=256x144:rate=25" -filter_complex \
  "[0:v][1:v]overlay=x=352:y=24,format=yuv420p" -frames:v "$frames" "$out/clean.y4m"
ffmpeg -v error -y -i "$out/clean.y4m" -vf "noise=alls=4:allf=t:all_seed=20240601" \
  "$out/noisy.y4m"

# --- denoise ----------------------------------------------------------------
echo "demo: denoising"
# shellcheck disable=SC2086
"$nivora" ${NIVORA_OPTIONS:---track 4,30,30,24,30,30,24,5,5} \
  "$out/noisy.y4m" "$out/denoised.y4m"

# --- before/after picture and how far each clip is from the clean one -------
middle=$((frames / 2))
# Top: whole frames; bottom: the middle of each, enlarged four times.
zoom="crop=160:90:290:110,scale=640:360:flags=neighbor"
ffmpeg -v error -y -i "$out/noisy.y4m" -i "$out/denoised.y4m" -filter_complex \
  "[0:v]select=eq(n\,$middle),split[a][az];[1:v]select=eq(n\,$middle),split[b][bz];
   [az]${zoom}[za];[bz]${zoom}[zb];[a][b]hstack[top];[za][zb]hstack[bottom];
   [top][bottom]vstack" -frames:v 1 "$out/before_after.png"
psnr() {
  ffmpeg -hide_banner -i "$1" -i "$out/clean.y4m" -lavfi psnr -f null - 2>&1 |
    sed -n 's/.*PSNR y:\([0-9.]*\).*average:\([0-9.inf]*\).*/luma \1 dB, average \2 dB/p' | tail -1
}
echo
echo "PSNR against the clean clip: noisy    $(psnr "$out/noisy.y4m")"
echo "                             denoised $(psnr "$out/denoised.y4m")"
echo
echo "denoised clip:        $out/denoised.y4m"
echo "before/after picture: $out/before_after.png (left: noisy, right: denoised, frame $middle)"
