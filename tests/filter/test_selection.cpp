// Selection stages on ranked id lists: bins, sibling filter, per-seed cap,
// greedy leader clustering.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "filter/filter.h"

using namespace lorvane;

TEST(Bins, DihedralBinFoldsOntoTheGrid) {
    const double d2r = 3.14159265358979 / 180.0;
    EXPECT_EQ(dihedralBin(-180.0 * d2r), 0);
    EXPECT_EQ(dihedralBin(-175.6 * d2r), 0);
    EXPECT_EQ(dihedralBin(-175.4 * d2r), 1);
    EXPECT_EQ(dihedralBin(179.4 * d2r), 71);
    // 179.5 degrees and above belong to the bin of -180.
    EXPECT_EQ(dihedralBin(179.5 * d2r), 0);
    EXPECT_EQ(dihedralBin(180.0 * d2r), 0);
    EXPECT_EQ(dihedralBin(-180.6 * d2r), 71);
    for (double a = -200.0; a <= 200.0; a += 0.1) {
        const int b = dihedralBin(a * d2r);
        ASSERT_GE(b, 0);
        ASSERT_LT(b, 72);
    }
}

TEST(Bins, TorsionBinOf180IsTheBinOfMinus180) {
    EXPECT_EQ(torsionBin(-180.0, TorsionBinRule::Floor), 0);
    EXPECT_EQ(torsionBin(-175.0, TorsionBinRule::Floor), 1);
    EXPECT_EQ(torsionBin(179.99, TorsionBinRule::Floor), 71);
    EXPECT_EQ(torsionBin(180.0, TorsionBinRule::Floor), 0);
    EXPECT_EQ(torsionBin(180.01, TorsionBinRule::Floor), 0);
    EXPECT_EQ(torsionBin(-180.01, TorsionBinRule::Floor), 71);
    EXPECT_EQ(foldBin(72), 0);
    EXPECT_EQ(foldBin(-1), 71);
    EXPECT_EQ(foldBin(144), 0);
}

TEST(Bins, TorsionEnergyReadsTheCoilTableAndGivesInfinityForEmptyBins) {
    Distributions d;
    d.torsionBins[3][SS_COIL][0][71] = 0.25;
    EXPECT_NEAR(torsionEnergy(d, TorsionBinRule::Floor, 3, 180.0, 179.0), -std::log(0.25), 1e-12);
    EXPECT_TRUE(std::isinf(torsionEnergy(d, TorsionBinRule::Floor, 3, -155.0, -150.0)));
    EXPECT_TRUE(std::isinf(torsionEnergy(d, TorsionBinRule::Floor, 3, NAN, 0.0)));
    // Centred bins: 178 deg is already in the bin of -180, 177 not.
    EXPECT_NEAR(torsionEnergy(d, TorsionBinRule::Centred, 3, 178.0, 177.0), -std::log(0.25), 1e-12);
    EXPECT_TRUE(std::isinf(torsionEnergy(d, TorsionBinRule::Centred, 3, 177.0, 177.0)));
}

