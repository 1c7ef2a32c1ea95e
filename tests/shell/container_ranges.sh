#!/usr/bin/env bash
# Ranges of a container: `--range` seeks to the keyframe before the range and
# gives the frames a whole run gives (an open-GOP H.264 input with B-frames,
# strong mode and the plug-in's filter); container parts of adjacent ranges
# joined with `--join` (as nivora-farm joins them) make the file one run makes:
# every stream, chapter and colour tag, the same timestamps and frames; so
# does nivora-farm on a container.
#   container_ranges.sh NIVORA NIVORA-FARM
set -uo pipefail
nivora="$1"
farm="$2"
. "$(dirname "$0")/clip.sh"
command -v ffmpeg > /dev/null && command -v ffprobe > /dev/null || { echo "no ffmpeg: skipped"; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
make_clip small.y4m 32 32 2
if ! "$nivora" -q small.y4m probe.mkv 2> /dev/null; then echo "containers not built: skipped"; exit 77; fi

# Open GOPs of 8 frames with B-frames, audio, subtitles, chapters, colour tags.
make_clip noisy.y4m 64 48 36
cat > meta.txt <<'META'
;FFMETADATA1
title=Ranges
[CHAPTER]
TIMEBASE=1/1000
START=0
END=700
title=One
[CHAPTER]
TIMEBASE=1/1000
START=700
END=1440
title=Two
META
printf '1\n00:00:00,000 --> 00:00:00,500\nHello\n\n2\n00:00:00,800 --> 00:00:01,200\nWorld\n' > subs.srt
ffmpeg -nostdin -v error -y -i noisy.y4m -f lavfi -i sine=frequency=440:duration=2 -i subs.srt \
  -i meta.txt -map 0:v -map 1:a -map 2:s -map_metadata 3 -map_chapters 3 \
  -c:v libx264 -crf 12 -pix_fmt yuv420p \
  -x264-params keyint=8:min-keyint=8:scenecut=0:open-gop=1:bframes=3:b-pyramid=normal \
  -color_primaries bt709 -color_trc bt709 -colorspace bt709 -color_range tv \
  -c:a aac -c:s mov_text -shortest in.mp4 ||
  { echo "ffmpeg cannot make the clip: skipped"; exit 77; }

frames="$(ffprobe -v error -select_streams v -count_packets -show_entries stream=nb_read_packets -of csv=p=0 in.mp4)"
((frames > 31)) || { fail "in.mp4 has $frames frames"; finish; }

# y4m ranges concatenate to the whole run, for both filters. The cuts fall
# inside GOPs, on a keyframe and one frame after it, and near the end.
for filter in "" "--plugin"; do
  "$nivora" -q $filter in.mp4 whole.y4m || fail "whole run $filter"
  : > joined.y4m
  for range in 0:5 5:16 16:17 17:31 31:; do
    "$nivora" -q $filter --range "$range" in.mp4 part.y4m || fail "range $range $filter"
    cat part.y4m >> joined.y4m
  done
  cmp -s whole.y4m joined.y4m || fail "ranges ${filter:-(strong mode)} differ from the whole run"
done
"$nivora" -q --range 40: in.mp4 late.y4m 2> err && fail "a range past the end succeeded"
grep -q "the range starts at frame 40 but the clip has $frames frames" err || fail "past the end: $(cat err)"

# Container parts, joined: lossless, so the frames can be compared; then
# H.264 (each part its own encode) in .mkv and .mp4.
probe() { ffprobe -v error "$@"; }
# Timestamps: of the packets (sorted: encodes of parts may order B-frames
# differently), and of the frames decoded.
stamps() { probe -select_streams v -show_entries packet=pts -of csv=p=0 "$1" | sort -n; }
decoded() { probe -select_streams v -show_entries frame=pts -of csv=p=0 "$1" | grep -Eo '^-?[0-9]+'; }
frames_md5() {
  ffmpeg -nostdin -v error -i "$1" -map 0:v -fps_mode passthrough -f rawvideo - | md5sum
}
same() {  # same WHAT ONE JOINED: ffprobe's entries WHAT agree
  [ "$(probe -show_entries "$1" -of csv=p=0 "$2")" = "$(probe -show_entries "$1" -of csv=p=0 "$3")" ] ||
    fail "$3: $1 differ from one run's"
}
for codec in ffv1:mkv libx264:mkv libx264:mp4; do
  ext="${codec#*:}"; codec="${codec%:*}"
  one="one_$codec.$ext" joined="joined_$codec.$ext"
  "$nivora" -q --codec "$codec" in.mp4 "$one" || fail "one run to $one"
  : > list
  for range in 0:11 11:24 24:; do
    "$nivora" -q --codec "$codec" --range "$range" in.mp4 "part.${range%%:*}.$ext" ||
      fail "range $range to .$ext"
    echo "part.${range%%:*}.$ext" >> list
  done
  [ "$(probe -show_entries stream=codec_type -of csv=p=0 part.11.$ext)" = video ] ||
    fail "a range's .$ext holds more than its video"
  "$nivora" -q --join list in.mp4 "$joined" || fail "join to $joined"
  same stream=codec_type,codec_name,color_primaries,color_transfer,color_space,color_range \
    "$one" "$joined"
  same chapter=start_time,end_time:chapter_tags=title "$one" "$joined"
  same format_tags=title "$one" "$joined"
  [ "$(stamps "$one")" = "$(stamps "$joined")" ] || fail "$joined: video timestamps differ"
  [ "$(decoded "$joined")" = "$(decoded "$one")" ] && [ "$(decoded "$joined" | wc -l)" = "$frames" ] ||
    fail "$joined does not decode to the frames of one run"
  for type in a s; do
    [ "$(probe -select_streams $type -show_entries packet=pts,size -of csv=p=0 "$one")" = \
      "$(probe -select_streams $type -show_entries packet=pts,size -of csv=p=0 "$joined")" ] ||
      fail "$joined: the $type packets differ"
  done
done
# Lossless: the same frames as one run, and as the y4m path.
[ "$(frames_md5 one_ffv1.mkv)" = "$(frames_md5 joined_ffv1.mkv)" ] || fail "the joined frames differ"
"$nivora" -q in.mp4 whole.y4m
[ "$(frames_md5 one_ffv1.mkv)" = "$(frames_md5 whole.y4m)" ] || fail "the frames are not the y4m path's"

# The farm: ranges on two slots, joined.
if command -v parallel > /dev/null; then
  "$farm" --nivora "$nivora" --jobs 2 --chunk 10 --codec ffv1 in.mp4 farm.mkv 2> err ||
    fail "nivora-farm to .mkv: $(cat err)"
  [ "$(frames_md5 farm.mkv)" = "$(frames_md5 one_ffv1.mkv)" ] || fail "the farm's frames differ"
  for what in stream=codec_type,codec_name,color_space chapter=start_time:chapter_tags=title \
              packet=stream_index,pts; do
    same "$what" one_ffv1.mkv farm.mkv
  done
  "$farm" --nivora "$nivora" --jobs 2 in.mp4 - 2> err > farm.y4m || fail "nivora-farm to y4m: $(cat err)"
  cmp -s farm.y4m whole.y4m || fail "the farm's y4m differs from one run's"
  # A y4m input into a container: the parts are stamped with their frame numbers.
  "$farm" --nivora "$nivora" --jobs 2 --codec ffv1 noisy.y4m farm_y4m.mkv 2> err &&
    "$nivora" -q --codec ffv1 noisy.y4m one_y4m.mkv || fail "y4m to .mkv: $(cat err)"
  [ "$(frames_md5 farm_y4m.mkv)" = "$(frames_md5 one_y4m.mkv)" ] || fail "y4m farm: frames differ"
  same packet=pts one_y4m.mkv farm_y4m.mkv
fi

# A variable frame rate (40 ms, then 100 ms, then a step of 13 ms) keeps its
# timestamps exactly: in one run to .mkv and .mp4, and in joined ranges.
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=64x48:rate=25,noise=alls=20:allf=t" \
  -frames:v 30 -vf "settb=1/1000,setpts='if(lt(N,12),N*40,480+(N-12)*100)+if(gte(N,20),13,0)'" \
  -fps_mode passthrough -enc_time_base 1/1000 -c:v libx264 -crf 20 vfr.mkv ||
  fail "ffmpeg cannot make the variable-rate clip"
seconds() { probe -select_streams v -show_entries packet=pts_time -of csv=p=0 "$1" | sort -n; }
[ "$(seconds vfr.mkv | sed -n '13p;14p;21p')" = "$(printf '0.480000\n0.580000\n1.293000')" ] ||
  fail "the variable-rate clip is not what it should be: $(seconds vfr.mkv | tr '\n' ' ')"
"$nivora" -q vfr.mkv vfr_one.mkv && "$nivora" -q vfr.mkv vfr_one.mp4 || fail "variable rate: one run"
printf 'vfr.0.mkv\nvfr.13.mkv\n' > list
"$nivora" -q --range 0:13 vfr.mkv vfr.0.mkv && "$nivora" -q --range 13: vfr.mkv vfr.13.mkv &&
  "$nivora" -q --join list vfr.mkv vfr_joined.mkv || fail "variable rate: ranges and join"
for out in vfr_one.mkv vfr_one.mp4 vfr_joined.mkv; do
  [ "$(seconds "$out")" = "$(seconds vfr.mkv)" ] ||
    fail "$out: timestamps changed: $(seconds "$out" | tr '\n' ' ')"
done

# Refusals: parts coded differently, a part that is not there, no output left.
"$nivora" -q --codec ffv1 --range 0:11 in.mp4 other.mkv
printf 'other.mkv\npart.11.mkv\n' > list
"$nivora" -q --join list in.mp4 bad.mkv 2> err && fail "parts coded differently were joined"
grep -q "not coded as the first part's" err || fail "coding refusal: $(cat err)"
printf 'other.mkv\nmissing.mkv\n' > list
"$nivora" -q --join list in.mp4 bad.mkv 2> err && fail "a missing part was joined"
grep -q "missing.mkv" err || fail "missing part: $(cat err)"
[ ! -e bad.mkv ] || fail "a failed join left its output"
finish
