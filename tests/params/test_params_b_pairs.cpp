// Pair potentials of lorvane-params: pair types and topology, the DFIRE
// reference state worked by hand, the clash wall of the sampling table,
// QUENDA lines, round trips through the program's loaders, determinism.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "model/residue.h"
#include "model/strings.h"
#include "model/table_text.h"
#include "params/params_b.h"
#include "params/training_set.h"
#include "potentials/potentials.h"

using namespace lorvane;

using namespace paramsb;

namespace {

// Relative to the repository root, where the tests run: the whole test program loads the
// templates once, under one name.
const std::string kTemplates = "data/atomProp2.txt";

bool haveTemplates() {
    static const bool ok = [] {
        if (!std::ifstream(kTemplates)) return false;
        useTemplates(kTemplates);
        return true;
    }();
    return ok;
}

#define NEED_TEMPLATES() \
    if (!haveTemplates()) GTEST_SKIP() << "data/atomProp2.txt not present"

int typeOf(const std::string& key) {
    const PairTypes& pt = pairTypes();
    for (int t = 0; t < NTYPES; ++t)
        if (pt.key[t] == key) return t;
    return -1;
}

// Empty counts (the arrays sized).
PairCounts emptyCounts() {
    PairCounts c;
    c.reset();
    return c;
}

// A temporary folder with data/ beneath it, left again on destruction.
class TempData {
public:
    TempData() {
        char tmpl[] = "/tmp/lorvane-pb-XXXXXX";
        dir_ = mkdtemp(tmpl);
        std::filesystem::create_directories(dir_ + "/data");
        old_ = std::filesystem::current_path();
    }
    ~TempData() {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ + "/data/" + name, std::ios::binary) << text;
    }
    void enter() { std::filesystem::current_path(dir_); }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
    std::filesystem::path old_;
};

// A residue of type t with every heavy atom at the given points.
TrainResidue residue(int t, char ss, bool breakBefore) {
    TrainResidue r;
    r.type = static_cast<int8_t>(t);
    r.ss = ss;
    r.breakBefore = breakBefore;
    return r;
}

// Deterministic pseudo-random chain: residues along a helix-like path, atoms scattered around CA.
TrainChain randomChain(unsigned seed, int n) {
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
            if (!topology().heavy[t][k]) continue;
            r.atoms[k] = Point(cx + 4 * (rnd() - 0.5f), cy + 4 * (rnd() - 0.5f), cz + 4 * (rnd() - 0.5f));
            r.present |= static_cast<uint16_t>(1u << k);
        }
        ch.residues.push_back(r);
    }
    return ch;
}

}  // namespace

TEST(ParamsBTypes, HundredSixtySevenKeysInTemplateOrder) {
    NEED_TEMPLATES();
    const PairTypes& pt = pairTypes();
    EXPECT_EQ(pt.key[0], "ALA N");
    EXPECT_EQ(pt.key[4], "ALA CB");
    EXPECT_EQ(pt.key[NTYPES - 1], "TYR OH");
    EXPECT_EQ(pt.typeOf[GLY][5], -1);  // glycine's virtual CB carries no type
    EXPECT_EQ(pt.typeOf[PRO][4], -1);
    int n = 0;
    for (int r = 0; r < 20; ++r)
        for (int s = 0; s < TRAIN_SLOTS; ++s)
            if (pt.typeOf[r][s] >= 0) {
                const int t = pt.typeOf[r][s];
                EXPECT_EQ(pt.key[t], threeLetter(r) + " " + ::templates().atomName[r][s]);
                EXPECT_EQ(t, n++) << "types must follow residue and slot order";
            }
    EXPECT_EQ(n, NTYPES);
    // Every unordered pair has its own index.
    std::vector<int> seen(NPAIRS, 0);
    for (int a = 0; a < NTYPES; ++a)
        for (int b = a; b < NTYPES; ++b) {
            ASSERT_EQ(pairIndex(a, b), pairIndex(b, a));
            ++seen[pairIndex(a, b)];
        }
    for (int v : seen) ASSERT_EQ(v, 1);
}

