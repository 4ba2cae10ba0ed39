// Pair tables of lorvane-params: pair types and topology, the DFIRE
// reference state worked by hand, the clash wall of the sampling table, the
// ideal-gas QUENDA wall, round trips through the program's loaders, counts
// that do not depend on the thread count.
#include <cmath>
#include <sstream>

#include "model/strings.h"
#include "model/table_text.h"
#include "params/dfire_table.h"
#include "params/pair_counts.h"
#include "params/quenda_table.h"
#include "params/sampling_pair_table.h"
#include "params/statistics.h"
#include "params_support.h"
#include "potentials/potentials.h"

using namespace params_test;

namespace {

// The pair types are built once; every test of this file reads them.
class PairTablesTest : public ::testing::Test {
protected:
    static const PairTypes& types() {
        static const PairTypes t = pairTypesFromTemplates(tmpl());
        return t;
    }
    static int typeOf(const std::string& key) {
        for (int t = 0; t < NUM_PAIR_TYPES; ++t)
            if (types().key[t] == key) return t;
        return -1;
    }
    // The pair tables (DFIRE, then the sampling table when given) read by the program's parsers.
    static void readPairTables(const std::string& dfire, const std::string& sampling, int mode, Potentials& pot) {
        TableText d("dfire_pair.lib", dfire);
        parseDfirePairs(pot, d, mode);
        if (sampling.empty()) return;
        TableText q("QUENDApair.lib", sampling);
        parseQuendaPairs(pot, q, mode);
    }
};

class PairTablesSlow : public PairTablesTest {};

// Empty counts (the arrays sized).
PairCounts emptyCounts() {
    PairCounts c;
    c.reset();
    return c;
}

TrainResidue residue(int t, char ss, bool breakBefore) {
    TrainResidue r;
    r.type = static_cast<int8_t>(t);
    r.ss = ss;
    r.breakBefore = breakBefore;
    return r;
}

// Deterministic pseudo-random chain: residues along a helix-like path, atoms scattered around CA.
TrainChain randomChain(const PairTypes& types, unsigned seed, int n) {
    TrainChain ch;
    ch.pdbId = "test";
    ch.weight = 0.5 + (seed % 3) * 0.25;
    unsigned s = seed * 2654435761u + 1u;
    auto rnd = [&]() {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) / 16777216.0f;
    };
    for (int i = 0; i < n; ++i) {
        int t = static_cast<int>(rnd() * 20) % 20;
        TrainResidue r = residue(t, "HEC"[static_cast<int>(rnd() * 3) % 3], i == 0 || rnd() < 0.05f);
        const float cx = 2.3f * std::cos(i * 1.75f) + 0.1f * i, cy = 2.3f * std::sin(i * 1.75f), cz = 1.5f * i;
        for (int k = 0; k < TRAIN_SLOTS; ++k) {
            if (!types.heavy[t][k]) continue;
            r.atoms[k] = Point(cx + 4 * (rnd() - 0.5f), cy + 4 * (rnd() - 0.5f), cz + 4 * (rnd() - 0.5f));
            r.present |= static_cast<uint16_t>(1u << k);
        }
        ch.residues.push_back(r);
    }
    return ch;
}

}  // namespace

TEST_F(PairTablesTest, HundredSixtySevenTypesAndTheirPairIndex) {
    const PairTypes& pt = types();
    EXPECT_EQ(pt.key[0], "ALA N");
    EXPECT_EQ(pt.key[4], "ALA CB");
    EXPECT_EQ(pt.key[NUM_PAIR_TYPES - 1], "TYR OH");
    EXPECT_EQ(pt.typeOf[GLY][5], -1);  // glycine's virtual CB carries no type
    EXPECT_EQ(pt.typeOf[PRO][4], -1);
    // Every unordered pair has its own index.
    std::vector<int> seen(NPAIRS, 0);
    for (int a = 0; a < NUM_PAIR_TYPES; ++a)
        for (int b = a; b < NUM_PAIR_TYPES; ++b) {
            ASSERT_EQ(pairIndex(a, b), pairIndex(b, a));
            ++seen[pairIndex(a, b)];
        }
    for (int v : seen) ASSERT_EQ(v, 1);
}

