#!/usr/bin/env bash
# Counts the instructions per frame the filter executes, per stage and in
# total: the 32-bit plug-in (nivora.auf in the test editor plugin_host.exe,
# under Wine under qemu-i386) and the 64-bit Linux build (the same editor
# linked with the filter, plugin_host_native, under qemu-x86_64), at the SSE2
# and AVX2 kernel levels, with both pre-filters off and on.
#
# How: QEMU logs every translation block it makes (in_asm) and every execution
# of one (exec; nochain so that each execution is logged), filtered to the
# filter's code (QEMU_DFILTER: the DLL's .text where Wine mapped it, the
# native program's .text where qemu loaded it). bench/tb_count.cpp reads the
# log through a FIFO and multiplies each block's instructions by its
# executions. The editor plays frames 0 .. N-1 in order on one worker thread;
# the counts restart at each entry into func_proc, so what remains is the cost
# of the last frame in the steady state (one new frame enters the window),
# start-up and the window's first frames left out: the same figure as the
# difference between runs of N-1 and N frames, at about half the emulation.
# Stage entry functions mark the stages (a block counts for the stage whose
# entry ran last). Code outside the filter (the C library's memcpy, Wine, the
# editor) is not counted. The kernel level comes from the emulated processor
# (QEMU_CPU): "max" has AVX2, "Nehalem" stops at SSE4.2, so that the filter
# picks its SSE2 kernels; the script checks which kernels ran.
#
# With --plugin strong the same for the second plug-in: nivora_strong.auf in
# plugin_host.exe against plugin_host_strong_native, at a given noise level
# (--sigma), with its own stages (its pre-filter setting does not exist: --pre
# is ignored).
#
# usage: bench/count_instructions.sh [options]
#   --plugin P        filter (nivora.auf, the default) or strong (nivora_strong.auf)
#   --sigma S         strong: the noise level, in code values (default 4)
#   --builds LIST     i686,x86_64 (default both)
#   --levels LIST     sse2,avx2 (default both)
#   --pre LIST        off,on: both pre-filters off / on (default both)
#   --size WxH        default 1920x1080
#   --frame R         the Frame setting (temporal radius), default 2
#   --frames N        frames played, the last one counted (default 2)
#   --functions M     also print the M costliest functions of each case
#   --parallel J      run J cases at a time (default 1)
#   --build DIR       the Linux build folder (default build)
#   --build-win DIR   the plug-in's build folder (default build-win)
#   --prefix DIR      the Wine prefix (default: DIR of --build-win/bench_prefix)
#   --work DIR        keep the logs and counts there (default: a temporary folder)
#   --check-counter   counts a loop of known length in both emulators and exits
# A case at 1920x1080 takes 10 to 30 minutes (the log of a frame is some GB,
# written a line at a time); run cases in parallel on idle processors.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

plugin=filter
sigma=4
builds=i686,x86_64
levels=sse2,avx2
pres=off,on
size=1920x1080
radius=2
frames=2
functions=0
parallel=1
build=$root/build
build_win=$root/build-win
prefix=
work=
check_counter=0
while [ $# -gt 0 ]; do
  case $1 in
    --plugin) plugin=$2; shift ;;
    --sigma) sigma=$2; shift ;;
    --builds) builds=$2; shift ;;
    --levels) levels=$2; shift ;;
    --pre) pres=$2; shift ;;
    --size) size=$2; shift ;;
    --frame) radius=$2; shift ;;
    --frames) frames=$2; shift ;;
    --functions) functions=$2; shift ;;
    --parallel) parallel=$2; shift ;;
    --build) build=$(realpath "$2"); shift ;;
    --build-win) build_win=$(realpath "$2"); shift ;;
    --prefix) prefix=$(realpath -m "$2"); shift ;;
    --work) work=$(realpath -m "$2"); shift ;;
    --check-counter) check_counter=1 ;;
    *) sed -n '/^# usage/,/^# Each case/p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
  shift
done

qemu32=/usr/bin/qemu-i386-static
qemu64=/usr/bin/qemu-x86_64-static
for q in $qemu32 $qemu64; do
  [ -x "$q" ] || { echo "$q is missing (qemu-user-static, 7.2 cannot run Wine 8: use 10 from bookworm-backports)"; exit 1; }
done

