"""Halves grown apart and paired, against the coupled population (measurement tool).

For every loop of a loop table (the benchmark's columns: case_id, file, chain, start_pdbnum,
end_pdbnum, ...; structure files relative to the table), RUN_DIR holds three runs of
`bench_step_diagnostics ... -dumpkept STEP kept.txt` at the same size and seed:

  CASE.fwd/kept.txt   `-xforward`, STEP = K - 1   (the first K residues grown from the start)
  CASE.bwd/kept.txt   `-backgrow`, STEP = K - 1   (the last K residues grown from the end)
  CASE.alt/kept.txt   the program's alternating growth, STEP = 2 K - 1 (the same 2 K residues)

The deviation of a chain is over N, CA, C, O of those 2 K residues (K of each half), no
superposition. A pair (forward half i, backward half j) is feasible when the two growing ends,
CA(start + K) and CA(end - K), are at most --reach Å apart. The tool prints per loop: the best
coupled seed and its count within 1 Å; the best feasible pair and the count within 1 Å; the
feasible share of all pairs; the best and the count within 1 Å among the --keep feasible pairs of
lowest summed step energy (E6 + E5 + 10 E1, the growth step's ranking) whose halves keep 3 Å
apart; and the count within 1 Å expected from --keep feasible pairs drawn at random.

Usage: /usr/bin/python3 tools/sampling/half_pairs.py LOOPS.tsv RUN_DIR [--half 4] [--keep 2000]
"""

import argparse
import csv
import os
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "workflow", "scripts"))
import loopkit  # noqa: E402

TORSION_WEIGHT = 10.0  # the growth step's weight of the torsion term
CLASH = 3.0            # backbone atoms of the two halves closer than this: the pair is dropped
BACKBONE = ("N", "CA", "C", "O")


def read_kept(path, n):
    """Kept children of a dump: coordinates (children, n, 4, 3) and the step ranking energy."""
    coords, energy = [], []
    with open(path) as f:
        for line in f:
            if line.startswith("#"):
                continue
            v = line.split()
            e1, _e3, e5, e6 = map(float, v[1:5])
            energy.append(e6 + e5 + TORSION_WEIGHT * e1)
            coords.append(np.array(v[5:], float).reshape(n, 4, 3))
    return np.array(coords), np.array(energy)


def read_native(path, chain, start, end):
    """N, CA, C, O of the loop residues start..end, as the benchmark reads them."""
    loop = loopkit.loop_residues(loopkit.read_chain(path, chain), start, end)
    return np.array([[r["atoms"][a] for a in BACKBONE] for r in loop])


def measure(case, native, run_dir, k, keep, reach):
    n = len(native)
    fw, bw = slice(0, k), slice(n - k, n)
    xf, ef = read_kept(os.path.join(run_dir, case + ".fwd", "kept.txt"), n)
    xb, eb = read_kept(os.path.join(run_dir, case + ".bwd", "kept.txt"), n)
    xa, _ = read_kept(os.path.join(run_dir, case + ".alt", "kept.txt"), n)
    atoms = 2 * 4 * k

    def ssd(x, part):
        """Summed squared deviation from the native over one half, per chain."""
        return ((x[:, part] - native[part]) ** 2).sum(axis=(1, 2, 3))

    ssd_f, ssd_b = ssd(xf, fw), ssd(xb, bw)
    ssd_a = ssd(xa, fw) + ssd(xa, bw)
    coupled = np.sqrt(ssd_a / atoms)
    union = np.sqrt((ssd_f[:, None] + ssd_b[None, :]) / atoms)
    ends = np.linalg.norm(xf[:, k, 1][:, None, :] - xb[:, n - k - 1, 1][None, :, :], axis=2)
    feasible = ends <= reach
    summed = np.where(feasible, ef[:, None] + eb[None, :], np.inf)
    bb_f = xf[:, fw].reshape(len(xf), -1, 3)
    bb_b = xb[:, bw].reshape(len(xb), -1, 3)
    chosen = []
    for flat in np.argsort(summed, axis=None):
        i, j = divmod(int(flat), len(xb))
        if not feasible[i, j] or len(chosen) == keep:
            break
        if (np.linalg.norm(bb_f[i][:, None] - bb_b[j][None], axis=2) < CLASH).any():
            continue
        chosen.append(union[i, j])
    chosen = np.array(chosen)
    near = (union < 1.0) & feasible
    n_feasible = int(feasible.sum())
    return {
        "coupled": (coupled.min(), int((coupled < 1.0).sum())),
        "pairs": (union[feasible].min() if n_feasible else float("nan"), int(near.sum())),
        "share": n_feasible / union.size,
        "by_energy": (chosen.min() if len(chosen) else float("nan"), int((chosen < 1.0).sum())),
        "random": keep * near.sum() / max(n_feasible, 1),
    }


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("loops")
    ap.add_argument("run_dir")
    ap.add_argument("--half", type=int, default=4, help="residues per half (K)")
    ap.add_argument("--keep", type=int, default=2000, help="pairs a pairing stage would keep")
    ap.add_argument("--reach", type=float, default=11.0, help="largest distance of the growing ends (A)")
    a = ap.parse_args()
    base = os.path.dirname(os.path.abspath(a.loops))
    print("| loop | coupled seeds: best, < 1 Å | all feasible pairs: best, < 1 Å | feasible share "
          f"| {a.keep} pairs of lowest step energy: best, < 1 Å | {a.keep} random feasible pairs: < 1 Å expected |")
    print("|---|---|---|---|---|---|")
    with open(a.loops) as f:
        for row in csv.DictReader(f, delimiter="\t"):
            case = row["case_id"]
            if not os.path.exists(os.path.join(a.run_dir, case + ".alt", "kept.txt")):
                continue
            native = read_native(os.path.join(base, row["file"]), row["chain"], row["start_pdbnum"], row["end_pdbnum"])
            m = measure(case, native, a.run_dir, a.half, a.keep, a.reach)
            print(f"| {case} | {m['coupled'][0]:.2f}, {m['coupled'][1]} | {m['pairs'][0]:.2f}, {m['pairs'][1]:,} "
                  f"| {m['share']:.2f} | {m['by_energy'][0]:.2f}, {m['by_energy'][1]} | {m['random']:.1f} |")


if __name__ == "__main__":
    main()
