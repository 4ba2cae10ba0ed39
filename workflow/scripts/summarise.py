"""Collect the loops' records into one table and a Markdown report.

Usage: summarise.py --kind benchmark|predict --records-from LIST --table-dir DIR
       --title TEXT --settings TEXT --summary summary.tsv --report report.md
       [--groups JSON --plot rmsd_per_loop.png --plot-svg rmsd_per_loop.svg
        --reference-set 12_res]                                   (benchmark)

LIST names the last record of every loop (analyse.json of a benchmark loop,
sample.json of a prediction loop). Every loop gets a row: ok, or failed with the
failing step and its message. Paths in the outputs are relative: structure files
as in the loop table, links to model files relative to the report. Once the
outputs are written, each failed loop gets a retry file for its failing step
(steps.invalidate), so that a re-run redoes those loops and no other.

Benchmark: --groups is a JSON list of [label, min length, max length]. Loops
without conformations (failed) count as misses in the "within 1 / 2 Angstrom"
fractions; medians and means of RMSD are over the loops that wrote conformations.
"""

import argparse
import json
import math
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loopkit  # noqa: E402
import steps  # noqa: E402
from analyse_loop import LOOP_FIELDS  # noqa: E402
from rerank_loop import RERANK_FIELDS  # noqa: E402

PREDICT_FIELDS = ["id", "file", "chain", "start", "end", "sequence", "status", "failed_step",
                  "message", "n_conformations", "n_models", "top_index", "top_combined",
                  "top_dfire", "top_sidechain", "top_quenda", "top_torsion", "top_cluster_size",
                  "top10_median_rmsd", "top10_max_rmsd", "wall_s", "cpu_s", "peak_rss_mb",
                  "threads", "exit_status", "command", "models", "ranking", "result"]
# with the physics re-rank on
PREDICT_RERANK = ["rerank_index", "rerank_rank", "rerank_scored", "rerank_failed", "rerank_frame",
                  "rerank_cpu_s", "rerank_models"]

# Rosetta figures on the canonical 45-loop 12-residue set (Mandell, Coutsias & Kortemme,
# Nat Methods 6:551, 2009; next-generation KIC: Stein & Kortemme, PLoS ONE 8:e63090, 2013),
# as re-analysed from the authors' published result files.
REFERENCE = [
    ("Rosetta next-generation KIC (45 loops)", "0.56", "32/45", "0.37", "42/45",
     "500 models", "about 240 CPU-hours"),
    ("Rosetta KIC (45 loops)", "0.98", "", "", "", "", ""),
]


def num(x):
    try:
        v = float(x)
    except (TypeError, ValueError):
        return None
    return v if math.isfinite(v) else None


def med(values):
    v = [x for x in values if x is not None]
    return loopkit.median(v) if v else None


def mean(values):
    v = [x for x in values if x is not None]
    return sum(v) / len(v) if v else None


def f2(x, digits=2):
    return "–" if x is None else "%.*f" % (digits, x)


def frac(hits, total):
    return "–" if total == 0 else "%d/%d (%.0f%%)" % (hits, total, 100.0 * hits / total)


def duration(sec):
    if sec is None:
        return "–"
    if sec < 120:
        return "%.1f s" % sec
    if sec < 7200:
        return "%.1f min" % (sec / 60)
    return "%.2f h" % (sec / 3600)


def group_stats(rows):
    pred = [num(r["pred_rmsd"]) for r in rows]
    best = [num(r["best_rmsd"]) for r in rows]
    written = [b for b in best if b is not None]
    return {
        "n": len(rows),
        "written": len(written),
        "med_pred": med(pred), "mean_pred": mean(pred), "med_best": med(best),
        "pred1": sum(1 for x in pred if x is not None and x < 1.0),
        "best1": sum(1 for x in best if x is not None and x < 1.0),
        "best2": sum(1 for x in best if x is not None and x < 2.0),
        "wall": med([num(r["wall_s"]) for r in rows]),
        "cpu": med([num(r["cpu_s"]) for r in rows]),
        "cpu_total": sum(num(r["cpu_s"]) or 0.0 for r in rows),
        "mem": med([num(r["peak_rss_mb"]) for r in rows]),
        "nconf": med([num(r["n_conf"]) for r in rows]),
    }


def group_of(length, groups):
    try:
        length = int(length)
    except ValueError:
        return "other"
    for label, lo, hi in groups:
        if lo <= length <= hi:
            return label
    return "other"


