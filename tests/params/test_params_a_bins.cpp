// Bins, periodic angle helpers, smoothing kernels and option parsing of the
// backbone/distance/rotamer derivations.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "params/params_a_util.h"
#include "params/training_set.h"
#include "params_a_test_util.h"

using namespace lorvane;

using namespace paramsa;

TEST(ParamsATorsionBin, CentredFiveDegreeBinsWrapAtPlusMinus180) {
    // Bin k is centred on -180 + 5k and covers [-182.5 + 5k, -177.5 + 5k).
    EXPECT_EQ(torsionBin(-62.4), 24);  // centre -60 covers [-62.5, -57.5)
    EXPECT_EQ(torsionBin(-62.5), 24);
    EXPECT_EQ(torsionBin(-62.6), 23);
    EXPECT_EQ(torsionBin(-57.5), 25);
    EXPECT_EQ(torsionBin(-180.0), 0);
    EXPECT_EQ(torsionBin(180.0), 0);    // same angle as -180
    EXPECT_EQ(torsionBin(177.5), 0);    // lower edge of bin 0 seen from above
    EXPECT_EQ(torsionBin(177.49), 71);
    EXPECT_EQ(torsionBin(-177.51), 0);
    EXPECT_EQ(torsionBin(-177.5), 1);
    EXPECT_EQ(torsionBin(0.0), 36);
    EXPECT_EQ(torsionBin(2.49), 36);
    EXPECT_EQ(torsionBin(540.0), 0);    // more than one turn still wraps
    for (int k = 0; k < TBINS; ++k) EXPECT_EQ(torsionBin(-180.0 + 5.0 * k), k) << "centre of bin " << k;
}

TEST(ParamsAAngles, WrapAndDifferenceHonourThePeriod) {
    EXPECT_NEAR(wrapAngle(190.0, 360.0), -170.0, 1e-12);
    EXPECT_NEAR(wrapAngle(-190.0, 360.0), 170.0, 1e-12);
    EXPECT_NEAR(wrapAngle(100.0, 180.0), -80.0, 1e-12);
    EXPECT_NEAR(angDiff(170.0, -170.0, 360.0), 20.0, 1e-12);
    // Two-fold symmetric chi: 85 and -85 differ by 10 degrees, not 170.
    EXPECT_NEAR(angDiff(85.0, -85.0, 180.0), 10.0, 1e-12);
    EXPECT_NEAR(angDiff(85.0, -85.0, 360.0), 170.0, 1e-12);
}

TEST(ParamsAQuantile, WeightedQuantileFollowsWeights) {
    std::vector<std::pair<float, float>> v = {{3.0f, 1.0f}, {1.0f, 1.0f}, {2.0f, 8.0f}};
    EXPECT_FLOAT_EQ(weightedQuantile(v, 0.05), 1.0f);
    EXPECT_FLOAT_EQ(weightedQuantile(v, 0.5), 2.0f);
    EXPECT_FLOAT_EQ(weightedQuantile(v, 0.95), 3.0f);
    EXPECT_FLOAT_EQ(weightedQuantile(v, 1.0), 3.0f);
}

TEST(ParamsASmoothing, VonMisesKeepsMassAndWrapsAround) {
    std::vector<double> in(TBINS * TBINS, 0.0), out(TBINS * TBINS);
    in[0] = 1.0;  // phi bin 0, psi bin 0 (both -180)
    vonMisesSmooth(in.data(), out.data(), 10.0);
    EXPECT_NEAR(std::accumulate(out.begin(), out.end(), 0.0), 1.0, 1e-12);
    // Symmetric across the +-180 seam in both directions.
    EXPECT_NEAR(out[0 * TBINS + 1], out[0 * TBINS + 71], 1e-15);
    EXPECT_NEAR(out[1 * TBINS + 0], out[71 * TBINS + 0], 1e-15);
    EXPECT_GT(out[71 * TBINS + 71], 0.0);
    EXPECT_GT(out[0], out[1]);
    // A wider kernel spreads further.
    std::vector<double> wide(TBINS * TBINS);
    vonMisesSmooth(in.data(), wide.data(), 20.0);
    EXPECT_LT(wide[0], out[0]);
    EXPECT_GT(wide[6], out[6]);
}

TEST(ParamsASmoothing, GaussBlurStaysLocal) {
    double in[256] = {}, out[256];
    in[5 * 16 + 5] = 1.0;
    gaussBlur16(in, out, 0.75, 2);
    double sum = 0;
    for (double v : out) sum += v;
    EXPECT_NEAR(sum, 1.0, 1e-12);  // nothing reaches an edge here
    EXPECT_GT(out[5 * 16 + 7], 0.0);
    EXPECT_EQ(out[5 * 16 + 8], 0.0);  // truncated at two cells
    EXPECT_NEAR(out[4 * 16 + 5], out[6 * 16 + 5], 1e-15);
}

TEST(ParamsAFormat, ProbabilitiesAndFixedNumbers) {
    EXPECT_EQ(fmtProb(0.0), "0");
    EXPECT_EQ(fmtProb(1.5e-5), "1.5000e-05");
    EXPECT_EQ(fmtFixed(-0.0004, 3), "0.000");
    EXPECT_EQ(fmtFixed(3.14159, 3), "3.142");
}

TEST(ParamsAOptions, CommonOptionsParsed) {
    ParamsOptions o = parseParamsOptions({"--train", "t", "--out", "o", "--exclude", "x.txt", "--threads", "3", "--no-dssp"}, "test");
    EXPECT_EQ(o.train, "t");
    EXPECT_EQ(o.out, "o");
    EXPECT_EQ(o.exclude, "x.txt");
    EXPECT_EQ(o.threads, 3);
    EXPECT_FALSE(o.dssp);
    ParamsOptions d = parseParamsOptions({}, "test");
    EXPECT_EQ(d.train, "../shared/structures/train");
    EXPECT_EQ(d.out, "data");
    EXPECT_EQ(d.threads, 2);
}

TEST(ParamsAOptionsDeath, BadOptionsStop) {
    EXPECT_ERROR(parseParamsOptions({"--bogus"}, "test"), 2, "unknown option");
    EXPECT_ERROR(parseParamsOptions({"--threads", "zero"}, "test"), 2, "bad thread count");
    EXPECT_ERROR(parseParamsOptions({"--train"}, "test"), 2, "needs a value");
}
