#!/bin/sh
# Runs every libFuzzer harness of a fuzzing build for a bounded time, two at
# a time, from seed corpora made of the repository's own files (kept in
# BUILD/fuzz-corpus/<harness>, so that a later run goes on from what an
# earlier one found). Fails when any harness finds a crash, a sanitizer
# report, a leak or a hang (an input running longer than 10 s); the crashing
# input is kept in BUILD/fuzz-findings/. Prints one line per harness with
# its run time and the number of inputs executed.
#
#   tests/fuzz/run_fuzzers.sh BUILD_DIR [SECONDS_EACH (default 60)] [JOBS (default 2)]
set -eu
build=$(cd "$1" && pwd)
seconds=${2:-60}
jobs=${3:-2}
src=$(cd "$(dirname "$0")/../.." && pwd)
corpus="$build/fuzz-corpus" findings="$build/fuzz-findings" logs="$build/fuzz-logs"
mkdir -p "$corpus" "$findings" "$logs"

# seed NAME FILE [LINES]: the first LINES lines of a (possibly gzipped) file as a seed of NAME.
seed() {
  mkdir -p "$corpus/$1"
  out="$corpus/$1/seed_$(basename "$2" .gz)${3:+_$3}"
  if [ -n "${3:-}" ]; then zcat -f "$2" | head -n "$3" >"$out"; else zcat -f "$2" >"$out"; fi
}
for f in "$src"/examples/*.pdb; do seed pdb_reader "$f"; done
seed pdb_reader "$src/tests/data/train_subset/1ail.pdb.gz" 400
seed decoys "$src/tests/golden/expected/sample_5p21_45_52.txt.gz" 118
seed decoys "$src/tests/golden/expected/sample_5p21_45_52.txt.gz" 30
seed table_templates "$src/data/atomProp2.txt"
seed table_torsion_bins "$src/data/phipsi.bb.txt" 146
seed table_joint_marginal "$src/data/joint.distance.txt" 51
seed table_joint_marginal "$src/data/joint.distance.backward.txt" 34
seed table_joint_conditional "$src/data/joint.distance.conditional.txt" 51
seed table_joint_conditional "$src/data/joint.distance.conditional.backward.txt" 34
seed table_dfire_pairs "$src/data/dfire_pair.lib" 40
seed table_quenda_pairs "$src/data/QUENDApair.lib.gz" 8
seed table_dipoles "$src/data/dipole.fress"
seed table_oscar "$src/data/oscarparams.txt"
seed table_quenda "$src/data/QUENDA_ed4_8_V3.txt" 400
seed table_rotamers "$src/data/newsimplRot.txt"
seed table_fitted_table "$src/data/fittedE.txt"
seed table_backbone_angles "$src/data/backbone_angles.txt"

run_one() {  # run_one HARNESS: its exit status is the harness's
  name=$1
  "$build/tests/fuzz/fuzz_$name" "$corpus/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$findings/${name}_" >"$logs/$name.log" 2>&1
}

harnesses="pdb_reader decoys"
for t in templates torsion_bins joint_marginal joint_conditional dfire_pairs quenda_pairs dipoles oscar quenda rotamers fitted_table backbone_angles; do
  harnesses="$harnesses table_$t"
done
failed=0
set -- $harnesses
while [ $# -gt 0 ]; do
  pids="" names=""
  n=0
  while [ $# -gt 0 ] && [ $n -lt "$jobs" ]; do
    run_one "$1" &
    pids="$pids $!" names="$names $1"
    shift
    n=$((n + 1))
  done
  set -- "$@"
  i=0
  for pid in $pids; do
    i=$((i + 1))
    name=$(echo $names | cut -d' ' -f$i)
    if wait "$pid"; then verdict=ok; else verdict=FAILED; failed=1; fi
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$name.log" | tail -n 1)
    time=$(sed -n 's/.*Done \([0-9]*\) runs in \([0-9]*\) second.*/\2/p' "$logs/$name.log" | tail -n 1)
    printf '%-28s %-6s %6s s %12s inputs executed\n' "fuzz_$name" "$verdict" "${time:-?}" "${execs:-?}"
    [ "$verdict" = ok ] || tail -n 30 "$logs/$name.log"
  done
done
exit $failed