# Every 32-bit program must go through qemu-i386, even where the processor
# runs them: the counting is the emulator's. A private binfmt_misc in a user
# namespace (Linux 6.7 and later) does that for this script alone.
if [ "${NIVORA_COUNT_NAMESPACE:-}" != 1 ]; then
  export NIVORA_COUNT_NAMESPACE=1
  exec unshare --user --map-root-user --mount bash -c '
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc ||
      { echo "cannot mount a private binfmt_misc (needs Linux 6.7 or later)"; exit 1; }
    printf "%s" ":nivora-count-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu32"':F" \
      > /proc/sys/fs/binfmt_misc/register || exit 1
    exec "$0" "$@"' "$0" --plugin "$plugin" --sigma "$sigma" --builds "$builds" --levels "$levels" --pre "$pres" --size "$size" \
      --frame "$radius" --frames "$frames" --functions "$functions" --parallel "$parallel" \
      --build "$build" --build-win "$build_win" ${prefix:+--prefix "$prefix"} \
      ${work:+--work "$work"} $([ $check_counter = 1 ] && echo --check-counter)
fi

temporary_work=
if [ -z "$work" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/nivora_count.XXXXXX")
  temporary_work=$work
  trap 'rm -rf "$temporary_work"' EXIT
fi
mkdir -p "$work"
c++ -O2 -o "$work/tb_count" "$root/bench/tb_count.cpp"

# count_log RESULT TB_COUNT_OPTIONS -- COMMAND...: runs COMMAND (with QEMU_DFILTER
# etc. set by the caller) logging into a FIFO that tb_count reads; RESULT gets
# the counts.
count_log() {
  local result=$1 options=() fifo pid status=0
  shift
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  fifo=$(mktemp -u "$work/log.XXXXXX")
  mkfifo "$fifo"
  "$work/tb_count" "${options[@]}" "$fifo" > "$result" &
  pid=$!
  # Held open so that the reader sees no end while the emulators exec.
  exec 3> "$fifo"
  QEMU_LOG=in_asm,exec,nochain QEMU_LOG_FILENAME=$fifo "$@" || status=$?
  echo "#end" >&3
  exec 3>&-
  wait "$pid"
  rm -f "$fifo"
  return $status
}

if [ $check_counter = 1 ]; then
  # A loop of 4n + 4 instructions, n = 100000, in both modes.
  cat > "$work/loop.S" <<'EOF'
.globl _start
_start:
  mov $100000, %ecx
1: add $1, %eax
  add $2, %edx
  sub $1, %ecx
  jnz 1b
#ifdef __x86_64__
  mov $60, %eax
  xor %edi, %edi
  syscall
#else
  mov $1, %eax
  xor %ebx, %ebx
  int $0x80
#endif
EOF
  ok=1
  for m in 32 64; do
    cc -m$m -nostdlib -static -o "$work/loop$m" "$work/loop.S"
    count_log "$work/loop$m.counts" -- "$( [ $m = 32 ] && echo $qemu32 || echo $qemu64 )" "$work/loop$m"
    counted=$(awk '$1 == "total" {print $2}' "$work/loop$m.counts")
    echo "$m-bit loop: $counted instructions counted, 400004 executed"
    [ "$counted" = 400004 ] || ok=0
  done
  [ $ok = 1 ]
  exit
fi

case $plugin in
  filter) dll_name=nivora.auf native=$build/tests/plugin_host_native ;;
  strong) dll_name=nivora_strong.auf native=$build/tests/plugin_host_strong_native pres=off ;;
  *) echo "--plugin: filter or strong"; exit 2 ;;
esac
host_exe=$build_win/tests/wine/plugin_host.exe
dll=$build_win/$dll_name
[ -x "$native" ] || { echo "$native is missing (cmake --build $build --target plugin_host_native)"; exit 1; }
if [[ ,$builds, == *,i686,* ]]; then
  for f in "$host_exe" "$dll" "$dll.debug"; do
    [ -f "$f" ] || { echo "$f is missing (cmake --build $build_win)"; exit 1; }
  done
fi