// The smooth torsion read is the centred one at every bin centre, the mean of
// the four probabilities around a cell's middle, continuous and periodic.
TEST(Bins, SmoothTorsionEnergyInterpolatesBetweenCentresAcrossTheWrap) {
    Distributions d;
    d.torsionBins[3][SS_COIL][0][71] = 0.25;   // phi -180, psi 175
    d.torsionBins[3][SS_COIL][71][71] = 0.05;  // phi 175, psi 175
    d.torsionBins[3][SS_COIL][0][0] = 0.10;    // phi -180, psi -180
    d.torsionBins[3][SS_COIL][10][20] = 0.30;  // phi -130, psi -80
    struct Case {
        double phi, psi, p;
    };
    const Case cases[] = {
        {-180.0, 175.0, 0.25},                       // a centre
        {180.0, 175.0, 0.25},                        // the same centre across the wrap
        {-130.0, -80.0, 0.30},                       // a centre with empty neighbours
        {-127.5, -80.0, 0.15},                       // halfway to an empty centre
        {177.5, 177.5, (0.25 + 0.05 + 0.10) / 4.0},  // the middle of the cell across both wraps
        {-180.0, 177.5, (0.25 + 0.10) / 2.0},        // between psi 175 and -180 (= 180)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.phi) + ", " + std::to_string(c.psi));
        EXPECT_NEAR(smoothTorsionEnergy(d, 3, c.phi, c.psi), -std::log(c.p), 1e-9);
    }
    // At a centre it agrees with the centred bins, which read the bin around it.
    EXPECT_NEAR(smoothTorsionEnergy(d, 3, -130.0, -80.0), torsionEnergy(d, TorsionBinRule::Centred, 3, -130.0, -80.0), 1e-12);
    // Continuous where the binned read steps (the edge -127.5 of bin 10).
    EXPECT_NEAR(smoothTorsionEnergy(d, 3, -127.5 - 1e-7, -80.0), smoothTorsionEnergy(d, 3, -127.5 + 1e-7, -80.0), 1e-5);
    EXPECT_TRUE(std::isinf(smoothTorsionEnergy(d, 3, 90.0, 90.0)));  // every corner empty
    EXPECT_TRUE(std::isinf(smoothTorsionEnergy(d, 3, NAN, 0.0)));
    EXPECT_TRUE(std::isinf(smoothTorsionEnergy(d, NUM_TYPES, 0.0, 0.0)));
}

class SiblingFilter : public ::testing::Test {
protected:
    SeedBuffers B;
    void SetUp() override { B.allocate(3, 3); }
    void setDist(int seed, int a, int b, float v) {
        B.siblingDist(seed, a)[b] = v;
        B.siblingDist(seed, b)[a] = v;
    }
};

TEST_F(SiblingFilter, ThresholdIsInclusiveAndOnlyAcceptedSiblingsCount) {
    const double T = 4.0 * (2 + 1) * 0.25 * 0.25;  // step 2, one residue per step
    // Seed 1: children 0, 1, 2, 3. 1 is too close to 0; 2 is exactly at T from 0 and far
    // from 1; 3 is close to 1 only (1 is rejected, so it does not count).
    setDist(1, 0, 1, static_cast<float>(T * 0.5));
    setDist(1, 0, 2, static_cast<float>(T));
    setDist(1, 1, 2, 100.0f);
    setDist(1, 0, 3, 100.0f);
    setDist(1, 1, 3, 0.01f);
    setDist(1, 2, 3, 100.0f);
    // Seed 2: child 5 close to child 0 of seed 1 would not matter (other parent).
    const std::vector<int> ranked = {100, 101, 200 + 5, 102, 103};
    EXPECT_EQ(siblingFilter(B, ranked, T), (std::vector<int>{100, 205, 102, 103}));
    // Rank order decides who stays: with 101 first, 100 goes.
    EXPECT_EQ(siblingFilter(B, {101, 100}, T), (std::vector<int>{101}));
    // Radius 0 keeps everything.
    EXPECT_EQ(siblingFilter(B, ranked, 0.0), ranked);
}

namespace {

// 200 parents with 100 children each, ranked round-robin.
std::vector<int> manyChildren(int parents) {
    std::vector<int> ids;
    for (int k = 0; k < CHILDREN; ++k)
        for (int p = 0; p < parents; ++p) ids.push_back(p * CHILDREN + k);
    return ids;
}

}  // namespace

TEST(PerSeedCap, CapsFollowTheSequenceAndStopAtNrep) {
    const std::vector<int> expected = {100, 95, 90, 85, 80, 76, 72, 68, 64, 60, 57, 54, 51, 48,
                                       45,  42, 39, 37, 35, 33, 31, 29, 27, 25, 23, 21, 19};
    const std::vector<int> ranked = manyChildren(200);
    // With nrep equal to a cap of the sequence the passes stop right after reaching it.
    for (int x : expected) {
        if (x == 100) continue;
        int cap = 0;
        const std::vector<int> kept = perSeedCap(ranked, 100, x, cap);
        EXPECT_EQ(cap, x);
        EXPECT_EQ(kept.size(), static_cast<size_t>(200 * x));
    }
    // The default nrep of 20 ends with cap 19, below nrep.
    int cap = 0;
    std::vector<int> kept = perSeedCap(ranked, 100, 20, cap);
    EXPECT_EQ(cap, 19);
    ASSERT_EQ(kept.size(), 200u * 19u);
    // Rank order is kept and each parent keeps its first (best ranked) children.
    for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i], ranked[i]);
}

