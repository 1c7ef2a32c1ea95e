#!/usr/bin/env bash
# nivora-farm against one whole run of nivora, byte for byte:
#   farm.sh local NIVORA FARM   this machine alone, several slots; a worker that
#                               fails once is retried, one that always fails
#                               leaves no output and names its range
#   farm.sh ssh NIVORA FARM     real ssh logins to 127.0.0.1, through an sshd
#                               this test starts on a free port with its own
#                               host key, user key and configuration (the
#                               system's sshd is left alone): shared storage
#                               and parallel's file transfer
# Exits 77 (skipped) when GNU parallel, or for ssh sshd, is not installed.
set -uo pipefail
mode="$1"
nivora="$2"
farm="$3"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/clip.sh"
command -v parallel > /dev/null || { echo "GNU parallel is not installed: skipped"; exit 77; }
work="$(mktemp -d)"
# GNU parallel keeps its own files (the machines' processor counts, ...) here,
# not in the home folder of whoever runs the test.
export PARALLEL_HOME="$work/parallel_home"
mkdir -p "$PARALLEL_HOME"
sshd_pid=""
cleanup() {
  [ -z "$sshd_pid" ] || { ssh -F "$work/ssh_config" -O exit farmhost 2> /dev/null; kill "$sshd_pid"; }
  rm -rf "$work"
}
trap cleanup EXIT

# A short noisy clip, and what one whole run makes of it.
make_clip "$work/in.y4m" 48 32 26
settings=(--frame 2 --track 2,20,20,12,20,20,12,5,5 --mosquito)
"$nivora" -q "${settings[@]}" --threads 2 "$work/in.y4m" "$work/single.y4m" || fail "the single run failed"
cmp -s "$work/in.y4m" "$work/single.y4m" && fail "the single run left the clip unchanged"

# farm_run NAME FARM_ARGS...: runs the farm into out_NAME.y4m; must equal the single run.
farm_run() {
  local name="$1"
  shift
  "$farm" "$@" "${settings[@]}" "$work/in.y4m" "$work/out_$name.y4m" > "$work/log_$name" 2>&1
  local status=$?
  if [ "$status" -ne 0 ]; then
    fail "$name: status $status: $(cat "$work/log_$name")"
  elif ! cmp -s "$work/single.y4m" "$work/out_$name.y4m"; then
    fail "$name: the output differs from the single run"
  fi
  ls -a "$work" | grep -q '^\.nivora-farm\.' && fail "$name: parts left behind"
}

if [ "$mode" = local ]; then
  [ "$("$farm" --count "$work/in.y4m")" = 26 ] || fail "--count: $("$farm" --count "$work/in.y4m")"
  farm_run slots --nivora "$nivora" --sshlogin 3/:
  farm_run chunks --nivora "$nivora" --sshlogin 2/: --chunk 4
  farm_run one_range --nivora "$nivora" --sshlogin : --jobs 1 --chunk 100

  # Raw YC48 in and out: the frame count comes from the file's size.
  "$nivora" -q --threads 2 --output-format yc48 "$work/in.y4m" "$work/in.yc48"
  "$nivora" -q "${settings[@]}" --threads 2 --size 48x32 "$work/in.yc48" "$work/single.yc48"
  count="$("$farm" --size 48x32 --count "$work/in.yc48")"
  [ "$count" = 26 ] || fail "--count of raw YC48: $count"
  "$farm" --nivora "$nivora" --sshlogin 3/: --size 48x32 "${settings[@]}" "$work/in.yc48" \
    "$work/out.yc48" > "$work/log_yc48" 2>&1 || fail "yc48: $(cat "$work/log_yc48")"
  cmp -s "$work/single.yc48" "$work/out.yc48" || fail "yc48: the output differs from the single run"

  # A worker whose first call fails (the first to take the lock).
  cat > "$work/fails_once" <<EOF
#!/bin/sh
case " \$* " in *" --dry-run "*) exec "$nivora" "\$@" ;; esac
if mkdir "$work/failed_once" 2> /dev/null; then echo "worker: failing once" >&2; exit 3; fi
exec "$nivora" "\$@"
EOF
  chmod +x "$work/fails_once"
  farm_run retried --nivora "$work/fails_once" --sshlogin 2/: --chunk 5
  [ -d "$work/failed_once" ] || fail "retried: the wrapper was never called"

  # A worker that always fails on the range starting at frame 10.
  cat > "$work/fails_always" <<EOF
