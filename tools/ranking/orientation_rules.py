"""The written loops ranked with the backbone-orientation potential added to z (measurement tool).

For every written loop, K = its orientation energy (orientation_potential.loop_energy, from a
table of counts made by orientation_potential.py derive). Rules, each (s - median) / MAD over the
written loops as the program normalises its scores:
  z          the program's ranking
  z+wK       z plus w times normalised K, w = 0.5, 1, 2
  K          normalised K alone
Prints the RMSD each rule picks (ranking_rules.print_picks) and the mean Spearman of K with RMSD.

Usage: /usr/bin/python3 tools/ranking/orientation_rules.py COUNTS.npz [--out TSV] [--first N]
           NAME=RUN_DIR:LOOP_TABLE_DIR [NAME=RUN_DIR:LOOP_TABLE_DIR ...]
(--first N: only the first N written loops of each run, z and K normalised over them.)
"""

import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import ranking_rules  # noqa: E402
import orientation_potential as op  # noqa: E402
from local_dfire_rules import loop_span, residues_with  # noqa: E402


def main(args):
    with np.load(args[0]) as f:
        energy = op.energy_table(f["counts"])
    args = args[1:]
    out_path, first_n = None, None
    while args and args[0].startswith("--"):
        if args[0] == "--out":
            out_path, args = args[1], args[2:]
        elif args[0] == "--first":
            first_n, args = int(args[1]), args[2:]
        else:
            raise ValueError("unknown option %s" % args[0])
    rows = []
    for name, case, loop in ranking_rules.each_finished_loop(args, hbond=False):
        chain, first, last, confs = loop_span(loop["entry"])
        n = len(confs) if first_n is None else min(first_n, len(confs))
        k = np.array([op.loop_energy(energy, residues_with(chain, first, last, c["residues"]), first, last)
                      for c in confs[:n]])
        rows.append(ranking_rules.fifth_score_row(name, case, loop, k, ranking_rules.z_within(loop["scores"], slice(0, n))))
    ranking_rules.print_fifth_score(rows, "K", out_path)


if __name__ == "__main__":
    ranking_rules.run_tool(main, __doc__, "orientation_rules")
