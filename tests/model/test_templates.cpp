// Residue templates (data/atomProp2.txt): every residue is built from its
// template with calCo and measured back, so wrong references, ring geometry,
// chi bookkeeping or type codes show up as numbers, not only as format errors.
#include <algorithm>
#include <cmath>
#include <set>

#include "model/geometry.h"
#include "model/model_support.h"
#include "potentials/pf.h"

using namespace lorvane;

using namespace model_test;

namespace {

constexpr double CB_TORSION = 2.138900998319049;  // N-C-CA-CB used by the backbone builders

bool isH(int t, int j) { return j == 4 || j > Residue::lastDFire[t]; }
// Heavy atoms that heavy-atom-only PDB files carry (glycine's CB is virtual).
bool isRealHeavy(int t, int j) { return !isH(t, j) && !(t == GLY && j == 5); }
int slotOf(int t, const std::string& name) {
    for (int j = 0; j < Residue::numAtom[t]; ++j)
        if (Residue::cType[t][j] == name) return j;
    return -1;
}
double wrapDeg(double d) { return std::remainder(d, 360.0); }

// Bonds of one residue: each slot to its third reference slot, plus the ring closures.
std::vector<std::pair<int, int>> bondsOf(int t) {
    std::vector<std::pair<int, int>> b;
    for (int j = 1; j < Residue::numAtom[t]; ++j)
        if (!(t == GLY && j == 5) && !(t == PRO && j == 4)) b.emplace_back(Residue::prev_atom[t][j][2], j);
    if (t == PRO) b.emplace_back(0, 7);
    if (t == PHE || t == TYR) b.emplace_back(10, 11);
    if (t == HIS || t == TRP) b.emplace_back(9, 10);
    if (t == TRP) b.emplace_back(13, 14);
    return b;
}

// Every template slot of type t: backbone from the template's own values, CB
// with the builders' dihedral, the side chain with calCo and chi k = chiDeg[k].
std::vector<Point> buildResidue(int t, const std::vector<double>& chiDeg, double cbTorsion = CB_TORSION) {
    const double* L = Residue::bond_length[t];
    const double* A = Residue::bond_angle[t];
    std::vector<Point> P(Residue::numAtom[t]);
    P[1] = Point(static_cast<float>(L[1]), 0, 0);
    P[2] = Point(static_cast<float>(L[1] - L[2] * std::cos(A[2])), static_cast<float>(L[2] * std::sin(A[2])), 0);
    calCo(P[0], P[1], P[2], L[3], A[3], 2.0 + PI, P[3]);
    Point cprev, caprev;  // amide H from CA(i-1), C(i-1) and N, dihedral 0
    calCo(P[2], P[1], P[0], L[0], A[1], -1.1, cprev);
    calCo(P[1], P[0], cprev, L[2], A[0], PI, caprev);
    calCo(caprev, cprev, P[0], L[4], A[4], 0.0, P[4]);
    calCo(P[0], P[2], P[1], L[5], A[5], cbTorsion, P[5]);
    size_t k = 0;
    for (int j = 6; j < Residue::numAtom[t]; ++j) {
        const int* r = Residue::prev_atom[t][j];
        const double tau = Residue::torsion[t][j] == FREE_CHI ? chiDeg.at(k++) * DEG2RAD : Residue::torsion[t][j];
        calCo(P[r[0]], P[r[1]], P[r[2]], L[j], A[j], tau, P[j]);
    }
    return P;
}

std::vector<double> chiSet(int t, int variant) {
    static const double table[3][5] = {{-65, 178, 62, -175, 70}, {180, 180, 180, 180, 180}, {62, -85, -60, 100, -170}};
    return std::vector<double>(table[variant], table[variant] + PF::numChi[t]);
}

class Templates : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(templatesLoaded()) << "data/atomProp2.txt is missing"; }
};

