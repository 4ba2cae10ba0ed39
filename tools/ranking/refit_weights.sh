#!/bin/sh
# Refits the weights of the final ranking from the training structures, in one command:
#   1. lorvane-params loop-set: 8 DSSP-coil training loops of each length 6, 8, 10, 12, 14
#      (deterministic), merged into one loop table;
#   2. the workflow/ benchmark on that table (quick sampling, default protocol, -rs 3);
#   3. lorvane-params ranking-weights on the finished run, writing OUT/ranking_weights.txt.
# Run from the repository root after building. Never give it benchmark loops.
#
#   tools/ranking/refit_weights.sh WORK_DIR [TRAIN_DIR] [OUT_DIR]
#
# WORK_DIR holds the loop table, the runs and the log; TRAIN_DIR defaults to
# ../shared/structures/train, OUT_DIR to WORK_DIR. About 45 CPU minutes on 2 cores.
set -eu
[ $# -ge 1 ] || { echo "usage: $0 WORK_DIR [TRAIN_DIR] [OUT_DIR]" >&2; exit 2; }
work=$1
train=${2:-../shared/structures/train}
out=${3:-$work}
params=build/lorvane-params
[ -x "$params" ] || { echo "$0: $params not found: build first (run from the repository root)" >&2; exit 1; }
mkdir -p "$work/loops/structures"
table="$work/loops/loops.tsv"
: > "$table.part"
for length in 6 8 10 12 14; do
  "$params" loop-set --out "$work/loops/t$length" --count 8 --length "$length" --train "$train" --cache "$work/train.cache"
  cp "$work/loops/t$length/structures/"* "$work/loops/structures/"
  if [ ! -s "$table.part" ]; then head -n 1 "$work/loops/t$length/loops.tsv" > "$table.part"; fi
  tail -n +2 "$work/loops/t$length/loops.tsv" >> "$table.part"
done
mv "$table.part" "$table"
snakemake --cores 2 --configfile workflow/config/bench.yaml \
  --config loops="$table" name=ranking-train outdir="$work/results" "extra_args=-rs 3"
"$params" ranking-weights --runs "$work/results/ranking-train/quick" --out "$out"
