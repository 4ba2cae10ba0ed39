// N-CA-C by backbone conformation (lorvane-params ncac-phipsi) on synthetic
// samples and chains: which residues count, the type means, the shrunk cell
// offsets, the held-out fold, and the written table read back by the
// sampler's loader.
#include <gtest/gtest.h>

#include <cmath>

#include "distributions/ncac_conformation.h"
#include "model/residue_names.h"
#include "model/table_text.h"
#include "params/ncac_conformation.h"
#include "params_support.h"

using namespace params_test;

namespace {

TrainChain chainOf(const std::vector<int>& types, double phi, double psi, const char* id) {
    std::vector<ResidueRecipe> recipe(types.size());
    for (size_t i = 0; i < types.size(); ++i) {
        recipe[i].type = types[i];
        recipe[i].phi = phi;
        recipe[i].psi = psi;
    }
    TrainChain c;
    c.pdbId = id;
    c.chain = 'A';
    c.residues = buildChain(recipe, 'A', 1);
    return c;
}

}  // namespace

TEST(NcacConformationFit, MeansAndShrunkOffsetsKnownAnswers) {
    std::vector<NcacSample> s;
    // Every type at 110 in cell (phi -65, psi -45) with weight 1; alanine and
    // glycine also at (phi -135, psi 135): alanine 114 (weight 3), glycine 108 (weight 1).
    for (int t = 0; t < 20; ++t) s.push_back({t, -65, -45, 110.0, 1.0, 0});
    s.push_back({ALA, -135, 135, 114.0, 3.0, 0});
    s.push_back({GLY, -135, 135, 108.0, 1.0, 1});
    const NcacConformationFit f = fitNcacConformation(s, 1.0);
    EXPECT_NEAR(f.mean[ALA], (110.0 + 3 * 114.0) / 4, 1e-12);  // 113
    EXPECT_NEAR(f.mean[GLY], 109.0, 1e-12);
    EXPECT_NEAR(f.mean[VAL], 110.0, 1e-12);
    // OTHER group, beta cell: alanine's residual 1 with weight 3, shrink 1 -> 3 / 4.
    EXPECT_NEAR(ncacFitted(f, ALA, -135, 135), 113.0 + 0.75, 1e-12);
    EXPECT_NEAR(ncacFitted(f, VAL, -135, 135), 110.0 + 0.75, 1e-12);
    // Glycine's own group: residual -1, weight 1 -> -1/2; proline's group is empty there.
    EXPECT_NEAR(ncacFitted(f, GLY, -135, 135), 109.0 - 0.5, 1e-12);
    EXPECT_NEAR(ncacFitted(f, PRO, -135, 135), 110.0, 1e-12);
    // Alpha cell of OTHER: 18 types of weight 1, alanine's residual -3, the rest 0.
    EXPECT_NEAR(ncacFitted(f, VAL, -65, -45), 110.0 - 3.0 / 19.0, 1e-12);
    // Leaving fold 1 out drops the glycine beta sample: mean 110, no offset.
    const NcacConformationFit g = fitNcacConformation(s, 1.0, 1);
    EXPECT_NEAR(g.mean[GLY], 110.0, 1e-12);
    EXPECT_NEAR(ncacFitted(g, GLY, -135, 135), 110.0, 1e-12);
    // A type with no sample stops the derivation.
    s.erase(s.begin() + TRP);
    EXPECT_ERROR(fitNcacConformation(s, 1.0), 1, "no residue of type TRP");
}

TEST(NcacConformationFit, CollectsDefinedTransLowBResiduesAndReadsBack) {
    TrainingSet ts;
    std::vector<int> all(20);
    for (int t = 0; t < 20; ++t) all[t] = t;
    ts.chains.push_back(chainOf(all, -65, -40, "e1"));
    ts.chains.push_back(chainOf(all, -120, 130, "e2"));
    TrainChain hot = chainOf(all, -65, -40, "e3");
    for (TrainResidue& r : hot.residues) r.bfactor[0] = 99.0f;  // above the limit: left out
    ts.chains.push_back(hot);
    const std::vector<NcacSample> s = collectNcacSamples(ts, 80.0);
    // The chain ends lack phi or psi: 18 per chain, two chains.
    ASSERT_EQ(s.size(), 36u);
    for (const NcacSample& x : s) {
        EXPECT_NEAR(x.tau, 111.2, 0.01);  // buildChain's angle
        EXPECT_TRUE(std::fabs(x.phi + 65) < 0.1 || std::fabs(x.phi + 120) < 0.1) << x.phi;
    }
    EXPECT_EQ(s.front().fold, 0);
    EXPECT_EQ(s.back().fold, 1);
    // The written file through the program's loader: at a cell centre the
    // loader's angle is the fit's.
    std::vector<NcacSample> every = s;
    every.push_back({ALA, -115, 125, 113.0, 1.0, 0});
    every.push_back({TYR, 5, 5, 111.0, 1.0, 0});
    every.push_back({GLY, 5, 5, 111.0, 1.0, 0});
    const NcacConformationFit f = fitNcacConformation(every, 5.0);
    TableText in("ncac_phipsi.txt", formatNcacConformation(f, NCAC_CELL));
    lorvane::NcacConformationTable t;
    lorvane::parseNcacConformation(in, t);
    for (int type : {ALA, GLY, PRO, TYR})
        for (double phi : {-115.0, -65.0, 5.0})
            for (double psi : {-45.0, 5.0, 125.0}) EXPECT_NEAR(lorvane::ncacAt(t, type, phi, psi), ncacFitted(f, type, phi, psi), 1e-3);
}
