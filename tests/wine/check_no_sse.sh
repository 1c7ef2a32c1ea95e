#!/usr/bin/env bash
# The code that runs whatever the processor contains no SSE instruction.
#
# nivora.auf: every function compiled from host/, platform/, driver/ and
# frame/ (the table and callbacks, the settings derivation, the processor
# check, the driver, its clearing path and the extension of fetched frames,
# the buffers), and the two functions of the stage folders that run at load,
# before the check (the sizes of the workers' scratch), as linked into the
# plug-in.
#
# nivora_strong.auf (third argument "strong"): every function compiled from
# strong_host/, host/, platform/ and frame/ (the table and callbacks, the
# processor check, the message box), and every static initialiser of the
# DLL: they run at load, before the check, whichever folder they come from.
#
# The one exception is the probe's own guarded instruction at
# nivora_sse_probe_insn.
# Usage: check_no_sse.sh UNSTRIPPED_DLL WIN_BUILD_DIR [strong]
set -euo pipefail
dll="$1"
build_dir="$2"
which="${3:-filter}"
objdump=i686-w64-mingw32-objdump
nm=i686-w64-mingw32-nm

if [ "$which" = strong ]; then
  folders="strong_host host platform frame"
  before_check=$($nm -C --defined-only "$dll" | sed -n 's/^[0-9a-f]* [tT] \(_GLOBAL__sub_I_.*\)$/\1/p')
  # Functions that must be found, so the check cannot pass on renamed symbols.
  required="GetFilterTable@0
strong_filter_table()
strong_func_init(FILTER*)
strong_func_exit(FILTER*)
strong_func_update(FILTER*, int)
strong_func_save_start(FILTER*, int, int, void*)
strong_func_proc(FILTER*, FILTER_PROC_INFO*)
detect_cpu_level()
platform_cpuid_available()
platform_sse_probe()
platform_message_box(char const*, char const*)"
  what="strong_host/, host/, platform/, frame/ and the static initialisers"
else
  folders="host platform driver frame"
  before_check="analysis_scratch_floats(int, int)
temporal_scratch_floats(int, int)"
  required="GetFilterTable@0
func_init(FILTER*)
func_exit(FILTER*)
func_update(FILTER*, int)
func_save_start(FILTER*, int, int, void*)
func_WndProc(HWND__*, unsigned int, unsigned int, long, void*, FILTER*)
func_proc(FILTER*, FILTER_PROC_INFO*)
derive_settings(int const*, int const*)
detect_cpu_level()
platform_cpuid_available()
platform_sse_probe()
allocate_working_buffers()
allocate_buffers(unsigned int)
empty_ring()
extend_rightward(PIXEL_YC*, int, int, int, int)
extend_downward(PIXEL_YC*, int, int, int, int)
$before_check"
  what="host/, platform/, driver/, frame/ and the scratch sizes"
fi
objects=$(for f in $folders; do find "$build_dir/CMakeFiles" -path "*/nivora_$f.dir/*.obj"; done | sort)
for f in $folders; do
  grep -q "/nivora_$f.dir/" <<<"$objects" || { echo "no objects of $f/ under $build_dir"; exit 1; }
done
names=$( (for o in $objects; do
  $nm -C --defined-only "$o" | sed -n 's/^[0-9a-f]* [tT] //p'
done; echo "$before_check") | grep -v '^\.' | sort -u)  # section names are not functions

# SSE, SSE2 and later: any vector register, MXCSR, and the instructions of
# those sets that name no vector register.
pattern='%[xyz]mm[0-9]|%mm[0-7]|mxcsr|[[:space:]](movnti|sfence|lfence|mfence|prefetch[a-z0-9]*|maskmovq|pshufw|pavg[bw]|pextrw|pinsrw|pmovmskb|psadbw|clflush)[[:space:]]'

$objdump -d -C --no-show-raw-insn "$dll" | awk -v names="$names" -v required="$required" -v pat="$pattern" -v what="$what" '
  BEGIN {
    n = split(names, list, "\n"); for (i = 1; i <= n; ++i) wanted[list[i]] = 1
    n = split(required, req, "\n")
  }
  /^[0-9a-f]+ <.*>:$/ {
    name = $0; sub(/^[0-9a-f]+ </, "", name); sub(/>:$/, "", name)
    checking = (name in wanted); first = 1
    if (checking) { seen[name] = 1; ++count }
    next
  }
  checking && /^ *[0-9a-f]+:\t/ {
    insn = $0; sub(/^ *[0-9a-f]+:\t/, "", insn)
    allowed = (name == "nivora_sse_probe_insn" && first && insn ~ /^xorps +%xmm0,%xmm0$/)
    first = 0
    if (!allowed && match(" " insn " ", pat)) { print name ": " insn; bad = 1 }
  }
  END {
    for (i = 1; i <= n; ++i) if (!(req[i] in seen)) { print "not found: " req[i]; bad = 1 }
    if (!bad) print count " functions of " what " without SSE"
    exit bad
  }'
