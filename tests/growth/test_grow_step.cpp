// One growth step on H-Ras loop 45-52 from 100 seeds with the real tables:
// every child's bin must pass the torsion-bin, distance and energy tests,
// re-checked here from the tables and from an independent rebuild of the
// candidate backbone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <set>

#include "build/builders.h"
#include "growth_support.h"

using namespace lorvane;
using namespace growth_test;

namespace {

constexpr int N_ = SLOT_N, CA_ = SLOT_CA, C_ = SLOT_C;

// Table cell of a distance coordinate, or -1 when outside [0, 16].
int cell(double d, double lo, double hi) {
    const double x = 16.0 * (d - lo) / (hi - lo);
    if (!(x >= 0.0 && x <= 16.0)) return -1;
    return x >= 16.0 ? 15 : static_cast<int>(x);
}

// Distance from x to the nearest cell edge of its axis (how far a rounding difference is from flipping it).
double edgeMargin(double d, double lo, double hi) {
    const double x = 16.0 * (d - lo) / (hi - lo);
    return std::fabs(x - std::round(x));
}


// Counts of one checked step.
struct StepCheck {
    int children = 0, partial = 0, dead = 0, boundary = 0;
};

// Distances of the bin centre (a, b) of seed's child to the far anchor.
using Geometry = std::function<void(int seed, int a, int b, double& d0, double& d1, double& d2)>;

// Every child of every seed: a distinct bin inside the torsion table, the
// recorded energies, and the distance tests of its direction's tables.
StepCheck checkChildren(SeedBuffers& B, int seeds, int type, bool backward, int g, const Geometry& geometry) {
    const Distributions& D = repoDistributions();
    const JointTables& J = D.joint(backward);
    StepCheck out;
    for (int seed = 0; seed < seeds; ++seed) {
        std::set<int> bins;
        int n = 0;
        for (int j = 0; j < CHILDREN; ++j) {
            const float* rec = B.childRecord(seed, j);
            if (rec[5] > 50.0f) {
                for (int q = j; q < CHILDREN; ++q) EXPECT_GT(B.childRecord(seed, q)[5], 50.0f) << "hole in seed " << seed;
                break;
            }
            ++n;
            const double phi = rec[0] * RAD2DEG, psi = rec[1] * RAD2DEG;
            const int a = static_cast<int>(std::lround((phi + 180.0) / 5.0));
            const int b = static_cast<int>(std::lround((psi + 180.0) / 5.0));
            EXPECT_TRUE(a >= 0 && a < 72 && b >= 0 && b < 72) << phi << " " << psi;
            if (!(a >= 0 && a < 72 && b >= 0 && b < 72)) continue;
            EXPECT_LE(std::fabs(phi - (-180.0 + 5 * a)), 2.5 + 1e-3);
            EXPECT_LE(std::fabs(psi - (-180.0 + 5 * b)), 2.5 + 1e-3);
            EXPECT_TRUE(bins.insert(72 * a + b).second) << "bin chosen twice in seed " << seed;
            EXPECT_NEAR(rec[2], PI, 0.3);
            EXPECT_FLOAT_EQ(rec[4], 111.2f);
            EXPECT_EQ(rec[10], 1.0f);

            const double pbb = D.torsionBins[type][SS_COIL][a][b];
            EXPECT_GE(pbb, 2e-5);
            EXPECT_NEAR(rec[6], -std::log(pbb), 1e-4);
            EXPECT_LE(rec[9], 100.0f);
            EXPECT_GE(rec[7], 0.0f);

            double d0, d1, d2;
            geometry(seed, a, b, d0, d1, d2);
            const int r0 = static_cast<int>(std::floor(d0 + 0.5));
            const double* ml = J.marginalLimits[g][SS_COIL];
            const double* cl = J.condLimits[g][SS_COIL][r0];
            const double margin = std::min({edgeMargin(d1, ml[0], ml[1]), edgeMargin(d2, ml[2], ml[3]),
                                            edgeMargin(d1 - d0, cl[0], cl[1]), edgeMargin(d2 - d0, cl[2], cl[3])});
            if (margin < 1e-4) {
                ++out.boundary;  // too close to a cell edge to judge by a rebuild with other rounding
                continue;
            }
            const int i1 = cell(d1, ml[0], ml[1]), i2 = cell(d2, ml[2], ml[3]);
            EXPECT_GE(i1, 0);
            EXPECT_GE(i2, 0);
            EXPECT_GE(cl[1] - cl[0], 0.001);
            const int j1 = cell(d1 - d0, cl[0], cl[1]), j2 = cell(d2 - d0, cl[2], cl[3]);
            EXPECT_GE(j1, 0);
            EXPECT_GE(j2, 0);
            if (i1 < 0 || i2 < 0 || j1 < 0 || j2 < 0) continue;
            const double pm = J.marginal[g][SS_COIL][i1][i2];
            const double pc = J.cond[g][SS_COIL][r0][j1][j2];
            EXPECT_GE(pm, 1e-7);
            EXPECT_GE(pc, 1e-7);
            EXPECT_NEAR(rec[8], -std::log(pc * pm), 1e-3 * std::max(1.0, std::fabs(double(rec[8]))));
        }
        out.children += n;
        if (n == 0)
            ++out.dead;
        else if (n < CHILDREN)
            ++out.partial;
    }
    return out;
}

// The path of seed i becomes child 0 of seed i (or of the first seed with a child).
void keepFirstChild(SeedBuffers& B, int step, int seeds) {
    int donor = 0;
    while (donor < seeds && B.childRecord(donor, 0)[5] > 50.0f) ++donor;
    ASSERT_LT(donor, seeds) << "every seed died at step " << step;
    for (int i = 0; i < seeds; ++i) {
        const int src = B.childRecord(i, 0)[5] < 50.0f ? i : donor;
        for (int j = 0; j < step && src != i; ++j) std::copy_n(B.pathRecord(B.tempFrag, j, src), PATH_FIELDS, B.pathRecord(B.tempFrag, j, i));
        std::copy_n(B.childRecord(src, 0), PATH_FIELDS, B.pathRecord(B.tempFrag, step, i));
    }
}

}  // namespace

