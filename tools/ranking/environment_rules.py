"""The environment score as a fifth ranking score, measured against z (measurement tool).

For each finished run of the workflow/ benchmark given, and each loop in it, picks the written
loop with the lowest z + w * e, e the environment score (environment_score.py) normalised as
(s - median) / MAD over the written loops, for each kind of count and each weight w; prints a
table per run and writes the RMSD of every pick per loop (--out).

Usage: /usr/bin/python3 tools/ranking/environment_rules.py ENV_TABLE.json [--out TSV]
           NAME=RUN_DIR:LOOP_TABLE_DIR [NAME=RUN_DIR:LOOP_TABLE_DIR ...]
(RUN_DIR = workflow results/<name>/<sampling>; LOOP_TABLE_DIR: the folder of the loop table
the run read, where its structure files lie.)
"""

import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import environment_score  # noqa: E402
import ranking_rules  # noqa: E402
from ranking_rules import loopkit  # noqa: E402

WEIGHTS = (0.5, 1.0, 2.0)


def env_of(entry, energy):
    """Environment scores of the written loops of a loop in its entry (loop_in_entry)."""
    _, _, chain, loop, confs = entry
    first = next(i for i, r in enumerate(chain) if r is loop[0])
    return environment_score.loop_scores(chain, first, first + len(loop) - 1,
                                         [c["residues"] for c in confs], energy)


def rules(energy):
    return [("z", None, 0.0)] + [("%s %.1f" % (k, w), k, w) for k in energy for w in WEIGHTS]


def main(args):
    energy = environment_score.load(args[0])
    args = args[1:]
    out_path = None
    if args[:1] == ["--out"]:
        out_path, args = args[1], args[2:]
    rows = []
    names = [n for n, _, _ in rules(energy)]
    for name, case, loop in ranking_rules.each_finished_loop(args):
        env = env_of(loop["entry"], energy)
        picks = ranking_rules.added_score_picks(loop, rules(energy), env)
        rho = {k: loopkit.spearman(list(env[k]), list(loop["rmsd"])) for k in env}
        rows.append((name, case, loop["length"], picks, rho, float(loop["rmsd"].min())))
    ranking_rules.print_picks(rows, names, lambda mine: [
        print("Spearman of %s with RMSD, mean over loops: %+.3f" % (k, np.nanmean([r[4][k] for r in mine])))
        for k in energy])
    ranking_rules.write_pick_rows(out_path, names, rows)


if __name__ == "__main__":
    ranking_rules.run_tool(main, __doc__, "environment_rules")
