// Sturm-sequence root isolation: sequences, root counts, order and accuracy,
// bracketing limits and their messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "closure/sturm.h"

namespace {

// Coefficients (ascending powers) of prod (x - r_i).
std::vector<double> from_roots(const std::vector<double>& r) {
    std::vector<double> c{1.0};
    for (double root : r) {
        std::vector<double> n(c.size() + 1, 0.0);
        for (size_t k = 0; k < c.size(); ++k) {
            n[k + 1] += c[k];
            n[k] -= root * c[k];
        }
        c = n;
    }
    return c;
}

struct Solved {
    std::vector<double> roots;
    std::string out, err;
};

Solved solve(const std::vector<double>& c) {
    Solved s;
    double roots[STURM_MAX_ORDER];
    int n = -1;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    solve_sturm(static_cast<int>(c.size()) - 1, &n, c.data(), roots);
    s.out = testing::internal::GetCapturedStdout();
    s.err = testing::internal::GetCapturedStderr();
    s.roots.assign(roots, roots + std::max(n, 0));
    return s;
}

// The root finder written plainly, one scalar sign-change count at a time.
// The solver counts several points per pass in vector lanes; its roots must
// be these, bit for bit.
void plain_bisect(int np, const p* s, double min, double max, int atmin, int atmax, double* roots) {
    const int nroot = atmin - atmax;
    double mid = 0.0;
    if (nroot == 1) {
        if (evalpoly(s[0].ord, s[0].coef, max) != 0.0 && modrf(s[0].ord, s[0].coef, min, max, &roots[0])) return;
        for (int its = 0; its < MAXIT; ++its) {
            mid = (min + max) / 2.0;
            const int atmid = numchanges(np, s, mid);
            const double w = std::fabs(mid) > RELERROR ? (max - min) / mid : max - min;
            if (std::fabs(w) < RELERROR) {
                roots[0] = mid;
                return;
            }
            if (atmin != atmid)
                max = mid;
            else
                min = mid;
        }
        roots[0] = mid;
        return;
    }
    for (int its = 0; its < MAXIT; ++its) {
        mid = (min + max) / 2.0;
        const int atmid = std::clamp(numchanges(np, s, mid), atmax, atmin);
        const int n1 = atmin - atmid, n2 = atmid - atmax;
        if (n1 != 0 && n2 != 0) {
            plain_bisect(np, s, min, mid, atmin, atmid, roots);
            plain_bisect(np, s, mid, max, atmid, atmax, roots + n1);
            return;
        }
        if (n1 == 0)
            min = mid;
        else
            max = mid;
    }
    for (int n = 0; n < nroot; ++n) roots[n] = mid;
}

std::vector<double> plain_solve(const std::vector<double>& c) {
    p s[2 * STURM_MAX_ORDER];
    const int ord = static_cast<int>(c.size()) - 1;
    for (int k = 0; k <= ord; ++k) s[0].coef[k] = c[k];
    const int np = buildsturm(ord, s);
    int atmin, atmax;
    if (numroots(np, s, &atmin, &atmax) == 0) return {};
    double min = -1.0, max = 1.0;
    for (int i = 0; numchanges(np, s, min) != atmin && i != 32; ++i) min *= 10.0;
    atmin = numchanges(np, s, min);
    for (int i = 0; numchanges(np, s, max) != atmax && i != 32; ++i) max *= 10.0;
    atmax = numchanges(np, s, max);
    if (atmin - atmax <= 0) return {};
    std::vector<double> r(atmin - atmax);
    plain_bisect(np, s, min, max, atmin, atmax, r.data());
    return r;
}

TEST(Sturm, SquareRootOfTwo) {
    p sseq[2 * STURM_MAX_ORDER];
    sseq[0].coef[0] = -2.0;
    sseq[0].coef[1] = 0.0;
    sseq[0].coef[2] = 1.0;
    const int np = buildsturm(2, sseq);
    ASSERT_EQ(np, 2);
    // x^2 - 2, x, 2
    EXPECT_EQ(sseq[1].ord, 1);
    EXPECT_DOUBLE_EQ(sseq[1].coef[0], 0.0);
    EXPECT_DOUBLE_EQ(sseq[1].coef[1], 1.0);
    EXPECT_EQ(sseq[2].ord, 0);
    EXPECT_DOUBLE_EQ(sseq[2].coef[0], 2.0);

    int atneg = -1, atpos = -1;
    EXPECT_EQ(numroots(np, sseq, &atneg, &atpos), 2);
    EXPECT_EQ(atneg, 2);
    EXPECT_EQ(atpos, 0);
    // Two roots lie outside [-1, 1]: one widening per side reaches them.
    EXPECT_EQ(numchanges(np, sseq, -1.0), 1);
    EXPECT_EQ(numchanges(np, sseq, -10.0), 2);
    EXPECT_EQ(numchanges(np, sseq, 10.0), 0);

    const Solved s = solve({-2.0, 0.0, 1.0});
    ASSERT_EQ(s.roots.size(), 2u);
    EXPECT_NEAR(s.roots[0], -std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(s.roots[1], std::sqrt(2.0), 1e-12);
    EXPECT_EQ(s.out, "");
    EXPECT_EQ(s.err, "");
}

TEST(Sturm, NoRealRootsAndRepeatedRoots) {
    Solved s = solve({1.0, 0.0, 1.0});  // x^2 + 1
    EXPECT_TRUE(s.roots.empty());
    EXPECT_EQ(s.out, "");

    s = solve({1.0, 0.0, 2.0, 0.0, 1.0});  // (x^2 + 1)^2
    EXPECT_TRUE(s.roots.empty());

    // (x - 0.5)^2 (x + 0.25), exact coefficients: distinct roots are counted once each.
    s = solve({0.0625, 0.0, -0.75, 1.0});
    ASSERT_EQ(s.roots.size(), 2u);
    EXPECT_NEAR(s.roots[0], -0.25, 1e-12);
    EXPECT_NEAR(s.roots[1], 0.5, 1e-7);  // a double root is only found to ~sqrt(eps)
}

TEST(Sturm, ProductsOfLinearFactorsUpToDegree16) {
    // Roots are multiples of 1/2 in [-4, 4]: every coefficient of the product
    // is then exact in double, so the only error is the solver's.
    std::mt19937 rng(12345);
    std::vector<int> pool;
    for (int k = -8; k <= 8; ++k) pool.push_back(k);
    for (int deg = 1; deg <= 16; ++deg) {
        for (int rep = 0; rep < 20; ++rep) {
            std::shuffle(pool.begin(), pool.end(), rng);
            std::vector<double> r;
            for (int i = 0; i < deg; ++i) r.push_back(pool[i] * 0.5);
            const Solved s = solve(from_roots(r));
            std::sort(r.begin(), r.end());
            ASSERT_EQ(s.roots.size(), r.size()) << "degree " << deg;
            for (int i = 0; i < deg; ++i) EXPECT_NEAR(s.roots[i], r[i], 1e-9) << "degree " << deg << " root " << i;
            EXPECT_TRUE(std::is_sorted(s.roots.begin(), s.roots.end()));
            EXPECT_EQ(s.err, "");
        }
    }
}

TEST(Sturm, RandomRootsWithComplexPairs) {
    // Real roots mixed with complex pairs, as in the closure polynomial.
    std::mt19937 rng(777);
    std::uniform_real_distribution<double> U(-3.0, 3.0);
    for (int rep = 0; rep < 300; ++rep) {
        const int nreal = 1 + rep % 8;
        const int npairs = (16 - nreal) / 2 > 0 ? static_cast<int>(rng() % ((16 - nreal) / 2 + 1)) : 0;
        std::vector<double> r;
        while (static_cast<int>(r.size()) < nreal) {
            const double x = U(rng);
            bool ok = true;
            for (double y : r) ok = ok && std::fabs(x - y) > 0.2;
            if (ok) r.push_back(x);
        }
        std::vector<double> c = from_roots(r);
        for (int k = 0; k < npairs; ++k) {  // times (x - a)^2 + b^2
            const double a = U(rng), b = 0.3 + std::fabs(U(rng));
            const double q[3] = {a * a + b * b, -2.0 * a, 1.0};
            std::vector<double> n(c.size() + 2, 0.0);
            for (size_t i = 0; i < c.size(); ++i)
                for (int j = 0; j < 3; ++j) n[i + j] += c[i] * q[j];
            c = n;
        }
        const Solved s = solve(c);
        std::sort(r.begin(), r.end());
        ASSERT_EQ(s.roots.size(), r.size()) << "case " << rep;
        for (size_t i = 0; i < r.size(); ++i) EXPECT_NEAR(s.roots[i], r[i], 1e-8 * (1.0 + std::fabs(r[i])));
    }
}

TEST(Sturm, SameRootsAsPlainScalarSolver) {
    // Random degree-16 polynomials (the closure's case, full-length Sturm
    // sequences) and lower degrees with short sequences.
    std::mt19937 rng(4242);
    std::uniform_real_distribution<double> U(-3.0, 3.0);
    int compared = 0;
    testing::internal::CaptureStdout();  // wild cases may not bracket
    for (int rep = 0; rep < 2000; ++rep) {
        const int deg = rep % 5 == 0 ? 3 + rep % 13 : 16;
        std::vector<double> c(deg + 1);
        for (double& x : c) x = U(rng) * std::pow(10.0, static_cast<int>(rng() % 3) - 1);
        double roots[STURM_MAX_ORDER];
        int n = -1;
        solve_sturm(deg, &n, c.data(), roots);
        const std::vector<double> ref = plain_solve(c);
        ASSERT_EQ(n, static_cast<int>(ref.size())) << "case " << rep;
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(roots[i], ref[i]) << "case " << rep << " root " << i;
            ++compared;
        }
    }
    testing::internal::GetCapturedStdout();
    EXPECT_GT(compared, 2000);
}

TEST(Sturm, RootsInsideUnitIntervalNeedNoWidening) {
    const std::vector<double> r{-0.9, -0.31, 0.05, 0.62, 0.97};
    const Solved s = solve(from_roots(r));
    EXPECT_EQ(s.out, "");
    EXPECT_EQ(s.err, "");
    ASSERT_EQ(s.roots.size(), r.size());
    for (size_t i = 0; i < r.size(); ++i) EXPECT_NEAR(s.roots[i], r[i], 1e-12);
}

TEST(Sturm, RootsBeyondBracketAreDroppedWithMessage) {
    Solved s = solve(from_roots({0.5, 1e33}));
    EXPECT_EQ(s.out, "solve: unable to bracket all positive roots\n");
    ASSERT_EQ(s.roots.size(), 1u);
    EXPECT_NEAR(s.roots[0], 0.5, 1e-12);

    s = solve(from_roots({-3.0, -1e34}));
    EXPECT_EQ(s.out, "solve: unable to bracket all negative roots\n");
    ASSERT_EQ(s.roots.size(), 1u);
    EXPECT_NEAR(s.roots[0], -3.0, 1e-12);

    // A root just inside 1e32 is still bracketed and found.
    s = solve(from_roots({1e31, 2.0}));
    EXPECT_EQ(s.out, "");
    ASSERT_EQ(s.roots.size(), 2u);
    EXPECT_NEAR(s.roots[0], 2.0, 1e-12);
    EXPECT_NEAR(s.roots[1] / 1e31, 1.0, 1e-12);
}

TEST(Sturm, BisectionOverflowReportsOnStderr) {
    // Without regula falsi and with three bisections a lone root cannot be
    // resolved: the last midpoint comes back with the overflow message.
    const int saved_it = MAXIT, saved_sec = MAX_ITER_SECANT;
    MAXIT = 3;
    MAX_ITER_SECANT = 0;
    const Solved s = solve(from_roots({0.3}));
    MAXIT = saved_it;
    MAX_ITER_SECANT = saved_sec;
    ASSERT_EQ(s.roots.size(), 1u);
    EXPECT_DOUBLE_EQ(s.roots[0], 0.25);  // midpoints 0, 0.5, 0.25 of [-1, 1]
    EXPECT_EQ(s.err.rfind("sbisect: overflow min ", 0), 0u) << s.err;
    EXPECT_NE(s.err.find("nroot 1 n1 0 n2 0\n"), std::string::npos) << s.err;
    EXPECT_EQ(s.out, "");
}

TEST(Sturm, ModrfAndEvalpoly) {
    const double c[4] = {-6.0, 11.0, -6.0, 1.0};  // (x-1)(x-2)(x-3)
    EXPECT_DOUBLE_EQ(evalpoly(3, c, 4.0), 6.0);
    double v = 0.0;
    ASSERT_EQ(modrf(3, c, 1.5, 2.6, &v), 1);
    EXPECT_NEAR(v, 2.0, 1e-14);
    EXPECT_EQ(modrf(3, c, 3.5, 4.0, &v), 0);  // no sign change
}

}  // namespace
