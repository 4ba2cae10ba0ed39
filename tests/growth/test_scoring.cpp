// Growth-time scoring on a real protein (H-Ras, examples/5p21.pdb): the
// environment lists, the pair and clash terms, the look-ahead and the side
// chains of the growing residue.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "build/builders.h"
#include "growth_support.h"

using namespace lorvane;

using namespace growth_test;

namespace {

constexpr int N_ = SLOT_N, CA_ = SLOT_CA, C_ = SLOT_C, O_ = SLOT_O, CB_ = SLOT_CB;

float d2(const Point& a, float x, float y, float z) {
    const float dx = a.x - x, dy = a.y - y, dz = a.z - z;
    return dx * dx + dy * dy + dz * dz;
}

}  // namespace

// Forward growth of 45 in the loop 45..52: distance shells around CA(45), the
// adjacent residue 44 in its own list, nothing of 45..51, of 52 only C and O,
// no side-chain atom of a loop residue.
TEST(PrepGrow, ForwardClassificationOnRas) {
    RasRun r(45, 52);
    Structure& s = r.s();
    const int ls = r.ls, le = r.le;
    GrowOne& g = r.g();
    g.prepGrow(s, ls, ls, le, ls - 1, le);

    const Point ca = s[ls].atoms[CA_];
    ASSERT_GT(g.nearEnv.n, 10);
    ASSERT_GT(g.midEnv.n, 10);
    ASSERT_GT(g.farEnv.n, 10);
    for (int i = 0; i < g.nearEnv.n; ++i) EXPECT_LT(d2(ca, g.nearEnv.x[i], g.nearEnv.y[i], g.nearEnv.z[i]), 64.0f);
    for (int i = 0; i < g.midEnv.n; ++i) {
        const float v = d2(ca, g.midEnv.x[i], g.midEnv.y[i], g.midEnv.z[i]);
        EXPECT_GE(v, 64.0f);
        EXPECT_LT(v, 144.0f);
    }
    for (int i = 0; i < g.farEnv.n; ++i) {
        const float v = d2(ca, g.farEnv.x[i], g.farEnv.y[i], g.farEnv.z[i]);
        EXPECT_GE(v, 144.0f);
        EXPECT_LE(v, 225.0f);
    }
    // Residue 44 (outside the loop) sits in adjEnv with its side chain; 46 is not yet grown.
    const Residue& prev = s[ls - 1];
    int adjFromPrev = 0;
    for (int k = 0; k < prev.numAtoms; ++k)
        if (prev.atoms[k].type != ABSENT && prev.atoms[k].type < 22 && listHas(g.adjEnv, prev.atoms[k])) ++adjFromPrev;
    EXPECT_EQ(adjFromPrev, g.adjEnv.n);
    EXPECT_TRUE(listHas(g.adjEnv, prev.atoms[C_]));  // residue 45 is not a proline
    for (int r = ls; r < le; ++r)
        for (int k = 0; k < s[r].numAtoms; ++k) EXPECT_FALSE(anyListHas(g, s[r].atoms[k])) << "residue " << r << " slot " << k;
    for (int k = 0; k < s[le].numAtoms; ++k) {
        if (k == C_ || k == O_) continue;
        EXPECT_FALSE(anyListHas(g, s[le].atoms[k])) << "end residue slot " << k;
    }
    // Fixed neighbours and moving atoms of forward growth.
    EXPECT_TRUE(samePoint(g.fixedPos[1], s[ls].atoms[N_].x, s[ls].atoms[N_].y, s[ls].atoms[N_].z));
    EXPECT_TRUE(samePoint(g.fixedPos[2], ca.x, ca.y, ca.z));
    EXPECT_EQ(g.moveType[N_], r.atoms().typeOf(ls + 1, N_));
    EXPECT_EQ(g.moveType[C_], r.atoms().typeOf(ls, C_));
}

