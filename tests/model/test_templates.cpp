// Residue templates (data/atomProp2.txt) and polar-group records
// (data/dipole.fress): every residue is built from its template with calCo
// and measured back, so wrong references, ring geometry, chi bookkeeping or
// type codes show up as numbers, not only as format errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "model/geometry.h"
#include "model/model_support.h"
#include "model/residue.h"
#include "potentials/pf.h"

using namespace model_test;

namespace {

constexpr double CB_TORSION = 2.138900998319049;  // N-C-CA-CB used by the backbone builders
const char* kOneLetter = "ACDEFGHIKLMNPQRSTVWY";

bool isHydrogenSlot(int t, int j) { return j == 4 || j > Residue::lastDFire[t]; }
// Heavy atoms that heavy-atom-only PDB files carry (glycine's CB is virtual).
bool isRealHeavy(int t, int j) { return !isHydrogenSlot(t, j) && !(t == GLY && j == 5); }

int slotOf(int t, const std::string& name) {
    for (int j = 0; j < Residue::numAtom[t]; ++j)
        if (Residue::cType[t][j] == name) return j;
    return -1;
}

double wrapDeg(double d) {
    while (d > 180.0) d -= 360.0;
    while (d <= -180.0) d += 360.0;
    return d;
}

double torsionDeg(int t, int j) { return Residue::torsion[t][j] / DEG2RAD; }

// Bonds of one residue as the global bond graph sees them: each slot to its
// third reference slot, plus the ring closures.
std::vector<std::pair<int, int>> bondsOf(int t) {
    std::vector<std::pair<int, int>> b;
    for (int j = 1; j < Residue::numAtom[t]; ++j) {
        if ((t == GLY && j == 5) || (t == PRO && j == 4)) continue;
        b.emplace_back(Residue::prev_atom[t][j][2], j);
    }
    if (t == PRO) b.emplace_back(0, 7);
    if (t == PHE || t == TYR) b.emplace_back(10, 11);
    if (t == HIS || t == TRP) b.emplace_back(9, 10);
    if (t == TRP) b.emplace_back(13, 14);
    return b;
}

// Graph distance (in bonds) between all slot pairs of type t, 99 = unconnected.
std::vector<std::vector<int>> bondSteps(int t) {
    int n = Residue::numAtom[t];
    std::vector<std::vector<int>> d(n, std::vector<int>(n, 99));
    for (int i = 0; i < n; ++i) d[i][i] = 0;
    for (auto [a, b] : bondsOf(t)) d[a][b] = d[b][a] = 1;
    for (int k = 0; k < n; ++k)
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) d[i][j] = std::min(d[i][j], d[i][k] + d[k][j]);
    return d;
}

// Builds every template slot of type t: backbone from the template's own
// backbone values, CB with the builders' dihedral (or cbTorsion), the side
// chain with calCo and chi values chiDeg[k] for the k-th free dihedral.
std::vector<Point> buildResidue(int t, const std::vector<double>& chiDeg, double cbTorsion = CB_TORSION) {
    const double* L = Residue::bond_length[t];
    const double* A = Residue::bond_angle[t];
    std::vector<Point> P(Residue::numAtom[t]);
    P[0] = Point(0, 0, 0);
    P[1] = Point(static_cast<float>(L[1]), 0, 0);
    P[2] = Point(static_cast<float>(L[1] - L[2] * std::cos(A[2])), static_cast<float>(L[2] * std::sin(A[2])), 0);
    calCo(P[0], P[1], P[2], L[3], A[3], 2.0 + PI, P[3]);  // O trans to N(i+1) at psi = 2 rad
    // amide H as the builders place it: from CA(i-1), C(i-1) and N, dihedral 0
    Point cprev, caprev;
    calCo(P[2], P[1], P[0], L[0], A[1], -1.1, cprev);
    calCo(P[1], P[0], cprev, L[2], A[0], PI, caprev);
    calCo(caprev, cprev, P[0], L[4], A[4], 0.0, P[4]);
    calCo(P[0], P[2], P[1], L[5], A[5], cbTorsion, P[5]);
    size_t k = 0;
    for (int j = 6; j < Residue::numAtom[t]; ++j) {
        const int* r = Residue::prev_atom[t][j];
        double tau = Residue::torsion[t][j];
        if (tau == FREE_CHI) tau = chiDeg.at(k++) * DEG2RAD;
        calCo(P[r[0]], P[r[1]], P[r[2]], L[j], A[j], tau, P[j]);
    }
    return P;
}

int countChis(int t, int upto) {
    int n = 0;
    for (int j = 0; j <= upto && j < Residue::numAtom[t]; ++j)
        if (Residue::torsion[t][j] == FREE_CHI) ++n;
    return n;
}

