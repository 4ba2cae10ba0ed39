"""The mean backbone of the top cluster, as a bound on what a consensus model could reach
(measurement tool; docs/benchmark.md, "The mean of the top cluster").

For each finished loop: p is the written loop of lowest z (the program's prediction); its
cluster is the loops among the best n by z whose backbone RMSD (N, CA, C, O, no superposition)
to p is at most r, p included; the model is the unweighted mean of their backbone coordinates.
The anchors are fixed, so the mean keeps the loop's ends in place, but its bonds are shortened:
it is no chain, only a bound. Prints, per (n, r), the RMSD of the mean to the native beside z's
pick, per length group as well, and the largest bond-length error of the mean (median over loops).

Usage: /usr/bin/python3 tools/ranking/cluster_mean.py NAME=RUN_DIR:LOOP_TABLE_DIR[+RUN_DIR:LOOP_TABLE_DIR...] ...
"""

import statistics as st
import sys

import numpy as np

import ranking_rules as rr

VARIANTS = [(n, r) for n in (5, 10, 20) for r in (0.5, 1.0, 2.0)]
# Engh & Huber (1991) bond lengths, for the bond error of the mean.
BONDS = {"N-CA": 1.458, "CA-C": 1.525, "C-N": 1.329}


def cluster_mean(xyz, z, pair, n, r):
    """Mean of the rows of xyz (loops x atoms x 3) among the best n by z within r of the lowest z
    (pair: backbone RMSD between loops); returns (mean, member count)."""
    order = np.argsort(z, kind="stable")
    p = order[0]
    members = [i for i in order[:n] if pair[p, i] <= r]
    return xyz[members].mean(0), len(members)


def rmsd(a, b):
    return float(np.sqrt(((a - b) ** 2).sum(-1).mean()))


def bond_error(x):
    """Largest |length - ideal| over N-CA, CA-C and C-N of a backbone (residues x 4 atoms, N CA C O)."""
    nca = np.linalg.norm(x[:, 1] - x[:, 0], axis=1) - BONDS["N-CA"]
    cac = np.linalg.norm(x[:, 2] - x[:, 1], axis=1) - BONDS["CA-C"]
    cn = np.linalg.norm(x[1:, 0] - x[:-1, 2], axis=1) - BONDS["C-N"]
    return float(np.abs(np.concatenate([nca, cac, cn])).max())


def loop_rows(run_arg):
    """(length, RMSD of z's pick, [(RMSD of the mean, members, bond error) per variant]) per loop."""
    for _, _, loop in rr.each_finished_loop([run_arg]):
        native = loop["entry"][3]
        nat = np.array([[r["atoms"][a] for a in rr.BACKBONE] for r in native], float)
        xyz = loop["backbone"]
        pick = rr.by_z(loop)
        res = []
        for n, r in VARIANTS:
            mean, count = cluster_mean(xyz, loop["z"], loop["pair"], n, r)
            res.append((rmsd(mean, nat), count, bond_error(mean)))
        yield loop["length"], float(loop["rmsd"][pick]), res


def fmt(v):
    return "%.2f / %.2f, %d/%d" % (st.mean(v), st.median(v), sum(x < 1 for x in v), len(v))


def main(args):
    for arg in args:
        name, rest = arg.split("=", 1)
        rows = [row for part in rest.split("+") for row in loop_rows("x=" + part)]
        if not rows:
            sys.exit("cluster_mean: no analysed loop in " + rest)
        z = [row[1] for row in rows]
        print("%s (%d loops), z: %s (mean / median, below 1 A)" % (name, len(rows), fmt(z)))
        group = [rr.length_group(row[0]) for row in rows]
        groups = sorted(set(group))
        z_median = {g: st.median([x for x, h in zip(z, group) if h == g]) for g in groups}
        for k, (n, r) in enumerate(VARIANTS):
            v = [row[2][k][0] for row in rows]
            better = sum(y < x - 0.05 for x, y in zip(z, v))
            worse = sum(y > x + 0.05 for x, y in zip(z, v))
            per = " ".join("%s %.2f->%.2f" % (g, z_median[g], st.median([y for y, h in zip(v, group) if h == g]))
                           for g in groups)
            print("  n=%d r=%.1f: %s, gain %+.3f, better/worse %d/%d, members %.1f, bond error %.3f A; medians %s"
                  % (n, r, fmt(v), st.mean(z) - st.mean(v), better, worse, st.median([row[2][k][1] for row in rows]),
                     st.median([row[2][k][2] for row in rows]), per))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main(sys.argv[1:])
