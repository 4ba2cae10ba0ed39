#!/bin/sh
# Sample every loop of a loop table (lorvane-params loop-set) with the default
# protocol at quick settings, re-score the program's top N with OpenMM, and
# print the per-loop comparison. One single-threaded process at a time.
#
#   tools/physics/run_rescore_train.sh LOOPS.tsv RUNS_DIR [N]
#
# LORVANE (default build/lorvane) and LORVANE_DATA (default data) name the
# program and its tables. Structure files are read relative to the table's
# folder. Existing result files are kept (delete them to sample again).
set -eu
table=$1 runs=$2 top=${3:-30}
here=$(cd "$(dirname "$0")" && pwd)
base=$(dirname "$table")
exe=${LORVANE:-build/lorvane}
data=${LORVANE_DATA:-data}
py=/usr/bin/python3
export OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 OPENMM_CPU_THREADS=1
mkdir -p "$runs"
tail -n +2 "$table" | while IFS='	' read -r id file chain start end rest; do
  if [ ! -s "$runs/$id.ranking.tsv" ]; then
    nice -n 15 "$exe" -f "$base/$file" -chain "$chain" -start "$start" -end "$end" -seeds 2000 -numloop 500 \
      -cores 1 -rs 1 -quiet -o "$runs/$id" -data "$data" >"$runs/$id.stdout"
  fi
  nice -n 15 "$py" "$here/rescore_openmm.py" --pdb "$base/$file" --start "$start" --end "$end" \
    --result "$runs/$id.txt" --ranking "$runs/$id.ranking.tsv" --top "$top" --out "$runs/$id.openmm.tsv"
done
"$py" "$here/summarise_rescore.py" "$table" "$runs"
