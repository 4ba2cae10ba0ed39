#!/usr/bin/python3
"""Sanity check only: compares template geometry with mean values measured in
the high-quality (Top8000 hom70) chains of the training set."""
import collections
import gzip
import math
import sys

import gemmi
import numpy as np

import os
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_chem as g
import chemdef as cd

TRAIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../../shared/structures/train/")


def parse_template(path):
    sec = None
    n = 0
    T = {}
    lines = open(path).read().split("\n")
    i = 0
    res = collections.defaultdict(dict)
    while i < len(lines):
        t = lines[i].split()
        if len(t) >= 3 and t[1] in g.SECTIONS and t[2].lstrip("-").isdigit():
            sec = t[1]
            n = int(t[2])
            for k in range(n):
                i += 1
                tok = lines[i].split(" ")
                if sec == "atomtype":
                    code = tok[0]
                    res[code]["names"] = tok[2::3]
                elif sec == "atomDependency":
                    code = tok[1]
                    res[code]["refs"] = [tuple(int(x) for x in tok[3 + 4 * j:6 + 4 * j]) for j in range((len(tok) - 2) // 4)]
                elif sec == "bondParameter":
                    code = tok[1]
                    res[code]["L"] = [float(x) for x in tok[3::3]]
                    res[code]["ang"] = [float(x) for x in tok[4::3]]
                elif sec == "torsionAngle":
                    code = tok[1]
                    res[code]["tor"] = [float(x) for x in tok[3::2]]
        i += 1
    return res


def main():
    T = parse_template(sys.argv[1])
    chains = set()
    for line in open(TRAIN + "chains.tsv").read().split("\n")[1:]:
        if line.strip():
            f = line.split("\t")
            if f[4] == "yes":
                chains.add((f[0], f[1]))
    obs = collections.defaultdict(list)
    ids = sorted({c[0] for c in chains})
    for pid in ids:
        st = gemmi.read_structure(TRAIN + pid + ".pdb.gz")
        for ch in st[0]:
            if (pid, ch.name) not in chains:
                continue
            prev = None
            for r in ch:
                code = gemmi.find_tabulated_residue(r.name)
                if code is None or not code.is_amino_acid():
                    prev = None
                    continue
                c1 = code.one_letter_code.upper()
                if c1 not in T:
                    prev = None
                    continue
                X = {}
                for a in r:
                    if a.name not in X:
                        X[a.name] = np.array([a.pos.x, a.pos.y, a.pos.z])
                names = T[c1]["names"]
                # peptide link
                if prev is not None and "C" in prev and "N" in X and "CA" in prev and g.dist(prev["C"], X["N"]) < 1.5:
                    obs[(c1, "N", "L")].append(g.dist(prev["C"], X["N"]))
                    obs[(c1, "N", "A")].append(g.angle(prev["CA"], prev["C"], X["N"]))
                    if "CA" in X:
                        obs[(c1, "CA", "A")].append(g.angle(prev["C"], X["N"], X["CA"]))
                    if c1 == "P" and "CD" in X:
                        obs[(c1, "Cprev-N-CD", "A")].append(g.angle(prev["C"], X["N"], X["CD"]))
                bbpairs = [("CA", "N", "CA", "L"), ("C", "CA", "C", "L"), ("O", "C", "O", "L"), ("CB", "CA", "CB", "L")]
                for key, a, b, _ in bbpairs:
                    if a in X and b in X:
                        obs[(c1, key, "L")].append(g.dist(X[a], X[b]))
                for key, a, b, c in [("C", "N", "CA", "C"), ("O", "CA", "C", "O"), ("CB", "C", "CA", "CB"),
                                     ("N-CA-CB", "N", "CA", "CB")]:
                    if all(x in X for x in (a, b, c)):
                        obs[(c1, key, "A")].append(g.angle(X[a], X[b], X[c]))
                if all(x in X for x in ("N", "C", "CA", "CB")):
                    obs[(c1, "CB", "T")].append(g.dihedral(X["N"], X["C"], X["CA"], X["CB"]))
                if c1 == "P" and all(x in X for x in ("N", "CA", "CG", "CD")):
                    obs[(c1, "CD-N", "L")].append(g.dist(X["CD"], X["N"]))
                    obs[(c1, "CG-CD-N", "A")].append(g.angle(X["CG"], X["CD"], X["N"]))
                    obs[(c1, "CD-N-CA", "A")].append(g.angle(X["CD"], X["N"], X["CA"]))
                for j in range(6, len(names)):
                    nm = names[j]
                    if nm not in X:
                        continue
                    ra = [names[k] for k in T[c1]["refs"][j]]
                    if not all(x in X for x in ra):
                        continue
                    A, B, C = (X[x] for x in ra)
                    obs[(c1, nm, "L")].append(g.dist(C, X[nm]))
                    obs[(c1, nm, "A")].append(g.angle(B, C, X[nm]))
                    if T[c1]["tor"][j] != -1234:
                        obs[(c1, nm, "T")].append(g.dihedral(A, B, C, X[nm]))
                prev = X
    # compare
    print("%-4s %-12s %s %9s %9s %7s %6s" % ("res", "atom", "q", "template", "train", "sd", "n"))
    for code in cd.CODES1:
        names = T[code]["names"]
        for (c, nm, q), v in sorted(obs.items()):
            if c != code:
                continue
            v = np.array(v)
            if q == "T":
                m = math.degrees(math.atan2(np.mean(np.sin(np.radians(v))), np.mean(np.cos(np.radians(v)))))
                sd = float(np.std(((v - m + 180) % 360) - 180))
            else:
                m = float(np.median(v))
                sd = float(np.std(v))
            tv = None
            if nm in names:
                j = names.index(nm)
                tv = {"L": T[code]["L"][j], "A": T[code]["ang"][j], "T": T[code]["tor"][j]}[q]
                if q == "T" and j < 5:
                    tv = None
            flag = ""
            if tv is not None:
                dv = tv - m
                if q == "T":
                    dv = ((dv + 180) % 360) - 180
                lim = {"L": 0.015, "A": 1.5, "T": 3.0}[q]
                if abs(dv) > lim:
                    flag = "  <-- %+.3f" % dv
            print("%-4s %-12s %s %9s %9.3f %7.3f %6d%s" % (code, nm, q, "%.3f" % tv if tv is not None else "-", m, sd, len(v), flag))


main()