#!/bin/sh
case " \$* " in *" 10:15 "*) echo "worker: broken" >&2; exit 4 ;; esac
exec "$nivora" "\$@"
EOF
  chmod +x "$work/fails_always"
  "$farm" --nivora "$work/fails_always" --sshlogin 2/: --chunk 5 --tries 2 "${settings[@]}" \
    "$work/in.y4m" "$work/out_broken.y4m" > "$work/log_broken" 2>&1
  status=$?
  [ "$status" -eq 1 ] || fail "always failing: status $status, expected 1"
  [ ! -e "$work/out_broken.y4m" ] || fail "always failing: an output file was left"
  ls "$work" | grep -q 'nivora-farm-partial' && fail "always failing: a partial output was left"
  ls -a "$work" | grep -q '^\.nivora-farm\.' && fail "always failing: parts left behind"
  grep -q "^nivora-farm: range 10:15 .*failed.* status 4" "$work/log_broken" ||
    fail "always failing: no line naming the range: $(cat "$work/log_broken")"

  # Output that cannot be joined, and a pipe for input.
  "$farm" --nivora "$nivora" "$work/in.y4m" "$work/out.md5" 2> "$work/log" && fail "md5 output accepted"
  grep -q "cannot be joined" "$work/log" || fail "md5 output: $(cat "$work/log")"
  "$farm" --nivora "$nivora" - "$work/out.y4m" < "$work/in.y4m" 2> "$work/log" && fail "a pipe accepted"
  grep -q "must be a file" "$work/log" || fail "pipe input: $(cat "$work/log")"

elif [ "$mode" = ssh ]; then
  sshd="$(command -v sshd || echo /usr/sbin/sshd)"
  [ -x "$sshd" ] || { echo "sshd is not installed: skipped"; exit 77; }
  # sshd wants its privilege separation folder (made by the package at boot).
  if [ ! -d /run/sshd ]; then
    [ "$(id -u)" -eq 0 ] || { echo "no /run/sshd and not root: skipped"; exit 77; }
    mkdir -p /run/sshd && chmod 755 /run/sshd
  fi
  port="$(perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(Listen => 1,
    LocalAddr => "127.0.0.1", LocalPort => 0, ReuseAddr => 1)->sockport')"
  ssh-keygen -q -t ed25519 -N '' -f "$work/host_key" || fail "no host key"
  ssh-keygen -q -t ed25519 -N '' -f "$work/user_key" || fail "no user key"
  cp "$work/user_key.pub" "$work/authorized_keys"
  chmod 600 "$work/authorized_keys"
  cat > "$work/sshd_config" <<EOF
ListenAddress 127.0.0.1
Port $port
HostKey $work/host_key
AuthorizedKeysFile $work/authorized_keys
PidFile $work/sshd.pid
PermitRootLogin prohibit-password
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
AllowUsers $(id -un)
# The login's own start-up files stay out of the test (they can take seconds).
SetEnv HOME=$work/home
EOF
  mkdir -p "$work/home"
  "$sshd" -D -e -f "$work/sshd_config" 2> "$work/sshd.log" &
  sshd_pid=$!
  cat > "$work/ssh_config" <<EOF
Host farmhost
  HostName 127.0.0.1
  Port $port
  User $(id -un)
  IdentityFile $work/user_key
  IdentitiesOnly yes
  UserKnownHostsFile $work/known_hosts
  StrictHostKeyChecking yes
  BatchMode yes
  LogLevel ERROR
  ControlMaster auto
  ControlPath $work/cm-%C
  ControlPersist 60
EOF
  echo "[127.0.0.1]:$port $(cat "$work/host_key.pub")" > "$work/known_hosts"
  ssh_cmd="ssh -F $work/ssh_config"
  for ((i = 0; i < 50; i++)); do
    $ssh_cmd farmhost true 2> "$work/ssh.log" && break
    sleep 0.2
  done
  $ssh_cmd farmhost true 2> "$work/ssh.log" ||
    { fail "no ssh login: $(cat "$work/ssh.log") $(cat "$work/sshd.log")"; exit 1; }

  # The remote PATH need not hold nivora: it is named by its path, which the
  # shared storage (here: the same machine) has.
  farm_run ssh_shared --nivora "$nivora" --ssh "$ssh_cmd" --sshlogin 2/farmhost --chunk 7
  farm_run ssh_and_local --nivora "$nivora" --ssh "$ssh_cmd" --sshlogin 1/farmhost,1/: --chunk 5
  farm_run ssh_transfer --nivora "$nivora" --ssh "$ssh_cmd" --sshlogin 2/farmhost --transfer --chunk 9
else
  echo "usage: farm.sh local|ssh NIVORA FARM"
  exit 2
fi

finish