TEST_F(PairTablesTest, BondPathsAcrossThePeptideBondAndRings) {
    TrainChain ch;
    ch.residues = {residue(ALA, 'C', true), residue(PRO, 'C', false), residue(GLY, 'C', true)};
    EXPECT_EQ(bondPath(types(), ch, 0, 2, 1, 0), 1);   // C(i)-N(i+1)
    EXPECT_EQ(bondPath(types(), ch, 0, 3, 1, 0), 2);   // O(i)-N(i+1): 1-3
    EXPECT_EQ(bondPath(types(), ch, 0, 1, 1, 1), 3);   // CA-CA: 1-4
    EXPECT_EQ(bondPath(types(), ch, 0, 2, 1, 2), 3);   // C(i-1)-C(i): 1-4
    EXPECT_EQ(bondPath(types(), ch, 0, 1, 1, 7), 3);   // CA(i)-CD(Pro i+1) through the proline ring N
    EXPECT_EQ(bondPath(types(), ch, 1, 0, 1, 7), 1);   // ring closure N-CD
    EXPECT_EQ(bondPath(types(), ch, 1, 2, 2, 0), UNBONDED);  // chain break before residue 2
    EXPECT_EQ(bondPath(types(), ch, 0, 0, 2, 0), UNBONDED);
}

TEST_F(PairTablesTest, ReferenceStateWorkedByHand) {
    PairCounts c = emptyCounts();
    const int a = typeOf("ALA CB"), b = typeOf("LEU CD1");
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    const int p = pairIndex(a, b);
    // Counts chosen by hand: bin 7 (3.5-4 A) 50, bin 8 60, bin 29 (14.5-15 A) 400, bin 0 empty.
    auto set = [&](int bin, double n) { c.dfire[static_cast<size_t>(p) * DFIRE_BINS + bin] = fixedWeight(n); };
    set(7, 50);
    set(8, 60);
    set(29, 400);
    DfireParams dp;
    std::vector<double> e;
    dfireEnergies(types(), c, dp, e);
    // The only populated pair: its class pair and the global pool carry exactly its own ratio, so the
    // pseudo-counts leave E = -RT ln[N(r) / ((r / r_cut)^1.61 N(r_cut))].
    auto expect = [&](int bin, double n) { return -0.6 * std::log(n / (std::pow((bin * 0.5 + 0.25) / 14.75, 1.61) * 400.0)); };
    EXPECT_NEAR(e[static_cast<size_t>(p) * DFIRE_BINS + 7], expect(7, 50), 1e-9);
    EXPECT_NEAR(e[static_cast<size_t>(p) * DFIRE_BINS + 8], expect(8, 60), 1e-9);
    EXPECT_NEAR(e[static_cast<size_t>(p) * DFIRE_BINS + 29], 0.0, 1e-12);
    EXPECT_NEAR(e[static_cast<size_t>(p) * DFIRE_BINS + 0], -0.6 * std::log(dp.minRatio), 1e-9);  // floor
    // A sparse pair of the same classes leans towards the populated one: (N + m R_pool) / (E + m).
    const int a2 = typeOf("VAL CG1"), b2 = typeOf("ILE CD1");
    ASSERT_EQ(types().vdwClass[a2], types().vdwClass[a]);
    ASSERT_EQ(types().vdwClass[b2], types().vdwClass[b]);
    const int q = pairIndex(a2, b2);
    c.dfire[static_cast<size_t>(q) * DFIRE_BINS + 7] = fixedWeight(1);
    c.dfire[static_cast<size_t>(q) * DFIRE_BINS + 29] = fixedWeight(20);
    dfireEnergies(types(), c, dp, e);
    const double g7 = std::pow(3.75 / 14.75, 1.61);
    const double rPool = 51.0 / (420.0 * g7);  // class pair (and everything): (50 + 1) / ((400 + 20) g7)
    const double r = (1.0 + dp.pseudo * rPool) / (20.0 * g7 + dp.pseudo);
    EXPECT_NEAR(e[static_cast<size_t>(q) * DFIRE_BINS + 7], -0.6 * std::log(r), 1e-9);
    EXPECT_NEAR(e[static_cast<size_t>(q) * DFIRE_BINS + 29], 0.0, 0.05);
}

