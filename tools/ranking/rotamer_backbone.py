"""How well each written loop's side chains suit its own backbone: a backbone-dependent rotamer
score added to z (measurement tool).

A residue's rotamer is its chi1 in three bins of 120 deg (g+, t, g-) and, where the type has a
chi2, its chi2 in three bins of 120 deg (for PHE, TYR and ASP, whose ring or carboxylate is
symmetric, chi2 modulo 180 deg in three bins of 60 deg). Its backbone cell is its (phi, psi) in
bins of 30 deg. From the training structures (residues with every side-chain atom, B-factors from
CB on at most 40 A^2, the usual rotamer-library filter):
  P(rot | type, cell) = (n(rot, cell) + K P(rot | type)) / (n(cell) + K),  K = 5,
and the score of a residue is -ln P(rot | type, cell) + ln P(rot | type): how much more (or less)
likely its rotamer is on this backbone than on any. D of a written loop is the sum over its
residues with a side chain. The program chooses the side chains for the environment; D asks
whether the backbone it grew agrees with them.

Rules, each score (s - median) / MAD over the written loops as the program normalises its own:
  z          the program's ranking
  z+wD       z plus w times normalised D, w = 0.5, 1, 2
  D          normalised D alone
Also prints, per loop, D of the native (its own side chains) and the share of written loops
scoring below it.

Usage:
  /usr/bin/python3 tools/ranking/rotamer_backbone.py derive TRAIN_DIR OUT.npz [--leave-out IDS_FILE]
  /usr/bin/python3 tools/ranking/rotamer_backbone.py rules COUNTS.npz [--out TSV]
      NAME=RUN_DIR:LOOP_TABLE_DIR [NAME=RUN_DIR:LOOP_TABLE_DIR ...]
  /usr/bin/python3 tools/ranking/rotamer_backbone.py sidechains COUNTS.npz NAME=RUN_DIR:LOOP_TABLE_DIR [...]
      (per loop: the chi1 bins the loops below 1 A share with the native, and their D)
  /usr/bin/python3 tools/ranking/rotamer_backbone.py table COUNTS.npz OUT.txt
      (the energies as the program's table for -xrotprior, the repacking's rotamer preference)
(IDS_FILE: PDB ids, one a line, whose entries are not counted: those the score is measured on.)
"""

import math
import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "workflow", "scripts"))
import loopkit  # noqa: E402
import ranking_rules  # noqa: E402
from local_dfire_rules import loop_span, residues_with  # noqa: E402

CELL_DEG = 30
NCELL = 360 // CELL_DEG
PSEUDO = 5.0
MAX_B = 40.0
# The atom that ends chi1 (N CA CB X) and the one that ends chi2 (CA CB X Y); None: no chi2.
CHI_ATOMS = {
    "ARG": ("CG", "CD"), "ASN": ("CG", "OD1"), "ASP": ("CG", "OD1"), "CYS": ("SG", None),
    "GLN": ("CG", "CD"), "GLU": ("CG", "CD"), "HIS": ("CG", "ND1"), "ILE": ("CG1", "CD1"),
    "LEU": ("CG", "CD1"), "LYS": ("CG", "CD"), "MET": ("CG", "SD"), "PHE": ("CG", "CD1"),
    "PRO": ("CG", "CD"), "SER": ("OG", None), "THR": ("OG1", None), "TRP": ("CG", "CD1"),
    "TYR": ("CG", "CD1"), "VAL": ("CG1", None),
}
SYMMETRIC_CHI2 = {"PHE", "TYR", "ASP"}
TYPES = sorted(CHI_ATOMS)
NROT = 9  # chi1 bin * 3 + chi2 bin (0 without chi2)


def dihedral(p0, p1, p2, p3):
    """Dihedral angle in degrees, in [0, 360)."""
    b0, b1, b2 = np.subtract(p0, p1), np.subtract(p2, p1), np.subtract(p3, p2)
    b1 = b1 / np.linalg.norm(b1)
    v = b0 - np.dot(b0, b1) * b1
    w = b2 - np.dot(b2, b1) * b1
    x = np.dot(v, w)
    y = np.dot(np.cross(b1, v), w)
    return math.degrees(math.atan2(y, x)) % 360.0


