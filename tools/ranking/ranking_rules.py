"""Alternative rankings of the written loops, measured against the program's z (measurement tool).

Reads finished runs of the workflow/ benchmark (RUN_DIR = workflow/results/<name>/<sampling>):
for every loop, loops/<case>/conformations.tsv (the four scores and the RMSD of each written
loop to the native, from the analysis step) and the result file named in sample.json (the
coordinates). Prints, per rule, the RMSD of the loop each rule puts first: mean, median, how
many are below 1 A, and the median per length group; then how close the best of the top 1, 5
and 10 by z comes, per length group.

Rules (all start from the z of the ranking: each score's (s - median) / MAD, summed):
  z                   the program's ranking
  weights a,b,c,d     the four normalised scores (DFIRE, side chain, QUENDA, torsion) weighted
  ranksum             the sum of the four per-score ranks
  topdens f r         among the best fraction f by z, the loop with most others of that set
                      within r A backbone RMSD (ties to the lower z)
  kernel T w          the loop of highest density sum_j exp(-(z_j - z_min) / T) exp(-(d_ij / w)^2),
                      d_ij the backbone RMSD (N, CA, C, O) between written loops
  clip c              z with each normalised score clipped below at -c, so that no one score
                      can carry a loop to the top alone
  shortlist k         among the best k by z, the loop of lowest DFIRE (the score that follows the
                      RMSD best): z shortlists, DFIRE decides
  hbond w             (with --hbond) z plus w times the normalised backbone hydrogen-bond
                      energy of each written loop in its frame (backbone_hbonds.py)

Use it on training runs to choose (lorvane-params loop-set, then the workflow on that table);
benchmark runs are for measuring a choice only.

Usage: /usr/bin/python3 tools/ranking/ranking_rules.py [--hbond LOOP_TABLE_DIR] RUN_DIR [RUN_DIR ...]
(LOOP_TABLE_DIR: the folder of the loop table the runs read, where the structure files lie.)
"""

import json
import math
import os
import sys

import numpy as np
import yaml

WORKFLOW = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "workflow")
sys.path.insert(0, os.path.join(WORKFLOW, "scripts"))
import loopkit  # noqa: E402
from summarise import group_of  # noqa: E402
from backbone_hbonds import loop_energy  # noqa: E402

BACKBONE = ("N", "CA", "C", "O")
# The benchmark's own length groups, so that the tables line up with its reports.
with open(os.path.join(WORKFLOW, "config", "config.yaml")) as _fh:
    GROUPS = [tuple(g) for g in yaml.safe_load(_fh)["length_groups"]]


def length_group(n):
    return group_of(n, GROUPS)


def loop_in_entry(loopdir, table_dir):
    """A finished loop of a run in its entry: the run's record, every residue of the entry, those
    of the loop's chain, the native loop (residues of that chain) and the written conformations,
    each checked against the loop."""
    with open(os.path.join(loopdir, "sample.json")) as fh:
        record = json.load(fh)
    meta = record["meta"]
    everything = loopkit.read_structure(os.path.join(table_dir, meta["file"]))
    chain = [r for r in everything if r["chain"] == meta["chain"]]
    loop = loopkit.loop_residues(chain, meta["start"], meta["end"])
    confs = loopkit.read_results(os.path.join(loopdir, record["files"]["result"]))
    for conf in confs:
        loopkit.matched(conf, loop)
    return record, everything, chain, loop, confs


def hbond_energies(entry):
    """Backbone hydrogen-bond energy of each written loop with the rest of the entry
    (entry: loop_in_entry of the loop)."""
    _, everything, _, loop, confs = entry
    first = next(i for i, r in enumerate(everything) if r is loop[0])
    last = first + len(loop) - 1
    return np.array([loop_energy(everything[:first] + conf["residues"] + everything[last + 1:], first, last)
                     for conf in confs])


def each_finished_loop(run_args, hbond=False):
    """(set name, case, read_loop of it with its entry) for every analysed loop of the runs
    given as NAME=RUN_DIR:LOOP_TABLE_DIR; hbond adds the hydrogen-bond energies."""
    for run_arg in run_args:
        name, rest = run_arg.split("=", 1)
        run_dir, table_dir = rest.split(":", 1)
        base = os.path.join(run_dir, "loops")
        for case in sorted(os.listdir(base)):
            loopdir = os.path.join(base, case)
            loop = read_loop(loopdir, table_dir, hbond)
            if loop is not None:
                yield name, case, loop


