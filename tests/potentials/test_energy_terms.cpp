// Energy terms on small hand-built chains with synthetic tables.
#include <cmath>
#include <array>
#include <cstring>

#include "pot_support.h"
#include "potentials/atom_index.h"
#include "potentials/clash.h"
#include "potentials/dfire.h"
#include "potentials/oscar.h"
#include "potentials/quenda.h"

using namespace lorvane;

using namespace pot_test;

namespace {

// A QUENDA table whose entries tell class pair and bin apart, symmetric in the classes.
const Potentials& patternQuenda() {
    static const Potentials pot = [] {
        Potentials p;
        for (int a = 0; a < 20; ++a)
            for (int b = 0; b < 20; ++b)
                for (int k = 0; k < 80; ++k) p.quenda[a][b][k] = 1000.0 * (a + b) + 10.0 * (a * b % 7) + k + 1;
        return p;
    }();
    return pot;
}

double quenda(Structure& s, int from, int to, bool all, double* e = nullptr) {
    double z[4] = {0, 0, 0, 0};
    if (!e) e = z;
    return quenda_e(patternQuenda(), s, from, to, all, e[0], e[1], e[2], e[3]);
}

TEST(QuendaE, BinsCutOffAndSkippedAtoms) {
    Structure s(10);
    emptyChain(s, 3, ALA, 12);
    put(s, 1, 1, 3, 1.0f, 1.0f, 1.0f);
    for (const auto& [x, bin] : {std::pair{8.99f, 79}, {3.0f, 20}, {4.0f, 30}, {1.25f, 2}}) {  // 0.1 A bins, class = code - 1
        put(s, 3, 1, 5, x, 1.0f, 1.0f);
        double e[4] = {0, 0, 0, 0};
        EXPECT_DOUBLE_EQ(quenda(s, 1, 1, false, e), patternQuenda().quenda[2][4][bin]) << x;
        EXPECT_DOUBLE_EQ(e[0], patternQuenda().quenda[2][4][bin]) << x;
    }
    s.residues[3].atoms[1].x = 9.0f;  // exactly 8.0 A
    EXPECT_EQ(quenda(s, 1, 1, false), 0.0);
    s.residues[3].atoms[1].x = 4.0f;
    put(s, 3, 0, 1, 0.0f, 0.0f, 0.0f);   // at the origin (absent)
    put(s, 3, 2, 22, 2.0f, 1.0f, 1.0f);  // hydrogen
    put(s, 3, 6, 21, 2.0f, 2.0f, 1.0f);  // class 21: outside the table
    put(s, 3, 7, 0, 2.0f, 2.0f, 2.0f);   // class 0: outside the table
    EXPECT_DOUBLE_EQ(quenda(s, 1, 1, true), patternQuenda().quenda[2][4][30]);
    put(s, 3, 1, 5, 30.0f, 1.0f, 1.0f);  // far CAs skip the residue pair even when other atoms are close
    put(s, 3, 3, 2, 2.0f, 1.0f, 1.0f);
    EXPECT_EQ(quenda(s, 1, 1, true), 0.0);
}

TEST(QuendaE, PartialSumsAddUpAndLoopPairsCountOnce) {
    Structure s(10);
    emptyChain(s, 8, LEU, 9);  // a compact zig-zag with backbone and side-chain atoms
    for (int i = 1; i <= 8; ++i) {
        const float x = 3.3f * i, y = (i % 2) ? 1.5f : -1.5f, z = (i % 3) * 0.7f;
        const float p[9][3] = {{x - 0.9f, y, z + 0.3f},         {x, y + 0.4f, z},        {x + 0.9f, y - 0.2f, z + 0.5f},
                               {x + 1.2f, y - 1.0f, z + 1.1f},  {x - 1.2f, y + 0.5f, z}, {x, y + 1.8f, z - 0.8f},
                               {x + 0.5f, y + 3.0f, z - 1.5f},  {x - 0.8f, y + 3.9f, z - 2.0f}, {x + 1.6f, y + 3.4f, z - 2.4f}};
        const int code[9] = {1 + i % 5, 2 + i % 7, 3, 4, 23 /* amide H: not heavy */, 6, 7 + i % 4, 9, 10 + i % 9};
        for (int k = 0; k < 9; ++k) put(s, i, k, code[k], p[k][0], p[k][1], p[k][2]);
    }
    double e[4] = {0.5, -1.0, 2.0, 3.0};  // the sums are added to what the caller holds
    const double total = quenda(s, 3, 6, true, e);
    EXPECT_GT(total, 0.0);
    EXPECT_NEAR(e[0] - 0.5 + e[1] + 1.0 + e[2] - 2.0 + e[3] - 3.0, total, 1e-9 * total);
    EXPECT_GT(e[1], -1.0);  // side chain against the frame
    EXPECT_GT(e[2], 2.0);   // side chain-side chain inside the loop
    EXPECT_GT(e[3], 3.0);   // backbone-side chain inside the loop
    double f[4] = {0, 0, 0, 0};  // without allAtoms the loop contributes slots 0-5 only: e2 and e3 stay
    const double bbTotal = quenda(s, 3, 6, false, f);
    EXPECT_EQ(f[1] + f[2], 0.0);
    EXPECT_DOUBLE_EQ(f[0] + f[3], bbTotal);
    // Loop residues 3 and 5 meet once: alone, loop 3..5 scores what either one-residue loop scores.
    for (int i : {1, 2, 4, 6, 7, 8})
        for (int k = 0; k < 9; ++k) s.residues[i].atoms[k].type = ABSENT;
    const double from3 = quenda(s, 3, 3, true);
    EXPECT_GT(from3, 0.0);
    EXPECT_DOUBLE_EQ(quenda(s, 5, 5, true), from3);
    EXPECT_DOUBLE_EQ(quenda(s, 3, 5, true), from3);
}


TEST(DfireE, HalfAngstromBinsCapSplitAndSkippedAtoms) {
    Potentials p;
    for (int i = 0; i < DFIRE_BINS; ++i) {
        p.edfire[0][3][i] = p.edfire[3][0][i] = 0.01 * (i + 1);  // N-O
        p.edfire[5][5][i] = 25.0;                                // CB-CB, above the cap
    }
    Structure s(10);
    emptyChain(s, 3, ALA, 6);
    AtomIndex x = numberByHand(s, typeBySlot);
    put(s, 1, 0, 1, 1.0f, 1.0f, 1.0f);
    for (const auto& [px, e] : {std::pair{15.99f, 0.30}, {16.0f, 0.0}, {3.6f, 0.06}}) {  // 14.99 A: bin 29; 15 A: none; 2.6 A: bin 5
        put(s, 3, 3, 4, px, 1.0f, 1.0f);
        double bb = 0, sc = 0;
        dfire_e(p, x, s, 1, 1, bb, sc);
        EXPECT_DOUBLE_EQ(bb, e) << px;
        EXPECT_EQ(sc, 0.0);
        bb = 0;
        dfire_e(p, x, s, 3, 3, bb, sc);  // the same pair seen from the other loop residue
        EXPECT_DOUBLE_EQ(bb, e) << px;
    }
    put(s, 1, 5, 6, 1.0f, 5.0f, 1.0f);  // a CB contact adds to sc, capped at 10
    put(s, 3, 5, 6, 1.0f, 9.0f, 1.0f);
    double bb = 0, sc = 0;
    dfire_e(p, x, s, 1, 1, bb, sc);
    EXPECT_EQ(sc, 10.0);
    bb = sc = 0;
    dfire_e(p, x, s, 2, 2, bb, sc);  // both residues outside the loop: nothing
    EXPECT_EQ(bb + sc, 0.0);

    for (int a = 0; a < NUM_PAIR_TYPES; ++a)
        for (int b = 0; b < NUM_PAIR_TYPES; ++b) p.edfire[a][b][4] = 1.0;  // every pair at 2.0-2.5 A
    emptyChain(s, 2, ALA, 6);
    x = numberByHand(s, [](int k) { return k == 2 ? NO_PAIR_TYPE : k; });
    put(s, 1, 1, 2, 0.0f, 0.0f, 0.0f);
    put(s, 1, 2, 3, 0.0f, 5.0f, 0.0f);  // no pair type
    put(s, 1, 4, 23, 0.0f, 0.0f, 10.0f);
    put(s, 2, 0, 1, 2.2f, 0.0f, 0.0f);    // 2.2 A from CA(1), adjacent residues are scored
    put(s, 2, 4, 23, 0.0f, 0.0f, 12.2f);  // near H(1), but the amide H is never scored
    put(s, 2, 1, 2, 0.0f, 7.2f, 0.0f);    // 2.2 A from the untyped C(1)
    bb = sc = 0;
    dfire_e(p, x, s, 1, 2, bb, sc);
    EXPECT_EQ(bb, 1.0);
    EXPECT_EQ(sc, 0.0);
}

// The smooth read: the bin's value at its centre (k + 0.5) / 2 A, the straight
// line between two centres, flat outside the first and last, capped values
// capped before the line; the binned read steps at the edges k / 2 A.
TEST(DfirePairEnergy, SmoothReadJoinsBinCentresAndMeetsTheBinnedOneThere) {
    Potentials p;
    for (int k = 0; k < DFIRE_BINS; ++k) p.edfire[0][3][k] = 0.1 * k;
    p.edfire[0][3][10] = 30.0;  // 5.0-5.5 A, above the cap
    struct Case {
        double d, binned, smooth;
    };
    const Case cases[] = {
        {0.10, 0.0, 0.0},     // before the first centre (0.25 A): flat
        {2.25, 0.4, 0.4},     // the centre of bin 4
        {2.50, 0.5, 0.45},    // the edge between bins 4 and 5: halfway
        {2.40, 0.4, 0.43},    // 0.3 of the way from centre 4 to centre 5
        {4.75, 0.9, 0.9},     // the centre of bin 9, next to the capped bin
        {5.00, 10.0, 5.45},   // halfway to the capped bin: 0.9 and 10
        {5.25, 10.0, 10.0},   // the capped bin's centre
        {14.75, 2.9, 2.9},    // the last centre
        {14.99, 2.9, 2.9},    // after it: flat
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(dfirePairEnergy(p, 0, 3, c.d, false), c.binned, 1e-12) << c.d;
        EXPECT_NEAR(dfirePairEnergy(p, 0, 3, c.d, true), c.smooth, 1e-12) << c.d;
    }
    // Continuous across a bin edge, where the binned read jumps by a whole step.
    EXPECT_NEAR(dfirePairEnergy(p, 0, 3, 3.0 - 1e-9, true), dfirePairEnergy(p, 0, 3, 3.0 + 1e-9, true), 1e-6);
    EXPECT_NEAR(dfirePairEnergy(p, 0, 3, 3.0 + 1e-9, false) - dfirePairEnergy(p, 0, 3, 3.0 - 1e-9, false), 0.1, 1e-12);
}

TEST(GetNeigh, ShellExcludedResiduesAndCapacity) {
    Structure s(10);
    emptyChain(s, 6, ALA, 6);
    const AtomIndex x = numberByHand(s, typeBySlot);
    put(s, 3, 5, 6, 0.0f, 0.0f, 0.0f);  // the CB at the centre
    for (int i : {2, 4}) put(s, i, 1, 2, 1.0f, 1.0f, 1.0f);  // close, but r +- 1
    put(s, 1, 1, 2, 5.0f, 0.0f, 0.0f);
    put(s, 1, 0, 1, 14.9f, 0.0f, 0.0f);  // inside 15 A
    put(s, 1, 2, 3, 15.1f, 0.0f, 0.0f);  // outside
    put(s, 5, 1, 2, 20.1f, 0.0f, 0.0f);  // CA beyond 20 A: whole residue skipped
    put(s, 5, 0, 1, 3.0f, 0.0f, 0.0f);
    put(s, 6, 1, 2, 50.0f, 0.0f, 0.0f);
    int out[3 * 2000];
    const int n = getNeigh(x, s, 3, out);
    std::string seen;  // slot:type of residue 1; absent slots 3-5 sit at the origin, in range but unscored
    for (int m = 0; m < n; ++m) {
        EXPECT_EQ(out[3 * m], 1) << "only residue 1 qualifies";
        seen += std::to_string(out[3 * m + 1]) + ":" + std::to_string(out[3 * m + 2]) + " ";
    }
    EXPECT_EQ(seen, "0:0 1:1 3:167 4:167 5:167 ");
    EXPECT_ERROR(getNeigh(x, s, 3, out, 1), 1, "more than 1 atoms within 15 A of the CB of residue");
}

TEST(Clash, PrepAndEvaluation) {
    Structure s(10);
    emptyChain(s, 4, ALA, 10);
    const AtomIndex x = numberByHand(s, typeBySlot);
    ClashPairs pairs{{{1, 1, 1, 1, 1, 1, 1}}, {{1, 1, 1, 1, 1, 1, 1}}, {}, {}};
    int order[1] = {2};
    bool backward[1] = {false};
    vdw_bbsc_prep(pairs, tmpl(), x, s, 0, order, backward, 0);  // step zero: nothing grown before, empty lists
    vdw_scsc_prep(pairs, tmpl(), x, s, 0, order);
    EXPECT_EQ(pairs.bbsc.size() + pairs.scsc.size(), 0u);
    Potentials p;
    double e = 5.0;
    EXPECT_EQ(bbscHere(p, pairs, s, e), 0.0);
    EXPECT_EQ(e, 0.0);

    put(s, 1, 6, 1, 0.0f, 0.0f, 0.0f);
    put(s, 2, 6, 1, 2.0f, 0.0f, 0.0f);  // r^2 = 4.0: bin 40
    put(s, 4, 6, 1, 0.0f, 3.0f, 0.0f);  // r^2 = 9.0: bin 90
    put(s, 3, 6, 1, 8.0f, 0.0f, 0.0f);  // r^2 = 64.0 from residue 1: at the cut-off
    p.etable[7][8][40] = 9.5;
    p.etable[7][9][90] = 2.0;
    p.etable[7][9][639] = 50.0;
    pairs.bbsc = {{1, 6, 2, 6, 7, 8, 1}, {1, 6, 4, 6, 7, 9, 3}, {1, 6, 3, 6, 7, 9, 2}};
    EXPECT_EQ(bbscHere(p, pairs, s, e), 0.0);
    EXPECT_DOUBLE_EQ(e, 2.0);  // the adjacent pair below 10 adds nothing; the r^2 = 64 pair is skipped
    p.etable[7][8][40] = 10.5;  // an adjacent pair above 10 is a clash
    EXPECT_EQ(bbscHere(p, pairs, s, e), REJECTED);
    EXPECT_EQ(e, 0.0);  // stopped at the first record
    pairs.scsc = {{1, 6, 4, 6, 7, 9, 3}, {1, 6, 2, 6, 7, 8, 1}};
    EXPECT_EQ(scscHere(p, pairs, s, e), REJECTED);
    EXPECT_DOUBLE_EQ(e, 2.0);  // the sum so far is kept
}

TEST(Oscar, GeometryAndOrientationPolynomial) {
    const float o[3] = {0, 0, 0}, x[3] = {1, 0, 0}, y[3] = {0, 2, 0}, mx[3] = {-3, 0, 0}, a[3] = {1, 1, 0};
    EXPECT_NEAR(coss(x, o, y), 0.0f, 1e-7);
    EXPECT_NEAR(coss(x, o, mx), -1.0f, 1e-6);
    EXPECT_NEAR(coss(a, o, x), std::sqrt(0.5f), 1e-6);
    EXPECT_NEAR(cosv(o, x, y, a), std::sqrt(0.5f), 1e-6);  // (1,0,0) against (1,-1,0)
    float out[3];
    const float base[3] = {1, 1, 1}, p1[3] = {2, 1, 1}, p2[3] = {1, 2, 1};
    orient(base, p1, p2, out);  // base + x * y = base + z
    EXPECT_EQ(std::vector<float>(out, out + 3), (std::vector<float>{1.0f, 1.0f, 2.0f}));
    // c1 = 0 (orientation perpendicular at a), c2 = -1 (b's point beyond b), c3 = cos(oa-pa, ob-pb) = 0.
    Potentials p;
    double* P = p.pb[2][5];
    P[13] = 0.25, P[5] = 2.0 /* c2^2 */, P[11] = 3.0 /* c2 */, P[7] = 5.0 /* c1 c2 */, P[12] = 7.0 /* c3 */;
    const float oa[3] = {0, 1, 0}, pa[3] = {0, 0, 0}, ob[3] = {3, 0, 0}, pbv[3] = {2, 0, 0};
    EXPECT_NEAR(getori(p, oa, pa, ob, pbv, 2, 5), 0.25 + 2.0 - 3.0, 1e-6);
}

// Two Ser-like residues far apart in sequence whose group atoms (slot 6) face each other;
// the orientation point of each group atom is its CB (slot 5, one neighbour).
void oscarPair(Potentials& p, Structure& s, float sep, double pb0) {
    emptyChain(s, 5, SER, 7);
    for (int i = 1; i <= 5; ++i)
        for (int k = 0; k < 7; ++k) put(s, i, k, 1, 20.0f * i + k, 40.0f, 0.0f);  // far from everything
    put(s, 1, 5, 1, 0.0f, -1.0f, 0.0f);
    put(s, 1, 6, 1, 0.0f, 0.0f, 0.0f);
    put(s, 3, 5, 1, sep, -1.0f, 0.0f);
    put(s, 3, 6, 1, sep, 0.0f, 0.0f);
    for (int i : {1, 3}) s.residues[i].atoms[6].fgIndex = 0, s.residues[i].atoms[6].oscarType = 10;  // OG
    p.numDipoles = 20;
    for (DipoleRecord& d : p.dipoles) d = DipoleRecord();
    DipoleRecord& ser = p.dipoles[SER];
    std::strcpy(ser.resName, "SER");
    ser.atomCount = 1, ser.atomId[0] = 6, ser.neighbourCount[0] = 1, ser.neighbourId[0][0] = 5;
    std::memset(p.pb, 0, sizeof p.pb);
    p.pb[10][10][13] = 1.0;  // orientation factor 1
    p.pb[10][10][0] = pb0;   // e = pb0 / r^2
}

TEST(Oscar, SideChainPairsCountOnceCapAndCutOff) {
    Potentials p;
    Structure s(10);
    oscarPair(p, s, 4.0f, 32.0);  // r^2 = 16: e = 2
    EXPECT_DOUBLE_EQ(oscar_e(p, s, 1, 3), 2.0);
    EXPECT_DOUBLE_EQ(oscar_e(p, s, 1, 1), 2.0);
    EXPECT_DOUBLE_EQ(oscar_e(p, s, 3, 3), 2.0);  // frame side chain against loop side chain, once
    EXPECT_FLOAT_EQ(s.residues[3].atoms[6].orientPoint[1], -1.0f);  // the CB
    oscarPair(p, s, 4.0f, 400.0);  // e = 25: at most 10 per pair
    EXPECT_DOUBLE_EQ(oscar_e(p, s, 1, 3), 10.0);
    oscarPair(p, s, 10.0f, 32.0);  // r^2 = 100: not scored
    EXPECT_EQ(oscar_e(p, s, 1, 3), 0.0);
    oscarPair(p, s, 9.99f, 32.0);
    EXPECT_GT(oscar_e(p, s, 1, 3), 0.0);
    p.dipoles[SER].neighbourId[0][0] = 12;  // beyond the residue's atoms
    EXPECT_ERROR(oscar_e(p, s, 1, 1), 1, "no required atoms for dipole found");
    for (int t = 0; t < 20; ++t)  // side-chain torsion term: nothing for glycine and alanine
        for (int k = 0; k < 5; ++k)
            for (int m = 0; m < 6; ++m) p.pcs[t][k][m] = 1.0;
    emptyChain(s, 4, GLY, 7);
    s.residues[2].type = ALA;
    EXPECT_EQ(scto_e(p, tmpl(), s, 1, 4), 0.0);
}

}  // namespace
