// Energy terms on small hand-built chains with synthetic tables.
#include <cmath>
#include <cstring>

#include "pot_support.h"
#include "potentials/atom_tables.h"
#include "potentials/energy.h"
#include "potentials/pf.h"

using pot_test::emptyChain;
using pot_test::put;

#define EXPECT_FATAL(stmt, regex) EXPECT_EXIT((pot_test::stdoutToStderr(), stmt), testing::ExitedWithCode(1), regex)

namespace {

// A QUENDA table whose entries tell class pair and bin apart, symmetric in the classes.
void patternQuenda() {
    for (int p = 0; p < 20; ++p)
        for (int q = 0; q < 20; ++q)
            for (int k = 0; k < 80; ++k) PF::QUENDA[p][q][k] = 1000.0 * (p + q) + 10.0 * (p * q % 7) + k + 1;
}

}  // namespace

// ---- QUENDA ----

TEST(QuendaE, DistanceCutOffAndLastBin) {
    patternQuenda();
    Structure s(10);
    emptyChain(s, 3, ALA, 6);
    put(s, 1, 1, 3, 1.0f, 1.0f, 1.0f);
    put(s, 3, 1, 5, 8.99f, 1.0f, 1.0f);  // 7.99 A
    double e1 = 0, e2 = 0, e3 = 0, e4 = 0;
    EXPECT_DOUBLE_EQ(quenda_e(s, 1, 1, false, e1, e2, e3, e4), PF::QUENDA[2][4][79]);
    EXPECT_DOUBLE_EQ(e1, PF::QUENDA[2][4][79]);
    s.residues[3].atoms[1].x = 9.0f;  // exactly 8.0 A
    e1 = 0;
    EXPECT_EQ(quenda_e(s, 1, 1, false, e1, e2, e3, e4), 0.0);
    EXPECT_EQ(e1, 0.0);
    s.residues[3].atoms[1].x = 3.0f;  // 2.0 A: bin 20
    EXPECT_DOUBLE_EQ(quenda_e(s, 1, 1, false, e1, e2, e3, e4), PF::QUENDA[2][4][20]);
}

TEST(QuendaE, SkipsAbsentOriginNonHeavyAndOutOfTableAtoms) {
    patternQuenda();
    Structure s(10);
    emptyChain(s, 3, ALA, 12);
    put(s, 1, 1, 3, 1.0f, 1.0f, 1.0f);
    put(s, 3, 1, 5, 4.0f, 1.0f, 1.0f);
    const double pairOnly = PF::QUENDA[2][4][30];
    put(s, 3, 0, 1, 0.0f, 0.0f, 0.0f);   // at the origin
    put(s, 3, 2, 22, 2.0f, 1.0f, 1.0f);  // hydrogen
    put(s, 3, 6, 21, 2.0f, 2.0f, 1.0f);  // class 21: outside the table
    put(s, 3, 7, 0, 2.0f, 2.0f, 2.0f);   // class 0: outside the table
    double e1 = 0, e2 = 0, e3 = 0, e4 = 0;
    EXPECT_DOUBLE_EQ(quenda_e(s, 1, 1, true, e1, e2, e3, e4), pairOnly);
    // Far CAs skip the residue pair even when other atoms are close.
    put(s, 3, 1, 5, 30.0f, 1.0f, 1.0f);
    put(s, 3, 3, 2, 2.0f, 1.0f, 1.0f);
    EXPECT_EQ(quenda_e(s, 1, 1, true, e1, e2, e3, e4), 0.0);
}

namespace {

// Eight residues on a compact zig-zag with backbone and side-chain atoms.
void quendaChain(Structure& s) {
    emptyChain(s, 8, LEU, 9);
    for (int i = 1; i <= 8; ++i) {
        const float x = 3.3f * i, y = (i % 2) ? 1.5f : -1.5f, z = (i % 3) * 0.7f;
        put(s, i, 0, 1 + i % 5, x - 0.9f, y, z + 0.3f);
        put(s, i, 1, 2 + i % 7, x, y + 0.4f, z);
        put(s, i, 2, 3, x + 0.9f, y - 0.2f, z + 0.5f);
        put(s, i, 3, 4, x + 1.2f, y - 1.0f, z + 1.1f);
        put(s, i, 4, 23, x - 1.2f, y + 0.5f, z);  // amide H: not heavy
        put(s, i, 5, 6, x, y + 1.8f, z - 0.8f);
        put(s, i, 6, 7 + i % 4, x + 0.5f, y + 3.0f, z - 1.5f);
        put(s, i, 7, 9, x - 0.8f, y + 3.9f, z - 2.0f);
        put(s, i, 8, 10 + i % 9, x + 1.6f, y + 3.4f, z - 2.4f);
    }
}

}  // namespace

