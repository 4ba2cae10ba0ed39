// Which finished loops are written by backbone score: known answers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "filter/written_choice.h"

using namespace lorvane;

// Six loops. d1 has median 0.5 and MAD 2, the torsion score median 1.5 and
// MAD 2, so z' is -0.5, 0.5, 1.5, 2.5, -8.5, -7.5. Loops come back in rank
// order, not in z' order; a score that is not a number counts as the worst;
// equal z' keeps the earlier loop.
TEST(WrittenChoice, LowestBackboneScoreKnownAnswers) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> d1 = {0, 1, 2, 3, -10, -9}, torsion = {1, 2, 3, 4, -5, -4};
    struct Case {
        std::vector<double> d1, torsion;
        int count;
        std::vector<int> chosen;
    } cases[] = {
        {d1, torsion, 2, {4, 5}},
        {d1, torsion, 3, {0, 4, 5}},
        {d1, torsion, 6, {0, 1, 2, 3, 4, 5}},
        {d1, torsion, 9, {0, 1, 2, 3, 4, 5}},
        {{1, 1, 1, 0}, {0, 0, 0, 0}, 2, {0, 1}},
        // d1 [inf, 0, 1, 2]: median 1.5, MAD 1; torsion normalised -1, 1, -1, 1.
        {{nan, 0, 1, 2}, {0, 1, 0, 1}, 3, {1, 2, 3}},
        {{}, {}, 5, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(lowestBackboneScore(c.d1, c.torsion, c.count), c.chosen) << "count " << c.count;
}

TEST(WrittenChoice, ScoresOfUnequalLengthStop) {
    EXPECT_ANY_THROW(lowestBackboneScore({1, 2}, {1}, 1));
}
