"""Two benchmark runs side by side, per length group, over the loops both ran.

Usage: compare_runs.py --groups JSON A_NAME A B_NAME B

A and B are a run's summary.tsv, or its directory (workflow/results/<name>/<sampling>/) whose
loops/*/analyse.json records are read, for a run that has not finished.
Only loops present in both summaries count, so that a run stopped early is compared on the
same loops; a loop that wrote nothing in one run counts as a miss there (as in the reports).
Prints a Markdown table: loops, then per run the prediction median and < 1 A, the best
written median and < 1 A, the median CPU time per loop, the total CPU time and the median
peak memory.
"""

import argparse
import csv
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from summarise import f2, frac, group_of, group_stats  # noqa: E402


def read(path):
    if os.path.isdir(path):
        rows = {}
        loops = os.path.join(path, "loops")
        for case in sorted(os.listdir(loops)):
            rec = os.path.join(loops, case, "analyse.json")
            if os.path.exists(rec):
                with open(rec) as f:
                    rows[case] = json.load(f)["row"]
        return rows
    with open(path, newline="") as f:
        return {r["case_id"]: r for r in csv.DictReader(f, delimiter="\t")}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--groups", required=True, help="JSON list of [label, min length, max length]")
    p.add_argument("runs", nargs=4, metavar="NAME_OR_FILE")
    a = p.parse_args()
    groups = json.loads(a.groups)
    names, tables = a.runs[0::2], [read(f) for f in a.runs[1::2]]
    common = sorted(set(tables[0]) & set(tables[1]))
    if not common:
        sys.exit("compare_runs.py: the two summaries have no loop in common")
    labels = [g[0] for g in groups] + ["all"]
    head = ["length group", "loops"]
    for n in names:
        head += ["%s: prediction median (Å)" % n, "%s: prediction < 1 Å" % n, "%s: best median (Å)" % n,
                 "%s: best < 1 Å" % n, "%s: median CPU (s)" % n, "%s: total CPU (min)" % n,
                 "%s: median peak memory (MiB)" % n]
    print("| " + " | ".join(head) + " |")
    print("|" + "---|" * len(head))
    for label in labels:
        row = None
        for t in tables:
            rows = [t[c] for c in common if label == "all" or group_of(t[c]["length"], groups) == label]
            if not rows:
                break
            s = group_stats(rows)
            if row is None:
                row = [label, str(s["n"])]
            row += [f2(s["med_pred"]), frac(s["pred1"], s["n"]), f2(s["med_best"]), frac(s["best1"], s["n"]),
                    f2(s["cpu"], 1), f2(s["cpu_total"] / 60.0, 1), f2(s["mem"], 0)]
        if row is not None and len(row) == len(head):
            print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main()
