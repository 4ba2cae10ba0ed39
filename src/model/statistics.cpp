// Robust normalisation and summary statistics of scores.
#include <algorithm>
#include <cmath>
#include <limits>

#include "model/statistics.h"

namespace lorvane {

double vMedian(std::vector<double> v) {
    if (v.empty()) return std::numeric_limits<double>::quiet_NaN();
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

double vMAD(const std::vector<double>& v) {
    const double med = vMedian(v);
    std::vector<double> dev(v.size());
    for (size_t k = 0; k < v.size(); ++k) dev[k] = std::fabs(v[k] - med);
    return vMedian(dev);
}

void vMedMAD(std::vector<double>& v) {
    if (v.empty()) return;
    const double med = vMedian(v);
    const double mad = vMAD(v);
    // A zero spread (most scores equal, or a single decoy) says nothing about
    // which value is better, and would turn the others into infinities.
    if (!(mad > 0.0) || !std::isfinite(mad)) {
        std::fill(v.begin(), v.end(), 0.0);
        return;
    }
    for (double& x : v) x = (x - med) / mad;
}

void vMeanSd(const std::vector<double>& v, double& mean, double& sd) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    mean = nan;
    sd = nan;
    if (v.empty()) return;
    double sum = 0.0;
    for (double x : v) sum += x;
    mean = sum / static_cast<double>(v.size());
    if (v.size() < 2) return;
    double ss = 0.0;
    for (double x : v) ss += (x - mean) * (x - mean);
    sd = std::sqrt(ss / static_cast<double>(v.size() - 1));
}

}  // namespace lorvane
