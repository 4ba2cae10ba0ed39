// Tripeptide closure: closes ideal backbones built with the solver's own
// geometry, every solution keeps that geometry, unreachable and degenerate
// anchors give no solution, results are repeatable and per-thread.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "closure/tripeptide.h"

using namespace lorvane;

namespace {

using V3 = std::array<double, 3>;

V3 sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
V3 add(const V3& a, const V3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
V3 scale(const V3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V3 crs(const V3& a, const V3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double norm(const V3& a) { return std::sqrt(dot(a, a)); }
V3 unit(const V3& a) { return scale(a, 1.0 / norm(a)); }
double dist(const V3& a, const V3& b) { return norm(sub(a, b)); }
double angle(const V3& a, const V3& b, const V3& c) {
    const V3 u = unit(sub(a, b)), v = unit(sub(c, b));
    return std::atan2(norm(crs(u, v)), dot(u, v));
}
// IUPAC dihedral a-b-c-d in (-pi, pi].
double dihedral(const V3& a, const V3& b, const V3& c, const V3& d) {
    const V3 b1 = sub(b, a), b2 = sub(c, b), b3 = sub(d, c);
    const V3 n1 = crs(b1, b2), n2 = crs(b2, b3);
    return std::atan2(norm(b2) * dot(b1, n2), dot(n1, n2));
}
// Difference of two angles wrapped to (-pi, pi].
double angdiff(double a, double b) { return std::remainder(a - b, 2.0 * M_PI); }
// Places d with |cd| = len, angle b-c-d = ang, dihedral a-b-c-d = tor.
V3 place(const V3& a, const V3& b, const V3& c, double len, double ang, double tor) {
    const V3 bc = unit(sub(c, b));
    const V3 n = unit(crs(sub(b, a), bc));
    const V3 m = crs(n, bc);
    const V3 d2 = {-len * std::cos(ang), len * std::sin(ang) * std::cos(tor), len * std::sin(ang) * std::sin(tor)};
    return add(c, add(scale(bc, d2[0]), add(scale(m, d2[1]), scale(n, d2[2]))));
}

struct Geometry {
    double len[6], ang[7], tor[2];
};

// Atoms N1 CA1 C1 N2 CA2 C2 N3 CA3 C3.
struct Backbone {
    V3 at[9];
    double psi1, phi2, psi2, phi3;
};

// Engh & Huber (1991) backbone values with small spreads.
Geometry random_geometry(std::mt19937& rng) {
    std::normal_distribution<double> N(0.0, 1.0);
    const double mean[15] = {1.525, 1.329, 1.458, 1.525, 1.329, 1.458, 1.92, 2.035, 2.124, 1.92, 2.035, 2.124, 1.94, 3.129375, 3.129375};
    const double sd[15] = {0.01, 0.01, 0.01, 0.01, 0.01, 0.01, 0.06, 0.02, 0.02, 0.06, 0.02, 0.02, 0.03, 0.0541, 0.0541};
    Geometry g;
    double* v[15] = {&g.len[0], &g.len[1], &g.len[2], &g.len[3], &g.len[4], &g.len[5], &g.ang[0], &g.ang[1],
                     &g.ang[2], &g.ang[3], &g.ang[4], &g.ang[5], &g.ang[6], &g.tor[0], &g.tor[1]};
    for (int i = 0; i < 15; ++i) *v[i] = mean[i] + sd[i] * N(rng);
    return g;
}

// Ramachandran-plausible phi/psi (radians): alpha, beta or left-handed helix.
void random_phipsi(std::mt19937& rng, double& phi, double& psi) {
    std::normal_distribution<double> N(0.0, 1.0);
    const int r = static_cast<int>(rng() % 10), k = r < 5 ? 0 : r < 9 ? 1 : 2;
    const double mean[3][2] = {{-63, -42}, {-120, 130}, {60, 45}}, sd[3] = {12, 20, 10};
    phi = (mean[k][0] + sd[k] * N(rng)) * M_PI / 180.0;
    psi = (mean[k][1] + sd[k] * N(rng)) * M_PI / 180.0;
}

Backbone build(const Geometry& g, std::mt19937& rng) {
    std::uniform_real_distribution<double> U(-1.0, 1.0);
    Backbone b;
    double phi1, psi3;
    random_phipsi(rng, phi1, b.psi1);
    random_phipsi(rng, b.phi2, b.psi2);
    random_phipsi(rng, b.phi3, psi3);
    const V3 origin = {10 * U(rng), 10 * U(rng), 10 * U(rng)};
    const V3 dir = unit({U(rng), U(rng), U(rng) + 0.1});
    const V3 ref = add(origin, unit({U(rng) + 0.2, U(rng), U(rng)}));
    V3* a = b.at;
    a[0] = origin;                                                  // N1
    a[1] = add(origin, scale(dir, 1.458));                          // CA1
    a[2] = place(ref, a[0], a[1], g.len[0], g.ang[0], 2.0 * U(rng));  // C1
    a[3] = place(a[0], a[1], a[2], g.len[1], g.ang[1], b.psi1);     // N2
    a[4] = place(a[1], a[2], a[3], g.len[2], g.ang[2], g.tor[0]);   // CA2
    a[5] = place(a[2], a[3], a[4], g.len[3], g.ang[3], b.phi2);     // C2
    a[6] = place(a[3], a[4], a[5], g.len[4], g.ang[4], b.psi2);     // N3
    a[7] = place(a[4], a[5], a[6], g.len[5], g.ang[5], g.tor[1]);   // CA3
    a[8] = place(a[5], a[6], a[7], 1.525, g.ang[6], b.phi3);        // C3
    return b;
}

struct Solutions {
    int n = -1;
    double sn[16][3][3], sa[16][3][3], sc[16][3][3];
    // Solution k as the nine backbone atoms.
    Backbone atoms(int k) const {
        Backbone b{};
        for (int i = 0; i < 3; ++i) {
            b.at[3 * i] = {sn[k][i][0], sn[k][i][1], sn[k][i][2]};
            b.at[3 * i + 1] = {sa[k][i][0], sa[k][i][1], sa[k][i][2]};
            b.at[3 * i + 2] = {sc[k][i][0], sc[k][i][1], sc[k][i][2]};
        }
        return b;
    }
};

constexpr double UNTOUCHED = 777.0;  // shows whether the output arrays were written

Solutions solve(const Geometry& g, const V3& n1, const V3& ca1, const V3& ca3, const V3& c3) {
    Solutions s;
    for (auto* arr : {&s.sn, &s.sa, &s.sc}) std::fill(&(*arr)[0][0][0], &(*arr)[0][0][0] + 16 * 9, UNTOUCHED);
    initialize_loop_closure(g.len, g.ang, g.tor);
    solve_3pep_poly(n1.data(), ca1.data(), ca3.data(), c3.data(), s.sn, s.sa, s.sc, &s.n);
    return s;
}

Solutions solve(const Geometry& g, const Backbone& b) { return solve(g, b.at[0], b.at[1], b.at[7], b.at[8]); }

// Largest deviation of solution k's fixed geometry from g.
double geometry_error(const Backbone& s, const Geometry& g) {
    const V3* a = s.at;
    double e = 0.0;
    for (int i = 0; i < 6; ++i) e = std::max(e, std::fabs(dist(a[i + 1], a[i + 2]) - g.len[i]));
    for (int i = 0; i < 7; ++i) e = std::max(e, std::fabs(angle(a[i], a[i + 1], a[i + 2]) - g.ang[i]));
    e = std::max(e, std::fabs(angdiff(dihedral(a[1], a[2], a[3], a[4]), g.tor[0])));
    e = std::max(e, std::fabs(angdiff(dihedral(a[4], a[5], a[6], a[7]), g.tor[1])));
    return e;
}

bool all_untouched(const Solutions& s) {
    for (auto* arr : {&s.sn, &s.sa, &s.sc})
        if (std::count(&(*arr)[0][0][0], &(*arr)[0][0][0] + 16 * 9, UNTOUCHED) != 16 * 9) return false;
    return true;
}

// Every solution keeps the requested lengths, angles and fixed torsions and the
// anchors; one of them is the backbone the anchors were taken from. The same
// input gives the same solutions in the same order after another closure.
TEST(Tripeptide, ClosesRandomIdealBackbones) {
    std::mt19937 rng(20240501);
    int total_solutions = 0;
    for (int rep = 0; rep < 2000; ++rep) {
        const Geometry g = random_geometry(rng);
        const Backbone b = build(g, rng);
        const Solutions s = solve(g, b);
        ASSERT_GE(s.n, 1) << "case " << rep;
        ASSERT_LE(s.n, 16);
        total_solutions += s.n;
        double best = 1e9;
        int best_k = -1;
        for (int k = 0; k < s.n; ++k) {
            const Backbone sol = s.atoms(k);
            for (int at : {0, 1, 7, 8})
                for (int i = 0; i < 3; ++i) ASSERT_EQ(sol.at[at][i], b.at[at][i]) << "case " << rep;  // anchors bit for bit
            EXPECT_LT(geometry_error(sol, g), 1e-8) << "case " << rep << " solution " << k;
            double dev = 0.0;
            for (int at = 2; at <= 6; ++at) dev = std::max(dev, dist(sol.at[at], b.at[at]));
            if (dev < best) best = dev, best_k = k;
            if (k > 0) {
                EXPECT_GT(dist(sol.at[4], s.atoms(k - 1).at[4]) + dist(sol.at[2], s.atoms(k - 1).at[2]), 1e-6) << "repeated solution";
            }
        }
        EXPECT_LT(best, 1e-6) << "case " << rep << ": the built backbone is not among " << s.n << " solutions";
        const Backbone m = s.atoms(best_k);  // with the free torsions it was built with
        EXPECT_NEAR(angdiff(dihedral(m.at[0], m.at[1], m.at[2], m.at[3]), b.psi1), 0.0, 1e-6);
        EXPECT_NEAR(angdiff(dihedral(m.at[2], m.at[3], m.at[4], m.at[5]), b.phi2), 0.0, 1e-6);
        EXPECT_NEAR(angdiff(dihedral(m.at[3], m.at[4], m.at[5], m.at[6]), b.psi2), 0.0, 1e-6);
        EXPECT_NEAR(angdiff(dihedral(m.at[5], m.at[6], m.at[7], m.at[8]), b.phi3), 0.0, 1e-6);
        if (rep < 50) {
            const Geometry g2 = random_geometry(rng);
            solve(g2, build(g2, rng));
            const Solutions again = solve(g, b);
            ASSERT_EQ(again.n, s.n);
            EXPECT_EQ(std::memcmp(again.sn, s.sn, sizeof s.sn) | std::memcmp(again.sa, s.sa, sizeof s.sa) | std::memcmp(again.sc, s.sc, sizeof s.sc), 0);
        }
    }
    EXPECT_GT(total_solutions, 2000);  // backbones usually admit more than the closure they were built from
}

// Out of reach, too close or degenerate (coincident or collinear) anchors: no
// solution and the output arrays untouched.
TEST(Tripeptide, UnreachableAndDegenerateAnchorsGiveNoSolution) {
    std::mt19937 rng(5);
    const Geometry g = random_geometry(rng);
    const Backbone b = build(g, rng);
    const V3 &n1 = b.at[0], &ca1 = b.at[1], &ca3 = b.at[7], &c3 = b.at[8];
    const V3 axis = unit(sub(ca3, ca1));
    const double reach = dist(ca1, b.at[4]) + dist(b.at[4], ca3);  // CA1-CA2 plus CA2-CA3
    std::vector<Solutions> cases;
    for (double to : {reach + 0.01, reach + 1.0, reach + 10.0, 0.5}) {
        const V3 shift = scale(axis, to - dist(ca1, ca3));
        cases.push_back(solve(g, n1, ca1, add(ca3, shift), add(c3, shift)));
    }
    const double nan = std::nan("");
    cases.push_back(solve(g, n1, ca1, ca1, c3));                            // CA1 = CA3
    cases.push_back(solve(g, sub(ca1, scale(axis, 1.458)), ca1, ca3, c3));  // N1 behind CA1 on the line
    cases.push_back(solve(g, add(ca1, scale(axis, 1.458)), ca1, ca3, c3));  // N1 between CA1 and CA3
    cases.push_back(solve(g, n1, ca1, ca3, add(ca3, scale(axis, 1.525))));  // C3 on the line
    cases.push_back(solve(g, n1, n1, ca3, c3));                             // N1 = CA1
    cases.push_back(solve(g, n1, ca1, ca3, ca3));                           // C3 = CA3
    cases.push_back(solve(g, {nan, 0, 0}, ca1, ca3, c3));
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cases[i].n, 0) << "case " << i;
        EXPECT_TRUE(all_untouched(cases[i])) << "case " << i;
    }
    EXPECT_GE(solve(g, b).n, 1);  // the undisturbed anchors still close
}

TEST(Tripeptide, ThreadsKeepTheirOwnGeometry) {
    // Each thread initialises its own geometry and solves in lockstep with
    // the other; results must match a single-threaded run exactly.
    std::mt19937 rng(31);
    const int n = 40;
    std::vector<Geometry> gs;
    std::vector<Backbone> bs;
    for (int i = 0; i < n; ++i) {
        gs.push_back(random_geometry(rng));
        bs.push_back(build(gs.back(), rng));
    }
    std::vector<Solutions> serial(n), parallel(n);
    for (int i = 0; i < n; ++i) serial[i] = solve(gs[i], bs[i]);
#pragma omp parallel num_threads(2)
    {
        const int t = omp_get_thread_num();
        const int nt = omp_get_num_threads();
        for (int i = t; i < n; i += nt) {
            initialize_loop_closure(gs[i].len, gs[i].ang, gs[i].tor);
#pragma omp barrier
            Solutions& s = parallel[i];
            solve_3pep_poly(bs[i].at[0].data(), bs[i].at[1].data(), bs[i].at[7].data(), bs[i].at[8].data(), s.sn,
                            s.sa, s.sc, &s.n);
#pragma omp barrier
        }
    }
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(serial[i].n, parallel[i].n) << i;
        const size_t bytes = sizeof(double) * 9 * serial[i].n;
        EXPECT_EQ(std::memcmp(serial[i].sn, parallel[i].sn, bytes), 0) << i;
        EXPECT_EQ(std::memcmp(serial[i].sa, parallel[i].sa, bytes), 0) << i;
        EXPECT_EQ(std::memcmp(serial[i].sc, parallel[i].sc, bytes), 0) << i;
    }
}

}  // namespace