def added_score_picks(loop, rules, scores):
    """RMSD of the loop each rule (name, key, weight) puts first: z for key None, else
    z + weight * scores[key] normalised by median and MAD."""
    picks = []
    for _, key, w in rules:
        score = loop["z"] if key is None else loop["z"] + w * np.array(loopkit.med_mad(list(scores[key])))
        picks.append(float(loop["rmsd"][lowest(score)]))
    return picks


def print_picks(rows, names, extra=None):
    """Tables of the RMSD each rule picks, per set and for all sets together. rows: (set, case,
    length, picks in the order of names, ...); extra(rows) prints lines under each table."""
    sets = sorted({r[0] for r in rows}, key=[r[0] for r in rows].index)
    for group in [[s] for s in sets] + ([sets] if len(sets) > 1 else []):
        mine = [r for r in rows if r[0] in group]
        print("\n%s: %d loops" % ("+".join(group), len(mine)))
        print("| rule | mean (Å) | median (Å) | < 1 Å | better / worse than z (> 0.05 Å) |")
        print("|---|---|---|---|---|")
        z = np.array([r[3][0] for r in mine])
        for q, n in enumerate(names):
            got = np.array([r[3][q] for r in mine])
            print("| %s | %.2f | %.2f | %d/%d | %d / %d |" % (
                n, got.mean(), np.median(got), (got < 1).sum(), len(got),
                (got < z - 0.05).sum(), (got > z + 0.05).sum()))
        if extra:
            extra(mine)


def write_pick_rows(out_path, names, rows, extra=((), ())):
    """The RMSD of every rule's pick per loop (rows as print_picks takes them, the best written
    RMSD sixth), as a TSV; nothing without a path. extra: (column names, one tuple of
    formatted values per row) appended to the right."""
    if not out_path:
        return
    with open(out_path, "w") as fh:
        fh.write("\t".join(["set", "case", "length", "best_written"] + [n.replace(" ", "_") for n in names]
                           + list(extra[0])) + "\n")
        for q, r in enumerate(rows):
            values = ["%.3f" % v for v in r[3]] + (list(extra[1][q]) if extra[0] else [])
            fh.write("%s\t%s\t%d\t%.3f\t%s\n" % (r[0], r[1], r[2], r[5], "\t".join(values)))


FIFTH_WEIGHTS = (0.5, 1.0, 2.0)


def fifth_score_names(letter):
    """Rule names of a fifth score X added to z: z, z+wX for each weight, X alone."""
    return ["z"] + ["z+%g%s" % (w, letter) for w in FIFTH_WEIGHTS] + [letter]


def fifth_score_row(name, case, loop, score, z):
    """One loop's row for print_picks: the RMSD that z, z + w times the normalised score and the
    normalised score alone put first (over the loops z and score cover), and the score's
    Spearman with the RMSD. Prints the picks."""
    rmsd = loop["rmsd"][:len(score)]
    normalised = np.array(loopkit.med_mad(list(score)))
    scores = [z] + [z + w * normalised for w in FIFTH_WEIGHTS] + [normalised]
    picks = [float(rmsd[lowest(s)]) for s in scores]
    row = (name, case, loop["length"], picks, [loopkit.spearman(list(score), list(rmsd))], float(rmsd.min()))
    print("%s %s %d: %s" % (name, case, loop["length"], " ".join("%.3f" % p for p in picks)), flush=True)
    return row


def print_fifth_score(rows, letter, out_path, extra=((), ())):
    """The tables of print_picks for a fifth score, its mean Spearman with the RMSD, and the
    per-loop TSV (extra: further columns, as write_pick_rows takes them)."""
    names = fifth_score_names(letter)
    print_picks(rows, names, lambda mine: print(
        "Spearman of %s with RMSD, mean over loops: %+.3f" % (letter, np.nanmean([r[4][0] for r in mine]))))
    write_pick_rows(out_path, names, rows, extra)


def run_tool(main, doc, name, min_args=2):
    """Runs a re-ranking tool's main on the command line: its usage without enough arguments,
    one line naming what is at fault on a bad file or value."""
    if len(sys.argv) < min_args + 1:
        sys.exit(doc)
    try:
        main(sys.argv[1:])
    except (OSError, ValueError, KeyError) as exc:
        sys.exit("%s: %s" % (name, exc))


