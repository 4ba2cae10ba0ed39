#!/bin/sh
# Step diagnostics of the four DEV 12-residue loops 2rn2 90-101, 1c5e 82-93,
# 3hsc 72-83 and 1msc 9-20, one after the other on one thread.
#
#   bench/run_four_loops.sh OUTPUT.txt [lorvane options]
#
# BENCH_EXE names another build of bench_step_diagnostics (a frozen copy, say).
#
# Run from the repository root after building; needs ../shared/structures.
set -eu
out=$1
shift
bench=../shared/structures/bench/structures
exe=${BENCH_EXE:-./build/bench/bench_step_diagnostics}
: >"$out"
for loop in "2rn2_A 90 101" "1c5e_A 82 93" "3hsc_A 72 83" "1msc_A 9 20"; do
  set -- $loop "$@"
  file=$1 start=$2 end=$3
  shift 3
  nice -n 10 "$exe" -f "$bench/$file.pdb" -start "$start" -end "$end" -cores 1 "$@" >>"$out" 2>/dev/null
  echo >>"$out"
done
