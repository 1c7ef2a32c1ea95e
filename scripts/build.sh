#!/usr/bin/env bash
# Builds the Linux tree (build/) and the 32-bit Windows plug-in (build-win/).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/i686-mingw.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j"$jobs"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DNIVORA_WIN_BUILD_DIR="$PWD/build-win" >/dev/null
cmake --build build -j"$jobs"
