#pragma once
// Statistical tools shared by the derivations: fixed-point weights,
// pseudo-count shrinkage, weighted quantiles, weighted least squares and rank
// correlation.
#include <cstdint>
#include <utility>
#include <vector>

namespace lorvane::params {

// Statistical weights are accumulated as integers (weight * WEIGHT_SCALE) so
// that sums do not depend on the order in which threads add them.
constexpr double WEIGHT_SCALE = 65536.0;
inline int64_t fixedWeight(double w) { return static_cast<int64_t>(w * WEIGHT_SCALE + 0.5); }
inline double toCount(int64_t v) { return static_cast<double>(v) / WEIGHT_SCALE; }

// Hierarchical pseudo-count estimate of an observed/expected ratio:
// (obs + m * prior) / (expected + m).
inline double shrinkRatio(double obs, double expected, double prior, double m) { return (obs + m * prior) / (expected + m); }

// Weighted quantile q (0..1) of (value, weight) pairs; sorts the vector.
double weightedQuantile(std::vector<std::pair<float, float>>& v, double q);

// Weighted linear least squares: minimises sum_r w[r] (y[r] - X[r] . beta)^2 over k coefficients
// (X row-major, rows x k). Columns are scaled before the normal equations are solved; a tiny
// ridge keeps unidentified coefficients at 0. Returns false when the system is empty.
bool weightedLeastSquares(const std::vector<double>& X, const std::vector<double>& y, const std::vector<double>& w, int k,
                          std::vector<double>& beta);

// Spearman rank correlation (ties share their mean rank); NaN when either side
// is constant or there are fewer than three values.
double spearman(const std::vector<double>& x, const std::vector<double>& y);

}  // namespace lorvane::params
