"""Residue template definitions for data/atomProp2.txt (literature values).

Sources
  EH01  Engh & Huber (2001), Int. Tables for Crystallography Vol. F, ch. 18.3,
        Table 18.3.2.2 (backbone, CA-CB and the angles at CA).
  EH91  Engh & Huber (1991), Acta Cryst. A47:392-400, Table 3 (side chains).
  C19   CHARMM19 param19 polar-hydrogen force field (Brooks et al. 1983,
        J. Comput. Chem. 4:187; Neria, Fischer & Karplus 1996, J. Chem. Phys.
        105:1902): X-H bond lengths, van der Waals radius (Rmin/2) and emin.
  EEF1  Lazaridis & Karplus (1999), Proteins 35:133-152, Table 1.
  IDEAL idealised sp2 (exterior-angle bisector / 120 deg) and sp3 (109.5 deg)
        hydrogen geometry.
"""

CODES1 = "ACDEFGHIKLMNPQRSTVWY"
NAME3 = ["ALA", "CYS", "ASP", "GLU", "PHE", "GLY", "HIS", "ILE", "LYS", "LEU",
         "MET", "ASN", "PRO", "GLN", "ARG", "SER", "THR", "VAL", "TRP", "TYR"]

# ---- van der Waals / solvation classes -------------------------------------
# code: (label, CHARMM19 type, Rmin/2, |emin|, EEF1 volume, lambda, dGfree,
#        acceptor, donor, hbondH, description)
VDW = {
    1: ("C", "C", 2.100, 0.1200, 14.7, 3.5, 0.00, 0, 0, 0, "backbone carbonyl C"),
    2: ("CR", "CR", 2.100, 0.1200, 8.3, 3.5, -1.40, 0, 0, 0, "aromatic C without H"),
    3: ("CH1E", "CH1E", 2.365, 0.0486, 23.7, 3.5, -0.25, 0, 0, 0, "methine C (CA, Ile/Thr/Val CB, Leu CG)"),
    4: ("CH2E", "CH2E", 2.235, 0.1142, 22.4, 3.5, 0.52, 0, 0, 0, "methylene C"),
    5: ("CH3E", "CH3E", 2.165, 0.1811, 30.0, 3.5, 1.50, 0, 0, 0, "methyl C"),
    6: ("CR1E", "CR1E", 2.100, 0.1200, 18.4, 3.5, 0.08, 0, 0, 0, "aromatic CH"),
    7: ("NH1", "NH1", 1.600, 0.2384, 4.4, 3.5, -8.90, 0, 1, 0, "N with one H (backbone N, His NE2, Trp NE1)"),
    8: ("S", "S", 1.890, 0.0430, 14.7, 3.5, -4.10, 0, 0, 0, "thioether S (Met SD)"),
    9: ("NR", "NR", 1.600, 0.2384, 4.4, 3.5, -4.00, 1, 0, 0, "aromatic N without H (His ND1)"),
    10: ("NH2", "NH2", 1.600, 0.2384, 11.2, 3.5, -7.80, 0, 1, 0, "amide NH2 (Asn ND2, Gln NE2)"),
    11: ("NH3", "NH3", 1.600, 0.2384, 11.2, 6.0, -18.00, 0, 1, 0, "ammonium N (Lys NZ)"),
    12: ("NC2", "NC2", 1.600, 0.2384, 11.2, 6.0, -7.00, 0, 1, 0, "guanidinium N (Arg NE, NH1, NH2)"),
    13: ("OH1", "OH1", 1.600, 0.1591, 10.8, 3.5, -6.70, 1, 1, 0, "hydroxyl O (Ser OG, Thr OG1, Tyr OH)"),
    14: ("O", "O", 1.600, 0.1591, 10.8, 3.5, -5.85, 1, 0, 0, "backbone carbonyl O"),
    15: ("OS", "O", 1.600, 0.1591, 10.8, 3.5, -5.85, 1, 0, 0, "side-chain amide O (Asn OD1, Gln OE1)"),
    16: ("SH1E", "SH1E", 1.890, 0.0430, 21.4, 3.5, -2.70, 0, 0, 0, "thiol S (Cys SG)"),
    17: ("N", "N", 1.600, 0.2384, 0.0, 3.5, -1.55, 0, 0, 0, "N without H (Pro N)"),
    18: ("CS", "C", 2.100, 0.1200, 14.7, 3.5, 0.00, 0, 0, 0, "side-chain sp2 C (Asp CG, Glu CD, Asn CG, Gln CD, Arg CZ)"),
    19: ("CH2G", "CH2E", 2.235, 0.1142, 22.4, 3.5, 0.52, 0, 0, 0, "glycine CA"),
    20: ("OC", "OC", 1.600, 0.6469, 10.8, 6.0, -6.70, 1, 0, 0, "carboxylate O (Asp OD1/OD2, Glu OE1/OE2, OXT)"),
    21: ("DUM", "-", 0.000, 0.0000, 0.0, 3.5, 0.00, 0, 0, 0, "virtual atom (glycine's template CB)"),
    22: ("H", "H", 0.800, 0.0498, 0.0, 3.5, 0.00, 0, 0, 1, "H on neutral N (amide H, His HE2, Trp HE1, Asn/Gln amide H)"),
    23: ("HT", "HC", 0.600, 0.0498, 0.0, 3.5, 0.00, 0, 0, 1, "extra N-terminal H"),
    24: ("HO", "H", 0.800, 0.0498, 0.0, 3.5, 0.00, 0, 0, 1, "hydroxyl H"),
    25: ("HC", "HC", 0.600, 0.0498, 0.0, 3.5, 0.00, 0, 0, 1, "H on charged side-chain N (Lys HZ, Arg HE/HH)"),
}

