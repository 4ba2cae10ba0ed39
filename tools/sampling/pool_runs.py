"""Pool the written loops of independent runs of the same loops (measurement tool).

Emulates sampling in independent sub-populations ("islands"): for every loop of the table, the
first K written loops of each run (in written order, i.e. by LOOP index) are pooled, the four
scores normalised over the pool as the program does ((s - median) / MAD per score, summed: z),
and the pool's prediction is its lowest z. Compared with a reference run of the same loops:
per loop the prediction and the best written RMSD of both, then per length and over all loops
the mean / median, the count below 1 A, and how many loops got better or worse by more than
0.05 A.

Runs are finished runs of the workflow/ benchmark (RUN = <outdir>/<name>/<sampling>), whose
loops/<case>/conformations.tsv hold the scores and the RMSD of every written loop.

Usage: /usr/bin/python3 tools/sampling/pool_runs.py --first K --table LOOPS.tsv REF RUN [RUN ...]
"""

import argparse
import csv
import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "workflow", "scripts"))
import loopkit  # noqa: E402

MARGIN = 0.05  # A: a loop counts as better or worse only beyond this


def read_rows(run, case):
    path = os.path.join(run, "loops", case, "conformations.tsv")
    if not os.path.exists(path):
        return None
    with open(path) as fh:
        rows = list(csv.DictReader(fh, delimiter="\t"))
    return sorted(rows, key=lambda r: int(r["index"]))


def pick(rows):
    """(prediction RMSD, best RMSD) of rows, z computed over these rows as the analysis does."""
    z = loopkit.z_scores([{"scores": [float(r["s%d" % q]) for q in range(4)]} for r in rows])
    return float(rows[loopkit.argmin(z)]["rmsd"]), min(float(r["rmsd"]) for r in rows)


def compare(cases, ref, runs, first):
    out = []
    for case, length in cases:
        a = read_rows(ref, case)
        pooled_runs = [read_rows(r, case) for r in runs]
        if not a or any(not b for b in pooled_runs):
            continue
        pool = [row for b in pooled_runs for row in b[:first]]
        out.append((case, length, pick(a), pick(pool), len(pool)))
    return out


def summary(rows, name):
    lines = []
    for j, what in ((1, "best"), (0, "prediction")):
        x = [r[2][j] for r in rows]
        y = [r[3][j] for r in rows]
        better = sum(q < p - MARGIN for p, q in zip(x, y))
        worse = sum(q > p + MARGIN for p, q in zip(x, y))
        lines.append("%s\t%s\t%d\t%.2f / %.2f\t%d\t%.2f / %.2f\t%d\t%d\t%d" % (
            name, what, len(rows), statistics.mean(x), statistics.median(x), sum(v < 1 for v in x),
            statistics.mean(y), statistics.median(y), sum(v < 1 for v in y), better, worse))
    return lines


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--first", type=int, required=True, help="written loops taken from each run")
    ap.add_argument("--table", required=True, help="the loop table the runs read")
    ap.add_argument("ref")
    ap.add_argument("runs", nargs="+")
    args = ap.parse_args(argv)
    if args.first < 1:
        ap.error("--first needs a positive count")
    with open(args.table) as fh:
        cases = [(r["case_id"], int(r["length"])) for r in csv.DictReader(fh, delimiter="\t")]
    rows = compare(cases, args.ref, args.runs, args.first)
    if not rows:
        sys.exit("pool_runs: no loop of %s is finished in the reference and every run" % args.table)
    print("case\tlength\tref_prediction\tref_best\tpool_prediction\tpool_best\tpooled")
    for case, length, a, b, n in rows:
        print("%s\t%d\t%.2f\t%.2f\t%.2f\t%.2f\t%d" % (case, length, a[0], a[1], b[0], b[1], n))
    print("\nlength\twhat\tloops\tref mean / median\tref < 1 A\tpool mean / median\tpool < 1 A\tbetter\tworse")
    for length in sorted({r[1] for r in rows}):
        print("\n".join(summary([r for r in rows if r[1] == length], str(length))))
    print("\n".join(summary(rows, "all")))


if __name__ == "__main__":
    main(sys.argv[1:])
