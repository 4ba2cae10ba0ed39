// Neighbour-dependent torsion bins: counts by side and neighbour type, the
// shrinkage towards the residue's own table, the combination rule, and the
// file read back through the sampler's loader.
#include <numeric>

#include "distributions/distributions.h"
#include "model/table_text.h"
#include "params/chain_geometry.h"
#include "params/neighbour_torsion.h"
#include "params_support.h"

using namespace params_test;

namespace {

constexpr size_t T = NUM_BINS * NUM_BINS;

const double* sideTable(const std::vector<double>& v, int side, int type, int nb) {
    return v.data() + ((static_cast<size_t>(side) * 20 + type) * 20 + nb) * T;
}

// Chains of the repeat Gly-Ala-Pro (all coil): every Ala has Gly before it and
// Pro after it, at phi -62.4, psi -41.0 (bin 24, 28).
TrainingSet repeatSet(int chains) {
    TrainingSet ts;
    for (int c = 0; c < chains; ++c) {
        std::vector<ResidueRecipe> recipe;
        for (int k = 0; k < 5; ++k)
            for (int t : {GLY, ALA, PRO}) {
                ResidueRecipe r;
                r.type = t, r.phi = t == PRO ? -65.0 : -62.4, r.psi = t == GLY ? 150.0 : -41.0, r.ss = 'C';
                recipe.push_back(r);
            }
        ts.chains.push_back(chainOf(buildChain(recipe), "g" + std::to_string(c)));
    }
    return ts;
}

}  // namespace

TEST(ParamsNeighbourTorsion, CountsBySideAndNeighbourType) {
    const TrainingSet ts = repeatSet(2);
    NeighbourParams p;
    NeighbourCounts c;
    collectNeighbourPhipsi(ts, p, nullptr, c);
    // 15 residues per chain, the two ends without both dihedrals: 13 per chain.
    EXPECT_EQ(c.used, 26);
    // Five Ala per chain, all inside: left neighbour Gly, right neighbour Pro, one bin.
    EXPECT_DOUBLE_EQ(sideTable(c.hist, 0, ALA, GLY)[24 * NUM_BINS + 28], 10.0);
    EXPECT_DOUBLE_EQ(sideTable(c.hist, 1, ALA, PRO)[24 * NUM_BINS + 28], 10.0);
    const double* never = sideTable(c.hist, 0, ALA, PRO);
    EXPECT_DOUBLE_EQ(std::accumulate(never, never + T, 0.0), 0.0);
    // Each used residue counts once per side.
    EXPECT_DOUBLE_EQ(std::accumulate(c.hist.begin(), c.hist.end(), 0.0), 2.0 * c.used);
    // The chain mask of cross-validation leaves the other chain out.
    std::vector<char> only{1, 0};
    collectNeighbourPhipsi(ts, p, &only, c);
    EXPECT_EQ(c.used, 13);
}

TEST(ParamsNeighbourTorsion, ShrinkageAndCombination) {
    const TrainingSet ts = repeatSet(4);
    NeighbourParams p;
    PhipsiCounts c1;
    collectPhipsi(ts, p.base, nullptr, c1);
    std::vector<double> base, tables;
    buildPhipsi(c1, p.base, base);
    const double* ala = base.data() + (static_cast<size_t>(ALA) * 3 + 2) * T;
    NeighbourCounts c;
    collectNeighbourPhipsi(ts, p, nullptr, c);
    const double n = 20.0;  // Ala residues with Gly before them
    for (double shrink : {0.0, 20.0, 1e9}) {
        p.shrink = shrink;
        buildNeighbourPhipsi(c, p, base, tables);
        const double w = n / (n + shrink);
        const double* gly = sideTable(tables, 0, ALA, GLY);
        // A mixture of w of the pair's own estimate (mass w) and 1 - w of P(t).
        EXPECT_NEAR(std::accumulate(gly, gly + T, 0.0), 1.0, 1e-9) << shrink;
        double own = 0;
        for (size_t k = 0; k < T; ++k) {
            EXPECT_GE(gly[k], (1.0 - w) * ala[k] - 1e-15) << shrink;
            own += gly[k] - (1.0 - w) * ala[k];
        }
        EXPECT_NEAR(own, w, 1e-9) << shrink;
        // A pair never seen is P(t) itself.
        const double* unseen = sideTable(tables, 0, ALA, TRP);
        for (size_t k = 0; k < T; ++k) ASSERT_EQ(unseen[k], ala[k]);
    }
    // Both neighbours equal to P(t) give P(t) back.
    std::vector<double> out(T);
    combineNeighbours(base, tables, ALA, TRP, TRP, out.data());
    for (size_t k = 0; k < T; ++k) ASSERT_NEAR(out[k], ala[k], 1e-12);
    // Known answer on two bins: P(t) = (1/2, 1/2), both sides (0.8, 0.2):
    // 0.64 / 0.5 : 0.04 / 0.5, normalised 16/17 and 1/17.
    std::vector<double> b2(20 * 3 * T, 0.0), nb2(2 * 20 * 20 * T, 0.0);
    b2[(static_cast<size_t>(SER) * 3 + 2) * T + 0] = b2[(static_cast<size_t>(SER) * 3 + 2) * T + 1] = 0.5;
    for (int side = 0; side < 2; ++side) {
        double* t = nb2.data() + ((static_cast<size_t>(side) * 20 + SER) * 20 + LEU) * T;
        t[0] = 0.8, t[1] = 0.2;
    }
    combineNeighbours(b2, nb2, SER, LEU, LEU, out.data());
    EXPECT_NEAR(out[0], 16.0 / 17.0, 1e-12);
    EXPECT_NEAR(out[1], 1.0 / 17.0, 1e-12);
    EXPECT_EQ(out[2], 0.0);
}

TEST(ParamsNeighbourTorsion, FileReadsBackThroughTheSamplerLoader) {
    const TrainingSet ts = repeatSet(3);
    std::vector<double> base, tables;
    EXPECT_EQ(deriveNeighbourPhipsi(ts, NeighbourParams(), nullptr, base, tables), 39);
    const std::string text = formatNeighbourPhipsi(tables);
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 800 * 73);
    TableText in("phipsi.nb.txt", text);
    const NeighbourTorsionBins nb = parseNeighbourTorsionBins(in);
    ASSERT_EQ(nb.tables.size(), tables.size());
    for (size_t k = 0; k < tables.size(); ++k) ASSERT_NEAR(nb.tables[k], tables[k], tables[k] * 1e-4 + 1e-300) << k;
}
