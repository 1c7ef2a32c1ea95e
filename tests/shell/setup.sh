#!/usr/bin/env bash
# The set-up finishes whatever the package archive does, and says what it left
# out. apt-get, dpkg and the i386 loader are stand-ins early on PATH that fail
# as a broken archive does; nothing is installed:
#   setup.sh SETUP_SCRIPT
set -uo pipefail
setup=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/clip.sh"
work=$(mktemp -d)
trap '[ -n "${KEEP-}" ] || rm -rf "$work"' EXIT

stubs=$work/bin
mkdir -p "$stubs"

# apt-get: logs every call; "update" fails when STUB_UPDATE_FAILS is set, the
# way a mirror in sync does; "install" refuses when any package asked for is in
# STUB_BROKEN, or is in STUB_NEEDS_T and no -t names the release.
cat >"$stubs/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB_DIR/log"
packages=() target=""
while [ $# -gt 0 ]; do
  case $1 in
    -o) shift 2; continue ;;
    -t) target=$2; shift 2; continue ;;
    -*|install|update) shift; continue ;;
  esac
  packages+=("$1"); shift
done
if [ ${#packages[@]} -eq 0 ]; then
  if [ -n "${STUB_UPDATE_FAILS-}" ]; then
    echo "Err:6 http://deb.example/debian-security bookworm-security/main i386 Packages"
    echo "E: Failed to fetch http://deb.example/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100
  fi
  exit 0
fi
for p in "${packages[@]}"; do
  if [[ " ${STUB_BROKEN-} " == *" $p "* ]] ||
     { [[ " ${STUB_NEEDS_T-} " == *" $p "* ]] && [ "$target" != bookworm ]; }; then
    echo "The following packages have unmet dependencies:"
    echo " $p : Depends: zlib1g:i386 (>= 1:1.2.3.3) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
  fi
done
printf '%s\n' "${packages[@]}" >>"$STUB_DIR/installed"
EOF
cat >"$stubs/dpkg" <<'EOF'
#!/usr/bin/env bash
case $1 in
  -s) grep -qxF "$2" "$STUB_DIR/installed" 2>/dev/null || exit 1
      echo "Status: install ok installed" ;;
  --print-foreign-architectures) echo i386 ;;
esac
EOF
cat >"$stubs/dpkg-query" <<'EOF'
#!/usr/bin/env bash
[ -n "${STUB_QEMU_VERSION-}" ] || exit 1
printf '%s' "$STUB_QEMU_VERSION"
EOF
printf '#!/bin/sh\necho ja_JP.utf8\n' >"$stubs/locale"
printf '#!/bin/sh\n' >"$stubs/sleep"
# The i386 loader: fails as it does on a machine without 32-bit execution.
printf '#!/bin/sh\necho "cannot execute binary file: Exec format error" >&2\nexit 126\n' \
  >"$work/ld-linux.so.2"
