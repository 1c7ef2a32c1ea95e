#!/usr/bin/env bash
# Containers in and out: an .mp4 with audio, subtitles, chapters and colour
# tags made here with ffmpeg goes through `nivora in.mp4 out.mkv` and comes
# out with all of it and the frames the y4m path gives; refusals are one line,
# status 1 and no file.
#   containers.sh NIVORA
set -uo pipefail
nivora="$1"
. "$(dirname "$0")/clip.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# Built without FFmpeg's libraries: container names are refused, not taken for y4m.
make_clip small.y4m 32 32 3
if "$nivora" -q small.y4m probe.mkv 2> err; then :; else
  if grep -q "built without FFmpeg" err; then
    [ ! -e probe.mkv ] || fail "a refused container output left a file"
    echo "containers not built: refusal checked"
    finish
  fi
  fail "y4m to .mkv: $(cat err)"
fi
command -v ffmpeg > /dev/null && command -v ffprobe > /dev/null || { echo "no ffmpeg: skipped"; exit 77; }

# The clip: seeded noise over a gradient (clip.sh), H.264 with B-frames,
# audio, text subtitles, chapters, metadata, colour tags.
make_clip noisy.y4m 96 64 24
cat > meta.txt <<'META'
;FFMETADATA1
title=A test clip
[CHAPTER]
TIMEBASE=1/1000
START=0
END=400
title=First
[CHAPTER]
TIMEBASE=1/1000
START=400
END=900
title=Second
META
printf '1\n00:00:00,000 --> 00:00:00,400\nHello\n\n2\n00:00:00,400 --> 00:00:00,800\nWorld\n' > subs.srt
ffmpeg -nostdin -v error -y -i noisy.y4m -f lavfi -i sine=frequency=440:duration=1 -i subs.srt \
  -i meta.txt -map 0:v -map 1:a -map 2:s -map_metadata 3 -map_chapters 3 \
  -c:v libx264 -crf 10 -pix_fmt yuv420p -color_primaries bt709 -color_trc bt709 \
  -colorspace bt709 -color_range tv -c:a aac -c:s mov_text -shortest in.mp4 ||
  { echo "ffmpeg cannot make the clip: skipped"; exit 77; }

probe() { ffprobe -v error "$@"; }
video_stamps() { probe -select_streams v -show_entries frame=pts_time -of csv=p=0 "$1" | cut -d, -f1 | grep .; }
frames_md5() {
  ffmpeg -nostdin -v error -i "$1" -map 0:v -fps_mode passthrough -f rawvideo -pix_fmt yuv420p - | md5sum
}
# Video timestamps from the first (a muxer may shift every stream alike).
relative_stamps() { video_stamps "$1" | awk -F, 'NR == 1 { t = $1 } { printf "%.3f\n", $1 - t }'; }
packets() {  # packets FILE STREAM-TYPE
  probe -select_streams "$2" -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1"
}

# The one command, lossless so the frames can be compared.
"$nivora" -q --codec ffv1 in.mp4 out.mkv 2> err || fail "in.mp4 to out.mkv: $(cat err)"
[ -s out.mkv ] || fail "no out.mkv"
types="$(probe -show_entries stream=codec_type -of csv=p=0 out.mkv | sort | tr '\n' ' ')"
[ "$types" = "audio subtitle video " ] || fail "out.mkv streams: $types"
[ "$(probe -show_entries chapter=start_time:chapter_tags=title -of csv=p=0 out.mkv | tr '\n' ' ')" = \
  "0.000000,First 0.400000,Second " ] || fail "chapters: $(probe -show_chapters out.mkv)"
probe -show_entries format_tags=title -of csv=p=0 out.mkv | grep -qx "A test clip" ||
  fail "metadata title lost"
tags="$(probe -select_streams v -show_entries stream=color_primaries,color_transfer,color_space,color_range -of csv=p=0 out.mkv)"
[ "$tags" = "tv,bt709,bt709,bt709" ] || fail "colour tags: $tags"
[ "$(relative_stamps in.mp4)" = "$(relative_stamps out.mkv)" ] ||
  fail "video timestamps differ: $(relative_stamps in.mp4 | tr '\n' ' ') / $(relative_stamps out.mkv | tr '\n' ' ')"
[ "$(packets out.mkv v)" -eq 24 ] || fail "frame count: $(video_stamps out.mkv | wc -l)"
[ "$(packets in.mp4 a)" = "$(packets out.mkv a)" ] ||
  fail "audio packets: $(packets in.mp4 a) in, $(packets out.mkv a) out"
[ "$(packets out.mkv s)" = 2 ] || fail "subtitle packets: $(packets out.mkv s)"

