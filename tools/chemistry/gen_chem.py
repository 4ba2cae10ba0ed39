#!/usr/bin/python3
"""Writes data/atomProp2.txt and data/dipole.fress from chemdef.py.

Every template row (reference slots, bond length, bond angle, dihedral) is
measured from ideal coordinates built with the literature values in
chemdef.py; planar ring systems are first fitted in 2D (least squares,
sigma 0.01 A for bonds, 1 deg for angles) so that ring closures come out
consistent with the fitted ring.
"""
import itertools
import math
import sys

import numpy as np
from scipy.optimize import least_squares

import chemdef as cd

BB_NAMES = ["N", "CA", "C", "O", "H", "CB"]


def calco(A, B, C, d, theta_deg, tau_deg):
    th = math.radians(theta_deg)
    tau = math.radians(tau_deg)
    e = (C - B) / np.linalg.norm(C - B)
    u = A - B
    p = np.dot(u, e) * e
    n = (u - p) / np.linalg.norm(u - p)
    m = np.cross(e, n)
    return C + d * math.cos(math.pi - th) * e + d * math.sin(math.pi - th) * (math.cos(tau) * n + math.sin(tau) * m)


def dist(a, b):
    return float(np.linalg.norm(a - b))


def angle(a, b, c):
    u = a - b
    v = c - b
    cs = np.dot(u, v) / (np.linalg.norm(u) * np.linalg.norm(v))
    return math.degrees(math.acos(max(-1.0, min(1.0, cs))))


def dihedral(a, b, c, d):
    b1 = b - a
    b2 = c - b
    b3 = d - c
    n1 = np.cross(b1, b2)
    n2 = np.cross(b2, b3)
    x = np.dot(n1, n2)
    y = np.dot(np.cross(n1, n2), b2) / np.linalg.norm(b2)
    return math.degrees(math.atan2(y, x))


# ---------------------------------------------------------------- ring fit
def fit_ring(ring):
    names = []
    for b in ring["bonds"]:
        for n in b[:2]:
            if n not in names:
                names.append(n)
    idx = {n: i for i, n in enumerate(names)}
    # start: regular polygon-ish random layout, deterministic
    rng = np.random.default_rng(7)
    x0 = rng.normal(size=2 * len(names)) * 1.5

    def res(x):
        P = x.reshape(-1, 2)
        r = []
        for a, b, L in ring["bonds"]:
            r.append((np.linalg.norm(P[idx[a]] - P[idx[b]]) - L) / 0.01)
        for a, b, c, t in ring["angles"]:
            u = P[idx[a]] - P[idx[b]]
            v = P[idx[c]] - P[idx[b]]
            cs = np.dot(u, v) / (np.linalg.norm(u) * np.linalg.norm(v))
            r.append((math.degrees(math.acos(max(-1, min(1, cs)))) - t) / 1.0)
        return np.array(r)

    best = None
    starts = [rng.normal(size=2 * len(names)) * 1.5 for _ in range(40)]
    if "init" in ring:
        starts.insert(0, np.array([c for n in names for c in ring["init"][n]]))
    for x0 in starts:
        sol = least_squares(res, x0, xtol=1e-14, ftol=1e-14, gtol=1e-14, max_nfev=20000)
        if best is None or sol.cost < best.cost:
            best = sol
    P = best.x.reshape(-1, 2)
    P3 = {n: np.array([P[idx[n]][0], P[idx[n]][1], 0.0]) for n in names}
    return P3, res(best.x), best.cost


def frame(o, a, b):
    e1 = (a - o) / np.linalg.norm(a - o)
    v = b - o
    v = v - np.dot(v, e1) * e1
    e2 = v / np.linalg.norm(v)
    e3 = np.cross(e1, e2)
    return np.array([e1, e2, e3])


