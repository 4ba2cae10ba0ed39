#include "evaluate/ranking.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numeric>

#include "evaluate/evaluate.h"
#include "model/error.h"

namespace lorvane {

std::vector<std::array<double, 4>> normalisedScores(const std::vector<std::array<double, 4>>& scores) {
    const size_t n = scores.size();
    std::vector<std::array<double, 4>> out(n);
    std::vector<double> column(n);
    for (int q = 0; q < 4; ++q) {
        for (size_t k = 0; k < n; ++k) column[k] = scores[k][q];
        vMedMAD(column);
        for (size_t k = 0; k < n; ++k) out[k][q] = column[k];
    }
    return out;
}

Ranking rankNormalised(const std::vector<std::array<double, 4>>& normalised, const ScoreWeights& weights) {
    const size_t n = normalised.size();
    Ranking r;
    r.combined.reserve(n);
    for (const auto& z : normalised) r.combined.push_back(combinedScore(z, weights));
    r.order.resize(n);
    std::iota(r.order.begin(), r.order.end(), 0);
    std::stable_sort(r.order.begin(), r.order.end(), [&](int a, int b) {
        const double x = r.combined[a], y = r.combined[b];
        if (std::isnan(x) || std::isnan(y)) return !std::isnan(x) && std::isnan(y);
        return x < y;
    });
    return r;
}

int firstRanked(const std::vector<std::array<double, 4>>& normalised, const ScoreWeights& weights) {
    int best = -1;
    double bestValue = 0.0;
    for (size_t k = 0; k < normalised.size(); ++k) {
        const double v = combinedScore(normalised[k], weights);
        if (!std::isnan(v) && (best < 0 || v < bestValue)) best = static_cast<int>(k), bestValue = v;
    }
    return best < 0 ? 0 : best;
}

Ranking rankConformations(const std::vector<std::array<double, 4>>& scores, const ScoreWeights& weights) {
    return rankNormalised(normalisedScores(scores), weights);
}

std::vector<RankedConformation> rankResults(const std::vector<ResultConformation>& confs) {
    const size_t n = confs.size();
    std::vector<std::array<double, 4>> scores(n);
    for (size_t k = 0; k < n; ++k) scores[k] = confs[k].scores;
    const Ranking ranking = rankConformations(scores);

    std::vector<std::vector<double>> xyz(n);
    std::vector<std::array<double, 3>> centre(n, {0, 0, 0});
    for (size_t k = 0; k < n; ++k) {
        xyz[k] = backboneCoordinates(confs[k]);
        const size_t atoms = xyz[k].size() / 3;
        for (size_t a = 0; a < atoms; ++a)
            for (int d = 0; d < 3; ++d) centre[k][d] += xyz[k][3 * a + d] / double(atoms);
    }
    // Two conformations' RMSD is at least the distance between their centres,
    // which spares most pairs the full comparison.
    std::vector<int> cluster(n, 1);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j) {
            const double dx = centre[i][0] - centre[j][0], dy = centre[i][1] - centre[j][1], dz = centre[i][2] - centre[j][2];
            if (dx * dx + dy * dy + dz * dz > CLUSTER_RADIUS * CLUSTER_RADIUS) continue;
            if (coordinateRmsd(xyz[i], xyz[j]) <= CLUSTER_RADIUS) ++cluster[i], ++cluster[j];
        }

    std::vector<RankedConformation> rows(n);
    for (size_t r = 0; r < n; ++r) {
        const int k = ranking.order[r];
        RankedConformation& row = rows[r];
        row.rank = static_cast<int>(r) + 1;
        row.index = k + 1;
        row.scores = confs[k].scores;
        row.combined = ranking.combined[k];
        row.clusterSize = cluster[k];
        row.rmsdToTop = coordinateRmsd(xyz[k], xyz[ranking.order[0]]);
    }
    return rows;
}

std::string formatRankingTable(const std::vector<RankedConformation>& rows) {
    std::string out = "rank\tindex\tdfire\tsidechain\tquenda\ttorsion\tcombined\tcluster_size\trmsd_to_top\n";
    char buf[256];
    for (const RankedConformation& r : rows) {
        std::snprintf(buf, sizeof buf, "%d\t%d\t%.2f\t%.2f\t%.2f\t%.2f\t%.4f\t%d\t%.3f\n", r.rank, r.index, r.scores[0], r.scores[1], r.scores[2],
                      r.scores[3], r.combined, r.clusterSize, r.rmsdToTop);
        out += buf;
    }
    return out;
}

void writeTextOutput(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::out | std::ios::trunc);
    if (!out) fail("Cannot open \"" + path + "\" for writing");
    out << text;
    out.close();
    if (out.fail()) fail("Cannot write \"" + path + "\"");
}

}  // namespace lorvane