# The stages by the functions that start them (driver/driver.h); "-" is the
# driver before the first stage of a call, "x" the editor's other calls.
stage_entries="
a block_nr_job
b mosquito_nr_job
c spatial_columns_job
d spatial_rows_job
d rows_and_chroma_job
e temporal_chroma_share
e temporal_luma_job
e temporal_job
f output_job
- func_proc
x func_init
x func_exit
x func_update
x func_save_start
x func_WndProc
"
stages="a b c d e f -"
stage_legend="(a block NR, b mosquito NR, c column pass, d row pass, e temporal fit and synthesis,
 f output, other: the driver; ratio: i686 / x86_64)"
if [ "$plugin" = strong ]; then
  stage_entries="
a frame_to_planes_job
b estimate_job
c push_job
d field_job
d process_job
e spatial_job
f planes_to_frame_job
- strong_func_proc
x strong_func_init
x strong_func_exit
x strong_func_update
x strong_func_save_start
"
  stage_legend="(a frames to planes, b estimate, c window push and pyramid, d motion search and
 temporal mean, e spatial pass, f planes to frame, other: func_proc; ratio: i686 / x86_64)"
fi

# Hexadecimal to number in awk (exact below 2^53).
awk_hex='function hex(s,  i, n) {
  n = 0; s = tolower(s); sub(/^0x/, "", s)
  for (i = 1; i <= length(s); ++i) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
  return n
}'

# symbols NM FILE BIAS OUT: the program's functions, "address name" (address
# with BIAS, a signed decimal, added; decimal), sorted by address.
symbols() {
  local nm=$1 file=$2 bias=$3 out=$4
  "$nm" -C --defined-only "$file" | awk -v bias="$bias" "$awk_hex"'
    $2 ~ /^[Tt]$/ && $3 !~ /^\./ {
      name = $3; for (i = 4; i <= NF; ++i) name = name " " $i
      printf "%.0f %s\n", hex($1) + bias, name
    }' | sort -n > "$out"
}

# function_of: awk code that reads the symbols (first file) and looks up pcs.
awk_function_of="$awk_hex"'
NR == FNR { a[NR] = $1 + 0; $1 = ""; f[NR] = substr($0, 2); n = NR; next }
function function_of(pc,  lo, hi, mid) {
  lo = 1; hi = n
  while (lo < hi) { mid = int((lo + hi + 1) / 2); if (a[mid] <= pc) lo = mid; else hi = mid - 1 }
  return f[lo]
}'


# marks SYMBOLS OUT: the stage marks for tb_count.
marks() {
  local syms=$1 out=$2
  : > "$out"
  while read -r stage fn; do
    [ -n "$stage" ] || continue
    local line
    line=$(awk -v fn="$fn" '{ n = $0; sub(/^[0-9]+ /, "", n); sub(/^\(anonymous namespace\)::/, "", n)
      sub(/\(.*/, "", n) } n == fn { print $1; exit }' "$syms")
    [ -n "$line" ] || { echo "no function $fn in the symbols" >&2; return 1; }
    printf '%x %s\n' "$line" "$stage" >> "$out"
  done <<< "$stage_entries"
}

# The programs are copied, so that a build during the count changes nothing.
cp "$native" "$work/plugin_host_native"
native=$work/plugin_host_native
nm -C --defined-only "$build"/libnivora_*.a | awk '$2 ~ /^[Tt]$/ {
  name = $3; for (i = 4; i <= NF; ++i) name = name " " $i; print name }' | sort -u > "$work/x86_64.filter_functions"

