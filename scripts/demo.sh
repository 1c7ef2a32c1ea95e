#!/usr/bin/env bash
# The main job: on a Debian 12 machine, install what is missing, build the
# command line, make a short noisy clip (ffmpeg's generated pictures plus
# seeded noise, the same bytes on every run), denoise it with nivora's default
# (strong mode at the level it estimates) and with the plug-in's filter, and
# write both results, a side-by-side picture and each clip's PSNR.
#
#   scripts/demo.sh [OUTPUT_DIR]      (default: out/demo in the repository)
#
# The plug-in's filter runs with strong settings so that its difference shows;
# others can be given in PLUGIN_OPTIONS, e.g. PLUGIN_OPTIONS="--plugin" for
# its defaults.
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
# The moving test pattern with a zooming Mandelbrot set on top: both are
# computed from the frame number alone, and the noise is seeded, so every run
# makes the same clip (the gradients source's seed is not kept by every
# ffmpeg, so it is not used).
ffmpeg -v error -y -f lavfi -i "testsrc2=size=$size:rate=25" \
  -f lavfi -i "mandelbrot=size=256x144:rate=25:maxiter=256" -filter_complex \
  "[0:v][1:v]overlay=x=352:y=24,format=yuv420p" -frames:v "$frames" "$out/clean.y4m"
ffmpeg -v error -y -i "$out/clean.y4m" -vf "noise=alls=8:allf=t:all_seed=20240601" \
  "$out/noisy.y4m"

# --- denoise ----------------------------------------------------------------
echo "demo: denoising with the default (strong mode)"
"$nivora" "$out/noisy.y4m" "$out/denoised.y4m"
echo "demo: denoising with the plug-in's filter"
# shellcheck disable=SC2086
"$nivora" ${PLUGIN_OPTIONS:---track 4,30,30,24,30,30,24,5,5} \
  "$out/noisy.y4m" "$out/plugin.y4m"

# --- before/after picture and how far each clip is from the clean one -------
middle=$((frames / 2))
# Top: whole frames; bottom: a part of each, enlarged four times.
zoom="crop=160:90:400:60,scale=640:360:flags=neighbor"
ffmpeg -v error -y -i "$out/noisy.y4m" -i "$out/plugin.y4m" -i "$out/denoised.y4m" \
  -filter_complex \
  "[0:v]select=eq(n\,$middle),split[a][az];[1:v]select=eq(n\,$middle),split[b][bz];
   [2:v]select=eq(n\,$middle),split[c][cz];
   [az]${zoom}[za];[bz]${zoom}[zb];[cz]${zoom}[zc];[a][b][c]hstack=3[top];
   [za][zb][zc]hstack=3[bottom];[top][bottom]vstack" -frames:v 1 "$out/before_after.png"
psnr() {
  ffmpeg -hide_banner -i "$1" -i "$out/clean.y4m" -lavfi psnr -f null - 2>&1 |
    sed -n 's/.*PSNR y:\([0-9.]*\).*average:\([0-9.inf]*\).*/luma \1 dB, average \2 dB/p' | tail -1
}
echo
echo "PSNR against the clean clip: noisy               $(psnr "$out/noisy.y4m")"
echo "                             plug-in's filter    $(psnr "$out/plugin.y4m")"
echo "                             default (strong)    $(psnr "$out/denoised.y4m")"
echo
echo "denoised clips:       $out/denoised.y4m (default), $out/plugin.y4m (plug-in's filter)"
echo "before/after picture: $out/before_after.png (noisy, plug-in's filter, default; frame $middle)"