TEST(PerSeedCap, StopsOnceTheListFitsAndNoPassCases) {
    const std::vector<int> ranked = manyChildren(200);  // 20000 candidates
    int cap = 0;
    // 10 * 1000 = 10000 < 20000: pass to 95 (19000), 90 (18000), ..., until <= 10000: cap 50 -> 48 gives 9600.
    std::vector<int> kept = perSeedCap(ranked, 1000, 20, cap);
    EXPECT_EQ(cap, 48);
    EXPECT_EQ(kept.size(), 9600u);
    // At most 10 * maxLoop candidates: one pass of cap 100, nothing removed.
    kept = perSeedCap(ranked, 2000, 20, cap);
    EXPECT_EQ(cap, 100);
    EXPECT_EQ(kept, ranked);
    // nrep of 106 or more: no pass at all.
    kept = perSeedCap(ranked, 100, 106, cap);
    EXPECT_EQ(cap, 106);
    EXPECT_EQ(kept, ranked);
    // 100000 seeds or more: 10 * maxLoop is not below 999999, no pass.
    kept = perSeedCap(ranked, 100000, 20, cap);
    EXPECT_EQ(cap, 106);
    EXPECT_EQ(kept, ranked);
}

namespace {

// Plain greedy leader selection in rank order with exact (double) distances.
std::vector<int> bruteLeaders(const std::vector<float>& v, int count, int dim, double thr2) {
    std::vector<int> kept;
    for (int i = 0; i < count; ++i) {
        bool ok = true;
        for (int k : kept) {
            double s = 0;
            for (int q = 0; q < dim; ++q) {
                const double d = static_cast<double>(v[i * dim + q]) - v[k * dim + q];
                s += d * d;
            }
            if (s < thr2) {
                ok = false;
                break;
            }
        }
        if (ok) kept.push_back(i);
    }
    return kept;
}

}  // namespace

TEST(LeaderCluster, MatchesBruteForceInOneAndManyBatches) {
    std::mt19937 rng(11);
    // Small integer coordinates: squared distances are exact integers in single
    // precision, and half-integer thresholds are never met exactly.
    for (int trial = 0; trial < 6; ++trial) {
        const int count = 150 + 40 * trial;
        const int dim = 12 * (1 + trial % 3);
        std::uniform_int_distribution<int> u(0, 2);
        std::vector<float> v(static_cast<size_t>(count) * dim);
        for (float& x : v) x = static_cast<float>(u(rng));
        const double thr2 = std::floor(dim * (0.9 + 0.1 * (trial % 2))) + 0.5;
        const std::vector<int> expect = bruteLeaders(v, count, dim, thr2);
        ASSERT_GT(expect.size(), 3u);
        ASSERT_LT(expect.size(), static_cast<size_t>(count));
        // One batch (the default budget), then batches of 1, 7 and 40 leaders.
        for (double budget : {4e8, 1.0 * count, 7.0 * count, 40.0 * count}) {
            const std::vector<int> got = leaderCluster(v, count, dim, thr2, budget, false, 0.25);
            EXPECT_EQ(got, expect) << "trial " << trial << " budget " << budget;
        }
    }
}

TEST(LeaderCluster, RadiusZeroRemovesOnlyExactDuplicatesOrNothing) {
    std::vector<float> v = {0, 0, 0, 1, 1, 1, 0, 0, 0, 2, 2, 2};
    const std::vector<int> got = leaderCluster(v, 4, 3, 0.0, 4e8, false, 0.0);
    // No squared distance is below 0 for these exact values.
    EXPECT_EQ(got, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(leaderCluster({}, 0, 12, 1.0, 4e8, false, 0.25).empty());
}
