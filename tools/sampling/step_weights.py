"""Weights of the growth-step ranking fitted to keep near-native partial chains (measurement tool).

A growth step ranks its children by S E6 + P E5 + T E1 + D E3 (side chains, pair energy, torsion,
distance to the far anchor; the program's weights are S, P, T, D = 1, 1, 10, 0; `-xstepw` sets
others).
On training loops whose native is the input, `lorvane -diag` writes every rankable child of every
step with its terms and its deviation from the native partial chain (output/CASE_S###.txt:
E0 .. E6, deviation, id). This tool

  collect OUTPUT_DIR NPZ      packs one run's step tables into NPZ (float32, one array a step);
  fit [--keep K] NPZ ...      scores a grid of (S, P, T, D) by how many of each step's 50 children
                              nearest the native rank within the best K (default 2000, the quick
                              population), mean over the steps of all loops, and prints the
                              classic weights, the best ones and a two-fold check (fitted on one
                              half of the loops, scored on the other).

Usage: /usr/bin/python3 tools/sampling/step_weights.py collect|fit ...
"""

import glob
import itertools
import os
import re
import sys

import numpy as np

NEAREST = 50
# the scale is free: the pair weight is 1, or 0 with side chains at 1
SIDE_CHAIN = (0.0, 0.125, 0.25, 0.5, 1.0)
TORSION = (0.0, 1.25, 2.5, 5.0, 10.0, 20.0)
DISTANCE = (-1.0, 0.0, 1.0, 2.0, 4.0, 8.0, 16.0, 32.0)
CLASSIC = (1.0, 1.0, 10.0, 0.0)
# columns of a step table
E1, E3, E5, E6, DEV = 1, 3, 5, 6, 7


def collect(output_dir, npz_path):
    steps = {}
    for path in sorted(glob.glob(os.path.join(output_dir, "*_S[0-9][0-9][0-9].txt"))):
        step = int(re.search(r"_S(\d{3})\.txt$", path).group(1))
        table = np.loadtxt(path, dtype=np.float64, ndmin=2)
        if table.shape[1] != 9:
            raise ValueError("%s: %d columns, expected 9 (E0 .. E6, deviation, id)" % (path, table.shape[1]))
        steps["s%d" % step] = table.astype(np.float32)
    if not steps:
        raise ValueError("%s: no step tables (*_S###.txt); was the run made with -diag?" % output_dir)
    np.savez_compressed(npz_path, **steps)


def load(npz_path):
    """The steps of one loop: (E1, E3, E5, E6, indices of the NEAREST children), largest first."""
    data = np.load(npz_path)
    steps = []
    for key in sorted(data.files, key=lambda k: int(k[1:])):
        t = data[key].astype(np.float64)
        if len(t) <= NEAREST:
            continue
        near = np.argpartition(t[:, DEV], NEAREST)[:NEAREST]
        steps.append((t[:, E1], t[:, E3], t[:, E5], t[:, E6], near))
    return steps


def recall(steps, weights, keep):
    """Mean share of each step's nearest children that rank within the best `keep`."""
    s, p, t, d = weights
    shares = []
    for e1, e3, e5, e6, near in steps:
        total = s * e6 + p * e5 + t * e1 + d * e3
        if len(total) <= keep:
            shares.append(1.0)
            continue
        cut = np.partition(total, keep - 1)[keep - 1]
        shares.append(float(np.mean(total[near] <= cut)))
    return float(np.mean(shares))


def grid():
    return ([(s, 1.0, t, d) for s, t, d in itertools.product(SIDE_CHAIN, TORSION, DISTANCE)] +
            [(1.0, 0.0, t, d) for t, d in itertools.product(TORSION, DISTANCE)])


def best_of(table, weights, which):
    """(mean recall, row) of the best grid weight set over the loops `which`: table holds the
    recall of weight set weights[row] in every loop (columns); row 0, the program's weights, is
    the reference, not a candidate. Ties go to the larger weights, as they always have."""
    return max((np.mean(table[j, which]), weights[j], j) for j in range(1, len(weights)))[::2]


def fit(args):
    keep = 2000
    if args and args[0] == "--keep":
        keep = int(args[1])
        args = args[2:]
    if not args:
        raise ValueError("fit needs step files")
    names = [os.path.basename(os.path.dirname(os.path.abspath(a))) or a for a in args]
    loops = [load(a) for a in args]
    # every weight set's recall in every loop, computed once for the fit, the check and the table
    weights = [CLASSIC] + grid()
    table = np.array([[recall(s, w, keep) for s in loops] for w in weights])
    every = np.arange(len(loops))
    random_share = np.mean([np.mean([min(1.0, keep / len(s[0])) for s in steps]) for steps in loops])
    score, best = best_of(table, weights, every)
    w = weights[best]
    print("loops %d, steps %d, keep %d" % (len(loops), sum(len(s) for s in loops), keep))
    print("random selection          recall %.3f" % random_share)
    print("classic S,P,T,D = %g,%g,%g,%g   recall %.3f" % (CLASSIC + (np.mean(table[0, every]),)))
    print("best    S,P,T,D = %g,%g,%g,%g   recall %.3f" % (w + (score,)))
    # two-fold check: fit on the even loops, score on the odd ones, and back
    for name, train, test in (("even->odd", every[0::2], every[1::2]), ("odd->even", every[1::2], every[0::2])):
        _, j = best_of(table, weights, train)
        print("%s: fitted %g,%g,%g,%g recall %.3f, classic %.3f" % ((name,) + weights[j] + (np.mean(table[j, test]), np.mean(table[0, test]))))
    print("per loop (classic -> best):")
    for k, n in enumerate(names):
        print("  %-20s %.3f -> %.3f" % (n, table[0, k], table[best, k]))


def main(args):
    if args[0] == "collect" and len(args) == 3:
        collect(args[1], args[2])
    elif args[0] == "fit":
        fit(args[1:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    try:
        main(sys.argv[1:])
    except (OSError, ValueError, KeyError) as exc:
        sys.exit("step_weights: %s" % exc)
