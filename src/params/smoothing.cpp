#include "params/smoothing.h"

#include <cmath>
#include <vector>

#include "model/geometry.h"
#include "params/chain_geometry.h"

namespace lorvane::params {

void vonMisesSmooth(const double* in, double* out, double sigmaDeg) {
    const double s = sigmaDeg * DEG2RAD;
    const double kappa = 1.0 / (s * s);
    double k[NUM_BINS];
    double sum = 0;
    for (int d = 0; d < NUM_BINS; ++d) {
        k[d] = std::exp(kappa * (std::cos(d * 5.0 * DEG2RAD) - 1.0));
        sum += k[d];
    }
    for (double& x : k) x /= sum;
    std::vector<double> tmp(NUM_BINS * NUM_BINS, 0.0);
    // along psi (second index)
    for (int a = 0; a < NUM_BINS; ++a)
        for (int b = 0; b < NUM_BINS; ++b) {
            double v = 0;
            for (int c = 0; c < NUM_BINS; ++c) v += in[a * NUM_BINS + c] * k[(b - c + NUM_BINS) % NUM_BINS];
            tmp[a * NUM_BINS + b] = v;
        }
    // along phi (first index)
    for (int a = 0; a < NUM_BINS; ++a)
        for (int b = 0; b < NUM_BINS; ++b) {
            double v = 0;
            for (int c = 0; c < NUM_BINS; ++c) v += tmp[c * NUM_BINS + b] * k[(a - c + NUM_BINS) % NUM_BINS];
            out[a * NUM_BINS + b] = v;
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
