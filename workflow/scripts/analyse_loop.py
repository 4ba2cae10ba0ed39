"""Analysis step of a benchmark loop: measure every conformation of the result
file against the native loop. The last step of a benchmark loop: its record
(analyse.json) carries the loop's summary row, also when an earlier step failed.

Usage: analyse_loop.py --native STRUCTURE [--chain C] --sample sample.json
       --compare compare.json --loopdir DIR --record analyse.json --meta key=value ...
       [--keep-failures]

RMSD: N, CA, C, O of every loop residue, residues matched by position (the
result file has no insertion codes) and atoms by name, no superposition. The prediction is the conformation of
lowest z, the sum of the four scores each normalised as (s - median) / MAD over
the loop's conformations. The compare mode measures a slightly different atom
set (C, O of the first residue, N, CA, C, O inside, N, CA of the last); that
deviation is computed too and checked against the program's summary line.
"""

import argparse
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loopkit  # noqa: E402
import steps  # noqa: E402

THREE_TO_ONE = {"ALA": "A", "CYS": "C", "ASP": "D", "GLU": "E", "PHE": "F", "GLY": "G",
                "HIS": "H", "ILE": "I", "LYS": "K", "LEU": "L", "MET": "M", "ASN": "N",
                "PRO": "P", "GLN": "Q", "ARG": "R", "SER": "S", "THR": "T", "VAL": "V",
                "TRP": "W", "TYR": "Y"}

# compare-mode numbers are printed with six significant digits, coordinates with three decimals
CHECK_TOL = 0.005

LOOP_FIELDS = ["case_id", "set", "file", "chain", "start", "end", "length", "sequence",
               "status", "failed_step", "message", "n_conf", "pred_index", "pred_rmsd",
               "best_index", "best_rmsd", "mean_rmsd", "pred_rmsd_anchor", "best_rmsd_anchor",
               "mean_rmsd_anchor", "cmp_n", "cmp_best", "cmp_mean", "cmp_pred", "cmp_min_c1",
               "cmp_min_s2", "cmp_min_c2", "cmp_min_s0", "check_best", "check_pred",
               "wall_s", "cpu_s", "peak_rss_mb", "threads", "exit_status", "command"]
CMP_FIELDS = ["cmp_n", "cmp_best", "cmp_mean", "cmp_pred", "cmp_min_c1", "cmp_min_s2",
              "cmp_min_c2", "cmp_min_s0"]


def check(mine, theirs):
    try:
        t = float(theirs)
    except (TypeError, ValueError):
        return "NA"
    if mine is None or not math.isfinite(t):
        return "NA"
    return "ok" if abs(mine - t) <= CHECK_TOL else "diff %.3f" % (mine - t)


def base_row(meta, sample):
    """What is known of a loop whatever happened: the table's row and the run's figures."""
    row = {k: "NA" for k in LOOP_FIELDS}
    row.update({k: meta.get(k, "") for k in ("case_id", "set", "file", "chain", "start", "end")})
    row["length"] = meta.get("length") or "NA"
    row["sequence"] = meta.get("sequence") or "NA"
    for k in ("wall_s", "cpu_s", "peak_rss_mb", "threads", "exit_status", "command"):
        row[k] = sample.get(k, "NA")
    return row


def analyse(a, row, sample, cmp_rec):
    loopdir = os.path.abspath(a.loopdir)
    chain = None if a.chain in ("", "-", "_") else a.chain
    native = loopkit.loop_residues(loopkit.read_chain(a.native, chain), row["start"], row["end"])
    confs = loopkit.read_results(os.path.join(loopdir, sample["files"]["result"]))
    rmsd = [loopkit.backbone_rmsd(c, native) for c in confs]
    rmsd_anchor = [loopkit.anchor_pattern_rmsd(c, native) for c in confs]
    z = loopkit.z_scores(confs)
    ip = loopkit.argmin(z)
    ib = loopkit.argmin(rmsd)
    row = dict(row)
    row.update({"length": len(native), "n_conf": len(confs),
                "sequence": "".join(THREE_TO_ONE.get(r["name"], "X") for r in native),
                "pred_index": ip + 1, "pred_rmsd": loopkit.fmt(rmsd[ip]),
                "best_index": ib + 1, "best_rmsd": loopkit.fmt(rmsd[ib]),
                "mean_rmsd": loopkit.fmt(sum(rmsd) / len(rmsd)),
                "pred_rmsd_anchor": loopkit.fmt(rmsd_anchor[ip]),
                "best_rmsd_anchor": loopkit.fmt(min(rmsd_anchor)),
                "mean_rmsd_anchor": loopkit.fmt(sum(rmsd_anchor) / len(rmsd_anchor))})
    for k in CMP_FIELDS:
        row[k] = cmp_rec.get(k, "NA")
    row["check_best"] = check(min(rmsd_anchor), cmp_rec.get("cmp_best"))
    row["check_pred"] = check(rmsd_anchor[ip], cmp_rec.get("cmp_pred"))
    if cmp_rec.get("cmp_n") not in (None, "NA") and int(cmp_rec["cmp_n"]) != len(confs):
        row["check_best"] = "n %s != %d" % (cmp_rec["cmp_n"], len(confs))

    conf_rows = []
    for i, c in enumerate(confs):
        conf_rows.append({"index": i + 1, "label": c["label"],
                          "s0": c["scores"][0], "s1": c["scores"][1], "s2": c["scores"][2],
                          "s3": c["scores"][3], "z": loopkit.fmt(z[i], 4),
                          "rmsd": loopkit.fmt(rmsd[i]), "rmsd_anchor": loopkit.fmt(rmsd_anchor[i])})
    loopkit.write_tsv(os.path.join(loopdir, "conformations.tsv"),
                      ["index", "label", "s0", "s1", "s2", "s3", "z", "rmsd", "rmsd_anchor"],
                      conf_rows)
    return {"row": row}


def main():
    p = argparse.ArgumentParser()
    for name in ("native", "sample", "compare", "loopdir", "record"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--chain", default="")
    p.add_argument("--meta", nargs="*", default=[])
    p.add_argument("--keep-failures", action="store_true")
    a = p.parse_args()

    meta = dict(kv.split("=", 1) for kv in a.meta)
    sample = steps.read_record(a.sample)
    row = base_row(meta, sample)
    return steps.run_step(
        "analyse", a.record,
        lambda: analyse(a, row, sample, steps.read_record(a.compare)),
        [a.sample, a.compare], a.keep_failures, always={"row": row})


if __name__ == "__main__":
    sys.exit(main())
