"""The written loops ranked with their backbone strain added to z (measurement tool).

The sampler draws the N-CA-C angle of grown residues, and the closure's angles and peptide
torsions, from the train-derived backbone angle table. For every written loop, G is its strain
against that table:
  G = sum over loop residues of ((N-CA-C - mean) / sd)^2 for the residue's type
    + sum over the peptide bonds before each loop residue and before the residue after the
      loop of ((omega - mean) / sd)^2 for the type of the residue after the bond
(omega difference wrapped to +-180 degrees; means and sds from the NCAC and OMEGA lines of
backbone_angles.txt). Rules, each (s - median) / MAD over the written loops as the program
normalises its scores:
  z          the program's ranking
  z+wG       z plus w times normalised G, w = 0.5, 1, 2
  G          normalised G alone
Prints the RMSD each rule picks (ranking_rules.print_picks) and the mean Spearman of G with RMSD.

Usage: /usr/bin/python3 tools/ranking/geometry_rules.py BACKBONE_ANGLES [--out TSV]
           NAME=RUN_DIR:LOOP_TABLE_DIR [NAME=RUN_DIR:LOOP_TABLE_DIR ...]
"""

import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import ranking_rules  # noqa: E402
from local_dfire_rules import loop_span  # noqa: E402
from neighbour_torsion_rules import dihedral  # noqa: E402


def read_angle_table(path):
    """{type: (mean, sd)} of the N-CA-C angle and of omega, from backbone_angles.txt."""
    ncac, omega = {}, {}
    with open(path) as fh:
        for line in fh:
            f = line.split()
            if len(f) >= 5 and f[0] in ("NCAC", "OMEGA"):
                (ncac if f[0] == "NCAC" else omega)[f[1]] = (float(f[3]), float(f[4]))
    if not ncac or not omega:
        raise ValueError("%s: no NCAC or OMEGA lines" % path)
    return ncac, omega


def bond_angle(a, b, c):
    u, v = np.asarray(a, float) - b, np.asarray(c, float) - b
    return float(np.degrees(np.arccos(np.clip(u @ v / np.linalg.norm(u) / np.linalg.norm(v), -1.0, 1.0))))


def strain(ncac, omega, before, loop, after):
    """G of the loop residues `loop` between the residue `before` and the residue `after`
    (residues as ranking_rules reads them: name and atoms by name)."""
    g = 0.0
    for r in loop:
        if r["name"] not in ncac:  # a type the table lacks adds no term
            continue
        mean, sd = ncac[r["name"]]
        g += ((bond_angle(r["atoms"]["N"], r["atoms"]["CA"], r["atoms"]["C"]) - mean) / sd) ** 2
    chain = [before] + loop + [after]
    for prev, r in zip(chain[:-1], chain[1:]):
        if r["name"] not in omega:
            continue
        mean, sd = omega[r["name"]]
        w = dihedral(prev["atoms"]["CA"], prev["atoms"]["C"], r["atoms"]["N"], r["atoms"]["CA"])
        g += (((w - mean + 180.0) % 360.0 - 180.0) / sd) ** 2
    return g


def main(args):
    ncac, omega = read_angle_table(args[0])
    args = args[1:]
    out_path = None
    while args and args[0].startswith("--"):
        if args[0] == "--out" and len(args) > 1:
            out_path, args = args[1], args[2:]
        else:
            raise ValueError("unknown option or missing value: %s" % args[0])
    rows = []
    for name, case, loop in ranking_rules.each_finished_loop(args, hbond=False):
        chain, first, last, confs = loop_span(loop["entry"])
        g = np.array([strain(ncac, omega, chain[first - 1], c["residues"], chain[last + 1]) for c in confs])
        rows.append(ranking_rules.fifth_score_row(name, case, loop, g, ranking_rules.z_within(loop["scores"], slice(0, len(confs)))))
    ranking_rules.print_fifth_score(rows, "G", out_path)


if __name__ == "__main__":
    ranking_rules.run_tool(main, __doc__, "geometry_rules")
