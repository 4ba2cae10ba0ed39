// Random draws of the sampler (normal deviates, Gumbel-key ordering) and the
// backbone deviations used by its diagnostics.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "growth/smc.h"
#include "model/structure.h"

using namespace lorvane;

TEST(Randn, MeanAndSpread) {
    std::srand(12345);
    const int n = 200000;
    double sum = 0, sum2 = 0;
    for (int i = 0; i < n; ++i) {
        const double x = randn(3.0, 0.5);
        sum += x;
        sum2 += x * x;
    }
    const double mean = sum / n;
    const double sd = std::sqrt(sum2 / n - mean * mean);
    EXPECT_NEAR(mean, 3.0, 0.005);
    EXPECT_NEAR(sd, 0.5, 0.005);
}

TEST(Randn, SecondDeviateOfAPairComesWithoutNewDraws) {
    // Fresh threads start without a stored deviate.
    double x1 = 0, x2 = 0, y1 = 0;
    int afterPair = 0, afterOne = 0;
    std::thread([&] {
        std::srand(99);
        x1 = randn(0, 1);
        x2 = randn(0, 1);  // the stored partner
        afterPair = std::rand();
    }).join();
    std::thread([&] {
        std::srand(99);
        y1 = randn(0, 1);
        afterOne = std::rand();
    }).join();
    EXPECT_EQ(x1, y1);
    EXPECT_NE(x1, x2);
    EXPECT_EQ(afterPair, afterOne);  // the partner consumed no draw of the generator
}

// The stored deviate belongs to the thread that made it: a draw on another
// thread in between neither takes it nor hands its own over.
TEST(Randn, StoredDeviateIsPerThread) {
    std::srand(2024);
    std::vector<double> ref(4);
    std::thread([&] {
        for (double& r : ref) r = randn(0, 1);
    }).join();

    std::srand(2024);
    std::mutex m;
    std::condition_variable cv;
    int stage = 0;
    double a1 = 0, a2 = 0, b1 = 0;
    std::thread A([&] {
        a1 = randn(0, 1);  // makes pair 1, keeps its partner
        {
            std::lock_guard<std::mutex> g(m);
            stage = 1;
        }
        cv.notify_all();
        std::unique_lock<std::mutex> lk(m);
        cv.wait(lk, [&] { return stage == 2; });
        a2 = randn(0, 1);  // its own partner of pair 1
    });
    std::thread B([&] {
        std::unique_lock<std::mutex> lk(m);
        cv.wait(lk, [&] { return stage == 1; });
        b1 = randn(0, 1);  // a fresh pair 2
        stage = 2;
        lk.unlock();
        cv.notify_all();
    });
    A.join();
    B.join();
    EXPECT_EQ(a1, ref[0]);
    EXPECT_EQ(a2, ref[1]);
    EXPECT_EQ(b1, ref[2]);
}

TEST(SampleEWR, HighWeightsLastAndUntouched) {
    std::srand(5);
    std::vector<double> w = {500.0, 0.0, 12345.0, 0.0, 200.0, 0.0};
    int out[6];
    SampleEWR(w, 6, out);
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
    std::srand(6);
    std::vector<double> w(50, 0.0);
    int out[50];
    for (int& o : out) o = -1;
    SampleEWR(w, 10, out);
    for (int i = 0; i < 10; ++i) EXPECT_GE(out[i], 0);
    for (int i = 10; i < 50; ++i) EXPECT_EQ(out[i], -1);
    std::vector<int> few(3);
    std::vector<double> w3 = {1.0, 2.0, 3.0};
    SampleEWR(w3, 10, few.data());  // n beyond the size writes every index once
    std::sort(few.begin(), few.end());
    EXPECT_EQ(few, (std::vector<int>{0, 1, 2}));
}

// Entry of weight w comes first with probability proportional to exp(-w).
TEST(SampleEWR, GumbelKeysFollowExpMinusWeight) {
    std::srand(11);
    const int trials = 30000;
    int firstWins = 0;
    std::vector<int> firstCount(3, 0);
    for (int t = 0; t < trials; ++t) {
        std::vector<double> w = {0.0, std::log(2.0)};
        int out[2];
        SampleEWR(w, 1, out);
        if (out[0] == 0) ++firstWins;
        std::vector<double> eq = {1.0, 1.0, 1.0};
        int o3[1];
        SampleEWR(eq, 1, o3);
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