TEST(PrepGrow, BackwardClassificationOnRas) {
    RasRun r(45, 52);
    Structure& s = r.s();
    const int ls = r.ls, le = r.le;
    GrowOne& g = r.g();
    // Step 1 of the alternating plan: 52 backward, far position 46.
    g.prepGrow(s, le, ls, le, ls + 1, le + 1);
    const Residue& far = s[ls + 1];
    EXPECT_TRUE(anyListHas(g, far.atoms[N_]));
    EXPECT_TRUE(anyListHas(g, far.atoms[CA_]));
    EXPECT_FALSE(anyListHas(g, far.atoms[C_]));
    for (int r = ls + 2; r <= le; ++r)
        for (int k = 0; k < s[r].numAtoms; ++k) EXPECT_FALSE(anyListHas(g, s[r].atoms[k])) << "residue " << r << " slot " << k;
    // N(53) is a fixed neighbour, not environment; the rest of 53 is adjacent.
    EXPECT_FALSE(anyListHas(g, s[le + 1].atoms[N_]));
    EXPECT_TRUE(listHas(g.adjEnv, s[le + 1].atoms[CA_]));
    EXPECT_TRUE(samePoint(g.fixedPos[0], s[le + 1].atoms[N_].x, s[le + 1].atoms[N_].y, s[le + 1].atoms[N_].z));
    EXPECT_TRUE(samePoint(g.fixedPos[2], s[le].atoms[C_].x, s[le].atoms[C_].y, s[le].atoms[C_].z));
    EXPECT_TRUE(samePoint(g.fixedPos[3], s[le].atoms[O_].x, s[le].atoms[O_].y, s[le].atoms[O_].z));
    EXPECT_EQ(g.moveType[C_], r.atoms().typeOf(le - 1, C_));
}

// Proline at the growing position: the previous C is bonded-near the ring and is left out.
TEST(PrepGrow, ProlineExcludesPreviousCarbon) {
    const Structure& s = ras();
    int pro = -1;
    for (int i = 3; i + 8 < s._numRes && pro < 0; ++i)
        if (s[i].type == PRO && s[i - 1].type != PRO) pro = i;
    ASSERT_GT(pro, 0);
    RasRun run(pro, pro + 7, 0.0);
    Structure& t = run.s();
    GrowOne& g = run.g();
    g.prepGrow(t, pro, pro, pro + 7, pro - 1, pro + 7);
    EXPECT_FALSE(anyListHas(g, t[pro - 1].atoms[C_]));
    EXPECT_TRUE(listHas(g.adjEnv, t[pro - 1].atoms[O_]));
    EXPECT_TRUE(listHas(g.adjEnv, t[pro - 1].atoms[CA_]));
}

namespace {

// Residue-type position in Ras with a loop of 8 starting there.
int findType(const Structure& s, int type, int from) {
    for (int i = std::max(from, 3); i + 9 < s._numRes; ++i)
        if (s[i].type == type) return i;
    return -1;
}

// phi_short of the native placement at pos, with CB moved to q.
double phiShortWithCB(GrowOne& g, Structure& s, int pos, const Point& q) {
    Residue& cur = g.cur;
    cur.atoms[C_] = s[pos].atoms[C_];
    cur.atoms[CB_] = q;
    return g.shortRangeEnergy(cur, false, GrowOne::MovedBy::First) + g.longRangeEnergy(cur, false, GrowOne::MovedBy::First);
}

}  // namespace

TEST(GrowthTerms, GlycineHasNoCBTerm) {
    const Structure& probe = ras();
    for (int type : {GLY, ALA}) {
        const int pos = findType(probe, type, 40);
        ASSERT_GT(pos, 0);
        RasRun run(pos, pos + 7, 1.0);  // every pair inside the cut-off adds 1
        Structure& s = run.s();
        GrowOne& g = run.g();
        g.prepGrow(s, pos, pos, pos + 7, pos - 1, pos + 7);
        const Point farAway(1000.0f, 1000.0f, 1000.0f);
        const Point onC = s[pos].atoms[C_];
        const double eFar = phiShortWithCB(g, s, pos, farAway);
        const double eOnC = phiShortWithCB(g, s, pos, onC);
        ASSERT_GT(eFar, 0.0);
        if (type == GLY)
            EXPECT_EQ(eFar, eOnC);
        else
            EXPECT_EQ(eOnC, 2 * eFar);  // CB on top of C counts C's neighbours again
    }
}

