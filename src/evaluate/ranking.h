#pragma once
// The program's one ranking of the conformations of a run: compare mode's
// lowest-z choice, the ranking table and the models file all take it from
// rankConformations, so that they cannot disagree.
#include <array>
#include <string>
#include <vector>

#include "evaluate/result_file.h"

namespace lorvane {

struct Ranking {
    std::vector<double> combined;  // per conformation, in the order given; lower is better
    std::vector<int> order;        // conformation indices (0-based), best first
};

// The four scores (DFIRE, side-chain, QUENDA, torsion) of each conformation,
// each normalised as (s - median) / MAD over all the conformations given; a
// score whose MAD is zero carries no information and becomes 0.
std::vector<std::array<double, 4>> normalisedScores(const std::vector<std::array<double, 4>>& scores);

// Weights of the four normalised scores in the combined score.
using ScoreWeights = std::array<double, 4>;
constexpr ScoreWeights EQUAL_WEIGHTS = {1.0, 1.0, 1.0, 1.0};

// Combined score of one conformation's normalised scores: their weighted sum.
inline double combinedScore(const std::array<double, 4>& normalised, const ScoreWeights& weights) {
    double v = 0.0;
    for (int q = 0; q < 4; ++q) v += weights[q] * normalised[q];
    return v;
}

// Combined score of each conformation: the weighted sum of its normalised
// scores (equal weights: the program's ranking). Order: ascending combined
// score, equal scores in the order given, a score that is not a number last.
Ranking rankConformations(const std::vector<std::array<double, 4>>& scores, const ScoreWeights& weights = EQUAL_WEIGHTS);
// The same from scores already normalised.
Ranking rankNormalised(const std::vector<std::array<double, 4>>& normalised, const ScoreWeights& weights);
// The conformation rankNormalised puts first (0 when there is none that is a
// number), without sorting the rest.
int firstRanked(const std::vector<std::array<double, 4>>& normalised, const ScoreWeights& weights);

// One row of the ranking table.
struct RankedConformation {
    int rank = 0;   // 1 = best
    int index = 0;  // 1-based LOOP number in the result file
    std::array<double, 4> scores{};
    double combined = 0.0;
    int clusterSize = 0;     // conformations (itself included) within CLUSTER_RADIUS backbone RMSD
    double rmsdToTop = 0.0;  // backbone RMSD to rank 1, A
};

constexpr double CLUSTER_RADIUS = 1.0;  // A, backbone RMSD

// Every conformation of a result file in rank order, with its cluster size
// among all of them and its backbone RMSD (backboneRmsd) to rank 1.
std::vector<RankedConformation> rankResults(const std::vector<ResultConformation>& conformations);

// The ranking table: a header row, then one tab-separated row per conformation:
// rank index dfire sidechain quenda torsion combined cluster_size rmsd_to_top.
std::string formatRankingTable(const std::vector<RankedConformation>& rows);
// Writes it to path; stops (Error, status 1) when the file cannot be written.
void writeTextOutput(const std::string& path, const std::string& text);

}  // namespace lorvane
