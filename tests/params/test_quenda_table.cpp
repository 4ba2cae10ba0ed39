// QUENDA from native loops against their decoys: the pair counting agrees with
// quenda_e (both walk potentials/quenda_pairs.h), the log-ratio with its pooling, cap and wall worked on synthetic
// counts, the file read back by the QUENDA loader, and the decoy counts do not
// depend on the thread count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>

#include "model/deviation.h"
#include "model/strings.h"
#include "model/structure.h"
#include "params/loop_decoys.h"
#include "params/quenda_table.h"
#include "params/statistics.h"
#include "params_support.h"
#include "potentials/potentials.h"
#include "potentials/quenda.h"

using namespace params_test;

namespace {

// A symmetric random table in pot.quenda; the same values returned in the counting layout.
std::vector<double> randomTable(unsigned seed, Potentials& pot) {
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    std::vector<double> t(static_cast<size_t>(QUENDA_SIZE), 0.0);
    for (int p = 0; p < QUENDA_CLASSES; ++p)
        for (int q = p; q < QUENDA_CLASSES; ++q)
            for (int k = 0; k < QUENDA_BINS; ++k) {
                const double v = u(g);
                pot.quenda[p][q][k] = pot.quenda[q][p][k] = v;
                t[static_cast<size_t>(quendaIndex(p, q, k))] = v;
            }
    return t;
}

double dot(const std::vector<int>& c, const std::vector<double>& t) {
    double s = 0;
    for (int x = 0; x < QUENDA_SIZE; ++x) s += c[x] * t[static_cast<size_t>(x)];
    return s;
}

// Counts of one class pair filled with a constant per bin.
void fill(std::vector<int64_t>& v, int p, int q, double perBin) {
    for (int k = 0; k < QUENDA_BINS; ++k) v[static_cast<size_t>(quendaIndex(p, q, k))] = fixedWeight(perBin);
}

double E(const std::vector<double>& e, int p, int q, int k) { return e[static_cast<size_t>((p * QUENDA_CLASSES + q) * QUENDA_BINS + k)]; }

// Decoys of ubiquitin (examples/1ubq.pdb, classes from phi/psi), loaded once,
// with every (phi, psi) cell allowed: one protein's statistics would refuse
// nearly every decoy.
class UbiquitinLoops : public ::testing::Test {
protected:
    static const TrainingSet& ubiquitin() {
        static std::unique_ptr<TrainingSet> ts;
        if (!ts) {
            lorvane_test::ScratchDir dir;
            dir.write("1ubq.pdb", lorvane_test::slurp(lorvane_test::sourcePath("examples/1ubq.pdb")));
            TrainingOptions opt;
            opt.dir = dir.root();
            opt.threads = 1;
            opt.dssp = false;
            testing::internal::CaptureStdout();
            ts = std::make_unique<TrainingSet>(loadTrainingSet(tmpl(), opt));
            testing::internal::GetCapturedStdout();
        }
        return *ts;
    }
    static Rama openRama() {
        Rama rama = buildRama(ubiquitin());
        for (double& t : rama.total) t = 0;
        return rama;
    }
    // Three loops (0-based residues 6-11, 44-50, 58-64), whatever their classes.
    static std::vector<LoopSite> loops() {
        std::vector<LoopSite> v{{0, 6, 11}, {0, 44, 50}, {0, 58, 64}};
        for (const auto& l : v) EXPECT_TRUE(usableLoop(ubiquitin().chains[0], l.first, l.last)) << l.first;
        return v;
    }
};

}  // namespace

