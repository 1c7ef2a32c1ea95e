# Shared by the Wine checks (sourced): the environment of every Wine run and
# helpers that never let a run hang. Expects $prefix to be set.
#
# A check keeps one Wine server alive for all its runs (wine_server_start) and
# stops it at the end: a server left to end by itself races with the next run
# ("recvmsg: Connection reset by peer"). Only this prefix's server is touched.

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No installers for .NET or the HTML engine when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

wine_timeout=${WINE_TIMEOUT:-180}

# Exit status that CTest reports as a skipped test.
wine_skip_status=77

# Wine runs the 32-bit plug-in through its 32-bit Linux loader. Some machines
# (and some sandboxes) cannot execute 32-bit programs at all: there every Wine
# run fails with "Exec format error", whatever the plug-in does. Such a machine
# cannot check the plug-in under Wine, so the checks say so and skip.
wine_skip_unless_32bit_runs() {
  local loader=/lib/ld-linux.so.2
  [ -e "$loader" ] || return 0
  if ! "$loader" --version >/dev/null 2>&1; then
    echo "SKIPPED: this machine cannot execute 32-bit programs ($loader --version fails);"
    echo "the plug-in cannot run under Wine here"
    exit "$wine_skip_status"
  fi
}

wine_server_stop() {
  wineserver -k >/dev/null 2>&1 || true
  timeout 60 wineserver -w || echo "warning: the Wine server did not end within 60 s"
}

# Starts a server without a display that lives until wine_server_stop.
wine_server_start() {
  wine_server_stop
  wineserver -p
  trap wine_server_stop EXIT
}

# A console run without a display: wine_run PROGRAM ARGS...
wine_run() {
  timeout --kill-after=10 "$wine_timeout" wine "$@"
}

# A run under a virtual display and the Japanese code page, with a server of
# its own that ends before the display goes away.
wine_run_gui() {
  if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "the ja_JP.UTF-8 locale is missing (scripts/setup.sh generates it)"
    return 1
  fi
  wine_server_stop
  LC_ALL=ja_JP.UTF-8 timeout --kill-after=10 $((wine_timeout + 60)) \
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
      wineserver -p
      timeout --kill-after=10 "$0" wine "$@"; status=$?
      wineserver -k >/dev/null 2>&1
      timeout 60 wineserver -w
      exit $status' "$wine_timeout" "$@"
}
