#!/usr/bin/env bash
# The Debian package passes lintian with no error and no warning, and its
# nivora is built hardened (what lintian checks of it only in part):
#   lintian.sh BUILD_DIR VERSION
# Skipped (status 77) where lintian is not installed.
set -uo pipefail
build="$1"
version="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/clip.sh"
command -v lintian > /dev/null || { echo "lintian is not installed (scripts/setup.sh)"; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

arch="$(dpkg --print-architecture)"
deb="$work/nivora_${version}_${arch}.deb"
(cd "$build" && cpack --config "$build/CPackConfig.cmake" -B "$work") > "$work/log" 2>&1 ||
  { fail "cpack: $(cat "$work/log")"; finish; }
[ -f "$deb" ] || { fail "cpack made no $(basename "$deb")"; finish; }

# Errors and warnings fail; information tags are only shown.
tags="$(lintian --fail-on error,warning --tag-display-limit 0 --info "$deb" 2>&1)"
status=$?
tags="$(grep -v 'running with root privileges' <<< "$tags")"
[ -n "$tags" ] && echo "$tags"
[ "$status" -eq 0 ] || fail "lintian: status $status"
grep -qE '^[EW]: ' <<< "$tags" && fail "lintian reports errors or warnings (above)"

# The packaged files lintian wants, and the maintainer it checks.
dpkg-deb -x "$deb" "$work/root"
for file in usr/share/doc/nivora/copyright usr/share/doc/nivora/changelog.gz \
            usr/share/man/man1/nivora.1.gz usr/share/man/man1/nivora-farm.1.gz; do
  [ -f "$work/root/$file" ] || fail "the package has no /$file"
done
maintainer="$(dpkg-deb -f "$deb" Maintainer)"
[[ "$maintainer" =~ ^[^\<]+\ \<[^@\>]+@[^@\>]+\.[a-z]+\>$ ]] || fail "maintainer '$maintainer'"
[[ "$maintainer" == *localhost* ]] && fail "maintainer '$maintainer' has no real mail host"

# Hardened: a position-independent executable, relocations read-only and
# bound at start, the stack protector and fortified libc calls.
bin="$work/root/usr/bin/nivora"
readelf -h "$bin" | grep -q 'Type:[[:space:]]*DYN' || fail "nivora is not position-independent"
readelf -lW "$bin" | grep -q GNU_RELRO || fail "nivora has no read-only relocations (relro)"
readelf -dW "$bin" | grep -qE 'BIND_NOW|Flags:.* NOW' || fail "nivora is not bound at start (now)"
symbols="$(readelf --dyn-syms -W "$bin")"
grep -q __stack_chk_fail <<< "$symbols" || fail "nivora has no stack protector"
grep -qE '__[a-z]+_chk' <<< "$(grep -v __stack_chk_fail <<< "$symbols")" ||
  fail "nivora calls no fortified libc function"

finish