TEST(QuendaTest, CountsAreThePairsQuendaEScores) {
    const Structure& s = lorvane_test::ras();
    Potentials pot;
    const std::vector<double> t = randomTable(7, pot);
    // Loops inside the chain, at its start (one residue) and at its end: the visiting rule
    // (|i - j| >= 2, loop pairs once, CA-CA < 20 A, classes 1..20 only) must match exactly.
    for (auto [a, b] : {std::pair{45, 52}, std::pair{1, 1}, std::pair{10, 12}, std::pair{s._numRes - 3, s._numRes}}) {
        std::vector<int> c(QUENDA_SIZE, 0);
        ASSERT_TRUE(countQuendaPairs(s, a, b, 0.0, c));
        double e1 = 0, e2 = 0, e3 = 0, e4 = 0;
        const double q = quenda_e(pot, s, a, b, true, e1, e2, e3, e4);
        EXPECT_NEAR(dot(c, t), q, 1e-9 * (1 + std::fabs(q))) << "loop " << a << ".." << b;
        long n = 0;
        for (int x = 0; x < QUENDA_SIZE; ++x) n += c[x];
        EXPECT_GT(n, 10) << "loop " << a << ".." << b;
        // Only the p <= q half of the layout is used.
        for (int p = 1; p < QUENDA_CLASSES; ++p)
            for (int k = 0; k < QUENDA_BINS; k += 9) ASSERT_EQ(c[(p * QUENDA_CLASSES + 0) * QUENDA_BINS + k], 0);
    }
    // A loop atom moved onto a frame atom: the decoy is refused at the clash distance only.
    Structure moved = s;
    {  // 1.55 A beyond CA(20) on the N -> CA line, clear of residue 20's other atoms
        const Atom &n = moved[20].atoms[0], &ca = moved[20].atoms[1];
        const double dx = ca.x - n.x, dy = ca.y - n.y, dz = ca.z - n.z, l = std::sqrt(dx * dx + dy * dy + dz * dz);
        moved[47].atoms[1].x = static_cast<float>(ca.x + 1.55 * dx / l);
        moved[47].atoms[1].y = static_cast<float>(ca.y + 1.55 * dy / l);
        moved[47].atoms[1].z = static_cast<float>(ca.z + 1.55 * dz / l);
    }
    std::vector<int> c(QUENDA_SIZE, 0);
    EXPECT_FALSE(countQuendaPairs(moved, 45, 52, 2.0, c));
    std::fill(c.begin(), c.end(), 0);
    EXPECT_TRUE(countQuendaPairs(moved, 45, 52, 1.4, c));
    EXPECT_GE(c[quendaIndex(moved[47].atoms[1].type - 1, moved[20].atoms[1].type - 1, 15)], 1);  // CA-CA at 1.55 A, bin 15
}