std::vector<double> chiSet(int t, int variant) {
    static const double table[3][5] = {{-65, 178, 62, -175, 70}, {180, 180, 180, 180, 180}, {62, -85, -60, 100, -170}};
    std::vector<double> c;
    for (int k = 0; k < PF::numChi[t]; ++k) c.push_back(table[variant][k]);
    return c;
}

// Proline with chi1, chi2 chosen to close the ring best (least squares on
// CD-N 1.473 A, CG-CD-N 103.2 deg, CD-N-CA 112.0 deg; Engh & Huber 1991).
struct ProClosure {
    double score = 1e30, chi1 = 0, chi2 = 0, dCDN = 0, aCGCDN = 0, aCDNCA = 0;
};

ProClosure closeProline(double cbTorsion) {
    ProClosure best;
    for (int c1 = -45; c1 <= 45; ++c1) {
        for (int c2 = -50; c2 <= 50; ++c2) {
            auto P = buildResidue(PRO, {double(c1), double(c2)}, cbTorsion);
            double d = P[7].dis(P[0]);
            double a1 = angle(P[6], P[7], P[0]);
            double a2 = angle(P[7], P[0], P[1]);
            double s = std::pow((d - 1.473) / 0.01, 2) + std::pow(a1 - 103.2, 2) + std::pow(a2 - 112.0, 2);
            if (s < best.score) best = {s, double(c1), double(c2), d, a1, a2};
        }
    }
    return best;
}

// One plausible conformation per type (proline with its ring closed on the
// builders' CB), cached because the proline scan builds ~9000 residues.
const std::vector<Point>& idealResidue(int t) {
    static std::vector<Point> cache[20];
    if (cache[t].empty()) {
        if (t == PRO) {
            ProClosure c = closeProline(CB_TORSION);
            cache[t] = buildResidue(t, {c.chi1, c.chi2});
        } else {
            cache[t] = buildResidue(t, chiSet(t, 0));
        }
    }
    return cache[t];
}

class Templates : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(templatesLoaded()) << "data/atomProp2.txt is missing"; }
};

TEST_F(Templates, TypeOrderSlotNamesAndTypeCodes) {
    const char* bb[6] = {"N", "CA", "C", "O", "H", "CB"};
    for (int t = 0; t < 20; ++t) {
        SCOPED_TRACE(Residue::ResMap[t]);
        EXPECT_EQ(Residue::Name1[t], std::string(1, kOneLetter[t]));
        EXPECT_EQ(Residue::Name3[t], Residue::ResMap[t]);
        ASSERT_GT(Residue::numAtom[t], Residue::lastDFire[t]);
        ASSERT_LE(Residue::numAtom[t], MAX_ATOMS);
        for (int j = 0; j < 6; ++j) EXPECT_EQ(Residue::cType[t][j], bb[j]) << j;
        std::set<std::string> names;
        for (int j = 0; j < Residue::numAtom[t]; ++j) {
            const std::string& nm = Residue::cType[t][j];
            EXPECT_TRUE(names.insert(nm).second) << "duplicate atom " << nm;
            EXPECT_EQ(Residue::AtomMap[Residue::Name1[t] + nm], j);
            const int code = Residue::vdwType[t][j];
            if (isHydrogenSlot(t, j)) {
                EXPECT_EQ(nm[0], 'H') << j;
                EXPECT_GE(code, 22) << nm;
                EXPECT_EQ(Atom::hbondH[code], 1) << nm;
                // polar-hydrogen model: only hydrogens on N and O
                const char parent = Residue::cType[t][Residue::prev_atom[t][j][2]][0];
                EXPECT_TRUE(parent == 'N' || parent == 'O') << nm;
            } else if (t == GLY && j == 5) {
                EXPECT_EQ(code, 21) << "glycine's virtual CB keeps the placeholder code";
            } else {
                EXPECT_NE(nm[0], 'H') << j;
                EXPECT_GE(code, 1) << nm;
                EXPECT_LE(code, 20) << nm;
                EXPECT_GT(Atom::radius[code], 1.0) << nm;
            }
        }
    }
    // carboxylate oxygens share the OXT code
    for (auto [t, nm] : std::vector<std::pair<int, const char*>>{{ASP, "OD1"}, {ASP, "OD2"}, {GLU, "OE1"}, {GLU, "OE2"}})
        EXPECT_EQ(Residue::vdwType[t][slotOf(t, nm)], 20) << nm;
}