TEST(ParamsBTypes, BondPathsAcrossThePeptideBondAndRings) {
    NEED_TEMPLATES();
    TrainChain ch;
    ch.residues = {residue(ALA, 'C', true), residue(PRO, 'C', false), residue(GLY, 'C', true)};
    EXPECT_EQ(bondPath(ch, 0, 2, 1, 0), 1);   // C(i)-N(i+1)
    EXPECT_EQ(bondPath(ch, 0, 3, 1, 0), 2);   // O(i)-N(i+1): 1-3
    EXPECT_EQ(bondPath(ch, 0, 1, 1, 1), 3);   // CA-CA: 1-4
    EXPECT_EQ(bondPath(ch, 0, 2, 1, 2), 3);   // C(i-1)-C(i): 1-4
    EXPECT_EQ(bondPath(ch, 0, 1, 1, 7), 3);   // CA(i)-CD(Pro i+1) through the proline ring N
    EXPECT_EQ(bondPath(ch, 1, 0, 1, 7), 1);   // ring closure N-CD
    EXPECT_EQ(bondPath(ch, 1, 2, 2, 0), 99);  // chain break before residue 2
    EXPECT_EQ(bondPath(ch, 0, 0, 2, 0), 99);
}

TEST(ParamsBDfire, ReferenceStateWorkedByHand) {
    NEED_TEMPLATES();
    PairCounts c = emptyCounts();
    const int a = typeOf("ALA CB"), b = typeOf("LEU CD1");
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    const int p = pairIndex(a, b);
    // Counts chosen by hand: bin 7 (3.5-4 A) 50, bin 8 60, bin 29 (14.5-15 A) 400, bin 0 empty.
    auto set = [&](int bin, double n) { c.dfire[static_cast<size_t>(p) * DFIRE_NBINS + bin] = fixedWeight(n); };
    set(7, 50);
    set(8, 60);
    set(29, 400);
    DfireParams dp;
    std::vector<double> e;
    dfireEnergies(c, dp, e);
    // The only populated pair: its class pair and the global pool carry exactly its own ratio, so the
    // pseudo-counts leave E = -RT ln[N(r) / ((r / r_cut)^1.61 N(r_cut))].
    auto expect = [&](int bin, double n) { return -0.6 * std::log(n / (std::pow((bin * 0.5 + 0.25) / 14.75, 1.61) * 400.0)); };
    EXPECT_NEAR(e[static_cast<size_t>(p) * DFIRE_NBINS + 7], expect(7, 50), 1e-9);
    EXPECT_NEAR(e[static_cast<size_t>(p) * DFIRE_NBINS + 8], expect(8, 60), 1e-9);
    EXPECT_NEAR(e[static_cast<size_t>(p) * DFIRE_NBINS + 29], 0.0, 1e-12);
    EXPECT_NEAR(e[static_cast<size_t>(p) * DFIRE_NBINS + 0], -0.6 * std::log(dp.minRatio), 1e-9);  // floor
    // A sparse pair of the same classes leans towards the populated one: (N + m R_pool) / (E + m).
    const int a2 = typeOf("VAL CG1"), b2 = typeOf("ILE CD1");
    ASSERT_EQ(pairTypes().vdwClass[a2], pairTypes().vdwClass[a]);
    ASSERT_EQ(pairTypes().vdwClass[b2], pairTypes().vdwClass[b]);
    const int q = pairIndex(a2, b2);
    c.dfire[static_cast<size_t>(q) * DFIRE_NBINS + 7] = fixedWeight(1);
    c.dfire[static_cast<size_t>(q) * DFIRE_NBINS + 29] = fixedWeight(20);
    dfireEnergies(c, dp, e);
    const double g7 = std::pow(3.75 / 14.75, 1.61);
    const double rPool = 51.0 / (420.0 * g7);  // class pair (and everything): (50 + 1) / ((400 + 20) g7)
    const double r = (1.0 + dp.pseudo * rPool) / (20.0 * g7 + dp.pseudo);
    EXPECT_NEAR(e[static_cast<size_t>(q) * DFIRE_NBINS + 7], -0.6 * std::log(r), 1e-9);
    EXPECT_NEAR(e[static_cast<size_t>(q) * DFIRE_NBINS + 29], 0.0, 0.05);
}