def read_loop(loopdir, table_dir=None, hbond=True):
    """Scores (n x 4), RMSD to native (n), pairwise backbone RMSD (n x n), backbone coordinates
    (n x residues x 4 x 3) and loop length;
    given the loop table's folder also the loop in its entry (loop_in_entry, read once for
    every score that needs it) and, with hbond, the backbone hydrogen-bond energies. None for
    a loop without written conformations or analysis."""
    conf_path = os.path.join(loopdir, "conformations.tsv")
    record_path = os.path.join(loopdir, "sample.json")
    if not (os.path.exists(conf_path) and os.path.exists(record_path)):
        return None
    with open(record_path) as fh:
        record = json.load(fh)
    _, rows = loopkit.read_tsv(conf_path)
    if not rows:
        return None
    entry = None if table_dir is None else loop_in_entry(loopdir, table_dir)
    confs = entry[4] if entry else loopkit.read_results(os.path.join(loopdir, record["files"]["result"]))
    if len(confs) != len(rows):
        raise ValueError("%s: %d conformations in the result file, %d analysed" % (loopdir, len(confs), len(rows)))
    xyz = np.array([[r["atoms"][a] for r in c["residues"] for a in BACKBONE] for c in confs], float)
    flat = xyz.reshape(len(confs), -1)
    sq = (flat ** 2).sum(1)
    pair = np.sqrt(np.clip((sq[:, None] + sq[None, :] - 2 * flat @ flat.T) / xyz.shape[1], 0, None))
    # The Gram form leaves rounding noise that depends on the BLAS build: make
    # it symmetric with an exact zero diagonal, so that loops in one place tie exactly.
    pair = 0.5 * (pair + pair.T)
    np.fill_diagonal(pair, 0.0)
    scores = [[float(r["s%d" % q]) for r in rows] for q in range(4)]
    # Each score's (s - median) / MAD as the program and the analysis normalise it, once per loop.
    normalised = np.array([loopkit.med_mad(col) for col in scores]).T
    return {"scores": np.array(scores).T,
            "normalised": normalised,
            "z": normalised.sum(1),
            "rmsd": np.array([float(r["rmsd"]) for r in rows]),
            "pair": pair,
            "backbone": xyz.reshape(len(confs), -1, len(BACKBONE), 3),
            "length": len(confs[0]["residues"]),
            "entry": entry,
            "hbond": hbond_energies(entry) if entry and hbond else None}


def z_within(scores, subset):
    """The program's z of the loops of subset (indices or a slice into the rows of scores, one
    column per score), each score normalised over the subset only."""
    return np.array([loopkit.med_mad(list(scores[subset, q])) for q in range(scores.shape[1])]).T.sum(1)


def lowest(values):
    """Index of the lowest value, the first of equals (a NaN never wins)."""
    return int(np.argsort(values, kind="stable")[0])


def z_of(loop):
    return loop["z"]


def by_z(loop):
    return lowest(z_of(loop))


def by_weights(w):
    return lambda loop: lowest((loop["normalised"] * np.array(w, float)).sum(1))


def by_ranksum(loop):
    s = loop["scores"]
    ranks = sum(np.argsort(np.argsort(s[:, q], kind="stable"), kind="stable") for q in range(4))
    return lowest(ranks)


def by_top_density(frac, radius):
    def pick(loop):
        z = z_of(loop)
        top = np.argsort(z, kind="stable")[:max(1, int(math.ceil(frac * len(z))))]
        count = (loop["pair"][np.ix_(top, top)] <= radius).sum(1)
        return int(top[max(range(len(top)), key=lambda i: (count[i], -z[top[i]]))])
    return pick


def by_kernel(temp, width):
    def pick(loop):
        z = z_of(loop)
        weight = np.exp(-(z - z.min()) / temp)
        density = (np.exp(-(loop["pair"] / width) ** 2) * weight[None, :]).sum(1)
        # Equal densities (up to rounding) go to the lower z.
        tied = np.flatnonzero(density >= density.max() * (1 - 1e-9))
        return int(tied[lowest(z[tied])])
    return pick


