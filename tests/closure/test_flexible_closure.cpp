// Closure with more freedom (-xclose N) on H-Ras loop 45-52: several
// geometries per candidate drawn from the backbone angle table, distinct
// solutions kept, every recorded closure rebuilt from its record exactly as
// the filter rebuilds it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "../growth/growth_support.h"
#include "closure/closure_solutions.h"
#include "distributions/backbone_angles.h"
#include "growth/sampling_switches.h"

using namespace growth_test;

namespace {

constexpr int N_ = 0, CA_ = 1, C_ = 2;
constexpr double UNSET = -777.0;

closure_detail::Solution solutionAt(double x, double score) {
    closure_detail::Solution s;
    for (int i = 0; i < 8; ++i) s.atoms[i] = Point(static_cast<float>(x), static_cast<float>(i), 0.0f);
    s.score = score;
    return s;
}

}  // namespace

// Table-driven: which solutions survive, in which order.
TEST(FlexibleClosure, KeepsTheLowestScoringDistinctSolutions) {
    using closure_detail::keepDistinct;
    // x positions and scores; solutions 0.1 or 0.2 A apart are one, 0.3 A apart two.
    const std::vector<closure_detail::Solution> sols = {solutionAt(0.0, 5.0), solutionAt(0.1, 1.0), solutionAt(0.4, 3.0),
                                                        solutionAt(2.0, 2.0), solutionAt(2.05, 0.5), solutionAt(5.0, 9.0)};
    struct Case {
        int cap;
        std::vector<int> want;
    };
    for (const Case& k : {Case{8, {4, 1, 2, 5}}, Case{2, {4, 1}}, Case{0, {}}}) {
        EXPECT_EQ(keepDistinct(sols, k.cap, 0.25), k.want) << "cap " << k.cap;
    }
    EXPECT_EQ(keepDistinct(sols, 8, 0.0), (std::vector<int>{4, 1, 3, 2, 0, 5})) << "radius 0: every solution, by score";
    EXPECT_TRUE(keepDistinct({}, 8, 0.25).empty());
}

class RasFlexibleClosure : public ::testing::Test {
protected:
    std::unique_ptr<Structure> sp;
    SMC smc{1};
    int ls = -1, le = -1, c = -1;
    std::vector<double> w;
    std::stringstream diag;

    Structure& s() { return *sp; }
    GrowOne& g() { return G[0]; }

    void SetUp() override {
        REQUIRE_TEMPLATES();
        const std::string torsions = sourcePath("data/phipsi.bb.txt"), angles = sourcePath("data/backbone_angles.txt");
        if (!std::ifstream(torsions)) GTEST_SKIP() << "data/phipsi.bb.txt not present";
        static const bool loaded = (SMC::LoadTorsionBBbin(torsions), loadBackboneAngles(angles), true);
        ASSERT_TRUE(loaded);
        sp = std::make_unique<Structure>(MAX_RESIDUES);
        Structure probe(MAX_RESIDUES);
        ASSERT_TRUE(probe.readPdb(sourcePath("examples/5p21.pdb"), {}, 0));
        ls = at(probe, 45);
        le = at(probe, 52);
        ASSERT_TRUE(loadRas(s(), ls, le));
        int order[MAX_PLAN], rpos[MAX_PLAN];
        bool dir[MAX_PLAN];
        c = makeGrowthPlan(1, ls, le, order, dir, rpos);
        if (G.empty()) G.resize(1);
        g().ensureCapacity(numatom);
        closureList(s(), ls, le, c, false);
        g().df_closure_prep(s(), ls, le, c, s()[c - 1].atoms[CA_], false);
        fillTables(0.0);
        smc.loopStart = ls;
        smc.loopEnd = le;
        w.assign(CLOSURE_ENTRIES, UNSET);
    }
    void TearDown() override { samplingSwitches.closeDraws = 0; }

    int close(unsigned seed, int k, int draws) {
        samplingSwitches.closeDraws = draws;
        int n = -1;
        std::srand(seed);
        std::thread([&] { n = smc.analyticClosureOne(s(), c, k, w, 1.5, 0, diag, false); }).join();
        return n;
    }
};