# ---- backbone (slots 0..5) -------------------------------------------------
# Slot semantics follow the backbone builders:
#  0 N : length C(prev)-N,  angle CA(prev)-C(prev)-N
#  1 CA: length N-CA,       angle C(prev)-N-CA
#  2 C : length CA-C,       angle N-CA-C
#  3 O : length C-O,        angle CA-C-O
#  4 H : length N-H,        angle C(prev)-N-H
#  5 CB: length CA-CB,      angle C-CA-CB, dihedral N-C-CA-CB 122.55
# One backbone geometry for every residue type: the sampler builds all
# 72 x 72 candidate backbones with a single geometry (that of type 0) and
# rebuilds committed residues from their own templates with N-CA-C = 111.2,
# so per-type backbone values would make the two disagree by up to 0.2 A at
# the far end of a loop. N-CA-C 111.2 is the Engh & Huber (1991) value.
BB_GENERIC = dict(CN=1.336, CACN=117.2, NCA=1.459, CNCA=121.7, CAC=1.525, NCAC=111.2,
                  CO=1.229, CACO=120.1, NH=0.98, CACB=1.530, CCACB=110.4)
BB_OVERRIDE = {
    "A": dict(CACB=1.520, CCACB=110.1),
    "I": dict(CACB=1.540, CCACB=109.1),
    "T": dict(CACB=1.540, CCACB=109.1),
    "V": dict(CACB=1.540, CCACB=109.1),
}
CB_TORSION = 122.55  # N-C-CA-CB, fixed by the builders (2.138900998319049 rad)


def backbone(code):
    bb = dict(BB_GENERIC)
    bb.update(BB_OVERRIDE.get(code, {}))
    # amide H in the C-N-CA plane on the exterior bisector
    bb["CNH"] = (360.0 - bb["CNCA"]) / 2.0
    return bb


# ---- side chains -------------------------------------------------------------
# Entries: (name, vdw, (A, B, C), length, angle, torsion)
#   torsion: number (deg) | "chi" | ("branch", angle A-C-D, sign) | "ring"
#   length/angle may be "ring" (taken from the fitted planar ring) or
#   ("bisect", X) = exterior bisector at C between B and X.
# Ring dictionaries: atoms, bond targets and angle targets for a planar
# least-squares fit (sigma 0.01 A / 1 deg).

