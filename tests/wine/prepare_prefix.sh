#!/usr/bin/env bash
# Makes the Wine prefix the checks share (once per build folder; a few seconds
# and about 600 MB). A prefix left half-made by an interrupted run is remade.
set -euo pipefail
prefix=$1
source "$(dirname "$0")/wine_common.sh"
wine_enter_emulation "$0" "$@"

for tool in wine wineserver xvfb-run timeout; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/setup.sh)"; exit 1; }
done
wine_skip_unless_32bit_runs
ready="$prefix/.nivora_ready_2"
if [ -f "$ready" ]; then
  echo "reusing the Wine prefix $prefix"
  exit 0
fi
wine_server_stop
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
start=$(date +%s)
timeout --kill-after=10 $((300 * wine_time_factor)) wineboot --init
timeout $((120 * wine_time_factor)) wineserver -w || true
[ -f "$prefix/system.reg" ] || { echo "wineboot made no prefix"; exit 1; }
# Windows not managed by a window manager: there is none under Xvfb, and Wine
# would wait two seconds for one whenever a window is hidden.
timeout --kill-after=10 $((120 * wine_time_factor)) wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
# A crash ends the run with an error instead of waiting in a dialog.
timeout --kill-after=10 $((120 * wine_time_factor)) wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
  /t REG_DWORD /d 0 /f
timeout $((120 * wine_time_factor)) wineserver -w || true
touch "$ready"
echo "made the Wine prefix $prefix in $(( $(date +%s) - start )) s"