TEST_F(Templates, NamesCodesReferencesAndChis) {
    const char* bb[6] = {"N", "CA", "C", "O", "H", "CB"};
    const std::set<int> nCodes{7, 9, 10, 11, 12, 17}, oCodes{13, 14, 15, 20};
    for (int t = 0; t < 20; ++t) {
        SCOPED_TRACE(Residue::ResMap[t]);
        EXPECT_EQ(Residue::Name1[t], std::string(1, "ACDEFGHIKLMNPQRSTVWY"[t]));
        ASSERT_LE(Residue::numAtom[t], MAX_ATOMS);
        // Backbone values near Engh & Huber (1991): C-N, N-CA, CA-C, C=O, N-H, CA-CB.
        const double lo[6] = {1.31, 1.44, 1.50, 1.22, 0.95, 1.51}, hi[6] = {1.35, 1.48, 1.54, 1.25, 1.05, 1.55};
        for (int j = 0; j < 6; ++j) EXPECT_TRUE(Residue::bond_length[t][j] > lo[j] && Residue::bond_length[t][j] < hi[j]) << bb[j];
        EXPECT_NEAR(Residue::bond_angle[t][2] / DEG2RAD, 111, 2.5);
        EXPECT_NEAR(Residue::torsion[t][5], CB_TORSION, 1e-9);
        std::set<std::string> names;
        int chis = 0, heavyChis = 0, prevChi = -1;
        for (int j = 0; j < Residue::numAtom[t]; ++j) {
            const std::string& nm = Residue::cType[t][j];
            const int code = Residue::vdwType[t][j];
            const int* r = Residue::prev_atom[t][j];
            if (j < 6) {
                EXPECT_EQ(nm, bb[j]);
            }
            EXPECT_TRUE(names.insert(nm).second) << "duplicate atom " << nm;
            EXPECT_EQ(Residue::AtomMap[Residue::Name1[t] + nm], j);
            // Codes agree with elements: hydrogen radii and hydrogen bonds are looked up by them.
            if (isH(t, j)) {  // polar hydrogens only, on donors
                EXPECT_EQ(nm[0], 'H') << j;
                EXPECT_GE(code, 22) << nm;
                if (!(t == PRO && j == 4)) {
                    EXPECT_EQ(Atom::donor[Residue::vdwType[t][r[2]]], 1) << nm;
                }
            } else if (isRealHeavy(t, j)) {
                EXPECT_TRUE(code >= 1 && code <= 20) << nm;
                EXPECT_EQ(nCodes.count(code) == 1, nm[0] == 'N') << nm;
                EXPECT_EQ(oCodes.count(code) == 1, nm[0] == 'O') << nm;
                if (nm[0] == 'O') {
                    EXPECT_EQ(Atom::acceptor[code], 1) << nm;
                }
            }
            if (j < 6) continue;
            for (int q = 0; q < 3; ++q) EXPECT_LT(r[q], j) << nm;
            EXPECT_FALSE(isH(t, r[2])) << "built on a hydrogen: " << nm;
            if (Residue::torsion[t][j] != FREE_CHI) continue;
            ++chis;
            if (j > Residue::lastDFire[t]) continue;
            ++heavyChis;  // heavy chis chain N-CA-CB-X1-X2...: chi k+1 is built on chi k's atom
            const int want[3] = {prevChi < 0 ? 0 : Residue::prev_atom[t][prevChi][1], prevChi < 0 ? 1 : Residue::prev_atom[t][prevChi][2],
                                 prevChi < 0 ? 5 : prevChi};
            for (int q = 0; q < 3; ++q) EXPECT_EQ(r[q], want[q]) << nm;
            prevChi = j;
        }
        EXPECT_EQ(chis, PF::numChi[t]);
        EXPECT_EQ(heavyChis, Residue::numTorAng[t]);
    }
    for (const char* nm : {"OD1", "OD2"}) EXPECT_EQ(Residue::vdwType[ASP][slotOf(ASP, nm)], 20) << nm;  // carboxylate = OXT code
    EXPECT_EQ(Residue::vdwType[GLY][5], 21);  // glycine's virtual CB keeps the placeholder code
}

