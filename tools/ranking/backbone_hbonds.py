"""Backbone hydrogen-bond energy of a loop in its frame (measurement tool).

The electrostatic model of DSSP (Kabsch & Sander, Biopolymers 22:2577, 1983):
E = 0.084 * 332 * (1/r_ON + 1/r_CH - 1/r_OH - 1/r_CN) kcal/mol for the N-H of one
residue and the C=O of another, H placed 1.0 A from N opposite the previous residue's
C=O; a pair counts as a bond below -0.5 kcal/mol, and E is floored at -9.9 as DSSP does.
The loop's energy sums every bond with the loop on at least one side (residues at
least two apart; the N-H after the loop counts as the loop's, its H follows the loop)."""

import numpy as np

CUTOFF = -0.5
FLOOR = -9.9


def _groups(residues):
    """Donors (residue index, N, H) and acceptors (residue index, C, O) of a residue list
    in chain order; proline and a residue after a missing C=O give no donor."""
    don_i, don_n, don_h, acc_i, acc_c, acc_o = [], [], [], [], [], []
    for i, res in enumerate(residues):
        atoms = res["atoms"]
        if "C" in atoms and "O" in atoms:
            acc_i.append(i)
            acc_c.append(atoms["C"])
            acc_o.append(atoms["O"])
        if i == 0 or res["name"] == "PRO" or "N" not in atoms:
            continue
        prev = residues[i - 1]["atoms"]
        if "C" not in prev or "O" not in prev:
            continue
        n = np.array(atoms["N"], float)
        co = np.array(prev["C"], float) - np.array(prev["O"], float)
        don_i.append(i)
        don_n.append(n)
        don_h.append(n + co / np.linalg.norm(co))
    arr = lambda v: np.array(v, float).reshape(-1, 3)
    return (np.array(don_i, int), arr(don_n), arr(don_h)), (np.array(acc_i, int), arr(acc_c), arr(acc_o))


def _dist(p, q):
    return np.sqrt(((p[:, None, :] - q[None, :, :]) ** 2).sum(-1))


def loop_energy(residues, first, last):
    """Energy (kcal/mol) of the bonds that involve residues[first..last]. Residues must be
    in chain order; a chain break makes at most one spurious donor, as in DSSP."""
    (di, n, h), (ai, c, o) = _groups(residues)
    if len(di) == 0 or len(ai) == 0:
        return 0.0
    # The residue after the loop donates through the loop's last C=O: its H moves with the loop.
    in_d = (di >= first) & (di <= last + 1)
    in_a = (ai >= first) & (ai <= last)
    # Loop donors with every acceptor, then the other donors with loop acceptors: each
    # pair once, and no frame-frame pair is computed.
    return _block(di[in_d], n[in_d], h[in_d], ai, c, o) + \
        _block(di[~in_d], n[~in_d], h[~in_d], ai[in_a], c[in_a], o[in_a])


def _block(di, n, h, ai, c, o):
    if len(di) == 0 or len(ai) == 0:
        return 0.0
    e = 0.084 * 332.0 * (1 / _dist(n, o) + 1 / _dist(h, c) - 1 / _dist(h, o) - 1 / _dist(n, c))
    use = (np.abs(di[:, None] - ai[None, :]) >= 2) & (e < CUTOFF)
    return float(np.where(use, np.maximum(e, FLOOR), 0.0).sum())
