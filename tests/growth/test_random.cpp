// Random streams of the sampler (known answers, ranges, independence of
// keys), the Gumbel-key ordering and the
// backbone deviations used by its diagnostics.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "growth/random.h"
#include "model/deviation.h"

using namespace lorvane;

// A stream of key 0 is SplitMix64 seeded with 0: its published first outputs.
TEST(RandomStream, KeyZeroGivesTheSplitMix64ReferenceSequence) {
    RandomStream r(0);
    EXPECT_EQ(r.bits(), 0xe220a8397b1dcdafull);
    EXPECT_EQ(r.bits(), 0x6e789e6aa1b965f4ull);
    EXPECT_EQ(r.bits(), 0x06c45d188009454full);
}

TEST(RandomStream, UniformAndBelowCoverTheirRanges) {
    RandomStream r(streamKey(7, StreamKind::Main, 0, 0));
    const int n = 200000;
    double sum = 0.0, lo = 1.0, hi = 0.0;
    std::vector<int> count(7, 0);
    for (int i = 0; i < n; ++i) {
        const double u = r.uniform();
        sum += u;
        lo = std::min(lo, u);
        hi = std::max(hi, u);
        const int k = r.below(7);
        ASSERT_GE(k, 0);
        ASSERT_LT(k, 7);
        ++count[k];
    }
    EXPECT_GT(lo, 0.0);
    EXPECT_LT(hi, 1.0);
    EXPECT_NEAR(sum / n, 0.5, 0.003);
    for (int c : count) EXPECT_NEAR(static_cast<double>(c) / n, 1.0 / 7.0, 0.004);
    EXPECT_EQ(r.below(1), 0);
}

TEST(RandomStream, NormalMeanAndSpread) {
    RandomStream r(streamKey(12345, StreamKind::Growth, 1, 0));
    const int n = 200000;
    double sum = 0, sum2 = 0;
    for (int i = 0; i < n; ++i) {
        const double x = r.normal(3.0, 0.5);
        sum += x;
        sum2 += x * x;
    }
    const double mean = sum / n;
    const double sd = std::sqrt(sum2 / n - mean * mean);
    EXPECT_NEAR(mean, 3.0, 0.005);
    EXPECT_NEAR(sd, 0.5, 0.005);
}

// The draws of a stream depend on its key and on nothing else: not on other
// streams drawn in between (as threads would), and a reset starts it afresh,
// stored normal deviate included.
TEST(RandomStream, DrawsDependOnTheKeyOnly) {
    const uint64_t key = streamKey(3, StreamKind::Filter, 4, 17);
    RandomStream ref(key);
    std::vector<double> want(6);
    for (double& v : want) v = ref.normal(0, 1);
    RandomStream a(key), b(streamKey(3, StreamKind::Filter, 4, 18));
    std::vector<double> got;
    for (int i = 0; i < 6; ++i) {
        got.push_back(a.normal(0, 1));
        b.normal(0, 1);
        b.uniform();
    }
    EXPECT_EQ(got, want);
    a.normal(0, 1);  // leaves a stored partner behind
    a.reset(key);
    EXPECT_EQ(a.normal(0, 1), want[0]);
    EXPECT_EQ(a.normal(0, 1), want[1]);
}

// Streams of neighbouring seeds, passes, kinds and run seeds differ.
TEST(RandomStream, NeighbouringKeysGiveDifferentStreams) {
    const uint64_t keys[] = {streamKey(7, StreamKind::Growth, 1, 0), streamKey(7, StreamKind::Growth, 1, 1),
                             streamKey(7, StreamKind::Growth, 2, 0), streamKey(7, StreamKind::Filter, 1, 0),
                             streamKey(8, StreamKind::Growth, 1, 0), streamKey(7, StreamKind::Growth, 0, 1)};
    std::vector<uint64_t> first;
    for (uint64_t k : keys) {
        RandomStream r(k);
        first.push_back(r.bits());
    }
    std::sort(first.begin(), first.end());
    EXPECT_EQ(std::adjacent_find(first.begin(), first.end()), first.end());
}

