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

# Exit status that CTest reports as a skipped test.
wine_skip_status=77

# i386 programs run through qemu's user-mode emulator when an enabled
# binfmt_misc entry hands them to it (scripts/setup.sh registers one on
# machines that cannot execute them natively; a registration takes precedence
# over native execution).
wine_emulated() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] || continue
    case ${entry##*/} in register|status) continue ;; esac
    grep -qx enabled "$entry" 2>/dev/null &&
      grep -q '^interpreter .*qemu-i386' "$entry" 2>/dev/null && return 0
  done
  return 1
}

# Every limit of a Wine run is multiplied by this: emulated, Wine and the
# plug-in take 20 to 40 times as long as natively.
wine_time_factor=1
wine_emulated && wine_time_factor=${WINE_EMULATION_FACTOR:-12}
wine_timeout=$(( ${WINE_TIMEOUT:-180} * wine_time_factor ))

# With NIVORA_WINE_EMULATE=1, a check runs under the emulator even where i386
# programs run natively: "wine_enter_emulation SCRIPT ARGS..." runs the script
# again in a user and mount namespace of its own, whose private binfmt_misc
# hands i386 programs to qemu-i386 (Linux 6.7 and later). Nothing outside the
# namespace changes. Where that cannot be made, the check skips.
wine_enter_emulation() {
  [ "${NIVORA_WINE_EMULATE-}" = 1 ] || return 0
  [ "${NIVORA_WINE_IN_EMULATION-}" = 1 ] && return 0
  local qemu
  qemu=$(command -v qemu-i386-static || true)
  if [ -z "$qemu" ]; then
    echo "SKIPPED: qemu-i386-static is not installed (scripts/setup.sh installs it where needed)"
    exit "$wine_skip_status"
  fi
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  NIVORA_WINE_IN_EMULATION=1 unshare --user --map-root-user --mount bash -c '
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null &&
      printf "%s" ":nivora-i386:M::$1:$2:$3:F" >/proc/sys/fs/binfmt_misc/register 2>/dev/null ||
      { echo "SKIPPED: no private binfmt_misc here (needs Linux 6.7 and user namespaces)"; exit 77; }
    shift 3
    exec bash "$@"' bash "$magic" "$mask" "$qemu" "$@"
  exit $?
}

# Wine runs the 32-bit plug-in through its 32-bit Linux loader. Some machines
# (and some sandboxes) cannot execute 32-bit programs at all: there every Wine
# run fails with "Exec format error", whatever the plug-in does. Such a machine
# cannot check the plug-in under Wine, so the checks say so and skip.
wine_skip_unless_32bit_runs() {
  local loader=/lib/ld-linux.so.2
  [ -e "$loader" ] || return 0
  if ! "$loader" --version >/dev/null 2>&1; then
    echo "SKIPPED: this machine cannot execute 32-bit programs ($loader --version fails)"
    echo "and no emulator runs them: the plug-in cannot run under Wine here"
    echo "(scripts/setup.sh registers qemu-i386 from bookworm-backports where it can)"
    exit "$wine_skip_status"
  fi
}

wine_server_stop() {
  wineserver -k >/dev/null 2>&1 || true
  timeout $((60 * wine_time_factor)) wineserver -w ||
    echo "warning: the Wine server did not end within $((60 * wine_time_factor)) s"
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
      run_limit=$0 wait_limit=$1
      shift
      wineserver -p
      timeout --kill-after=10 "$run_limit" wine "$@"; status=$?
      wineserver -k >/dev/null 2>&1
      timeout "$wait_limit" wineserver -w
      exit $status' "$wine_timeout" $((60 * wine_time_factor)) "$@"
}
