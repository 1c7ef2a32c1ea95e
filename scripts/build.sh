#!/usr/bin/env bash
# Builds the Linux tree (build/) and the 32-bit Windows plug-in (build-win/).
# Without the mingw-w64 compiler (scripts/setup.sh names it when the archive
# would not give it), only the Linux tree is built, and the plug-in's checks
# are left out of its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
win_dir=""
if command -v i686-w64-mingw32-g++-posix >/dev/null; then
  cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/i686-mingw.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build-win -j"$jobs"
  win_dir="$PWD/build-win"
else
  echo "build: i686-w64-mingw32-g++-posix is missing: nivora.auf is not built, and its checks are left out"
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DNIVORA_WIN_BUILD_DIR="$win_dir" >/dev/null
cmake --build build -j"$jobs"