// The solvation radius of a hydrogen depends on its parent's code (N codes
// 7, 9, 10, 11, 12, 17; O codes 13, 14, 15, 20), and the hydrogen-bond flags
// must agree with the atoms that carry polar hydrogens.
TEST_F(Templates, HeavyCodesMatchElementsAndHydrogenBondFlags) {
    const std::set<int> nCodes{7, 9, 10, 11, 12, 17}, oCodes{13, 14, 15, 20};
    for (int t = 0; t < 20; ++t) {
        for (int j = 0; j < Residue::numAtom[t]; ++j) {
            if (!isRealHeavy(t, j)) continue;
            const std::string& nm = Residue::cType[t][j];
            const int code = Residue::vdwType[t][j];
            if (nm[0] == 'N') {
                EXPECT_TRUE(nCodes.count(code)) << Residue::Name3[t] << " " << nm;
            }
            if (nm[0] == 'O') {
                EXPECT_TRUE(oCodes.count(code)) << Residue::Name3[t] << " " << nm;
                EXPECT_EQ(Atom::acceptor[code], 1) << Residue::Name3[t] << " " << nm;
            }
            if (nm[0] == 'C' || nm[0] == 'S') {
                EXPECT_FALSE(nCodes.count(code) || oCodes.count(code)) << Residue::Name3[t] << " " << nm;
                EXPECT_EQ(Atom::donor[code], 0) << nm;
            }
        }
        for (int j = 0; j < Residue::numAtom[t]; ++j) {
            if (!isHydrogenSlot(t, j) || (t == PRO && j == 4)) continue;
            const int parentCode = Residue::vdwType[t][Residue::prev_atom[t][j][2]];
            EXPECT_EQ(Atom::donor[parentCode], 1) << Residue::Name3[t] << " " << Residue::cType[t][j];
        }
    }
    EXPECT_EQ(Atom::acceptor[20], 1);  // OXT
    EXPECT_GT(Atom::radius[23], 0.0);  // extra N-terminal hydrogens
}

TEST_F(Templates, ChiCountsAndOrder) {
    for (int t = 0; t < 20; ++t) {
        SCOPED_TRACE(Residue::ResMap[t]);
        const int last = Residue::lastDFire[t];
        EXPECT_EQ(countChis(t, MAX_ATOMS), PF::numChi[t]);
        EXPECT_EQ(countChis(t, last), Residue::numTorAng[t]);
        EXPECT_EQ(countChis(t, 5), 0);
        // heavy chis form the chain N-CA-CB-X1-X2...: chi k+1 is built on chi k's atom
        int prev = -1;
        for (int j = 6; j <= last; ++j) {
            if (Residue::torsion[t][j] != FREE_CHI) continue;
            const int* r = Residue::prev_atom[t][j];
            if (prev < 0) {
                EXPECT_EQ(r[0], 0);
                EXPECT_EQ(r[1], 1);
                EXPECT_EQ(r[2], 5);
            } else {
                EXPECT_EQ(r[0], Residue::prev_atom[t][prev][1]) << j;
                EXPECT_EQ(r[1], Residue::prev_atom[t][prev][2]) << j;
                EXPECT_EQ(r[2], prev) << j;
            }
            prev = j;
        }
        // the extra chi of Ser, Thr, Tyr turns a hydroxyl hydrogen
        for (int j = last + 1; j < Residue::numAtom[t]; ++j) {
            if (Residue::torsion[t][j] != FREE_CHI) continue;
            const int o = Residue::prev_atom[t][j][2];
            EXPECT_EQ(Residue::vdwType[t][o], 13) << Residue::cType[t][j];
            EXPECT_EQ(Residue::vdwType[t][j], 24) << Residue::cType[t][j];
        }
    }
}

TEST_F(Templates, ReferencesAreEarlierAndBackboneSlotsAsBuildersExpect) {
    for (int t = 0; t < 20; ++t) {
        SCOPED_TRACE(Residue::ResMap[t]);
        EXPECT_EQ(Residue::prev_atom[t][1][2], 0);
        EXPECT_EQ(Residue::prev_atom[t][2][2], 1);
        EXPECT_EQ(Residue::prev_atom[t][3][2], 2);
        EXPECT_EQ(Residue::prev_atom[t][4][2], 0);
        EXPECT_EQ(Residue::prev_atom[t][5][0], 0);
        EXPECT_EQ(Residue::prev_atom[t][5][1], 2);
        EXPECT_EQ(Residue::prev_atom[t][5][2], 1);
        EXPECT_NEAR(Residue::torsion[t][5], CB_TORSION, 1e-9);
        for (int j = 6; j < Residue::numAtom[t]; ++j) {
            const int* r = Residue::prev_atom[t][j];
            for (int q = 0; q < 3; ++q) EXPECT_LT(r[q], j) << Residue::cType[t][j];
            EXPECT_TRUE(r[0] != r[1] && r[1] != r[2] && r[0] != r[2]) << Residue::cType[t][j];
            EXPECT_FALSE(isHydrogenSlot(t, r[2])) << "built on a hydrogen: " << Residue::cType[t][j];
            EXPECT_NE(r[2], 4);
        }
    }
    EXPECT_EQ(Residue::numAtom[GLY], 6);  // N CA C O H and the virtual CB
    EXPECT_EQ(Residue::numAtom[ALA], 6);
}

