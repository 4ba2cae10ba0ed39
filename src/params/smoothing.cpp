#include "params/smoothing.h"

#include <cmath>
#include <vector>

#include "model/geometry.h"
#include "params/chain_geometry.h"

namespace lorvane::params {

void vonMisesSmooth(const double* in, double* out, double sigmaDeg) {
    const double s = sigmaDeg * DEG2RAD;
    const double kappa = 1.0 / (s * s);
    double k[TBINS];
    double sum = 0;
    for (int d = 0; d < TBINS; ++d) {
        k[d] = std::exp(kappa * (std::cos(d * 5.0 * DEG2RAD) - 1.0));
        sum += k[d];
    }
    for (double& x : k) x /= sum;
    std::vector<double> tmp(TBINS * TBINS, 0.0);
    // along psi (second index)
    for (int a = 0; a < TBINS; ++a)
        for (int b = 0; b < TBINS; ++b) {
            double v = 0;
            for (int c = 0; c < TBINS; ++c) v += in[a * TBINS + c] * k[(b - c + TBINS) % TBINS];
            tmp[a * TBINS + b] = v;
        }
    // along phi (first index)
    for (int a = 0; a < TBINS; ++a)
        for (int b = 0; b < TBINS; ++b) {
            double v = 0;
            for (int c = 0; c < TBINS; ++c) v += tmp[c * TBINS + b] * k[(a - c + TBINS) % TBINS];
            out[a * TBINS + b] = v;
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
