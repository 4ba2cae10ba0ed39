#include "params/statistics.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace lorvane::params {

double weightedQuantile(std::vector<std::pair<float, float>>& v, double q) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    double total = 0;
    for (const auto& x : v) total += x.second;
    const double target = q * total;
    double acc = 0;
    for (const auto& x : v) {
        acc += x.second;
        if (acc >= target) return x.first;
    }
    return v.back().first;
}

bool weightedLeastSquares(const std::vector<double>& X, const std::vector<double>& y, const std::vector<double>& w, int k,
                          std::vector<double>& beta) {
    const size_t rows = y.size();
    beta.assign(static_cast<size_t>(k), 0.0);
    if (rows == 0 || k <= 0) return false;
    std::vector<double> scale(static_cast<size_t>(k), 0.0);
    for (size_t r = 0; r < rows; ++r)
        for (int c = 0; c < k; ++c) scale[c] = std::max(scale[c], std::fabs(X[r * k + c]));
    for (double& s : scale)
        if (s == 0) s = 1;
    std::vector<double> A(static_cast<size_t>(k) * (k + 1), 0.0);
    double trace = 0;
    for (size_t r = 0; r < rows; ++r) {
        if (w[r] <= 0) continue;
        for (int a = 0; a < k; ++a) {
            const double xa = X[r * k + a] / scale[a];
            for (int b = 0; b < k; ++b) A[a * (k + 1) + b] += w[r] * xa * X[r * k + b] / scale[b];
            A[a * (k + 1) + k] += w[r] * xa * y[r];
        }
    }
    for (int a = 0; a < k; ++a) trace += A[a * (k + 1) + a];
    if (trace <= 0) return false;
    for (int a = 0; a < k; ++a) A[a * (k + 1) + a] += 1e-12 * trace;
    // Gaussian elimination with partial pivoting.
    for (int c = 0; c < k; ++c) {
        int piv = c;
        for (int r = c + 1; r < k; ++r)
            if (std::fabs(A[r * (k + 1) + c]) > std::fabs(A[piv * (k + 1) + c])) piv = r;
        if (piv != c)
            for (int m = 0; m <= k; ++m) std::swap(A[c * (k + 1) + m], A[piv * (k + 1) + m]);
        const double d = A[c * (k + 1) + c];
        if (d == 0) return false;
        for (int r = 0; r < k; ++r) {
            if (r == c) continue;
            const double f = A[r * (k + 1) + c] / d;
            if (f == 0) continue;
            for (int m = c; m <= k; ++m) A[r * (k + 1) + m] -= f * A[c * (k + 1) + m];
        }
    }
    for (int c = 0; c < k; ++c) beta[c] = A[c * (k + 1) + k] / A[c * (k + 1) + c] / scale[c];
    return true;
}

double spearman(const std::vector<double>& x, const std::vector<double>& y) {
    const size_t n = x.size();
    auto ranks = [n](const std::vector<double>& v) {
        std::vector<size_t> idx(n);
        std::iota(idx.begin(), idx.end(), size_t{0});
        std::stable_sort(idx.begin(), idx.end(), [&](size_t a, size_t b) { return v[a] < v[b]; });
        std::vector<double> r(n);
        for (size_t i = 0; i < n;) {
            size_t j = i;
            while (j + 1 < n && v[idx[j + 1]] == v[idx[i]]) ++j;
            for (size_t k = i; k <= j; ++k) r[idx[k]] = 0.5 * static_cast<double>(i + j) + 1.0;
            i = j + 1;
        }
        return r;
    };
    if (n < 3) return NAN;
    const std::vector<double> a = ranks(x), b = ranks(y);
    double ma = 0, mb = 0;
    for (size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
    ma /= n, mb /= n;
    double sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < n; ++i) sab += (a[i] - ma) * (b[i] - mb), saa += (a[i] - ma) * (a[i] - ma), sbb += (b[i] - mb) * (b[i] - mb);
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : NAN;
}

}  // namespace lorvane::params