def make_plot(rows, groups, png, svg, title):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    order = {g[0]: i for i, g in enumerate(groups)}
    rows = sorted(rows, key=lambda r: (order.get(r["group"], len(order)), length_key(r),
                                       r["case_id"]))
    x = list(range(len(rows)))
    pred = [num(r["pred_rmsd"]) for r in rows]
    best = [num(r["best_rmsd"]) for r in rows]
    width = max(6.0, min(24.0, 0.12 * len(rows) + 3))
    fig, ax = plt.subplots(figsize=(width, 5.0))
    ax.axhline(1.0, color="0.6", lw=0.8, ls="--")
    ax.axhline(2.0, color="0.8", lw=0.8, ls=":")
    ax.scatter([i for i, v in zip(x, pred) if v is not None], [v for v in pred if v is not None],
               s=18, marker="o", color="tab:blue", label="prediction (lowest z)", zorder=3)
    ax.scatter([i for i, v in zip(x, best) if v is not None], [v for v in best if v is not None],
               s=18, marker="v", color="tab:orange", label="best conformation written", zorder=3)
    miss = [i for i, v in zip(x, best) if v is None]
    if miss:
        ax.scatter(miss, [0.0] * len(miss), s=24, marker="x", color="tab:red",
                   label="no conformation", zorder=3)
    # group separators and labels
    prev = None
    for i, r in enumerate(rows):
        if r["group"] != prev:
            if i:
                ax.axvline(i - 0.5, color="0.85", lw=0.8)
            ax.text(i, 1.0, " " + r["group"] + " res", transform=ax.get_xaxis_transform(),
                    va="bottom", ha="left", fontsize=8)
            prev = r["group"]
    ax.set_xlim(-1, max(1, len(rows)))
    ax.set_xticks(x)
    ax.set_xticklabels([r["case_id"] for r in rows], rotation=90,
                       fontsize=7 if len(rows) <= 40 else 5)
    ax.set_ylim(bottom=0)
    ax.set_xlabel("loop (ordered by length group, length, case)")
    ax.set_ylabel("backbone RMSD (Å), N CA C O, no superposition")
    ax.set_title(title, fontsize=9, pad=14)
    ax.legend(fontsize=8, loc="upper left")
    fig.tight_layout()
    fig.savefig(png, dpi=110)
    if svg:
        fig.savefig(svg)
    plt.close(fig)


def length_key(r):
    try:
        return int(r["length"])
    except ValueError:
        return 10 ** 6


ABSOLUTE = re.compile(r"(?<![\w.~-])/[^\s'\"(),;:]+")


def relative_paths(text, base):
    """Absolute paths in a message rewritten relative to base (the loop table's
    directory), so that reports carry no path of the machine."""
    return ABSOLUTE.sub(lambda m: os.path.relpath(m.group(0), base), text)


def load(listing, table_dir):
    """(loop directory, record) of every loop, failure messages made relative."""
    with open(listing) as fh:
        paths = [line.strip() for line in fh if line.strip()]
    loaded = []
    for p in paths:
        rec = steps.read_record(p)
        rec["message"] = relative_paths(rec.get("message", ""), table_dir)
        loaded.append((os.path.dirname(p), rec))
    return loaded


def threads_note(rows):
    used = sorted({str(r.get("threads", "NA")) for r in rows})
    if len(used) == 1:
        return "every run used %s thread%s" % (used[0], "" if used[0] == "1" else "s")
    return "runs used %s threads (see the command lines)" % " or ".join(used)


def failures_section(rows, key):
    bad = [r for r in rows if r["status"] != "ok"]
    out = ["## Failed loops\n"]
    if not bad:
        return out + ["None.\n"]
    out.append("| loop | step | message |")
    out.append("|---|---|---|")
    for r in bad:
        out.append("| %s | %s | %s |" % (r[key], r["failed_step"], md(r["message"])))
    return out + [""]


def commands_section(rows, key):
    out = ["## Command lines\n",
           "Each loop's sampling run as it was started (the program shown as `lorvane`, the "
           "structure file as in the loop table, `-data` relative to the repository; `-cores` "
           "is the thread count the job really had).\n"]
    for r in rows:
        out.append("- `%s`: `%s`" % (r[key], r.get("command") or "not run"))
    return out + [""]