SC = {}
RINGS = {}

SC["A"] = []
SC["G"] = []
SC["C"] = [("SG", 16, ("N", "CA", "CB"), 1.808, 114.4, "chi")]
SC["S"] = [("OG", 13, ("N", "CA", "CB"), 1.417, 111.1, "chi"),
           ("HG", 24, ("CA", "CB", "OG"), 0.96, 109.5, "chi")]
SC["T"] = [("OG1", 13, ("N", "CA", "CB"), 1.433, 109.6, "chi"),
           ("CG2", 5, ("OG1", "CA", "CB"), 1.521, 110.5, ("branch", 109.3, -1)),
           ("HG1", 24, ("CA", "CB", "OG1"), 0.96, 109.5, "chi")]
SC["V"] = [("CG1", 5, ("N", "CA", "CB"), 1.521, 110.5, "chi"),
           ("CG2", 5, ("CG1", "CA", "CB"), 1.521, 110.5, ("branch", 110.8, +1))]
SC["I"] = [("CG1", 4, ("N", "CA", "CB"), 1.530, 110.4, "chi"),
           ("CG2", 5, ("CG1", "CA", "CB"), 1.521, 110.5, ("branch", 110.7, -1)),
           ("CD1", 5, ("CA", "CB", "CG1"), 1.513, 113.8, "chi")]
SC["L"] = [("CG", 3, ("N", "CA", "CB"), 1.530, 116.3, "chi"),
           ("CD1", 5, ("CA", "CB", "CG"), 1.521, 110.7, "chi"),
           ("CD2", 5, ("CD1", "CB", "CG"), 1.521, 110.7, ("branch", 110.8, +1))]
SC["M"] = [("CG", 4, ("N", "CA", "CB"), 1.520, 114.1, "chi"),
           ("SD", 8, ("CA", "CB", "CG"), 1.803, 112.7, "chi"),
           ("CE", 5, ("CB", "CG", "SD"), 1.791, 100.9, "chi")]
SC["K"] = [("CG", 4, ("N", "CA", "CB"), 1.520, 114.1, "chi"),
           ("CD", 4, ("CA", "CB", "CG"), 1.520, 111.3, "chi"),
           ("CE", 4, ("CB", "CG", "CD"), 1.520, 111.3, "chi"),
           ("NZ", 11, ("CG", "CD", "CE"), 1.489, 111.9, "chi"),
           ("HZ1", 25, ("CD", "CE", "NZ"), 1.04, 109.5, 180.0),
           ("HZ2", 25, ("CD", "CE", "NZ"), 1.04, 109.5, 60.0),
           ("HZ3", 25, ("CD", "CE", "NZ"), 1.04, 109.5, -60.0)]
SC["R"] = [("CG", 4, ("N", "CA", "CB"), 1.520, 114.1, "chi"),
           ("CD", 4, ("CA", "CB", "CG"), 1.520, 111.3, "chi"),
           ("NE", 12, ("CB", "CG", "CD"), 1.460, 112.0, "chi"),
           ("CZ", 18, ("CG", "CD", "NE"), 1.329, 124.2, "chi"),
           ("NH1", 12, ("CD", "NE", "CZ"), 1.326, 120.0, 0.0),
           ("NH2", 12, ("NH1", "NE", "CZ"), 1.326, 120.0, 180.0),
           ("HE", 25, ("NH1", "CZ", "NE"), 1.00, ("bisect", "CD"), 180.0),
           ("HH11", 25, ("NE", "CZ", "NH1"), 1.00, 120.0, 0.0),
           ("HH12", 25, ("NE", "CZ", "NH1"), 1.00, 120.0, 180.0),
           ("HH21", 25, ("NE", "CZ", "NH2"), 1.00, 120.0, 0.0),
           ("HH22", 25, ("NE", "CZ", "NH2"), 1.00, 120.0, 180.0)]
