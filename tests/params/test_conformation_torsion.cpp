// Conformation-dependent torsion bins: counts by side and neighbour key (the
// program's key of the neighbour's own angles), and the file read back
// through the sampler's loader.
#include <numeric>

#include "distributions/distributions.h"
#include "model/table_text.h"
#include "params/chain_geometry.h"
#include "params/conformation_torsion.h"
#include "params_support.h"

using namespace params_test;

namespace {

constexpr size_t T = NUM_BINS * NUM_BINS;

// Chains of the repeat Gly-Ala-Ser (all coil): Gly at (80, 10), alpha-L;
// Ala at (-62.4, -41.0), bin (24, 28); Ser at (-120, 130), beta.
TrainingSet repeatSet(int chains) {
    TrainingSet ts;
    for (int c = 0; c < chains; ++c) {
        std::vector<ResidueRecipe> recipe;
        for (int k = 0; k < 5; ++k)
            for (int t : {GLY, ALA, SER}) {
                ResidueRecipe r;
                r.type = t, r.ss = 'C';
                r.phi = t == GLY ? 80.0 : t == ALA ? -62.4 : -120.0;
                r.psi = t == GLY ? 10.0 : t == ALA ? -41.0 : 130.0;
                recipe.push_back(r);
            }
        ts.chains.push_back(chainOf(buildChain(recipe), "g" + std::to_string(c)));
    }
    return ts;
}

}  // namespace

TEST(ParamsConformationTorsion, CountsBySideAndNeighbourKey) {
    const TrainingSet ts = repeatSet(2);
    NeighbourParams p;
    ConformationCounts c;
    collectConformationPhipsi(ts, p, nullptr, c);
    EXPECT_EQ(c.used, 26);  // 15 residues per chain, the two ends without both dihedrals
    const int gly = conformationKey(80.0, 10.0), ser = conformationKey(-120.0, 130.0);
    ASSERT_EQ(gly, 2 * 4 + 2);
    ASSERT_EQ(ser, 0 * 4 + 3);
    // Five Ala per chain, Gly (alpha-L) before, Ser (beta) after, one bin; the
    // first Ala's Gly starts the chain (no phi) and the last Ala's Ser ends it.
    EXPECT_DOUBLE_EQ(c.hist[conformationTableOffset(0, ALA, gly) + 24 * NUM_BINS + 28], 8.0);
    EXPECT_DOUBLE_EQ(c.hist[conformationTableOffset(1, ALA, ser) + 24 * NUM_BINS + 28], 8.0);
    const double* never = c.hist.data() + conformationTableOffset(0, ALA, ser);
    EXPECT_DOUBLE_EQ(std::accumulate(never, never + T, 0.0), 0.0);
    // A neighbour at a chain end has no phi or psi: its side is not counted.
    // Per chain, 13 used residues count twice except the second (its previous
    // residue is the first) and the last but one.
    EXPECT_DOUBLE_EQ(std::accumulate(c.hist.begin(), c.hist.end(), 0.0), 2.0 * (2 * 13 - 2));
    std::vector<char> only{0, 1};
    collectConformationPhipsi(ts, p, &only, c);
    EXPECT_EQ(c.used, 13);
}

TEST(ParamsConformationTorsion, FileReadsBackThroughTheSamplerLoader) {
    const TrainingSet ts = repeatSet(3);
    NeighbourParams p;
    std::vector<double> base, tables;
    EXPECT_EQ(deriveConformationPhipsi(ts, p, nullptr, base, tables), 39);
    // Every table is a distribution; a key never seen is P(t) itself.
    for (size_t at = 0; at < tables.size(); at += T) ASSERT_NEAR(std::accumulate(tables.begin() + at, tables.begin() + at + T, 0.0), 1.0, 1e-9);
    const double* ala = coilTable(base, ALA);
    const double* unseen = tables.data() + conformationTableOffset(1, ALA, 5);
    for (size_t k = 0; k < T; ++k) ASSERT_EQ(unseen[k], ala[k]);
    const std::string text = formatConformationPhipsi(tables);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 * 20 * CONFORMATION_KEYS * 73);
    TableText in("phipsi.nc.txt", text);
    const std::vector<double> read = parseConformationTorsionBins(in);
    ASSERT_EQ(read.size(), tables.size());
    for (size_t k = 0; k < tables.size(); ++k) ASSERT_NEAR(read[k], tables[k], tables[k] * 1e-4 + 1e-300) << k;
}
