// Ranking and state-selection routines of the filter.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <numeric>
#include <random>
#include <set>

#include "filter/weighting.h"

using namespace lorvane;

namespace {

std::vector<int> run(int (*f)(const std::vector<float>&, const std::vector<float>&, const std::vector<float>&, int*, double, double,
                              double),
                     const std::vector<float>& a, const std::vector<float>& b, const std::vector<float>& c, double cut, double widthB,
                     double w) {
    std::vector<int> out(a.size() + 1, -1);
    const int n = f(a, b, c, out.data(), cut, widthB, w);
    out.resize(n);
    return out;
}

}  // namespace

TEST(WeightZ, KeepsWithinWindowsAndRanksByTotal) {
    // a = E6, b = E5, c = E1.
    const std::vector<float> a = {10, 250, 5, 12345, 40, 0};
    const std::vector<float> b = {-5, 0, 3, -1, 12345, 1};
    const std::vector<float> c = {1, 0, 0.5, 0, 0, 2};
    const std::vector<int> got = run(WeightZ, a, b, c, 200.0, 12345.0, 1.0);
    // minA 0: index 1 (250) and 3 (sentinel) fall out; minB -5: index 4 (12345) falls out.
    // Totals: 0: 5 + 10 = 15; 2: 8 + 5 = 13; 5: 1 + 20 = 21.
    EXPECT_EQ(got, (std::vector<int>{2, 0, 5}));
    // Without the torsion term (-nobbt) the order follows E6 + E5 alone.
    EXPECT_EQ(run(WeightZ, a, b, c, 200.0, 12345.0, 0.0), (std::vector<int>{5, 0, 2}));
}

TEST(WeightZ, AllSentinelSideChainsKeepEveryPassingE5) {
    const std::vector<float> a(5, 12345.0f);
    const std::vector<float> b = {3, 1, 12345 + 2, 2, 0};
    const std::vector<float> c(5, 0.0f);
    const std::vector<int> got = run(WeightZ, a, b, c, 200.0, 12345.0, 1.0);
    // 12345 < 12345 + 200 keeps every E6; E5 must lie below 0 + 12345.
    EXPECT_EQ(got, (std::vector<int>{4, 1, 3, 0}));
}

TEST(WeightZ, EmptyInputKeepsNothing) {
    std::vector<float> none;
    int out[1];
    EXPECT_EQ(WeightZ(none, none, none, out, 200, 12345, 1), 0);
}

TEST(WeightStep, WeightsReorderWithinTheSameWindows) {
    // a = E6, b = E5, c = E1, d = E3; index 1 lies outside the E6 window.
    const std::vector<float> a = {10, 250, 5, 0};
    const std::vector<float> b = {-5, 0, 3, 1};
    const std::vector<float> c = {1, 0, 0.5, 2};
    const std::vector<float> d = {4, 0, 1, 0};
    struct Case {
        StepWeights weights;
        double w;
        std::vector<int> order;
    };
    // Totals 0: 10S - 5P + T + 4D; 2: 5S + 3P + 0.5T + D; 3: P + 2T.
    const Case cases[] = {
        {{1, 1, 10, 0}, 1.0, {2, 0, 3}},   // 15, 13, 21: the classic weights
        {{1, 1, 10, 0}, 0.0, {3, 0, 2}},   // -nobbt: 5, 8, 1
        {{1, 1, 10, 3}, 1.0, {2, 3, 0}},   // 27, 16, 21
        {{1, 0, 0, 0}, 1.0, {3, 2, 0}},    // side chains alone: 10, 5, 0
        {{0, 1, 0, 0}, 1.0, {0, 3, 2}},    // pair alone: -5, 3, 1
        {{1, 1, -10, 0}, 1.0, {3, 0, 2}},  // -5, 3, -19
    };
    for (const Case& k : cases) {
        std::vector<int> out(a.size(), -1);
        out.resize(WeightStep(a, b, c, d, out.data(), 200.0, 12345.0, k.weights, k.w));
        EXPECT_EQ(out, k.order) << k.weights.sideChain << "," << k.weights.pair << "," << k.weights.torsion << "," << k.weights.distance
                                << " w " << k.w;
    }
}

TEST(WeightStep, UndefinedTotalsRankLast) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> a = {1, 2, 3}, b = {0, 0, 0}, c = {0, 0, 0}, d = {0, inf, 0};
    std::vector<int> out(3, -1);
    // 0 * inf is NaN: the row ranks after every defined total instead of breaking the sort.
    out.resize(WeightStep(a, b, c, d, out.data(), 200.0, 12345.0, StepWeights{1, 1, 10, 0}, 1.0));
    EXPECT_EQ(out, (std::vector<int>{0, 2, 1}));
}