TEST_F(PairTablesTest, FileRoundTripThroughTheLoaderIsSymmetric) {
    PairCounts c = emptyCounts();
    // Distinct values for a few pairs, including a same-type pair.
    const int pairsA[3][2] = {{typeOf("ALA N"), typeOf("TYR OH")}, {typeOf("GLU OE1"), typeOf("LYS NZ")}, {typeOf("CYS SG"), typeOf("CYS SG")}};
    for (int k = 0; k < 3; ++k)
        for (int b = 0; b < DFIRE_BINS; ++b)
            c.dfire[static_cast<size_t>(pairIndex(pairsA[k][0], pairsA[k][1])) * DFIRE_BINS + b] = fixedWeight(10 + 7 * k + b % 5);
    DfireParams dp;
    std::vector<double> e;
    dfireEnergies(types(), c, dp, e);
    const std::string text = formatDfire(types(), e, dp);
    // One line per unordered pair after the comments.
    std::istringstream in(text);
    std::string line;
    int lines = 0;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#') {
            ++lines;
            ASSERT_EQ(split(line, " ", false).size(), 4u + DFIRE_BINS);
        }
    EXPECT_EQ(lines, NPAIRS);
    Potentials pot;
    readPairTables(text, "", 2, pot);  // mode 2: no sampling pair file needed
    ASSERT_EQ(pot.pairTypes.size(), static_cast<size_t>(NUM_PAIR_TYPES));
    for (int t = 0; t < NUM_PAIR_TYPES; ++t) ASSERT_EQ(pot.pairTypes[types().key[t]], t) << types().key[t];
    for (int k = 0; k < 3; ++k) {
        const int x = pairsA[k][0], y = pairsA[k][1];
        for (int b = 0; b < DFIRE_BINS; ++b) {
            const double want = e[static_cast<size_t>(pairIndex(x, y)) * DFIRE_BINS + b];
            EXPECT_NEAR(pot.edfire[x][y][b], want, 5e-5);
            EXPECT_EQ(pot.edfire[x][y][b], pot.edfire[y][x][b]);
        }
    }
}

namespace {

// Counts for one pair: loop contacts spread over 3-8 A, and a clash histogram whose closest
// observations sit at a chosen distance in one category.
PairCounts wallCounts(int p, int cat, double closest, int closeCount) {
    PairCounts c = emptyCounts();
    for (int b = 0; b < ETABLE_BINS; ++b) {
        const double r = std::sqrt((b + 0.5) * 0.1);
        if (r > 3.0) c.samp[static_cast<size_t>(p) * ETABLE_BINS + b] = fixedWeight(100.0 * r);
    }
    c.sampShell[p] = fixedWeight(20000.0);
    uint32_t* h = &c.clashHist[(static_cast<size_t>(cat) * NPAIRS + p) * CLASH_NBINS];
    h[static_cast<int>(closest * closest * 10)] = static_cast<uint32_t>(closeCount);
    for (int b = 120; b < CLASH_NBINS; ++b) h[b] = 1000;  // bulk of the contacts from 3.46 A on
    return c;
}

}  // namespace

TEST_F(PairTablesSlow, WallSitsBelowTheLowQuantileLessTheMargin) {
    const int a = typeOf("GLY C"), b = typeOf("SER C");
    const int p = pairIndex(a, b);
    SamplingParams sp;
    // 130 000 contacts; the 20 closest at 2.9 A stay below the 0.02% quantile (26), so the wall follows
    // the bulk at 3.46 A.
    {
        PairCounts c = wallCounts(p, CAT_FAR, 2.9, 20);
        SamplingTable t;
        samplingTable(types(), c, sp, t);
        const double want = std::pow(std::sqrt(12.0) - sp.margin, 2);
        EXPECT_EQ(t.wall[p], static_cast<int>(std::floor(want * 10 + 1e-9)) + 1);
        EXPECT_LE((t.wall[p] - 1) * 0.1, want);  // LJclash, as the loader derives it
    }
    // 200 of them at 2.9 A: now inside the quantile, the wall moves in below 2.9 A.
    {
        PairCounts c = wallCounts(p, CAT_ADJ14, 2.9, 200);
        SamplingTable t;
        samplingTable(types(), c, sp, t);
        const double* e = &t.e[static_cast<size_t>(p) * ETABLE_BINS];
        const double q = std::floor(2.9 * 2.9 * 10) * 0.1;
        const double want = std::pow(std::sqrt(q) - sp.margin, 2);
        const int k = t.wall[p];
        EXPECT_EQ(k, static_cast<int>(std::floor(want * 10 + 1e-9)) + 1);
        for (int bin = 0; bin < k; ++bin) ASSERT_GT(e[bin], 100.0);
        for (int bin = k; bin < ETABLE_BINS; ++bin) ASSERT_LE(e[bin], sp.cap) << "above the wall energies stay moderate";
        // Observed pairs at 2.9 A: not a clash and not above 10.
        const int obs = static_cast<int>(2.9 * 2.9 * 10);
        EXPECT_LE(e[obs], 10.0);
    }
}