// Every recorded closure: weight = score + E, rebuilt from its record with the
// residue builder (as the filter does) it gives the recorded atoms and meets
// the fixed anchor CA(c+2); the N-CA-C angle of c+2 (the one the record does
// not hold) lies inside the table; the solutions differ pairwise.
TEST_F(RasFlexibleClosure, RecordedClosuresRebuildOntoTheAnchors) {
    const Structure before = s();
    int total = 0, maxN = 0;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::fill(w.begin(), w.end(), UNSET);
        const int k = 40;
        const int n = close(seed, k, 6);
        ASSERT_GE(n, 0);
        ASSERT_LE(n, CLOSURE_SLOTS);
        total += n;
        maxN = std::max(maxN, n);
        for (int j = 0; j < n; ++j) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " closure " + std::to_string(j));
            const int e = CLOSURE_SLOTS * k + j;
            EXPECT_DOUBLE_EQ(w[e], 1.5);  // score 0 everywhere, plus E
            const std::array<float, 8>& D = g().closureData[e];
            const std::array<Point, 8>& A = g().closureAtoms[e];
            Structure r = before;
            r.calBBCo(c, r[c], r[c + 1], D[0], D[1], D[2], D[3] * DEG2RAD, true);
            r.calBBCo(c + 1, r[c + 1], r[c + 2], D[4], D[5], D[6], D[7] * DEG2RAD, true);
            const Point rebuilt[8] = {r[c].atoms[C_],     r[c].atoms[3],     r[c + 1].atoms[N_], r[c + 1].atoms[CA_],
                                      r[c + 1].atoms[C_], r[c + 1].atoms[3], r[c + 2].atoms[N_], r[c + 2].atoms[CA_]};
            for (int a = 0; a < 8; ++a) EXPECT_LT(rebuilt[a].dis(A[a]), 2e-3) << "atom " << a;
            EXPECT_LT(A[7].dis(before[c + 2].atoms[CA_]), 2e-3);
            const double tau3 = angle(A[6], A[7], before[c + 2].atoms[C_]);
            EXPECT_GE(tau3, 100.0);
            EXPECT_LE(tau3, 125.0);
            for (int q : {3, 7}) {
                EXPECT_GE(D[q], 100.0f);
                EXPECT_LE(D[q], 125.0f);
            }
            for (int q : {2, 6}) EXPECT_LT(std::fabs(std::remainder(D[q] - PI, 2 * PI)), 40.0 * DEG2RAD);
            for (int i = 0; i < j; ++i) {
                double d = 0.0;
                for (int a = 0; a < 8; ++a) d += A[a].sdis(g().closureAtoms[CLOSURE_SLOTS * k + i][a]);
                EXPECT_GE(d, 8 * 0.25 * 0.25) << "closures " << i << " and " << j << " are one";
            }
        }
        for (int e = 0; e < CLOSURE_ENTRIES; ++e) {
            const bool own = e >= CLOSURE_SLOTS * k && e < CLOSURE_SLOTS * k + n;
            if (!own) {
                ASSERT_EQ(w[e], UNSET) << e;
            }
        }
    }
    EXPECT_GT(total, 0);
    EXPECT_GE(maxN, 2) << "six geometries should close this candidate more than one way";
    // The anchors and the residues outside the closure stay where they were.
    EXPECT_EQ(s()[c].atoms[N_].sdis(before[c].atoms[N_]) + s()[c].atoms[CA_].sdis(before[c].atoms[CA_]) +
                  s()[c + 2].atoms[CA_].sdis(before[c + 2].atoms[CA_]) + s()[c + 2].atoms[C_].sdis(before[c + 2].atoms[C_]),
              0.0f);
}

// Six geometries record more distinct closures than one (summed over draws).
TEST_F(RasFlexibleClosure, MoreGeometriesRecordMoreClosures) {
    int one = 0, six = 0;
    for (unsigned seed = 1; seed <= 20; ++seed) {
        one += close(seed, 40, 1);
        six += close(seed, 40, 6);
    }
    EXPECT_GT(one, 0);
    EXPECT_GT(six, one);
}
