# What the editor keeps outside the picture does not reach the output: the
# plug-in under Wine and the Linux build render the same frames whether the
# cache's frames hold a fixed pattern right of and below the picture, a new
# pattern right of it on every fetch (seeded noise, zeros, copies of the last
# column, in turn), or a new pattern right of and below it on every fetch.
# Widths on either side of the canvas classes, heights not multiples of 16,
# per-field and both pre-filters on and off; the wide clips (whose cost
# follows the canvas, not the picture) with few rows and two frames, played
# once (the others play a frame again at the end), so that the check stays
# short where i386 programs run through an emulator.

# Clips: name seed width height frames.
clips="
w6 51 6 37 5
w70 52 70 45 5
w724 53 724 21 2
w1912 54 1912 18 2
"
# Settings: name, nine track values, four check values (per field, anime,
# mosquito, block).
settings="
plain 2,8,8,8,8,8,8,5,5 0,0,0,0
field 2,8,8,8,8,8,8,5,5 1,0,0,0
prefilters 2,8,8,8,8,8,8,5,5 0,0,1,1
field_prefilters 2,8,8,8,8,8,8,5,5 1,0,1,1
"
# What the cache keeps outside the picture: mode name and job option.
modes="
fixed -
right scramble=right
right_below scramble=right,below
"

cases=()
: > jobs.template
while read -r clip seed w h n; do
  [ -n "$clip" ] || continue
  "$native" gen "$seed" "$w" "$h" "$n" "clip_$clip.yc"
  while read -r s track checks; do
    [ -n "$s" ] || continue
    while read -r mode option; do
      [ -n "$mode" ] || continue
      [ "$option" != - ] || option=
      play="0-$((n - 1))"
      [ "$n" -le 2 ] || play+=",1"
      echo "clip_$clip.yc out_VARIANT_${clip}_${s}_$mode.yc $track $checks $play $option" \
        >> jobs.template
      [ "$mode" != fixed ] || cases+=("${clip}_$s")
    done <<< "$modes"
  done <<< "$settings"
done <<< "$clips"

# render VARIANT COMMAND..., JOBS standing for the variant's job file.
render() {
  local variant=$1 jobs="jobs_$1.txt" args=() a t0
  shift
  sed "s/VARIANT/$variant/" jobs.template > "$jobs"
  for a in "$@"; do args+=("${a//JOBS/$jobs}"); done
  t0=$(date +%s)
  if ! "${args[@]}" > "log_$variant.txt" 2>&1; then
    tr -d '\r' < "log_$variant.txt"
    echo "the $variant run failed"
    exit 1
  fi
  echo "$variant: $(wc -l < "$jobs") jobs in $(( $(date +%s) - t0 )) s"
}

render linux "$native" run linked JOBS 1
wine_server_start
render wine wine_run ./plugin_host.exe run nivora.auf JOBS 2

failures=0
for c in "${cases[@]}"; do
  reference="out_linux_${c}_fixed.yc"
  for variant in linux wine; do
    for mode in fixed right right_below; do
      other="out_${variant}_${c}_$mode.yc"
      [ "$other" != "$reference" ] || continue
      if ! cmp -s "$reference" "$other"; then
        echo "MISMATCH ${c}_$mode: $variant differs from the Linux build with the fixed pattern"
        "$native" diff "$reference" "$other" || true
        failures=$((failures + 1))
      fi
    done
  done
done
# The jobs that should scramble did, on every fetch; the others did not.
for variant in linux wine; do
  # A job's line: "job N: OUT, F frames, N fetches, S stage calls[, N scrambled], T ms".
  if tr -d '\r' < "log_$variant.txt" | awk -F', ' '
      /_fixed\.yc,/ && /scrambled/ { bad = 1 }
      /_right(_below)?\.yc,/ && !($5 ~ / scrambled$/ && $5 + 0 == $3 + 0 && $3 + 0 > 0) { bad = 1 }
      END { exit !bad }'; then
    echo "the $variant run scrambled the frames of the wrong jobs, or not on every fetch"
    failures=$((failures + 1))
  fi
done
echo "compared ${#cases[@]} clip and settings pairs in 3 modes each, on Wine with 2 threads" \
  "and natively with 1 thread, with the Linux build in the fixed pattern"
[ $failures -eq 0 ] || { echo "$failures comparisons failed (outputs kept in $PWD)"; exit 1; }
rm -f out_*.yc