// Peptide geometry at C(i) and N(i+1) for every residue pair: the implied
// third angle of each planar centre must be a sensible one.
TEST_F(Templates, BackboneValuesAndPlanarCentres) {
    for (int t = 0; t < 20; ++t) {
        SCOPED_TRACE(Residue::ResMap[t]);
        const double* L = Residue::bond_length[t];
        const double* A = Residue::bond_angle[t];
        EXPECT_TRUE(L[0] > 1.31 && L[0] < 1.35) << L[0];  // C-N peptide
        EXPECT_TRUE(L[1] > 1.44 && L[1] < 1.48) << L[1];  // N-CA
        EXPECT_TRUE(L[2] > 1.50 && L[2] < 1.54) << L[2];  // CA-C
        EXPECT_TRUE(L[3] > 1.22 && L[3] < 1.25) << L[3];  // C=O
        EXPECT_TRUE(L[4] > 0.95 && L[4] < 1.05) << L[4];  // N-H
        EXPECT_TRUE(L[5] > 1.51 && L[5] < 1.55) << L[5];  // CA-CB
        EXPECT_NEAR(A[0] / DEG2RAD, 117, 2.0);
        EXPECT_NEAR(A[1] / DEG2RAD, 121, 2.0);
        EXPECT_NEAR(A[2] / DEG2RAD, 111, 2.5);
        EXPECT_NEAR(A[3] / DEG2RAD, 120.5, 1.0);
        EXPECT_NEAR(A[5] / DEG2RAD, 110, 1.5);
        for (int u = 0; u < 20; ++u) {
            double ocn = 360.0 - (Residue::bond_angle[u][0] + A[3]) / DEG2RAD;
            EXPECT_NEAR(ocn, 122.7, 1.2) << "O=C-N before " << Residue::ResMap[u];
        }
        if (t != PRO) {
            EXPECT_NEAR(360.0 - (A[1] + A[4]) / DEG2RAD, 119.0, 1.5) << "CA-N-H";
        }

        // the same, measured on atoms placed like the builders do
        auto P = buildResidue(t, chiSet(t, 0));
        Point next;
        calCo(P[0], P[1], P[2], L[0], A[0], 2.0, next);  // N(i+1) at psi = 2 rad, O at psi + pi
        EXPECT_NEAR(angle(P[1], P[2], P[3]) + angle(P[1], P[2], next) + angle(P[3], P[2], next), 360.0, 0.05);
        if (t != PRO) {
            EXPECT_NEAR(P[0].dis(P[4]), L[4], 1e-4);
            EXPECT_NEAR(angle(P[1], P[0], P[4]), 360.0 - (A[1] + A[4]) / DEG2RAD, 0.05) << "H leaves the peptide plane";
        }
    }
}

TEST_F(Templates, BuiltSideChainsReproduceTemplateValues) {
    for (int t = 0; t < 20; ++t) {
        SCOPED_TRACE(Residue::ResMap[t]);
        for (int variant = 0; variant < 3; ++variant) {
            auto chis = chiSet(t, variant);
            auto P = buildResidue(t, chis);
            EXPECT_NEAR(P[1].dis(P[5]), Residue::bond_length[t][5], 1e-4);
            EXPECT_NEAR(angle(P[2], P[1], P[5]), Residue::bond_angle[t][5] / DEG2RAD, 0.02);
            EXPECT_NEAR(Torsion(P[0], P[2], P[1], P[5]), CB_TORSION / DEG2RAD, 0.02);
            size_t k = 0;
            for (int j = 6; j < Residue::numAtom[t]; ++j) {
                const int* r = Residue::prev_atom[t][j];
                const std::string& nm = Residue::cType[t][j];
                EXPECT_NEAR(P[r[2]].dis(P[j]), Residue::bond_length[t][j], 1e-4) << nm;
                EXPECT_NEAR(angle(P[r[1]], P[r[2]], P[j]), Residue::bond_angle[t][j] / DEG2RAD, 0.02) << nm;
                double want = Residue::torsion[t][j] == FREE_CHI ? chis[k++] : torsionDeg(t, j);
                EXPECT_NEAR(wrapDeg(Torsion(P[r[0]], P[r[1]], P[r[2]], P[j]) - want), 0.0, 0.02) << nm;
                // measured back the way cal_sc_angles does (j, C, B, A)
                if (Residue::torsion[t][j] == FREE_CHI) {
                    EXPECT_NEAR(wrapDeg(Torsion(P[j], P[r[2]], P[r[1]], P[r[0]]) - want), 0.0, 0.02) << nm;
                }
            }
        }
    }
}

