"""Per-loop table of the physics re-score against the program's own ranking (measurement tool).

Reads, for every loop of a loop table, the run's result file (RUNS/<case_id>.txt) and the
re-score table (SCORES/<case_id>.openmm.tsv, written by rescore_openmm.py with --ranking --top N,
with or without --distinct). SCORES is RUNS unless given. Prints a Markdown table of backbone RMSD
(N, CA, C, O of the loop, no superposition, to the loop of the chain file) for:
  z1     the program's rank 1
  bestN  the best of the N re-scored conformations
  bestW  the best conformation written
  mmN    the lowest OpenMM energy among the N
  mm5, mm10  the lowest OpenMM energy among the first 5 or 10 re-scored (in the program's order;
         without --distinct these are the program's top 5 or 10)
  sum    the lowest sum of the two ranks (program rank + OpenMM energy rank among the N;
         ties go to the better program rank)
the Spearman correlation of energy and RMSD over the N, and the native's OpenMM energy rank among
the N (1: below every decoy).

Usage: /usr/bin/python3 tools/physics/summarise_rescore.py LOOPS_TSV RUNS_DIR [SCORES_DIR]
RUNS_DIR may also be a results folder of the workflow/ benchmark (RUNS/loops/<case_id>/<case_id>.txt).
"""

import csv
import math
import os
import statistics
import sys

from rescore_openmm import backbone_rmsd, rank_sum_order, read_pdb_atoms, read_results

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "workflow", "scripts"))
from loopkit import spearman  # noqa: E402


def read_tsv(path):
    with open(path) as fh:
        return list(csv.DictReader(fh, delimiter="\t"))


def pick(rows, key):
    return min(rows, key=key)["rmsd"] if rows else float("nan")


def result_file(runs, case_id):
    flat = os.path.join(runs, case_id + ".txt")
    return flat if os.path.exists(flat) else os.path.join(runs, "loops", case_id, case_id + ".txt")


def scores_file(scores_dir, case_id):
    return os.path.join(scores_dir, case_id + ".openmm.tsv")


def loop_row(case, loops_dir, runs, scores_dir):
    native = read_pdb_atoms(os.path.join(loops_dir, case["file"]))
    s, e = int(case["start_pdbnum"]), int(case["end_pdbnum"])
    nat_loop = {(x["num"], x["name"]): x["xyz"] for x in native if s <= x["num"] <= e}
    written = [backbone_rmsd(L["atoms"], nat_loop) for L in read_results(result_file(runs, case["case_id"]))]
    scores = read_tsv(scores_file(scores_dir, case["case_id"]))
    nat = next(r for r in scores if r["index"] == "native")
    decoys = [dict(index=int(r["index"]), rank=int(r["rank"]), energy=float(r["energy"]), rmsd=float(r["rmsd"]), cpu=float(r["cpu"]))
              for r in scores if r["index"] != "native"]
    decoys.sort(key=lambda d: d["rank"])
    for k, d in enumerate(decoys):
        d["order"] = k  # place among the re-scored, in the program's order
    ok = [d for d in decoys if not math.isnan(d["energy"])]
    top1 = next(d for d in decoys if d["rank"] == 1)
    # The first of the rank sum, as the tool's --rerank orders them.
    summed = rank_sum_order([(d["index"], d["rank"], d["energy"]) for d in decoys])[0][0] if ok else None
    return {
        "case": case["case_id"], "n": len(decoys), "failed": len(decoys) - len(ok),
        "z1": top1["rmsd"], "bestN": min(d["rmsd"] for d in decoys), "bestW": min(written),
        "mmN": pick(ok, lambda d: d["energy"]),
        "mm5": pick([d for d in ok if d["order"] < 5], lambda d: d["energy"]),
        "mm10": pick([d for d in ok if d["order"] < 10], lambda d: d["energy"]),
        "rho": spearman([d["energy"] for d in ok], [d["rmsd"] for d in ok]) if len(ok) >= 3 else float("nan"),
        "sum": next((d["rmsd"] for d in ok if d["index"] == summed), float("nan")),
        "native_rank": None if math.isnan(float(nat["energy"])) else 1 + sum(d["energy"] < float(nat["energy"]) for d in ok),
        "cpu_decoy": statistics.mean(d["cpu"] for d in decoys), "cpu_total": sum(d["cpu"] for d in decoys) + float(nat["cpu"]),
    }


def main():
    loops_tsv, runs = sys.argv[1], sys.argv[2]
    scores_dir = sys.argv[3] if len(sys.argv) > 3 else runs
    loops_dir = os.path.dirname(loops_tsv)
    cases = read_tsv(loops_tsv)
    scored = [c for c in cases if os.path.exists(scores_file(scores_dir, c["case_id"]))]
    if len(scored) < len(cases):  # a partial table is useful while a run goes on, but say so
        print("summarise_rescore: %d of %d loops have no re-score table in %s and are left out"
              % (len(cases) - len(scored), len(cases), scores_dir), file=sys.stderr)
    if not scored:
        sys.exit("summarise_rescore: no re-score table (<case_id>.openmm.tsv) in %s" % scores_dir)
    rows = [loop_row(c, loops_dir, runs, scores_dir) for c in scored]
    cols = ["z1", "bestN", "bestW", "mmN", "mm5", "mm10", "sum", "rho"]
    print("| loop | " + " | ".join(cols) + " | native E rank | failed | CPU/conf (s) | CPU/loop (s) |")
    print("|---" * (len(cols) + 5) + "|")
    for r in rows:
        print("| %s | " % r["case"] + " | ".join("%.2f" % r[c] for c in cols)
              + " | %s of %d | %d | %.2f | %.1f |" % ("failed" if r["native_rank"] is None else r["native_rank"], r["n"] + 1, r["failed"],
                                                 r["cpu_decoy"], r["cpu_total"]))
    print("| **median** | " + " | ".join("%.2f" % statistics.median(r[c] for r in rows) for c in cols)
          + " | | | %.2f | %.1f |" % (statistics.median(r["cpu_decoy"] for r in rows), statistics.median(r["cpu_total"] for r in rows)))
    print("| **mean** | " + " | ".join("%.2f" % statistics.mean(r[c] for r in rows) for c in cols) + " | | | | |")
    for c in ("mmN", "mm5", "mm10", "sum"):
        better = sum(r[c] < r["z1"] - 1e-9 for r in rows)
        worse = sum(r[c] > r["z1"] + 1e-9 for r in rows)
        below = sum(r[c] < 1.0 for r in rows)
        print("\n%s vs z1: better on %d, worse on %d, equal on %d of %d loops; below 1 A %d (z1 %d)"
              % (c, better, worse, len(rows) - better - worse, len(rows), below, sum(r["z1"] < 1.0 for r in rows)), end="")
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
