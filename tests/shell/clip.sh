# Sourced by the shell tests.

# Every check that fails says so and counts; finish ends the test with the
# count's verdict.
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {
  [ "$failures" -eq 0 ] && echo "all passed"
  exit $((failures > 0))
}

# make_clip FILE W H FRAMES writes a y4m clip of 8-bit 4:2:0 frames of seeded
# pseudo-random bytes (the same bytes every run).
make_clip() {
  local file="$1" w="$2" h="$3" frames="$4"
  local bytes=$((w * h * 3 / 2))
  {
    printf 'YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C420jpeg\n' "$w" "$h"
    for ((n = 0; n < frames; n++)); do
      printf 'FRAME\n'
      # A gradient under noise: awk's seeded generator, one byte per sample.
      awk -v n="$n" -v w="$w" -v bytes="$bytes" 'BEGIN {
        srand(1000 + n)
        for (i = 0; i < bytes; i++) {
          v = int((i % w) * 2 + n * 3 + rand() * 40) % 220 + 16
          printf "%c", v
        }
      }'
    done
  } > "$file"
}
