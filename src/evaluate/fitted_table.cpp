// Log-ratio pair table from the distance counts of near-native and of other
// decoys, and the reader of the compare mode's distance dumps.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "evaluate/evaluate.h"
#include "model/error.h"

namespace lorvane {

namespace {

void readGroup(std::istream& in, const std::string& path, int lineNo, DistanceCounts& g) {
    std::string line;
    if (!std::getline(in, line)) fail(path + " line " + std::to_string(lineNo) + ": missing (a distance dump has two lines)");
    std::istringstream ls(line);
    double decoys;
    if (!(ls >> decoys) || decoys < 0) fail(path + " line " + std::to_string(lineNo) + ": no decoy count at the start");
    g.decoys += decoys;
    for (int k = 0; k < DIST_SIZE; ++k) {
        double c;
        if (!(ls >> c)) fail(path + " line " + std::to_string(lineNo) + ": " + std::to_string(k) + " counts, " + std::to_string(DIST_SIZE) +
                              " expected");
        g.counts[k] += c;
    }
}

}  // namespace

void readDistanceDump(const std::string& path, DistanceCounts& nearNative, DistanceCounts& other) {
    std::ifstream in(path);
    if (!in) fail("cannot open distance dump " + path);
    readGroup(in, path, 1, nearNative);
    readGroup(in, path, 2, other);
}

std::vector<double> fittedLogRatio(const std::vector<double>& nearNative, const std::vector<double>& other, double pseudo, double cap) {
    const size_t n = std::min(nearNative.size(), other.size());
    double tn = 0, to = 0;
    for (size_t k = 0; k < n; ++k) tn += nearNative[k], to += other[k];
    std::vector<double> e(n, 0.0);
    if (!(tn > 0) || !(to > 0)) return e;
    const double scale = tn / to;  // other counts brought to the near-native total
    for (size_t k = 0; k < n; ++k) {
        if (nearNative[k] == 0 && other[k] == 0) continue;
        const double v = -std::log((nearNative[k] + pseudo) / (other[k] * scale + pseudo));
        e[k] = std::clamp(v, -cap, cap);
    }
    return e;
}

std::string formatFittedTable(const std::vector<double>& e) {
    std::string s;
    s.reserve(e.size() * 8);
    char b[32];
    for (size_t k = 0; k < e.size(); ++k) {
        double v = std::round(e[k] * 10000.0) / 10000.0;
        if (v == 0.0) v = 0.0;  // no "-0.0000"
        std::snprintf(b, sizeof b, "%.4f", v);
        if (k) s += ' ';
        s += b;
    }
    return s;
}

}  // namespace lorvane
