#!/usr/bin/env bash
# The README's examples run as written: every command of its code blocks that
# starts with nivora, nivora-farm or an ffmpeg pipe through nivora is run on
# small clips made here, with the programs under test found first on the
# PATH; each must end with status 0 and leave outputs that decode. The only
# changes made to a command: build-demo/cli/nivora is the nivora under test,
# and the farm's remote machines become this one. So a renamed option or
# file in an example fails here.
#   readme_examples.sh README NIVORA NIVORA-FARM
set -uo pipefail
readme="$1" nivora="$2" farm="$3"
. "$(dirname "$0")/clip.sh"
command -v ffmpeg > /dev/null && command -v ffprobe > /dev/null || { echo "no ffmpeg: skipped"; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$(cd "$(dirname "$nivora")" && pwd)/$(basename "$nivora")" "$work/bin/nivora"
ln -s "$(cd "$(dirname "$farm")" && pwd)/$(basename "$farm")" "$work/bin/nivora-farm"
export PATH="$work/bin:$PATH"

# The commands: indented code lines, with their continuation lines (a line
# ending in \ or |) joined.
awk '
  /^    / { line = substr($0, 5)
            if (pending != "") { line = pending " " line; pending = "" }
            if (line ~ /(\\|\|)[ ]*$/) { sub(/\\[ ]*$/, "", line); pending = line; next }
            print line; next }
  { pending = "" }' "$readme" |
  grep -E '^(nivora|nivora-farm|build-demo/cli/nivora|ffmpeg .*\| *(build-demo/cli/)?nivora) ' |
  grep -v 'SLURM' > "$work/commands"
cd "$work"
[ "$(wc -l < commands)" -ge 3 ] || fail "found $(wc -l < commands) examples in $readme"
head -1 commands | grep -Eq '^nivora [^-].*\.mp4' ||
  fail "the README's first example is not the one command: $(head -1 commands)"

make_clip probe.y4m 32 32 2
"$nivora" -q probe.y4m probe.mkv 2> /dev/null || { echo "containers not built: skipped"; exit 77; }

# The clips the examples name: an .mp4 with audio, and y4m files.
make_clip clip.y4m 64 48 12
cp clip.y4m in.y4m
ffmpeg -nostdin -v error -y -i clip.y4m -f lavfi -i sine=duration=1 -c:v libx264 -crf 20 \
  -pix_fmt yuv420p -c:a aac -shortest in.mp4 || { echo "ffmpeg cannot make the clip: skipped"; exit 77; }

while IFS= read -r command; do
  run="$(printf '%s' "$command" | sed -e 's#build-demo/cli/nivora#nivora#g' \
    -e 's#--sshlogin [^ ]*#--sshlogin :#g')"
  rm -f out.*
  echo "example: $command"
  bash -o pipefail -c "$run" < /dev/null > example.log 2>&1 || { fail "$command: $(tail -3 example.log)"; continue; }
  for out in $(printf '%s\n' "$run" | grep -Eo '\bout\.[a-z0-9]+' | sort -u); do
    [ -s "$out" ] || { fail "$command: no $out"; continue; }
    frames="$(ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames \
      -of csv=p=0 "$out")"
    [ "${frames:-0}" -gt 0 ] 2> /dev/null || fail "$command: $out does not decode"
  done
done < commands
finish
