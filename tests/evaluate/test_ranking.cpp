// The one ranking: combined scores against hand-computed values, the order's
// tie and NaN rules, cluster sizes and RMSD to the top on conformations of
// known RMSD, the table's columns, and agreement with compare mode's lowest-z
// choice on the same result file (a real sampling run's, from the golden set).
#include <gemmi/gz.hpp>

#include <cmath>
#include <limits>

#include "eval_support.h"
#include "evaluate/evaluate.h"
#include "evaluate/ranking.h"
#include "evaluate/result_file.h"

using namespace lorvane;
using namespace eval_test;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

TEST(Ranking, CombinedScoresAndOrder) {
    struct Case {
        const char* what;
        std::vector<std::array<double, 4>> scores;
        std::vector<double> combined;
        std::vector<int> order;
    };
    const std::vector<Case> cases = {
        // Column medians 2, 20, 0, 5; MADs 1, 10, 1, 0 (the last column is flat and adds nothing).
        {"known answers",
         {{1, 10, -1, 5}, {2, 20, 0, 5}, {3, 40, 1, 5}},
         {-1 - 1 - 1, 0, 1 + 2 + 1},
         {0, 1, 2}},
        {"ties keep the order given", {{1, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 0, 0, 0}}, {}, {1, 3, 0, 2}},
        {"one conformation", {{-5, 3, 2, 1}}, {0}, {0}},
        {"scores that are not numbers go last", {{NaN, 0, 0, 0}, {1, 0, 0, 0}, {2, 0, 0, 0}, {3, 0, 0, 0}}, {}, {1, 2, 3, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Ranking r = rankConformations(c.scores);
        ASSERT_EQ(r.combined.size(), c.scores.size());
        for (size_t k = 0; k < c.combined.size(); ++k) EXPECT_NEAR(r.combined[k], c.combined[k], 1e-12) << k;
        EXPECT_EQ(r.order, c.order);
    }
}

TEST(Ranking, WeightsAndFirstRanked) {
    // Normalised columns: DFIRE -1 0 1, side chain 1 0 -1 (MAD 10), QUENDA and torsion flat.
    const std::vector<std::array<double, 4>> scores = {{1, 30, 0, 0}, {2, 20, 0, 0}, {3, 10, 0, 0}};
    const struct {
        ScoreWeights weights;
        std::vector<double> combined;
        std::vector<int> order;
    } cases[] = {
        {EQUAL_WEIGHTS, {0, 0, 0}, {0, 1, 2}},
        {{2, 1, 0, 0}, {-1, 0, 1}, {0, 1, 2}},
        {{0, 1, 7, 7}, {1, 0, -1}, {2, 1, 0}},
        {{0.5, 1.5, 0, 0}, {1, 0, -1}, {2, 1, 0}},
    };
    for (const auto& c : cases) {
        const Ranking r = rankConformations(scores, c.weights);
        for (size_t k = 0; k < 3; ++k) EXPECT_NEAR(r.combined[k], c.combined[k], 1e-12) << k;
        EXPECT_EQ(r.order, c.order);
        EXPECT_EQ(firstRanked(normalisedScores(scores), c.weights), c.order[0]);
    }
    // Not-a-number scores are never first; none at all gives 0, as an empty order would.
    EXPECT_EQ(firstRanked({{NaN, 0, 0, 0}, {5, 0, 0, 0}}, EQUAL_WEIGHTS), 1);
    EXPECT_EQ(firstRanked({{NaN, 0, 0, 0}}, EQUAL_WEIGHTS), 0);
}

// Conformation k (0-based) of n: an 8-residue loop moved by 0.3 k A along
// (1,1,1)/sqrt(3), so that two of them lie 0.3 |j - k| A apart in RMSD; its
// scores rank it at position (k * 3) % n.
ResultConformation shifted(const std::vector<PdbAtom>& loop, int k, std::array<double, 4> scores) {
    ResultConformation c;
    c.scores = scores;
    const float d = static_cast<float>(0.3 * k / std::sqrt(3.0));
    for (const PdbAtom& a : loop) {
        if (c.residues.empty() || c.residues.back().number != a.resNum) c.residues.push_back({a.res, a.resNum, {}});
        c.residues.back().atoms.push_back({a.name, float(a.x) + d, float(a.y) + d, float(a.z) + d});
    }
    return c;
}

TEST(Ranking, ClusterSizesAndRmsdToTop) {
    const std::vector<PdbAtom> loop = readAtoms(sourcePath("examples/5p21.pdb"), 45, 52);
    const int n = 10;
    std::vector<ResultConformation> confs;
    for (int k = 0; k < n; ++k) confs.push_back(shifted(loop, k, {double((k * 3) % n), 0, 0, 0}));
    const std::vector<RankedConformation> rows = rankResults(confs);
    ASSERT_EQ(rows.size(), size_t(n));
    for (int r = 0; r < n; ++r) {
        const RankedConformation& row = rows[r];
        const int k = row.index - 1;
        EXPECT_EQ(row.rank, r + 1);
        EXPECT_EQ((k * 3) % n, r) << "rank follows the first score";
        EXPECT_EQ(row.scores, confs[k].scores);
        int within = 0;  // 0.3 |j - k| <= 1.0: |j - k| <= 3
        for (int j = 0; j < n; ++j) within += std::abs(j - k) <= 3;
        EXPECT_EQ(row.clusterSize, within) << "conformation " << k;
        EXPECT_NEAR(row.rmsdToTop, 0.3 * std::abs(k - (rows[0].index - 1)), 1e-4);
        EXPECT_NEAR(backboneRmsd(confs[k], confs[0]), 0.3 * k, 1e-4);
    }
    const std::vector<std::string> table = lines(formatRankingTable(rows));
    ASSERT_EQ(table.size(), size_t(n + 1));
    EXPECT_EQ(table[0], "rank\tindex\tdfire\tsidechain\tquenda\ttorsion\tcombined\tcluster_size\trmsd_to_top");
    EXPECT_EQ(table[1].substr(0, 14), "1\t1\t0.00\t0.00\t") << "conformation 1 (first score 0) ranks first";
    // A conformation without a backbone atom cannot be measured.
    confs[2].residues[3].atoms.erase(confs[2].residues[3].atoms.begin() + 1);
    EXPECT_ERROR(rankResults(confs), 1, "residue 4 .* has no atom CA");
}

// The golden sampling run's result file (200 conformations of 5p21 45-52):
// compare mode's lowest-z conformation is the ranking table's rank 1, and its z
// is the combined score of every conformation.
TEST(Ranking, AgreesWithCompareModeOnOneResultFile) {
    ScratchDir dir(true);
    gemmi::MaybeGzipped in(sourcePath("tests/golden/expected/sample_5p21_45_52.txt.gz"));
    const gemmi::CharArray text = in.uncompress_into_buffer();
    writeFile("result.txt", std::string(text.data(), text.size()));
    const std::vector<ResultConformation> confs = readConformations("result.txt", 8, MAX_DECOYS);
    ASSERT_EQ(confs.size(), 200u);
    const std::vector<RankedConformation> rows = rankResults(confs);

    const Structure& native = ras();
    Potentials pot;
    testing::internal::CaptureStdout();
    const DecoyEvaluation e = evaluateDecoys(tmpl(), pot, "result.txt", positionOf(native, 45), positionOf(native, 52), native, false);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(rows[0].index - 1, e.lowestZ);
    ASSERT_EQ(e.z.size(), rows.size());
    for (const RankedConformation& r : rows) EXPECT_DOUBLE_EQ(e.z[r.index - 1], r.combined) << "LOOP " << r.index;
    for (size_t r = 1; r < rows.size(); ++r) EXPECT_LE(rows[r - 1].combined, rows[r].combined);
    // The conformations differ: the top one is not alone at 0 A from every other.
    EXPECT_LT(rows[0].clusterSize, 200);
    EXPECT_GT(rows.back().rmsdToTop, 0.5);
}

}  // namespace