TEST(GrowthTerms, EmptyEnvironmentGivesZero) {
    RasRun run(45, 52, 5.0);
    const int ls = run.ls, le = run.le;
    Structure& s = run.s();
    GrowOne& g = run.g();
    for (bool backward : {false, true}) {
        if (!backward)
            g.prepGrow(s, ls, ls, le, ls - 1, le);
        else
            g.prepGrow(s, le, ls, le, ls + 1, le + 1);
        g.nearEnv.clear();
        g.midEnv.clear();
        g.farEnv.clear();
        g.adjEnv.clear();
        for (Point& f : g.fixedPos) f = Point(500.0f, 500.0f, 500.0f);
        Residue& r = g.cur;
        for (int k : {N_, CA_, C_, O_, CB_}) r.atoms[k] = s[backward ? le : ls].atoms[k];
        if (!backward) {
            EXPECT_EQ(g.shortRangeEnergy(r, false, GrowOne::MovedBy::First), 0.0);
            EXPECT_EQ(g.longRangeEnergy(r, false, GrowOne::MovedBy::First), 0.0);
            EXPECT_EQ(g.shortRangeEnergy(r, false, GrowOne::MovedBy::Both), 0.0);
            EXPECT_EQ(g.longRangeEnergy(r, false, GrowOne::MovedBy::Both), 0.0);
        } else {
            EXPECT_EQ(g.shortRangeEnergy(r, true, GrowOne::MovedBy::First), 0.0);
            EXPECT_EQ(g.longRangeEnergy(r, true, GrowOne::MovedBy::First), 0.0);
            EXPECT_EQ(g.shortRangeEnergy(r, true, GrowOne::MovedBy::Both), 0.0);
            EXPECT_EQ(g.longRangeEnergy(r, true, GrowOne::MovedBy::Both), 0.0);
        }
        g.prepLah(s, r.atoms[CA_], backward ? le - 1 : ls + 1, backward);
        EXPECT_EQ(g.lahCount, 0);
        for (int m = 0; m < g.lahTypeCount; ++m) EXPECT_FALSE(g.lahClashes(r.atoms[CA_], m));
    }
}

// Pair terms stop at 1000 (short range only) and a clash rejects at once.
TEST(GrowthTerms, EarlyExitAndClash) {
    RasRun run(45, 52, 600.0);
    const int ls = run.ls, le = run.le;
    Structure& s = run.s();
    GrowOne& g = run.g();
    g.prepGrow(s, ls, ls, le, ls - 1, le);
    Residue& r = g.cur;
    r.atoms[C_] = s[ls].atoms[C_];
    r.atoms[CB_] = s[ls].atoms[CB_];
    r.atoms[N_] = s[ls + 1].atoms[N_];
    r.atoms[CA_] = s[ls + 1].atoms[CA_];
    r.atoms[O_] = s[ls].atoms[O_];
    EXPECT_EQ(g.shortRangeEnergy(r, false, GrowOne::MovedBy::First), REJECTED);
    EXPECT_EQ(g.shortRangeEnergy(r, false, GrowOne::MovedBy::Both), REJECTED);
    // The long-range terms add everything in the 8-12 A shell.
    int n = 0;
    for (int i = 0; i < g.midEnv.n; ++i) {
        n += d2(r.atoms[C_], g.midEnv.x[i], g.midEnv.y[i], g.midEnv.z[i]) < 64.0f;
        n += d2(r.atoms[CB_], g.midEnv.x[i], g.midEnv.y[i], g.midEnv.z[i]) < 64.0f;
    }
    EXPECT_EQ(g.longRangeEnergy(r, false, GrowOne::MovedBy::First), 600.0 * n);

    fillTables(run.synthetic, 0.0);
    EXPECT_EQ(g.shortRangeEnergy(r, false, GrowOne::MovedBy::Both), 0.0);
    // N(pos+1) closer to N(pos) than the clash distance of their types.
    run.synthetic.ljClash[g.fixedType[1]][g.moveType[N_]] = 100.0;
    EXPECT_EQ(g.shortRangeEnergy(r, false, GrowOne::MovedBy::Both), REJECTED);
}

namespace {

// Candidate atoms of one phi row at pos (forward), every psi bin valid.
void fillRow(Structure& s, GrowOne& g, int pos, int row) {
    calBBCoNext(tmpl(), s, pos, g.candPts.data(), 1);
    std::fill(g.validSC.begin(), g.validSC.end(), 0);
    for (int b = 0; b < NUM_BINS; ++b) {
        const Point* P = &g.candPts[candPointIndex(row, b, 0)];
        const int k = NUM_BINS * row + b;
        g.candAtoms[k] = {P[0], calCoCA(tmpl(), s[pos].atoms[CA_], P[2], P[0]), P[2], P[3], P[5]};
        g.validSC[k] = 1;
    }
}

}  // namespace

