"""The DFIRE column of the ranking rebuilt two ways, measured against z (measurement tool).

The program's DFIRE score of a written loop sums every heavy-atom pair of a loop residue with
any other residue closer than 15 A, the loop's own neighbours in sequence included. Two
variants of that column, each ranked by z with the DFIRE column replaced (each score's
(s - median) / MAD over the written loops, summed, as the program ranks):
  default   sequence-local pairs removed from the written score, since the distances of a
            residue to its neighbours follow its own torsions, which the torsion score counts:
              sep2  pairs of residues one apart in the chain dropped
              sep3  pairs one or two apart dropped
  --split   the score's backbone part (pairs of N, CA, C, O only) and the rest:
              bb     the backbone part alone
              split  both parts, each normalised on its own (five terms)
--check N recomputes the whole DFIRE score of the first N written loops of each run from the
table, to show that pairs and table are read as the program reads them.

Usage: /usr/bin/python3 tools/ranking/local_dfire_rules.py DFIRE_TABLE [--split] [--out TSV]
           [--check N] NAME=RUN_DIR:LOOP_TABLE_DIR [NAME=RUN_DIR:LOOP_TABLE_DIR ...]
(DFIRE_TABLE: the dfire_pair.lib the runs used; RUN_DIR = workflow results/<name>/<sampling>;
LOOP_TABLE_DIR: the folder of the loop table the run read, where its structure files lie.)
"""

import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import ranking_rules  # noqa: E402
from ranking_rules import loopkit  # noqa: E402

CUTOFF = 15.0
BINS = 30  # of 0.5 A
CAP = 10.0  # the program caps each pair's energy at 10
VARIANTS = (("sep2", 1), ("sep3", 2))  # name, largest sequence distance dropped
BACKBONE = ("N", "CA", "C", "O")


def load_table(path):
    """{(key_a, key_b): 30 energies, capped} for both orders; keys are "RES ATOM"."""
    capped = {}
    return {k: capped.setdefault(id(e), np.minimum(np.array(e), CAP)) for k, e in loopkit.read_pair_table(path, BINS).items()}


def loop_span(entry):
    """(chain, first, last, written loops) of a loop in its entry (ranking_rules.loop_in_entry):
    the chain's residues and the positions of the loop's first and last residue in it."""
    _, _, chain, native, confs = entry
    first = next(i for i, r in enumerate(chain) if r is native[0])
    return chain, first, first + len(native) - 1, confs


def residues_with(chain, first, last, conf_residues):
    return chain[:first] + conf_residues + chain[last + 1:]


def table_grid(table):
    """(index of each key, energies as an array [type, type, bin]) for vectorised sums."""
    keys = sorted({k for k, _ in table})
    index = {k: q for q, k in enumerate(keys)}
    grid = np.zeros((len(keys), len(keys), BINS))
    for (a, b), e in table.items():
        grid[index[a], index[b]] = e
    return index, grid


def pair_energy(index, grid, residues, first, last, backbone=False, maxsep=None):
    """DFIRE of the loop residues first..last with every other residue and with each other,
    each pair once, as the program sums it. backbone: pairs of N, CA, C, O only; maxsep: only
    pairs of residues at most that far apart in the chain. Atoms without a type are left out."""
    pts, kinds, owner = [], [], []
    for i, r in enumerate(residues):
        for name, xyz in r["atoms"].items():
            key = r["name"] + " " + name
            if key in index and (not backbone or name in BACKBONE):
                pts.append(xyz)
                kinds.append(index[key])
                owner.append(i)
    pts, kinds, owner = np.array(pts, float), np.array(kinds), np.array(owner)
    mine = (owner >= first) & (owner <= last)
    d = np.sqrt(((pts[mine][:, None, :] - pts[None, :, :]) ** 2).sum(2))
    oi, oj = owner[mine][:, None], owner[None, :]
    # Each pair once: a loop atom with any atom of another residue, loop-loop pairs only i < j.
    keep = (d < CUTOFF) & (oi != oj) & ~(((oj >= first) & (oj <= last)) & (oj < oi))
    if maxsep is not None:
        keep &= np.abs(oi - oj) <= maxsep
    ki = np.broadcast_to(kinds[mine][:, None], d.shape)[keep]
    kj = np.broadcast_to(kinds[None, :], d.shape)[keep]
    return float(grid[ki, kj, (2.0 * d[keep]).astype(int)].sum())