TEST(ParamsBDfire, FileRoundTripThroughTheLoaderIsSymmetric) {
    NEED_TEMPLATES();
    PairCounts c = emptyCounts();
    // Distinct values for a few pairs, including a same-type pair.
    const int pairsA[3][2] = {{typeOf("ALA N"), typeOf("TYR OH")}, {typeOf("GLU OE1"), typeOf("LYS NZ")}, {typeOf("CYS SG"), typeOf("CYS SG")}};
    for (int k = 0; k < 3; ++k)
        for (int b = 0; b < DFIRE_NBINS; ++b)
            c.dfire[static_cast<size_t>(pairIndex(pairsA[k][0], pairsA[k][1])) * DFIRE_NBINS + b] = fixedWeight(10 + 7 * k + b % 5);
    DfireParams dp;
    std::vector<double> e;
    dfireEnergies(c, dp, e);
    const std::string text = formatDfire(e, dp);
    // One line per unordered pair after the comments.
    std::istringstream in(text);
    std::string line;
    int lines = 0;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#') {
            ++lines;
            ASSERT_EQ(split(line, " ", false).size(), 4u + DFIRE_NBINS);
        }
    EXPECT_EQ(lines, NPAIRS);
    Potentials pt;
    TableText table("dfire_pair.lib", text);
    parseDfirePairs(pt, table, 2);
    ASSERT_EQ(pt.pairTypes.size(), static_cast<size_t>(NTYPES));
    for (int t = 0; t < NTYPES; ++t) ASSERT_EQ(pt.pairTypes[pairTypes().key[t]], t) << pairTypes().key[t];
    for (int k = 0; k < 3; ++k) {
        const int x = pairsA[k][0], y = pairsA[k][1];
        for (int b = 0; b < DFIRE_NBINS; ++b) {
            const double want = e[static_cast<size_t>(pairIndex(x, y)) * DFIRE_NBINS + b];
            EXPECT_NEAR(pt.edfire[x][y][b], want, 5e-5);
            EXPECT_EQ(pt.edfire[x][y][b], pt.edfire[y][x][b]);
        }
    }
}

namespace {

// Counts for one pair: loop contacts spread over 3-8 A, and a clash histogram whose closest
// observations sit at a chosen distance in one category.
PairCounts wallCounts(int p, int cat, double closest, int closeCount) {
    PairCounts c = emptyCounts();
    for (int b = 0; b < SAMP_NBINS; ++b) {
        const double r = std::sqrt((b + 0.5) * 0.1);
        if (r > 3.0) c.samp[static_cast<size_t>(p) * SAMP_NBINS + b] = fixedWeight(100.0 * r);
    }
    c.sampShell[p] = fixedWeight(20000.0);
    uint32_t* h = &c.clashHist[(static_cast<size_t>(cat) * NPAIRS + p) * CLASH_NBINS];
    h[static_cast<int>(closest * closest * 10)] = static_cast<uint32_t>(closeCount);
    for (int b = 120; b < CLASH_NBINS; ++b) h[b] = 1000;  // bulk of the contacts from 3.46 A on
    return c;
}

}  // namespace

TEST(ParamsBSampling, WallSitsBelowTheLowQuantileLessTheMargin) {
    NEED_TEMPLATES();
    const int a = typeOf("GLY C"), b = typeOf("SER C");
    const int p = pairIndex(a, b);
    SamplingParams sp;
    // 130 000 contacts; the 20 closest at 2.9 A stay below the 0.02% quantile (26), so the wall follows
    // the bulk at 3.46 A.
    {
        PairCounts c = wallCounts(p, CAT_FAR, 2.9, 20);
        SamplingTable t;
        samplingTable(c, sp, t);
        const double want = std::pow(std::sqrt(12.0) - sp.margin, 2);
        const double lj = ljclashOf(&t.e[static_cast<size_t>(p) * SAMP_NBINS]);
        EXPECT_NEAR(lj, std::floor(want * 10 + 1e-9) * 0.1, 1e-12);
        EXPECT_LE(lj, want);
        EXPECT_EQ(t.wall[p], static_cast<int>(std::floor(want * 10 + 1e-9)) + 1);
    }
    // 200 of them at 2.9 A: now inside the quantile, the wall moves in below 2.9 A.
    {
        PairCounts c = wallCounts(p, CAT_ADJ14, 2.9, 200);
        SamplingTable t;
        samplingTable(c, sp, t);
        const double* e = &t.e[static_cast<size_t>(p) * SAMP_NBINS];
        const double q = std::floor(2.9 * 2.9 * 10) * 0.1;
        const double want = std::pow(std::sqrt(q) - sp.margin, 2);
        EXPECT_NEAR(ljclashOf(e), std::floor(want * 10 + 1e-9) * 0.1, 1e-12);
        const int k = t.wall[p];
        for (int bin = 0; bin < k; ++bin) ASSERT_GT(e[bin], 100.0);
        for (int bin = k; bin < SAMP_NBINS; ++bin) ASSERT_LE(e[bin], sp.cap) << "above the wall energies stay moderate";
        // Observed pairs at 2.9 A: not a clash and not above 10.
        const int obs = static_cast<int>(2.9 * 2.9 * 10);
        EXPECT_LE(e[obs], 10.0);
    }
}