TEST(QuendaE, PartialSumsAddUpAndLoopPairsCountOnce) {
    patternQuenda();
    Structure s(10);
    quendaChain(s);
    double e[4] = {0.5, -1.0, 2.0, 3.0};  // the sums are added to what the caller holds
    const double total = quenda_e(s, 3, 6, true, e[0], e[1], e[2], e[3]);
    EXPECT_GT(total, 0.0);
    EXPECT_NEAR(e[0] - 0.5 + e[1] + 1.0 + e[2] - 2.0 + e[3] - 3.0, total, 1e-9 * total);
    EXPECT_GT(e[2], 2.0);  // side chain-side chain inside the loop
    EXPECT_GT(e[3], 3.0);  // backbone-side chain inside the loop
    EXPECT_GT(e[1], -1.0); // side chain against the frame

    // Without allAtoms the loop residue contributes only slots 0-5: e2 and e3 stay.
    double f1 = 0, f2 = 0, f3 = 0, f4 = 0;
    const double bbTotal = quenda_e(s, 3, 6, false, f1, f2, f3, f4);
    EXPECT_EQ(f2, 0.0);
    EXPECT_EQ(f3, 0.0);
    EXPECT_DOUBLE_EQ(f1 + f4, bbTotal);

    // Loop residues 3 and 5 meet once: with everything else absent, the loop 3..5 scores
    // exactly what either one-residue loop scores (the table is symmetric).
    Structure only35(10);
    only35 = s;
    for (int i : {1, 2, 4, 6, 7, 8})
        for (int k = 0; k < 9; ++k) only35.residues[i].atoms[k].type = ABSENT;
    double h[4] = {0, 0, 0, 0};
    const double from3 = quenda_e(only35, 3, 3, true, h[0], h[1], h[2], h[3]);
    const double from5 = quenda_e(only35, 5, 5, true, h[0], h[1], h[2], h[3]);
    EXPECT_GT(from3, 0.0);
    EXPECT_DOUBLE_EQ(from3, from5);
    double k4[4] = {0, 0, 0, 0};
    EXPECT_DOUBLE_EQ(quenda_e(only35, 3, 5, true, k4[0], k4[1], k4[2], k4[3]), from3);
}

// ---- DFIRE ----

namespace {

// Global numbering by hand: every slot 0..n-1 of every residue, in order.
void numberByHand(Structure& s, int typeOf(int i, int k)) {
    int g = 0;
    for (int i = 1; i <= s._numRes; ++i)
        for (int k = 0; k < 30; ++k) {
            if (k >= s.residues[i].numAtoms || (s.residues[i].type == GLY && k == 5)) {
                atomcountmap[i][k] = -1;
                continue;
            }
            atomcountmap[i][k] = g;
            revatomcountmap[g][0] = i;
            revatomcountmap[g][1] = k;
            dftype[g] = typeOf(i, k);
            ++g;
        }
    numatom = g;
}

int typeBySlot(int, int k) { return k; }

void clearDfire() { std::memset(PF::edfire, 0, sizeof PF::edfire); }

}  // namespace

TEST(DfireE, BinsCapAndSplit) {
    clearDfire();
    for (int i = 0; i < DFIRE_BINS; ++i) {
        PF::edfire[0][3][i] = PF::edfire[3][0][i] = 0.01 * (i + 1);  // N-O
        PF::edfire[5][5][i] = 25.0;                                  // CB-CB, above the cap
    }
    Structure s(10);
    emptyChain(s, 3, ALA, 6);
    numberByHand(s, typeBySlot);
    put(s, 1, 0, 1, 1.0f, 1.0f, 1.0f);
    put(s, 3, 3, 4, 15.99f, 1.0f, 1.0f);  // 14.99 A: bin 29
    double bb = 0, sc = 0;
    dfire_e(s, 1, 1, bb, sc);
    EXPECT_DOUBLE_EQ(bb, 0.30);
    EXPECT_EQ(sc, 0.0);
    s.residues[3].atoms[3].x = 16.0f;  // 15.0 A: not scored
    bb = 0;
    dfire_e(s, 1, 1, bb, sc);
    EXPECT_EQ(bb, 0.0);
    s.residues[3].atoms[3].x = 3.6f;  // 2.6 A: bin 5
    dfire_e(s, 3, 3, bb, sc);
    EXPECT_DOUBLE_EQ(bb, 0.06);
    // A CB contact adds to sc, capped at 10.
    put(s, 1, 5, 6, 1.0f, 5.0f, 1.0f);
    put(s, 3, 5, 6, 1.0f, 9.0f, 1.0f);
    bb = sc = 0;
    dfire_e(s, 1, 1, bb, sc);
    EXPECT_EQ(sc, 10.0);
    // Both residues outside the loop: nothing.
    bb = sc = 0;
    dfire_e(s, 2, 2, bb, sc);
    EXPECT_EQ(bb + sc, 0.0);
}