def md(text):
    return str(text).replace("|", "\\|").replace("\n", " ")


def predict_row(loopdir, rec, report_dir):
    m = rec.get("meta", {})
    row = {k: rec.get(k, "NA") for k in PREDICT_FIELDS}
    row.update({"id": m.get("case_id", os.path.basename(loopdir)), "file": m.get("file", ""),
                "chain": m.get("chain", ""), "start": m.get("start", ""),
                "end": m.get("end", ""), "sequence": m.get("sequence", ""),
                "status": "ok" if rec["status"] == "ok" else "failed",
                "failed_step": rec.get("failed_step", ""), "message": rec.get("message", ""),
                "command": rec.get("command", "")})
    for key in ("models", "ranking", "result"):
        f = (rec.get("files") or {}).get(key)
        row[key] = os.path.relpath(os.path.join(loopdir, f), report_dir) \
            if f and row["status"] == "ok" else ""
    for key in PREDICT_RERANK:
        row[key] = rec.get(key, "NA")
    f = rec.get("rerank_models")
    row["rerank_models"] = os.path.relpath(os.path.join(loopdir, f), report_dir) \
        if f and row["status"] == "ok" else ""
    return row


def predict_report(a, rows):
    ok = [r for r in rows if r["status"] == "ok"]
    cpu = sum(num(r["cpu_s"]) or 0.0 for r in rows)
    out = ["# %s\n" % a.title]
    if a.settings:
        out.append(a.settings.strip() + " " + threads_note(rows).capitalize() + ".\n")
    out.append("**%d of %d loops modelled, %d failed.** CPU time of all runs %s; median wall "
               "time per loop %s; largest peak memory %s MiB.\n" % (
                   len(ok), len(rows), len(rows) - len(ok), duration(cpu),
                   duration(med([num(r["wall_s"]) for r in rows])),
                   f2(max([num(r["peak_rss_mb"]) or 0.0 for r in rows] or [0.0]), 0)))
    out.append("Scores of the top model (rank 1 of the ranking table): `combined` ranks the "
               "models (lower is better), `dfire`, `sidechain`, `quenda` and `torsion` are its "
               "terms. Confidence: *top cluster* = conformations within 1 Å backbone RMSD of "
               "the top model; *spread* = rmsd_to_top of ranks 2-10, median / largest, in Å "
               "(small when the best models agree). Structure files are given as in the loop "
               "table; links are relative to this report.\n")
    out.append("## Loops\n")
    out.append("| loop | structure | chain | residues | status | combined | dfire | sidechain | "
               "quenda | torsion | top cluster | spread (Å) | conformations | wall | CPU | "
               "peak MiB | threads | files |")
    out.append("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    for r in rows:
        files = " · ".join("[%s](%s)" % (k.replace("_", " "), r[k])
                           for k in ("models", "ranking", "rerank_models") if r[k]) or "–"
        out.append("| %s | %s | %s | %s-%s%s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s "
                   "| %s | %s | %s | %s |" % (
                       r["id"], r["file"], r["chain"], r["start"], r["end"],
                       " (`-seq %s`)" % r["sequence"] if r["sequence"] else "", r["status"],
                       r["top_combined"], r["top_dfire"], r["top_sidechain"], r["top_quenda"],
                       r["top_torsion"], r["top_cluster_size"],
                       "%s / %s" % (r["top10_median_rmsd"], r["top10_max_rmsd"]),
                       r["n_conformations"], duration(num(r["wall_s"])),
                       duration(num(r["cpu_s"])), r["peak_rss_mb"], r["threads"], files))
    out.append("")
    return out + failures_section(rows, "id") + commands_section(rows, "id")


def benchmark_report(a, rows, reranked=False):
    groups = [(str(g[0]), int(g[1]), int(g[2])) for g in json.loads(a.groups)]
    for r in rows:
        r["group"] = group_of(r["length"], groups)
    labels = [g[0] for g in groups] + (["other"] if any(r["group"] == "other" for r in rows) else [])

    out = []
    out.append("# %s\n" % a.title)
    if a.settings:
        out.append(a.settings.strip() + " " + threads_note(rows).capitalize() + ".\n")
    out.append("RMSD: backbone N, CA, C, O of the loop residues against the native structure, "
               "no superposition, computed from the result files by "
               "`workflow/scripts/analyse_loop.py`. Prediction = the conformation of lowest z "
               "(sum of the four median/MAD-normalised scores). \"Best\" = lowest RMSD among "
               "the conformations written. Fractions within 1 / 2 Å count failed loops "
               "(no conformation) as misses. Times and memory are per loop (medians).\n")
    out.append("| length group | loops | with conformations | median conformations | "
               "median prediction RMSD (Å) | mean prediction RMSD (Å) | prediction < 1 Å | "
               "median best RMSD (Å) | best < 1 Å | best < 2 Å | median wall time | "
               "median CPU time | median peak memory (MiB) |")
    out.append("|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    for label in labels + ["all"]:
        sel = rows if label == "all" else [r for r in rows if r["group"] == label]
        s = group_stats(sel)
        out.append("| %s | %d | %d | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            label, s["n"], s["written"], f2(s["nconf"], 0), f2(s["med_pred"]),
            f2(s["mean_pred"]), frac(s["pred1"], s["n"]), f2(s["med_best"]),
            frac(s["best1"], s["n"]), frac(s["best2"], s["n"]), duration(s["wall"]),
            duration(s["cpu"]), f2(s["mem"], 0)))
    total = group_stats(rows)
    out.append("\nTotal CPU time of all sampling runs: %s.\n" % duration(total["cpu_total"]))
    if reranked:
        out += rerank_section(rows, labels)

    ref = [r for r in rows if r.get("set") == a.reference_set] or \
        [r for r in rows if r["length"] == "12" and not r.get("set")]
    out.append("## 12-residue loops beside published figures\n")
    out.append("The canonical 12-residue set has 45 loops; this benchmark's DEV part holds 20 "
               "of them (the other 25 are held out), so our figures are over those 20 only.\n")
    out.append("| method | loops | median prediction RMSD (Å) | prediction < 1 Å | "
               "median best RMSD (Å) | best < 1 Å | conformations per loop | CPU time per loop |")
    out.append("|---|---|---|---|---|---|---|---|")
    for name, mp, p1, mb, b1, n, cpu in REFERENCE:
        out.append("| %s | 45 | %s | %s | %s | %s | %s | %s |" % (
            name, mp, p1 or "–", mb or "–", b1 or "–", n or "–", cpu or "–"))
    if ref:
        s = group_stats(ref)
        out.append("| LORVANE, this run (DEV part) | %d | %s | %s | %s | %s | median %s | "
                   "median %s |" % (s["n"], f2(s["med_pred"]), "%d/%d" % (s["pred1"], s["n"]),
                                    f2(s["med_best"]), "%d/%d" % (s["best1"], s["n"]),
                                    f2(s["nconf"], 0), duration(s["cpu"])))
    else:
        out.append("| LORVANE, this run | 0 | – | – | – | – | – | – |")
    out.append("\nThe Rosetta figures are over all 45 loops, ours over 20 of them: the two "
               "medians are not over the same loops.\n")

    checked = [r for r in rows if r["check_best"] not in ("NA", "")]
    out.append("## Cross-check against the compare mode\n")
    out.append("The compare mode's deviation uses C, O of the first loop residue, N, CA, C, O "
               "of the inner ones and N, CA of the last; the analysis recomputes that deviation "
               "from the result file and compares it with the program's summary line "
               "(tolerance 0.005 Å).\n")
    out.append("- lowest deviation agrees: %d of %d loops"
               % (sum(1 for r in checked if r["check_best"] == "ok"), len(checked)))
    out.append("- deviation of the lowest-z conformation agrees: %d of %d loops\n"
               % (sum(1 for r in checked if r["check_pred"] == "ok"), len(checked)))

    out.append("## Per loop\n")
    out.append("| case | set | length | status | conformations | prediction RMSD (Å) | "
               "best RMSD (Å) | wall | CPU | peak MiB | threads | compare check |")
    out.append("|---|---|---|---|---|---|---|---|---|---|---|---|")
    order = {g: i for i, g in enumerate(labels)}
    for r in sorted(rows, key=lambda r: (order.get(r["group"], 99), length_key(r), r["case_id"])):
        out.append("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            r["case_id"], r.get("set", ""), r["length"], r["status"], r["n_conf"],
            r["pred_rmsd"], r["best_rmsd"], duration(num(r["wall_s"])),
            duration(num(r["cpu_s"])), r["peak_rss_mb"], r["threads"],
            r["check_best"] + "/" + r["check_pred"]))
    out.append("\n![prediction and best RMSD per loop](%s)\n" % os.path.basename(a.plot))
    out += failures_section(rows, "case_id") + commands_section(rows, "case_id")
    make_plot(rows, groups + [("other", 0, 0)], a.plot, a.plot_svg, a.title)
    return out