// Bond lengths of the whole graph (ring closures included) and contacts of
// side-chain atoms three or more bonds apart, for several chi sets (contacts
// with the backbone depend on the rotamer, overlaps inside a side chain on
// the template).
TEST_F(Templates, BondGraphDistancesAndNoOverlaps) {
    for (int t = 0; t < 20; ++t) {
        if (t == PRO) continue;  // its ring closes only for matching chi values (own test)
        SCOPED_TRACE(Residue::ResMap[t]);
        auto steps = bondSteps(t);
        for (int variant = 0; variant < 3; ++variant) {
            auto P = buildResidue(t, chiSet(t, variant));
            for (auto [a, b] : bondsOf(t)) {
                double d = P[a].dis(P[b]);
                bool h = isHydrogenSlot(t, a) || isHydrogenSlot(t, b);
                bool s = Residue::cType[t][a][0] == 'S' || Residue::cType[t][b][0] == 'S';
                double lo = h ? 0.95 : (s ? 1.75 : 1.22), hi = h ? 1.05 : (s ? 1.85 : 1.55);
                EXPECT_TRUE(d > lo && d < hi) << Residue::cType[t][a] << "-" << Residue::cType[t][b] << " " << d;
            }
            for (int a = 0; a < Residue::numAtom[t]; ++a) {
                for (int b = a + 1; b < Residue::numAtom[t]; ++b) {
                    if (a < 5 || (t == GLY && a == 5) || steps[a][b] < 3) continue;
                    bool h = isHydrogenSlot(t, a) || isHydrogenSlot(t, b);
                    EXPECT_GT(P[a].dis(P[b]), h ? 1.6 : 2.4)
                        << Residue::cType[t][a] << "..." << Residue::cType[t][b] << " chi set " << variant;
                }
            }
        }
    }
}

// Aromatic rings: the closing bond, the closing angles and planarity.
TEST_F(Templates, AromaticRingClosures) {
    struct Closure {
        int type;
        const char *a, *b;
        double length;
        std::vector<std::array<const char*, 3>> angles;  // angles at the closure, each ~ ring value
        std::vector<double> angleValues;
    };
    const std::vector<Closure> closures = {
        {PHE, "CE2", "CZ", 1.39, {{"CD2", "CE2", "CZ"}, {"CE1", "CZ", "CE2"}}, {120.0, 120.0}},
        {TYR, "CE2", "CZ", 1.39, {{"CD2", "CE2", "CZ"}, {"CE1", "CZ", "CE2"}}, {120.0, 120.0}},
        {HIS, "CE1", "NE2", 1.33, {{"ND1", "CE1", "NE2"}, {"CE1", "NE2", "CD2"}}, {108.0, 108.0}},
        {TRP, "NE1", "CE2", 1.37, {{"CD1", "NE1", "CE2"}, {"NE1", "CE2", "CD2"}}, {108.0, 108.0}},
        {TRP, "CZ3", "CH2", 1.39, {{"CZ2", "CH2", "CZ3"}, {"CH2", "CZ3", "CE3"}}, {120.5, 120.5}},
    };
    for (const auto& c : closures) {
        SCOPED_TRACE(Residue::ResMap[c.type] + " " + c.a + "-" + c.b);
        const int t = c.type;
        for (int variant = 0; variant < 3; ++variant) {
            auto P = buildResidue(t, chiSet(t, variant));
            EXPECT_NEAR(P[slotOf(t, c.a)].dis(P[slotOf(t, c.b)]), c.length, 0.02);
            for (size_t q = 0; q < c.angles.size(); ++q) {
                const auto& n = c.angles[q];
                EXPECT_NEAR(angle(P[slotOf(t, n[0])], P[slotOf(t, n[1])], P[slotOf(t, n[2])]), c.angleValues[q], 2.5)
                    << n[0] << "-" << n[1] << "-" << n[2];
            }
            // CB and every ring atom (and Tyr OH) lie in one plane
            const Point &o = P[6], &p = P[7], &q = P[8];
            Point u(p.x - o.x, p.y - o.y, p.z - o.z), v(q.x - o.x, q.y - o.y, q.z - o.z), nrm;
            cross(u, v, nrm);
            double len = nrm.pabs();
            for (int j = 5; j <= Residue::lastDFire[t]; ++j) {
                Point w(P[j].x - o.x, P[j].y - o.y, P[j].z - o.z);
                EXPECT_LT(std::fabs((w ^ nrm) / len), 0.01) << Residue::cType[t][j];
            }
        }
    }
}