def by_clip(limit):
    return lambda loop: lowest(np.maximum(loop["normalised"], -limit).sum(1))


def by_hbond(weight):
    def pick(loop):
        normalised = np.array(loopkit.med_mad(list(loop["hbond"])))
        return lowest(z_of(loop) + weight * normalised)
    return pick


def by_shortlist(k):
    def pick(loop):
        top = np.argsort(z_of(loop), kind="stable")[:k]
        # Lowest DFIRE among them; equal DFIRE goes to the lower z (top is in z order).
        return int(top[lowest(loop["scores"][top, 0])])
    return pick


def rules(hbond=False):
    out = [("z", by_z), ("ranksum", by_ranksum)]
    for k in (3, 5, 10):
        out.append(("shortlist %d" % k, by_shortlist(k)))
    if hbond:
        out += [("hbond %.2f" % w, by_hbond(w)) for w in (0.25, 0.5, 1.0, 2.0)]
    for w in ((1, 0, 0, 0), (1, 0, 1, 1), (1, 1, 1, 0), (2, 1, 1, 1)):
        out.append(("weights %s" % ",".join(map(str, w)), by_weights(w)))
    for frac in (0.05, 0.1, 0.2):
        for radius in (0.75, 1.0, 1.5):
            out.append(("topdens %.2f %.2f" % (frac, radius), by_top_density(frac, radius)))
    for temp in (0.5, 1.0, 2.0, 4.0):
        for width in (1.0, 2.0):
            out.append(("kernel %.1f %.1f" % (temp, width), by_kernel(temp, width)))
    for limit in (2, 3, 4, 5, 6):
        out.append(("clip %d" % limit, by_clip(limit)))
    return out


def main(run_dirs, table_dir=None):
    loops = []
    for run in run_dirs:
        base = os.path.join(run, "loops")
        for case in sorted(os.listdir(base)):
            loop = read_loop(os.path.join(base, case), table_dir)
            if loop is not None:
                loops.append(loop)
    if not loops:
        sys.exit("ranking_rules: no analysed loop in " + " ".join(run_dirs))
    groups = [g for g, _, _ in GROUPS if any(length_group(x["length"]) == g for x in loops)]
    print("%d loops\n" % len(loops))
    print("| rule | mean (Å) | median (Å) | < 1 Å | " + " | ".join("median %s (Å)" % g for g in groups) + " |")
    print("|---" * (4 + len(groups)) + "|")
    for name, pick in rules(table_dir is not None):
        got = [float(x["rmsd"][pick(x)]) for x in loops]
        per = [np.median([r for r, x in zip(got, loops) if length_group(x["length"]) == g]) for g in groups]
        print("| %s | %.2f | %.2f | %d/%d | %s |" % (name, np.mean(got), np.median(got), sum(r < 1 for r in got),
                                                   len(got), " | ".join("%.2f" % v for v in per)))
    if table_dir is not None:
        # nanmean: a loop whose written conformations all score alike has no correlation.
        rho = lambda q: np.nanmean([loopkit.spearman(list(x[q]), list(x["rmsd"])) for x in loops])
        print("\nSpearman with the RMSD, mean over loops: z %+.2f, hydrogen-bond energy %+.2f"
              % (rho("z"), rho("hbond")))
    print("\n| length group | loops | rank 1 by z: median (Å), < 1 Å | best of top 5 | best of top 10 | best written |")
    print("|---|---|---|---|---|---|")
    for g in groups:
        members = [x for x in loops if length_group(x["length"]) == g]
        cells = []
        for k in (1, 5, 10, None):
            best = [float(x["rmsd"][np.argsort(z_of(x), kind="stable")[:k]].min()) for x in members]
            cells.append("%.2f, %d/%d" % (np.median(best), sum(r < 1 for r in best), len(best)))
        print("| %s | %d | %s |" % (g, len(members), " | ".join(cells)))


if __name__ == "__main__":
    args = sys.argv[1:]
    table = None
    if args[:1] == ["--hbond"]:
        if len(args) < 2:
            sys.exit(__doc__)
        table, args = args[1], args[2:]
    if not args:
        sys.exit(__doc__)
    try:
        main(args, table)
    except (OSError, ValueError, KeyError) as exc:  # one line naming what is at fault
        sys.exit("ranking_rules: %s" % exc)
