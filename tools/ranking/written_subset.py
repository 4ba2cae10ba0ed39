"""Which closed loops to write: the program's first K against the K of lowest backbone score
(measurement tool).

At quick settings the final step finishes and writes 500 of the about 2000 closed loops it kept,
in the order of the closing step's energy. This tool asks whether a score of the complete
backbone, which needs no side chains, would choose a better K. It reads runs made with a
written count above K (e.g. -numloop 2000: every kept loop written) and compares two subsets of
each run's written loops:
  A  the first K written (what -numloop K writes, up to the removal of near-duplicates)
  B  the K of lowest z' = (d1 - median) / MAD + (torsion - median) / MAD over all written
     loops, where d1 is the backbone part of the DFIRE score (pairs of N, CA, C, O;
     local_dfire_rules.pair_energy) and torsion is the written torsion score
For each subset: its best RMSD, and the RMSD of the loop z puts first within it (z as the
program ranks, median and MAD taken over the subset).

With --share F, B is the ceil(F n) of lowest z' among a run's n written loops (with --first
above n, A is every written loop: the program's own prediction).

Usage: /usr/bin/python3 tools/ranking/written_subset.py DFIRE_TABLE [--first K] [--share F] [--out TSV]
           NAME=RUN_DIR:LOOP_TABLE_DIR [NAME=RUN_DIR:LOOP_TABLE_DIR ...]
(DFIRE_TABLE: the dfire_pair.lib the runs used; RUN_DIR = workflow results/<name>/<sampling>;
LOOP_TABLE_DIR: the folder of the loop table the run read, where its structure files lie.)
"""

import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import local_dfire_rules  # noqa: E402
import ranking_rules  # noqa: E402
from ranking_rules import loopkit  # noqa: E402

TORSION = 3  # column of the torsion score among the four written scores


def subset_picks(d1, scores, rmsd, k, kb=None):
    """(best of A, best of B, pick of z in A, pick of z in B) for one run: A the first k written
    loops, B the kb (default k) of lowest z' (normalised d1 plus normalised torsion score over all
    loops)."""
    zp = np.array(loopkit.med_mad(list(d1))) + np.array(loopkit.med_mad(list(scores[:, TORSION])))
    a = np.arange(min(k, len(rmsd)))
    b = np.sort(np.argsort(zp, kind="stable")[:k if kb is None else kb])
    return (float(rmsd[a].min()), float(rmsd[b].min()),
            float(rmsd[a][ranking_rules.lowest(ranking_rules.z_within(scores, a))]),
            float(rmsd[b][ranking_rules.lowest(ranking_rules.z_within(scores, b))]))


def summary(values):
    return "%.2f / %.2f, %d below 1 A" % (values.mean(), np.median(values), (values < 1).sum())


def main(args):
    table = local_dfire_rules.load_table(args[0])
    index, grid = local_dfire_rules.table_grid(table)
    args = args[1:]
    k, share, out_path = 500, None, None
    while args and args[0].startswith("--"):
        if args[0] == "--first" and len(args) > 1:
            k, args = int(args[1]), args[2:]
            if k < 1:
                raise ValueError("--first %d: at least one loop" % k)
        elif args[0] == "--share" and len(args) > 1:
            # B takes this share of each run's written loops instead of --first's count
            share, args = float(args[1]), args[2:]
            if not 0 < share <= 1:
                raise ValueError("--share %s: a share in (0, 1]" % share)
        elif args[0] == "--out" and len(args) > 1:
            out_path, args = args[1], args[2:]
        else:
            raise ValueError("unknown option or missing value: %s" % args[0])
    rows = []
    for name, case, loop in ranking_rules.each_finished_loop(args, hbond=False):
        chain, first, last, confs = local_dfire_rules.loop_span(loop["entry"])
        d1 = np.array([local_dfire_rules.pair_energy(
            index, grid, local_dfire_rules.residues_with(chain, first, last, c["residues"]), first, last, backbone=True)
            for c in confs])
        kb = None if share is None else int(np.ceil(share * len(confs)))
        picks = subset_picks(d1, loop["scores"], loop["rmsd"], k, kb)
        rows.append((name, case, loop["length"], len(confs)) + picks + (float(loop["rmsd"].min()),))
        print("%s %s %d written %d: best A %.3f B %.3f, z pick A %.3f B %.3f, best of all %.3f" % rows[-1], flush=True)
    if not rows:
        raise ValueError("no finished loop in the runs given")
    a = np.array([r[4:] for r in rows])
    print("\n%d loops; first %d (A) against the %s of lowest backbone score (B)"
          % (len(rows), k, k if share is None else "share %g" % share))
    for label, q in (("best written", 0), ("z pick", 2)):
        better = (a[:, q + 1] < a[:, q] - 0.05).sum()
        worse = (a[:, q + 1] > a[:, q] + 0.05).sum()
        print("%s: A %s | B %s | B better / worse %d / %d" % (label, summary(a[:, q]), summary(a[:, q + 1]), better, worse))
    print("best of every written loop: %s" % summary(a[:, 4]))
    for length in sorted({r[2] for r in rows}):
        m = np.array([r[2] == length for r in rows])
        print("%d residues, %d loops: best A %.2f B %.2f, z pick A %.2f B %.2f (means)"
              % (length, m.sum(), a[m, 0].mean(), a[m, 1].mean(), a[m, 2].mean(), a[m, 3].mean()))
    if out_path:
        with open(out_path, "w") as fh:
            fh.write("set\tcase\tlength\twritten\tbest_A\tbest_B\tpick_A\tpick_B\tbest_all\n")
            for r in rows:
                fh.write("%s\t%s\t%d\t%d\t%.3f\t%.3f\t%.3f\t%.3f\t%.3f\n" % r)


if __name__ == "__main__":
    ranking_rules.run_tool(main, __doc__, "written_subset")
