// Growth plan: order, direction and far position of every step, and the
// closure tripeptide, for the three growth modes and every loop length.
#include <gtest/gtest.h>

#include <unistd.h>

#include <set>

#include "support/expect_error.h"
#include "growth/smc.h"
#include "model/structure.h"

using namespace lorvane;

namespace {

struct Plan {
    int order[MAX_PLAN];
    bool dir[MAX_PLAN];
    int rpos[MAX_PLAN];
    int c;
};

Plan plan(int mode, int ls, int le) {
    Plan p{};
    p.c = makeGrowthPlan(mode, ls, le, p.order, p.dir, p.rpos);
    return p;
}

}  // namespace

TEST(GrowthPlan, FourResiduesIsOneClosureStep) {
    for (int mode : {0, 1, 2}) {
        Plan p = plan(mode, 20, 23);
        EXPECT_EQ(p.c, mode == 2 ? 20 : 21) << "mode " << mode;
        // The single growth step has gap 3: it is the closure step.
        EXPECT_EQ(std::abs(p.rpos[0] - p.order[0]), 3);
        EXPECT_EQ(p.order[1], p.c);
        EXPECT_EQ(p.order[2], p.c + 1);
        EXPECT_EQ(p.order[3], p.c + 2);
    }
    Plan alt = plan(1, 20, 23);
    EXPECT_EQ(alt.order[0], 20);
    EXPECT_FALSE(alt.dir[0]);
    EXPECT_EQ(alt.rpos[0], 23);
}

TEST(GrowthPlan, EightResiduesAlternating) {
    const int ls = 45, le = 52;  // n = 7
    Plan p = plan(1, ls, le);
    const int order[5] = {ls, le, ls + 1, le - 1, ls + 2};
    const bool dir[5] = {false, true, false, true, false};
    const int rpos[5] = {le, ls + 1, le - 1, ls + 2, le - 2};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(p.order[i], order[i]) << "slot " << i;
        EXPECT_EQ(p.dir[i], dir[i]) << "slot " << i;
        EXPECT_EQ(p.rpos[i], rpos[i]) << "slot " << i;
    }
    EXPECT_EQ(p.c, ls + 3);
    EXPECT_EQ(p.order[5], ls + 3);
    EXPECT_EQ(p.order[6], ls + 4);
    EXPECT_EQ(p.order[7], ls + 5);
}

TEST(GrowthPlan, ForwardAndBackwardClosureEnds) {
    Plan f = plan(0, 10, 20);
    EXPECT_EQ(f.c, 18);
    for (int i = 0; i <= 7; ++i) EXPECT_EQ(f.order[i], 10 + i);
    Plan b = plan(2, 10, 20);
    EXPECT_EQ(b.c, 10);
    for (int i = 0; i <= 7; ++i) {
        EXPECT_EQ(b.order[i], 20 - i);
        EXPECT_TRUE(b.dir[i]);
        EXPECT_EQ(b.rpos[i], 10);
    }
}

// Every length 4..22 in every mode: each loop residue is grown once or closed,
// the gap of step i is n - i, each step extends a placed end, and the closure
// anchors (c - 1 and c + 3) are placed before the closure step.
TEST(GrowthPlan, InvariantsForAllLengthsAndModes) {
    const int ls = 30;
    for (int mode : {0, 1, 2}) {
        for (int n = 3; n <= 21; ++n) {
            const int le = ls + n;
            Plan p = plan(mode, ls, le);
            SCOPED_TRACE("mode " + std::to_string(mode) + " n " + std::to_string(n));
            std::set<int> placed;  // residues whose N, CA, C are all placed
            // Fixed frame: ls - 1 and le + 1; the anchors ls (N, CA) and le (CA, C) are partly fixed.
            std::set<int> grown;
            for (int i = 0; i <= n - 3; ++i) {
                EXPECT_EQ(std::abs(p.rpos[i] - p.order[i]), n - i) << "slot " << i;
                const int r = p.order[i];
                EXPECT_GE(r, ls);
                EXPECT_LE(r, le);
                EXPECT_TRUE(grown.insert(r).second) << "residue " << r << " grown twice";
                // Forward growth of r needs r - 1 done (or the start anchor); backward needs r + 1.
                if (!p.dir[i])
                    EXPECT_TRUE(r == ls || grown.count(r - 1)) << "slot " << i;
                else
                    EXPECT_TRUE(r == le || grown.count(r + 1)) << "slot " << i;
                // The far position is the other open end.
                if (!p.dir[i])
                    EXPECT_TRUE(p.rpos[i] == le || grown.count(p.rpos[i] + 1)) << "slot " << i;
                else
                    EXPECT_TRUE(p.rpos[i] == ls || grown.count(p.rpos[i] - 1)) << "slot " << i;
            }
            makeGrowthPlan(mode, ls, le, growOrder, growDir, growrPos);
            EXPECT_EQ(closureStart(mode, ls, le), p.c);  // closureStart reads the global plan
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(p.order[n - 2 + k], p.c + k);
                EXPECT_EQ(grown.count(p.c + k), 0u) << "closure residue " << p.c + k << " also grown";
            }
            EXPECT_EQ(static_cast<int>(grown.size()) + 3, n + 1);
            EXPECT_TRUE(p.c - 1 < ls || grown.count(p.c - 1));
            EXPECT_TRUE(p.c + 3 > le || grown.count(p.c + 3));
            // The last growth step touches the closure tripeptide.
            const int last = p.order[n - 3];
            EXPECT_TRUE(last == p.c - 1 || last == p.c + 3);
        }
    }
}

TEST(GrowthPlan, TenResiduesAlternatingClosesAfterLastForwardResidue) {
    // n = 9: grown 5, 14, 6, 13, 7, 12, 8; closure 9, 10, 11 between 8 and 12.
    makeGrowthPlan(1, 5, 14, growOrder, growDir, growrPos);
    EXPECT_EQ(closureStart(1, 5, 14), 9);
    EXPECT_EQ(growOrder[6], 8);
    EXPECT_FALSE(growDir[6]);
    EXPECT_EQ(growrPos[6], 11);
}

TEST(GrowthPlan, LoopBoundsAreChecked) {
    Structure s(40);
    // Three residues (n = 2) leave nothing to grow.
    EXPECT_ERROR(checkLoopBounds(s, 10, 12), 1, "at least 4");
    // 23 residues (n = 22) exceed the plan and the distance tables.
    EXPECT_ERROR(checkLoopBounds(s, 5, 27), 1, "at most 22");
    // A loop must have a fixed residue on both sides.
    EXPECT_ERROR(checkLoopBounds(s, 1, 8), 1, "fixed residue");
    EXPECT_ERROR(checkLoopBounds(s, 33, 40), 1, "fixed residue");
    EXPECT_ERROR(checkLoopBounds(s, 12, 10), 1, "at least 4");
}

TEST(GrowthPlan, LoopBoundsAcceptTheLimits) {
    Structure s(40);
    checkLoopBounds(s, 10, 13);  // 4 residues
    checkLoopBounds(s, 2, 23);   // 22 residues
    SUCCEED();
}
