#!/usr/bin/env bash
# Set-up, build and every test: the Linux tests, the plug-in's imports and
# export, and the plug-in under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
cd build
ctest --output-on-failure -j"$(nproc)" --timeout 1200