# ---------------------------------------------------------------- design
def design(code, chi_build=None, report=None):
    """Returns list of template rows [(name, vdw, refs(idx), L, ang, tor or 'chi')] and coords."""
    bb = cd.backbone(code)
    X = {}
    X["N"] = np.array([0.0, 0.0, 0.0])
    X["CA"] = np.array([bb["NCA"], 0.0, 0.0])
    t = math.radians(bb["NCAC"])
    X["C"] = X["CA"] + bb["CAC"] * np.array([-math.cos(t), math.sin(t), 0.0])
    X["O"] = calco(X["N"], X["CA"], X["C"], bb["CO"], bb["CACO"], 135.0 + 180.0)
    # amide H: placed from a virtual previous C in the plane (trans peptide)
    cprev = calco(X["C"], X["CA"], X["N"], bb["CN"], bb["CNCA"], -60.0)
    X["H"] = calco(X["CA"], cprev, X["N"], bb["NH"], bb["CNH"], 180.0)
    X["CB"] = calco(X["N"], X["C"], X["CA"], bb["CACB"], bb["CCACB"], cd.CB_TORSION)

    rows = []
    vdw_bb = {"N": 17 if code == "P" else 7, "CA": 19 if code == "G" else 3, "C": 1, "O": 14, "H": 22,
              "CB": 21 if code == "G" else (5 if code == "A" else (3 if code in "ITV" else 4))}
    rows.append(("N", vdw_bb["N"], ("O", "C", "CA"), bb["CN"], bb["CACN"], 180.0))
    rows.append(("CA", vdw_bb["CA"], ("O", "C", "N"), bb["NCA"], bb["CNCA"], 180.0))
    rows.append(("C", vdw_bb["C"], ("O", "N", "CA"), bb["CAC"], bb["NCAC"], -60.0))
    rows.append(("O", vdw_bb["O"], ("N", "CA", "C"), bb["CO"], bb["CACO"], 180.0))
    rows.append(("H", vdw_bb["H"], ("C", "CA", "N"), bb["NH"], bb["CNH"], 0.0))
    rows.append(("CB", vdw_bb["CB"], ("N", "C", "CA"), bb["CACB"], bb["CCACB"], cd.CB_TORSION))

    sc = cd.SC[code]
    ring = None
    if code in cd.RINGS:
        P2, resid, cost = fit_ring(cd.RINGS[code])
        ring = P2
        if report is not None:
            report.append((code, resid, cost))
    chis = list(chi_build) if chi_build else []
    k = 0
    for (name, vdw, refs, L, ang, tor) in sc:
        A, B, C = (X[r] for r in refs)
        if tor == "chi":
            tau = chis[k] if k < len(chis) else -60.0
            k += 1
        if L == "ring":
            if tor == "chi":
                L = dist(ring[refs[2]], ring[name])
                ang = angle(ring[refs[1]], ring[refs[2]], ring[name])
                X[name] = calco(A, B, C, L, ang, tau)
            else:
                # map the 2D ring into the plane of CB, CG and the chi-2 atom
                first = [s for s in sc if s[3] == "ring" and s[5] == "chi"][0][0]
                F2 = frame(ring["CG"], ring["CB"], ring[first])
                F3 = frame(X["CG"], X["CB"], X[first])
                loc = F2 @ (ring[name] - ring["CG"])
                X[name] = X["CG"] + F3.T @ loc
            rows.append((name, vdw, refs, None, None, "chi" if tor == "chi" else None))
            continue
        if isinstance(ang, tuple) and ang[0] == "bisect":
            ang = (360.0 - angle(B, C, X[ang[1]])) / 2.0
        if isinstance(tor, tuple) and tor[0] == "branch":
            aACD, sign = tor[1], tor[2]
            aACB = angle(A, C, B)
            cs = (math.cos(math.radians(aACD)) - math.cos(math.radians(aACB)) * math.cos(math.radians(ang))) / (
                math.sin(math.radians(aACB)) * math.sin(math.radians(ang)))
            tau = sign * math.degrees(math.acos(cs))
            X[name] = calco(A, B, C, L, ang, tau)
            assert abs(angle(A, C, X[name]) - aACD) < 1e-6
            rows.append((name, vdw, refs, None, None, None))
            continue
        if tor != "chi":
            tau = tor
        X[name] = calco(A, B, C, L, ang, tau)
        rows.append((name, vdw, refs, None, None, "chi" if tor == "chi" else None))

    # measure side-chain rows from the coordinates
    out = []
    names = [r[0] for r in rows]
    for j, (name, vdw, refs, L, ang, tor) in enumerate(rows):
        ri = tuple(names.index(r) for r in refs)
        if j >= 6:
            A, B, C = (X[r] for r in refs)
            D = X[name]
            L = dist(C, D)
            ang = angle(B, C, D)
            if tor != "chi":
                tor = dihedral(A, B, C, D)
                for clean in (0.0, 180.0, -180.0):
                    if abs(tor - clean) < 1e-3:
                        tor = abs(clean)
        out.append((name, vdw, ri, L, ang, tor))
    return out, X


