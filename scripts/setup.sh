#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12.
# Safe to run again: it installs only what is missing.
#
# It never stops for the package archive. An index that fails to download is
# named and the rest is used; the packages of the build and the Linux tests go
# in first, the Wine packages on their own, so that a failure there cannot
# keep the rest out. Whatever could not be installed is named in the last
# lines, and the checks that need it report themselves as skipped.
#
# Where 32-bit programs cannot run natively (the i386 loader fails with "Exec
# format error"), i386 programs are registered to run through qemu's user-mode
# emulator, so that the plug-in still runs under Wine.
#
# NIVORA_SETUP_LOADER names the i386 loader to probe and NIVORA_SETUP_APT_DIR
# apt's configuration folder (the set-up's own test points both elsewhere).
set -uo pipefail

# parallel, openssh-client/-server and rsync: nivora-farm and its tests;
# libavformat-dev, libavcodec-dev, libswscale-dev, libavutil-dev (found with
# pkg-config): containers in and out; without them nivora refuses them;
# dpkg-dev: the Debian package's library dependencies (dpkg-shlibdeps);
# lintian: the check of the Debian package;
# xvfb and xauth: the settings-window checks under Wine.
core=(g++ cmake make libgtest-dev libbenchmark-dev ffmpeg pkg-config
      libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
      g++-mingw-w64-i686-posix xvfb xauth locales
      parallel openssh-client openssh-server rsync dpkg-dev lintian)
# The plug-in under Wine: the 32-bit Wine and its loader.
wine_packages=(wine wine32:i386)
# The emulator for i386 programs. Debian 12's own qemu (7.2) runs plain i386
# programs but cannot start Wine 8; the one from bookworm-backports can.
qemu_package=qemu-user-static
qemu_binary=${NIVORA_SETUP_QEMU:-/usr/bin/qemu-i386-static}
qemu_min_major=8

loader=${NIVORA_SETUP_LOADER:-/lib/ld-linux.so.2}
apt_dir=${NIVORA_SETUP_APT_DIR:-/etc/apt}
binfmt=/proc/sys/fs/binfmt_misc
binfmt_name=nivora-i386

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-bookworm}")
[ -n "$codename" ] || codename=bookworm

skipped=()
say() { echo "setup: $*"; }

apt_get() {
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get -o DPkg::Lock::Timeout=600 -q "$@"
}

is_installed() {
  dpkg -s "$1" 2>/dev/null | grep -q '^Status: install ok installed'
}

missing_of() {
  local p
  for p in "$@"; do is_installed "$p" || printf '%s\n' "$p"; done
}

# apt's own reason, in at most three lines.
apt_reason() {
  grep -E '^(E:|Err:| .* but .* (is|are) to be installed| .*not going to be installed)' |
    head -3 | sed 's/^/setup:   /'
}

# Downloads the indexes, three tries. When some index still fails, apt keeps
# the ones that arrived (and any older copy of the rest): carry on with those.
indexes_fresh=0
update_indexes() {
  local try out
  for try in 1 2 3; do
    if out=$(apt_get update 2>&1); then
      indexes_fresh=1
      return 0
    fi
    [ "$try" -lt 3 ] && sleep $((try * 5))
  done
  indexes_fresh=1
  say "warning: some package indexes failed to download (tried 3 times); carrying on with the others:"
  apt_reason <<<"$out"
}

