// Backbone builders measured back with the geometry primitives: the residue
// builders must realise the requested bond lengths, angles and dihedrals, and
// the table-driven set builders must agree with calCo bin by bin.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "build/builders.h"
#include "support/support.h"

using namespace lorvane;
using lorvane_test::tmpl;

namespace {

constexpr double CB_TAU = CB_DIHEDRAL;
double dihedralDiff(double a, double b) {  // degrees, wrapped to [0, 180]
    double d = std::fmod(std::fabs(a - b), 360.0);
    return d > 180.0 ? 360.0 - d : d;
}
double deg(double rad) { return rad * RAD2DEG; }

// Layout of the candidate sets, written out independently of candPointIndex: psi-major.
size_t cand(int phiBin, int psiBin) { return (72 * static_cast<size_t>(psiBin) + phiBin) * 6; }

#define EXPECT_NEAR_PT(p, q, tol)                                   \
    do {                                                            \
        EXPECT_LT((p).dis(q), (tol)) << "at " << __LINE__;          \
    } while (0)

class Builders : public ::testing::Test {
protected:
    const double (&bl)[NUM_TYPES][MAX_ATOMS] = tmpl().bondLength;
    const double (&ba)[NUM_TYPES][MAX_ATOMS] = tmpl().bondAngle;