chmod +x "$stubs"/* "$work/ld-linux.so.2"

# run_setup NAME [VAR=VALUE...]: runs the set-up in a fresh stand-in world;
# its output is in $work/NAME.out, its status in $status.
run_setup() {
  local name=$1; shift
  export STUB_DIR=$work/$name
  mkdir -p "$STUB_DIR/apt/sources.list.d"
  : >"$STUB_DIR/installed"
  env PATH="$stubs:$PATH" NIVORA_SETUP_LOADER="$work/ld-linux.so.2" \
    NIVORA_SETUP_APT_DIR="$STUB_DIR/apt" "$@" bash "$setup" >"$work/$name.out" 2>&1
  status=$?
}
expect() {  # expect NAME TEXT: the output of run NAME says TEXT
  grep -qF -- "$2" "$work/$1.out" || { fail "$1: no '$2' in:"; sed 's/^/    /' "$work/$1.out"; }
}
installed() { grep -qxF "$2" "$work/$1/installed" || fail "$1: $2 was not installed"; }

# The security suite's i386 index arrives broken: the update fails every time,
# and Wine's multi-arch pairs cannot be installed at all.
run_setup broken_archive STUB_UPDATE_FAILS=1 STUB_BROKEN="wine32:i386"
[ "$status" -eq 0 ] || fail "broken_archive: status $status"
expect broken_archive "some package indexes failed to download (tried 3 times)"
expect broken_archive "File has unexpected size"
expect broken_archive "held broken packages"
expect broken_archive "left out"
expect broken_archive "Wine: wine32:i386"
installed broken_archive g++
installed broken_archive wine
[ "$(grep -c '^apt-get .*update' "$work/broken_archive/log")" -ge 3 ] ||
  fail "broken_archive: the update was not retried"

# The multi-arch pairs exist only in the release's own suite: preferring it
# installs everything, and nothing is reported missing.
run_setup release_suite STUB_NEEDS_T="wine32:i386" NIVORA_SETUP_LOADER=/bin/true \
  STUB_QEMU_VERSION=1:10.0.2 NIVORA_SETUP_QEMU=/bin/true
[ "$status" -eq 0 ] || fail "release_suite: status $status"
installed release_suite wine32:i386
grep -q "left out" "$work/release_suite.out" && fail "release_suite: something was left out"
grep -q -- '-t bookworm .*wine32:i386' "$work/release_suite/log" ||
  fail "release_suite: the release suite was not preferred"

# 32-bit programs run natively: the emulator is still asked for (one Wine
# check renders through it), and where it cannot be had that check is named
# as left out, nothing else; nothing is registered.
run_setup native_no_emulator NIVORA_SETUP_LOADER=/bin/true STUB_BROKEN="qemu-user-static"
[ "$status" -eq 0 ] || fail "native_no_emulator: status $status"
installed native_no_emulator wine32:i386
expect native_no_emulator "the emulated Wine check: qemu-user 8 or later"
grep -q -- '-t bookworm-backports.*qemu-user-static' "$work/native_no_emulator/log" ||
  fail "native_no_emulator: the emulator was not asked for from backports"
grep -q "cannot execute them\|now run through" "$work/native_no_emulator.out" &&
  fail "native_no_emulator: a machine that runs 32-bit programs was treated as one that cannot"

# One package of the build set cannot be had: the others still go in, one by one.
run_setup one_missing STUB_BROKEN="parallel"
[ "$status" -eq 0 ] || fail "one_missing: status $status"
expect one_missing "build and Linux test: parallel"
installed one_missing cmake
installed one_missing openssh-server

# No 32-bit execution, and the emulator cannot be had: the backports suite is
# added, the emulator is asked for, and the set-up says why the Wine checks
# will skip.
run_setup no_emulator STUB_BROKEN="qemu-user-static"
[ "$status" -eq 0 ] || fail "no_emulator: status $status"
expect no_emulator "cannot execute them and qemu-user 8 or later"
grep -q 'bookworm-backports' "$work/no_emulator/apt/sources.list.d/nivora-backports.list" ||
  fail "no_emulator: no backports source was added"
grep -q -- '-t bookworm-backports.*qemu-user-static' "$work/no_emulator/log" ||
  fail "no_emulator: the emulator was not asked for from backports"

# No 32-bit execution, the emulator at hand: it is registered for i386 programs,
# and the loader then runs. The registration goes into a private binfmt_misc
# (a user and mount namespace of the test's own, Linux 6.7 and later), so the
# machine's own is not touched; the loader stand-in fails until qemu-i386 is
# registered, then runs the real loader through it.
cat >"$work/ld-linux-unless-emulated.so.2" <<'EOF'
#!/bin/sh
grep -qs '^interpreter .*qemu-i386' /proc/sys/fs/binfmt_misc/nivora-i386 ||
  { echo "cannot execute binary file: Exec format error" >&2; exit 126; }
exec /lib/ld-linux.so.2 "$@"
EOF
chmod +x "$work/ld-linux-unless-emulated.so.2"
if [ -x /usr/bin/qemu-i386-static ] && [ -e /lib/ld-linux.so.2 ] &&
   unshare --user --map-root-user --mount \
     sh -c 'mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc' 2>/dev/null; then
  mkdir -p "$work/registers/apt/sources.list.d"
  : >"$work/registers/installed"
  STUB_DIR=$work/registers STUB_QEMU_VERSION=1:10.0.2 PATH="$stubs:$PATH" \
    NIVORA_SETUP_LOADER="$work/ld-linux-unless-emulated.so.2" \
    NIVORA_SETUP_APT_DIR="$work/registers/apt" \
    unshare --user --map-root-user --mount bash -c '
      mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc && bash "$0" &&
        grep -q "^flags: F" /proc/sys/fs/binfmt_misc/nivora-i386' "$setup" \
    >"$work/registers.out" 2>&1
  status=$?
  [ "$status" -eq 0 ] || fail "registers: status $status"
  expect registers "they now run through qemu-i386 10"
  grep -q "left out" "$work/registers.out" && fail "registers: something was left out"
else
  echo "note: no qemu-i386-static or no private binfmt_misc here: the registration itself is not run"
fi

finish