# install_set NAME [APT-OPTIONS --] PACKAGES...: installs what is missing of
# PACKAGES. A set apt refuses is tried again preferring the release's own
# suite (when the i386 index of the security suite is missing, the i386 halves
# of multi-arch pairs exist only there, and apt must take the amd64 halves from
# there too), and then package by package; what still fails is recorded.
install_set() {
  local name=$1; shift
  local opts=()
  if [ "${1-}" = "--opts" ]; then
    shift
    while [ "$1" != "--" ]; do opts+=("$1"); shift; done
    shift
  fi
  local missing
  mapfile -t missing < <(missing_of "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  [ "$indexes_fresh" -eq 1 ] || update_indexes
  say "installing ${missing[*]}"
  local out
  if out=$(apt_get install -y --no-install-recommends "${opts[@]}" "${missing[@]}" 2>&1); then
    return 0
  fi
  say "apt refused the $name packages as a whole:"
  apt_reason <<<"$out"
  if [ ${#opts[@]} -eq 0 ]; then
    say "trying again with the packages of the $codename suite preferred"
    if out=$(apt_get install -y --no-install-recommends -t "$codename" "${missing[@]}" 2>&1); then
      return 0
    fi
    apt_reason <<<"$out"
  fi
  local p failed=()
  for p in "${missing[@]}"; do
    is_installed "$p" && continue
    apt_get install -y --no-install-recommends "${opts[@]}" "$p" >/dev/null 2>&1 ||
      apt_get install -y --no-install-recommends -t "$codename" "$p" >/dev/null 2>&1 ||
      failed+=("$p")
  done
  if [ ${#failed[@]} -gt 0 ]; then
    skipped+=("$name: ${failed[*]}")
    return 1
  fi
  return 0
}

loader_runs() {
  [ -e "$loader" ] && "$loader" --version >/dev/null 2>&1
}

# The major version of the installed emulator, or 0.
qemu_major() {
  local v
  v=$(dpkg-query -W -f '${Version}' "$qemu_package" 2>/dev/null) || { echo 0; return; }
  v=${v#*:}
  echo "${v%%.*}"
}

backports_source() {
  echo "deb http://deb.debian.org/debian $codename-backports main"
}

# Installs qemu-i386 from backports (upgrading an older one); true when a
# recent enough emulator is there.
install_emulator() {
  if [ "$(qemu_major)" -lt "$qemu_min_major" ]; then
    local list=$apt_dir/sources.list.d/nivora-backports.list
    if ! grep -rqs "$codename-backports" "$apt_dir/sources.list" "$apt_dir/sources.list.d/"; then
      backports_source | "${sudo_cmd[@]}" tee "$list" >/dev/null
      update_indexes
    fi
    install_set emulator --opts -t "$codename-backports" -- "$qemu_package" || true
    # An older emulator already installed is upgraded, not skipped as present.
    if [ "$(qemu_major)" -lt "$qemu_min_major" ]; then
      apt_get install -y --no-install-recommends -t "$codename-backports" "$qemu_package" \
        >/dev/null 2>&1 || true
    fi
  fi
  [ "$(qemu_major)" -ge "$qemu_min_major" ] && [ -x "$qemu_binary" ]
}

# Makes i386 programs run through qemu-i386: the emulator from backports,
# registered in binfmt_misc with the F flag (the kernel opens the emulator
# once, at registration, so it works in every mount namespace and chroot).
# The registration is machine-wide and lasts until the next reboot.
register_emulator() {
  local qemu=$qemu_binary
  if ! install_emulator; then
    skipped+=("32-bit programs: this machine cannot execute them and qemu-user $qemu_min_major or later from $codename-backports could not be installed")
    return 1
  fi
  if [ ! -e "$binfmt/register" ]; then
    "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null
  fi
  if [ ! -e "$binfmt/register" ]; then
    skipped+=("32-bit programs: binfmt_misc cannot be mounted here, so qemu-i386 cannot be registered")
    return 1
  fi
  if [ -e "$binfmt/$binfmt_name" ]; then
    echo -1 | "${sudo_cmd[@]}" tee "$binfmt/$binfmt_name" >/dev/null
  fi
  # ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386).
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf '%s' ":$binfmt_name:M::$magic:$mask:$qemu:F" |
    "${sudo_cmd[@]}" tee "$binfmt/register" >/dev/null 2>&1
  if loader_runs; then
    say "this machine cannot execute 32-bit programs: they now run through qemu-i386 $(qemu_major) (user-mode emulation, registered as $binfmt_name until the next reboot), and the Wine checks run under it"
    return 0
  fi
  skipped+=("32-bit programs: they fail even through qemu-i386 ($loader --version)")
  return 1
}

install_set "build and Linux test" "${core[@]}"

# Wine needs the i386 architecture; adding it changes what the next index
# download fetches.
if [ -n "$(missing_of "${wine_packages[@]}")" ]; then
  if ! dpkg --print-foreign-architectures 2>/dev/null | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    indexes_fresh=0
  fi
fi
# Where 32-bit programs run natively the emulator is still installed (not
# registered): one Wine check renders through it, in a private binfmt_misc,
# so that the emulated path stays tested on every machine.
if install_set Wine "${wine_packages[@]}"; then
  if loader_runs; then
    install_emulator ||
      skipped+=("the emulated Wine check: qemu-user $qemu_min_major or later from $codename-backports could not be installed")
  else
    register_emulator
  fi
fi

# The settings-window checks run the plug-in under the Japanese code page.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  if [ -w /etc/locale.gen ] || [ ${#sudo_cmd[@]} -gt 0 ]; then
    "${sudo_cmd[@]}" sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8' /etc/locale.gen ||
      echo 'ja_JP.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    "${sudo_cmd[@]}" locale-gen >/dev/null 2>&1 || skipped+=("the ja_JP.UTF-8 locale (locale-gen failed)")
  else
    skipped+=("the ja_JP.UTF-8 locale (/etc/locale.gen is not writable)")
  fi
fi

if [ ${#skipped[@]} -gt 0 ]; then
  say "left out (the checks that need it report themselves as skipped):"
  for s in "${skipped[@]}"; do say "  $s"; done
fi
# The build itself cannot go on without its compilers.
for tool in g++ cmake make; do
  command -v "$tool" >/dev/null || { say "cannot go on without $tool"; exit 1; }
done
exit 0