TEST(ParamsBSampling, LoaderDerivesTheSameClashDistanceAndTable) {
    NEED_TEMPLATES();
    const int a = typeOf("ALA O"), b = typeOf("ARG NH1");
    const int p = pairIndex(a, b);
    PairCounts c = wallCounts(p, CAT_SEP2, 2.6, 500);
    SamplingParams sp;
    SamplingTable t;
    samplingTable(c, sp, t);
    DfireParams dp;
    std::vector<double> e;
    dfireEnergies(c, dp, e);
    Potentials pt;
    TableText dfire("dfire_pair.lib", formatDfire(e, dp)), sampling("QUENDApair.lib", formatSampling(t, sp));
    parseDfirePairs(pt, dfire, 1);
    parseQuendaPairs(pt, sampling, 1);
    EXPECT_DOUBLE_EQ(pt.ljClash[a][b], (t.wall[p] - 1) * 0.1);
    EXPECT_DOUBLE_EQ(pt.ljClash[b][a], pt.ljClash[a][b]);
    EXPECT_GT(pt.ljClash[a][b], 0.0);
    for (int bin = 0; bin < SAMP_NBINS; bin += 7) {
        EXPECT_NEAR(pt.etable[a][b][bin], t.e[static_cast<size_t>(p) * SAMP_NBINS + bin], 6e-4);
        EXPECT_EQ(pt.etable[b][a][bin], pt.etable[a][b][bin]);
    }
    // Every pair got a wall, hence a clash distance, in the loader's reading.
    for (int x = 0; x < NTYPES; x += 11)
        for (int y = 0; y < NTYPES; y += 13) ASSERT_GT(pt.ljClash[x][y], 0.0);
}

TEST(ParamsBQuenda, ReferenceNormalisedAtFifteenAngstrom) {
    NEED_TEMPLATES();
    // Counts following the reference exactly, (r / 8)^1.61 per 0.1 A bin, make every energy 0;
    // doubling the contacts below 8 A makes them -ln 2: the table is normalised on the 14.5-15 A
    // shell, not within its own 8 A.
    PairCounts c = emptyCounts();
    const int k = 6, l = 13;  // backbone N and backbone O classes
    for (int c1 = 0; c1 < NCLASSES; ++c1)
        for (int c2 = 0; c2 < NCLASSES; ++c2)
            for (int b = 20; b < QUENDA_CBINS; ++b) {
                const double ref = 1000.0 * std::pow((b + 0.5) * 0.1 / 8.0, 1.61);
                const bool pair = (c1 == k && c2 == l) || (c1 == l && c2 == k);
                c.quenda[(static_cast<size_t>(c1) * NCLASSES + c2) * QUENDA_CBINS + b] = fixedWeight(pair && b < 80 ? 2 * ref : ref);
            }
    QuendaParams qp;
    std::vector<double> e, ex;
    quendaEnergies(c, qp, e, ex);
    auto E = [&](int c1, int c2, int b) { return e[(static_cast<size_t>(c1) * NCLASSES + c2) * QUENDA_NBINS + b]; };
    EXPECT_NEAR(E(0, 0, 40), 0.0, 1e-3);
    EXPECT_NEAR(E(k, l, 40), -std::log(2.0), 0.01);  // the pseudo-count pulls a little towards the pool
    EXPECT_NEAR(E(l, k, 70), E(k, l, 70), 1e-12);
    EXPECT_NEAR(E(0, 0, 5), qp.maxEnergy, 1e-9);     // nothing observed, nothing in the pool: the ceiling
    const std::string text = formatQuenda(c, e, ex, qp);
    std::istringstream in(text);
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        if (line[0] == '#') continue;
        ++lines;
        ASSERT_EQ(split(line, " ", true).size(), 6u) << line;
    }
    EXPECT_EQ(lines, NCLASSES * (NCLASSES + 1) / 2 * QUENDA_NBINS);
    TempData tmp;
    tmp.write("QUENDA_ed4_8_V3.txt", text);
    Potentials pt;
    loadQuenda(pt, tmp.dir() + "/data/QUENDA_ed4_8_V3.txt");
    for (int c1 = 0; c1 < NCLASSES; ++c1)
        for (int c2 = 0; c2 < NCLASSES; ++c2)
            for (int b = 0; b < QUENDA_NBINS; b += 3) {
                ASSERT_NEAR(pt.quenda[c1][c2][b], E(c1, c2, b), 5e-5);
                ASSERT_EQ(pt.quenda[c1][c2][b], pt.quenda[c2][c1][b]);
            }
}

