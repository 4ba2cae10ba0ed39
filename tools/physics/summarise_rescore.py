"""Per-loop table of the physics re-score against the program's own ranking (measurement tool).

Reads, for every loop of a loop table, the run's result file and ranking table
(RUNS/<case_id>.txt, .ranking.tsv) and the re-score table (RUNS/<case_id>.openmm.tsv,
written by rescore_openmm.py with --ranking --top N). Prints a Markdown table of backbone RMSD
(N, CA, C, O of the loop, no superposition, to the loop of the chain file) for:
  z1     the program's rank 1
  bestN  the best of the re-scored top N
  bestW  the best conformation written
  mmN    the lowest OpenMM energy among the top N
  mm10   the lowest OpenMM energy among the program's top 10
  sum    the lowest sum of the two ranks (program rank + OpenMM energy rank among the top N;
         ties go to the better program rank)
and the native's OpenMM energy rank among the N (1: below every decoy).

Usage: /usr/bin/python3 tools/physics/summarise_rescore.py LOOPS_TSV RUNS_DIR
"""

import csv
import math
import os
import statistics
import sys

from rescore_openmm import backbone_rmsd, read_pdb_atoms, read_results


def read_tsv(path):
    with open(path) as fh:
        return list(csv.DictReader(fh, delimiter="\t"))


def pick(rows, key):
    return min(rows, key=key)["rmsd"] if rows else float("nan")


def loop_row(case, loops_dir, runs):
    native = read_pdb_atoms(os.path.join(loops_dir, case["file"]))
    s, e = int(case["start_pdbnum"]), int(case["end_pdbnum"])
    nat_loop = {(x["num"], x["name"]): x["xyz"] for x in native if s <= x["num"] <= e}
    written = [backbone_rmsd(L["atoms"], nat_loop) for L in read_results(os.path.join(runs, case["case_id"] + ".txt"))]
    scores = read_tsv(os.path.join(runs, case["case_id"] + ".openmm.tsv"))
    nat = next(r for r in scores if r["index"] == "native")
    decoys = [dict(rank=int(r["rank"]), energy=float(r["energy"]), rmsd=float(r["rmsd"]), cpu=float(r["cpu"]))
              for r in scores if r["index"] != "native"]
    ok = [d for d in decoys if not math.isnan(d["energy"])]
    by_energy = sorted(ok, key=lambda d: d["energy"])
    for k, d in enumerate(by_energy, 1):
        d["erank"] = k
    top1 = next(d for d in decoys if d["rank"] == 1)
    return {
        "case": case["case_id"], "n": len(decoys), "failed": len(decoys) - len(ok),
        "z1": top1["rmsd"], "bestN": min(d["rmsd"] for d in decoys), "bestW": min(written),
        "mmN": pick(ok, lambda d: d["energy"]),
        "mm10": pick([d for d in ok if d["rank"] <= 10], lambda d: d["energy"]),
        "sum": pick(ok, lambda d: (d["rank"] + d["erank"], d["rank"])),
        "native_rank": None if math.isnan(float(nat["energy"])) else 1 + sum(d["energy"] < float(nat["energy"]) for d in ok),
        "cpu_decoy": statistics.mean(d["cpu"] for d in decoys), "cpu_total": sum(d["cpu"] for d in decoys) + float(nat["cpu"]),
    }


def main():
    loops_tsv, runs = sys.argv[1], sys.argv[2]
    loops_dir = os.path.dirname(loops_tsv)
    rows = [loop_row(c, loops_dir, runs) for c in read_tsv(loops_tsv)]
    cols = ["z1", "bestN", "bestW", "mmN", "mm10", "sum"]
    print("| loop | " + " | ".join(cols) + " | native E rank | failed | CPU/conf (s) | CPU/loop (s) |")
    print("|---" * (len(cols) + 5) + "|")
    for r in rows:
        print("| %s | " % r["case"] + " | ".join("%.2f" % r[c] for c in cols)
              + " | %s of %d | %d | %.2f | %.1f |" % ("failed" if r["native_rank"] is None else r["native_rank"], r["n"] + 1, r["failed"],
                                                 r["cpu_decoy"], r["cpu_total"]))
    print("| **median** | " + " | ".join("%.2f" % statistics.median(r[c] for r in rows) for c in cols)
          + " | | | %.2f | %.1f |" % (statistics.median(r["cpu_decoy"] for r in rows), statistics.median(r["cpu_total"] for r in rows)))
    print("| **mean** | " + " | ".join("%.2f" % statistics.mean(r[c] for r in rows) for c in cols) + " | | | | |")
    for c in ("mmN", "mm10", "sum"):
        better = sum(r[c] < r["z1"] - 1e-9 for r in rows)
        worse = sum(r[c] > r["z1"] + 1e-9 for r in rows)
        print("\n%s vs z1: better on %d, worse on %d, equal on %d of %d loops" % (c, better, worse, len(rows) - better - worse, len(rows)), end="")
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
