"""How closely native and written loops pack against the protein (measurement tool).

For every loop of a finished workflow run: heavy-atom contacts (pairs within 4.5 A) between the
loop and the frame, for the native loop and the median written loop; and, summed over the run,
the pairs and the energy per pair in distance shells, under the sampling pair table
(QUENDApair.lib, kT, 0.1 A^2 bins) and under DFIRE (dfire_pair.lib, kcal/mol, 0.5 A bins).
The frame is the chain less the loop and its two anchor residues, so that no pair across a
peptide bond counts. Written loops are every 50th of the result file.

usage: frame_contacts.py RUN_DIR TABLE DATA_DIR

RUN_DIR   a finished run of the workflow benchmark (RUN_DIR/loops/<id>/<id>.txt, conformations.tsv)
TABLE     its loop table (structure paths relative to it)
DATA_DIR  the program's tables
Debian's /usr/bin/python3 (numpy).
"""
import os
import statistics
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "workflow", "scripts"))
import loopkit  # noqa: E402

SHELLS = (0.0, 3.5, 4.5, 5.5, 6.5, 7.5, 8.0)
CONTACT = 4.5


def sampling_bin(d):
    return min(int(d * d * 10.0), 639)


def dfire_bin(d):
    return min(int(d / 0.5), 29)


def atoms_of(residues):
    """(types, coordinates) of the heavy atoms, OXT left out."""
    types, xyz = [], []
    for r in residues:
        for name, p in r["atoms"].items():
            if name != "OXT":
                types.append(r["name"] + " " + name)
                xyz.append(p)
    return types, np.array(xyz, dtype=float).reshape(-1, 3)


def contacts(loop, frame, cut=CONTACT):
    d = np.linalg.norm(loop[1][:, None, :] - frame[1][None, :, :], axis=2)
    return int((d < cut).sum())


def shell_sums(loop, frame, table, bin_of):
    """Pairs and summed energy per shell of SHELLS (pairs of unknown types count as pairs only)."""
    n = np.zeros(len(SHELLS) - 1)
    e = np.zeros(len(SHELLS) - 1)
    d = np.linalg.norm(loop[1][:, None, :] - frame[1][None, :, :], axis=2)
    for i, j in zip(*np.nonzero(d < SHELLS[-1])):
        s = int(np.searchsorted(SHELLS, d[i, j], side="right")) - 1
        n[s] += 1
        v = table.get((loop[0][i], frame[0][j]))
        if v is not None:
            e[s] += min(v[bin_of(d[i, j])], 100.0)
    return n, e


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    run, table_path, data = argv
    tables = ((loopkit.read_pair_table(os.path.join(data, "QUENDApair.lib"), 640), sampling_bin),
              (loopkit.read_pair_table(os.path.join(data, "dfire_pair.lib"), 30), dfire_bin))
    base = os.path.dirname(os.path.abspath(table_path))
    k = len(SHELLS) - 1
    tot = {w: [np.zeros(k), np.zeros(k), np.zeros(k)] for w in ("native", "written")}
    print("case_id\tnative_contacts\twritten_median_contacts\tratio\tbest_rmsd")
    for row in loopkit.read_tsv(table_path)[1]:
        cid = row["case_id"]
        d = os.path.join(run, "loops", cid)
        result = os.path.join(d, cid + ".txt")
        if not os.path.exists(result):
            continue
        confs = loopkit.read_results(result)
        rmsd = [float(c["rmsd"]) for c in loopkit.read_tsv(os.path.join(d, "conformations.tsv"))[1]]
        chain = loopkit.read_chain(os.path.join(base, row["file"]), loopkit.pdb_chain(row["chain"]))
        native = loopkit.loop_residues(chain, row["start_pdbnum"], row["end_pdbnum"])
        first = next(i for i, r in enumerate(chain) if r is native[0])
        frame = atoms_of(chain[:max(0, first - 1)] + chain[first + len(native) + 1:])
        nat = atoms_of(native)
        written = [atoms_of(c["residues"]) for c in confs]
        cn = contacts(nat, frame)
        cw = statistics.median(contacts(w, frame) for w in written)
        print("%s\t%d\t%g\t%.2f\t%.3f" % (cid, cn, cw, cn / cw if cw else float("nan"), min(rmsd)))
        sample = written[::50]
        for who, loops in (("native", [nat]), ("written", sample)):
            for loop in loops:
                for t, (tab, bin_of) in enumerate(tables):
                    n, e = shell_sums(loop, frame, tab, bin_of)
                    if t == 0:
                        tot[who][0] += n / len(loops)
                    tot[who][1 + t] += e / len(loops)
    print("\nshell (A)\t" + "\t".join("%g-%g" % (a, b) for a, b in zip(SHELLS, SHELLS[1:])))
    for who in ("native", "written"):
        n, es, ed = tot[who]
        print(who + " pairs\t" + "\t".join("%.0f" % x for x in n))
        print(who + " sampling kT/pair\t" + "\t".join("%.3f" % x for x in es / np.maximum(n, 1)))
        print(who + " DFIRE kcal/pair\t" + "\t".join("%.3f" % x for x in ed / np.maximum(n, 1)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