// Every slot, built from the template with three chi sets, has the template's
// length, angle and dihedral; every bond (ring closures included) has a
// bonding length and atoms three or more bonds apart do not overlap.
TEST_F(Templates, BuiltResiduesReproduceTemplateValues) {
    for (int t = 0; t < 20; ++t) {
        SCOPED_TRACE(Residue::ResMap[t]);
        const int n = Residue::numAtom[t];
        std::vector<std::vector<int>> steps(n, std::vector<int>(n, 99));
        for (int i = 0; i < n; ++i) steps[i][i] = 0;
        for (auto [a, b] : bondsOf(t)) steps[a][b] = steps[b][a] = 1;
        for (int k = 0; k < n; ++k)
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) steps[i][j] = std::min(steps[i][j], steps[i][k] + steps[k][j]);
        for (int variant = 0; variant < 3; ++variant) {
            const auto chis = chiSet(t, variant);
            const auto P = buildResidue(t, chis);
            size_t k = 0;
            for (int j = 6; j < n; ++j) {
                const int* r = Residue::prev_atom[t][j];
                const std::string& nm = Residue::cType[t][j];
                EXPECT_NEAR(P[r[2]].dis(P[j]), Residue::bond_length[t][j], 1e-4) << nm;
                EXPECT_NEAR(angle(P[r[1]], P[r[2]], P[j]), Residue::bond_angle[t][j] / DEG2RAD, 0.02) << nm;
                const bool chi = Residue::torsion[t][j] == FREE_CHI;
                const double want = chi ? chis[k++] : Residue::torsion[t][j] / DEG2RAD;
                EXPECT_NEAR(wrapDeg(Torsion(P[r[0]], P[r[1]], P[r[2]], P[j]) - want), 0.0, 0.02) << nm;
                if (chi) {  // measured back as cal_sc_angles does
                    EXPECT_NEAR(wrapDeg(Torsion(P[j], P[r[2]], P[r[1]], P[r[0]]) - want), 0.0, 0.02) << nm;
                }
            }
            if (t == PRO) continue;  // its ring closes only for matching chis (own test)
            for (auto [a, b] : bondsOf(t)) {
                const double d = P[a].dis(P[b]);
                const bool h = isH(t, a) || isH(t, b), s = Residue::cType[t][a][0] == 'S' || Residue::cType[t][b][0] == 'S';
                EXPECT_TRUE(h ? d > 0.95 && d < 1.05 : s ? d > 1.75 && d < 1.85 : d > 1.22 && d < 1.55)
                    << Residue::cType[t][a] << "-" << Residue::cType[t][b] << " " << d;
            }
            for (int a = 5; a < n; ++a)
                for (int b = a + 1; b < n; ++b)
                    if (!(t == GLY && a == 5) && steps[a][b] >= 3) {
                        EXPECT_GT(P[a].dis(P[b]), isH(t, a) || isH(t, b) ? 1.6 : 2.4)
                            << Residue::cType[t][a] << "..." << Residue::cType[t][b] << " chi set " << variant;
                    }
        }
    }
}