# ---------------------------------------------------------------- template build
def build_from_template(rows, code, chis, psi=135.0, cbtor=cd.CB_TORSION):
    bb = cd.backbone(code)
    P = [None] * len(rows)
    P[0] = np.array([0.0, 0.0, 0.0])
    P[1] = np.array([bb["NCA"], 0.0, 0.0])
    t = math.radians(bb["NCAC"])
    P[2] = P[1] + bb["CAC"] * np.array([-math.cos(t), math.sin(t), 0.0])
    P[3] = calco(P[0], P[1], P[2], bb["CO"], bb["CACO"], psi + 180.0)
    cprev = calco(P[2], P[1], P[0], bb["CN"], bb["CNCA"], -60.0)
    P[4] = calco(P[1], cprev, P[0], bb["NH"], bb["CNH"], 180.0)
    P[5] = calco(P[0], P[2], P[1], bb["CACB"], bb["CCACB"], cbtor)
    k = 0
    for j in range(6, len(rows)):
        name, vdw, ri, L, ang, tor = rows[j]
        if tor == "chi":
            tau = chis[k]
            k += 1
        else:
            tau = tor
        P[j] = calco(P[ri[0]], P[ri[1]], P[ri[2]], L, ang, tau)
    return P


LAST_DFIRE = dict(zip(cd.CODES1, [5, 6, 8, 9, 11, 5, 10, 8, 9, 8, 8, 8, 7, 9, 11, 6, 7, 7, 14, 12]))
NUM_TOR = dict(zip(cd.CODES1, [0, 1, 2, 3, 2, 0, 2, 2, 4, 2, 3, 2, 2, 3, 4, 1, 1, 1, 2, 2]))
NUM_CHI = dict(zip(cd.CODES1, [0, 1, 2, 3, 2, 0, 2, 2, 4, 2, 3, 2, 2, 3, 4, 2, 2, 1, 2, 3]))


def pro_cb_torsion():
    """N-C-CA-CB dihedral that gives the EH91 proline angle N-CA-CB 103.0."""
    bb = cd.backbone("P")
    a, b, t = (math.radians(x) for x in (bb["NCAC"], bb["CCACB"], 103.0))
    return math.degrees(math.acos((math.cos(t) - math.cos(a) * math.cos(b)) / (math.sin(a) * math.sin(b))))


def pro_closure(rows, cbtor=cd.CB_TORSION):
    best = None
    for c1 in np.arange(-45, 45.01, 0.5):
        for c2 in np.arange(-50, 50.01, 0.5):
            P = build_from_template(rows, "P", [c1, c2], cbtor=cbtor)
            d = dist(P[7], P[0])
            a1 = angle(P[6], P[7], P[0])
            a2 = angle(P[7], P[0], P[1])
            s = ((d - cd.PRO_RING["CDN"]) / 0.01) ** 2 + ((a1 - cd.PRO_RING["CGCDN"]) / 1.0) ** 2 + (
                (a2 - cd.PRO_RING["CDNCA"]) / 1.0) ** 2
            if best is None or s < best[0]:
                best = (s, c1, c2, d, a1, a2)
    return best


