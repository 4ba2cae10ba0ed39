"""A linear ranking over seven scores, fitted on training runs and cross-validated (measurement tool).

Features of every written loop, each normalised as (s - median) / MAD over the loops of its run:
the program's four scores (DFIRE, side chain, QUENDA, torsion), the environment score
(environment_score.py, half-sphere kind), the fragment score (fragment_score.py, no sequence
weights) and the backbone hydrogen-bond energy (backbone_hbonds.py). A loop scores
s = sum_k w_k f_k; z is w0 = (1, 1, 1, 1, 0, 0, 0). The fit minimises, over the runs, the mean
expected RMSD of the pick under exp(-s) (softmax over the run's loops), plus 0.01 |w - w0|^2,
by L-BFGS from w0. Cross-validation: 8 folds grouped by loop (sorted case ids, i mod 8), each
held-out run ranked by the weights fitted on the other folds.

Usage:
  /usr/bin/python3 tools/ranking/fitted_ranking.py features ENV.json FRAG.npz OUT.npz [--no-homologs]
        NAME=RUN_DIR:LOOP_TABLE_DIR [...]
  /usr/bin/python3 tools/ranking/fitted_ranking.py crossvalidate FEATURES.npz [...] [--out TSV]
  /usr/bin/python3 tools/ranking/fitted_ranking.py apply TRAIN_FEATURES.npz [...] --on FEATURES.npz [...] [--out TSV]
        [--top K]
(--out: the pick of z and of the fitted weights for every run, with its best written loop;
--top K: also the pick of the fitted weights among the K loops of lowest z, written to TSV.topK.)
"""

import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import environment_rules  # noqa: E402
import environment_score  # noqa: E402
import fragment_rules  # noqa: E402
import fragment_score  # noqa: E402
import ranking_rules  # noqa: E402
from ranking_rules import loopkit  # noqa: E402

NAMES = ("dfire", "side chain", "quenda", "torsion", "environment", "fragment", "hbond")
W0 = np.array([1, 1, 1, 1, 0, 0, 0], float)
PENALTY = 0.01
FOLDS = 8


def normalised(values):
    return np.array(loopkit.med_mad(list(values)), float)


def features(env_path, frag_path, out_path, run_args, homologs=True):
    energy = {"hse": environment_score.load(env_path)["hse"]}
    db = fragment_score.load(frag_path)
    cache = {}
    runs = []
    for name, case, loop in ranking_rules.each_finished_loop(run_args, hbond=True):
        env = environment_rules.env_of(loop["entry"], energy)["hse"]
        frag, _ = fragment_rules.loop_case(loop["entry"], db, homologs, cache)
        cols = [loop["normalised"][:, q] for q in range(4)]
        cols += [normalised(env), normalised(frag[False]), normalised(loop["hbond"])]
        runs.append((name, case, loop["length"], np.array(cols).T, loop["rmsd"]))
        print("%s %s %d loops" % (name, case, len(loop["rmsd"])), file=sys.stderr)
    np.savez_compressed(out_path, sets=np.array([r[0] for r in runs]), cases=np.array([r[1] for r in runs]),
                        lengths=np.array([r[2] for r in runs]), counts=np.array([len(r[4]) for r in runs]),
                        X=np.concatenate([r[3] for r in runs]), rmsd=np.concatenate([r[4] for r in runs]))


def load_runs(paths):
    runs = []
    for p in paths:
        d = np.load(p)
        ends = np.concatenate([[0], np.cumsum(d["counts"])])
        for i in range(len(d["cases"])):
            runs.append({"set": str(d["sets"][i]), "case": str(d["cases"][i]), "length": int(d["lengths"][i]),
                         "X": d["X"][ends[i]:ends[i + 1]], "rmsd": d["rmsd"][ends[i]:ends[i + 1]]})
    return runs


def loss_and_grad(w, runs):
    total, grad = 0.0, np.zeros_like(w)
    for r in runs:
        s = r["X"] @ w
        a = -(s - s.min())
        p = np.exp(a)
        p /= p.sum()
        e = float(p @ r["rmsd"])
        total += e
        # d e / d w = -sum_i p_i (rmsd_i - e) x_i
        grad += -((p * (r["rmsd"] - e))[:, None] * r["X"]).sum(0)
    n = len(runs)
    d = w - W0
    return total / n + PENALTY * float(d @ d), grad / n + 2 * PENALTY * d


