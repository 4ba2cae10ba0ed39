// Random draws of the sampler.
#include "growth/random.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "potentials/potentials.h"

namespace lorvane {

double NormalDeviates::draw(double mean, double sd) {
    if (haveStored_) {
        haveStored_ = false;
        return mean + sd * stored_;
    }
    double v1, v2, s;
    do {
        v1 = 2.0 * std::rand() / RAND_SCALE - 1.0;
        v2 = 2.0 * std::rand() / RAND_SCALE - 1.0;
        s = v1 * v1 + v2 * v2;
    } while (!(s > 0.0 && s < 1.0));
    const double f = std::sqrt(-2.0 * std::log(s) / s);
    stored_ = static_cast<float>(v1 * f);
    haveStored_ = true;
    return mean + sd * v2 * f;
}

void SampleEWR(std::vector<double>& w, int n, int* out) {
    const int N = static_cast<int>(w.size());
    for (int i = 0; i < N; ++i) {
        if (w[i] < ENERGY_CUT) {
            const double u = (std::rand() + 0.5) / RAND_SCALE;
            w[i] += std::log(-std::log(u));
        }
    }
    std::vector<int> idx(N);
    for (int i = 0; i < N; ++i) idx[i] = i;
    const int m = std::min(std::max(n, 0), N);
    const double* key = w.data();
    auto less = [key](int a, int b) { return key[a] < key[b]; };
    // The perturbed entries (below 200) are usually a minority and come first:
    // order them, then only as many of the rest as the count still needs.
    auto low = std::partition(idx.begin(), idx.end(), [key](int i) { return key[i] < ENERGY_CUT; });
    const int nLow = static_cast<int>(low - idx.begin());
    if (nLow >= m) {
        std::nth_element(idx.begin(), idx.begin() + m, low, less);
        std::sort(idx.begin(), idx.begin() + m, less);
    } else {
        std::sort(idx.begin(), low, less);
        std::partial_sort(low, idx.begin() + m, idx.end(), less);
    }
    std::copy(idx.begin(), idx.begin() + m, out);
}

}  // namespace lorvane