TEST_F(Templates, ProlineRingCloses) {
    // On a CB with the crystallographic N-CA-CB of 103.0 deg the ring closes
    // to the Engh & Huber geometry.
    const double a = Residue::bond_angle[PRO][2], b = Residue::bond_angle[PRO][5], want = 103.0 * DEG2RAD;
    const double realCB = std::acos((std::cos(want) - std::cos(a) * std::cos(b)) / (std::sin(a) * std::sin(b)));
    ProClosure real = closeProline(realCB);
    EXPECT_NEAR(real.dCDN, 1.473, 0.01);
    EXPECT_NEAR(real.aCGCDN, 103.2, 1.5);
    EXPECT_NEAR(real.aCDNCA, 112.0, 1.5);
    EXPECT_LT(real.chi1 * real.chi2, 0.0) << "a puckered ring has chi1 and chi2 of opposite sign";
    // On the builders' CB the ring still closes within bonding distance.
    ProClosure built = closeProline(CB_TORSION);
    EXPECT_NEAR(built.dCDN, 1.473, 0.03);
    EXPECT_GT(built.aCGCDN, 100.0);
    EXPECT_LT(built.aCGCDN, 112.0);
    EXPECT_GT(built.aCDNCA, 100.0);
    EXPECT_LT(built.aCDNCA, 116.0);
}

TEST_F(Templates, ResidueSizesCoverBuiltResidues) {
    EXPECT_EQ(Residue::sc_max_dis[GLY], 0.0);
    for (int t = 0; t < 20; ++t) {
        SCOPED_TRACE(Residue::ResMap[t]);
        EXPECT_GT(Residue::size[t], 1.0);
        if (t == GLY || t == PRO) continue;
        double scMax = 0.0, size = 0.0;
        unsigned seed = 12345u + t;
        for (int trial = 0; trial < 300; ++trial) {
            std::vector<double> chis = chiSet(t, 1);  // first trial fully extended
            for (int k = 0; k < PF::numChi[t] && trial > 0; ++k) {
                seed = seed * 1103515245u + 12345u;
                chis[k] = static_cast<double>((seed >> 8) % 360) - 180.0;
            }
            auto P = buildResidue(t, chis);
            double cx = 0, cy = 0, cz = 0;
            int n = 0;
            for (int j = 0; j <= Residue::lastDFire[t]; ++j) {
                if (!isRealHeavy(t, j)) continue;
                cx += P[j].x, cy += P[j].y, cz += P[j].z, ++n;
                if (j >= 5) scMax = std::max(scMax, P[j].dis(P[1]));
            }
            Point c(float(cx / n), float(cy / n), float(cz / n));
            for (int j = 0; j <= Residue::lastDFire[t]; ++j)
                if (isRealHeavy(t, j) && j != 3) size = std::max(size, P[j].dis(c));
        }
        EXPECT_GE(Residue::sc_max_dis[t], scMax - 0.05);
        EXPECT_LE(Residue::sc_max_dis[t], scMax + 0.3);
        EXPECT_GE(Residue::size[t], size - 0.3);
        EXPECT_GE(Residue::sc_size[t], 0.0);
        EXPECT_LE(Residue::sc_size[t], Residue::sc_max_dis[t]);
    }
}

// ---- data/dipole.fress -----------------------------------------------------

struct GroupAtom {
    int id = -1, count = 0;
    std::vector<int> nb;
    std::string label;
};
struct GroupRecord {
    std::string name;
    std::vector<GroupAtom> atoms;
};

