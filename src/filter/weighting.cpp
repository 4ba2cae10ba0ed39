#include "filter/weighting.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "potentials/potentials.h"

namespace lorvane {

namespace {

// Indices inside both windows (a below min(a) + cut, b below min(b) + widthB),
// ordered by total(i).
template <class Total>
int rankInWindows(const std::vector<float>& a, const std::vector<float>& b, size_t n, int* out, double cut, double widthB, Total total) {
    if (n == 0) return 0;
    double minA = std::numeric_limits<double>::infinity(), minB = minA;
    for (size_t i = 0; i < n; ++i) {
        minA = std::min(minA, static_cast<double>(a[i]));
        minB = std::min(minB, static_cast<double>(b[i]));
    }
    std::vector<rank2data> recs;
    for (size_t i = 0; i < n; ++i) {
        if (!(a[i] < minA + cut) || !(b[i] < minB + widthB)) continue;
        const double t = total(i);
        recs.push_back({t, 0, 0, 0, t, 0, static_cast<int64_t>(i)});
    }
    std::sort(recs.begin(), recs.end(), by_num5);
    for (size_t k = 0; k < recs.size(); ++k) out[k] = static_cast<int>(recs[k].index);
    return static_cast<int>(recs.size());
}

}  // namespace

int WeightZ(const std::vector<float>& a, const std::vector<float>& b, const std::vector<float>& c, int* out, double cut, double widthB,
            double w) {
    const size_t n = std::min({a.size(), b.size(), c.size()});
    return rankInWindows(a, b, n, out, cut, widthB, [&](size_t i) {
        const float sum = a[i] + b[i];  // the pair is summed in single precision
        return sum + w * 10.0 * c[i];
    });
}

int WeightStep(const std::vector<float>& a, const std::vector<float>& b, const std::vector<float>& c, const std::vector<float>& d, int* out,
               double cut, double widthB, const StepWeights& weights, double w) {
    const size_t n = std::min({a.size(), b.size(), c.size(), d.size()});
    return rankInWindows(a, b, n, out, cut, widthB, [&](size_t i) {
        const double t = weights.sideChain * a[i] + weights.pair * b[i] + weights.torsion * w * c[i] + weights.distance * d[i];
        return std::isnan(t) ? std::numeric_limits<double>::infinity() : t;  // a NaN would break the sort's ordering
    });
}

void SampleEWRS(const std::vector<double>& v, int n, int* out, int count, bool sorted, std::vector<sortdata>& recs) {
    count = std::min<int>(count, static_cast<int>(v.size()));
    n = std::clamp(n, 0, std::max(count, 0));
    if (n == 0) return;
    recs.resize(count);
    for (int i = 0; i < count; ++i) recs[i] = {v[i] > ENERGY_CUT ? 10000.0 : v[i], i};
    if (sorted)
        std::partial_sort(recs.begin(), recs.begin() + n, recs.end(), by_number);
    else if (n < count)
        std::nth_element(recs.begin(), recs.begin() + n, recs.end(), by_number);
    for (int k = 0; k < n; ++k) out[k] = static_cast<int>(recs[k].index);
}

int SampleEWRT(const std::vector<double>& v, int n, double cut, int* out) {
    const int count = static_cast<int>(v.size());
    std::vector<sortdata> recs(count);
    for (int i = 0; i < count; ++i) recs[i] = {v[i] > ENERGY_CUT ? REJECTED : v[i], i};
    std::sort(recs.begin(), recs.end(), by_number);
    int p = 0;
    while (p < count && recs[p].value <= cut) ++p;
    const int r = std::min(p - 1, n);
    for (int k = 0; k < r; ++k) out[k] = static_cast<int>(recs[k].index);
    return r;
}

void checkRMSD(const std::vector<double>& v, int* out) {
    const int m = std::min<int>(100, static_cast<int>(v.size()));
    std::vector<sortdata> recs(v.size());
    for (size_t i = 0; i < v.size(); ++i) recs[i] = {v[i], static_cast<int64_t>(i)};
    std::partial_sort(recs.begin(), recs.begin() + m, recs.end(), by_number);
    for (int k = 0; k < m; ++k) out[k] = static_cast<int>(recs[k].index);
}

}  // namespace lorvane
