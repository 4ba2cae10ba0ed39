// The conformation-dependent torsion bins in the program: the key of a
// (phi, psi) pair, the loader's blocks and errors, and the probability a loop
// residue is scored with for each combination of known neighbours.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "distributions/distributions.h"
#include "model/backbone_dihedrals.h"
#include "model/structure.h"
#include "model/table_text.h"
#include "support/support.h"

using namespace lorvane;

namespace {

constexpr size_t T = NUM_BINS * NUM_BINS;

using lorvane_test::zeroTorsionBlock;

std::vector<double> parse(const std::string& text) {
    TableText in("nc.txt", text);
    return parseConformationTorsionBins(in);
}

Distributions repoCopy() {
    Distributions d;
    const Distributions& repo = lorvane_test::repoDistributions();
    std::copy(&repo.torsionBins[0][0][0][0], &repo.torsionBins[0][0][0][0] + NUM_AMINO_ACIDS * SS_CLASSES * T, &d.torsionBins[0][0][0][0]);
    return d;
}

// Every table equal to the residue's own coil table.
std::vector<double> flat(const Distributions& d) {
    std::vector<double> tables(conformationTableOffset(2, 0, 0));
    for (int side = 0; side < 2; ++side)
        for (int t = 0; t < NUM_AMINO_ACIDS; ++t)
            for (int k = 0; k < CONFORMATION_KEYS; ++k)
                std::copy(&d.torsionBins[t][SS_COIL][0][0], &d.torsionBins[t][SS_COIL][0][0] + T,
                          tables.data() + conformationTableOffset(side, t, k));
    return tables;
}

}  // namespace

