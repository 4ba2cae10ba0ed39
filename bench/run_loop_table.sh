#!/bin/sh
# Step diagnostics of every loop of a loop table (the benchmark's columns:
# case_id, file, chain, start, end, ...), one single-threaded run per loop,
# at most JOBS (default 1) at a time, each loop's report in OUTDIR/<case>.txt.
#
#   bench/run_loop_table.sh LOOPS.tsv OUTDIR [lorvane options]
#
# Structure files are read relative to the table's folder. Run from the
# repository root after building: the runs work in OUTDIR/work, with data/
# of the repository linked there, so that runs of one loop with different
# options into different OUTDIRs do not share result files.
set -eu
table=$1 outdir=$2
shift 2
base=$(cd "$(dirname "$table")" && pwd)
exe=${BENCH_EXE:-./build/bench/bench_step_diagnostics}
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
mkdir -p "$outdir/work"
outdir=$(cd "$outdir" && pwd)
ln -sfn "$(pwd)/data" "$outdir/work/data"
export exe outdir
export opts="$*"
tail -n +2 "$table" | while IFS='	' read -r id file chain start end rest; do
  printf '%s %s %s %s\n' "$id" "$base/$file" "$start" "$end"
done | xargs -P "${JOBS:-1}" -L 1 sh -c '
  # shellcheck disable=SC2086
  cd "$outdir/work" && nice -n 10 "$exe" -f "$1" -start "$2" -end "$3" -cores 1 $opts >"$outdir/$0.txt" 2>"$outdir/$0.err" || echo "$0 failed" >&2'
