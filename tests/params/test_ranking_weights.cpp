// The ranking-weights fit: the grid, fits on synthetic loops whose right
// answer is known (one score tracks the RMSD, or equal weights already pick
// the best), the leave-one-out check that guards adoption, the reader's
// errors, and the command end to end on a run folder.
#include <cmath>
#include <functional>

#include "params/commands.h"
#include "params/ranking_weights.h"
#include "params_support.h"

using namespace params_test;

namespace {

// A loop of n conformations: conformation k lies (n - 1 - k) / 2 A from the
// native, so that ties, which go to the first, pick the worst; score q of
// conformation k is tracks[q](k).
RankingLoop syntheticLoop(int n, const std::array<std::function<double(int)>, 4>& tracks) {
    std::vector<std::array<double, 4>> scores(n);
    RankingLoop loop;
    for (int k = 0; k < n; ++k) {
        for (int q = 0; q < 4; ++q) scores[k][q] = tracks[q](k);
        loop.rmsd.push_back(0.5 * (n - 1 - k));
    }
    loop.normalised = normalisedScores(scores);
    return loop;
}

TEST(RankingWeights, GridHasOneVectorPerDirection) {
    const std::vector<ScoreWeights> grid = weightGrid();
    EXPECT_EQ(grid.size(), 975u);
    EXPECT_NE(std::find(grid.begin(), grid.end(), ScoreWeights{0.5, 0.5, 0.5, 0.5}), grid.end());
    EXPECT_EQ(std::find(grid.begin(), grid.end(), EQUAL_WEIGHTS), grid.end());  // a multiple of the one above
    for (const ScoreWeights& w : grid) EXPECT_GT(std::max({w[0], w[1], w[2], w[3]}), 0.0);
}

TEST(RankingWeights, FitsOnLoopsWithAKnownAnswer) {
    // Scores low for near conformations, and scores low for far ones.
    auto tracking = [](int k) { return -double(k); };
    auto misleading = [](int k) { return double(k); };
    auto flat = [](int) { return 0.0; };
    struct Case {
        const char* what;
        std::array<std::function<double(int)>, 4> tracks;
        bool adopted;
        double equalMean, fittedMean;
    };
    const std::vector<Case> cases = {
        // Equal weights: side chain and QUENDA outweigh DFIRE and pick the farthest (4.5 A).
        {"only DFIRE tracks the RMSD", {tracking, misleading, misleading, flat}, true, 4.5, 0.0},
        {"equal weights already pick the native", {tracking, tracking, flat, flat}, false, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<RankingLoop> loops;
        for (int l = 0; l < 6; ++l) loops.push_back(syntheticLoop(10, c.tracks));
        const RankingWeightFit fit = fitRankingWeights(loops, weightGrid());
        EXPECT_NEAR(fit.equal.mean, c.equalMean, 1e-12);
        EXPECT_NEAR(fit.fittedAll.mean, c.fittedMean, 1e-12);
        EXPECT_NEAR(fit.leaveOneOut.mean, c.fittedMean, 1e-12);
        EXPECT_EQ(fit.adopted, c.adopted);
        EXPECT_EQ(fit.written, c.adopted ? fit.fitted : EQUAL_WEIGHTS);
        EXPECT_EQ(fit.leaveOneOut.below1, 6);
        // The fit must weight DFIRE above the two that mislead together; the
        // flat torsion score costs nothing, and ties go to the vector nearest
        // equal weights, so it keeps a weight.
        if (c.adopted) {
            EXPECT_GT(fit.fitted[0], fit.fitted[1] + fit.fitted[2]);
            EXPECT_GT(fit.fitted[3], 0.0);
        }
    }
}

TEST(RankingWeights, LeaveOneOutGuardsAgainstAFitToOneLoop) {
    // Five loops where equal weights pick the native, one where only a
    // side-chain-heavy vector does: fitted on all, that loop improves, but
    // left out it is ranked by a fit to the other five.
    auto tracking = [](int k) { return -double(k); };
    auto misleading = [](int k) { return double(k); };
    std::vector<RankingLoop> loops;
    for (int l = 0; l < 5; ++l) loops.push_back(syntheticLoop(10, {tracking, tracking, tracking, tracking}));
    loops.push_back(syntheticLoop(10, {misleading, tracking, misleading, [](int) { return 0.0; }}));
    const RankingWeightFit fit = fitRankingWeights(loops, weightGrid());
    EXPECT_NEAR(fit.equal.mean, 4.5 / 6, 1e-12);
    EXPECT_NEAR(fit.fittedAll.mean, 0.0, 1e-12);
    EXPECT_NEAR(fit.leaveOneOut.mean, 4.5 / 6, 1e-12);
    EXPECT_FALSE(fit.adopted);
    EXPECT_EQ(fit.written, EQUAL_WEIGHTS);
    EXPECT_ERROR(fitRankingWeights({loops[0]}, weightGrid()), 1, "at least 2 loops");
}

TEST(RankingWeights, ReaderAndCommand) {
    lorvane_test::ScratchDir dir;
    const std::string header = "index\tlabel\ts0\ts1\ts2\ts3\tz\trmsd\trmsd_anchor\n";
    const struct {
        const char* text;
        const char* error;
    } bad[] = {
        {"index\ts0\ts1\ts2\trmsd\n", "line 1: no column \"s3\""},
        {"index\tlabel\ts0\ts1\ts2\ts3\tz\trmsd\trmsd_anchor\n1\tLOOP 1\t1\t2\t3\t4\t0\tNA\t1\n", "line 2: \"NA\" in column rmsd is not a number"},
        {"index\tlabel\ts0\ts1\ts2\ts3\tz\trmsd\trmsd_anchor\n1\tLOOP 1\t1\t2\t3\n", "line 2: 5 fields, the header has 9"},
        {"", "is empty"},
    };
    for (const auto& b : bad) {
        dir.write("bad.tsv", b.text);
        EXPECT_ERROR(readRankingLoop(dir.path("bad.tsv")), 1, b.error);
    }

    // A run of three loops: in each, DFIRE tracks the RMSD and QUENDA misleads.
    for (int l = 0; l < 3; ++l) {
        std::string text = header;
        for (int k = 0; k < 8; ++k)
            text += std::to_string(k + 1) + "\tLOOP " + std::to_string(k + 1) + "\t" + std::to_string(k) + "\t0\t" + std::to_string(-2 * k) +
                    "\t0\t0\t" + std::to_string(0.5 * k) + "\t0\n";
        dir.write("run/loops/case" + std::to_string(l) + "/conformations.tsv", text);
    }
    dir.write("run/loops/empty/conformations.tsv", header);  // a loop that wrote nothing is left out
    const std::vector<RankingLoop> loops = readRankingRuns({dir.path("run")});
    ASSERT_EQ(loops.size(), 3u);
    EXPECT_EQ(loops[0].rmsd.size(), 8u);
    EXPECT_NEAR(loops[0].normalised[0][0], -1.75, 1e-12);  // DFIRE 0: median 3.5, MAD 2
    EXPECT_ERROR(readRankingRuns({dir.path("nothing")}), 1, "is not a directory");

    testing::internal::CaptureStdout();
    EXPECT_EQ(runTool({"ranking-weights", "--runs", dir.path("run"), "--out", dir.path("out")}), 0);
    testing::internal::GetCapturedStdout();
    const std::vector<std::string> written = lorvane_test::lines(lorvane_test::slurp(dir.path("out/ranking_weights.txt")));
    std::vector<std::string> weights;
    for (const std::string& line : written)
        if (!line.empty() && line[0] != '#') weights.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(weights, (std::vector<std::string>{"dfire", "sidechain", "quenda", "torsion"}));
    EXPECT_ERROR(runTool({"ranking-weights"}), 2, "--runs DIR is required");
}

}  // namespace