SC["D"] = [("CG", 18, ("N", "CA", "CB"), 1.516, 112.6, "chi"),
           ("OD1", 20, ("CA", "CB", "CG"), 1.249, 118.4, "chi"),
           ("OD2", 20, ("OD1", "CB", "CG"), 1.249, 118.4, 180.0)]
SC["E"] = [("CG", 4, ("N", "CA", "CB"), 1.520, 114.1, "chi"),
           ("CD", 18, ("CA", "CB", "CG"), 1.516, 112.6, "chi"),
           ("OE1", 20, ("CB", "CG", "CD"), 1.249, 118.4, "chi"),
           ("OE2", 20, ("OE1", "CG", "CD"), 1.249, 118.4, 180.0)]
SC["N"] = [("CG", 18, ("N", "CA", "CB"), 1.516, 112.6, "chi"),
           ("OD1", 15, ("CA", "CB", "CG"), 1.231, 120.8, "chi"),
           ("ND2", 10, ("OD1", "CB", "CG"), 1.328, 116.4, 180.0),
           ("HD21", 22, ("OD1", "CG", "ND2"), 0.98, 120.0, 0.0),
           ("HD22", 22, ("OD1", "CG", "ND2"), 0.98, 120.0, 180.0)]
SC["Q"] = [("CG", 4, ("N", "CA", "CB"), 1.520, 114.1, "chi"),
           ("CD", 18, ("CA", "CB", "CG"), 1.516, 112.6, "chi"),
           ("OE1", 15, ("CB", "CG", "CD"), 1.231, 120.8, "chi"),
           ("NE2", 10, ("OE1", "CG", "CD"), 1.328, 116.4, 180.0),
           ("HE21", 22, ("OE1", "CD", "NE2"), 0.98, 120.0, 0.0),
           ("HE22", 22, ("OE1", "CD", "NE2"), 0.98, 120.0, 180.0)]
SC["P"] = [("CG", 4, ("N", "CA", "CB"), 1.492, 104.5, "chi"),
           ("CD", 4, ("CA", "CB", "CG"), 1.503, 106.1, "chi")]
# target values used by the proline ring-closure check
PRO_RING = dict(CDN=1.473, CGCDN=103.2, CDNCA=112.0)

SC["F"] = [("CG", 2, ("N", "CA", "CB"), 1.502, 113.8, "chi"),
           ("CD1", 6, ("CA", "CB", "CG"), "ring", "ring", "chi"),
           ("CD2", 6, ("CD1", "CB", "CG"), "ring", "ring", "ring"),
           ("CE1", 6, ("CB", "CG", "CD1"), "ring", "ring", "ring"),
           ("CE2", 6, ("CB", "CG", "CD2"), "ring", "ring", "ring"),
           ("CZ", 6, ("CG", "CD1", "CE1"), "ring", "ring", "ring")]
RINGS["F"] = dict(
    bonds=[("CB", "CG", 1.502), ("CG", "CD1", 1.384), ("CG", "CD2", 1.384), ("CD1", "CE1", 1.382),
           ("CD2", "CE2", 1.382), ("CE1", "CZ", 1.382), ("CE2", "CZ", 1.382)],
    angles=[("CB", "CG", "CD1", 120.7), ("CB", "CG", "CD2", 120.7), ("CD1", "CG", "CD2", 118.6),
            ("CG", "CD1", "CE1", 120.7), ("CG", "CD2", "CE2", 120.7), ("CD1", "CE1", "CZ", 120.0),
            ("CD2", "CE2", "CZ", 120.0), ("CE1", "CZ", "CE2", 120.0)])

SC["Y"] = [("CG", 2, ("N", "CA", "CB"), 1.512, 113.9, "chi"),
           ("CD1", 6, ("CA", "CB", "CG"), "ring", "ring", "chi"),
           ("CD2", 6, ("CD1", "CB", "CG"), "ring", "ring", "ring"),
           ("CE1", 6, ("CB", "CG", "CD1"), "ring", "ring", "ring"),
           ("CE2", 6, ("CB", "CG", "CD2"), "ring", "ring", "ring"),
           ("CZ", 2, ("CG", "CD1", "CE1"), "ring", "ring", "ring"),
           ("OH", 13, ("CD1", "CE1", "CZ"), "ring", "ring", "ring"),
           ("HH", 24, ("CE1", "CZ", "OH"), 0.96, 109.5, "chi")]