TEST(DfireE, AdjacentResiduesScoredAmideHAndUntypedNot) {
    clearDfire();
    for (int a = 0; a < NUM_PAIR_TYPES; ++a)
        for (int b = 0; b < NUM_PAIR_TYPES; ++b) PF::edfire[a][b][4] = 1.0;  // every pair at 2.0-2.5 A
    Structure s(10);
    emptyChain(s, 2, ALA, 6);
    numberByHand(s, [](int, int k) { return k == 2 ? NO_PAIR_TYPE : k; });
    put(s, 1, 1, 2, 0.0f, 0.0f, 0.0f);
    put(s, 1, 2, 3, 0.0f, 5.0f, 0.0f);  // no pair type
    put(s, 1, 4, 23, 0.0f, 0.0f, 10.0f);
    put(s, 2, 0, 1, 2.2f, 0.0f, 0.0f);  // 2.2 A from CA(1): bin 4
    put(s, 2, 4, 23, 0.0f, 0.0f, 12.2f);  // near H(1), but amide H is never scored
    put(s, 2, 1, 2, 0.0f, 7.2f, 0.0f);  // 2.2 A from the untyped C(1)
    double bb = 0, sc = 0;
    dfire_e(s, 1, 2, bb, sc);
    EXPECT_EQ(bb, 1.0);
    EXPECT_EQ(sc, 0.0);
}

TEST(GetNeigh, ShellExcludedResiduesAndCapacity) {
    Structure s(10);
    emptyChain(s, 6, ALA, 6);
    numberByHand(s, typeBySlot);
    put(s, 3, 5, 6, 0.0f, 0.0f, 0.0f);  // the CB at the centre
    for (int i : {2, 4}) put(s, i, 1, 2, 1.0f, 1.0f, 1.0f);  // close, but r +- 1
    put(s, 1, 1, 2, 5.0f, 0.0f, 0.0f);
    put(s, 1, 0, 1, 14.9f, 0.0f, 0.0f);   // inside 15 A
    put(s, 1, 2, 3, 15.1f, 0.0f, 0.0f);   // outside
    put(s, 5, 1, 2, 20.1f, 0.0f, 0.0f);   // CA beyond 20 A: whole residue skipped
    put(s, 5, 0, 1, 3.0f, 0.0f, 0.0f);
    put(s, 6, 1, 2, 50.0f, 0.0f, 0.0f);
    int out[3 * 2000];
    const int n = getNeigh(s, 3, out);
    // Residue 1: N and CA in range (slots 3-5 are absent at the origin, also within range).
    ASSERT_GE(n, 2);
    bool sawN = false, sawCA = false;
    for (int m = 0; m < n; ++m) {
        EXPECT_EQ(out[3 * m], 1) << "only residue 1 qualifies";
        if (out[3 * m + 1] == 0) sawN = out[3 * m + 2] == 0;
        if (out[3 * m + 1] == 1) sawCA = out[3 * m + 2] == 1;
        if (out[3 * m + 1] == 2) ADD_FAILURE() << "C at 15.1 A listed";
        if (out[3 * m + 1] >= 3) {
            EXPECT_EQ(out[3 * m + 2], NO_PAIR_TYPE) << "absent atoms are not scored";
        }
    }
    EXPECT_TRUE(sawN);
    EXPECT_TRUE(sawCA);
    EXPECT_FATAL(getNeigh(s, 3, out, 1), "more than 1 atoms within 15 A of the CB of residue 3");
}

// ---- clash lists ----

