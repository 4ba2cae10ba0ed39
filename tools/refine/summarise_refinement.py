"""Per length group summary of refine_eval.py output (its JSON lines): prediction
and best RMSD before/after, loops better/worse by more than 0.05 A, Spearman per
score, native rank. usage: summarise_refinement.py LOG [LOG ...]
  or: summarise_refinement.py --against REF_LOG LOG  (LOG's refined loops against REF_LOG's, loop by loop)"""
import json, sys, math, statistics as st

GROUPS = [("6", 6, 6), ("8-10", 8, 10), ("12", 12, 12), ("14", 14, 17), ("all", 0, 99)]

def read_rows(path):
    """The JSON rows of a refine_eval.py log (other lines are skipped)."""
    with open(path) as fh:
        return [json.loads(l) for l in fh if l.startswith("{")]

def against(ref_path, path):
    """Prediction and best RMSD after refinement of two runs of the same loops, side by side."""
    ref = {r["case"]: r for r in read_rows(ref_path)}
    new = {r["case"]: r for r in read_rows(path)}
    cases = sorted(set(ref) & set(new))
    print("==", path, "against", ref_path, len(cases), "loops in both;", len(set(ref) ^ set(new)), "in one only")
    print("group n pred ref new (mean) | median ref new | <1 ref new | better worse | best ref new (mean) | cpu ref new")
    for g, lo, hi in GROUPS:
        C = [c for c in cases if lo <= ref[c]["length"] <= hi]
        if not C: continue
        a = [ref[c]["pred_after"] for c in C]; b = [new[c]["pred_after"] for c in C]
        print(g, len(C), "%.2f %.2f | %.2f %.2f | %d %d | %d %d | %.2f %.2f | %.1f %.1f" % (
            st.mean(a), st.mean(b), st.median(a), st.median(b), sum(x < 1 for x in a), sum(x < 1 for x in b),
            sum(1 for x, y in zip(a, b) if y < x - 0.05), sum(1 for x, y in zip(a, b) if y > x + 0.05),
            st.mean(ref[c]["best_after"] for c in C), st.mean(new[c]["best_after"] for c in C),
            st.median(ref[c]["cpu_refine"] for c in C), st.median(new[c]["cpu_refine"] for c in C)))

if len(sys.argv) == 4 and sys.argv[1] == "--against":
    against(sys.argv[2], sys.argv[3])
    sys.exit(0)
if len(sys.argv) < 2 or sys.argv[1].startswith("--"):
    sys.exit(__doc__)
for path in sys.argv[1:]:
    rows = read_rows(path)
    print("==", path, len(rows), "loops")
    print("group n pred_b pred_a (mean) med_b med_a <1b <1a | best_b best_a <1b <1a | better worse | refined-set mean rmsd b/a | cpu ref/sample")
    for g, lo, hi in GROUPS:
        R = [r for r in rows if lo <= r["length"] <= hi]
        if not R: continue
        f = lambda k: [r[k] for r in R]
        pb, pa, bb, ba = f("pred_before"), f("pred_after"), f("best_before"), f("best_after")
        better = sum(1 for a, b in zip(pa, pb) if a < b - 0.05); worse = sum(1 for a, b in zip(pa, pb) if a > b + 0.05)
        mr = [r for r in R if "mean_rmsd_refined_before" in r]
        print(g, len(R), "%.2f %.2f %.2f %.2f %d %d | %.2f %.2f %d %d | %d %d | %.2f %.2f | %.1f %.1f" % (
            st.mean(pb), st.mean(pa), st.median(pb), st.median(pa), sum(x < 1 for x in pb), sum(x < 1 for x in pa),
            st.mean(bb), st.mean(ba), sum(x < 1 for x in bb), sum(x < 1 for x in ba), better, worse,
            st.mean([r["mean_rmsd_refined_before"] for r in mr]), st.mean([r["mean_rmsd_refined_after"] for r in mr]),
            st.median(f("cpu_refine")), st.median(f("cpu_sample"))))
    for t in ["dfire", "side", "quenda", "torsion", "z"]:
        b = [r["sp_%s_before" % t] for r in rows if not math.isnan(r.get("sp_%s_before" % t, float("nan")))]
        a = [r["sp_%s_after" % t] for r in rows if not math.isnan(r.get("sp_%s_after" % t, float("nan")))]
        print("spearman %-8s before %+.2f after %+.2f (%d loops)" % (t, st.mean(b), st.mean(a), len(a)))
    nr = [r["native_rank_refined"] for r in rows if "native_rank_refined" in r]
    if nr:
        print("native rank among refined (pool %s): median %g, first in %d/%d, top5 %d; among all: median %g first %d" % (
            st.median([r["pool"] for r in rows if "pool" in r]), st.median(nr), sum(x == 1 for x in nr), len(nr), sum(x <= 5 for x in nr),
            st.median([r["native_rank_all"] for r in rows if "native_rank_all" in r]), sum(r["native_rank_all"] == 1 for r in rows if "native_rank_all" in r)))