RINGS["Y"] = dict(
    bonds=[("CB", "CG", 1.512), ("CG", "CD1", 1.389), ("CG", "CD2", 1.389), ("CD1", "CE1", 1.382),
           ("CD2", "CE2", 1.382), ("CE1", "CZ", 1.378), ("CE2", "CZ", 1.378), ("CZ", "OH", 1.376)],
    angles=[("CB", "CG", "CD1", 120.8), ("CB", "CG", "CD2", 120.8), ("CD1", "CG", "CD2", 118.4),
            ("CG", "CD1", "CE1", 121.2), ("CG", "CD2", "CE2", 121.2), ("CD1", "CE1", "CZ", 119.6),
            ("CD2", "CE2", "CZ", 119.6), ("CE1", "CZ", "CE2", 120.0), ("CE1", "CZ", "OH", 119.9),
            ("CE2", "CZ", "OH", 119.9)])

# Neutral histidine, HE2 tautomer (proton on NE2). Ring bonds and angles are the
# medians of the training set (Top8000-hom70 chains), whose symmetric ring agrees
# with the EH91 imidazole values; they close exactly (angle sum 540.0).
SC["H"] = [("CG", 2, ("N", "CA", "CB"), 1.497, 113.8, "chi"),
           ("ND1", 9, ("CA", "CB", "CG"), "ring", "ring", "chi"),
           ("CD2", 6, ("ND1", "CB", "CG"), "ring", "ring", "ring"),
           ("CE1", 6, ("CB", "CG", "ND1"), "ring", "ring", "ring"),
           ("NE2", 7, ("CB", "CG", "CD2"), "ring", "ring", "ring"),
           ("HE2", 22, ("CG", "CD2", "NE2"), 0.98, ("bisect", "CE1"), 180.0)]
RINGS["H"] = dict(
    bonds=[("CB", "CG", 1.497), ("CG", "ND1", 1.379), ("CG", "CD2", 1.354), ("ND1", "CE1", 1.322),
           ("CE1", "NE2", 1.321), ("CD2", "NE2", 1.374)],
    angles=[("CB", "CG", "ND1", 122.7), ("CB", "CG", "CD2", 131.1), ("ND1", "CG", "CD2", 106.2),
            ("CG", "ND1", "CE1", 109.3), ("ND1", "CE1", "NE2", 108.4), ("CE1", "NE2", "CD2", 108.9),
            ("NE2", "CD2", "CG", 107.2)])

SC["W"] = [("CG", 2, ("N", "CA", "CB"), 1.498, 113.6, "chi"),
           ("CD1", 6, ("CA", "CB", "CG"), "ring", "ring", "chi"),
           ("CD2", 2, ("CD1", "CB", "CG"), "ring", "ring", "ring"),
           ("NE1", 7, ("CB", "CG", "CD1"), "ring", "ring", "ring"),
           ("CE2", 2, ("CB", "CG", "CD2"), "ring", "ring", "ring"),
           ("CE3", 6, ("CB", "CG", "CD2"), "ring", "ring", "ring"),
           ("CZ2", 6, ("CG", "CD2", "CE2"), "ring", "ring", "ring"),
           ("CZ3", 6, ("CG", "CD2", "CE3"), "ring", "ring", "ring"),
           ("CH2", 6, ("CD2", "CE2", "CZ2"), "ring", "ring", "ring"),
           ("HE1", 22, ("CG", "CD1", "NE1"), 0.98, ("bisect", "CE2"), 180.0)]