# The same frames as the y4m path (the default, strong mode, and the plug-in's filter).
ffmpeg -nostdin -v error -y -i in.mp4 -map 0:v -f yuv4mpegpipe -pix_fmt yuv420p in.y4m
for mode in "" --plugin; do
  "$nivora" -q $mode in.y4m ref.y4m 2> err || fail "y4m path $mode: $(cat err)"
  "$nivora" -q $mode --codec ffv1 in.mp4 out_$$.mkv 2> err || fail "container path $mode: $(cat err)"
  [ "$(frames_md5 ref.y4m)" = "$(frames_md5 out_$$.mkv)" ] ||
    fail "frames of the container path differ from the y4m path ${mode:-(default)}"
done
"$nivora" -q --plugin in.mp4 via.y4m 2> err && [ "$(frames_md5 via.y4m)" = "$(frames_md5 ref.y4m)" ] ||
  fail "container in, y4m out differs from y4m in and out"

# The default encoder for .mp4 (H.264 at crf 18), with options passed through.
"$nivora" -q --encoder-options preset=ultrafast in.mp4 out.mp4 2> err || fail "to .mp4: $(cat err)"
[ "$(probe -select_streams v -show_entries stream=codec_name -of csv=p=0 out.mp4)" = h264 ] ||
  fail "out.mp4 is not H.264"
[ "$(packets out.mp4 v)" -eq 24 ] || fail "out.mp4 frame count"

# 10-bit 4:2:2, interlaced top field first: kept.
ffmpeg -nostdin -v error -y -i noisy.y4m -vf "setfield=tff" -c:v ffv1 -pix_fmt yuv422p10le \
  -field_order tt tff.mkv
"$nivora" -q tff.mkv tff_out.mkv 2> err || fail "10-bit interlaced: $(cat err)"
[ "$(probe -select_streams v -show_entries stream=pix_fmt,field_order -of csv=p=0 tff_out.mkv)" = \
  "yuv422p10le,tt" ] || fail "10-bit 4:2:2 tff: $(probe -select_streams v -show_entries stream=pix_fmt,field_order -of csv=p=0 tff_out.mkv)"

# On a terminal, a container's run shows one line that updates, with the
# frames of the clip and the time left (a line appears after a quarter of a
# second: on a machine so fast that the run ends sooner, there is none).
if command -v script > /dev/null; then
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=640x480:rate=25,noise=alls=12:allf=t" \
    -frames:v 60 -c:v libx264 -preset ultrafast progress.mp4
  script -qec "'$nivora' --threads 1 progress.mp4 --output-format null /dev/null" /dev/null \
    > tty.txt < /dev/null || fail "progress run: $(cat tty.txt)"
  if grep -q $'\rnivora: frame' tty.txt; then
    grep -Eq $'\rnivora: frame [0-9]+/60, [0-9.]+ fps, [0-9]+:[0-9]{2} left' tty.txt ||
      fail "the progress line has no time left: $(tr '\r' '\n' < tty.txt)"
    [ "$(grep -c . tty.txt)" -le 3 ] || fail "progress took more than one line: $(cat tty.txt)"
  else
    echo "the run ended before a progress line: not checked"
  fi
fi

# Refusals: one line naming the file, status 1, nothing left behind.
refused() {  # refused WHAT EXPECTED_TEXT OUTPUT nivora-arguments...
  local what="$1" text="$2" output="$3"
  shift 3
  "$nivora" -q "$@" 2> err
  local status=$?
  [ "$status" -eq 1 ] || fail "$what: status $status, expected 1"
  [ "$(wc -l < err)" -eq 1 ] || fail "$what: not one line: $(cat err)"
  grep -q -- "$text" err || fail "$what: said: $(cat err)"
  [ ! -e "$output" ] || fail "$what: left $output"
  [ -z "$(ls -a | grep '^\.' | grep -v '^\.\.\?$')" ] || fail "$what: left a temporary file"
}
refused "unknown container" "out.xyz.mp3" out.xyz.mp3 in.mp4 out.xyz.mp3
refused "undecodable input" "junk.mp4" junk_out.mkv junk.mp4 junk_out.mkv < /dev/null
head -c 3000 /dev/urandom > junk.mp4
refused "undecodable input" "junk.mp4" junk_out.mkv junk.mp4 junk_out.mkv
refused "missing encoder" "no-such-encoder" out2.mkv --codec no-such-encoder in.mp4 out2.mkv
refused "unknown encoder option" "no_such_option" out3.mkv --encoder-options no_such_option=1 in.mp4 out3.mkv
echo out.mkv > parts
refused "join into y4m" "writes a container" out4.y4m --join parts in.mp4 out4.y4m
finish