def fit(runs):
    from scipy.optimize import minimize
    res = minimize(loss_and_grad, W0.copy(), args=(runs,), jac=True, method="L-BFGS-B")
    return res.x


def pick(r, w, top=None):
    """RMSD of the loop of lowest score; with top, only the top loops by z may be picked."""
    s = r["X"] @ w
    if top is None:
        return float(r["rmsd"][int(np.argsort(s, kind="stable")[0])])
    allowed = np.argsort(r["X"] @ W0, kind="stable")[:top]
    return float(r["rmsd"][allowed[int(np.argsort(s[allowed], kind="stable")[0])]])


def report(runs, got, label, out_path=None):
    z = np.array([pick(r, W0) for r in runs])
    got = np.array(got)
    if out_path:
        with open(out_path, "w") as fh:
            fh.write("set\tcase\tlength\tbest_written\tz\tfitted\n")
            for r, a, b in zip(runs, z, got):
                fh.write("%s\t%s\t%d\t%.3f\t%.3f\t%.3f\n" % (r["set"], r["case"], r["length"], r["rmsd"].min(), a, b))
    print("\n%s: %d runs" % (label, len(runs)))
    print("| set | runs | z: mean / median, < 1 Å | fitted: mean / median, < 1 Å | better / worse |")
    print("|---|---|---|---|---|")
    sets = sorted({r["set"] for r in runs}, key=[r["set"] for r in runs].index)
    for name in sets + ["all"]:
        m = np.array([name == "all" or r["set"] == name for r in runs])
        a, b = z[m], got[m]
        print("| %s | %d | %.2f / %.2f, %d | %.2f / %.2f, %d | %d / %d |" % (
            name, m.sum(), a.mean(), np.median(a), (a < 1).sum(), b.mean(), np.median(b), (b < 1).sum(),
            (b < a - 0.05).sum(), (b > a + 0.05).sum()))


def crossvalidate(paths, out_path=None):
    runs = load_runs(paths)
    cases = sorted({r["case"] for r in runs})
    fold_of = {c: i % FOLDS for i, c in enumerate(cases)}
    got = [None] * len(runs)
    for k in range(FOLDS):
        train = [r for r in runs if fold_of[r["case"]] != k]
        w = fit(train)
        print("fold %d: %s" % (k, " ".join("%.2f" % x for x in w)))
        for i, r in enumerate(runs):
            if fold_of[r["case"]] == k:
                got[i] = pick(r, w)
    report(runs, got, "cross-validated", out_path)
    w = fit(runs)
    print("\nweights fitted on all runs: " + ", ".join("%s %.2f" % (n, x) for n, x in zip(NAMES, w)))
    report(runs, [pick(r, w) for r in runs], "fitted on all, same runs")


def apply(train_paths, on_paths, out_path=None, top=None):
    w = fit(load_runs(train_paths))
    print("weights: " + ", ".join("%s %.2f" % (n, x) for n, x in zip(NAMES, w)))
    runs = load_runs(on_paths)
    report(runs, [pick(r, w) for r in runs], "applied", out_path)
    if top is not None:
        report(runs, [pick(r, w, top) for r in runs], "applied among the best %d by z" % top,
               out_path and out_path + ".top%d" % top)


if __name__ == "__main__":
    a = sys.argv[1:]
    out, top = None, None
    if "--top" in a:
        i = a.index("--top")
        if i + 1 >= len(a) or not a[i + 1].isdigit() or int(a[i + 1]) < 1:
            sys.exit(__doc__)
        top = int(a[i + 1])
        a = a[:i] + a[i + 2:]
    if "--out" in a:
        i = a.index("--out")
        if i + 1 >= len(a):
            sys.exit(__doc__)
        out = a[i + 1]
        a = a[:i] + a[i + 2:]
    if len(a) >= 5 and a[0] == "features":
        homologs = "--no-homologs" not in a
        rest = [x for x in a[4:] if x != "--no-homologs"]
        features(a[1], a[2], a[3], rest, homologs)
    elif len(a) >= 2 and a[0] == "crossvalidate":
        crossvalidate(a[1:], out)
    elif len(a) >= 4 and a[0] == "apply" and "--on" in a:
        i = a.index("--on")
        apply(a[1:i], a[i + 1:], out, top)
    else:
        sys.exit(__doc__)
