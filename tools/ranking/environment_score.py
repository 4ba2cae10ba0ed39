"""Residue environment score of a loop: burial by residue type (measurement tool).

None of the program's four scores asks whether a residue sits as deep in the protein as its
type likes to: DFIRE and QUENDA sum atom pairs, the side-chain score packs atoms. This score
counts, for each residue, the neighbours around it and reads -ln(P(count | type) / P(count))
from a table counted over train/:
  hse  CA atoms within 13 A in the half sphere the CA->CB vector points into (half-sphere
       exposure, Hamelryck, Proteins 59:38, 2005)
  cn   CB atoms (CA for glycine) within 10 A of the residue's CB
Glycine and residues without CB get an ideal CB from N, CA, C. Counts fall in bins of 2; each
cell has a pseudo-count of 1. A loop's score sums its residues, with the other loop residues
taken from the conformation itself. The frame is the loop's chain only, as in the benchmark's
one-chain files; so the table counts each chain of train/ on its own.

Usage:
  /usr/bin/python3 tools/ranking/environment_score.py derive TRAIN_DIR OUT.json
  (then environment_rules.py scores finished workflow runs with OUT.json)
"""

import json
import os
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "workflow", "scripts"))
import loopkit  # noqa: E402

TYPES = ("ALA", "ARG", "ASN", "ASP", "CYS", "GLN", "GLU", "GLY", "HIS", "ILE",
         "LEU", "LYS", "MET", "PHE", "PRO", "SER", "THR", "TRP", "TYR", "VAL")
KINDS = {"hse": 13.0, "cn": 10.0}
BIN = 2
BINS = 40  # the last bin takes every count of 78 and more


def ideal_cb(n, ca, c):
    """CB placed from the backbone (the usual tetrahedral construction)."""
    b = ca - n
    cc = c - ca
    a = np.cross(b, cc)
    return -0.58273431 * a + 0.56802827 * b - 0.54067466 * cc + ca


def residue_points(residues):
    """(types, CA, CB) arrays of the residues that have N, CA and C; the type is an index
    into TYPES or -1 for any other residue."""
    types, cas, cbs = [], [], []
    for r in residues:
        at = r["atoms"]
        if not all(k in at for k in ("N", "CA", "C")):
            continue
        n, ca, c = (np.array(at[k], float) for k in ("N", "CA", "C"))
        cb = np.array(at["CB"], float) if "CB" in at and r["name"] != "GLY" else ideal_cb(n, ca, c)
        types.append(TYPES.index(r["name"]) if r["name"] in TYPES else -1)
        cas.append(ca)
        cbs.append(cb)
    return np.array(types, int), np.array(cas, float).reshape(-1, 3), np.array(cbs, float).reshape(-1, 3)


def counts(ca, cb, who, kind):
    """Neighbour counts of the residues `who` (indices into ca, cb) among all of them; a
    residue never counts itself."""
    if kind == "hse":
        # The residue's own CA lies on the plane of its half sphere, so it is never counted.
        d = ca[None, :, :] - ca[who][:, None, :]
        up = cb[who] - ca[who]
        near = ((d ** 2).sum(-1) <= KINDS[kind] ** 2) & ((d * up[:, None, :]).sum(-1) > 0)
        return near.sum(1)
    d = cb[None, :, :] - cb[who][:, None, :]
    return ((d ** 2).sum(-1) <= KINDS[kind] ** 2).sum(1) - 1


def bin_of(count):
    return np.minimum(np.asarray(count) // BIN, BINS - 1)


def derive(train_dir, out_path):
    table = {k: np.zeros((len(TYPES), BINS)) for k in KINDS}
    files = sorted(f for f in os.listdir(train_dir) if f.endswith(".pdb.gz"))
    for name in files:
        everything = loopkit.read_structure(os.path.join(train_dir, name))
        for chain in sorted({r["chain"] for r in everything}):
            types, ca, cb = residue_points([r for r in everything if r["chain"] == chain])
            if len(types) < 2:
                continue
            known = np.flatnonzero(types >= 0)
            for kind in KINDS:
                b = bin_of(counts(ca, cb, known, kind))
                np.add.at(table[kind], (types[known], b), 1)
    out = {"files": len(files), "bin": BIN, "bins": BINS, "types": TYPES, "energy": {}, "counts": {}}
    for kind, n in table.items():
        p_cell = (n + 1) / (n.sum(1, keepdims=True) + BINS)
        p_bin = (n.sum(0) + len(TYPES)) / (n.sum() + len(TYPES) * BINS)
        out["energy"][kind] = (-np.log(p_cell / p_bin[None, :])).round(4).tolist()
        out["counts"][kind] = n.astype(int).tolist()
    with open(out_path, "w") as fh:
        json.dump(out, fh)


def load(path):
    with open(path) as fh:
        t = json.load(fh)
    return {k: np.array(v) for k, v in t["energy"].items()}


def loop_scores(everything, first, last, confs, energy):
    """Environment score of each conformation (list of residue lists replacing
    everything[first..last]), per kind: {kind: array}."""
    out = {k: [] for k in energy}
    for residues in confs:
        full = everything[:first] + residues + everything[last + 1:]
        # Only residues with a backbone count; find the loop's rows among them.
        types, ca, cb = residue_points(full)
        keep = [i for i, r in enumerate(full) if all(a in r["atoms"] for a in ("N", "CA", "C"))]
        row = {i: j for j, i in enumerate(keep)}
        who = np.array([row[i] for i in range(first, first + len(residues)) if i in row], int)
        who = who[types[who] >= 0]
        for kind, e in energy.items():
            b = bin_of(counts(ca, cb, who, kind))
            out[kind].append(float(e[types[who], b].sum()))
    return {k: np.array(v) for k, v in out.items()}


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "derive":
        derive(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
