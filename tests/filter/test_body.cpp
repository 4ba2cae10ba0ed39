// The parallel scoring body on a hand-made population: one seed at the first
// growth step with a few children. The geometry is irrelevant here (no clash
// list is set up); what is checked is the bookkeeping of the score tables.
#include <gtest/gtest.h>

#include <cmath>

#include "filter/filter.h"
#include "support/support.h"

using namespace lorvane;
using lorvane_test::tmpl;

namespace {

// A chain of nine alanines; the loop 3..8 grows 3 forward first. One seed of
// a population of two is live.
Structure alanines() {
    Structure s(9);
    for (int r = 1; r <= 9; ++r) {
        s[r].type = ALA;
        for (int k = 0; k < 6; ++k) {
            s[r].atoms[k].type = 1;
            s[r].atoms[k].x = 3.8f * r + 0.3f * k;
            s[r].atoms[k].y = 0.7f * k;
        }
    }
    return s;
}

class FilterBody : public ::testing::Test {
protected:
    Potentials pot;
    Distributions dist;
    Sampler smc{SamplerTables{tmpl(), dist, pot}, SamplerSettings{}, alanines(), 3, 8, "test"};
    FilterState fs;
    SeedBuffers& B = smc.seeds;
    FilterPass pass;
    std::vector<float> (&E)[7] = pass.E;
    std::vector<double>& dev = pass.dev;

    void SetUp() override {
        B.allocate(2, 3);
        smc.liveSeeds = 1;
        smc.plan.order[0] = 3;
        smc.plan.backward[0] = false;
        fs.work.resize(1);
        fs.work[0].structure = smc.work;
        vdw_bbsc_prep(fs.clash, tmpl(), smc.atoms, smc.work, 0, smc.plan.order, smc.plan.backward, -1);
        vdw_scsc_prep(fs.clash, tmpl(), smc.atoms, smc.work, 0, smc.plan.order);
        pot.rotamers.count[SER] = 3;
        for (auto& col : E) col.assign(static_cast<size_t>(B.capacity) * CHILDREN, REJECTED);
        dev.assign(static_cast<size_t>(B.capacity) * CHILDREN, REJECTED);
        for (int k = 0; k < CHILDREN; ++k) B.childRecord(0, k)[5] = REJECTED;  // empty slots
    }

    void setGrown(int type) { fs.work[0].structure[3].type = static_cast<int16_t>(type); }
    void child(int k, float phi, float rotamersBelow200, std::initializer_list<float> rotE) {
        float* R = B.childRecord(0, k);
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
        for (float e : rotE) B.childRotE(0, k)[r++] = e;
    }
    void run(FilterShared& sh) {
        sh.run = &smc;
        sh.fs = &fs;
        pass.pos = 3;
        sh.pass = &pass;
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
    EXPECT_EQ(E[6][0], REJECTED);
    EXPECT_EQ(E[0][0], REJECTED);
    EXPECT_TRUE(std::isfinite(E[4][0]));
    EXPECT_EQ(E[4][0], 0.0f);
    EXPECT_EQ(B.childRecord(0, 0)[5], 0.0f);
    EXPECT_EQ(B.enSelection[0], REJECTED);
    // Its unused states reject in the next step.
    for (int t = 0; t < SC_STATES; ++t) EXPECT_EQ(B.childStateE(0, 0)[t], REJECTED);

    // One combination (state 0, rotamer 0) of energy 10: weight R[7] * 1 * u / M = 2.
    EXPECT_FLOAT_EQ(E[6][1], 10.0f);
    EXPECT_FLOAT_EQ(E[0][1], 0.0f);
    EXPECT_FLOAT_EQ(E[4][1], 2.0f);
    EXPECT_FLOAT_EQ(E[1][1], 1.5f);
    EXPECT_FLOAT_EQ(E[5][1], -3.0f);
    EXPECT_EQ(B.childStates(0, 1)[0], 0);
    EXPECT_EQ(B.childStates(0, 1)[1], 0);
    EXPECT_FLOAT_EQ(B.childStateE(0, 1)[0], 10.0f);
    EXPECT_EQ(B.childStateE(0, 1)[1], REJECTED);
    // Empty slots stay unscored.
    EXPECT_EQ(E[2][2], REJECTED);
    EXPECT_EQ(dev[2], REJECTED);
}

TEST_F(FilterBody, GlycineChildCarriesTheInheritedWeight) {
    setGrown(GLY);
    child(0, -1.2f, 0.0f, {});
    FilterShared sh;
    run(sh);
    EXPECT_FLOAT_EQ(E[4][0], 1.0f);  // step 0 inherits weight 1
    EXPECT_FLOAT_EQ(E[6][0], 0.0f);  // one combination: the backbone clash term only, 0 here
    EXPECT_EQ(B.childStates(0, 0)[1], NO_ROTAMER);
    EXPECT_EQ(sh.counts[FilterShared::BBSC_EVALS], 1);
    EXPECT_EQ(sh.counts[FilterShared::SCSC_EVALS], 0);
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
    EXPECT_EQ(sh.counts[FilterShared::SCSC_EVALS], 2);
    EXPECT_FLOAT_EQ(E[6][2], 15.0f);
    // A later pass (next step, same seed slot) does not reuse the earlier values.
    FilterShared again;
    run(again);
    EXPECT_EQ(again.counts[FilterShared::SCSC_EVALS], 2);
}
