#!/bin/sh
# Two builds of the program on the same loops, side by side: for every loop
# of a loop table (the benchmark's columns: case_id, file, chain, start, end,
# ...) A and B run at the same time, one thread each, so that the machine's
# load falls on both alike. Prints per loop the CPU time (user + system, s)
# and peak memory (MiB) of each, B's CPU as a share of A's, and whether the
# three result files are byte for byte the same.
#
#   bench/cpu_ab.sh A_EXE B_EXE LOOPS.tsv OUTDIR [lorvane options]
#
# Structure files are read relative to the table's folder; the tables are the
# build tree's (LORVANE_DATA, default build/data). Needs /usr/bin/time.
set -eu
a=$(realpath "$1") b=$(realpath "$2") table=$3 outdir=$4
shift 4
base=$(cd "$(dirname "$table")" && pwd)
data=$(realpath "${LORVANE_DATA:-build/data}")
mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)
printf 'case_id\tA_cpu_s\tB_cpu_s\tB/A\tA_peak_MiB\tB_peak_MiB\toutputs\n'
tail -n +2 "$table" | while IFS='	' read -r id file chain start end rest; do
  for v in A B; do
    exe=$a
    [ "$v" = B ] && exe=$b
    mkdir -p "$outdir/$id/$v"
    (cd "$outdir/$id/$v" && /usr/bin/time -f '%U %S %M' -o time.txt "$exe" -f "$base/$file" -chain "$chain" \
      -start "$start" -end "$end" -cores 1 -o out -data "$data" -quiet "$@" >log.txt 2>&1) &
  done
  wait
  same=identical
  for f in out.txt out.ranking.tsv out.models.pdb; do
    cmp -s "$outdir/$id/A/$f" "$outdir/$id/B/$f" || same=DIFFER
  done
  for v in A B; do
    if grep -q '^Command exited' "$outdir/$id/$v/time.txt"; then same="$v failed"; fi
  done
  # The last line: /usr/bin/time puts a failed run's exit status before it.
  awk -v id="$id" -v same="$same" -v ta="$(tail -n 1 "$outdir/$id/A/time.txt")" -v tb="$(tail -n 1 "$outdir/$id/B/time.txt")" \
    'BEGIN { split(ta, x, " "); split(tb, y, " "); ca = x[1] + x[2]; cb = y[1] + y[2]
             printf "%s\t%.1f\t%.1f\t%.3f\t%.0f\t%.0f\t%s\n", id, ca, cb, (ca > 0 ? cb / ca : 0), x[3] / 1024, y[3] / 1024, same }'
done
