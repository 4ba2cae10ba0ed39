// The parallel scoring body on a hand-made population: one seed at the first
// growth step with a few children. The geometry is irrelevant here (no clash
// list is set up); what is checked is the bookkeeping of the score tables.
#include <gtest/gtest.h>

#include <cmath>

#include "filter/filter.h"
#include "growth/grow_one.h"
#include "growth/seed_buffers.h"
#include "potentials/energy.h"
#include "potentials/pf.h"

using namespace lorvane;

namespace {

class FilterBody : public ::testing::Test {
protected:
    SMC smc{1};
    std::vector<float> E[7];
    std::vector<double> dev;
    std::vector<std::array<int, 3>> closeRot;
    int saveRot = 0;

    void SetUp() override {
        MAXLOOP = 2;
        allocateSeedBuffers(MAXLOOP, 3);
        SMC::curLoops = 1;
        PF::numMP = 1;
        G.resize(1);
        Structure s(9);
        for (int r = 1; r <= 9; ++r) {
            s[r].type = ALA;
            for (int k = 0; k < 6; ++k) {
                s[r].atoms[k].type = 1;
                s[r].atoms[k].x = 3.8f * r + 0.3f * k;
                s[r].atoms[k].y = 0.7f * k;
            }
        }
        smc.loopStart = 3;
        smc.loopEnd = 8;
        smc.growMode = 1;
        smc.native = s;
        growOrder[0] = 3;
        growDir[0] = false;
        G[0].structure = s;
        vdw_bbsc_prep(s, 0, 3, 8, growOrder, growDir, -1);
        vdw_scsc_prep(s, 0, 3, 8, growOrder, growDir);
        saveRot = PF::numsimplRot[SER];
        PF::numsimplRot[SER] = 3;
        for (auto& col : E) col.assign(static_cast<size_t>(MAXLOOP) * CHILDREN, 12345.0f);
        dev.assign(static_cast<size_t>(MAXLOOP) * CHILDREN, 12345.0);
        for (int k = 0; k < CHILDREN; ++k) childRecord(0, k)[5] = 12345.0f;  // empty slots
    }
    void TearDown() override { PF::numsimplRot[SER] = saveRot; }

    void setGrown(int type) { G[0].structure[3].type = static_cast<int16_t>(type); }
    void child(int k, float phi, float rotamersBelow200, std::initializer_list<float> rotE) {
        float* R = childRecord(0, k);
        R[0] = phi;
        R[1] = -0.7f;
        R[2] = 3.14159f;
        R[4] = 111.2f;
        R[5] = 0.0f;
        R[6] = 1.5f;
        R[7] = rotamersBelow200;
        R[8] = 0.25f;
        R[9] = -3.0f;
        R[10] = 1.0f;
        int r = 0;
        for (float e : rotE) childRotE(0, k)[r++] = e;
    }
    void run(FilterShared& sh) {
        sh.smc = &smc;
        sh.pos = 3;
        sh.step = 0;
        sh.c = -1;
        sh.parity = 0;
        sh.finalStep = false;
        sh.E = E;
        sh.dev = &dev;
        sh.closeRot = &closeRot;
        runFilterBody(sh);
    }
};

}  // namespace

TEST_F(FilterBody, ChildWithoutCombinationGetsSentinelScoreAndZeroWeight) {
    setGrown(SER);
    child(0, -1.2f, 0.0f, {300.0f, 250.0f, 12345.0f});  // every rotamer above the cut-off: M = 0
    child(1, -1.2f, 2.0f, {10.0f, 300.0f, 300.0f});     // one usable rotamer
    FilterShared sh;
    run(sh);
    EXPECT_EQ(E[6][0], 12345.0f);
    EXPECT_EQ(E[0][0], 12345.0f);
    EXPECT_TRUE(std::isfinite(E[4][0]));
    EXPECT_EQ(E[4][0], 0.0f);
    EXPECT_EQ(childRecord(0, 0)[5], 0.0f);
    EXPECT_EQ(enSelection[0], 12345.0);
    // Its unused states reject in the next step.
    for (int t = 0; t < SC_STATES; ++t) EXPECT_EQ(childStateE(0, 0)[t], 12345.0f);

    // One combination (state 0, rotamer 0) of energy 10: weight R[7] * 1 * u / M = 2.
    EXPECT_FLOAT_EQ(E[6][1], 10.0f);
    EXPECT_FLOAT_EQ(E[0][1], 0.0f);
    EXPECT_FLOAT_EQ(E[4][1], 2.0f);
    EXPECT_FLOAT_EQ(E[1][1], 1.5f);
    EXPECT_FLOAT_EQ(E[5][1], -3.0f);
    EXPECT_EQ(childStates(0, 1)[0], 0);
    EXPECT_EQ(childStates(0, 1)[1], 0);
    EXPECT_FLOAT_EQ(childStateE(0, 1)[0], 10.0f);
    EXPECT_EQ(childStateE(0, 1)[1], 12345.0f);
    // Empty slots stay unscored.
    EXPECT_EQ(E[2][2], 12345.0f);
    EXPECT_EQ(dev[2], 12345.0);
}

TEST_F(FilterBody, GlycineChildCarriesTheInheritedWeight) {
    setGrown(GLY);
    child(0, -1.2f, 0.0f, {});
    FilterShared sh;
    run(sh);
    EXPECT_FLOAT_EQ(E[4][0], 1.0f);  // step 0 inherits weight 1
    EXPECT_FLOAT_EQ(E[6][0], 0.0f);  // one combination: the backbone clash term only, 0 here
    EXPECT_EQ(childStates(0, 0)[1], 12345);
    EXPECT_EQ(sh.e2.load(), 1);
    EXPECT_EQ(sh.e3.load(), 0);
}

TEST_F(FilterBody, ClashCacheNeverAnswersForPairsNotEvaluatedForThisSeed) {
    setGrown(SER);
    // Same dihedral bin, different rotamers: the second child's (bin, state, rotamer 1)
    // was never evaluated, so it is evaluated afresh.
    child(0, -1.2f, 1.0f, {10.0f, 300.0f, 300.0f});
    child(1, -1.2f, 1.0f, {300.0f, 20.0f, 300.0f});
    child(2, -1.2f, 2.0f, {15.0f, 25.0f, 300.0f});  // both now cached
    FilterShared sh;
    run(sh);
    EXPECT_EQ(sh.e3.load(), 2);
    EXPECT_FLOAT_EQ(E[6][2], 15.0f);
    // A later pass (next step, same seed slot) does not reuse the earlier values.
    FilterShared again;
    run(again);
    EXPECT_EQ(again.e3.load(), 2);
}
