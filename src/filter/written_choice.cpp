// The loops written by backbone score: both terms need no side chains, so they
// can be weighed for every closed loop, not only the first ones in rank order.
#include "filter/written_choice.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "model/error.h"
#include "model/statistics.h"

namespace lorvane {

std::vector<int> lowestBackboneScore(const std::vector<double>& d1, const std::vector<double>& torsion, int count) {
    if (d1.size() != torsion.size())
        fail("lowestBackboneScore: " + std::to_string(d1.size()) + " backbone scores against " + std::to_string(torsion.size()) +
             " torsion scores");
    const int n = static_cast<int>(d1.size());
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    if (count >= n) return order;
    std::vector<double> a = d1, b = torsion;
    // A score that is not a number counts as the worst (the median's sort needs an order).
    for (std::vector<double>* v : {&a, &b})
        for (double& x : *v)
            if (std::isnan(x)) x = std::numeric_limits<double>::infinity();
    vMedMAD(a);
    vMedMAD(b);
    std::vector<double> z(n);
    for (int k = 0; k < n; ++k) z[k] = std::isnan(a[k] + b[k]) ? std::numeric_limits<double>::infinity() : a[k] + b[k];
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return z[x] < z[y]; });
    order.resize(std::max(count, 0));
    std::sort(order.begin(), order.end());
    return order;
}

}  // namespace lorvane