// Parses the file with the loader's column rules: "RES" name after the first
// four characters; "ATO" id and count from the fifth character, neighbours
// and label from the thirteenth.
std::vector<GroupRecord> readDipoles(const std::string& path, std::vector<std::string>& problems) {
    std::vector<GroupRecord> recs;
    std::ifstream in(path);
    if (!in) {
        problems.push_back("cannot open " + path);
        return recs;
    }
    std::string line;
    int no = 0;
    while (std::getline(in, line)) {
        ++no;
        const std::string where = "line " + std::to_string(no) + ": ";
        if (line.size() >= 99) problems.push_back(where + "longer than the 100-character line buffer");
        if (line.compare(0, 3, "RES") == 0) {
            char name[64] = {};
            if (line.size() < 5 || std::sscanf(line.c_str() + 4, "%63s", name) != 1) problems.push_back(where + "no name");
            recs.push_back({name, {}});
            if (std::strlen(name) > 3) problems.push_back(where + "name longer than 3");
        } else if (line.compare(0, 3, "ATO") == 0) {
            if (recs.empty() || line.size() < 13) {
                problems.push_back(where + "ATO before RES or too short");
                continue;
            }
            GroupAtom g;
            char id[64] = {};
            if (std::sscanf(line.c_str() + 4, "%63s %d", id, &g.count) != 2) problems.push_back(where + "bad id/count");
            g.id = std::atoi(id);
            if (std::strlen(id) > 3 || std::to_string(g.id) != id) problems.push_back(where + "bad id token");
            std::istringstream rest(line.substr(12));
            std::vector<std::string> tok;
            for (std::string s; rest >> s;) tok.push_back(s);
            if (g.count < 1 || g.count > 3 || static_cast<int>(tok.size()) != g.count + 1) {
                problems.push_back(where + "neighbour count does not match the tokens");
                continue;
            }
            for (int q = 0; q < g.count; ++q) {
                g.nb.push_back(std::atoi(tok[q].c_str()));
                if (tok[q].size() > 3 || std::to_string(g.nb.back()) != tok[q]) problems.push_back(where + "bad neighbour");
            }
            g.label = tok.back();
            if (g.label.size() > 3) problems.push_back(where + "label longer than 3");
            recs.back().atoms.push_back(g);
        }
    }
    return recs;
}

int classIndex(const std::string& label) {
    for (int i = 0; i < 16; ++i)
        if (label == PF::atomtype[i]) return i;
    return -1;
}

TEST_F(Templates, DipoleRecordsParseAndMatchTemplates) {
    std::vector<std::string> problems;
    auto recs = readDipoles(sourcePath("data/dipole.fress"), problems);
    for (const auto& p : problems) ADD_FAILURE() << p;
    ASSERT_EQ(recs.size(), 20u) << "one record per residue type, in type order";
    for (int t = 0; t < 20; ++t) {
        const GroupRecord& r = recs[t];
        SCOPED_TRACE(Residue::ResMap[t]);
        EXPECT_EQ(r.name, Residue::Name3[t]);
        EXPECT_LE(r.atoms.size(), 20u);
        std::set<int> want{0, 2, 3}, got;
        for (int j = 5; j <= Residue::lastDFire[t]; ++j)
            if (isRealHeavy(t, j)) want.insert(j);
        const auto& P = idealResidue(t);
        auto steps = bondSteps(t);
        for (const GroupAtom& g : r.atoms) {
            const std::string nm = g.id >= 0 && g.id < Residue::numAtom[t] ? Residue::cType[t][g.id] : "?";
            SCOPED_TRACE(nm);
            EXPECT_TRUE(got.insert(g.id).second) << "listed twice";
            EXPECT_GE(classIndex(g.label), 0) << g.label;
            const bool planar = g.label == "C" || g.label == "CG" || g.label == "N2";
            if (planar) {
                EXPECT_EQ(g.count, 2);
            }
            for (int n : g.nb) {
                ASSERT_TRUE(n >= 0 && n < Residue::numAtom[t]) << n;
                EXPECT_TRUE(isRealHeavy(t, n)) << "neighbour " << Residue::cType[t][n] << " is not in heavy-atom files";
                EXPECT_NE(n, g.id);
                // bonded, or (second point of a planar group) two bonds away
                EXPECT_LE(steps[g.id][n], planar ? 2 : 1) << Residue::cType[t][n];
            }
            if (planar && g.count == 2) {
                const Point &o = P[g.id], &p = P[g.nb[0]], &q = P[g.nb[1]];
                Point u(p.x - o.x, p.y - o.y, p.z - o.z), v(q.x - o.x, q.y - o.y, q.z - o.z), nrm;
                cross(u, v, nrm);
                EXPECT_GT(nrm.pabs(), 0.5) << "neighbours do not span a plane";
            }
        }
        EXPECT_EQ(got, want);
    }
    // the reader relabels the last residue's C as "CG": it must list CA and O
    for (int t = 0; t < 20; ++t) {
        for (const GroupAtom& g : recs[t].atoms) {
            if (g.id != 2) continue;
            EXPECT_EQ(g.nb, (std::vector<int>{1, 3})) << Residue::Name3[t];
            EXPECT_EQ(g.label, "C");
        }
    }
}

