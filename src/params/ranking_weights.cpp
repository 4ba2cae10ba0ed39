#include "params/ranking_weights.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>

#include "evaluate/evaluate.h"
#include "model/error.h"
#include "model/strings.h"
#include "model/table_text.h"
#include "model/text_scan.h"
#include "params/commands.h"
#include "params/options.h"
#include "params/table_io.h"

namespace lorvane::params {

namespace {

const char* const kScoreNames[4] = {"dfire", "sidechain", "quenda", "torsion"};

PickSummary summarise(const std::vector<double>& picks) {
    PickSummary s;
    if (picks.empty()) return s;
    double sd;
    vMeanSd(picks, s.mean, sd);
    s.median = vMedian(picks);
    s.below1 = static_cast<int>(std::count_if(picks.begin(), picks.end(), [](double r) { return r < 1.0; }));
    return s;
}

// Distance from equal weights of the same total, for ties between vectors.
double unevenness(const ScoreWeights& w) {
    const double mean = (w[0] + w[1] + w[2] + w[3]) / 4.0;
    double d = 0.0;
    for (double x : w) d += std::fabs(x / mean - 1.0);
    return d;
}

// Index into the grid of the vector with the lowest summed pick RMSD over the
// loops, loop `left` (if any) left out: sums[g] is vector g's sum over all
// loops, picks[g][l] the RMSD it ranks first in loop l.
size_t bestVector(const std::vector<ScoreWeights>& grid, const std::vector<double>& sums, const std::vector<std::vector<double>>& picks,
                  std::optional<size_t> left) {
    size_t best = 0;
    double bestSum = 0.0;
    for (size_t g = 0; g < grid.size(); ++g) {
        const double sum = left ? sums[g] - picks[g][*left] : sums[g];
        const bool tie = g > 0 && std::fabs(sum - bestSum) < 1e-9;
        if (g == 0 || (sum < bestSum && !tie) || (tie && unevenness(grid[g]) < unevenness(grid[best]))) best = g, bestSum = sum;
    }
    return best;
}

std::string formatWeights(const ScoreWeights& w) {
    std::string s;
    for (int q = 0; q < 4; ++q) s += (q ? " " : "") + formatFixed(w[q], 2);
    return s;
}

std::string formatSummary(const PickSummary& s, size_t loops) {
    return "mean " + formatFixed(s.mean, 3) + " A, median " + formatFixed(s.median, 3) + " A, below 1 A " + std::to_string(s.below1) + "/" +
           std::to_string(loops);
}

}  // namespace

RankingLoop readRankingLoop(const std::string& path) {
    TableText in = TableText::read(path, "conformation table");
    RankingLoop loop;
    std::string_view line;
    if (!in.next(line)) in.failFile("no header");
    const std::vector<std::string> header = split(std::string(line), "\t", true);
    const char* const wanted[5] = {"s0", "s1", "s2", "s3", "rmsd"};
    size_t column[5];
    for (int c = 0; c < 5; ++c) {
        const auto at = std::find(header.begin(), header.end(), wanted[c]);
        if (at == header.end()) in.fail(std::string("no column \"") + wanted[c] + "\"");
        column[c] = static_cast<size_t>(at - header.begin());
    }
    std::vector<std::array<double, 4>> scores;
    while (in.next(line)) {
        if (line.empty()) continue;
        const std::vector<std::string> f = split(std::string(line), "\t", true);
        if (f.size() != header.size()) in.fail(std::to_string(f.size()) + " fields, the header has " + std::to_string(header.size()));
        double v[5];
        for (int c = 0; c < 5; ++c)
            if (!textscan::parseFinite(f[column[c]], v[c])) in.fail("\"" + f[column[c]] + "\" in column " + wanted[c] + " is not a number");
        scores.push_back({v[0], v[1], v[2], v[3]});
        loop.rmsd.push_back(v[4]);
    }
    loop.normalised = normalisedScores(scores);
    return loop;
}

std::vector<RankingLoop> readRankingRuns(const std::vector<std::string>& dirs) {
    namespace fs = std::filesystem;
    std::vector<RankingLoop> loops;
    for (const std::string& dir : dirs) {
        const fs::path root = fs::path(dir) / "loops";
        std::error_code ec;
        if (!fs::is_directory(root, ec)) fail("ranking-weights: " + root.string() + " is not a directory (a finished run of the workflow)");
        std::set<std::string> cases;
        for (const auto& e : fs::directory_iterator(root, ec))
            if (fs::exists(e.path() / "conformations.tsv")) cases.insert(e.path().filename().string());
        size_t used = 0;
        for (const std::string& c : cases) {
            RankingLoop loop = readRankingLoop((root / c / "conformations.tsv").string());
            if (loop.rmsd.empty()) continue;
            loops.push_back(std::move(loop));
            ++used;
        }
        if (used == 0) fail("ranking-weights: no loop of " + dir + " has written conformations");
    }
    return loops;
}

std::vector<ScoreWeights> weightGrid() {
    const double values[] = {0.0, 0.5, 1.0, 1.5, 2.0, 3.0};
    std::vector<ScoreWeights> grid;
    std::set<std::array<long, 4>> directions;
    for (double a : values)
        for (double b : values)
            for (double c : values)
                for (double d : values) {
                    const ScoreWeights w = {a, b, c, d};
                    const double top = std::max({a, b, c, d});
                    if (top == 0.0) continue;
                    // Scaled to a largest weight of 1; vectors met later in the
                    // loops are multiples with a larger top weight.
                    std::array<long, 4> key;
                    for (int q = 0; q < 4; ++q) key[q] = std::lround(w[q] / top * 1e6);
                    if (directions.insert(key).second) grid.push_back(w);
                }
    return grid;
}

RankingWeightFit fitRankingWeights(const std::vector<RankingLoop>& loops, const std::vector<ScoreWeights>& grid) {
    if (loops.size() < 2) fail("ranking-weights: at least 2 loops are needed, " + std::to_string(loops.size()) + " given");
    const size_t n = loops.size();
    std::vector<std::vector<double>> picks(grid.size(), std::vector<double>(n));
#pragma omp parallel for schedule(dynamic)
    for (long g = 0; g < static_cast<long>(grid.size()); ++g)
        for (size_t l = 0; l < n; ++l) picks[g][l] = loops[l].rmsd[firstRanked(loops[l].normalised, grid[g])];

    RankingWeightFit fit;
    std::vector<double> equal(n);
    for (size_t l = 0; l < n; ++l) equal[l] = loops[l].rmsd[firstRanked(loops[l].normalised, EQUAL_WEIGHTS)];
    fit.equal = summarise(equal);

    // Each vector's sum over all loops once; leaving a loop out subtracts its pick.
    std::vector<double> sums(grid.size(), 0.0);
    for (size_t g = 0; g < grid.size(); ++g)
        for (double r : picks[g]) sums[g] += r;
    const size_t all = bestVector(grid, sums, picks, std::nullopt);
    fit.fitted = grid[all];
    fit.fittedAll = summarise(picks[all]);

    std::vector<double> held(n);
    for (size_t l = 0; l < n; ++l) held[l] = picks[bestVector(grid, sums, picks, l)][l];
    fit.leaveOneOut = summarise(held);
    fit.adopted = fit.leaveOneOut.mean <= fit.equal.mean - MIN_MEAN_GAIN && fit.leaveOneOut.below1 >= fit.equal.below1;
    fit.written = fit.adopted ? fit.fitted : EQUAL_WEIGHTS;
    return fit;
}

std::string formatRankingWeights(const RankingWeightFit& fit, size_t loops) {
    std::string s = "# Weights of the four normalised scores in the final ranking (lorvane-params ranking-weights).\n";
    s += "# Fitted on " + std::to_string(loops) + " training loops; RMSD of the loop ranked first:\n";
    s += "#   equal weights:            " + formatSummary(fit.equal, loops) + "\n";
    s += "#   fit " + formatWeights(fit.fitted) + ": " + formatSummary(fit.fittedAll, loops) + " (on the loops fitted)\n";
    s += "#   leave one loop out:       " + formatSummary(fit.leaveOneOut, loops) + "\n";
    s += std::string("# ") +
         (fit.adopted ? "The fit is adopted." : "The fit does not beat equal weights when a loop is left out; equal weights are kept.") + "\n";
    for (int q = 0; q < 4; ++q) s += std::string(kScoreNames[q]) + " " + formatFixed(fit.written[q], 2) + "\n";
    return s;
}

void cmdRankingWeights(const std::vector<std::string>& args, Session&) {
    std::vector<std::string> runs;
    const Options o = OptionParser("ranking-weights").texts("--runs", runs).parse(args);
    if (runs.empty()) fail("lorvane-params ranking-weights: --runs DIR is required (a finished workflow run on training loops)", STATUS_USAGE);
    const double t0 = omp_get_wtime();
    const std::vector<RankingLoop> loops = readRankingRuns(runs);
    const RankingWeightFit fit = fitRankingWeights(loops, weightGrid());
    const std::string text = formatRankingWeights(fit, loops.size());
    const std::string path = outPath(o.out, "ranking_weights.txt");
    writeTextFile(path, text);
    std::cout << text << "ranking-weights: wrote " << path << " in " << formatFixed(omp_get_wtime() - t0, 1) << " s" << std::endl;
}

}  // namespace lorvane::params
