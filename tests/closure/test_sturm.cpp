// Sturm-sequence root isolation: root counts, order and accuracy, bracketing
// limits and their messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "closure/sturm.h"

using namespace lorvane;

namespace {

// Coefficients (ascending powers) of c(x) * prod (x - r_i).
std::vector<double> times_roots(std::vector<double> c, const std::vector<double>& r) {
    for (double root : r) {
        std::vector<double> n(c.size() + 1, 0.0);
        for (size_t k = 0; k < c.size(); ++k) n[k + 1] += c[k], n[k] -= root * c[k];
        c = n;
    }
    return c;
}

struct Solved {
    std::vector<double> roots;
    std::string out, err;
};

Solved solve(const std::vector<double>& c, const SturmLimits& limits = {}) {
    Solved s;
    double roots[STURM_MAX_ORDER];
    int n = -1;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    solve_sturm(static_cast<int>(c.size()) - 1, &n, c.data(), roots, limits);
    s.out = testing::internal::GetCapturedStdout();
    s.err = testing::internal::GetCapturedStderr();
    s.roots.assign(roots, roots + std::max(n, 0));
    return s;
}

TEST(Sturm, SquareRootOfTwoNoRealAndRepeatedRoots) {
    p sseq[2 * STURM_MAX_ORDER];
    sseq[0].coef[0] = -2.0, sseq[0].coef[1] = 0.0, sseq[0].coef[2] = 1.0;
    const int np = buildsturm(2, sseq);
    ASSERT_EQ(np, 2);  // x^2 - 2, x, 2
    EXPECT_TRUE(sseq[1].ord == 1 && sseq[1].coef[0] == 0.0 && sseq[1].coef[1] == 1.0 && sseq[2].ord == 0 && sseq[2].coef[0] == 2.0);
    int atneg = -1, atpos = -1;
    EXPECT_EQ(numroots(np, sseq, &atneg, &atpos), 2);
    EXPECT_EQ(numchanges(np, sseq, -1.0), 1);  // the roots lie outside [-1, 1]: one widening per side reaches them
    EXPECT_EQ(numchanges(np, sseq, -10.0), 2);
    Solved s = solve({-2.0, 0.0, 1.0});
    ASSERT_EQ(s.roots.size(), 2u);
    EXPECT_NEAR(s.roots[0], -std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(s.roots[1], std::sqrt(2.0), 1e-12);
    EXPECT_EQ(s.out + s.err, "");

    EXPECT_TRUE(solve({1.0, 0.0, 1.0}).roots.empty());            // x^2 + 1
    EXPECT_TRUE(solve({1.0, 0.0, 2.0, 0.0, 1.0}).roots.empty());  // (x^2 + 1)^2
    s = solve({0.0625, 0.0, -0.75, 1.0});  // (x - 0.5)^2 (x + 0.25): distinct roots counted once each
    ASSERT_EQ(s.roots.size(), 2u);
    EXPECT_NEAR(s.roots[0], -0.25, 1e-12);
    EXPECT_NEAR(s.roots[1], 0.5, 1e-7);  // a double root is only found to ~sqrt(eps)
}

TEST(Sturm, ProductsOfLinearFactorsAndComplexPairsUpToDegree16) {
    // Roots are multiples of 1/2 in [-4, 4]: every coefficient is then exact in
    // double, so the only error is the solver's. Roots come back in increasing order.
    std::mt19937 rng(12345);
    std::vector<int> pool;
    for (int k = -8; k <= 8; ++k) pool.push_back(k);
    for (int deg = 1; deg <= 16; ++deg)
        for (int rep = 0; rep < 20; ++rep) {
            std::shuffle(pool.begin(), pool.end(), rng);
            std::vector<double> r;
            for (int i = 0; i < deg; ++i) r.push_back(pool[i] * 0.5);
            const Solved s = solve(times_roots({1.0}, r));
            std::sort(r.begin(), r.end());
            ASSERT_EQ(s.roots.size(), r.size()) << "degree " << deg;
            for (int i = 0; i < deg; ++i) EXPECT_NEAR(s.roots[i], r[i], 1e-9) << "degree " << deg << " root " << i;
            EXPECT_EQ(s.out + s.err, "");
        }
    // Real roots mixed with complex pairs (x - a)^2 + b^2, as in the closure polynomial.
    std::uniform_real_distribution<double> U(-3.0, 3.0);
    for (int rep = 0; rep < 300; ++rep) {
        const int nreal = 1 + rep % 8, npairs = static_cast<int>(rng() % ((16 - nreal) / 2 + 1));
        std::vector<double> r;
        while (static_cast<int>(r.size()) < nreal) {
            const double x = U(rng);
            if (std::all_of(r.begin(), r.end(), [x](double y) { return std::fabs(x - y) > 0.2; })) r.push_back(x);
        }
        std::vector<double> c{1.0};
        for (int k = 0; k < npairs; ++k) {
            const double a = U(rng), b = 0.3 + std::fabs(U(rng)), q[3] = {a * a + b * b, -2.0 * a, 1.0};
            std::vector<double> n(c.size() + 2, 0.0);
            for (size_t i = 0; i < c.size(); ++i)
                for (int j = 0; j < 3; ++j) n[i + j] += c[i] * q[j];
            c = n;
        }
        const Solved s = solve(times_roots(c, r));
        std::sort(r.begin(), r.end());
        ASSERT_EQ(s.roots.size(), r.size()) << "case " << rep;
        for (size_t i = 0; i < r.size(); ++i) EXPECT_NEAR(s.roots[i], r[i], 1e-8 * (1.0 + std::fabs(r[i]))) << "case " << rep;
    }
}

TEST(Sturm, BracketLimitsAndBisectionOverflow) {
    Solved s = solve(times_roots({1.0}, {0.5, 1e33}));
    EXPECT_EQ(s.out + s.err, "solve: unable to bracket all positive roots\n");
    ASSERT_EQ(s.roots.size(), 1u);
    EXPECT_NEAR(s.roots[0], 0.5, 1e-12);
    s = solve(times_roots({1.0}, {-3.0, -1e34}));
    EXPECT_EQ(s.out + s.err, "solve: unable to bracket all negative roots\n");
    ASSERT_EQ(s.roots.size(), 1u);
    EXPECT_NEAR(s.roots[0], -3.0, 1e-12);
    s = solve(times_roots({1.0}, {1e31, 2.0}));  // just inside 1e32: still bracketed
    EXPECT_EQ(s.out + s.err, "");
    ASSERT_EQ(s.roots.size(), 2u);
    EXPECT_NEAR(s.roots[0], 2.0, 1e-12);
    EXPECT_NEAR(s.roots[1] / 1e31, 1.0, 1e-12);

    // Without regula falsi and with three bisections a lone root is not resolved:
    // the last midpoint comes back with the overflow message on stderr.
    SturmLimits few;
    few.bisections = 3;
    few.secantSteps = 0;
    s = solve(times_roots({1.0}, {0.3}), few);
    ASSERT_EQ(s.roots.size(), 1u);
    EXPECT_DOUBLE_EQ(s.roots[0], 0.25);  // midpoints 0, 0.5, 0.25 of [-1, 1]
    EXPECT_EQ(s.err.rfind("sbisect: overflow min ", 0), 0u) << s.err;
    EXPECT_NE(s.err.find("nroot 1 n1 0 n2 0\n"), std::string::npos) << s.err;
}

}  // namespace