// Classes must describe the chemistry the van der Waals codes describe.
TEST_F(Templates, DipoleClassesAgreeWithAtomCodes) {
    std::vector<std::string> problems;
    auto recs = readDipoles(sourcePath("data/dipole.fress"), problems);
    ASSERT_EQ(recs.size(), 20u);
    const std::vector<std::pair<std::string, std::set<int>>> allowed = {
        {"C3", {5}},      {"C2", {4}},        {"C1", {3}},        {"CR", {2, 6}}, {"C", {1, 18}},
        {"CG", {18}},     {"O", {14, 15}},    {"OC", {20}},       {"OG", {13}},   {"N2", {10, 12}},
        {"NE", {7, 9, 12, 17}}, {"N3", {11}}, {"SG", {16}},       {"SD", {8}},
    };
    for (int t = 0; t < 20; ++t) {
        for (const GroupAtom& g : recs[t].atoms) {
            auto it = std::find_if(allowed.begin(), allowed.end(), [&](const auto& a) { return a.first == g.label; });
            ASSERT_NE(it, allowed.end()) << "class " << g.label << " used for " << Residue::Name3[t];
            EXPECT_TRUE(it->second.count(Residue::vdwType[t][g.id]))
                << Residue::Name3[t] << " " << Residue::cType[t][g.id] << " class " << g.label << " code "
                << Residue::vdwType[t][g.id];
        }
    }
}

// A real, well-refined chain: every bond of the template graph (ring
// closures included) lies near its ideal template distance.
TEST_F(Templates, RealChainBondsMatchTemplate) {
    Structure s(1500);
    std::string log;
    ASSERT_TRUE(readText(s, slurp(sourcePath("examples/5p21.pdb")), &log, "5p21.pdb")) << log;
    int checked = 0;
    for (int i = 1; i <= s._numRes; ++i) {
        const Residue& r = s.residues[i];
        const int t = r.type;
        if (t < 0 || t >= 20) continue;
        const auto& ideal = idealResidue(t);
        for (auto [a, b] : bondsOf(t)) {
            if (!isRealHeavy(t, a) || !isRealHeavy(t, b)) continue;
            if (r.atoms[a].type == ABSENT || r.atoms[b].type == ABSENT) continue;
            double d = r.atoms[a].dis(r.atoms[b]);
            EXPECT_NEAR(d, ideal[a].dis(ideal[b]), 0.08)
                << Residue::Name3[t] << " " << r.pdbNum << " " << Residue::cType[t][a] << "-" << Residue::cType[t][b];
            ++checked;
        }
    }
    EXPECT_GT(checked, 1000);
}

// Fixed dihedrals (branch points, ring atoms, carboxylate and amide partners)
// decide which atom gets which PDB name; a mirrored branch keeps every bond
// length but puts CG2 where a real structure has CG1.
TEST_F(Templates, RealChainFixedDihedralsMatchTemplate) {
    Structure s(1500);
    std::string log;
    ASSERT_TRUE(readText(s, slurp(sourcePath("examples/5p21.pdb")), &log, "5p21.pdb")) << log;
    std::set<std::string> seen;
    for (int i = 1; i <= s._numRes; ++i) {
        const Residue& r = s.residues[i];
        const int t = r.type;
        if (t < 0 || t >= 20) continue;
        for (int j = 6; j <= Residue::lastDFire[t]; ++j) {
            if (Residue::torsion[t][j] == FREE_CHI) continue;
            const int* q = Residue::prev_atom[t][j];
            if (r.atoms[j].type == ABSENT || r.atoms[q[0]].type == ABSENT || r.atoms[q[1]].type == ABSENT ||
                r.atoms[q[2]].type == ABSENT)
                continue;
            double d = wrapDeg(Torsion(r.atoms[q[0]], r.atoms[q[1]], r.atoms[q[2]], r.atoms[j]) - torsionDeg(t, j));
            // older entries name the two guanidinium NH2 groups the other way round
            if (t == ARG && Residue::cType[t][j] == "NH1") d = std::min(std::fabs(d), 180.0 - std::fabs(d));
            EXPECT_NEAR(d, 0.0, 12.0)
                << Residue::Name3[t] << " " << r.pdbNum << " " << Residue::cType[t][j];
            seen.insert(Residue::Name3[t] + Residue::cType[t][j]);
        }
    }
    for (const char* k : {"ILECG2", "THRCG2", "VALCG2", "LEUCD2", "HISNE2", "ASPOD2", "PHECZ", "TYROH"})
        EXPECT_TRUE(seen.count(k)) << k << " not checked";
}

}  // namespace