def sizes(code, rows):
    """size, sc_size, sc_max_dis over a 30-degree chi grid (heavy atoms only)."""
    last = LAST_DFIRE[code]
    heavy = [j for j in range(last + 1) if j != 4 and not (code == "G" and j == 5)]
    nheavychi = sum(1 for j in range(6, last + 1) if rows[j][5] == "chi")
    nchi = sum(1 for j in range(6, len(rows)) if rows[j][5] == "chi")
    if code == "P":
        b = pro_closure(rows, pro_cb_torsion())
        grids = [[b[1], b[2]]]
    else:
        vals = list(range(-180, 180, 30))
        grids = [list(g) + [180.0] * (nchi - nheavychi) for g in itertools.product(vals, repeat=nheavychi)]
    size = scs = scmax = 0.0
    for chis in grids:
        P = build_from_template(rows, code, chis)
        H = np.array([P[j] for j in heavy])
        cen = H.mean(axis=0)
        size = max(size, max(dist(p, cen) for p in H))
        sc = [P[j] for j in range(5, last + 1) if not (code == "G")]
        if sc:
            scen = np.mean(sc, axis=0)
            scs = max(scs, max(dist(p, scen) for p in sc))
            scmax = max(scmax, max(dist(p, P[1]) for p in sc))
    return size, scs, scmax


SECTIONS = ["vdw_par", "atomtype", "atomDependency", "bondParameter", "residueSize", "torsionAngle",
            "functionalAtoms"]


def fmt(v, nd):
    s = ("%%.%df" % nd) % v
    if "." in s:
        s = s.rstrip("0").rstrip(".")
    if s == "-0":
        s = "0"
    return s


