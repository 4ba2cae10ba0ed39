// The neighbour-dependent torsion bins in the program: the loader's blocks and
// errors, and which loop residues get a table from their neighbours.
#include <gtest/gtest.h>

#include <string>

#include "distributions/distributions.h"
#include "model/structure.h"
#include "model/table_text.h"
#include "support/support.h"

using namespace lorvane;

namespace {

constexpr size_t T = NUM_BINS * NUM_BINS;

using lorvane_test::zeroTorsionBlock;

NeighbourTorsionBins parse(const std::string& text) {
    TableText in("nb.txt", text);
    return parseNeighbourTorsionBins(in);
}

// Every side and neighbour table equal to the residue's own coil table.
NeighbourTorsionBins flat(const Distributions& d) {
    NeighbourTorsionBins nb;
    nb.tables.resize(2 * NUM_AMINO_ACIDS * NUM_AMINO_ACIDS * T);
    for (int side = 0; side < 2; ++side)
        for (int t = 0; t < NUM_AMINO_ACIDS; ++t)
            for (int n = 0; n < NUM_AMINO_ACIDS; ++n)
                std::copy(&d.torsionBins[t][SS_COIL][0][0], &d.torsionBins[t][SS_COIL][0][0] + T,
                          nb.tables.data() + ((static_cast<size_t>(side) * NUM_AMINO_ACIDS + t) * NUM_AMINO_ACIDS + n) * T);
    return nb;
}

}  // namespace

TEST(NeighbourTorsion, LoaderErrorsNameFileAndLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {zeroTorsionBlock("ALA PRO 0"), "line 1: neighbour side \"0\" is not -1 or \\+1"},
        {zeroTorsionBlock("ALA XYZ -1"), "line 1: unknown residue name \"XYZ\""},
        {zeroTorsionBlock("ALA PRO"), "line 1: header has 2 fields, 3 expected"},
        {zeroTorsionBlock("ALA PRO -1") + zeroTorsionBlock("ALA PRO -1"), "line 74: second block for ALA next to PRO -1 \\(the first is at line 1\\)"},
        {zeroTorsionBlock("ALA PRO -1") + zeroTorsionBlock("ALA PRO +1"), "no block for every residue type"},
    };
    for (const auto& [text, message] : cases) EXPECT_ERROR(parse(text), 1, "^nb.txt.*" + message);
    lorvane_test::ScratchDir dir;
    EXPECT_ERROR(loadNeighbourTorsionBins(dir.path("no_such_nb.txt")), 1, "cannot open neighbour torsion-bin file .*no_such_nb.txt");
}

TEST(NeighbourTorsion, LoopResiduesTakeTablesFromTheirNeighbours) {
    Distributions d;
    const Distributions& repo = lorvane_test::repoDistributions();
    std::copy(&repo.torsionBins[0][0][0][0], &repo.torsionBins[0][0][0][0] + NUM_AMINO_ACIDS * SS_CLASSES * T, &d.torsionBins[0][0][0][0]);
    Structure s = lorvane_test::ras();
    const int start = 10, end = 15;
    NeighbourTorsionBins nb = flat(d);
    // Residue 12's right neighbour table: all mass in bin (20, 30), P(t) kept elsewhere at zero.
    const int t12 = s[12].type, t13 = s[13].type;
    double* right = nb.tables.data() + ((static_cast<size_t>(1) * NUM_AMINO_ACIDS + t12) * NUM_AMINO_ACIDS + t13) * T;
    std::fill(right, right + T, 0.0);
    right[20 * NUM_BINS + 30] = 1.0;
    s.gapAfter[14] = true;  // residues 14 and 15 lose a bonded neighbour
    useNeighbourTorsion(d, nb, s, start, end);
    for (int i : {10, 11, 13}) {
        ASSERT_GE(d.residueTable[i], 0) << i;
        // Flat neighbour tables give P(t) back (renormalised: the file's rounding).
        for (int a = 0; a < NUM_BINS; a += 7)
            for (int b = 0; b < NUM_BINS; b += 5) {
                const double want = torsionBinProb(d, s[i].type, a, b);
                EXPECT_NEAR(torsionScoreProb(d, i, s[i].type, a, b), want, want * 1e-5 + 1e-300) << i;
            }
    }
    EXPECT_EQ(d.residueTable[14], -1);
    EXPECT_EQ(d.residueTable[15], -1);
    EXPECT_EQ(d.residueTable[9], -1);   // outside the loop
    EXPECT_EQ(d.residueTable[16], -1);
    // P(t|L) P(t|R) / P(t) with P(t|L) = P(t) is P(t|R): one bin holds everything.
    EXPECT_NEAR(torsionScoreProb(d, 12, t12, 20, 30), 1.0, 1e-12);
    EXPECT_EQ(torsionScoreProb(d, 12, t12, 24, 28), 0.0);
    // Residues without a table, and indices beyond the structure, read P(t).
    EXPECT_EQ(torsionScoreProb(d, 14, s[14].type, 24, 28), torsionBinProb(d, s[14].type, 24, 28));
    EXPECT_EQ(torsionScoreProb(d, -1, ALA, 24, 28), torsionBinProb(d, ALA, 24, 28));
    EXPECT_EQ(torsionScoreProb(d, 100000, ALA, 24, 28), torsionBinProb(d, ALA, 24, 28));
}
