#!/usr/bin/env bash
# nivora-farm against one whole run of nivora, byte for byte:
#   farm.sh local NIVORA FARM   this machine alone, several slots; a worker that
#                               fails once is retried, one that always fails
#                               leaves no output and names its range; a part
#                               short of its range's frames counts as failed;
#                               the output is never written through a planted
#                               link, never the input, never a folder; wrong
#                               options and an unwritable folder stop the run
#                               before any range; SIGINT and SIGTERM stop it
#                               at once
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
  ls -a "$work" | grep -q '^\.nivora-farm\.' && fail "always failing: parts left behind"
  grep -q "^nivora-farm: range 10:15 .*failed.* status 4" "$work/log_broken" ||
    fail "always failing: no line naming the range: $(cat "$work/log_broken")"

  # A worker that exits 0 but leaves its part short: once by part of a frame
  # (tried again, the output whole), and always by a whole frame on the range
  # 10:15 (no output, the old one kept).
  cat > "$work/truncates" <<EOF
#!/bin/sh
"$nivora" "\$@" || exit
case " \$* " in *" --dry-run "*) exit 0 ;; esac
for part; do :; done
if [ -n "\${TRUNCATE_ALWAYS:-}" ]; then
  case " \$* " in *" 10:15 "*) truncate -s -$((48 * 32 * 3 / 2 + 6)) "\$part" ;; esac
elif mkdir "$work/truncated_once" 2> /dev/null; then
  truncate -s -100 "\$part"
fi
EOF
  chmod +x "$work/truncates"
  farm_run truncated_once --nivora "$work/truncates" --sshlogin 2/: --chunk 5
  [ -d "$work/truncated_once" ] || fail "truncated once: the wrapper never cut a part"
  echo "the last good output" > "$work/out_short.y4m"
  TRUNCATE_ALWAYS=1 "$farm" --nivora "$work/truncates" --sshlogin 2/: --chunk 5 --tries 2 \
    "${settings[@]}" "$work/in.y4m" "$work/out_short.y4m" > "$work/log_short" 2>&1
  status=$?
  [ "$status" -eq 1 ] || fail "always short: status $status, expected 1"
  [ "$(cat "$work/out_short.y4m")" = "the last good output" ] || fail "always short: the old output was changed"
  grep -q "range 10:15: the part holds 4 frames, not 5" "$work/log_short" ||
    fail "always short: the short part was not named: $(cat "$work/log_short")"
  grep -q "^nivora-farm: range 10:15 .*failed" "$work/log_short" ||
    fail "always short: no line naming the range: $(cat "$work/log_short")"
  ls -a "$work" | grep -q '^\.nivora-farm\.' && fail "always short: parts left behind"

  # A link planted at the name the join once used leads nowhere.
  echo "not the farm's" > "$work/victim"
  ln -s "$work/victim" "$work/out_planted.y4m.nivora-farm-partial"
  farm_run planted --nivora "$nivora" --sshlogin 2/:
  [ "$(cat "$work/victim")" = "not the farm's" ] || fail "planted: the farm wrote through the link"
  rm -f "$work/out_planted.y4m.nivora-farm-partial"

  # A named pipe as output is written into, not replaced by a file.
  mkfifo "$work/out.fifo"
  timeout 60 cat "$work/out.fifo" > "$work/from_fifo.y4m" &
  reader=$!
  "$farm" --nivora "$nivora" --sshlogin 2/: "${settings[@]}" "$work/in.y4m" "$work/out.fifo" \
    > "$work/log_fifo" 2>&1 || fail "fifo: $(cat "$work/log_fifo")"
  wait "$reader"
  [ -p "$work/out.fifo" ] || fail "fifo: the pipe was replaced"
  cmp -s "$work/single.y4m" "$work/from_fifo.y4m" || fail "fifo: the output differs from the single run"

  # A relative --nivora, from another folder.
  mkdir -p "$work/bin"
  ln -sf "$nivora" "$work/bin/nivora"
  (cd "$work" && farm_run relative --nivora bin/nivora --sshlogin 2/:)

  # Refused before any range starts (the worker notes every range it runs):
  # a wrong nivora option (status 2, nivora's message), the input as output,
  # a folder, a folder that takes no file.
  cat > "$work/notes" <<EOF