TEST_F(PairTablesSlow, LoaderDerivesTheSameClashDistanceAndTable) {
    const int a = typeOf("ALA O"), b = typeOf("ARG NH1");
    const int p = pairIndex(a, b);
    PairCounts c = wallCounts(p, CAT_SEP2, 2.6, 500);
    SamplingParams sp;
    SamplingTable t;
    samplingTable(types(), c, sp, t);
    DfireParams dp;
    std::vector<double> e;
    dfireEnergies(types(), c, dp, e);
    Potentials pot;
    readPairTables(formatDfire(types(), e, dp), formatSampling(types(), t, sp), 1, pot);
    EXPECT_DOUBLE_EQ(pot.ljClash[a][b], (t.wall[p] - 1) * 0.1);
    EXPECT_DOUBLE_EQ(pot.ljClash[b][a], pot.ljClash[a][b]);
    EXPECT_GT(pot.ljClash[a][b], 0.0);
    for (int bin = 0; bin < ETABLE_BINS; bin += 7) {
        EXPECT_NEAR(pot.etable[a][b][bin], t.e[static_cast<size_t>(p) * ETABLE_BINS + bin], 6e-4);
        EXPECT_EQ(pot.etable[b][a][bin], pot.etable[a][b][bin]);
    }
    // Every pair got a wall, hence a clash distance, in the loader's reading.
    for (int x = 0; x < NUM_PAIR_TYPES; x += 11)
        for (int y = 0; y < NUM_PAIR_TYPES; y += 13) ASSERT_GT(pot.ljClash[x][y], 0.0);
}

TEST_F(PairTablesTest, IdealGasQuendaNormalisedAtFifteenAngstrom) {
    // Counts following the reference exactly, (r / 8)^1.61 per 0.1 A bin, make every energy 0;
    // doubling the contacts below 8 A makes them -ln 2: the table is normalised on the 14.5-15 A
    // shell, not within its own 8 A.
    PairCounts c = emptyCounts();
    const int k = 6, l = 13;  // backbone N and backbone O classes
    for (int c1 = 0; c1 < QUENDA_CLASSES; ++c1)
        for (int c2 = 0; c2 < QUENDA_CLASSES; ++c2)
            for (int b = 20; b < QUENDA_CBINS; ++b) {
                const double ref = 1000.0 * std::pow((b + 0.5) * 0.1 / 8.0, 1.61);
                const bool pair = (c1 == k && c2 == l) || (c1 == l && c2 == k);
                c.quenda[(static_cast<size_t>(c1) * QUENDA_CLASSES + c2) * QUENDA_CBINS + b] = fixedWeight(pair && b < 80 ? 2 * ref : ref);
            }
    const IdealGasParams qp;
    const std::vector<double> e = idealGasQuenda(types(), c, qp);
    auto E = [&](int c1, int c2, int b) { return e[(static_cast<size_t>(c1) * QUENDA_CLASSES + c2) * QUENDA_BINS + b]; };
    EXPECT_NEAR(E(0, 0, 40), 0.0, 1e-3);
    EXPECT_NEAR(E(k, l, 40), -std::log(2.0), 0.01);  // the pseudo-count pulls a little towards the pool
    EXPECT_NEAR(E(l, k, 70), E(k, l, 70), 1e-12);
    EXPECT_NEAR(E(0, 0, 5), qp.maxEnergy, 1e-9);     // nothing observed, nothing in the pool: the ceiling
    for (int c1 = 0; c1 < QUENDA_CLASSES; ++c1)
        for (int c2 = 0; c2 < QUENDA_CLASSES; ++c2)
            for (int b = 0; b < QUENDA_BINS; b += 3) ASSERT_EQ(E(c1, c2, b), E(c2, c1, b));
}