def rerank_stats(rows):
    """The physics re-rank's first against the prediction (lowest z), over the loops
    both exist for; better / worse by more than 0.05 A."""
    pairs = [(num(r.get("pred_rmsd")), num(r.get("rerank_rmsd"))) for r in rows]
    pairs = [(p, q) for p, q in pairs if p is not None and q is not None]
    rer = [q for _p, q in pairs]
    return {"n": len(pairs), "med": med(rer), "mean": mean(rer),
            "med_pred": med([p for p, _q in pairs]), "mean_pred": mean([p for p, _q in pairs]),
            "one": sum(1 for q in rer if q < 1.0), "pred_one": sum(1 for p, _q in pairs if p < 1.0),
            "better": sum(1 for p, q in pairs if q < p - 0.05),
            "worse": sum(1 for p, q in pairs if q > p + 0.05),
            "cpu": med([num(r.get("rerank_cpu_s")) for r in rows])}


def rerank_section(rows, labels):
    out = ["## Physics re-rank\n",
           "The re-rank's first conformation (rank sum of program rank and OpenMM energy over "
           "the best distinct conformations, `tools/physics/rescore_openmm.py`) beside the "
           "prediction (lowest z), over the loops both exist for. Better / worse: by more than "
           "0.05 Å. CPU: the re-rank step alone, median per loop.\n",
           "| length group | loops | prediction median / mean (Å) | re-rank median / mean (Å) | "
           "prediction < 1 Å | re-rank < 1 Å | better / worse | median CPU |",
           "|---|---|---|---|---|---|---|---|"]
    for label in labels + ["all"]:
        sel = rows if label == "all" else [r for r in rows if r["group"] == label]
        s = rerank_stats(sel)
        out.append("| %s | %d | %s / %s | %s / %s | %d | %d | %d / %d | %s |" % (
            label, s["n"], f2(s["med_pred"]), f2(s["mean_pred"]), f2(s["med"]), f2(s["mean"]),
            s["pred_one"], s["one"], s["better"], s["worse"], duration(s["cpu"])))
    return out + [""]


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--kind", choices=("benchmark", "predict"), required=True)
    p.add_argument("--records-from", required=True)
    p.add_argument("--table-dir", required=True)
    p.add_argument("--title", default="LORVANE batch run")
    p.add_argument("--settings", default="")
    p.add_argument("--summary", required=True)
    p.add_argument("--report", required=True)
    p.add_argument("--groups", default="[]")
    p.add_argument("--plot", default="")
    p.add_argument("--plot-svg", default="")
    p.add_argument("--reference-set", default="12_res")
    a = p.parse_args()

    loaded = load(a.records_from, a.table_dir)
    report_dir = os.path.dirname(os.path.abspath(a.report))
    reranked = any(rec.get("step") == "rerank" for _d, rec in loaded)
    if a.kind == "predict":
        rows = [predict_row(d, rec, report_dir) for d, rec in loaded]
        loopkit.write_tsv(a.summary, PREDICT_FIELDS + (PREDICT_RERANK if reranked else []), rows)
        text = predict_report(a, rows)
    else:
        rows = []
        for _d, rec in loaded:
            row = dict(rec["row"], status="ok" if rec["status"] == "ok" else "failed",
                       failed_step=rec.get("failed_step", ""), message=rec.get("message", ""))
            rows.append(row)
        if reranked:   # a loop that failed before or at the re-rank has none of its figures
            for r in rows:
                for k in RERANK_FIELDS:
                    r.setdefault(k, "NA")
        text = benchmark_report(a, rows, reranked)
        loopkit.write_tsv(a.summary, ["group"] + LOOP_FIELDS + (RERANK_FIELDS if reranked else []),
                          rows)
    tmp = a.report + ".tmp"
    with open(tmp, "w") as fh:
        fh.write("\n".join(text))
    os.replace(tmp, a.report)
    for loopdir, rec in loaded:
        if rec["status"] != "ok":
            steps.invalidate(loopdir, rec)
    return 0


if __name__ == "__main__":
    sys.exit(main())
