"""The torsion score from neighbour-dependent tables in the ranking, measured against z on
finished runs (measurement tool).

For every written loop of every finished run given, the torsion score (the fourth of the
ranking's scores: the sum over loop residues of -ln P(phi, psi) in the coil table, 5-degree
bins centred on -180 + 5k) is computed again from the coordinates, once with the residue's own
table (data/phipsi.bb.txt; it must agree with the run's own score, which checks the reading)
and once with P(t|previous) P(t|next) / P(t) from the neighbour tables (phipsi.nb.txt of
lorvane-params phipsi-nb), as the program's -xnbtorsion scores it. The rule "nb" is z with the
fourth score replaced by the neighbour score; "nb+" adds the neighbour score as a fifth. Prints
a table per run and, with --out, the RMSD of every pick per loop.

Usage: /usr/bin/python3 tools/ranking/neighbour_torsion_rules.py DATA_DIR NB_TABLE [--out TSV]
           NAME=RUN_DIR:LOOP_TABLE_DIR [NAME=RUN_DIR:LOOP_TABLE_DIR ...]
(DATA_DIR holds phipsi.bb.txt; RUN_DIR = workflow results/<name>/<sampling>; LOOP_TABLE_DIR:
the folder of the loop table the run read, where its structure files lie.)
"""

import gzip
import math
import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import ranking_rules  # noqa: E402
from ranking_rules import loopkit  # noqa: E402

BINS = 72
TYPES = ("ALA", "CYS", "ASP", "GLU", "PHE", "GLY", "HIS", "ILE", "LYS", "LEU",
         "MET", "ASN", "PRO", "GLN", "ARG", "SER", "THR", "VAL", "TRP", "TYR")


def _blocks(path, header_fields):
    """(header fields, 72 x 72 array) of every block of a torsion-bin file."""
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rt") as fh:
        lines = [l for l in fh.read().splitlines() if l.strip()]
    if len(lines) % (BINS + 1):
        raise ValueError("%s: %d lines, not whole blocks of %d" % (path, len(lines), BINS + 1))
    out = []
    for k in range(0, len(lines), BINS + 1):
        head = lines[k].split()
        if len(head) != header_fields:
            raise ValueError("%s:%d: header has %d fields, %d expected" % (path, k + 1, len(head), header_fields))
        rows = np.array(" ".join(lines[k + 1:k + 1 + BINS]).split(), float).reshape(BINS, BINS)
        out.append((head, rows))
    return out


def load_tables(phipsi_path, nb_path):
    """Coil tables {type: 72 x 72} and neighbour tables {(type, neighbour, side): 72 x 72}."""
    base = {h[0]: t for h, t in _blocks(phipsi_path, 2) if h[1] == "C"}
    nb = {(h[0], h[1], h[2]): t for h, t in _blocks(nb_path, 3)}
    return base, nb


def dihedral(p0, p1, p2, p3):
    b0, b1, b2 = np.subtract(p0, p1), np.subtract(p2, p1), np.subtract(p3, p2)
    b1n = b1 / np.linalg.norm(b1)
    v = b0 - np.dot(b0, b1n) * b1n
    w = b2 - np.dot(b2, b1n) * b1n
    return math.degrees(math.atan2(np.dot(np.cross(b1n, v), w), np.dot(v, w)))


def torsion_bin(deg):
    """Bin k covers [-182.5 + 5k, -177.5 + 5k), periodic."""
    return int(math.floor((deg + 182.5) / 5.0)) % BINS


def combined(base, nb, res, left, right):
    """P(t|left) P(t|right) / P(t), normalised; P(t) where a neighbour is not an amino acid."""
    if left not in TYPES or right not in TYPES:
        return base[res]
    b = base[res]
    p = np.divide(nb[(res, left, "-1")] * nb[(res, right, "+1")], b, out=np.zeros_like(b), where=b > 0)
    return p / p.sum()


def residue_tables(residues, before, after, base, nb):
    """(own, neighbour) table of each loop residue; the sequence is that of every written loop,
    so they are made once per loop."""
    names = [before["name"]] + [r["name"] for r in residues] + [after["name"]]
    return [(base[names[i]], combined(base, nb, names[i], names[i - 1], names[i + 1]))
            for i in range(1, len(names) - 1)]


def loop_scores(residues, before, after, tables):
    """(own, neighbour) torsion scores of one written loop: residues of the loop, the residue
    before it and the one after it (their C and N close the first phi and the last psi), and
    residue_tables of the loop."""
    chain = [before] + residues + [after]
    own = near = 0.0
    for i in range(1, len(chain) - 1):
        a, r, c = chain[i - 1]["atoms"], chain[i]["atoms"], chain[i + 1]["atoms"]
        phi = dihedral(a["C"], r["N"], r["CA"], r["C"])
        psi = dihedral(r["N"], r["CA"], r["C"], c["N"])
        k = (torsion_bin(phi), torsion_bin(psi))
        p_own = tables[i - 1][0][k]
        p_near = tables[i - 1][1][k]
        own += -math.log(p_own) if p_own > 0 else math.inf
        near += -math.log(p_near) if p_near > 0 else math.inf
    return own, near


def picks(loop, near):
    """RMSD of the pick of z, of z with the neighbour score instead of the torsion score, and of
    z with the neighbour score added."""
    norm = loop["normalised"]
    near_n = np.array(loopkit.med_mad(list(near)))
    z_nb = norm[:, 0] + norm[:, 1] + norm[:, 2] + near_n
    z_plus = loop["z"] + near_n
    rmsd = loop["rmsd"]
    return [float(rmsd[ranking_rules.lowest(s)]) for s in (loop["z"], z_nb, z_plus)]


NAMES = ["z", "nb", "nb+"]


def main(args):
    base, nb = load_tables(os.path.join(args[0], "phipsi.bb.txt"), args[1])
    args = args[2:]
    out_path = None
    if args[:1] == ["--out"]:
        out_path, args = args[1], args[2:]
    rows = []
    worst = 0.0
    for name, case, loop in ranking_rules.each_finished_loop(args):
        _, _, chain, native, confs = loop["entry"]
        first = next(i for i, r in enumerate(chain) if r is native[0])
        last = first + len(native) - 1
        if first == 0 or last + 1 >= len(chain):
            continue  # a loop at a chain end has no residue to close its first phi or last psi
        tables = residue_tables(native, chain[first - 1], chain[last + 1], base, nb)
        own, near = zip(*[loop_scores(c["residues"], chain[first - 1], chain[last + 1], tables) for c in confs])
        worst = max(worst, float(np.max(np.abs(np.array(own) - loop["scores"][:, 3]))))
        rows.append((name, case, loop["length"], picks(loop, np.array(near))))
    print("largest difference between the recomputed and the run's own torsion score: %.4f" % worst)
    ranking_rules.print_picks(rows, NAMES)
    if out_path:
        cols = ["rmsd_" + n.replace("+", "_plus") for n in NAMES]
        loopkit.write_tsv(out_path, ["set", "case", "length"] + cols,
                          [dict(zip(["set", "case", "length"] + cols, [s, c, n] + ["%.3f" % x for x in p]))
                           for s, c, n, p in rows])


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    try:
        main(sys.argv[1:])
    except (OSError, ValueError) as exc:
        sys.exit("neighbour_torsion_rules.py: %s" % exc)