#!/bin/sh
case " \$* " in *" --dry-run "*) ;; *) touch "$work/a_range_ran" ;; esac
exec "$nivora" "\$@"
EOF
  chmod +x "$work/notes"
  cp "$work/in.y4m" "$work/clip.y4m"
  ln -f "$work/clip.y4m" "$work/clip_link.y4m"
  mkdir -p "$work/outdir"
  refused() {  # STATUS MESSAGE INPUT OUTPUT [FARM OPTIONS...]
    local expected="$1" message="$2" input="$3" output="$4"
    shift 4
    "$farm" --nivora "$work/notes" "$@" "$input" "$output" > "$work/log_refused" 2>&1
    local status=$?
    [ "$status" -eq "$expected" ] || fail "$output: status $status, expected $expected: $(cat "$work/log_refused")"
    grep -q -- "$message" "$work/log_refused" || fail "$output: no '$message': $(cat "$work/log_refused")"
    [ ! -e "$work/a_range_ran" ] || fail "$output: a range ran before the refusal"
    rm -f "$work/a_range_ran"
  }
  refused 2 "^nivora: --frame: 9 is out of range" "$work/clip.y4m" "$work/out_options.y4m" --frame 9
  refused 2 "^nivora: --sigma selects strong mode" "$work/clip.y4m" "$work/out_options.y4m" --sigma 3 --frame 2
  refused 1 "is the input file" "$work/clip.y4m" "$work/clip.y4m"
  refused 1 "is the input file" "$work/clip.y4m" "$work/./clip_link.y4m"
  refused 1 "is a folder" "$work/clip.y4m" "$work/outdir"
  refused 1 "cannot open for writing" "$work/clip.y4m" /proc/nivora-farm-test.y4m
  cmp -s "$work/in.y4m" "$work/clip.y4m" || fail "the input was changed"
  [ -z "$(ls -A "$work/outdir")" ] || fail "the farm wrote into the folder: $(ls -A "$work/outdir")"
  [ ! -e "$work/out_options.y4m" ] || fail "an output after a wrong option"

  # Header bytes reach a message quoted.
  printf 'YUV4MPEG2 W8 H8 C\033[31m\r\n' > "$work/escapes.y4m"
  "$farm" --nivora "$nivora" "$work/escapes.y4m" "$work/out_escapes.y4m" 2> "$work/log" && fail "a bad colourspace accepted"
  grep -q 'unsupported colourspace \\x1b\[31m\\x0d$' "$work/log" || fail "bad colourspace: $(cat -v "$work/log")"

  # Signals stop the run at once: parallel's jobs go, the parts go, an
  # existing output stays. The worker says it started, then sleeps; SIGINT
  # is set back to its default (a background job of a script ignores it).
  cat > "$work/sleeps" <<EOF
#!/bin/sh
case " \$* " in *" --dry-run "*) exec "$nivora" "\$@" ;; esac
echo \$\$ >> "$work/sleepers"
exec sleep 60
EOF
  chmod +x "$work/sleeps"
  for signal in INT TERM; do
    rm -f "$work/sleepers"
    echo "the last good output" > "$work/out_stopped.y4m"
    perl -e '$SIG{INT} = $SIG{TERM} = "DEFAULT"; exec @ARGV' "$farm" --nivora "$work/sleeps" \
      --sshlogin 2/: --chunk 5 "$work/in.y4m" "$work/out_stopped.y4m" > "$work/log_stopped" 2>&1 &
    pid=$!
    for ((i = 0; i < 200; i++)); do
      [ "$(cat "$work/sleepers" 2> /dev/null | wc -l)" = 2 ] && break
      sleep 0.05
    done
    [ -s "$work/sleepers" ] || fail "SIG$signal: no range started"
    started=$SECONDS
    kill "-$signal" "$pid"
    wait "$pid"
    status=$?
    expected=$([ "$signal" = INT ] && echo 130 || echo 143)
    [ "$status" -eq "$expected" ] || fail "SIG$signal: status $status, expected $expected: $(cat "$work/log_stopped")"
    ((SECONDS - started < 20)) || fail "SIG$signal: the farm took $((SECONDS - started)) s to stop"
    while read -r sleeper; do
      ! kill -0 "$sleeper" 2> /dev/null || fail "SIG$signal: a range still runs"
    done < "$work/sleepers"
    [ "$(cat "$work/out_stopped.y4m")" = "the last good output" ] || fail "SIG$signal: the old output was changed"
    ls -a "$work" | grep -q '^\.nivora-farm\.' && fail "SIG$signal: parts left behind"
  done

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