w=${size%x*}
h=${size#*x}
clip=$work/clip.yc
"$native" gen 7 "$w" "$h" $((frames + 5)) "$clip" > /dev/null
job_line() {  # job_line OUT PRE LAST
  if [ "$plugin" = strong ]; then
    echo "clip.yc $1 $(awk -v s="$sigma" 'BEGIN { printf "%d", s * 10 + 0.5 }'),0,10 1,0 0-$3"
    return
  fi
  local checks=1,0,0,0
  [ "$2" = on ] && checks=1,0,1,1
  echo "clip.yc $1 $radius,8,8,8,8,8,8,5,5 $checks 0-$3"
}

cpu_for() { [ "$1" = avx2 ] && echo max || echo Nehalem; }

# The native program: qemu loads it where its page log says.
native_bias() {
  local cpu=$1 log=$work/page.txt start_code exec_vaddr
  QEMU_CPU=$cpu QEMU_LOG=page QEMU_LOG_FILENAME=$log $qemu64 "$native" > /dev/null 2>&1 || true
  start_code=$(awk '$1 == "start_code" {print $2}' "$log")
  exec_vaddr=$(readelf -lW "$native" | awk '$1 == "LOAD" && / E 0x/ {print $3; exit}')
  echo $((start_code - exec_vaddr))
}

text_range() {  # text_range OBJDUMP FILE BIAS: "start+size" of .text
  local size vma
  read -r size vma < <("$1" -h "$2" | awk '$2 == ".text" { print $3, $4 }')
  printf '0x%x+0x%x\n' $((0x$vma + $3)) $((0x$size))
}

wine_env() {
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY WAYLAND_DISPLAY
}
if [[ ,$builds, == *,i686,* ]]; then
  [ -n "$prefix" ] || prefix=$build_win/bench_prefix
  command -v wine > /dev/null || { echo "wine is not installed (scripts/setup.sh)"; exit 1; }
  echo "preparing the Wine prefix $prefix (a few minutes the first time)" >&2
  bash "$root/tests/wine/prepare_prefix.sh" "$prefix" >&2
  cp "$host_exe" "$dll" "$dll.debug" "$work/"
  dll=$work/$dll_name
  wine_env
fi
wine_started=0
stop_wine() { [ $wine_started = 0 ] || { wineserver -k > /dev/null 2>&1 || true; timeout 120 wineserver -w || true; }; }
trap 'stop_wine; [ -z "$temporary_work" ] || rm -rf "$temporary_work"' EXIT

# run_case BUILD LEVEL PRE: prints "BUILD LEVEL PRE a b c d e f - total"
# (instructions per frame) and leaves the per-block difference in
# $work/BUILD_LEVEL_PRE.diff.
run_case() {
  local b=$1 level=$2 pre=$3 cpu bias range syms name=$1_$2_$3 n
  cpu=$(cpu_for "$level")
  syms=$work/$b.syms
  if [ "$b" = x86_64 ]; then
    bias=$(native_bias "$cpu")
    symbols nm "$native" "$bias" "$syms"
    range=$(text_range objdump "$native" "$bias")
  else
    local image_base
    image_base=$(i686-w64-mingw32-objdump -p "$dll" | awk '$1 == "ImageBase" {print $2}')
    bias=$((0x$dll_base - 0x$image_base))
    symbols i686-w64-mingw32-nm "$dll.debug" "$bias" "$syms"
    : > "$work/$b.filter_functions"
    range=$(text_range i686-w64-mingw32-objdump "$dll.debug" "$bias")
  fi
  marks "$syms" "$work/$b.marks"
  local reset
  reset=$(awk '$2 == "-" {print $1}' "$work/$b.marks")
  job_line "out_$name.yc" "$pre" $((frames - 1)) > "$work/jobs_$name.txt"
  local run=("$qemu64" "$native" run linked)
  [ "$b" = x86_64 ] || run=(timeout 14400 wine ./plugin_host.exe run "$dll_name")
  (cd "$work" && QEMU_CPU=$cpu QEMU_DFILTER=$range count_log "$name.counts" \
    --marks "$work/$b.marks" --reset-at "$reset" -- "${run[@]}" "jobs_$name.txt" 1 > "$name.log") ||
    { echo "the $name run failed:"; tr -d '\r' < "$work/$name.log"; return 1; } >&2
  local unmatched
  unmatched=$(awk '$1 == "total" {print $4}' "$work/$name.counts")
  [ "$unmatched" = 0 ] || echo "warning: $name: $unmatched executions of blocks never seen translated" >&2
  # The native program also holds the editor (its frame fetches run inside the
  # filter's calls): only the filter's functions count, as under Wine.
  awk "$awk_function_of"'
    FILENAME == ARGV[2] { filter[$0] = 1; next }
    $1 != "total" && $1 != "x" && (nofilter || function_of(hex($2)) in filter)' \
    "$syms" "$work/$b.filter_functions" nofilter=$([ "$b" = i686 ] && echo 1 || echo 0) \
    "$work/$name.counts" > "$work/$name.diff"
  # The level really used: AVX2 kernels ran, or none did.
  local avx2_blocks
  avx2_blocks=$(awk "$awk_function_of"'
    { if (function_of(hex($2)) ~ /avx2/) c++ }
    END { print c + 0 }' "$syms" "$work/$name.diff")
  if { [ "$level" = avx2 ] && [ "$avx2_blocks" = 0 ]; } || { [ "$level" = sse2 ] && [ "$avx2_blocks" != 0 ]; }; then
    echo "warning: $name: the emulated processor ($cpu) did not give the $level kernels" >&2
  fi
  awk -v label="$b $level $pre" -v stages="$stages" '
    { s[$1] += $3; total += $3 }
    END {
      printf "%s", label
      n = split(stages, st, " ")
      for (i = 1; i <= n; ++i) printf " %.0f", s[st[i]]
      printf " %.0f\n", total
    }' "$work/$name.diff"
  if [ "$functions" -gt 0 ]; then
    awk "$awk_function_of"'
      { c[$1 " " function_of(hex($2))] += $3 }
      END { for (k in c) printf "%.0f %s\n", c[k], k }' "$syms" "$work/$name.diff" |
      sort -rn | awk -v m="$functions" 'NR <= m' | awk -v name="$name" '{ printf "  %-22s %12s  %s\n", name, $1, substr($0, length($1) + 2) }' > "$work/$name.functions"
  fi
}

if [[ ,$builds, == *,i686,* ]]; then
  # Where Wine maps the DLL: its image base unless something is in the way.
  # The loader's trace of a first run says; that run also starts Wine's own
  # processes, so that the counted runs start none. (They keep what they
  # inherit open: a file, not a pipe.)
  # One count at a time per prefix: the server is stopped at the end.
  wineserver -p || { echo "a Wine server already runs for $prefix: is another count using it?"; exit 1; }
  wine_started=1
  (cd "$work" && WINEDEBUG=+loaddll timeout 900 wine ./plugin_host.exe table "$dll_name" > loaddll.txt 2>&1) || true
  dll_base=$(tr -d '\r' < "$work/loaddll.txt" | sed -n "s/.*${dll_name//./\\.}\" at \([0-9A-Fa-f]*\).*/\1/p" | sed -n 1p)
  [ -n "$dll_base" ] || { echo "could not find where Wine loads $dll_name:"; cat "$work/loaddll.txt"; exit 1; }
fi

results=$work/results.txt
names=()
running=0
failed=0
for pre in ${pres//,/ }; do
  for level in ${levels//,/ }; do
    for b in ${builds//,/ }; do
      echo "counting $b $level, pre-filters $pre" >&2
      names+=("${b}_${level}_$pre")
      run_case "$b" "$level" "$pre" > "$work/${b}_${level}_$pre.result" &
      running=$((running + 1))
      if [ $running -ge "$parallel" ]; then wait -n || failed=1; running=$((running - 1)); fi
    done
  done
done
while [ $running -gt 0 ]; do wait -n || failed=1; running=$((running - 1)); done
[ $failed = 0 ] || { echo "some cases failed"; exit 1; }
for name in "${names[@]}"; do cat "$work/$name.result"; done > "$results"

setting="Frame $radius"
[ "$plugin" = strong ] && setting="$dll_name, sigma $sigma"
echo "instructions per frame (millions), ${w}x$h, $setting, 1 thread, frame $((frames - 1)) of 0-$((frames - 1)):"
printf '%-7s %-5s %-4s %8s %8s %8s %8s %8s %8s %8s | %8s %7s\n' build level pre a b c d e f other total ratio
awk '
  { key = $2 " " $3; if ($1 == "x86_64") base[key] = $11; line[NR] = $0 }
  END {
    for (i = 1; i <= NR; ++i) {
      split(line[i], v, " ")
      key = v[2] " " v[3]
      ratio = (v[1] == "i686" && base[key] > 0) ? sprintf("%6.3fx", v[11] / base[key]) : ""
      printf "%-7s %-5s %-4s", v[1], v[2], v[3]
      for (j = 4; j <= 10; ++j) printf " %8.2f", v[j] / 1e6
      printf " | %8.2f %7s\n", v[11] / 1e6, ratio
    }
  }' "$results"
echo "$stage_legend"
if [ "$functions" -gt 0 ]; then
  echo
  echo "costliest functions (instructions per frame, stage, function):"
  cat "$work"/*.functions
fi