// Ring closures: the closing bond and angles and planarity of the aromatic
// rings; proline's ring closes to Engh & Huber geometry for some chi1, chi2.
TEST_F(Templates, RingClosures) {
    struct Closure {
        int type;
        const char *a, *b, *before, *after;  // angles before-a-b and a-b-after
        double length, angle;
    };
    for (const Closure& c : {Closure{PHE, "CE2", "CZ", "CD2", "CE1", 1.39, 120.0}, Closure{TYR, "CE2", "CZ", "CD2", "CE1", 1.39, 120.0},
                             Closure{HIS, "CE1", "NE2", "ND1", "CD2", 1.33, 108.0}, Closure{TRP, "NE1", "CE2", "CD1", "CD2", 1.37, 108.0},
                             Closure{TRP, "CZ3", "CH2", "CE3", "CZ2", 1.39, 120.5}}) {
        SCOPED_TRACE(Residue::ResMap[c.type] + " " + c.a + "-" + c.b);
        const int t = c.type, a = slotOf(t, c.a), b = slotOf(t, c.b);
        for (int variant = 0; variant < 3; ++variant) {
            const auto P = buildResidue(t, chiSet(t, variant));
            EXPECT_NEAR(P[a].dis(P[b]), c.length, 0.02);
            EXPECT_NEAR(angle(P[slotOf(t, c.before)], P[a], P[b]), c.angle, 2.5);
            EXPECT_NEAR(angle(P[a], P[b], P[slotOf(t, c.after)]), c.angle, 2.5);
            Point u(P[7].x - P[6].x, P[7].y - P[6].y, P[7].z - P[6].z), v(P[8].x - P[6].x, P[8].y - P[6].y, P[8].z - P[6].z), nrm;
            cross(u, v, nrm);
            for (int j = 5; j <= Residue::lastDFire[t]; ++j) {  // CB, the ring (and Tyr OH) in one plane
                Point w(P[j].x - P[6].x, P[j].y - P[6].y, P[j].z - P[6].z);
                EXPECT_LT(std::fabs((w ^ nrm) / nrm.pabs()), 0.01) << Residue::cType[t][j];
            }
        }
    }
    // Proline: least squares on CD-N 1.473 A, CG-CD-N 103.2, CD-N-CA 112.0 deg over chi1, chi2.
    auto closeProline = [](double cbTorsion, double& dCDN, double& aCGCDN, double& aCDNCA, double& chi1chi2) {
        double best = 1e30;
        for (int c1 = -45; c1 <= 45; ++c1)
            for (int c2 = -50; c2 <= 50; ++c2) {
                const auto P = buildResidue(PRO, {double(c1), double(c2)}, cbTorsion);
                const double d = P[7].dis(P[0]), a1 = angle(P[6], P[7], P[0]), a2 = angle(P[7], P[0], P[1]);
                const double s = std::pow((d - 1.473) / 0.01, 2) + std::pow(a1 - 103.2, 2) + std::pow(a2 - 112.0, 2);
                if (s < best) best = s, dCDN = d, aCGCDN = a1, aCDNCA = a2, chi1chi2 = double(c1) * c2;
            }
    };
    // On a CB with the crystallographic N-CA-CB of 103.0 deg the ring closes puckered.
    const double a = Residue::bond_angle[PRO][2], b = Residue::bond_angle[PRO][5], want = 103.0 * DEG2RAD;
    double d, a1, a2, c12;
    closeProline(std::acos((std::cos(want) - std::cos(a) * std::cos(b)) / (std::sin(a) * std::sin(b))), d, a1, a2, c12);
    EXPECT_NEAR(d, 1.473, 0.01);
    EXPECT_NEAR(a1, 103.2, 1.5);
    EXPECT_NEAR(a2, 112.0, 1.5);
    EXPECT_LT(c12, 0.0) << "a puckered ring has chi1 and chi2 of opposite sign";
    closeProline(CB_TORSION, d, a1, a2, c12);  // on the builders' CB it still closes within bonding distance
    EXPECT_NEAR(d, 1.473, 0.03);
    EXPECT_TRUE(a1 > 100.0 && a1 < 112.0 && a2 > 100.0 && a2 < 116.0) << a1 << " " << a2;
}

// The size records cover every built conformation (they decide neighbour lists).
TEST_F(Templates, ResidueSizesCoverBuiltResidues) {
    for (int t = 0; t < 20; ++t) {
        if (t == GLY || t == PRO) continue;
        double scMax = 0.0, size = 0.0;
        unsigned seed = 12345u + t;
        for (int trial = 0; trial < 300; ++trial) {
            std::vector<double> chis = chiSet(t, 1);  // first trial fully extended
            for (int k = 0; k < PF::numChi[t] && trial > 0; ++k) chis[k] = double(((seed = seed * 1103515245u + 12345u) >> 8) % 360) - 180.0;
            const auto P = buildResidue(t, chis);
            Point c(0, 0, 0);
            std::vector<int> heavy;
            for (int j = 0; j <= Residue::lastDFire[t]; ++j)
                if (isRealHeavy(t, j)) heavy.push_back(j), c.x += P[j].x, c.y += P[j].y, c.z += P[j].z;
            c.divide(double(heavy.size()));
            for (int j : heavy) scMax = std::max(scMax, j >= 5 ? P[j].dis(P[1]) : 0.0), size = std::max(size, j != 3 ? P[j].dis(c) : 0.0);
        }
        EXPECT_TRUE(Residue::sc_max_dis[t] >= scMax - 0.05 && Residue::sc_max_dis[t] <= scMax + 0.3) << Residue::ResMap[t] << " " << scMax;
        EXPECT_GE(Residue::size[t], size - 0.3) << Residue::ResMap[t];
        EXPECT_TRUE(Residue::sc_size[t] >= 0.0 && Residue::sc_size[t] <= Residue::sc_max_dis[t]) << Residue::ResMap[t];
    }
}