// Steps 0 (45 forward) and 1 (52 backward) of the alternating plan. The bin
// centre of every child is rebuilt with calCo, independently of the set
// builders, and re-checked against the tables.
TEST(GrowthStepSlow, RasLoopChildrenPassEveryTest) {
    RasRun run(45, 52, 0.0, true, 100, 2);
    Sampler& smc = *run.run;
    SeedBuffers& B = smc.seeds;
    Structure& s = smc.work;
    const int ls = smc.loopStart, le = smc.loopEnd;
    const double (&bl)[NUM_TYPES][MAX_ATOMS] = tmpl().bondLength;
    const double (&ba)[NUM_TYPES][MAX_ATOMS] = tmpl().bondAngle;
    auto bin = [](int k) { return -PI + k * 0.08726646259971639; };

    // Step 0: 45 forward towards CA(52), which the step re-places first.
    ASSERT_EQ(smc.plan.order[0], ls);
    ASSERT_FALSE(smc.plan.backward[0]);
    ASSERT_EQ(smc.plan.farPos[0], le);
    const int dead0 = growStep(smc, 0, false);
    Structure t = s;
    calCo(t[le + 1].atoms[CA_], t[le + 1].atoms[N_], t[le].atoms[C_], bl[t[ls].type][C_], ba[t[ls + 1].type][N_], PI, t[le].atoms[CA_]);
    const StepCheck c0 = checkChildren(B, 100, t[ls].type, false, le - ls, [&](int, int a, int b, double& d0, double& d1, double& d2) {
        const Point caR = t[le].atoms[CA_], caP = t[ls].atoms[CA_];
        Point C, N1, CA1;
        calCo(t[ls - 1].atoms[C_], t[ls].atoms[N_], caP, bl[0][C_], ba[0][C_], bin(a), C);
        calCo(t[ls].atoms[N_], caP, C, bl[0][N_], ba[0][N_], bin(b), N1);
        calCo(caP, C, N1, bl[0][CA_], ba[0][CA_], PI, CA1);
        d0 = caP.dis(caR);
        d1 = C.dis(caR);
        d2 = CA1.dis(caR);
    });
    std::cout << "Ras 45-52 step 0 (45 forward): " << c0.children << " children, dead ends " << dead0 << ", partial " << c0.partial
              << ", bins at a cell edge " << c0.boundary << std::endl;
    EXPECT_EQ(dead0, c0.dead);
    EXPECT_GT(c0.children, 0);

    // Step 1: 52 backward towards CA(46), from seeds that took child 0.
    keepFirstChild(B, 0, 100);
    ASSERT_EQ(smc.plan.order[1], le);
    ASSERT_TRUE(smc.plan.backward[1]);
    ASSERT_EQ(smc.plan.farPos[1], ls + 1);
    ASSERT_NE(t[le].type, PRO);
    ASSERT_NE(t[le + 1].type, PRO);  // no cis draw for this peptide bond
    smc.liveSeeds = 100;
    const int dead1 = growStep(smc, 1, false);
    Structure u = s;
    int rebuilt = -1;
    const StepCheck c1 = checkChildren(B, 100, t[le].type, true, le - ls - 1, [&](int seed, int a, int b, double& d0, double& d1, double& d2) {
        if (seed != rebuilt) {  // the seed's path: residue 45 from its step-0 record; CA(52) re-placed trans
            const float* r = B.pathRecord(B.tempFrag, 0, seed);
            calBBCo(tmpl(), u, ls, u[ls], u[ls + 1], r[0], r[1], r[2], r[4] * DEG2RAD, true);
            calCo(u[le + 1].atoms[CA_], u[le + 1].atoms[N_], u[le].atoms[C_], bl[u[le].type][C_], ba[u[le + 1].type][N_], PI,
                  u[le].atoms[CA_]);
            rebuilt = seed;
        }
        const Point caR = u[ls + 1].atoms[CA_], caP = u[le].atoms[CA_], Cp = u[le].atoms[C_];
        Point N, Cm, CAm;
        calCo(u[le + 1].atoms[N_], Cp, caP, bl[0][CA_], ba[0][C_], bin(b), N);
        calCo(Cp, caP, N, bl[0][N_], ba[0][CA_], bin(a), Cm);
        calCo(caP, N, Cm, bl[0][C_], ba[0][N_], PI, CAm);
        d0 = caP.dis(caR);
        d1 = N.dis(caR);
        d2 = CAm.dis(caR);
    });
    std::cout << "Ras 45-52 step 1 (52 backward): " << c1.children << " children, dead ends " << dead1 << ", partial " << c1.partial
              << ", bins at a cell edge " << c1.boundary << std::endl;
    EXPECT_EQ(dead1, c1.dead);
    EXPECT_GT(c1.children, 0);
}

// The program rejects a loop the sampler cannot grow, after loading its tables
// and before allocating anything for sampling.
TEST(SamplingMode, TooShortLoopIsRefusedBeforeSampling) {
    ScratchDir dir;
    dir.linkData();
    const ProgramRun r = runProgram(dir.root(), "-f '" + sourcePath("examples/5p21.pdb") + "' -start 45 -end 47 -seeds 100");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("the loop A45-A47 has 3 residues; the program models 4 to 22"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Loop length"), std::string::npos) << r.out;
}