def rotamer(res):
    """Rotamer index of a residue (dict of loopkit), or None without all its chi atoms."""
    ends = CHI_ATOMS.get(res["name"])
    a = res["atoms"]
    if ends is None or not all(n in a for n in ("N", "CA", "CB", ends[0])):
        return None
    chi1 = dihedral(a["N"], a["CA"], a["CB"], a[ends[0]])
    rot = int(chi1 // 120) * 3
    if ends[1] is not None:
        if ends[1] not in a:
            return None
        chi2 = dihedral(a["CA"], a["CB"], a[ends[0]], a[ends[1]])
        rot += int((chi2 % 180.0) // 60) if res["name"] in SYMMETRIC_CHI2 else int(chi2 // 120)
    return min(rot, NROT - 1)


def bonded(c_prev, n_next):
    return float(np.linalg.norm(np.subtract(c_prev, n_next))) < 2.0


def cell(residues, q):
    """(phi, psi) cell of residue q of a chain, or None where a neighbour is missing or not bonded."""
    if q == 0 or q + 1 >= len(residues):
        return None
    prev, res, nxt = residues[q - 1]["atoms"], residues[q]["atoms"], residues[q + 1]["atoms"]
    if not (all(n in res for n in ("N", "CA", "C")) and "C" in prev and "N" in nxt):
        return None
    if not (bonded(prev["C"], res["N"]) and bonded(res["C"], nxt["N"])):
        return None
    phi = dihedral(prev["C"], res["N"], res["CA"], res["C"])
    psi = dihedral(res["N"], res["CA"], res["C"], nxt["N"])
    return int(phi // CELL_DEG) * NCELL + int(psi // CELL_DEG)


def read_with_b(path):
    """Residues of a structure file as loopkit reads them, each with the highest B-factor of its
    atoms from CB on ("maxb")."""
    residues = loopkit.read_structure(path, bfactors=True)
    for r in residues:
        r["maxb"] = max([b for name, b in r["b"].items() if name not in loopkit.BACKBONE and b is not None],
                        default=0.0)
    return residues


def derive(train_dir, leave_out=()):
    counts = np.zeros((len(TYPES), NCELL * NCELL, NROT), np.int64)
    used = 0
    for name in sorted(f for f in os.listdir(train_dir) if f.endswith(".pdb.gz")):
        if name.split(".")[0].lower() in leave_out:
            continue
        residues = read_with_b(os.path.join(train_dir, name))
        for ch in sorted({r["chain"] for r in residues}):
            chain = [r for r in residues if r["chain"] == ch]
            for q, r in enumerate(chain):
                if r["name"] not in CHI_ATOMS or r["maxb"] > MAX_B:
                    continue
                rot, c = rotamer(r), cell(chain, q)
                if rot is not None and c is not None:
                    counts[TYPES.index(r["name"]), c, rot] += 1
        used += 1
    return counts, used


def energy_table(counts):
    """[type, cell, rot] -> -ln P(rot | type, cell) + ln P(rot | type), P smoothed toward the
    type's own rotamer frequencies."""
    counts = counts.astype(float)
    per_type = counts.sum(1)
    p_type = (per_type + 1e-3) / (per_type.sum(1, keepdims=True) + NROT * 1e-3)
    p_cell = (counts + PSEUDO * p_type[:, None, :]) / (counts.sum(2, keepdims=True) + PSEUDO)
    return -np.log(p_cell) + np.log(p_type)[:, None, :]


def loop_energy(energy, residues, first, last):
    """D of the residues first..last (positions in one chain's residues)."""
    total = 0.0
    for q in range(first, last + 1):
        r = residues[q]
        if r["name"] not in CHI_ATOMS:
            continue
        rot, c = rotamer(r), cell(residues, q)
        if rot is not None and c is not None:
            total += energy[TYPES.index(r["name"]), c, rot]
    return total


def main_derive(args):
    leave_out = set()
    if "--leave-out" in args:
        k = args.index("--leave-out")
        with open(args[k + 1]) as fh:
            leave_out = {line.strip().lower() for line in fh if line.strip()}
        args = args[:k] + args[k + 2:]
    if len(args) != 2:
        raise ValueError("derive needs TRAIN_DIR and OUT.npz")
    counts, used = derive(args[0], leave_out)
    np.savez_compressed(args[1], counts=counts)
    print("%d entries, %d residues counted, %d left out" % (used, counts.sum(), len(leave_out)))


def main_rules(args):
    with np.load(args[0]) as f:
        energy = energy_table(f["counts"])
    args = args[1:]
    out_path = None
    if args and args[0] == "--out":
        out_path, args = args[1], args[2:]
    rows, native = [], []
    for name, case, loop in ranking_rules.each_finished_loop(args, hbond=False):
        chain, first, last, confs = loop_span(loop["entry"])
        d = np.array([loop_energy(energy, residues_with(chain, first, last, c["residues"]), first, last) for c in confs])
        rows.append(ranking_rules.fifth_score_row(name, case, loop, d, loop["z"]))
        # The native with its own side chains: does D recognise it among the written loops?
        d_native = loop_energy(energy, chain, first, last)
        native.append((d_native, float(np.median(d)), float((d < d_native).mean())))
    ranking_rules.print_fifth_score(rows, "D", out_path, (
        ("D_native", "D_written_median", "written_below_native"),
        [("%.2f" % a, "%.2f" % b, "%.3f" % c) for a, b, c in native]))
    below = np.array([n[2] for n in native])
    print("Written loops scoring below the native: median %.3f; the native lowest in %d of %d loops"
          % (np.median(below), (below == 0).sum(), len(below)))


def chi1_bins(residues):
    """chi1 bin of each residue (None without a side chain or its chi1 atoms)."""
    return [None if r["name"] not in CHI_ATOMS or rotamer(r) is None else rotamer(r) // 3 for r in residues]


def main_side_chains(args):
    """Per loop with at least five written loops below 1 A: how often their chi1 bins are the
    native's, and their median D, beside the native's D and those of the loops above 3 A
    (at most the first 300 loops of each kind)."""
    with np.load(args[0]) as f:
        energy = energy_table(f["counts"])
    rows = []
    for _, case, loop in ranking_rules.each_finished_loop(args[1:], hbond=False):
        chain, first, last, confs = loop_span(loop["entry"])
        native = chi1_bins(chain[first:last + 1])
        below = int((loop["rmsd"] < 1.0).sum())
        near, far = np.where(loop["rmsd"] < 1.0)[0][:300], np.where(loop["rmsd"] > 3.0)[0][:300]
        if below < 5:
            continue

        def agreement(idx):
            shares = []
            for q in idx:
                same = [a == b for a, b in zip(chi1_bins(confs[q]["residues"]), native) if a is not None and b is not None]
                if same:
                    shares.append(np.mean(same))
            return np.mean(shares) if shares else np.nan

        def median_d(idx):
            return np.median([loop_energy(energy, residues_with(chain, first, last, confs[q]["residues"]), first, last)
                              for q in idx]) if len(idx) else np.nan

        rows.append((agreement(near), agreement(far), loop_energy(energy, chain, first, last), median_d(near), median_d(far)))
        print("%s %d below 1 A: chi1 as native %.2f (above 3 A: %.2f); D native %.2f, below 1 A %.2f, above 3 A %.2f"
              % ((case, below) + rows[-1]), flush=True)
    m = np.nanmedian(np.array(rows, float), 0)
    print("%d loops, medians: chi1 as native %.2f below 1 A, %.2f above 3 A; D native %.2f, below 1 A %.2f, above 3 A %.2f"
          % ((len(rows),) + tuple(m)))


def main_table(args):
    """The energies as the program's -xrotprior table: type, cell, the nine rotamers' energies."""
    if len(args) != 2:
        raise ValueError("table needs COUNTS.npz and OUT.txt")
    with np.load(args[0]) as f:
        energy = energy_table(f["counts"])
    with open(args[1], "w") as fh:
        fh.write("# -ln P(rot | type, phi/psi cell) + ln P(rot | type): type, cell = phi bin * %d + psi bin "
                 "(bins of %d deg from 0), rotamers chi1 bin * 3 + chi2 bin\n" % (NCELL, CELL_DEG))
        for t, name in enumerate(TYPES):
            for c in range(NCELL * NCELL):
                fh.write("%s %d %s\n" % (name, c, " ".join("%.4f" % e for e in energy[t, c])))


def main(args):
    if args[0] == "table":
        main_table(args[1:])
    elif args[0] == "sidechains":
        main_side_chains(args[1:])
    elif args[0] == "derive":
        main_derive(args[1:])
    elif args[0] == "rules":
        main_rules(args[1:])
    else:
        raise ValueError("unknown command %s (derive, rules, sidechains or table)" % args[0])


if __name__ == "__main__":
    ranking_rules.run_tool(main, __doc__, "rotamer_backbone.py")
