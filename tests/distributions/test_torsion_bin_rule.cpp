// The two torsion-bin rules: the classic floor((angle + 180) / 5) and bins
// centred on -180 + 5k, the way the tables are derived and the growth step
// builds its angles.
#include <gtest/gtest.h>

#include <cmath>

#include "distributions/torsion_bin_rule.h"

using namespace lorvane;

TEST(TorsionBinRule, FloorAndCentredBinsOfKnownAngles) {
    struct Case {
        double deg;
        int floorBin, centredBin;
    };
    const Case cases[] = {
        {-180.0, 0, 0}, {-177.6, 0, 0}, {-177.4, 0, 1}, {-175.0, 1, 1}, {-62.4, 23, 24}, {-60.0, 24, 24}, {-57.6, 24, 24},
        {-57.4, 24, 25}, {0.0, 36, 36},   {2.4, 36, 36},   {2.6, 36, 37},  {177.4, 71, 71}, {177.5, 71, 0},  {179.99, 71, 0},
        {180.0, 0, 0},  {-182.4, 71, 0}, {540.0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(torsionBinOf(c.deg, TorsionBinRule::Floor), c.floorBin) << c.deg;
        EXPECT_EQ(torsionBinOf(c.deg, TorsionBinRule::Centred), c.centredBin) << c.deg;
    }
}

TEST(TorsionBinRule, EveryBinCentreIsItsOwnBinUnderTheCentredRule) {
    for (int k = 0; k < 72; ++k) {
        const double centre = -180.0 + 5.0 * k;
        EXPECT_EQ(torsionBinOf(centre, TorsionBinRule::Centred), k);
        EXPECT_EQ(torsionBinOf(centre + 2.49, TorsionBinRule::Centred), k);
        EXPECT_EQ(torsionBinOf(centre - 2.49, TorsionBinRule::Centred), k);
        // The classic rule puts the lower half of each bin into the bin before.
        EXPECT_EQ(torsionBinOf(centre - 2.49, TorsionBinRule::Floor), (k + 71) % 72);
    }
}

TEST(TorsionBinRule, NonFiniteAnglesHaveNoBin) {
    EXPECT_EQ(torsionBinOf(std::nan(""), TorsionBinRule::Centred), -1);
    EXPECT_EQ(torsionBinOf(INFINITY, TorsionBinRule::Floor), -1);
}