def main(outdir):
    report = []
    allrows = {}
    for code in cd.CODES1:
        rows, X = design(code, report=report)
        allrows[code] = rows
    # ---- self checks
    for code in cd.CODES1:
        rows = allrows[code]
        last = LAST_DFIRE[code]
        nchi = sum(1 for r in rows if r[5] == "chi")
        nheavy = sum(1 for j, r in enumerate(rows) if r[5] == "chi" and j <= last)
        assert nchi == NUM_CHI[code], (code, nchi)
        assert nheavy == NUM_TOR[code], (code, nheavy)
        assert len(rows) <= 30
        for j, r in enumerate(rows):
            heavy = not r[0].startswith("H")
            assert heavy == (j <= last and j != 4), (code, r[0])
            if j >= 6:
                assert max(r[2]) < j, (code, r[0])
    ringlog = []
    for code, resid, cost in report:
        ringlog.append("%s ring fit: max |resid| %.2f sigma, rms %.2f" % (code, np.max(np.abs(resid)),
                                                                          math.sqrt(np.mean(resid ** 2))))
    pro = pro_closure(allrows["P"])
    pro_real = pro_closure(allrows["P"], pro_cb_torsion())
    size_rows = {c: sizes(c, allrows[c]) for c in cd.CODES1}

    # ---- atomProp2.txt
    L = []
    c = L.append
    c("# LORVANE residue and atom templates (polar-hydrogen / united-atom model).")
    c("#")
    c("# A line whose second and third blank-separated words are a section name and a")
    c("# row count starts a section; every other line outside a section is a comment.")
    c("# Residue rows follow the type order A C D E F G H I K L M N P Q R S T V W Y.")
    c("# Atom slots: 0 N, 1 CA, 2 C, 3 O, 4 H (amide), 5 CB, then side-chain heavy atoms")
    c("# in PDB order, then the hydrogens on N and O (no hydrogens on carbon: CHARMM19).")
    c("# Glycine's slot 5 CB is a virtual atom (code 21) that input files never carry.")
    c("# Proline's slot 4 H is kept for the fixed slot order but never built.")
    c("#")
    c("# Geometry sources:")
    c("#  [EH01] Engh R.A. & Huber R. (2001) Structure quality and target parameters.")
    c("#         International Tables for Crystallography Vol. F, ch. 18.3, pp. 382-392;")
    c("#         backbone lengths/angles and the CA-CB bond (Ala, Gly, Pro, Ile/Thr/Val values).")
    c("#  [EH91] Engh R.A. & Huber R. (1991) Acta Cryst. A47:392-400, Table 3;")
    c("#         all side-chain bond lengths and angles.")
    c("#  [C19]  CHARMM19 polar-hydrogen parameters (param19/toph19): Brooks B.R. et al.")
    c("#         (1983) J. Comput. Chem. 4:187-217; Neria E., Fischer S. & Karplus M. (1996)")
    c("#         J. Chem. Phys. 105:1902-1921. X-H lengths N-H 0.98, O-H 0.96, Lys")
    c("#         NZ-HZ 1.04, Arg N-H 1.00; van der Waals radius (Rmin/2) and well depth |emin|.")
    c("#  [EEF1] Lazaridis T. & Karplus M. (1999) Proteins 35:133-152, Table 1:")
    c("#         solvation volume, correlation length lambda and dG-free per atom class.")
    c("#  Hydrogen angles are idealised: trigonal H on the exterior bisector (120 deg")
    c("#  at NH2 groups), tetrahedral 109.5 deg at O-H and Lys NZ; amide H of residue")
    c("#  i in the C(i-1)-N-CA plane, C(i-1)-N-H = (360 - C(i-1)-N-CA)/2.")
    c("#")
    c("# Backbone rows (slots 0-5) hold what the backbone builders read:")
    c("#  N: C(prev)-N [EH01 1.336], angle CA(prev)-C(prev)-N [117.2]")
    c("#  CA: N-CA [EH01 1.459], angle C(prev)-N-CA [121.7]")
    c("#  C: CA-C [EH01 1.525], angle N-CA-C [EH91 111.2]")
    c("#  N, CA, C and O take the same values in every residue type: the sampler builds")
    c("#  its candidate backbones with one geometry and rebuilds committed residues from")
    c("#  their own rows, so the two must agree (Gly/Pro-specific values differ by")
    c("#  0.01 A and 2 deg, within the spread of real structures).")
    c("#  O: C-O [1.229], angle CA-C-O [120.1]; H: N-H [C19 0.98], angle C(prev)-N-H")
    c("#  CB: CA-CB [1.530; Ala 1.520; Ile/Thr/Val 1.540], angle C-CA-CB [110.4; Ala 110.1;")
    c("#      Ile/Thr/Val 109.1], dihedral N-C-CA-CB 122.55 deg (fixed by the builders).")
    c("# Reference slots of rows 0-4 are nominal; only their third slot (the bonded atom)")
    c("# is used. Their dihedrals are not read (the builders supply phi/psi/omega).")
    c("#")
    c("# Side-chain rows: reference slots (A, B, C), C bonded to the atom; the atom D is")
    c("# placed with |C-D| = length, angle B-C-D, dihedral A-B-C-D. -1234 marks a free")
    c("# dihedral (chi); the hydroxyl H of Ser, Thr and Tyr is placed by an extra chi.")
    c("# Lengths and angles of branched and ring atoms are measured from ideal coordinates")
    c("# built from [EH91] values; the planar rings of Phe, Tyr, His and Trp were first")
    c("# fitted in 2D by least squares to the ring bonds (sigma 0.01 A) and angles")
    c("# (sigma 1 deg), so that the ring-closing bonds come out at their fitted length.")
    c("# Ring targets: [EH91] for Phe, Tyr, Trp; His: medians of the training set")
    c("# (Top8000-hom70 chains; CG-ND1 1.379, ND1-CE1 1.322, CE1-NE2 1.321, NE2-CD2")
    c("# 1.374, CD2-CG 1.354 A; ring angles at CG 106.2, ND1 109.3, CE1 108.4, NE2 108.9,")
    c("# CD2 107.2 deg), a symmetric imidazole geometry that closes exactly. Fit quality:")
    for s in ringlog:
        c("#  " + s)
    c("#  Pro ([EH91] CD-N 1.473 A, CG-CD-N 103.2, CD-N-CA 112.0 deg): on a CB with the")
    c("#  [EH91] N-CA-CB of 103.0 deg the ring closes with CD-N %.3f A, CG-CD-N %.1f," % (pro_real[3], pro_real[4]))
    c("#  CD-N-CA %.1f deg (chi1 %.1f, chi2 %.1f). The builders' CB dihedral of 122.55 deg" % (pro_real[5], pro_real[1], pro_real[2]))
    c("#  opens N-CA-CB to about 110 deg; on such a CB the best closure is CD-N %.3f A," % pro[3])
    c("#  CG-CD-N %.1f, CD-N-CA %.1f deg (chi1 %.1f, chi2 %.1f)." % (pro[4], pro[5], pro[1], pro[2]))
    c("# Cross-check: every template bond length and angle lies within 0.015 A and 1.5 deg")
    c("# of the median over the training set's Top8000-hom70 chains, and every fixed")
    c("# side-chain dihedral within 3 deg of its circular mean (Ile/Thr/Val/Leu branch")
    c("# sides included); the one exception is the proline CB dihedral (122.55 vs 115.1).")
    c("# His is the neutral HE2 tautomer (ND1 class NR, NE2 class NH1), the more common")
    c("# one in proteins. Cys carries no HG (united SH1E atom, as in CHARMM19).")
    c("#")
    c("# Van der Waals type codes (vdw_par row k = code k). Heavy classes follow CHARMM19:")
    for k in sorted(cd.VDW):
        v = cd.VDW[k]
        c("#  %2d %-5s (%s) %s" % (k, v[0], v[1], v[10]))
    c("# OXT gets code 20 and the extra N-terminal hydrogens code 23 from the PDB reader.")
    c("# vdw_par columns: radius (C19 Rmin/2, A), well depth (C19 |emin|, kcal/mol),")
    c("# volume (EEF1, A^3), lambda (EEF1, A), dG-free (EEF1, kcal/mol), acceptor, donor,")
    c("# polar-H flags. Codes 15, 18 and 19 copy the parameters of CHARMM19 O, C and")
    c("# CH2E (CHARMM19 gives CH2G the CH2E values). Code 21 is a zero placeholder.")
    c("# Hydrogens carry no EEF1 solvation (volume and dG-free 0).")
    c("#")
    c("# residueSize: size = largest distance of a heavy atom from the heavy-atom centre")
    c("# of the residue, sc_size = largest distance of a side-chain heavy atom (CB")
    c("# onwards) from their centre, sc_max_dis = largest CA distance of a side-chain")
    c("# heavy atom; each the maximum over all chi angles on a 30-degree grid, residues")
    c("# built from these templates (Pro: the closed ring above; Gly: 0 for side chain).")
    c("# OPLS type codes (third number of each atomtype triple) are not used: all 0.")
    c("#")

    # vdw_par
    c("SECTION vdw_par %d" % len(cd.VDW))
    for k in sorted(cd.VDW):
        v = cd.VDW[k]
        c("%.3f, %.4f, %.1f, %.1f, %.2f, %d %d %d" % (v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]))
    c("#")
    c("# atomtype: code, name, then (atom, vdw code, OPLS code) per slot")
    c("SECTION atomtype 20")
    for i, code in enumerate(cd.CODES1):
        toks = [code, cd.NAME3[i]]
        for r in allrows[code]:
            toks += [r[0], str(r[1]), "0"]
        c(" ".join(toks))
    c("#")
    c("# atomDependency: name, code, then (atom, slot A, slot B, slot C) per slot")
    c("SECTION atomDependency 20")
    for i, code in enumerate(cd.CODES1):
        toks = [cd.NAME3[i], code]
        for r in allrows[code]:
            toks += [r[0]] + [str(x) for x in r[2]]
        c(" ".join(toks))
    c("#")
    c("# bondParameter: name, code, then (atom, length C-D in A, angle B-C-D in deg)")
    c("SECTION bondParameter 20")
    for i, code in enumerate(cd.CODES1):
        toks = [cd.NAME3[i], code]
        for r in allrows[code]:
            toks += [r[0], fmt(r[3], 4), fmt(r[4], 3)]
        c(" ".join(toks))
    c("#")
    c("# residueSize: code, then size, sc_size and sc_max_dis in A")
    c("SECTION residueSize 20")
    for i, code in enumerate(cd.CODES1):
        s = size_rows[code]
        c("%s size %.2f sc_size %.2f sc_max_dis %.2f" % (code, s[0], s[1], s[2]))
    c("#")
    c("# torsionAngle: name, code, then (atom, dihedral A-B-C-D in deg or -1234)")
    c("SECTION torsionAngle 20")
    for i, code in enumerate(cd.CODES1):
        toks = [cd.NAME3[i], code]
        for r in allrows[code]:
            toks += [r[0], "-1234" if r[5] == "chi" else fmt(r[5], 3)]
        c(" ".join(toks))
    c("#")
    c("# functionalAtoms: code, name, functional-group atoms")
    c("SECTION functionalAtoms 20")
    for i, code in enumerate(cd.CODES1):
        c(" ".join([code, cd.NAME3[i]] + cd.FUNC[code]))

    # comment safety: no non-row line may look like a section header
    for line in L:
        if line.startswith("SECTION"):
            continue
        t = line.split()
        if len(t) >= 3 and t[1] in SECTIONS:
            try:
                int(t[2])
                raise SystemExit("line looks like a header: " + line)
            except ValueError:
                pass
        assert "\t" not in line and len(line) < 1000
    with open(outdir + "/atomProp2.txt", "w") as f:
        f.write("\n".join(L) + "\n")

    # ---- dipole.fress
    D = []
    d = D.append
    d("# LORVANE polar/functional-group records for the OSCAR-style side-chain term.")
    d("# One RES record per residue type in the order A C D E F G H I K L M N P Q R S T V W Y.")
    d("# ATO lines: template slot, neighbour count, neighbour slots (heavy atoms of the")
    d("# same residue), class. Planar classes C, CG, N2 list two neighbours that span")
    d("# the group plane. Classes: C3 methyl, C2 methylene, C1 methine, CR aromatic C,")
    d("# C carbonyl/amide C, CG carboxylate/guanidinium C, O carbonyl O, OC carboxylate O,")
    d("# OG hydroxyl O, N2 NH2 N (amide, Arg NH1/NH2), NE N with two heavy neighbours")
    d("# (backbone N, Pro N, Arg NE, His ND1/NE2, Trp NE1), N3 Lys NZ, SG Cys SG,")
    d("# SD Met SD. HC and H are unused (hydrogens are not group atoms).")
    for i, code in enumerate(cd.CODES1):
        rows = allrows[code]
        names = [r[0] for r in rows]
        d("RES %s" % cd.NAME3[i])
        last = LAST_DFIRE[code]
        slots = [0, 2, 3] + ([5] if code != "G" else []) + list(range(6, last + 1))
        for j in slots:
            nm = names[j]
            if nm in cd.DIPOLE_BB:
                lab, nb = cd.DIPOLE_BB[nm]
                if code == "P" and nm == "N":
                    nb = ["CA", "CD"]
            else:
                lab, nb = cd.DIPOLE_SC[code][nm]
            assert lab in ("C3", "SG", "C2", "SD", "C1", "CG", "CR", "OC", "N3", "HC", "OG", "H", "N2", "NE",
                           "C", "O")
            if lab in ("C", "CG", "N2"):
                assert len(nb) == 2
            assert 1 <= len(nb) <= 3
            nbs = [names.index(x) for x in nb]
            d("ATO %4d%4d %s %s" % (j, len(nbs), " ".join(str(x) for x in nbs), lab))
    for line in D:
        assert len(line) < 99
    with open(outdir + "/dipole.fress", "w") as f:
        f.write("\n".join(D) + "\n")

    for s in ringlog:
        print(s)
    print("Pro closure (builder CB)", pro)
    print("Pro closure (EH91 CB)", pro_real)
    for code in cd.CODES1:
        print(code, "sizes %.2f %.2f %.2f" % size_rows[code])


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
