# The plug-in under Wine renders, bit for bit, what the Linux build renders:
# the same generated clips and settings, played forward, backward, after the
# start of saving, a jump and a setting change; 1 and 4 worker threads under
# Wine; natively 1 thread (the reference), 2, 3, 4 and 7 threads and the
# scalar kernels.

# Clips: name seed width height frames. The filter's cost follows its canvas
# (832 x 512 up to 720 x 480, 1472 x 1152 above), not the picture, so the
# sizes are chosen for their rounding and canvas class, with few frames.
clips="
small 41 64 48 7
odd 42 100 70 5
cif 43 176 144 5
sd 44 720 480 3
wide 45 752 120 3
"
# Settings: name, nine track values (Frame W3DYL W3DYH W2DY W3DCL W3DCH W2DC
# MosqNR BlockNR), four check values (per field, anime, mosquito, block).
settings="
defaults 2,8,8,8,8,8,8,5,5 1,0,0,0
r1_anime_both 1,8,8,8,8,8,8,5,5 0,1,1,1
r4_strongest_block 4,30,30,30,30,30,30,20,20 0,0,0,1
r3_zero_mosquito 3,0,0,0,0,0,0,0,0 1,0,1,0
mixed 2,12,4,20,3,17,9,13,7 1,1,1,1
"
# Jobs: clip, settings, play list (forward, backward, start of saving "s", a
# jump, a setting change "u"), whether the scalar kernels render it too, and
# options (frames the editor's cache does not deliver; such a job's frames may
# come out cleared, but alike in both builds).
jobs="
small defaults 0-6,5-3,s,1,u,0 ref
small r1_anime_both 0-6,5-3,s,1,u,0 ref
small r4_strongest_block 0-6,5-3,s,1,u,0 ref
small r3_zero_mosquito 0-6,5-3,s,1,u,0 ref
small mixed 0-6,5-3,s,1,u,0 ref
odd defaults 0-4,3-2,s,4,u,0 -
odd r4_strongest_block 0-4,3-2,s,4,u,0 ref
odd mixed 0-4,3-2,s,4,u,0 -
cif r1_anime_both 0-4,3-2,s,4,u,0 -
cif r3_zero_mosquito 0-4,3-2,s,4,u,0 -
sd defaults 0-2,1,s,0,u,2 -
sd mixed 0-2,1,s,0,u,2 -
wide mixed 0-2,1,s,0 -
small mixed 0-2,1,s,3 - missing=4
"

while read -r name seed w h n; do
  if [ -n "$name" ]; then "$native" gen "$seed" "$w" "$h" "$n" "clip_$name.yc"; fi
done <<< "$clips"
cases=()
ref_cases=()
: > jobs.template
: > jobs_ref.template
may_clear=()
while read -r clip s play ref options; do
  [ -n "$clip" ] || continue
  values=$(echo "$settings" | awk -v s="$s" '$1 == s {print $2, $3}')
  [ -n "$values" ] || { echo "unknown settings $s"; exit 2; }
  name="${clip}_$s${options:+_${options//[=,]/_}}"
  line="clip_$clip.yc out_VARIANT_$name.yc $values $play $options"
  echo "$line" >> jobs.template
  cases+=("$name")
  [ -z "$options" ] || may_clear+=("$name")
  if [ "$ref" = ref ]; then
    echo "$line" >> jobs_ref.template
    ref_cases+=("$name")
  fi
done <<< "$jobs"

# Renders every job: render VARIANT COMMAND..., where JOBS in the command
# stands for the variant's job file.
render() {
  local variant=$1 jobs="jobs_$1.txt" template=jobs.template args=() a t0
  shift
  [ "$variant" = linux_ref ] && template=jobs_ref.template
  sed "s/VARIANT/$variant/" "$template" > "$jobs"
  for a in "$@"; do args+=("${a//JOBS/$jobs}"); done
  t0=$(date +%s)
  if ! "${args[@]}" > "log_$variant.txt" 2>&1; then
    tr -d '\r' < "log_$variant.txt"
    echo "the $variant run failed"
    exit 1
  fi
  echo "$variant: $(wc -l < "$jobs") jobs in $(( $(date +%s) - t0 )) s"
}

render linux_t1 "$native" run linked JOBS 1
for t in 2 3 4 7; do
  render linux_t$t "$native" run linked JOBS $t
done
render linux_ref "$native" run linked JOBS 1 --kernels=ref
wine_server_start
render wine_t1 wine_run ./plugin_host.exe run nivora.auf JOBS 1
render wine_t4 wine_run ./plugin_host.exe run nivora.auf JOBS 4

failures=0
for c in "${cases[@]}"; do
  reference="out_linux_t1_$c.yc"
  if [[ " ${may_clear[*]} " != *" $c "* ]] && ! "$native" not-cleared "$reference"; then
    failures=$((failures + 1))
  fi
  for variant in linux_t2 linux_t3 linux_t4 linux_t7 linux_ref wine_t1 wine_t4; do
    other="out_${variant}_$c.yc"
    [ "$variant" != linux_ref ] || [[ " ${ref_cases[*]} " == *" $c "* ]] || continue
    if ! cmp -s "$reference" "$other"; then
      echo "MISMATCH $c: $variant differs from linux_t1"
      "$native" diff "$reference" "$other" || true
      failures=$((failures + 1))
    fi
  done
done
# The editor's services were used alike: the same fetches and stage calls.
for variant in wine_t1 wine_t4 linux_t2 linux_t3 linux_t4 linux_t7; do
  normalise() { tr -d '\r' < "log_$1.txt" | sed -e "s/out_$1_/out_/" -e 's/, [0-9]* ms$//'; }
  if ! diff <(normalise linux_t1) <(normalise "$variant") > /dev/null; then
    echo "MISMATCH: the $variant run used the editor's services differently:"
    diff <(normalise linux_t1) <(normalise "$variant") || true
    failures=$((failures + 1))
  fi
done
echo "compared with the Linux build on 1 thread: ${#cases[@]} jobs on Wine with 1 and 4 threads" \
  "and natively with 2, 3, 4 and 7 threads, ${#ref_cases[@]} natively with the scalar kernels"
[ $failures -eq 0 ] || { echo "$failures comparisons failed (outputs kept in $PWD)"; exit 1; }
rm -f out_*.yc