TEST(QuendaEnergies, LogRatioOnSyntheticCounts) {
    // Every class pair: 100 native and 100 decoy counts per bin, except N-O (classes 6, 13),
    // with 300 native counts, and CH2E-CH2E (3, 3), counted in neither set. Without smoothing
    // and pseudo-counts E = -ln(n_nat / (s n_dec)), s = N_nat / N_dec.
    QuendaCounts c;
    c.reset();
    for (int p = 0; p < QUENDA_CLASSES; ++p)
        for (int q = p; q < QUENDA_CLASSES; ++q) {
            if (p == 3 && q == 3) continue;
            fill(c.native, p, q, p == 6 && q == 13 ? 300 : 100);
            fill(c.decoy, p, q, 100);
        }
    const double pairs = QUENDA_CLASSES * (QUENDA_CLASSES + 1) / 2 - 1;  // 209 counted class pairs
    const double s = (pairs * 100 + 200) / (pairs * 100);
    QuendaParams qp;
    qp.sigma = 0;
    qp.pseudo = 0;
    std::vector<double> e;
    double scale = 0;
    quendaEnergies(c, {}, qp, e, &scale);
    EXPECT_NEAR(scale, s, 1e-9);
    EXPECT_NEAR(E(e, 6, 13, 30), -std::log(3.0 / s), 1e-6);
    EXPECT_NEAR(E(e, 13, 6, 30), E(e, 6, 13, 30), 1e-15);
    EXPECT_NEAR(E(e, 0, 0, 30), std::log(s), 1e-6);
    // The uncounted pair takes its group pair's ratio: the nine other aliphatic pairs (CH1E, CH2E,
    // CH3E, CH2G), shrunk towards all pairs' ratio, which is 1 here.
    qp.pseudo = 5;
    quendaEnergies(c, {}, qp, e);
    EXPECT_NEAR(E(e, 3, 3, 40), -std::log((900.0 + 5) / (900.0 * s + 5)), 1e-6);
    // Per structure: no scaling. N-O shrinks towards its group pair (backbone N and Pro N with
    // backbone O: 300 + 100 natives, 200 decoys), that towards all pairs.
    qp.perStructure = true;
    quendaEnergies(c, {}, qp, e, &scale);
    EXPECT_EQ(scale, 1.0);
    const double all = (pairs * 100 + 200 + 5) / (pairs * 100 + 5);
    const double group = (400 + 5 * all) / (200 + 5);
    EXPECT_NEAR(E(e, 6, 13, 30), -std::log((300 + 5 * group) / (100 + 5)), 1e-6);
    const double carbonyl = (300 + 5 * all) / (300 + 5);  // (0, 0), (0, 17), (17, 17): 100 each side
    EXPECT_NEAR(E(e, 0, 0, 30), -std::log((100 + 5 * carbonyl) / (100 + 5)), 1e-6);
    EXPECT_LT(std::fabs(E(e, 0, 0, 30)), 0.01);

    // Pseudo-counts: a pair seen 4 times in natives and never in decoys is pulled towards its
    // prior; seen in decoys only it is capped at +cap; the reverse at -cap.
    QuendaCounts d;
    d.reset();
    for (int p = 0; p < QUENDA_CLASSES; ++p)
        for (int q = p; q < QUENDA_CLASSES; ++q) fill(d.native, p, q, 50), fill(d.decoy, p, q, 50);
    d.native[quendaIndex(0, 0, 40)] = fixedWeight(4);
    d.decoy[quendaIndex(0, 0, 40)] = 0;
    d.native[quendaIndex(4, 4, 40)] = 0;
    d.decoy[quendaIndex(4, 4, 40)] = fixedWeight(5000);
    d.native[quendaIndex(12, 12, 40)] = fixedWeight(5000);
    d.decoy[quendaIndex(12, 12, 40)] = 0;
    qp = QuendaParams();
    qp.sigma = 0;
    quendaEnergies(d, {}, qp, e, &scale);
    const double own = -std::log((4.0 + qp.pseudo * 1.0) / (0.0 + qp.pseudo));
    EXPECT_LT(E(e, 0, 0, 40), 0.0);
    EXPECT_GT(E(e, 0, 0, 40), own - 0.1);  // about -ln(9/5), prior close to 1
    EXPECT_DOUBLE_EQ(E(e, 4, 4, 40), qp.cap);
    EXPECT_DOUBLE_EQ(E(e, 12, 12, 40), -qp.cap);
    EXPECT_NEAR(E(e, 1, 1, 40), 0.0, 0.05);

    // Smoothing spreads a single-bin excess over its neighbours.
    d.native[quendaIndex(10, 10, 40)] = fixedWeight(120);
    quendaEnergies(d, {}, qp, e);
    EXPECT_LT(E(e, 10, 10, 40), -0.6);
    EXPECT_NEAR(E(e, 10, 10, 41), 0.0, 0.05);
    qp.sigma = 0.1;
    quendaEnergies(d, {}, qp, e);
    EXPECT_LT(E(e, 10, 10, 40), -0.3);
    EXPECT_LT(E(e, 10, 10, 41), -0.15);
    EXPECT_GT(E(e, 10, 10, 41), E(e, 10, 10, 40));
}

