"""The fragment score as a fifth ranking score, measured against z (measurement tool).

For each finished run of the workflow/ benchmark given, and each loop in it, picks the written
loop with the lowest z + w * f, f the fragment score (fragment_score.py) normalised as
(s - median) / MAD over the written loops, with and without sequence weights, for each weight
w; prints a table per set and for all sets together, and writes every pick per loop (--out).
Also reports, per loop, the hits found and how near the best hit and the heaviest hit come to
the native loop.

Usage: /usr/bin/python3 tools/ranking/fragment_rules.py DATABASE.npz [--out TSV] [--no-homologs]
           NAME=RUN_DIR:LOOP_TABLE_DIR [NAME=RUN_DIR:LOOP_TABLE_DIR ...]
(--no-homologs: skip the homolog search, for targets train/ was already cleared of, such as the
benchmark's.)
"""

import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import fragment_score as fs  # noqa: E402
import ranking_rules  # noqa: E402
from ranking_rules import loopkit  # noqa: E402

WEIGHTS = (0.5, 1.0, 2.0)
RULES = [("z", None, 0.0)] + [("frag%s %.1f" % (s, w), s == "+seq", w) for s in ("", "+seq") for w in WEIGHTS]


def loop_case(entry, db, homologs, cache):
    """Fragment scores (without and with sequence weights) of the written loops of a loop in
    its entry (loop_in_entry), and what its hits were."""
    record, _, chain, loop, confs = entry
    meta = record["meta"]
    a = next(i for i, r in enumerate(chain) if r is loop[0])
    b = a + len(loop) - 1
    decoys = np.array([[[r["atoms"][x] for x in fs.BACKBONE] for r in c["residues"]] for c in confs], float)
    native = np.array([[r["atoms"][x] for x in fs.BACKBONE] for r in loop], float)
    target_seq = "".join(fs.ONE.get(r["name"], "X") for r in loop)
    pdbid = os.path.basename(meta["file"])[:4]
    excluded = set()
    if homologs:
        chain_seq = "".join(fs.ONE.get(r["name"], "X") for r in chain)
        excluded = fs.excluded_chains(db, pdbid, chain_seq, cache)
    loops, stem, seqs = fs.hits(db, chain, a, b, excluded)
    out = {k: fs.scores(decoys, loops, stem, seqs, target_seq, k) for k in (False, True)}
    info = {"hits": len(loops), "excluded": len(excluded)}
    if len(loops):
        to_native = np.sqrt(((loops - native[None]) ** 2).sum(-1).mean(axis=(1, 2)))
        w = np.exp(-(stem / fs.STEM_WIDTH) ** 2)
        info["best_hit"] = float(to_native.min())
        info["heaviest_hit"] = float(to_native[np.argmax(w)])
    return out, info


def main(args):
    db = fs.load(args[0])
    args = args[1:]
    out_path, homologs = None, True
    while args and args[0].startswith("--"):
        if args[0] == "--out":
            out_path, args = args[1], args[2:]
        elif args[0] == "--no-homologs":
            homologs, args = False, args[1:]
        else:
            sys.exit(__doc__)
    rows, cache = [], {}
    names = [n for n, _, _ in RULES]
    for name, case, loop in ranking_rules.each_finished_loop(args):
        frag, info = loop_case(loop["entry"], db, homologs, cache)
        picks = ranking_rules.added_score_picks(loop, RULES, frag)
        rho = loopkit.spearman(list(frag[False]), list(loop["rmsd"])) if info["hits"] else float("nan")
        rows.append((name, case, loop["length"], picks, rho, float(loop["rmsd"].min()), info))
        print("%s %s L=%d hits=%d excluded=%d best_hit=%s z=%.2f frag1=%.2f" % (
            name, case, loop["length"], info["hits"], info["excluded"],
            "%.2f" % info["best_hit"] if "best_hit" in info else "-", picks[0], picks[2]), file=sys.stderr)

    def extra(mine):
        print("Loops with hits: %d of %d" % (sum(r[6]["hits"] > 0 for r in mine), len(mine)))
        print("Spearman of the fragment score (no sequence) with RMSD, mean over loops with hits: %+.3f"
              % np.nanmean([r[4] for r in mine]))
        bh = [r[6]["best_hit"] for r in mine if "best_hit" in r[6]]
        if bh:
            print("Best hit to native: median %.2f A, below 1 A in %d of %d loops with hits"
                  % (np.median(bh), sum(x < 1 for x in bh), len(bh)))
    ranking_rules.print_picks(rows, names, extra)
    if out_path:
        with open(out_path, "w") as fh:
            fh.write("set\tcase\tlength\thits\tbest_hit\tbest_written\t" + "\t".join(n.replace(" ", "_") for n in names) + "\n")
            for r in rows:
                fh.write("%s\t%s\t%d\t%d\t%s\t%.3f\t%s\n" % (
                    r[0], r[1], r[2], r[6]["hits"], "%.3f" % r[6]["best_hit"] if "best_hit" in r[6] else "",
                    r[5], "\t".join("%.3f" % v for v in r[3])))


if __name__ == "__main__":
    ranking_rules.run_tool(main, __doc__, "fragment_rules")