RINGS["W"] = dict(
    bonds=[("CB", "CG", 1.498), ("CG", "CD1", 1.365), ("CG", "CD2", 1.433), ("CD1", "NE1", 1.374),
           ("NE1", "CE2", 1.370), ("CD2", "CE2", 1.409), ("CD2", "CE3", 1.398), ("CE2", "CZ2", 1.394),
           ("CE3", "CZ3", 1.382), ("CZ2", "CH2", 1.368), ("CZ3", "CH2", 1.400)],
    angles=[("CB", "CG", "CD1", 126.9), ("CB", "CG", "CD2", 126.8), ("CD1", "CG", "CD2", 106.3),
            ("CG", "CD1", "NE1", 110.2), ("CD1", "NE1", "CE2", 108.9), ("NE1", "CE2", "CD2", 107.4),
            ("CE2", "CD2", "CG", 107.2), ("CG", "CD2", "CE3", 133.9), ("CE2", "CD2", "CE3", 118.8),
            ("NE1", "CE2", "CZ2", 130.1), ("CD2", "CE2", "CZ2", 122.4), ("CE2", "CZ2", "CH2", 117.5),
            ("CZ2", "CH2", "CZ3", 121.5), ("CH2", "CZ3", "CE3", 121.1), ("CZ3", "CE3", "CD2", 118.6)],
    # rough indole layout (hexagon + pentagon) to start the fit in the right basin
    init={"CD2": (0.0, 0.0), "CE2": (0.0, 1.4), "CZ2": (1.212, 2.1), "CH2": (2.425, 1.4),
          "CZ3": (2.425, 0.0), "CE3": (1.212, -0.7), "CG": (-1.33, -0.43), "CD1": (-2.15, 0.7),
          "NE1": (-1.33, 1.83), "CB": (-1.8, -1.8)})

# Functional-group atoms (the chemically active end of each side chain).
FUNC = {
    "A": ["CB"], "C": ["SG"], "D": ["CG", "OD1", "OD2"], "E": ["CD", "OE1", "OE2"],
    "F": ["CG", "CD1", "CD2", "CE1", "CE2", "CZ"], "G": ["CA"],
    "H": ["CG", "ND1", "CD2", "CE1", "NE2"], "I": ["CG1", "CG2", "CD1"], "K": ["NZ"],
    "L": ["CG", "CD1", "CD2"], "M": ["CG", "SD", "CE"], "N": ["CG", "OD1", "ND2"],
    "P": ["CB", "CG", "CD"], "Q": ["CD", "OE1", "NE2"], "R": ["NE", "CZ", "NH1", "NH2"],
    "S": ["OG"], "T": ["OG1"], "V": ["CG1", "CG2"],
    "W": ["CG", "CD1", "CD2", "NE1", "CE2", "CE3", "CZ2", "CZ3", "CH2"],
    "Y": ["CG", "CD1", "CD2", "CE1", "CE2", "CZ", "OH"],
}

