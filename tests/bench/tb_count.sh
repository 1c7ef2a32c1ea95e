# The instruction counter of bench/count_instructions.sh: bench/tb_count.cpp
# on made-up QEMU logs (blocks, executions, stage marks, restarts, a block
# address reused after a flush, executions of unseen blocks), then, where
# qemu-user can run here, the script's own check on loops of known length.
# usage: tb_count.sh SOURCE_DIR
set -euo pipefail
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
c++ -O2 -o "$work/tb_count" "$src/bench/tb_count.cpp"
failures=0
expect() {  # expect NAME EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAIL $1:"; echo "  expected: $2"; echo "  got:      $3"
    failures=$((failures + 1))
  fi
}

# Block A (3 instructions) at 0x1000, B (2) at 0x2000; A B B A, then the
# host code of A is reused by a block C (4 instructions) at 0x3000, which
# runs twice; one execution of a block never seen translated.
cat > "$work/log" <<'LOG'
----------------
IN: f
0x00001000:  01 c0                    addl     %eax, %eax
0x00001002:  01 c0                    addl     %eax, %eax
0x00001004:  eb fa                    jmp      0x2000

Trace 0: 0x7f0000000100 [00000000/0000000000001000/00000000/00000000] f
----------------
IN: g
0x00002000:  01 c0                    addl     %eax, %eax
0x00002002:  c3                       retl     

Trace 0: 0x7f0000000200 [00000000/0000000000002000/00000000/00000000] g
Trace 0: 0x7f0000000200 [00000000/0000000000002000/00000000/00000000] g
Trace 0: 0x7f0000000100 [00000000/0000000000001000/00000000/00000000] f
----------------
IN: h
0x00003000:  01 c0                    addl     %eax, %eax
0x00003002:  01 c0                    addl     %eax, %eax
0x00003004:  01 c0                    addl     %eax, %eax
0x00003006:  c3                       retl     

Trace 0: 0x7f0000000100 [00000000/0000000000003000/00000000/00000000] h
Trace 0: 0x7f0000000100 [00000000/0000000000003000/00000000/00000000] h
Trace 0: 0x7f0000000900 [00000000/0000000000004000/00000000/00000000] 
#end
Trace 0: 0x7f0000000100 [00000000/0000000000003000/00000000/00000000] h
LOG
expect "blocks and executions" "$(printf '%s\n' '- 1000 6 2' '- 2000 4 2' '- 3000 8 2' 'total 18 6 1')" \
  "$("$work/tb_count" "$work/log")"
expect "standard input" "total 18 6 1" "$("$work/tb_count" < "$work/log" | tail -n 1)"
printf '2000 g\n3000 h\n' > "$work/marks"
expect "marks" "$(printf '%s\n' '- 1000 3 1' 'g 1000 3 1' 'g 2000 4 2' 'h 3000 8 2' 'total 18 6 1')" \
  "$("$work/tb_count" --marks "$work/marks" "$work/log")"
expect "restart at each entry of B" "$(printf '%s\n' 'g 1000 3 1' 'g 2000 2 1' 'h 3000 8 2' 'total 13 4 1')" \
  "$("$work/tb_count" --marks "$work/marks" --reset-at 2000 "$work/log")"
if "$work/tb_count" --bogus "$work/log" > /dev/null 2>&1; then
  echo "FAIL: an unknown option was accepted"; failures=$((failures + 1))
fi

# The whole chain: QEMU's log through a FIFO, on loops of 4n + 4 instructions.
if [ -x /usr/bin/qemu-x86_64-static ] && [ -x /usr/bin/qemu-i386-static ] &&
   unshare --user --map-root-user --mount true 2> /dev/null; then
  if ! out=$(bash "$src/bench/count_instructions.sh" --check-counter 2>&1); then
    echo "FAIL: the counter's check on loops:"; echo "$out"; failures=$((failures + 1))
  else
    echo "$out"
  fi
else
  echo "qemu-user-static or user namespaces missing: the loops were not counted"
fi
[ $failures -eq 0 ] || exit 1
echo "tb_count: all checks passed"
