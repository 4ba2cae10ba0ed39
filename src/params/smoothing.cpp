#include "params/smoothing.h"

#include <cmath>
#include <vector>

#include "model/geometry.h"
#include "params/chain_geometry.h"

namespace lorvane::params {

void vonMisesSmooth(const double* in, double* out, double sigmaDeg) {
    const double s = sigmaDeg * DEG2RAD;
    const double kappa = 1.0 / (s * s);
    double k[BB_BINS];
    double sum = 0;
    for (int d = 0; d < BB_BINS; ++d) {
        k[d] = std::exp(kappa * (std::cos(d * 5.0 * DEG2RAD) - 1.0));
        sum += k[d];
    }
    for (double& x : k) x /= sum;
    std::vector<double> tmp(BB_BINS * BB_BINS, 0.0);
    // along psi (second index)
    for (int a = 0; a < BB_BINS; ++a)
        for (int b = 0; b < BB_BINS; ++b) {
            double v = 0;
            for (int c = 0; c < BB_BINS; ++c) v += in[a * BB_BINS + c] * k[(b - c + BB_BINS) % BB_BINS];
            tmp[a * BB_BINS + b] = v;
        }
    // along phi (first index)
    for (int a = 0; a < BB_BINS; ++a)
        for (int b = 0; b < BB_BINS; ++b) {
            double v = 0;
            for (int c = 0; c < BB_BINS; ++c) v += tmp[c * BB_BINS + b] * k[(a - c + BB_BINS) % BB_BINS];
            out[a * BB_BINS + b] = v;
        }
}

void gaussBlur16(const double* in, double* out, double sigmaCells, int reach) {
    constexpr int N = 16;
    std::vector<double> k(2 * reach + 1);
    for (int d = -reach; d <= reach; ++d) k[d + reach] = std::exp(-0.5 * d * d / (sigmaCells * sigmaCells));
    double sum = 0;
    for (double x : k) sum += x;
    for (double& x : k) x /= sum;
    double tmp[N * N] = {};
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) {
            double v = 0;
            for (int d = -reach; d <= reach; ++d)
                if (j + d >= 0 && j + d < N) v += in[i * N + j + d] * k[d + reach];
            tmp[i * N + j] = v;
        }
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) {
            double v = 0;
            for (int d = -reach; d <= reach; ++d)
                if (i + d >= 0 && i + d < N) v += tmp[(i + d) * N + j] * k[d + reach];
            out[i * N + j] = v;
        }
}

}  // namespace lorvane::params
