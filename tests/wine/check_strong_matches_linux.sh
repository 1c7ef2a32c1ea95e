# The second plug-in (nivora_strong.auf, copied here as nivora.auf) under Wine
# renders, bit for bit, what its Linux build renders: generated clips, every
# setting kind, played forward, backward and out of order with a start of
# saving and a setting change, on 1 and 3 worker threads under Wine and 1
# natively.

# Clips: name seed width height frames [blurred: noise blurred by a 3x3 box,
# which the estimate reads as coloured, so that the transform pass shrinks by
# the noise's shape].
clips="
small 61 64 48 7
odd 62 100 70 6
blurred 63 128 96 6 blurred
"
# name, track values (noise in tenths, radius, spatial in tenths), check values
# (chroma, per field), play list.
jobs="
small 0,0,10 1,0 0-6,4-2,s,6,u,0
small 40,0,10 1,0 0-6,5-3,s,1,u,0
small 60,2,20 0,1 6-0,s,3
odd 25,1,0 1,1 0-5,2,u,4
odd 0,3,30 1,1 5-0
blurred 0,1,10 1,0 0-5,3,u,1
blurred 50,2,10 1,0 5-0
"
while read -r name seed w h n kind; do
  if [ -n "$name" ]; then "$native" gen "$seed" "$w" "$h" "$n" "clip_$name.yc" $kind; fi
done <<< "$clips"
: > jobs.template
k=0
while read -r clip track checks play; do
  [ -n "$clip" ] || continue
  k=$((k + 1))
  echo "clip_$clip.yc out_VARIANT_$k.yc $track $checks $play" >> jobs.template
done <<< "$jobs"

render() {
  local variant=$1
  shift
  sed "s/VARIANT/$variant/" jobs.template > "jobs_$variant.txt"
  if ! "$@" "jobs_$variant.txt" > "log_$variant.txt" 2>&1; then
    tr -d '\r' < "log_$variant.txt"
    echo "the $variant run failed"
    exit 1
  fi
}
run_native() { "$native" run linked "$1" 1; }
run_wine1() { wine_run ./plugin_host.exe run nivora.auf "$1" 1; }
run_wine3() { wine_run ./plugin_host.exe run nivora.auf "$1" 3; }
render linux run_native
wine_server_start
render wine_t1 run_wine1
render wine_t3 run_wine3

failures=0
for i in $(seq 1 "$k"); do
  "$native" not-cleared "out_linux_$i.yc" || failures=$((failures + 1))
  for variant in wine_t1 wine_t3; do
    if ! cmp -s "out_linux_$i.yc" "out_${variant}_$i.yc"; then
      echo "MISMATCH job $i: $variant differs from Linux"
      "$native" diff "out_linux_$i.yc" "out_${variant}_$i.yc" || true
      failures=$((failures + 1))
    fi
  done
done
echo "nivora_strong.auf under Wine on 1 and 3 threads against its Linux build: $k jobs"
[ $failures -eq 0 ] || { echo "$failures comparisons failed (outputs kept in $PWD)"; exit 1; }
rm -f out_*.yc
