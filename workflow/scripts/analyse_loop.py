"""Measure every conformation of one loop's result file against the native loop.

Usage: analyse_loop.py --native chain.pdb --result result.txt --compare compare.tsv
       --stats sample.json --meta key=value ... --out loop.tsv --conformations conf.tsv

RMSD: N, CA, C, O of every loop residue, matched by residue number and atom name,
no superposition. The prediction is the conformation of lowest z, the sum of the
four scores each normalised as (s - median) / MAD over the loop's conformations.
The compare mode measures a slightly different atom set (C, O of the first
residue, N, CA, C, O inside, N, CA of the last); that deviation is computed too
and checked against the program's summary line.
"""

import argparse
import json
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loopkit  # noqa: E402

THREE_TO_ONE = {"ALA": "A", "CYS": "C", "ASP": "D", "GLU": "E", "PHE": "F", "GLY": "G",
                "HIS": "H", "ILE": "I", "LYS": "K", "LEU": "L", "MET": "M", "ASN": "N",
                "PRO": "P", "GLN": "Q", "ARG": "R", "SER": "S", "THR": "T", "VAL": "V",
                "TRP": "W", "TYR": "Y"}

# compare-mode numbers are printed with six significant digits, coordinates with three decimals
CHECK_TOL = 0.005

LOOP_FIELDS = ["case_id", "set", "file", "chain", "start", "end", "length", "sequence",
               "status", "n_conf", "pred_index", "pred_rmsd", "best_index", "best_rmsd",
               "mean_rmsd", "pred_rmsd_anchor", "best_rmsd_anchor", "mean_rmsd_anchor",
               "cmp_n", "cmp_best", "cmp_mean", "cmp_pred", "cmp_min_c1", "cmp_min_s2",
               "cmp_min_c2", "cmp_min_s0", "cmp_status", "check_best", "check_pred",
               "wall_s", "cpu_s", "peak_rss_mb", "threads", "exit_status"]


def check(mine, theirs):
    try:
        t = float(theirs)
    except (TypeError, ValueError):
        return "NA"
    if mine is None or not math.isfinite(t):
        return "NA"
    return "ok" if abs(mine - t) <= CHECK_TOL else "diff %.3f" % (mine - t)


def main():
    p = argparse.ArgumentParser()
    for name in ("native", "result", "compare", "stats", "out", "conformations"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--meta", nargs="*", default=[])
    a = p.parse_args()

    meta = dict(kv.split("=", 1) for kv in a.meta)
    start, end = int(meta["start"]), int(meta["end"])
    native = loopkit.loop_residues(loopkit.read_chain(a.native), start, end)
    confs = loopkit.read_results(a.result)
    with open(a.stats) as fh:
        stats = json.load(fh)
    _h, cmp_rows = loopkit.read_tsv(a.compare)
    cmp_row = cmp_rows[0] if cmp_rows else {}

    for c in confs:
        for r in native:
            got = c["resnames"].get(r["num"])
            if got is not None and got != r["name"]:
                raise SystemExit("%s: conformation %s has %s at residue %d, native has %s"
                                 % (a.result, c["label"], got, r["num"], r["name"]))
    rmsd = [loopkit.backbone_rmsd(c, native) for c in confs]
    rmsd_anchor = [loopkit.anchor_pattern_rmsd(c, native) for c in confs]
    z = loopkit.z_scores(confs) if confs else []
    ip = loopkit.argmin(z)
    ib = loopkit.argmin(rmsd)

    row = {k: "NA" for k in LOOP_FIELDS}
    row.update({k: meta.get(k, "") for k in ("case_id", "set", "file", "chain")})
    row.update({"start": start, "end": end, "length": len(native),
                "sequence": "".join(THREE_TO_ONE.get(r["name"], "X") for r in native),
                "n_conf": len(confs), "status": stats.get("status", "NA")})
    if confs:
        row.update({"pred_index": ip + 1, "pred_rmsd": loopkit.fmt(rmsd[ip]),
                    "best_index": ib + 1, "best_rmsd": loopkit.fmt(rmsd[ib]),
                    "mean_rmsd": loopkit.fmt(sum(rmsd) / len(rmsd)),
                    "pred_rmsd_anchor": loopkit.fmt(rmsd_anchor[ip]),
                    "best_rmsd_anchor": loopkit.fmt(min(rmsd_anchor)),
                    "mean_rmsd_anchor": loopkit.fmt(sum(rmsd_anchor) / len(rmsd_anchor))})
        row["check_best"] = check(min(rmsd_anchor), cmp_row.get("cmp_best"))
        row["check_pred"] = check(rmsd_anchor[ip], cmp_row.get("cmp_pred"))
        if cmp_row.get("cmp_n") not in (None, "NA") and int(cmp_row["cmp_n"]) != len(confs):
            row["check_best"] = "n %s != %d" % (cmp_row["cmp_n"], len(confs))
    for k in ("cmp_n", "cmp_best", "cmp_mean", "cmp_pred", "cmp_min_c1", "cmp_min_s2",
              "cmp_min_c2", "cmp_min_s0", "cmp_status"):
        row[k] = cmp_row.get(k, "NA")
    for k in ("wall_s", "cpu_s", "peak_rss_mb", "threads", "exit_status"):
        row[k] = stats.get(k, "NA")

    conf_rows = []
    for i, c in enumerate(confs):
        conf_rows.append({"index": i + 1, "label": c["label"],
                          "s0": c["scores"][0], "s1": c["scores"][1], "s2": c["scores"][2],
                          "s3": c["scores"][3], "z": loopkit.fmt(z[i], 4),
                          "rmsd": loopkit.fmt(rmsd[i]), "rmsd_anchor": loopkit.fmt(rmsd_anchor[i])})
    loopkit.write_tsv(a.conformations, ["index", "label", "s0", "s1", "s2", "s3", "z", "rmsd",
                                        "rmsd_anchor"], conf_rows)
    loopkit.write_tsv(a.out, LOOP_FIELDS, [row])
    return 0


if __name__ == "__main__":
    sys.exit(main())
