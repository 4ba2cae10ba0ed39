#pragma once
// Joint distance distributions of loop growth: the marginal tables
// joint.distance.txt and joint.distance.backward.txt and the conditional
// tables joint.distance.conditional(.backward).txt, by gap 3..21 and class.
#include <string>
#include <vector>

#include "params/training_set.h"

namespace lorvane::params {

constexpr int DIST_BINS = 16;  // distance bins per axis
constexpr int MIN_GAP = 3, MAX_GAP = 21;
constexpr int MAX_END_DISTANCE = 99;  // conditional rows r = 0..99

// One table set: marginal [gap][class] and conditional [gap][class][r].
struct DistanceTables {
    double margLim[MAX_GAP + 1][3][4] = {};
    double marg[MAX_GAP + 1][3][DIST_BINS][DIST_BINS] = {};
    std::vector<double> condLim = std::vector<double>((MAX_GAP + 1) * 3 * (MAX_END_DISTANCE + 1) * 4, 0.0);             // [gap][class][r][4]
    std::vector<double> cond = std::vector<double>((MAX_GAP + 1) * 3 * (MAX_END_DISTANCE + 1) * DIST_BINS * DIST_BINS, 0.0);  // [gap][class][r][16][16]
    long observations[MAX_GAP + 1][3] = {};
    double* cl(int g, int s, int r) { return condLim.data() + ((g * 3 + s) * (MAX_END_DISTANCE + 1) + r) * 4; }
    double* cp(int g, int s, int r) { return cond.data() + ((g * 3 + s) * (MAX_END_DISTANCE + 1) + r) * DIST_BINS * DIST_BINS; }
    const double* cl(int g, int s, int r) const { return condLim.data() + ((g * 3 + s) * (MAX_END_DISTANCE + 1) + r) * 4; }
    const double* cp(int g, int s, int r) const { return cond.data() + ((g * 3 + s) * (MAX_END_DISTANCE + 1) + r) * DIST_BINS * DIST_BINS; }
};

struct DistanceParams {
    double qLo = 0.0, qHi = 1.0;        // marginal limits: weighted quantiles (here the extremes) ...
    double margMargin = 0.03;           // ... widened by this fraction of the range on each side
    double margMarginMin = 0.5;         // ... but by at least this many A
    double condMargin = 0.10;           // conditional rows: fraction of the range
    double condMarginMin = 0.10;        // ... at least this many A
    double condQLo = 0.0, condQHi = 1.0;
    double condFull = 20.0;             // effective count at which a row needs no wider pooling
    double condMin = 1.0;               // rows with fewer effective observations are degenerate
    double blurSigma = 0.75;            // cell smoothing (cells), truncated at 2 cells
    double floorProb = 1e-6;            // least probability of a cell next to observed ones
    double coilFraction = 0.5;          // segment counts as class C from this coil fraction on
};

// Segment class of residues lo..hi of a chain (inclusive): C when at least
// coilFraction of them are DSSP coil, otherwise H or E by the larger count.
// coilPrefix/helixPrefix: counts of coil/helix residues before each index.
int segmentClass(const std::vector<int>& coilPrefix, const std::vector<int>& helixPrefix, int lo, int hi, double coilFraction);

void buildDistances(const TrainingSet& ts, const DistanceParams& p, DistanceTables& forward, DistanceTables& backward);
std::string formatMarginal(const DistanceTables& t);
std::string formatConditional(const DistanceTables& t);

}  // namespace lorvane::params