TEST(ParamsBCounting, ThreadCountDoesNotChangeTheTables) {
    NEED_TEMPLATES();
    TrainingSet ts;
    for (unsigned k = 0; k < 12; ++k) ts.chains.push_back(randomChain(k + 1, 40 + 7 * static_cast<int>(k)));
    PairCounts one, two;
    countPairs(ts, 1, one);
    countPairs(ts, 2, two);
    EXPECT_EQ(one.dfire, two.dfire);
    EXPECT_EQ(one.samp, two.samp);
    EXPECT_EQ(one.quenda, two.quenda);
    EXPECT_EQ(one.sampShell, two.sampShell);
    EXPECT_EQ(one.clashHist, two.clashHist);
    SamplingParams sp;
    SamplingTable t1, t2;
    samplingTable(one, sp, t1);
    samplingTable(two, sp, t2);
    EXPECT_EQ(t1.e, t2.e);
    EXPECT_EQ(t1.wall, t2.wall);
    // Same-residue pairs never reach DFIRE, and every counted DFIRE pair is within 15 A.
    long total = 0;
    for (int64_t v : one.dfire) total += v;
    EXPECT_GT(total, 0);
    // QUENDA counts are symmetric in the two classes.
    for (int c1 = 0; c1 < NCLASSES; ++c1)
        for (int c2 = 0; c2 < NCLASSES; ++c2)
            for (int b = 0; b < QUENDA_CBINS; ++b)
                ASSERT_EQ(one.quenda[(static_cast<size_t>(c1) * NCLASSES + c2) * QUENDA_CBINS + b],
                          one.quenda[(static_cast<size_t>(c2) * NCLASSES + c1) * QUENDA_CBINS + b]);
}

TEST(ParamsBCounting, PairsLandInTheirBinsAndCategories) {
    NEED_TEMPLATES();
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
    countChain(ch, c);
    const int cb = typeOf("ALA CB");
    const int p = pairIndex(cb, cb);
    EXPECT_EQ(c.dfire[static_cast<size_t>(p) * DFIRE_NBINS + 10], fixedWeight(1.0));  // 5.0-5.5 A
    EXPECT_EQ(c.samp[static_cast<size_t>(p) * SAMP_NBINS + 275], fixedWeight(1.0));
    EXPECT_EQ(c.clashTot[static_cast<size_t>(CAT_SEP2) * NPAIRS + p], 1u);
    const int cls = pairTypes().vdwClass[cb] - 1;
    EXPECT_EQ(c.quenda[(static_cast<size_t>(cls) * NCLASSES + cls) * QUENDA_CBINS + 52], fixedWeight(1.0));
    // Without a coil residue the pair is not a loop contact.
    ch.residues[0].ss = 'E';
    PairCounts d = emptyCounts();
    countChain(ch, d);
    EXPECT_EQ(d.samp[static_cast<size_t>(p) * SAMP_NBINS + 275], 0);
    EXPECT_EQ(d.dfire[static_cast<size_t>(p) * DFIRE_NBINS + 10], fixedWeight(1.0));
}

TEST(ParamsBFiles, GzipIsDeterministicAndReadsBack) {
    std::string text;
    for (int k = 0; k < 20000; ++k) text += std::to_string(k * 7919 % 1000) + (k % 17 ? " " : "\n");
    char tmpl[] = "/tmp/lorvane-pbgz-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    writeGzipFile(dir + "/a.gz", text);
    writeGzipFile(dir + "/b.gz", text);
    std::string a, b, back;
    ASSERT_TRUE(readWholeFile(dir + "/a.gz", back));
    EXPECT_EQ(back, text);
    std::ifstream fa(dir + "/a.gz", std::ios::binary), fb(dir + "/b.gz", std::ios::binary);
    a.assign(std::istreambuf_iterator<char>(fa), {});
    b.assign(std::istreambuf_iterator<char>(fb), {});
    EXPECT_EQ(a, b);
    ASSERT_GT(a.size(), 10u);
    EXPECT_EQ(static_cast<unsigned char>(a[0]), 0x1f);
    EXPECT_EQ(static_cast<unsigned char>(a[1]), 0x8b);
    EXPECT_EQ(a.substr(4, 4), std::string(4, '\0')) << "no time stamp in the header";
    std::filesystem::remove_all(dir);
}

TEST(ParamsBFiles, NumbersNeverPrintNegativeZero) {
    EXPECT_EQ(fmt(-0.00001, 3), "0.000");
    EXPECT_EQ(fmt(-0.0005, 3), "-0.001");
    EXPECT_EQ(fmt(101.0, 3), "101.000");
}