TEST(SampleEWR, HighWeightsLastAndUntouched) {
    RandomStream r(5);
    std::vector<double> w = {500.0, 0.0, 12345.0, 0.0, 200.0, 0.0};
    int out[6];
    SampleEWR(w, 6, out, r);
    // The three entries below 200 come first, in some order; the rest follow by weight.
    std::vector<int> head(out, out + 3);
    std::sort(head.begin(), head.end());
    EXPECT_EQ(head, (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(out[3], 4);
    EXPECT_EQ(out[4], 0);
    EXPECT_EQ(out[5], 2);
    EXPECT_EQ(w[0], 500.0);
    EXPECT_EQ(w[2], 12345.0);
    EXPECT_EQ(w[4], 200.0);
    EXPECT_NE(w[1], 0.0);  // perturbed in place
}

TEST(SampleEWR, CountLimitsOutput) {
    RandomStream r(6);
    std::vector<double> w(50, 0.0);
    int out[50];
    for (int& o : out) o = -1;
    SampleEWR(w, 10, out, r);
    for (int i = 0; i < 10; ++i) EXPECT_GE(out[i], 0);
    for (int i = 10; i < 50; ++i) EXPECT_EQ(out[i], -1);
    std::vector<int> few(3);
    std::vector<double> w3 = {1.0, 2.0, 3.0};
    SampleEWR(w3, 10, few.data(), r);  // n beyond the size writes every index once
    std::sort(few.begin(), few.end());
    EXPECT_EQ(few, (std::vector<int>{0, 1, 2}));
}

// Entry of weight w comes first with probability proportional to exp(-w).
TEST(SampleEWR, GumbelKeysFollowExpMinusWeight) {
    RandomStream r(11);
    const int trials = 30000;
    int firstWins = 0;
    std::vector<int> firstCount(3, 0);
    for (int t = 0; t < trials; ++t) {
        std::vector<double> w = {0.0, std::log(2.0)};
        int out[2];
        SampleEWR(w, 1, out, r);
        if (out[0] == 0) ++firstWins;
        std::vector<double> eq = {1.0, 1.0, 1.0};
        int o3[1];
        SampleEWR(eq, 1, o3, r);
        ++firstCount[o3[0]];
    }
    EXPECT_NEAR(static_cast<double>(firstWins) / trials, 2.0 / 3.0, 0.015);
    for (int c : firstCount) EXPECT_NEAR(static_cast<double>(c) / trials, 1.0 / 3.0, 0.015);
}

namespace {

// A bare chain of n residues whose backbone atoms sit on a grid.
Structure gridChain(int n) {
    Structure s(n);
    for (int i = 1; i <= n; ++i)
        for (int k = 0; k < 4; ++k) {
            Atom& a = s[i].atoms[k];
            a.x = static_cast<float>(3.8 * i);
            a.y = static_cast<float>(k);
            a.z = 0.0f;
        }
    return s;
}

}  // namespace

TEST(BackboneRmsd, UniformShiftAndSingleAtom) {
    Structure a = gridChain(12), b = gridChain(12);
    for (int i = 1; i <= 12; ++i)
        for (int k = 0; k < 4; ++k) b[i].atoms[k].z = 2.0f;
    EXPECT_NEAR(rmsdg(a, b, 3, 8), 2.0, 1e-9);
    EXPECT_NEAR(rmsdcut(a, b, 2, 11, 3), 2.0, 1e-9);

    Structure c = gridChain(12);
    // Only N of residue `to` moved by 3: one of 4 (to - from) atoms.
    c[8].atoms[0].z = 3.0f;
    EXPECT_NEAR(rmsdg(a, c, 3, 8), std::sqrt(9.0 / 20.0), 1e-9);
    // C of residue `to` is not part of the range; N of `from` neither.
    Structure d = gridChain(12);
    d[8].atoms[2].z = 5.0f;
    d[3].atoms[0].z = 5.0f;
    EXPECT_NEAR(rmsdg(a, d, 3, 8), 0.0, 1e-9);
}

TEST(BackboneRmsd, CutCoversBothGrownEnds) {
    Structure a = gridChain(20), b = gridChain(20);
    // k = 2: forward 5..7 (start + 1 + 1), backward 15..16 (end - 1).
    b[6].atoms[1].z = 2.0f;   // inside the forward part
    b[15].atoms[3].z = 2.0f;  // O of `from` of the backward part
    b[10].atoms[1].z = 9.0f;  // the ungrown middle does not count
    const double expected = std::sqrt(8.0 / (4 * 2 + 4 * 1));
    EXPECT_NEAR(rmsdcut(a, b, 5, 16, 2), expected, 1e-9);
    // k = -1 (before any step): nothing grown.
    EXPECT_EQ(rmsdcut(a, b, 5, 16, -1), 0.0);
}