TEST(ClashEval, AdjacentClashIsAHardTestOthersSum) {
    std::memset(PF::Etable, 0, sizeof PF::Etable);
    PF::MAXDIS2 = 64.0;
    PF::BINSPERA = 10.0;
    Structure s(10);
    emptyChain(s, 4, ALA, 10);
    put(s, 1, 6, 1, 0.0f, 0.0f, 0.0f);
    put(s, 2, 6, 1, 2.0f, 0.0f, 0.0f);  // r^2 = 4.0: bin 40
    put(s, 4, 6, 1, 0.0f, 3.0f, 0.0f);  // r^2 = 9.0: bin 90
    put(s, 3, 6, 1, 8.0f, 0.0f, 0.0f);  // r^2 = 64.0 from residue 1: at the cut-off
    PF::Etable[7][8][40] = 9.5;
    PF::Etable[7][9][90] = 2.0;
    PF::Etable[7][9][639] = 50.0;
    pairlist = {{1, 6, 2, 6, 7, 8, 1}, {1, 6, 4, 6, 7, 9, 3}, {1, 6, 3, 6, 7, 9, 2}};
    numpairs = 3;
    double e = -1.0;
    EXPECT_EQ(vdw_bbsc(s, 0, 0, 0, e), 0.0);
    EXPECT_DOUBLE_EQ(e, 2.0);  // the adjacent pair below 10 adds nothing; the r^2 = 64 pair is skipped
    PF::Etable[7][8][40] = 10.5;
    EXPECT_EQ(vdw_bbsc(s, 0, 0, 0, e), 12345.0);
    EXPECT_EQ(e, 0.0);  // stopped at the first record
    pairlistSC = {{1, 6, 4, 6, 7, 9, 3}, {1, 6, 2, 6, 7, 8, 1}};
    numpairsSC = 2;
    EXPECT_EQ(vdw_scsc(s, 0, 0, 0, e), 12345.0);
    EXPECT_DOUBLE_EQ(e, 2.0);  // the sum so far is kept
}

TEST(ClashPrep, StepZeroGivesEmptyLists) {
    Structure s(10);
    emptyChain(s, 4, ALA, 6);
    pairlist = {{1, 1, 1, 1, 1, 1, 1}};
    numpairs = 1;
    pairlistSC = pairlist;
    numpairsSC = 1;
    int order[1] = {2};
    bool backward[1] = {false};
    vdw_bbsc_prep(s, 0, 0, 0, order, backward, 0);
    vdw_scsc_prep(s, 0, 0, 0, order, backward);
    EXPECT_EQ(numpairs, 0);
    EXPECT_EQ(numpairsSC, 0);
    double e = 5.0;
    EXPECT_EQ(vdw_bbsc(s, 0, 0, 0, e), 0.0);
    EXPECT_EQ(e, 0.0);
    EXPECT_EQ(vdw_scsc(s, 0, 0, 0, e), 0.0);
    EXPECT_EQ(e, 0.0);
}

// ---- OSCAR geometry ----

TEST(OscarGeometry, CosinesAndOrientation) {
    const float o[3] = {0, 0, 0}, x[3] = {1, 0, 0}, y[3] = {0, 2, 0}, mx[3] = {-3, 0, 0};
    EXPECT_NEAR(coss(x, o, y), 0.0f, 1e-7);
    EXPECT_NEAR(coss(x, o, mx), -1.0f, 1e-6);
    EXPECT_NEAR(coss(x, o, x), 1.0f, 1e-6);
    const float a[3] = {1, 1, 0};
    EXPECT_NEAR(coss(a, o, x), std::sqrt(0.5f), 1e-6);
    EXPECT_NEAR(cosv(o, x, y, a), std::sqrt(0.5f), 1e-6);  // (1,0,0) against (1,-1,0)
    EXPECT_NEAR(cosv(o, x, o, mx), -1.0f, 1e-6);
    float out[3];
    const float base[3] = {1, 1, 1}, p1[3] = {2, 1, 1}, p2[3] = {1, 2, 1};
    orient(base, p1, p2, out);  // base + x * y = base + z
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(out[1], 1.0f);
    EXPECT_FLOAT_EQ(out[2], 2.0f);
}