TEST(QuendaEnergies, WallKeepsShortDistancesRepulsive) {
    QuendaCounts c;
    c.reset();
    for (int p = 0; p < QUENDA_CLASSES; ++p)
        for (int q = p; q < QUENDA_CLASSES; ++q) fill(c.native, p, q, 10), fill(c.decoy, p, q, 10);
    // Ideal-gas energies: class pair (0, 1) 12 below bin 5, 9 to bin 19, 10 for 20-22,
    // 8.5 for 23-24, then 0.5; every other pair 0.5 throughout.
    std::vector<double> wall(static_cast<size_t>(QUENDA_SIZE), 0.5);
    for (int k = 0; k < 25; ++k) {
        const double v = k < 5 ? 12 : k < 20 ? 9 : k < 23 ? 10 : 8.5;
        wall[static_cast<size_t>((0 * QUENDA_CLASSES + 1) * QUENDA_BINS + k)] = v;
        wall[static_cast<size_t>((1 * QUENDA_CLASSES + 0) * QUENDA_BINS + k)] = v;
    }
    QuendaParams qp;
    qp.sigma = 0;
    std::vector<double> e;
    quendaEnergies(c, wall, qp, e);
    // Non-increasing with distance: never lower at a shorter distance.
    EXPECT_DOUBLE_EQ(E(e, 0, 1, 0), 12);
    EXPECT_DOUBLE_EQ(E(e, 0, 1, 4), 12);
    EXPECT_DOUBLE_EQ(E(e, 0, 1, 5), 10);
    EXPECT_DOUBLE_EQ(E(e, 0, 1, 22), 10);
    EXPECT_DOUBLE_EQ(E(e, 1, 0, 23), 8.5);
    EXPECT_DOUBLE_EQ(E(e, 0, 1, 24), 8.5);
    EXPECT_NEAR(E(e, 0, 1, 25), 0.0, 1e-9);  // the statistic from here on
    // Where the ideal gas sees contacts, everything below 2.0 A is still at least wallFrom.
    EXPECT_DOUBLE_EQ(E(e, 5, 5, 0), qp.wallFrom);
    EXPECT_DOUBLE_EQ(E(e, 5, 5, 19), qp.wallFrom);
    EXPECT_NEAR(E(e, 5, 5, 20), 0.0, 1e-9);
    for (double v : e) ASSERT_LE(std::fabs(v), 12.0);
}

TEST(QuendaEnergies, FileReadsBackThroughTheLoader) {
    QuendaCounts c;
    c.reset();
    std::mt19937 g(3);
    std::uniform_real_distribution<double> u(0.0, 40.0);
    for (int p = 0; p < QUENDA_CLASSES; ++p)
        for (int q = p; q < QUENDA_CLASSES; ++q)
            for (int k = 15; k < QUENDA_BINS; ++k) {
                c.native[static_cast<size_t>(quendaIndex(p, q, k))] = fixedWeight(u(g));
                c.decoy[static_cast<size_t>(quendaIndex(p, q, k))] = fixedWeight(u(g));
            }
    c.loops = 12, c.decoys = 340;
    std::vector<double> wall(static_cast<size_t>(QUENDA_SIZE), 0.0);
    for (int x = 0; x < QUENDA_SIZE; ++x)
        if (x % QUENDA_BINS < 24) wall[static_cast<size_t>(x)] = 10.0;
    QuendaParams qp;
    std::vector<double> e;
    quendaEnergies(c, wall, qp, e);
    const std::string text = formatQuenda(c, e, qp);
    EXPECT_EQ(text, formatQuenda(c, e, qp));
    std::istringstream in(text);
    std::string line;
    int lines = 0, comments = 0;
    while (std::getline(in, line)) {
        if (line[0] == '#') {
            ++comments;
            continue;
        }
        ++lines;
        const std::vector<std::string> f = split(line, " ", true);
        ASSERT_EQ(f.size(), 6u) << line;
        ASSERT_LE(std::stoi(f[1]), std::stoi(f[2])) << line;
    }
    EXPECT_GE(comments, 1);
    EXPECT_EQ(lines, QUENDA_CLASSES * (QUENDA_CLASSES + 1) / 2 * QUENDA_BINS);
    lorvane_test::ScratchDir dir;
    dir.write("QUENDA_ed4_8_V3.txt", text);
    Potentials pot;
    loadQuenda(pot, dir.path("QUENDA_ed4_8_V3.txt"));
    double hi = 0, lo = 0;
    for (int p = 0; p < QUENDA_CLASSES; ++p)
        for (int q = 0; q < QUENDA_CLASSES; ++q)
            for (int k = 0; k < QUENDA_BINS; ++k) {
                ASSERT_NEAR(pot.quenda[p][q][k], E(e, p, q, k), 5.1e-5) << p << " " << q << " " << k;
                ASSERT_EQ(pot.quenda[p][q][k], pot.quenda[q][p][k]);
                hi = std::max(hi, pot.quenda[p][q][k]);
                lo = std::min(lo, pot.quenda[p][q][k]);
            }
    EXPECT_DOUBLE_EQ(hi, 10.0);        // the wall
    EXPECT_GE(lo, -qp.cap - 1e-12);    // the statistic is bounded
    EXPECT_DOUBLE_EQ(pot.quenda[7][7][10], 10.0);
}

