"""A residue-pair potential of backbone orientation, derived from the training structures
(measurement tool).

Each residue carries a frame from its N, CA and C: origin CA, ex along the bisector of CA->N and
CA->C, ez normal to their plane, ey = ez x ex. A pair of residues i, j of one chain, at least
MINSEP apart in the chain with CA-CA distance r below CUTOFF, falls in a cell of
  r (DIST_EDGES), the direction of CA_j in frame i (cos theta: 6 bins of equal solid angle,
  phi: 12 of 30 deg), the direction of CA_i in frame j (the same), and the dihedral
  (CA_i + ex_i, CA_i, CA_j, CA_j + ex_j) (12 of 30 deg).
Both orders of every pair are counted, so the table is symmetric. The energy of a cell is
-ln(P(angles | r) / uniform), P with one pseudo-count per angle cell: the potential says only how
residues face each other at a distance, which the distance-only DFIRE does not.

Usage:
  /usr/bin/python3 tools/ranking/orientation_potential.py derive TRAIN_DIR OUT.npz [--leave-out IDS_FILE]
(IDS_FILE: PDB ids, one a line, whose entries are not counted: those the table is measured on.)
"""

import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "workflow", "scripts"))
import loopkit  # noqa: E402

CUTOFF = 12.0
MINSEP = 3
DIST_EDGES = np.array([5.0, 6.0, 7.0, 8.0, 9.0, 10.0, 11.0])  # inner edges: 8 distance bins below CUTOFF
NCOS, NPHI, NCHI = 6, 12, 12
SHAPE = (len(DIST_EDGES) + 1, NCOS, NPHI, NCOS, NPHI, NCHI)
ANGLE_CELLS = NCOS * NPHI * NCOS * NPHI * NCHI


def backbone(residues):
    """(N, CA, C) coordinates of the residues that have all three, and their positions in the list."""
    keep = [q for q, r in enumerate(residues) if all(a in r["atoms"] for a in ("N", "CA", "C"))]
    xyz = np.array([[residues[q]["atoms"][a] for a in ("N", "CA", "C")] for q in keep], float).reshape(-1, 3, 3)
    return xyz, np.array(keep, int)


def frames(xyz):
    """Origin and axes (n x 3 x 3: ex, ey, ez) of each residue's frame."""
    ca = xyz[:, 1]
    a = xyz[:, 0] - ca
    b = xyz[:, 2] - ca
    a /= np.linalg.norm(a, axis=1)[:, None]
    b /= np.linalg.norm(b, axis=1)[:, None]
    ex = a + b
    ex /= np.linalg.norm(ex, axis=1)[:, None]
    ez = np.cross(a, b)
    ez /= np.linalg.norm(ez, axis=1)[:, None]
    ey = np.cross(ez, ex)
    return ca, np.stack([ex, ey, ez], axis=1)


def cells(ca, axes, i, j):
    """Flat cell index of each ordered pair (i[k], j[k])."""
    d = ca[j] - ca[i]
    r = np.linalg.norm(d, axis=1)
    u = d / np.maximum(r, 1e-9)[:, None]

    def direction(frame, v):
        c = np.einsum("nk,nk->n", frame[:, 2], v)
        phi = np.arctan2(np.einsum("nk,nk->n", frame[:, 1], v), np.einsum("nk,nk->n", frame[:, 0], v))
        cb = np.minimum(((c + 1.0) / 2.0 * NCOS).astype(int), NCOS - 1)
        pb = np.minimum(((phi + np.pi) / (2 * np.pi) * NPHI).astype(int), NPHI - 1)
        return cb, pb

    ci, pi_ = direction(axes[i], u)
    cj, pj = direction(axes[j], -u)
    # Dihedral of ex_i and ex_j about the CA-CA axis.
    xi = axes[i][:, 0] - np.einsum("nk,nk->n", axes[i][:, 0], u)[:, None] * u
    xj = axes[j][:, 0] - np.einsum("nk,nk->n", axes[j][:, 0], u)[:, None] * u
    chi = np.arctan2(np.einsum("nk,nk->n", np.cross(xi, xj), u), np.einsum("nk,nk->n", xi, xj))
    hb = np.minimum(((chi + np.pi) / (2 * np.pi) * NCHI).astype(int), NCHI - 1)
    rb = np.searchsorted(DIST_EDGES, r, side="right")
    return np.ravel_multi_index((rb, ci, pi_, cj, pj, hb), SHAPE)


def chain_pairs(ca, pos, mask_i=None):
    """Ordered pairs (i, j), i != j, at least MINSEP apart in the chain, CA-CA below CUTOFF;
    mask_i limits i."""
    d = np.sqrt(((ca[:, None, :] - ca[None, :, :]) ** 2).sum(2))
    ok = (d < CUTOFF) & (np.abs(pos[:, None] - pos[None, :]) >= MINSEP)
    if mask_i is not None:
        ok &= mask_i[:, None]
    return np.nonzero(ok)


def derive(train_dir, leave_out=()):
    counts = np.zeros(np.prod(SHAPE), np.int64)
    files = sorted(f for f in os.listdir(train_dir) if f.endswith(".pdb.gz"))
    used = 0
    for name in files:
        if name.split(".")[0].lower() in leave_out:
            continue
        residues = loopkit.read_structure(os.path.join(train_dir, name))
        for ch in sorted({r["chain"] for r in residues}):
            xyz, pos = backbone([r for r in residues if r["chain"] == ch])
            if len(pos) <= MINSEP:
                continue
            ca, axes = frames(xyz)
            i, j = chain_pairs(ca, pos)
            counts += np.bincount(cells(ca, axes, i, j), minlength=counts.size)
        used += 1
    return counts.reshape(SHAPE), used


def energy_table(counts):
    """-ln(P(angles | r) / uniform) with one pseudo-count per angle cell."""
    per_r = counts.reshape(SHAPE[0], -1)
    p = (per_r + 1.0) / (per_r.sum(1, keepdims=True) + ANGLE_CELLS)
    return (-np.log(p * ANGLE_CELLS)).reshape(-1)


def loop_energy(energy, residues, first, last):
    """Orientation energy of the residues first..last (positions in residues, one chain) with every
    other residue and with each other, each pair once."""
    xyz, pos = backbone(residues)
    ca, axes = frames(xyz)
    mine = (pos >= first) & (pos <= last)
    i, j = chain_pairs(ca, pos, mine)
    once = ~(mine[j] & (j < i))
    return float(energy[cells(ca, axes, i[once], j[once])].sum())


def main(args):
    if len(args) < 3 or args[0] != "derive":
        sys.exit(__doc__)
    leave_out = set()
    if "--leave-out" in args:
        k = args.index("--leave-out")
        with open(args[k + 1]) as fh:
            leave_out = {line.strip().lower() for line in fh if line.strip()}
    counts, used = derive(args[1], leave_out)
    np.savez_compressed(args[2], counts=counts)
    per_r = counts.reshape(SHAPE[0], -1).sum(1)
    print("%d entries, %d ordered pairs; per distance bin: %s" % (used, counts.sum(), " ".join(map(str, per_r))))


if __name__ == "__main__":
    main(sys.argv[1:])
