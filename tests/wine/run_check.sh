#!/usr/bin/env bash
# Runs one check of the plug-in under Wine in a fresh work folder:
#   run_check.sh CHECK WORK PREFIX HOST_EXE PLUGIN NATIVE_HOST
# CHECK names tests/wine/check_CHECK.sh, which runs with these variables set:
#   here (this folder), work, prefix, native (the Linux build of the test
#   editor); the work folder holds plugin_host.exe and nivora.auf, fresh copies.
set -euo pipefail
check=$1 work=$2 prefix=$3 host_exe=$4 plugin=$5 native=$6
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_common.sh"
wine_enter_emulation "$0" "$@"
wine_skip_unless_32bit_runs

for f in "$host_exe" "$plugin" "$native"; do
  [ -f "$f" ] || { echo "missing $f (build both trees: scripts/build.sh)"; exit 1; }
done
rm -rf "$work"
mkdir -p "$work"
cp "$host_exe" "$work/plugin_host.exe"
cp "$plugin" "$work/nivora.auf"
cd "$work"
start=$(date +%s)
source "$here/check_$check.sh"
wine_emulated && how=" (i386 emulated through qemu)" || how=""
echo "check $check passed in $(( $(date +%s) - start )) s$how"