// A real, well-refined chain: template bonds (ring closures included) lie
// near their ideal lengths, fixed dihedrals match (a mirrored branch puts CG2
// where CG1 belongs), and side chains rebuilt by calSCCoHeavy from the chis
// cal_sc_angles measures land on the input atoms.
TEST_F(Templates, RealChainMatchesAndIsRebuiltFromTemplates) {
    Structure s(1500);
    std::string log;
    ASSERT_TRUE(readText(s, slurp(sourcePath("examples/5p21.pdb")), &log, "5p21.pdb")) << log;
    EXPECT_EQ(Structure::_sequence.substr(0, 10), "MTEYKLVVVG");
    Structure deg(s);
    cal_sc_angles(deg, 1, deg._numRes);  // the range form measures degrees
    int bonds = 0, rebuilt = 0;
    double sum2 = 0.0;
    std::set<std::string> seen;
    for (int i = 1; i <= s._numRes; ++i) {
        const Residue orig = s.residues[i];
        const int t = orig.type;
        SCOPED_TRACE(Residue::Name3[t] + " " + std::to_string(orig.pdbNum));
        const auto ideal = buildResidue(t, chiSet(t, 0));
        auto present = [&](int j) { return orig.atoms[j].type != ABSENT; };
        for (auto [a, b] : bondsOf(t)) {
            if (!isRealHeavy(t, a) || !isRealHeavy(t, b) || !present(a) || !present(b) || (t == PRO && (a == 0 || b == 7))) continue;
            EXPECT_NEAR(orig.atoms[a].dis(orig.atoms[b]), ideal[a].dis(ideal[b]), 0.08) << Residue::cType[t][b];
            ++bonds;
        }
        for (int j = 6; j <= Residue::lastDFire[t]; ++j) {
            const int* q = Residue::prev_atom[t][j];
            if (Residue::torsion[t][j] == FREE_CHI || !present(j) || !present(q[0]) || !present(q[1]) || !present(q[2])) continue;
            double d = wrapDeg(Torsion(orig.atoms[q[0]], orig.atoms[q[1]], orig.atoms[q[2]], orig.atoms[j]) - Residue::torsion[t][j] / DEG2RAD);
            // older entries name the two guanidinium NH2 groups the other way round
            if (t == ARG && Residue::cType[t][j] == "NH1") d = std::min(std::fabs(d), 180.0 - std::fabs(d));
            EXPECT_NEAR(d, 0.0, 12.0) << Residue::cType[t][j];
            seen.insert(Residue::Name3[t] + Residue::cType[t][j]);
        }
        if (orig.missingHeavy) continue;
        if (t != GLY && t != ALA) {
            EXPECT_NEAR(orig.sc.dis(orig.atoms[1]), Atom::R_SC[t], 1e-4) << "side-chain pseudo atom";
        }
        Residue r = orig;
        cal_sc_angles(r);
        for (int k = 0; k < Residue::numTorAng[t]; ++k) EXPECT_NEAR(r.chi[k], deg.residues[i].chi[k] * DEG2RAD, 1e-9);
        for (int j = 6; j < MAX_ATOMS; ++j) r.atoms[j].CopyPos(Point(50, 50, 50));
        s.calSCCoHeavy(i, r.chi, r);
        EXPECT_EQ(r.numAtoms, Residue::numAtom[t]);
        int k = 0;
        for (int j = 6; j < MAX_ATOMS; ++j) {
            if (j > Residue::lastDFire[t]) {
                EXPECT_EQ(r.atoms[j].x, 50.0f) << "slot " << j << " must stay untouched";
                continue;
            }
            const int* q = Residue::prev_atom[t][j];
            const double dih = Residue::torsion[t][j] == FREE_CHI ? r.chi[k++] : Residue::torsion[t][j];
            EXPECT_NEAR(wrapDeg(Torsion(r.atoms[q[0]], r.atoms[q[1]], r.atoms[q[2]], r.atoms[j]) - dih / DEG2RAD), 0.0, 0.02) << j;
            const double d = r.atoms[j].dis(orig.atoms[j]);
            if (j == 6) {
                EXPECT_LT(d, 0.35) << "first side-chain atom far from the input";
            }
            if (!(t == ARG && j >= 10)) sum2 += d * d, ++rebuilt;  // Arg NH1/NH2 may be swapped
        }
    }
    EXPECT_GT(bonds, 1000);
    for (const char* k : {"ILECG2", "THRCG2", "VALCG2", "LEUCD2", "HISNE2", "ASPOD2", "PHECZ", "TYROH"}) EXPECT_TRUE(seen.count(k)) << k;
    ASSERT_GT(rebuilt, 300);
    EXPECT_LT(std::sqrt(sum2 / rebuilt), 0.35) << "rebuilt side chains drift from the input";
}

}  // namespace
