#!/usr/bin/env bash
# What a user of the command line sees around the filtering itself:
#   cli_behaviour.sh NIVORA VERSION
# --version prints the build's version; --help lists the exit statuses; a wrong
# command line gives status 2; a failed run ends with its message and no
# summary; when the reader of standard output goes away the run stops with
# status 141 and says nothing; strong mode (--sigma) alike. --dry-run checks
# the command line alone; the input is refused as output through standard
# input and output too; SIGINT and SIGTERM stop a run at once with 130 and
# 143, leaving no output file (and an existing one as it was), in both modes.
set -uo pipefail
nivora="$1"
version="$2"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/clip.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

out="$("$nivora" --version)" || fail "--version: status $?"
[ "$out" = "nivora $version" ] || fail "--version printed '$out', expected 'nivora $version'"

help="$("$nivora" --help)" || fail "--help: status $?"
exits="$(sed -n '/^Exit status/,$p' <<< "$help")"
for status in 0 1 2 141 130 143; do
  grep -qw "$status" <<< "$exits" || fail "--help does not list exit status $status"
done

"$nivora" --frame 9 a.y4m b.y4m 2> "$work/err"
status=$?
[ "$status" -eq 2 ] || fail "a wrong option gave status $status, expected 2"

"$nivora" --dry-run --frame 9 a.y4m b.y4m 2> "$work/err"
status=$?
[ "$status" -eq 2 ] || fail "--dry-run with a wrong option gave status $status, expected 2"
grep -q "^nivora: --frame: 9 is out of range" "$work/err" || fail "--dry-run said: $(cat "$work/err")"
"$nivora" --dry-run --frame 3 "$work/none.y4m" "$work/dry.y4m" 2> "$work/err" ||
  fail "--dry-run with a right command line failed: $(cat "$work/err")"
[ "$(ls "$work")" = err ] || fail "--dry-run made: $(ls "$work")"

make_clip "$work/in.y4m" 128 96 40
head -c 100000 "$work/in.y4m" > "$work/cut.y4m"

# The plug-in's filter and strong mode end a run alike.
for mode in plugin strong; do
  opts=(--threads 2 --plugin)
  formats="y4m yc48"
  summary="^nivora: 40 frames 128x96"
  if [ "$mode" = strong ]; then
    opts=(--threads 2 --sigma 5)
    formats="y4m"
    summary="^nivora: strong mode, sigma 5.00 .*: 40 frames 128x96"
  fi

  # A clip cut short: one message line, no summary.
  "$nivora" "${opts[@]}" "$work/cut.y4m" "$work/out.y4m" 2> "$work/err"
  status=$?
  [ "$status" -eq 1 ] || fail "$mode: a truncated clip gave status $status, expected 1"
  [ "$(wc -l < "$work/err")" -eq 1 ] || fail "$mode: a truncated clip gave: $(cat "$work/err")"
  grep -q "is truncated" "$work/err" || fail "$mode: no message for a truncated clip: $(cat "$work/err")"

  # A write that fails (a full disk) is an error with its message, as a file
  # and as standard output.
  "$nivora" "${opts[@]}" "$work/in.y4m" /dev/full 2> "$work/err"
  status=$?
  [ "$status" -eq 1 ] || fail "$mode: writing to /dev/full gave status $status, expected 1"
  grep -q "^nivora: /dev/full: write failed: No space left on device$" "$work/err" ||
    fail "$mode: writing to /dev/full said: $(cat "$work/err")"
  "$nivora" "${opts[@]}" "$work/in.y4m" - > /dev/full 2> "$work/err"
  status=$?
  [ "$status" -eq 1 ] || fail "$mode: standard output to /dev/full gave status $status, expected 1"
  [ "$(wc -l < "$work/err")" -eq 1 ] ||
    fail "$mode: standard output to /dev/full said: $(cat "$work/err")"

  # The reader goes away after 100 bytes (the clip is far longer than the pipe
  # and the output buffer hold): status 141 and not a word.
  for format in $formats; do
    "$nivora" "${opts[@]}" --output-format "$format" "$work/in.y4m" - 2> "$work/err" |
      head -c 100 > /dev/null
    status=${PIPESTATUS[0]}
    [ "$status" -eq 141 ] || fail "$mode: $format to a closed pipe gave status $status, expected 141"
    [ ! -s "$work/err" ] || fail "$mode: $format to a closed pipe said: $(cat "$work/err")"
  done

  # And a whole run to a reader that stays: the summary line is there.
  "$nivora" "${opts[@]}" "$work/in.y4m" - 2> "$work/err" | cat > /dev/null
  status=${PIPESTATUS[0]}
  [ "$status" -eq 0 ] || fail "$mode: a whole run gave status $status: $(cat "$work/err")"
  grep -q "$summary" "$work/err" || fail "$mode: no summary line: $(cat "$work/err")"
done

# The input as output through standard input and output: refused, the clip
# left whole.
cp "$work/in.y4m" "$work/same.y4m"
"$nivora" -q - "$work/same.y4m" < "$work/same.y4m" 2> "$work/err"
status=$?
[ "$status" -eq 1 ] || fail "standard input as output gave status $status, expected 1"
grep -q "same.y4m: is the input file (standard input)" "$work/err" || fail "standard input as output said: $(cat "$work/err")"
"$nivora" -q "$work/same.y4m" - >> "$work/same.y4m" 2> "$work/err"
status=$?
[ "$status" -eq 1 ] || fail "standard output onto the input gave status $status, expected 1"
cmp -s "$work/in.y4m" "$work/same.y4m" || fail "the input was changed"

# Signals: the run reads a pipe that stalls after the clip, so it is surely
# running (its temporary output file is there) when the signal comes. SIGINT
# is set back to its default: a background job of a script ignores it.
mkfifo "$work/stall"
for mode in plugin strong; do
  mode_args=(--plugin)
  [ "$mode" = plugin ] || mode_args=(--sigma 4)
  for signal in INT TERM; do
    rm -f "$work/stopped.y4m"
    [ "$signal" = INT ] || echo "the last good output" > "$work/stopped.y4m"
    perl -e '$SIG{INT} = $SIG{TERM} = "DEFAULT"; exec @ARGV' \
      "$nivora" -q --threads 2 "${mode_args[@]}" "$work/stall" "$work/stopped.y4m" 2> "$work/err" &
    pid=$!
    exec 3> "$work/stall"
    cat "$work/in.y4m" >&3
    for ((i = 0; i < 100; i++)); do
      ls -a "$work" | grep -q '^\.stopped\.y4m\.nivora-' && break
      sleep 0.05
    done
    ls -a "$work" | grep -q '^\.stopped\.y4m\.nivora-' || fail "$mode, $signal: no temporary output while running"
    kill "-$signal" "$pid"
    wait "$pid"
    status=$?
    exec 3>&-
    expected=$([ "$signal" = INT ] && echo 130 || echo 143)
    [ "$status" -eq "$expected" ] || fail "$mode, SIG$signal gave status $status, expected $expected"
    [ ! -s "$work/err" ] || fail "$mode, SIG$signal said: $(cat "$work/err")"
    ls -a "$work" | grep -q '\.nivora-' && fail "$mode, SIG$signal left: $(ls -a "$work")"
    if [ "$signal" = INT ]; then
      [ ! -e "$work/stopped.y4m" ] || fail "$mode, SIGINT left an output file"
    else
      [ "$(cat "$work/stopped.y4m")" = "the last good output" ] || fail "$mode, SIGTERM changed the existing output"
    fi
  done
done

finish