# OSCAR side-chain classes for data/dipole.fress: slot name -> (label, neighbour names)
# Planar classes C, CG, N2 list exactly two neighbours (they define the plane).
DIPOLE_BB = {"N": ("NE", ["CA"]), "C": ("C", ["CA", "O"]), "O": ("O", ["C"])}
DIPOLE_SC = {
    "A": {"CB": ("C3", ["CA"])},
    "C": {"CB": ("C2", ["CA", "SG"]), "SG": ("SG", ["CB"])},
    "D": {"CB": ("C2", ["CA", "CG"]), "CG": ("CG", ["CB", "OD1"]), "OD1": ("OC", ["CG"]), "OD2": ("OC", ["CG"])},
    "E": {"CB": ("C2", ["CA", "CG"]), "CG": ("C2", ["CB", "CD"]), "CD": ("CG", ["CG", "OE1"]),
          "OE1": ("OC", ["CD"]), "OE2": ("OC", ["CD"])},
    "F": {"CB": ("C2", ["CA", "CG"]), "CG": ("CR", ["CB", "CD1", "CD2"]), "CD1": ("CR", ["CG", "CE1"]),
          "CD2": ("CR", ["CG", "CE2"]), "CE1": ("CR", ["CD1", "CZ"]), "CE2": ("CR", ["CD2", "CZ"]),
          "CZ": ("CR", ["CE1", "CE2"])},
    "G": {},
    "H": {"CB": ("C2", ["CA", "CG"]), "CG": ("CR", ["CB", "ND1", "CD2"]), "ND1": ("NE", ["CG", "CE1"]),
          "CD2": ("CR", ["CG", "NE2"]), "CE1": ("CR", ["ND1", "NE2"]), "NE2": ("NE", ["CD2", "CE1"])},
    "I": {"CB": ("C1", ["CA", "CG1", "CG2"]), "CG1": ("C2", ["CB", "CD1"]), "CG2": ("C3", ["CB"]),
          "CD1": ("C3", ["CG1"])},
    "K": {"CB": ("C2", ["CA", "CG"]), "CG": ("C2", ["CB", "CD"]), "CD": ("C2", ["CG", "CE"]),
          "CE": ("C2", ["CD", "NZ"]), "NZ": ("N3", ["CE"])},
    "L": {"CB": ("C2", ["CA", "CG"]), "CG": ("C1", ["CB", "CD1", "CD2"]), "CD1": ("C3", ["CG"]),
          "CD2": ("C3", ["CG"])},
    "M": {"CB": ("C2", ["CA", "CG"]), "CG": ("C2", ["CB", "SD"]), "SD": ("SD", ["CG", "CE"]),
          "CE": ("C3", ["SD"])},
    "N": {"CB": ("C2", ["CA", "CG"]), "CG": ("C", ["CB", "OD1"]), "OD1": ("O", ["CG"]),
          "ND2": ("N2", ["CG", "OD1"])},
    "P": {"CB": ("C2", ["CA", "CG"]), "CG": ("C2", ["CB", "CD"]), "CD": ("C2", ["CG", "N"])},
    "Q": {"CB": ("C2", ["CA", "CG"]), "CG": ("C2", ["CB", "CD"]), "CD": ("C", ["CG", "OE1"]),
          "OE1": ("O", ["CD"]), "NE2": ("N2", ["CD", "OE1"])},
    "R": {"CB": ("C2", ["CA", "CG"]), "CG": ("C2", ["CB", "CD"]), "CD": ("C2", ["CG", "NE"]),
          "NE": ("NE", ["CD", "CZ"]), "CZ": ("CG", ["NE", "NH1"]), "NH1": ("N2", ["CZ", "NE"]),
          "NH2": ("N2", ["CZ", "NE"])},
    "S": {"CB": ("C2", ["CA", "OG"]), "OG": ("OG", ["CB"])},
    "T": {"CB": ("C1", ["CA", "OG1", "CG2"]), "OG1": ("OG", ["CB"]), "CG2": ("C3", ["CB"])},
    "V": {"CB": ("C1", ["CA", "CG1", "CG2"]), "CG1": ("C3", ["CB"]), "CG2": ("C3", ["CB"])},
    "W": {"CB": ("C2", ["CA", "CG"]), "CG": ("CR", ["CB", "CD1", "CD2"]), "CD1": ("CR", ["CG", "NE1"]),
          "CD2": ("CR", ["CG", "CE2", "CE3"]), "NE1": ("NE", ["CD1", "CE2"]),
          "CE2": ("CR", ["CD2", "NE1", "CZ2"]), "CE3": ("CR", ["CD2", "CZ3"]), "CZ2": ("CR", ["CE2", "CH2"]),
          "CZ3": ("CR", ["CE3", "CH2"]), "CH2": ("CR", ["CZ2", "CZ3"])},
    "Y": {"CB": ("C2", ["CA", "CG"]), "CG": ("CR", ["CB", "CD1", "CD2"]), "CD1": ("CR", ["CG", "CE1"]),
          "CD2": ("CR", ["CG", "CE2"]), "CE1": ("CR", ["CD1", "CZ"]), "CE2": ("CR", ["CD2", "CZ"]),
          "CZ": ("CR", ["CE1", "CE2", "OH"]), "OH": ("OG", ["CZ"])},
}
