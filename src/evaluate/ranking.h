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

// Combined score of each conformation: the sum of its four scores (DFIRE,
// side-chain, QUENDA, torsion), each normalised as (s - median) / MAD over
// all the conformations given; a score whose MAD is zero carries no
// information and adds nothing. Order: ascending combined score, equal
// scores in the order given, a score that is not a number last.
Ranking rankConformations(const std::vector<std::array<double, 4>>& scores);

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