TEST_F(PairTablesSlow, ThreadCountDoesNotChangeTheTables) {
    TrainingSet ts;
    for (unsigned k = 0; k < 12; ++k) ts.chains.push_back(randomChain(types(), k + 1, 40 + 7 * static_cast<int>(k)));
    PairCounts one, two;
    countPairs(types(), ts, 1, one);
    countPairs(types(), ts, 2, two);
    EXPECT_EQ(one.dfire, two.dfire);
    EXPECT_EQ(one.samp, two.samp);
    EXPECT_EQ(one.quenda, two.quenda);
    EXPECT_EQ(one.sampShell, two.sampShell);
    EXPECT_EQ(one.clashHist, two.clashHist);
    SamplingParams sp;
    SamplingTable t1, t2;
    samplingTable(types(), one, sp, t1);
    samplingTable(types(), two, sp, t2);
    EXPECT_EQ(t1.e, t2.e);
    EXPECT_EQ(t1.wall, t2.wall);
    // Same-residue pairs never reach DFIRE, and every counted DFIRE pair is within 15 A.
    long total = 0;
    for (int64_t v : one.dfire) total += v;
    EXPECT_GT(total, 0);
    // QUENDA counts are symmetric in the two classes.
    for (int c1 = 0; c1 < QUENDA_CLASSES; ++c1)
        for (int c2 = 0; c2 < QUENDA_CLASSES; ++c2)
            for (int b = 0; b < QUENDA_CBINS; ++b)
                ASSERT_EQ(one.quenda[(static_cast<size_t>(c1) * QUENDA_CLASSES + c2) * QUENDA_CBINS + b],
                          one.quenda[(static_cast<size_t>(c2) * QUENDA_CLASSES + c1) * QUENDA_CBINS + b]);
}

TEST_F(PairTablesTest, PairsLandInTheirBinsAndCategories) {
    // Two alanines i, i+2 (coil) and a glycine between: ALA CB(0) - ALA CB(2) at 5.25 A.
    TrainChain ch;
    ch.weight = 1.0;
    ch.residues = {residue(ALA, 'C', true), residue(GLY, 'H', false), residue(ALA, 'H', false)};
    auto put = [&](int i, int slot, float x, float y, float z) {
        ch.residues[i].atoms[slot] = Point(x, y, z);
        ch.residues[i].present |= static_cast<uint16_t>(1u << slot);
    };
    put(0, 5, 0, 0, 0);
    put(2, 5, 5.25f, 0, 0);
    put(1, 1, 100, 0, 0);  // far away
    PairCounts c = emptyCounts();
    countChain(types(), ch, c);
    const int cb = typeOf("ALA CB");
    const int p = pairIndex(cb, cb);
    EXPECT_EQ(c.dfire[static_cast<size_t>(p) * DFIRE_BINS + 10], fixedWeight(1.0));  // 5.0-5.5 A
    EXPECT_EQ(c.samp[static_cast<size_t>(p) * ETABLE_BINS + 275], fixedWeight(1.0));
    EXPECT_EQ(c.clashTot[static_cast<size_t>(CAT_SEP2) * NPAIRS + p], 1u);
    const int cls = types().vdwClass[cb] - 1;
    EXPECT_EQ(c.quenda[(static_cast<size_t>(cls) * QUENDA_CLASSES + cls) * QUENDA_CBINS + 52], fixedWeight(1.0));
    // Without a coil residue the pair is not a loop contact.
    ch.residues[0].ss = 'E';
    PairCounts d = emptyCounts();
    countChain(types(), ch, d);
    EXPECT_EQ(d.samp[static_cast<size_t>(p) * ETABLE_BINS + 275], 0);
    EXPECT_EQ(d.dfire[static_cast<size_t>(p) * DFIRE_BINS + 10], fixedWeight(1.0));
}