def main_split(index, grid, args, out_path):
    names = ["z", "bb", "split"]
    rows = []
    for name, case, loop in ranking_rules.each_finished_loop(args, hbond=False):
        chain, first, last, confs = loop_span(loop["entry"])
        bb = np.array([pair_energy(index, grid, residues_with(chain, first, last, c["residues"]), first, last,
                                   backbone=True) for c in confs])
        sc = loop["scores"][:, 0] - bb
        nbb, nsc = np.array(loopkit.med_mad(list(bb))), np.array(loopkit.med_mad(list(sc)))
        rest = loop["z"] - loop["normalised"][:, 0]
        picks = [float(loop["rmsd"][ranking_rules.lowest(z)]) for z in (loop["z"], rest + nbb, rest + nbb + nsc)]
        rho = [loopkit.spearman(list(v), list(loop["rmsd"])) for v in (loop["scores"][:, 0], bb, sc)]
        rows.append((name, case, loop["length"], picks, rho, float(loop["rmsd"].min())))
        print("%s %s %d: %s" % (name, case, loop["length"], " ".join("%.3f" % p for p in picks)), flush=True)
    ranking_rules.print_picks(rows, names, lambda mine: print(
        "Spearman with RMSD, mean over loops: " +
        ", ".join("%s %+.3f" % (n, np.nanmean([r[4][q] for r in mine])) for q, n in enumerate(["DFIRE", "d1", "d2"]))))
    ranking_rules.write_pick_rows(out_path, names, rows)


def main(args):
    index, grid = table_grid(load_table(args[0]))
    args = args[1:]
    out_path, check, split = None, 0, False
    while args and args[0].startswith("--"):
        if args[0] == "--out":
            out_path, args = args[1], args[2:]
        elif args[0] == "--split":
            split, args = True, args[1:]
        elif args[0] == "--check":
            check, args = int(args[1]), args[2:]
        else:
            raise ValueError("unknown option %s" % args[0])
    if split:
        return main_split(index, grid, args, out_path)
    names = ["z"] + [n for n, _ in VARIANTS]
    rows = []
    for name, case, loop in ranking_rules.each_finished_loop(args, hbond=False):
        chain, first, last, confs = loop_span(loop["entry"])
        if check:
            for c in confs[:check]:
                whole = pair_energy(index, grid, residues_with(chain, first, last, c["residues"]), first, last)
                print("check %s %s: written %.2f, recomputed %.2f" % (case, c["label"], c["scores"][0], whole))
        picks = [float(loop["rmsd"][ranking_rules.lowest(loop["z"])])]
        rho = []
        dfire = loop["scores"][:, 0]
        for _, maxsep in VARIANTS:
            local = np.array([pair_energy(index, grid, residues_with(chain, first, last, c["residues"]),
                                          first, last, maxsep=maxsep) for c in confs])
            column = np.array(loopkit.med_mad(list(dfire - local)))
            z = loop["z"] - loop["normalised"][:, 0] + column
            picks.append(float(loop["rmsd"][ranking_rules.lowest(z)]))
            rho.append(loopkit.spearman(list(dfire - local), list(loop["rmsd"])))
        rho.insert(0, loopkit.spearman(list(dfire), list(loop["rmsd"])))
        rows.append((name, case, loop["length"], picks, rho, float(loop["rmsd"].min())))
        print("%s %s %d: %s" % (name, case, loop["length"], " ".join("%.3f" % p for p in picks)), flush=True)
    ranking_rules.print_picks(rows, names, lambda mine: print(
        "Spearman of the DFIRE column with RMSD, mean over loops: " +
        ", ".join("%s %+.3f" % (n, np.nanmean([r[4][q] for r in mine])) for q, n in enumerate(["all pairs"] + names[1:]))))
    ranking_rules.write_pick_rows(out_path, names, rows)


if __name__ == "__main__":
    ranking_rules.run_tool(main, __doc__, "local_dfire_rules")