TEST(OscarGeometry, GetoriPolynomial) {
    std::memset(PF::pb, 0, sizeof PF::pb);
    double* P = PF::pb[2][5];
    // c1 = 0 (orientation perpendicular at a), c2 = -1 (b's point beyond b), c3 = cos(oa-pa, ob-pb).
    const float oa[3] = {0, 1, 0}, pa[3] = {0, 0, 0}, ob[3] = {3, 0, 0}, pbv[3] = {2, 0, 0};
    P[13] = 0.25;
    P[5] = 2.0;   // c2^2
    P[11] = 3.0;  // c2
    P[7] = 5.0;   // c1 c2
    const float c3 = cosv(oa, pa, ob, pbv);
    P[12] = 7.0;
    EXPECT_NEAR(getori(oa, pa, ob, pbv, 2, 5), 0.25 + 2.0 - 3.0 + 7.0 * c3, 1e-6);
    EXPECT_NEAR(c3, 0.0f, 1e-7);
}

// ---- OSCAR pair energy ----

namespace {

// Two Ser-like residues far apart in sequence whose group atoms (slot 6) face each other;
// the orientation point of each group atom is its CB (slot 5, one neighbour).
void oscarPair(Structure& s, float sep) {
    emptyChain(s, 5, SER, 7);
    for (int i = 1; i <= 5; ++i) {
        const float x = 20.0f * i;
        for (int k = 0; k < 7; ++k) put(s, i, k, 1, x + k, 40.0f, 0.0f);  // far from everything
    }
    put(s, 1, 5, 1, 0.0f, -1.0f, 0.0f);
    put(s, 1, 6, 1, 0.0f, 0.0f, 0.0f);
    put(s, 3, 5, 1, sep, -1.0f, 0.0f);
    put(s, 3, 6, 1, sep, 0.0f, 0.0f);
    for (int i : {1, 3}) {
        s.residues[i].atoms[6].fgIndex = 0;
        s.residues[i].atoms[6].oscarType = 10;  // OG
    }
    PF::numDipole = 20;
    for (DipoleRecord& d : PF::dipoletype) d = DipoleRecord();
    DipoleRecord& ser = PF::dipoletype[SER];
    std::strcpy(ser.resName, "SER");
    ser.atomCount = 1;
    ser.atomId[0] = 6;
    ser.neighbourCount[0] = 1;
    ser.neighbourId[0][0] = 5;
    std::memset(PF::pb, 0, sizeof PF::pb);
    PF::pb[10][10][13] = 1.0;  // orientation factor 1
}

}  // namespace

TEST(OscarE, SideChainPairsCountOnceCapAndCutOff) {
    Structure s(10);
    oscarPair(s, 4.0f);  // r^2 = 16
    PF::pb[10][10][0] = 32.0;  // e = 32 / 16 = 2
    EXPECT_DOUBLE_EQ(oscar_e(s, 1, 3), 2.0);
    EXPECT_DOUBLE_EQ(oscar_e(s, 1, 1), 2.0);
    EXPECT_DOUBLE_EQ(oscar_e(s, 3, 3), 2.0);  // frame side chain against loop side chain, once
    EXPECT_FLOAT_EQ(s.residues[3].atoms[6].orientPoint[1], -1.0f);  // the CB
    PF::pb[10][10][0] = 400.0;  // e = 25: at most 10 per pair
    EXPECT_DOUBLE_EQ(oscar_e(s, 1, 3), 10.0);
    oscarPair(s, 10.0f);  // r^2 = 100: not scored
    PF::pb[10][10][0] = 32.0;
    EXPECT_EQ(oscar_e(s, 1, 3), 0.0);
    oscarPair(s, 9.99f);
    PF::pb[10][10][0] = 32.0;
    EXPECT_GT(oscar_e(s, 1, 3), 0.0);
}

TEST(OscarEDeath, GroupAtomWithoutNeighbours) {
    Structure s(10);
    oscarPair(s, 4.0f);
    PF::dipoletype[SER].neighbourId[0][0] = 12;  // beyond the residue's atoms
    EXPECT_FATAL(oscar_e(s, 1, 1), "no required atoms for dipole found");
}

TEST(SctoE, GlycineAndAlanineScoreZero) {
    for (int t = 0; t < 20; ++t)
        for (int k = 0; k < 5; ++k)
            for (int m = 0; m < 6; ++m) PF::pcs[t][k][m] = 1.0;
    Structure s(10);
    emptyChain(s, 4, GLY, 7);
    s.residues[2].type = ALA;
    EXPECT_EQ(scto_e(s, 1, 4), 0.0);
    EXPECT_EQ(scto_e(s, 3, 2), 0.0);
}