    // Chain of the given types grown forward from the seed residues.
    static Structure grow(const std::vector<int>& types, const std::vector<double>& phi, const std::vector<double>& psi,
                          const std::vector<double>& omega, double tau) {
        Structure s(static_cast<int>(types.size()));
        for (size_t q = 0; q < types.size(); ++q) s[q + 1].type = static_cast<int16_t>(types[q]);
        for (size_t q = 0; q + 1 < types.size(); ++q) {
            int i = static_cast<int>(q) + 1;
            calBBCo(tmpl(), s, i, s[i], s[i + 1], phi[q], psi[q], omega[q], tau, true);
        }
        return s;
    }
    static Structure alaChain() {
        return grow({ALA, ALA, ALA, ALA, ALA}, {-1.2, -1.1, -2.4, 1.0}, {2.3, -0.7, 2.5, 0.6}, {PI, PI, 3.05, PI},
                    111.2 * DEG2RAD);
    }
};

TEST_F(Builders, ForwardBuilderRealisesInternalCoordinates) {
    const std::vector<int> types = {SER, LEU, PRO, GLY, VAL, ALA};
    const std::vector<double> phi = {-1.1, -2.5, -1.2, 1.4, -2.0}, psi = {-0.8, 2.4, 2.7, -3.0, 0.3},
                              omega = {PI, 3.0, 0.05, -3.1, PI};
    const double tau = 1.95;
    Structure s = grow(types, phi, psi, omega, tau);
    for (int i = 1; i <= 5; ++i) {
        SCOPED_TRACE(i);
        const Residue &p = s[i - 1], &r = s[i], &n = s[i + 1];
        const int t = r.type, u = n.type;
        EXPECT_LT(dihedralDiff(Torsion(p.atoms[2], r.atoms[0], r.atoms[1], r.atoms[2]), deg(phi[i - 1])), 0.05);
        EXPECT_LT(dihedralDiff(Torsion(r.atoms[0], r.atoms[1], r.atoms[2], n.atoms[0]), deg(psi[i - 1])), 0.05);
        EXPECT_LT(dihedralDiff(Torsion(r.atoms[1], r.atoms[2], n.atoms[0], n.atoms[1]), deg(omega[i - 1])), 0.05);
        EXPECT_LT(dihedralDiff(Torsion(r.atoms[0], r.atoms[1], r.atoms[2], r.atoms[3]), deg(psi[i - 1] + PI)), 0.05);
        EXPECT_LT(dihedralDiff(Torsion(r.atoms[1], r.atoms[2], n.atoms[0], n.atoms[4]), 0.0), 0.05);
        EXPECT_NEAR(angle(r.atoms[0], r.atoms[1], r.atoms[2]), deg(tau), 0.02);
        EXPECT_NEAR(angle(r.atoms[1], r.atoms[2], r.atoms[3]), deg(ba[t][3]), 0.02);
        EXPECT_NEAR(angle(r.atoms[1], r.atoms[2], n.atoms[0]), deg(ba[u][0]), 0.02);
        EXPECT_NEAR(angle(r.atoms[2], n.atoms[0], n.atoms[1]), deg(ba[u][1]), 0.02);
        EXPECT_NEAR(angle(r.atoms[2], n.atoms[0], n.atoms[4]), deg(ba[u][4]), 0.02);
        EXPECT_NEAR(r.atoms[1].dis(r.atoms[2]), bl[t][2], 1e-3);
        EXPECT_NEAR(r.atoms[2].dis(r.atoms[3]), bl[t][3], 1e-3);
        EXPECT_NEAR(r.atoms[2].dis(n.atoms[0]), bl[u][0], 1e-3);
        EXPECT_NEAR(n.atoms[0].dis(n.atoms[1]), bl[u][1], 1e-3);
        EXPECT_NEAR(n.atoms[0].dis(n.atoms[4]), bl[u][4], 1e-3);
        if (t == GLY) {
            EXPECT_EQ(r.numAtoms, 5);
            continue;
        }
        EXPECT_EQ(r.numAtoms, 6);
        EXPECT_NEAR(r.atoms[1].dis(r.atoms[5]), bl[t][5], 1e-3);
        EXPECT_NEAR(angle(r.atoms[2], r.atoms[1], r.atoms[5]), deg(ba[t][5]), 0.02);
        EXPECT_LT(dihedralDiff(Torsion(r.atoms[0], r.atoms[2], r.atoms[1], r.atoms[5]), deg(CB_TAU)), 0.05);
    }
}

TEST_F(Builders, GlycineKeepsFiveAtomsAndNoCB) {
    Structure s = alaChain();
    s[3].type = GLY;
    s[3].numAtoms = static_cast<int16_t>(tmpl().numAtom[GLY]);
    s[3].atoms[5] = Point(7, 7, 7);
    Structure r = s;
    calBBCo(tmpl(), s, 3, s[3], s[4], -1.0, 2.0, PI, 1.94, true);
    EXPECT_EQ(s[3].numAtoms, 5);
    EXPECT_EQ(s[3].atoms[5].x, 7.0f);
    calBBCoR(tmpl(), r, 3, r[3], r[2], -1.0, 2.0, PI, 1.94, true);
    EXPECT_EQ(r[3].numAtoms, 5);
    EXPECT_EQ(r[3].atoms[5].x, 7.0f);
}

TEST_F(Builders, ScratchModeMatchesIntoModeWithoutTouchingTheChain) {
    Structure s = alaChain();
    s[3].type = SER;
    Structure into = s;
    calBBCo(tmpl(), into, 3, into[3], into[4], -1.3, 2.2, 3.1, 1.9, true);
    Residue a = s[3], b = s[4];
    const Structure before = s;
    calBBCo(tmpl(), s, 3, a, b, -1.3, 2.2, 3.1, 1.9, false);
    for (int i = 0; i <= 5; ++i)
        for (int j = 0; j < 6; ++j) EXPECT_EQ(s[i].atoms[j].dis(before[i].atoms[j]), 0.0) << i << " " << j;
    EXPECT_NEAR_PT(a.atoms[2], into[3].atoms[2], 1e-6);
    EXPECT_NEAR_PT(a.atoms[3], into[3].atoms[3], 1e-6);
    EXPECT_NEAR_PT(a.atoms[5], into[3].atoms[5], 1e-6);
    EXPECT_NEAR_PT(a.atoms[0], into[4].atoms[0], 1e-6);  // N(i+1)
    EXPECT_NEAR_PT(a.atoms[1], into[4].atoms[1], 1e-6);  // CA(i+1)
    EXPECT_NEAR_PT(a.atoms[4], into[4].atoms[4], 1e-6);  // H(i+1)
    EXPECT_EQ(b.atoms[1].dis(before[4].atoms[1]), 0.0);

    Structure rinto = s;
    calBBCoR(tmpl(), rinto, 3, rinto[3], rinto[2], -1.3, 2.2, 3.1, 1.9, true);
    Residue ra = s[3], rb = s[2];
    calBBCoR(tmpl(), s, 3, ra, rb, -1.3, 2.2, 3.1, 1.9, false);
    EXPECT_NEAR_PT(ra.atoms[1], rinto[3].atoms[1], 1e-6);
    EXPECT_NEAR_PT(ra.atoms[0], rinto[3].atoms[0], 1e-6);
    EXPECT_NEAR_PT(ra.atoms[2], rinto[2].atoms[2], 1e-6);  // C(i-1)
    EXPECT_NEAR_PT(ra.atoms[3], rinto[2].atoms[3], 1e-6);  // O(i-1)
    EXPECT_NEAR_PT(ra.atoms[5], rinto[3].atoms[5], 1e-6);
    // CA(i-1) goes to b in both modes; in scratch mode it hangs on the CA(i) the chain still holds.
    Point expectCA;
    calCo(s[3].atoms[1], ra.atoms[0], ra.atoms[2], bl[SER][2], ba[SER][0], PI, expectCA);
    EXPECT_NEAR_PT(rb.atoms[1], expectCA, 1e-6);
}

TEST_F(Builders, BackwardBuilderRealisesAndInvertsForwardGeometry) {
    const std::vector<double> phi = {-1.2, -1.1, -2.4, 1.0, -1.5}, psi = {2.3, -0.7, 2.5, 0.6, 2.0};
    const std::vector<double> omega = {PI, PI, PI, PI, PI};
    const double tau = 1.93;
    const Structure ref = grow({ALA, THR, ASP, LYS, ALA, ALA}, phi, psi, omega, tau);
    for (int i = 3; i <= 5; ++i) {
        SCOPED_TRACE(i);
        Structure s = ref;
        const int t = s[i].type, u = s[i + 1].type;
        calBBCoR(tmpl(), s, i, s[i], s[i - 1], phi[i - 1], psi[i - 1], omega[i - 1], tau, true);
        const Residue &p = s[i - 1], &r = s[i], &n = s[i + 1];
        // Inverse of the forward step (templates of one type share the peptide geometry).
        EXPECT_NEAR_PT(r.atoms[1], ref[i].atoms[1], 2e-3);
        EXPECT_NEAR_PT(r.atoms[0], ref[i].atoms[0], 2e-3);
        EXPECT_NEAR_PT(p.atoms[2], ref[i - 1].atoms[2], 2e-3);
        EXPECT_NEAR_PT(r.atoms[5], ref[i].atoms[5], 2e-3);
        // Measured internal coordinates.
        EXPECT_LT(dihedralDiff(Torsion(n.atoms[1], n.atoms[0], r.atoms[2], r.atoms[1]), deg(omega[i - 1])), 0.05);
        EXPECT_LT(dihedralDiff(Torsion(p.atoms[2], r.atoms[0], r.atoms[1], r.atoms[2]), deg(phi[i - 1])), 0.05);
        EXPECT_LT(dihedralDiff(Torsion(r.atoms[0], r.atoms[1], r.atoms[2], n.atoms[0]), deg(psi[i - 1])), 0.05);
        EXPECT_LT(dihedralDiff(Torsion(r.atoms[1], r.atoms[0], p.atoms[2], p.atoms[3]), 0.0), 0.05);
        EXPECT_LT(dihedralDiff(Torsion(r.atoms[1], r.atoms[0], p.atoms[2], p.atoms[1]), 180.0), 0.05);
        EXPECT_NEAR(angle(r.atoms[0], r.atoms[1], r.atoms[2]), deg(tau), 0.02);
        EXPECT_NEAR(angle(n.atoms[0], r.atoms[2], r.atoms[1]), deg(ba[u][0]), 0.02);
        EXPECT_NEAR(angle(r.atoms[0], p.atoms[2], p.atoms[3]), deg(2.145), 0.02);
        EXPECT_NEAR(r.atoms[2].dis(r.atoms[1]), bl[t][2], 1e-3);
        EXPECT_NEAR(r.atoms[1].dis(r.atoms[0]), bl[t][1], 1e-3);
        EXPECT_NEAR(r.atoms[0].dis(p.atoms[2]), bl[t][0], 1e-3);
        EXPECT_NEAR(p.atoms[2].dis(p.atoms[3]), bl[t][3], 1e-3);
        EXPECT_NEAR(p.atoms[2].dis(p.atoms[1]), bl[t][2], 1e-3);
        EXPECT_NEAR(angle(r.atoms[0], p.atoms[2], p.atoms[1]), deg(ba[t][0]), 0.02);
        EXPECT_EQ(r.numAtoms, 6);
    }
}

// Every set builder against calCo for all 72 bins, and with step 6 only the coarse bins written.
TEST_F(Builders, SetBuildersAgreeWithCalCoForEveryBin) {
    const Structure s = alaChain();
    const Point &C1 = s[1].atoms[2], &N2 = s[2].atoms[0], &CA2 = s[2].atoms[1], &C2 = s[2].atoms[2], &N3 = s[3].atoms[0];
    struct Case {
        const char* name;
        void (*fn)(const Templates&, const Point&, const Point&, const Point&, Point*, int);
        Point A, B, C;
        double L, theta, shift;
    };
    const Case cases[] = {
        {"calCoCSet", calCoCSet, C1, N2, CA2, bl[0][2], ba[0][2], 0.0},
        {"calCoCSetR", calCoCSetR, C2, CA2, N2, bl[0][0], ba[0][1], 0.0},
        {"calCoNSet", calCoNSet, N2, CA2, C2, bl[0][0], ba[0][0], 0.0},
        {"calCoNSetR", calCoNSetR, N3, C2, CA2, bl[0][1], ba[0][2], 0.0},
        {"calCoONSet/N", nullptr, N2, CA2, C2, bl[0][0], ba[0][0], 0.0},
        {"calCoONSet/O", nullptr, N2, CA2, C2, bl[0][3], ba[0][3], PI},
    };
    for (int c = 0; c < 6; ++c) {
        const Case& k = cases[c];
        SCOPED_TRACE(k.name);
        for (int step : {1, 6}) {
            std::vector<Point> out(72, Point(99, 99, 99)), other(72, Point(99, 99, 99));
            if (k.fn)
                k.fn(tmpl(), k.A, k.B, k.C, out.data(), step);
            else if (c == 4)
                calCoONSet(tmpl(), k.A, k.B, k.C, out.data(), other.data(), step);
            else
                calCoONSet(tmpl(), k.A, k.B, k.C, other.data(), out.data(), step);
            for (int b = 0; b < 72; ++b) {
                if (b % step) {
                    EXPECT_EQ(out[b].x, 99.0f) << "bin " << b << " step " << step;
                    continue;
                }
                Point ref;
                calCo(k.A, k.B, k.C, k.L, k.theta, -PI + b * 0.08726646259971639 + k.shift, ref);
                EXPECT_LT(out[b].dis(ref), 1e-4) << "bin " << b << " step " << step;
            }
        }
    }
}

TEST_F(Builders, SingleAtomBuildersAgreeWithCalCo) {
    const Structure s = alaChain();
    const Point &N2 = s[2].atoms[0], &CA2 = s[2].atoms[1], &C2 = s[2].atoms[2], &N3 = s[3].atoms[0], &C1 = s[1].atoms[2];
    Point ref, ca, o;
    calCo(CA2, C2, N3, bl[0][1], ba[0][1], PI, ref);
    const Point trans = calCoCA(tmpl(), CA2, C2, N3);
    EXPECT_LT(trans.dis(ref), 1e-4);
    calCo(CA2, C2, N3, bl[0][1], ba[0][1], 0.0, ref);
    const Point cis = calCoCA0(tmpl(), CA2, C2, N3);
    EXPECT_LT(cis.dis(ref), 1e-4);
    calCoCAOR(tmpl(), CA2, N2, C1, ca, o);
    calCo(CA2, N2, C1, bl[0][2], ba[0][0], PI, ref);
    EXPECT_LT(ca.dis(ref), 1e-4);
    calCo(CA2, N2, C1, bl[0][3], 2.145, 0.0, ref);
    EXPECT_LT(o.dis(ref), 1e-4);
    calCo(N2, C2, CA2, bl[0][5], ba[0][5], CB_TAU, ref);
    EXPECT_LT(calCoCB(tmpl(), N2, C2, CA2).dis(ref), 1e-4);

    // Trans and cis lie in the plane of the references, on opposite sides of the
    // B-C axis: mirror images through the plane that holds B-C and stands
    // perpendicular to the reference plane; cis is the one near A.
    EXPECT_NEAR(trans.dis(N3), cis.dis(N3), 1e-4);
    EXPECT_NEAR(angle(C2, N3, trans), angle(C2, N3, cis), 0.01);
    EXPECT_LT(std::fabs(Torsion(CA2, C2, N3, cis)), 0.05);
    EXPECT_GT(std::fabs(Torsion(CA2, C2, N3, trans)), 179.95);
    EXPECT_LT(cis.dis(CA2), trans.dis(CA2));
    double e[3] = {N3.x - C2.x, N3.y - C2.y, N3.z - C2.z};
    double le = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
    for (double& v : e) v /= le;
    double dt[3] = {trans.x - N3.x, trans.y - N3.y, trans.z - N3.z}, dc[3] = {cis.x - N3.x, cis.y - N3.y, cis.z - N3.z};
    double at = dt[0] * e[0] + dt[1] * e[1] + dt[2] * e[2], ac = dc[0] * e[0] + dc[1] * e[1] + dc[2] * e[2];
    EXPECT_NEAR(at, ac, 1e-4);  // same position along the axis
    for (int d = 0; d < 3; ++d) EXPECT_NEAR(dt[d] - at * e[d], -(dc[d] - ac * e[d]), 1e-4);  // opposite across it
}

// All 5184 candidate bins against a per-bin reconstruction with calCo.
TEST_F(Builders, CandidateSetsMatchPerBinReconstruction) {
    const Structure s = alaChain();
    const int pos = 3;
    const Point &prevC = s[pos - 1].atoms[2], &N = s[pos].atoms[0], &CA = s[pos].atoms[1], &C = s[pos].atoms[2],
                &nextN = s[pos + 1].atoms[0];
    const double bin = 0.08726646259971639;
    std::vector<Point> fwd(BB_CAND_POINTS, Point(99, 99, 99)), bwd(BB_CAND_POINTS, Point(99, 99, 99));
    Structure copy = s;
    calBBCoNext(tmpl(), copy, pos, fwd.data(), 1);
    calBBCoNextR(tmpl(), copy, pos, bwd.data(), 1);
    double worst = 0.0;
    for (int a = 0; a < 72; ++a) {
        Point Ck, CB, Cr;
        calCo(prevC, N, CA, bl[0][2], ba[0][2], -PI + a * bin, Ck);
        calCo(N, Ck, CA, bl[0][5], ba[0][5], CB_TAU, CB);
        for (int b = 0; b < 72; ++b) {
            Point Nj, Oj, Nr, CBr;
            calCo(N, CA, Ck, bl[0][0], ba[0][0], -PI + b * bin, Nj);
            calCo(N, CA, Ck, bl[0][3], ba[0][3], b * bin, Oj);
            const Point* f = &fwd[cand(a, b)];
            worst = std::max({worst, f[0].dis(Nj), f[2].dis(Ck), f[3].dis(Oj), f[5].dis(CB)});
            ASSERT_EQ(f[1].x, 99.0f);
            ASSERT_EQ(f[4].x, 99.0f);
            calCo(nextN, C, CA, bl[0][1], ba[0][2], -PI + b * bin, Nr);
            calCo(C, CA, Nr, bl[0][0], ba[0][1], -PI + a * bin, Cr);
            calCo(Nr, C, CA, bl[0][5], ba[0][5], CB_TAU, CBr);
            const Point* r = &bwd[cand(a, b)];
            worst = std::max({worst, r[0].dis(Nr), r[2].dis(Cr), r[5].dis(CBr)});
            ASSERT_EQ(r[1].x, 99.0f);
            ASSERT_EQ(r[3].x, 99.0f);
        }
    }
    EXPECT_LT(worst, 1e-4);
    // The chain itself is read only.
    for (int j = 0; j < 6; ++j) EXPECT_EQ(copy[pos].atoms[j].dis(s[pos].atoms[j]), 0.0);

    // A candidate equals the residue builder's result for that bin (alanine uses the type-0 template).
    for (int k : {0, 1000, 2627, 5183}) {
        const int a = k / 72, b = k % 72;
        Structure one = s;
        calBBCo(tmpl(), one, pos, one[pos], one[pos + 1], -PI + a * bin, -PI + b * bin, PI, ba[0][2], true);
        const Point* f = &fwd[cand(a, b)];
        EXPECT_LT(f[0].dis(one[pos + 1].atoms[0]), 1e-4);
        EXPECT_LT(f[2].dis(one[pos].atoms[2]), 1e-4);
        EXPECT_LT(f[3].dis(one[pos].atoms[3]), 1e-4);
        EXPECT_LT(f[5].dis(one[pos].atoms[5]), 1e-4);
    }

    // Coarse grid: only bins 0, 6, ..., 66 in both angles are written.
    std::vector<Point> coarse(BB_CAND_POINTS, Point(99, 99, 99)), coarseR(BB_CAND_POINTS, Point(99, 99, 99));
    calBBCoNext(tmpl(), copy, pos, coarse.data(), 6);
    calBBCoNextR(tmpl(), copy, pos, coarseR.data(), 6);
    int written = 0, writtenR = 0;
    for (int a = 0; a < 72; ++a)
        for (int b = 0; b < 72; ++b) {
            const size_t i = cand(a, b);
            const bool on = a % 6 == 0 && b % 6 == 0;
            written += coarse[i].x != 99.0f;
            writtenR += coarseR[i].x != 99.0f;
            if (on) {
                EXPECT_LT(coarse[i].dis(fwd[i]), 1e-6);
                EXPECT_LT(coarseR[i + 2].dis(bwd[i + 2]), 1e-6);
            }
        }
    EXPECT_EQ(written, 144);
    EXPECT_EQ(writtenR, 144);
}

// With the N-CA-C angle given, the candidate sets realise it: forward
// N-CA-C(pos) and backward C-CA-N(pos) equal tau for every bin, the bond
// lengths keep the template's, and tau equal to the template angle gives the
// template builders' points exactly.
TEST_F(Builders, CandidateSetsWithAGivenNCACAngle) {
    const Structure s = alaChain();
    const int pos = 3;
    std::vector<Point> ref(BB_CAND_POINTS), refR(BB_CAND_POINTS), same(BB_CAND_POINTS), sameR(BB_CAND_POINTS);
    calBBCoNext(tmpl(), s, pos, ref.data(), 1);
    calBBCoNextR(tmpl(), s, pos, refR.data(), 1);
    calBBCoNext(tmpl(), s, pos, same.data(), 1, tmpl().bondAngle[0][2]);
    calBBCoNextR(tmpl(), s, pos, sameR.data(), 1, tmpl().bondAngle[0][2]);
    for (size_t i = 0; i < ref.size(); i += 6)
        for (int slot : {0, 2, 3, 5}) ASSERT_EQ(same[i + slot].dis(ref[i + slot]), 0.0) << i << " " << slot;
    for (size_t i = 0; i < refR.size(); i += 6)
        for (int slot : {0, 2, 5}) ASSERT_EQ(sameR[i + slot].dis(refR[i + slot]), 0.0) << i << " " << slot;

    const Point &N = s[pos].atoms[0], &CA = s[pos].atoms[1], &C = s[pos].atoms[2];
    for (double tauDeg : {105.0, 108.5, 114.0, 118.0}) {
        SCOPED_TRACE(tauDeg);
        std::vector<Point> fwd(BB_CAND_POINTS), bwd(BB_CAND_POINTS);
        calBBCoNext(tmpl(), s, pos, fwd.data(), 1, tauDeg * DEG2RAD);
        calBBCoNextR(tmpl(), s, pos, bwd.data(), 1, tauDeg * DEG2RAD);
        double worst = 0.0, worstLen = 0.0;
        for (int a = 0; a < 72; a += 7)
            for (int b = 0; b < 72; b += 5) {
                const Point* f = &fwd[cand(a, b)];
                worst = std::max(worst, std::fabs(angle(N, CA, f[2]) - tauDeg));
                worstLen = std::max(worstLen, std::fabs(CA.dis(f[2]) - tmpl().bondLength[0][2]));
                const Point* r = &bwd[cand(a, b)];
                worst = std::max(worst, std::fabs(angle(C, CA, r[0]) - tauDeg));
                worstLen = std::max(worstLen, std::fabs(CA.dis(r[0]) - tmpl().bondLength[0][1]));
            }
        EXPECT_LT(worst, 1e-3);
        EXPECT_LT(worstLen, 1e-4);
    }
}

// With an angle of its own per (phi, psi) bin, every bin is built as the
// one-angle builder builds it with that angle: a constant angle gives the same
// points, and a varying one gives each bin the points of its own angle.
TEST_F(Builders, CandidateSetsWithAnAnglePerBin) {
    const Structure s = alaChain();
    const int pos = 3;
    const Point &prevC = s[pos - 1].atoms[2], &N = s[pos].atoms[0], &CA = s[pos].atoms[1], &C = s[pos].atoms[2];
    const Point& nextN = s[pos + 1].atoms[0];
    std::vector<float> tau(NUM_CAND);
    for (int a = 0; a < 72; ++a)
        for (int b = 0; b < 72; ++b) tau[72 * a + b] = static_cast<float>(106.0 + 0.1 * a + 0.05 * b);
    std::vector<Point> fwd(BB_CAND_POINTS), bwd(BB_CAND_POINTS);
    calBBCoNextAngles(tmpl(), prevC, N, CA, tau.data(), fwd.data());
    calBBCoNextAnglesR(tmpl(), nextN, C, CA, tau.data(), bwd.data());
    for (int a : {0, 13, 40, 71})
        for (int b : {0, 29, 55, 71}) {
            SCOPED_TRACE(std::to_string(a) + " " + std::to_string(b));
            std::vector<Point> one(BB_CAND_POINTS), oneR(BB_CAND_POINTS);
            calBBCoNext(tmpl(), s, pos, one.data(), 1, tau[72 * a + b] * DEG2RAD);
            calBBCoNextR(tmpl(), s, pos, oneR.data(), 1, tau[72 * a + b] * DEG2RAD);
            const size_t i = cand(a, b);
            for (int slot : {0, 2, 3, 5}) EXPECT_LT(fwd[i + slot].dis(one[i + slot]), 1e-4) << slot;
            for (int slot : {0, 2, 5}) EXPECT_LT(bwd[i + slot].dis(oneR[i + slot]), 1e-4) << slot;
            EXPECT_NEAR(angle(N, CA, fwd[i + 2]), tau[72 * a + b], 1e-3);
            EXPECT_NEAR(angle(C, CA, bwd[i]), tau[72 * a + b], 1e-3);
        }
}

}  // namespace