class UbiquitinLoopsSlow : public UbiquitinLoops {};

TEST_F(UbiquitinLoopsSlow, DecoyCountsDoNotDependOnTheThreadCount) {
    const TrainingSet* ts = &ubiquitin();
    const Rama rama = openRama();
    const std::vector<LoopSite> sites = loops();
    QuendaParams qp;
    qp.perKind = 3;
    qp.minRmsd = 1.0;
    qp.minDecoys = 1;
    QuendaCounts one, two;
    countQuendaDecoys(tmpl(), *ts, sites, {}, rama, qp, 1, one);
    countQuendaDecoys(tmpl(), *ts, sites, {}, rama, qp, 2, two);
    EXPECT_GT(one.loops, 0);
    EXPECT_GT(one.decoys, one.loops);
    EXPECT_EQ(one.native, two.native);
    EXPECT_EQ(one.decoy, two.decoy);
    EXPECT_EQ(one.decoys, two.decoys);
    // The natives are counted as the decoys are, side chains rebuilt.
    QuendaCounts first;
    std::vector<char> only(sites.size(), 0);
    only[0] = 1;
    countQuendaDecoys(tmpl(), *ts, sites, only, rama, qp, 1, first);
    std::vector<int> nat(QUENDA_SIZE, 0);
    const Structure ref = nativeWithRebuiltSideChains(tmpl(), ts->chains[sites[0].chain], sites[0]);
    countQuendaPairs(ref, sites[0].first + 1, sites[0].last + 1, 0.0, nat);
    ASSERT_EQ(first.loops, 1);
    for (int x = 0; x < QUENDA_SIZE; ++x) {
        ASSERT_EQ(first.native[x], fixedWeight(ts->chains[sites[0].chain].weight * nat[x])) << x;
    }
}

TEST_F(UbiquitinLoops, DecoysMoveOnlyTheLoopAndStayClosed) {
    const TrainingSet* ts = &ubiquitin();
    const Rama rama = openRama();
    const std::vector<LoopSite> sites = loops();
    const LoopSite& site = sites.back();
    int seen = 0;
    double far = 0;
    const DecoyStats st = makeLoopDecoys(
        tmpl(), ts->chains[site.chain], site, rama, 11, {{45.0, 0.0, 40}}, [&] { return seen < 20; },
        [&](Structure& s, Structure& nat, int start, int end) {
            ++seen;
            for (int i = 1; i <= nat._numRes; ++i) {
                if (i >= start && i <= end) continue;
                for (int a = 0; a < 4; ++a) ASSERT_EQ(s[i].atoms[a].dis(nat[i].atoms[a]), 0.0) << "frame residue " << i;
            }
            EXPECT_EQ(s[start].atoms[0].dis(nat[start].atoms[0]), 0.0);
            EXPECT_LT(s[end].atoms[1].dis(nat[end].atoms[1]), 1e-3);
            for (int i = start - 1; i <= end; ++i) EXPECT_NEAR(s[i].atoms[2].dis(s[i + 1].atoms[0]), 1.33, 0.05) << "peptide " << i;
            far = std::max(far, rmsdg(s, nat, start, end));
        });
    EXPECT_GT(seen, 0);
    EXPECT_GE(st.made, seen);
    EXPECT_GT(far, 0.5);
}
