#!/usr/bin/env bash
# Installing and packaging, as a user would from a build folder:
#   install.sh BUILD_DIR VERSION
# cmake --install puts the commands into bin/ and their compressed manual
# pages into share/man/man1/; cpack makes nivora_<version>_<arch>.deb, which installs
# into a scratch root (dpkg --root, this system untouched), whose library
# dependencies this system meets, and whose nivora runs and denoises.
set -uo pipefail
build="$1"
version="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/clip.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# --- cmake --install ---------------------------------------------------------
cmake --install "$build" --prefix "$work/prefix" > "$work/log" 2>&1 || fail "cmake --install: $(cat "$work/log")"
for file in bin/nivora bin/nivora-farm share/man/man1/nivora.1.gz share/man/man1/nivora-farm.1.gz \
            share/doc/nivora/copyright share/doc/nivora/changelog.gz; do
  [ -f "$work/prefix/$file" ] || fail "cmake --install did not install $file"
done
for file in bin/nivora bin/nivora-farm; do
  [ -x "$work/prefix/$file" ] || fail "$file is not executable"
done
out="$("$work/prefix/bin/nivora" --version 2>&1)"
[ "$out" = "nivora $version" ] || fail "installed nivora --version: '$out'"
for page in nivora nivora-farm; do
  gz="$work/prefix/share/man/man1/$page.1.gz"
  [ -f "$gz" ] || continue
  zcat "$gz" | grep -q "\"nivora $version\"" || fail "the manual page of $page does not carry version $version"
  if command -v groff > /dev/null; then
    warnings="$(zcat "$gz" | groff -man -Tutf8 -ww -z 2>&1)"
    [ -z "$warnings" ] || fail "the manual page of $page does not format cleanly: $warnings"
  fi
done

# --- cpack: the Debian package ------------------------------------------------
arch="$(dpkg --print-architecture)"
deb="$work/pack/nivora_${version}_${arch}.deb"
(cd "$build" && cpack --config "$build/CPackConfig.cmake" -B "$work/pack") > "$work/log" 2>&1 ||
  fail "cpack: $(cat "$work/log")"
if [ ! -f "$deb" ]; then
  fail "cpack made no $(basename "$deb"): $(ls "$work/pack")"
else
  [ "$(dpkg-deb -f "$deb" Package)" = nivora ] || fail "package name: $(dpkg-deb -f "$deb" Package)"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version: $(dpkg-deb -f "$deb" Version)"
  # Every dependency is met on this (Debian) system.
  depends="$(dpkg-deb -f "$deb" Depends)"
  [ -n "$depends" ] || fail "the package states no dependencies"
  IFS=',' read -r -a items <<< "$depends"
  for item in "${items[@]}"; do
    [[ "$item" =~ ^[[:space:]]*([^[:space:](]+)[[:space:]]*(\(([<>=]+)[[:space:]]*([^)[:space:]]+)\))? ]] ||
      { fail "unreadable dependency '$item'"; continue; }
    name="${BASH_REMATCH[1]}" relation="${BASH_REMATCH[3]}" wanted="${BASH_REMATCH[4]}"
    have="$(dpkg-query -W -f='${Version}' "$name:$arch" 2>/dev/null ||
            dpkg-query -W -f='${Version}' "$name" 2>/dev/null)" ||
      { fail "dependency $name is not a package here"; continue; }
    if [ -n "$relation" ]; then
      case "$relation" in '>=') op=ge ;; '>>') op=gt ;; '=') op=eq ;; '<=') op=le ;; *) op=lt ;; esac
      dpkg --compare-versions "$have" "$op" "$wanted" || fail "dependency $item: have $have"
    fi
  done
  # Installed into a scratch root with its own package database.
  root="$work/root"
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
  touch "$root/var/lib/dpkg/status"
  dpkg --root="$root" --log=/dev/null --force-depends --force-script-chrootless -i "$deb" \
    > "$work/log" 2>&1 || fail "dpkg -i into a scratch root: $(cat "$work/log")"
  status="$(dpkg --root="$root" -s nivora 2>/dev/null | sed -n 's/^Status: //p')"
  [ "$status" = "install ok installed" ] || fail "dpkg reports nivora as '$status'"
  for file in usr/bin/nivora usr/bin/nivora-farm usr/share/man/man1/nivora.1.gz; do
    [ -f "$root/$file" ] || fail "the package does not install /$file"
  done
  out="$("$root/usr/bin/nivora" --version 2>&1)"
  [ "$out" = "nivora $version" ] || fail "packaged nivora --version: '$out'"
  make_clip "$work/in.y4m" 64 48 6
  "$root/usr/bin/nivora" -q --threads 2 "$work/in.y4m" "$work/a.md5" || fail "the packaged nivora failed"
  "$build/cli/nivora" -q --threads 2 "$work/in.y4m" "$work/b.md5"
  cmp -s "$work/a.md5" "$work/b.md5" || fail "the packaged nivora gives other frames than the built one"
fi

finish
