#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12.
# Safe to run again: it installs only what is missing.
set -euo pipefail

# parallel, openssh-client/-server and rsync: nivora-farm and its tests;
# dpkg-dev: the Debian package's library dependencies (dpkg-shlibdeps).
packages=(g++ cmake make libgtest-dev libbenchmark-dev ffmpeg
          g++-mingw-w64-i686-posix wine wine32:i386 xvfb xauth locales
          parallel openssh-client openssh-server rsync dpkg-dev lintian)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd dpkg --add-architecture i386
  $sudo_cmd apt-get -o DPkg::Lock::Timeout=600 update -q
  $sudo_cmd apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
fi
# The settings-window tests run the plug-in under the Japanese code page.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo_cmd tee -a /etc/locale.gen >/dev/null
  $sudo_cmd locale-gen >/dev/null
fi