// A rotamer whose first chi is written as "same as before" scores exactly like
// the same rotamer written out in full; rotamers over 200 are vetoed for the
// neighbouring rows.
TEST(SideChainScan, SharedChiPrefixAndVeto) {
    const Structure& probe = ras();
    const int pos = findType(probe, LEU, 40);
    ASSERT_GT(pos, 0);
    RasRun run(pos, pos + 7, 0.01);
    Structure& s = run.s();
    const double chi1 = -65.0 * DEG2RAD, chi2a = 175.0 * DEG2RAD, chi2b = 65.0 * DEG2RAD;
    RotamerTable& rt = run.synthetic.rotamers;
    rt.count[LEU] = 3;
    const double rot[3][2] = {{chi1, chi2a}, {9999.0 * DEG2RAD, chi2b}, {chi1, chi2b}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 2; ++c) {
            rt.chi[LEU][r][c] = rot[r][c];
            rt.resolved[LEU][r][c] = rot[r][c] > 20.0 ? rot[r - 1][c] : rot[r][c];
        }
    run.run->chi1SD = 0.0;
    GrowOne& g = run.g();
    g.prepGrow(s, pos, pos, pos + 7, pos - 1, pos + 7);
    const int row = 20;
    fillRow(s, g, pos, row);
    std::memset(g.rotamerVeto, 0, sizeof g.rotamerVeto);
    std::vector<float> e(static_cast<size_t>(NUM_CAND) * 3, -1.0f);
    g.df_scf(s[pos], e, row, g.candAtoms, false, g.validSC);
    for (int b = 0; b < NUM_BINS; ++b) {
        const int k = NUM_BINS * row + b;
        EXPECT_GE(e[k * 3 + 0], 0.0f);
        EXPECT_EQ(e[k * 3 + 1], e[k * 3 + 2]) << "bin " << b;
    }
    EXPECT_EQ(e[(NUM_BINS * (row + 1)) * 3], -1.0f);  // other rows untouched

    // Every atom now far over 200: rotamers abandoned with 201 and vetoed for rows 18..22.
    fillTables(run.synthetic, 500.0);
    std::memset(g.rotamerVeto, 0, sizeof g.rotamerVeto);
    g.df_scf(s[pos], e, row, g.candAtoms, false, g.validSC);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(e[(NUM_BINS * row + 7) * 3 + r], 201.0f);
        for (int rr = row - 2; rr <= row + 2; ++rr) EXPECT_EQ(g.rotamerVeto[rr][r], 1) << "row " << rr;
        EXPECT_EQ(g.rotamerVeto[row - 3][r], 0);
        EXPECT_EQ(g.rotamerVeto[row + 3][r], 0);
    }
}

// Backward growth: the side chain is tested against the candidates' C(pos-1),
// except for a proline, whose ring closes on N.
TEST(SideChainScan, ProlineSkipsPreviousCarbonTest) {
    const Structure& probe = ras();
    for (int type : {PRO, LEU}) {
        const int pos = findType(probe, type, 20);
        ASSERT_GT(pos, 0);
        RasRun run(pos - 7, pos, 0.0);
        Structure& s = run.s();
        const int nr = 2;
        RotamerTable& rt = run.synthetic.rotamers;
        rt.count[type] = nr;
        for (int r = 0; r < nr; ++r)
            for (int c = 0; c < 4; ++c) rt.chi[type][r][c] = rt.resolved[type][r][c] = (r == 0 ? 30.0 : -30.0) * DEG2RAD;
        GrowOne& g = run.g();
        g.prepGrow(s, pos, pos - 7, pos, pos - 6, pos + 1);
        // Any side-chain atom clashes with C(pos-1), whatever its distance.
        for (int t = 0; t < PAIR_TABLE_TYPES; ++t) run.synthetic.ljClash[g.nextType[2]][t] = 1e9;
        for (int i = 0; i < g.adjEnv.n; ++i) ASSERT_NE(g.adjEnv.type[i], g.nextType[2]);
        calBBCoNextR(tmpl(), s, pos, g.candPts.data(), 1);
        std::fill(g.validSC.begin(), g.validSC.end(), 0);
        const int col = 30;
        for (int a = 0; a < NUM_BINS; ++a) {
            const Point* P = &g.candPts[candPointIndex(a, col, 0)];
            Point ca, o;
            calCoCAOR(tmpl(), s[pos].atoms[CA_], P[0], P[2], ca, o);
            const int k = NUM_BINS * a + col;
            g.candAtoms[k] = {P[0], ca, P[2], o, P[5]};
            g.validSC[k] = 1;
        }
        std::memset(g.rotamerVeto, 0, sizeof g.rotamerVeto);
        std::vector<float> e(static_cast<size_t>(NUM_CAND) * nr, -1.0f);
        g.df_scf(s[pos], e, col, g.candAtoms, true, g.validSC);
        const float v = e[(NUM_BINS * 10 + col) * nr];
        if (type == PRO)
            EXPECT_LT(v, 200.0f);
        else
            EXPECT_GE(v, REJECTED);
    }
}
