#pragma once
// Weights of the final ranking, fitted on conformations the program sampled
// for training loops (lorvane-params ranking-weights; not part of derive).
//
//   lorvane-params ranking-weights --runs DIR [--runs DIR ...] [--out DIR]
//
// Input: finished runs of the workflow/ benchmark on a table of training
// loops (lorvane-params loop-set): DIR/loops/<case>/conformations.tsv, the
// four scores and the RMSD to the native of every written loop.
//
// Fit: each weight vector of the grid ranks every loop's conformations with
// the program's own ranking (rankNormalised); the fit is the vector whose
// first-ranked loops have the lowest mean RMSD, ties to the one nearest equal
// weights. Check: leave one loop out (fit on the others, measure on it). The
// fitted weights are adopted only when the check beats equal weights by at
// least MIN_MEAN_GAIN in mean without fewer loops below 1 A; otherwise the
// file keeps equal weights, the ranking as it stands.
#include <string>
#include <vector>

#include "evaluate/ranking.h"

namespace lorvane::params {

constexpr double MIN_MEAN_GAIN = 0.1;  // A, leave-one-out mean RMSD of the loop ranked first

// One loop of a run: its written conformations' normalised scores and RMSD to the native.
struct RankingLoop {
    std::vector<std::array<double, 4>> normalised;
    std::vector<double> rmsd;
};

// Reads one conformations.tsv (tab-separated, with a header naming s0..s3 and
// rmsd); a loop without rows is returned empty. Stops (status 1) naming the
// file and line on a missing column or a value that is not a number.
RankingLoop readRankingLoop(const std::string& path);
// Every loop with at least one conformation under DIR/loops/*/ of each run,
// in directory-name order; stops when a run holds none.
std::vector<RankingLoop> readRankingRuns(const std::vector<std::string>& dirs);

// Each weight 0, 0.5, 1, 1.5, 2 or 3, not all zero, one vector per
// direction (the one with the smallest largest weight): 975 vectors.
std::vector<ScoreWeights> weightGrid();

// RMSD of the conformation each loop ranks first under the weights.
struct PickSummary {
    double mean = 0.0;
    double median = 0.0;
    int below1 = 0;  // loops whose first-ranked conformation is below 1 A
};

struct RankingWeightFit {
    ScoreWeights fitted{};       // best on all loops
    PickSummary equal;           // equal weights
    PickSummary fittedAll;       // the fit, measured on the loops it was fitted on
    PickSummary leaveOneOut;     // each loop ranked by the fit to the others
    bool adopted = false;        // the check passed
    ScoreWeights written{};      // fitted when adopted, otherwise equal
};

RankingWeightFit fitRankingWeights(const std::vector<RankingLoop>& loops, const std::vector<ScoreWeights>& grid);

// The weights file: comment lines with the fit's figures, then one line per
// score ("dfire", "sidechain", "quenda", "torsion") with its weight.
std::string formatRankingWeights(const RankingWeightFit& fit, size_t loops);

}  // namespace lorvane::params