TEST(WeightStep, ClassicWeightsRankAsWeightZ) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-40, 60);
    std::vector<float> a(400), b(400), c(400), d(400);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = u(rng);
        b[i] = u(rng);
        c[i] = u(rng) / 10;
        d[i] = u(rng);
    }
    std::vector<int> z(a.size()), s(a.size());
    const int nz = WeightZ(a, b, c, z.data(), 50.0, 70.0, 1.0);
    const int ns = WeightStep(a, b, c, d, s.data(), 50.0, 70.0, StepWeights{}, 1.0);
    ASSERT_EQ(nz, ns);
    ASSERT_GT(nz, 100);
    ASSERT_LT(nz, 400);
    z.resize(nz);
    s.resize(ns);
    EXPECT_EQ(z, s);
}

TEST(SampleEWRS, FewCombinationsAtNonFinalStepComeBackInIndexOrder) {
    std::vector<sortdata> scratch;
    for (int count : {1, 7, 25}) {
        std::vector<double> v(count);
        for (int i = 0; i < count; ++i) v[i] = 100.0 - i * 3.0;  // descending values
        std::vector<int> out(count, -1);
        SampleEWRS(v, std::min(count, 25), out.data(), count, false, scratch);
        std::vector<int> expect(count);
        std::iota(expect.begin(), expect.end(), 0);
        EXPECT_EQ(out, expect) << "count " << count;
    }
}

TEST(SampleEWRS, ReturnsTheLowestAscendingAtFinalStep) {
    std::vector<sortdata> scratch;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-50, 150);
    std::vector<double> v(300);
    for (double& x : v) x = u(rng);
    std::vector<int> out(25);
    SampleEWRS(v, 25, out.data(), 300, true, scratch);
    std::vector<double> sorted = v;
    std::sort(sorted.begin(), sorted.end());
    for (int k = 0; k < 25; ++k) EXPECT_EQ(v[out[k]], sorted[k]);

    // Unsorted selection: the same set, in any order.
    std::vector<int> sel(25);
    SampleEWRS(v, 25, sel.data(), 300, false, scratch);
    EXPECT_EQ(std::set<int>(sel.begin(), sel.end()), std::set<int>(out.begin(), out.end()));
}

TEST(SampleEWRS, ValuesAbove200CountAsEqual) {
    std::vector<sortdata> scratch;
    // Two usable values and many above 200: the two come first, then any of the rest.
    std::vector<double> v = {5000, 201, 150, 1e9, 300, -3, 12345};
    std::vector<int> out(4);
    SampleEWRS(v, 4, out.data(), static_cast<int>(v.size()), true, scratch);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(out[1], 2);
    // Indices 2 and 3 of the result are any two of the entries above 200, not the
    // two smallest raw values (201, 300) necessarily.
    for (int k = 2; k < 4; ++k) EXPECT_GT(v[out[k]], 200.0);
}

TEST(SampleEWRT, KeepsOneFewerThanTheEntriesWithinTheCut) {
    const std::vector<double> v = {50, 10, 250, 199, 30, 12345, 201};
    std::vector<int> out(v.size(), -1);
    // Within cut 100: 10, 30, 50 -> p = 3, two are written, the lowest first.
    ASSERT_EQ(SampleEWRT(v, static_cast<int>(v.size()), 100.0, out.data()), 2);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 4);
    // A cut above 200 still excludes values above 200 (they count as 12345).
    EXPECT_EQ(SampleEWRT(v, static_cast<int>(v.size()), 1000.0, out.data()), 3);
    // n bounds the count.
    EXPECT_EQ(SampleEWRT(v, 1, 1000.0, out.data()), 1);
    // Nothing within the cut.
    EXPECT_EQ(SampleEWRT(v, static_cast<int>(v.size()), 5.0, out.data()), -1);
}

TEST(CheckRMSD, HundredSmallestWithSentinelsLast) {
    std::vector<double> v(1000, 12345.0);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(0, 10);
    std::vector<int> real;
    for (int i = 0; i < 1000; i += 7) {
        v[i] = u(rng);
        real.push_back(i);
    }
    int out[100];
    checkRMSD(v, out);
    // 143 real values: the 100 smallest of them, ascending; no sentinel among them.
    for (int k = 0; k < 100; ++k) {
        EXPECT_LT(v[out[k]], 12345.0);
        if (k > 0) {
            EXPECT_LE(v[out[k - 1]], v[out[k]]);
        }
    }
    std::vector<double> realVals;
    for (int i : real) realVals.push_back(v[i]);
    std::sort(realVals.begin(), realVals.end());
    EXPECT_EQ(v[out[99]], realVals[99]);

    // Fewer real values than 100: the sentinels fill the tail.
    std::vector<double> w(200, 12345.0);
    w[150] = 1.0;
    w[3] = 2.0;
    checkRMSD(w, out);
    EXPECT_EQ(out[0], 150);
    EXPECT_EQ(out[1], 3);
    EXPECT_EQ(w[out[2]], 12345.0);
}
