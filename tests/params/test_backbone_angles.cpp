// Backbone angle statistics (lorvane-params backbone-angles) on synthetic
// chains: which residues count, where their N-CA-C angles land, the omega
// moments and cis fraction, and the written table read back by the
// sampler's loader.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "distributions/backbone_angles.h"
#include "params/backbone_angles.h"
#include "params_support.h"

using namespace params_test;

namespace {

// One chain of all 20 types in type order, coil, N-CA-C 111.2 (buildChain).
TrainChain allTypes(double weight, char ss = 'C') {
    std::vector<ResidueRecipe> recipe(20);
    for (int t = 0; t < 20; ++t) {
        recipe[t].type = t;
        recipe[t].phi = -70;
        recipe[t].psi = 140;
        recipe[t].ss = ss;
    }
    TrainChain c;
    c.pdbId = "t1";
    c.chain = 'A';
    c.weight = weight;
    c.residues = buildChain(recipe, 'A', 1);
    return c;
}

}  // namespace

TEST(BackboneAngleStatistics, CoilResiduesOnlyWeightedAndBinned) {
    TrainingSet ts;
    ts.chains.push_back(allTypes(0.5));
    ts.chains.push_back(allTypes(1.0, 'H'));  // helix residues never count
    TrainChain hot = allTypes(1.0);
    for (TrainResidue& r : hot.residues) r.bfactor[1] = 99.0f;  // above the B-factor limit
    ts.chains.push_back(hot);
    const BackboneAngleCounts c = collectBackboneAngles(ts, 80.0);
    EXPECT_EQ(c.used, 20);
    EXPECT_EQ(c.outside, 0);
    const int bin = static_cast<int>((111.2 - NCAC_LO) / NCAC_WIDTH);  // 22
    for (int t = 0; t < 20; ++t) {
        SCOPED_TRACE(t);
        EXPECT_NEAR(c.ncac[t].w, 0.5, 1e-12);
        EXPECT_NEAR(c.ncac[t].mean(), 111.2, 0.01);
        EXPECT_NEAR(c.ncac[t].sd(), 0.0, 0.01);
        EXPECT_NEAR(c.hist[t * NCAC_BINS + bin], 0.5, 1e-12);
    }
    // Omega of the 19 bonds, tabled by the residue after the bond; buildChain makes them trans.
    EXPECT_EQ(c.trans, 19);
    EXPECT_EQ(c.cis, 0);
    EXPECT_EQ(c.omega[0].w, 0.0);  // nothing precedes the first residue
    for (int t = 1; t < 20; ++t) EXPECT_NEAR(std::remainder(c.omega[t].mean() - 180.0, 360.0), 0.0, 0.05) << t;
}

TEST(BackboneAngleStatistics, CisBondsAndTheWrittenTableLoads) {
    TrainingSet ts;
    ts.chains.push_back(allTypes(1.0));
    // A second chain GLY ALA ASP GLU whose bond ASP -> GLU is cis: GLU gets
    // one trans bond (first chain) and one cis bond before it.
    std::vector<ResidueRecipe> recipe(4);
    const int types[4] = {GLY, ALA, ASP, GLU};
    for (int i = 0; i < 4; ++i) {
        recipe[i].type = types[i];
        recipe[i].phi = -70;
        recipe[i].psi = 140;
    }
    recipe[2].omega = 0.0;
    TrainChain c2;
    c2.pdbId = "t2";
    c2.weight = 1.0;
    c2.residues = buildChain(recipe, 'A', 1);
    ts.chains.push_back(c2);
    const BackboneAngleCounts c = collectBackboneAngles(ts, 80.0);
    EXPECT_EQ(c.cis, 1);
    EXPECT_NEAR(c.cisW[GLU] / c.allW[GLU], 0.5, 1e-12);

    const std::string path = ::testing::TempDir() + "lorvane_backbone_angles.txt";
    std::ofstream(path) << formatBackboneAngles(c);
    BackboneAngleTable table;
    loadBackboneAngles(path, table);
    ASSERT_TRUE(table.loaded);
    EXPECT_NEAR(table.cisFraction[GLU], 0.5, 1e-4);
    for (int t = 0; t < 20; ++t) {
        EXPECT_DOUBLE_EQ(table.ncacCdf[t].back(), 1.0);
        EXPECT_NEAR(ncacQuantile(table, t, 0.5), 111.25, 0.25) << t;
    }
    std::remove(path.c_str());
}