TEST(ConformationTorsion, KeyIsTheNinetyDegreeCell) {
    const struct {
        double phi, psi;
        int key;
    } cases[] = {
        {-63.0, -42.0, 1 * 4 + 1},    // alpha-R
        {-120.0, 130.0, 0 * 4 + 3},   // beta
        {-75.0, 145.0, 1 * 4 + 3},    // polyproline II
        {60.0, 40.0, 2 * 4 + 2},      // alpha-L
        {-90.0, 0.0, 1 * 4 + 2},      // cell edges belong to the cell above
        {-180.0, -180.0, 0},
        {180.0, 180.0, 15},           // +180 stays in the last cell
        {-90.0001, -0.0001, 0 * 4 + 1},
        {NAN, 0.0, -1},
        {0.0, INFINITY, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(conformationKey(c.phi, c.psi), c.key) << c.phi << " " << c.psi;
}

TEST(ConformationTorsion, KeyAtReadsTheStructure) {
    const Structure s = lorvane_test::ras();
    EXPECT_EQ(conformationKeyAt(s, 10), conformationKey(phiAt(s, 10), psiAt(s, 10)));
    EXPECT_EQ(conformationKeyAt(s, 0), -1);  // no phi at the chain start
    EXPECT_EQ(conformationKeyAt(s, -1), -1);
    EXPECT_EQ(conformationKeyAt(s, s._numRes), -1);
}

TEST(ConformationTorsion, LoaderErrorsNameFileAndLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {zeroTorsionBlock("ALA 3 0"), "line 1: neighbour side \"0\" is not -1 or \\+1"},
        {zeroTorsionBlock("XYZ 3 -1"), "line 1: unknown residue name \"XYZ\""},
        {zeroTorsionBlock("ALA 16 -1"), "line 1: .*conformation key"},
        {zeroTorsionBlock("ALA -1 -1"), "line 1: .*conformation key"},
        {zeroTorsionBlock("ALA 3"), "line 1: header has 2 fields, 3 expected"},
        {zeroTorsionBlock("ALA 3 -1") + zeroTorsionBlock("ALA 3 -1"), "line 74: second block for ALA key 3 -1 \\(the first is at line 1\\)"},
        {zeroTorsionBlock("ALA 3 -1") + zeroTorsionBlock("ALA 3 +1"), "no block for every residue type, conformation key"},
    };
    for (const auto& [text, message] : cases) EXPECT_ERROR(parse(text), 1, "^nc.txt.*" + message);
    lorvane_test::ScratchDir dir;
    EXPECT_ERROR(loadConformationTorsionBins(dir.path("no_such_nc.txt")), 1, "cannot open conformation torsion-bin file .*no_such_nc.txt");
}

TEST(ConformationTorsion, ReadsEveryBlockInPlace) {
    std::string text;
    for (const char* side : {"-1", "+1"})
        for (int t = 0; t < NUM_AMINO_ACIDS; ++t)
            for (int k = 0; k < CONFORMATION_KEYS; ++k) text += zeroTorsionBlock(threeLetter(t) + " " + std::to_string(k) + " " + side);
    // One non-zero value: LEU (type index), key 9, side +1, row 4, column 7.
    const size_t header = text.find(threeLetter(LEU) + " 9 +1\n");
    ASSERT_NE(header, std::string::npos);
    size_t at = text.find('\n', header) + 1;
    for (int r = 0; r < 4; ++r) at = text.find('\n', at) + 1;
    text.replace(at + 2 * 7, 1, "5");
    const std::vector<double> tables = parse(text);
    ASSERT_EQ(tables.size(), conformationTableOffset(2, 0, 0));
    double sum = 0;
    for (double v : tables) sum += v;
    EXPECT_EQ(sum, 5.0);
    EXPECT_EQ(tables[conformationTableOffset(1, LEU, 9) + 4 * NUM_BINS + 7], 5.0);
}

TEST(ConformationTorsion, ScoreByKnownNeighbours) {
    Distributions d = repoCopy();
    std::vector<double> tables = flat(d);
    const int t = SER, bin = 20 * NUM_BINS + 30;
    // Previous residue in key 5: all mass in one bin; next residue in key 3: twice P(t) on that bin's row, renormalised.
    double* prev = tables.data() + conformationTableOffset(0, t, 5);
    std::fill(prev, prev + T, 0.0);
    prev[bin] = 1.0;
    double* next = tables.data() + conformationTableOffset(1, t, 3);
    double z = 0;
    for (size_t k = 0; k < T; ++k) z += next[k] *= (k / NUM_BINS == 20 ? 2.0 : 1.0);
    for (size_t k = 0; k < T; ++k) next[k] /= z;
    const double own = torsionBinProb(d, t, 20, 30);
    ASSERT_GT(own, 0.0);

    // Not in use: every residue reads P(t), keys or not.
    EXPECT_EQ(torsionScoreProb(d, 12, t, 20, 30, 5, 3), own);
    useConformationTorsion(d, tables, 10, 15);
    // Outside the loop, or no neighbour known: P(t).
    EXPECT_EQ(torsionScoreProb(d, 9, t, 20, 30, 5, 3), own);
    EXPECT_EQ(torsionScoreProb(d, 16, t, 20, 30, 5, 3), own);
    EXPECT_EQ(torsionScoreProb(d, 12, t, 20, 30), own);
    // One neighbour known: its table.
    EXPECT_EQ(torsionScoreProb(d, 12, t, 20, 30, 5, -1), 1.0);
    EXPECT_EQ(torsionScoreProb(d, 12, t, 21, 30, 5, -1), 0.0);
    EXPECT_NEAR(torsionScoreProb(d, 12, t, 20, 30, -1, 3), 2.0 * own / z, 1e-15);
    // Both: P(t|prev) P(t|next) / P(t), normalised over the bins; with one bin left it is 1.
    EXPECT_NEAR(torsionScoreProb(d, 12, t, 20, 30, 5, 3), 1.0, 1e-12);
    EXPECT_EQ(torsionScoreProb(d, 12, t, 21, 30, 5, 3), 0.0);
    // Flat tables on both sides give P(t) back, and any pair of keys sums to 1 over the bins.
    for (int kp : {0, 7, 15})
        for (int kn : {1, 3, 12}) {
            double sum = 0;
            for (int a = 0; a < NUM_BINS; ++a)
                for (int b = 0; b < NUM_BINS; ++b) sum += torsionScoreProb(d, 11, t, a, b, kp, kn);
            EXPECT_NEAR(sum, 1.0, 1e-9) << kp << " " << kn;
        }
    EXPECT_NEAR(torsionScoreProb(d, 11, t, 24, 28, 0, 12), torsionBinProb(d, t, 24, 28), 1e-9);
}
