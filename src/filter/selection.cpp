// Selection stages of the filter that work on ranked id lists only: torsion
// bins, the sibling filter, the per-seed cap and the greedy leader
// clustering (all-against-batch distances by one single-precision matrix
// product per block of leaders).
#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <iostream>

#include "distributions/torsion_bin_rule.h"
#include "filter/filter.h"
#include "model/backbone_dihedrals.h"

namespace lorvane {

int foldBin(int bin) { return ((bin % NUM_BINS) + NUM_BINS) % NUM_BINS; }

int dihedralBin(double radians) {
    const double deg = radians * 180.0 * 0.318309886183791;
    return foldBin(static_cast<int>(std::floor((deg + 180.5) * 0.2)));
}

int torsionBin(double degrees, TorsionBinRule rule) {
    if (rule == TorsionBinRule::Centred) return torsionBinOf(degrees, rule);
    return foldBin(static_cast<int>(std::floor((degrees + 180.0) * 0.2)));
}

double torsionEnergy(const Distributions& d, TorsionBinRule rule, int type, double phiDeg, double psiDeg, int residue, int keyPrev,
                     int keyNext) {
    if (type < 0 || type >= NUM_TYPES || !std::isfinite(phiDeg) || !std::isfinite(psiDeg)) return INFINITY;
    const double p = torsionScoreProb(d, residue, type, torsionBin(phiDeg, rule), torsionBin(psiDeg, rule), keyPrev, keyNext);
    return p > 0.0 ? -std::log(p) : INFINITY;
}

double smoothTorsionEnergy(const Distributions& d, int type, double phiDeg, double psiDeg) {
    if (type < 0 || type >= NUM_TYPES || !std::isfinite(phiDeg) || !std::isfinite(psiDeg)) return INFINITY;
    const double width = 360.0 / NUM_BINS;
    const double u = (phiDeg + 180.0) / width, v = (psiDeg + 180.0) / width;
    const double fu = std::floor(u), fv = std::floor(v);
    const double tu = u - fu, tv = v - fv;
    const int a0 = foldBin(static_cast<int>(fu)), a1 = foldBin(a0 + 1);
    const int b0 = foldBin(static_cast<int>(fv)), b1 = foldBin(b0 + 1);
    const double p = (1.0 - tu) * ((1.0 - tv) * torsionBinProb(d, type, a0, b0) + tv * torsionBinProb(d, type, a0, b1)) +
                     tu * ((1.0 - tv) * torsionBinProb(d, type, a1, b0) + tv * torsionBinProb(d, type, a1, b1));
    return p > 0.0 ? -std::log(p) : INFINITY;
}

double loopTorsionEnergy(const Distributions& d, TorsionBinRule rule, const Structure& s, int start, int end, bool smooth) {
    double e = 0.0;
    for (int i = start; i <= end; ++i) {
        e += smooth ? smoothTorsionEnergy(d, s[i].type, phiAt(s, i), psiAt(s, i))
                    : torsionEnergy(d, rule, s[i].type, phiAt(s, i), psiAt(s, i), i, d.usesConformation(i) ? conformationKeyAt(s, i - 1) : -1,
                                    d.usesConformation(i) ? conformationKeyAt(s, i + 1) : -1);
    }
    return e;
}

std::vector<int> siblingFilter(SeedBuffers& seeds, const std::vector<int>& ranked, double T) {
    std::vector<int> kept;
    kept.reserve(ranked.size());
    // Accepted sibling indices per parent seed.
    int maxParent = -1;
    for (int id : ranked) maxParent = std::max(maxParent, id / CHILDREN);
    std::vector<std::vector<int>> accepted(maxParent + 1);
    for (int id : ranked) {
        const int p = id / CHILDREN, k = id % CHILDREN;
        std::vector<int>& acc = accepted[p];
        bool ok = true;
        if (T > 0.0) {
            const float* row = seeds.siblingDist(p, k);
            for (int t : acc)
                if (!(row[t] >= T)) {
                    ok = false;
                    break;
                }
        }
        if (ok) {
            acc.push_back(k);
            kept.push_back(id);
        }
    }
    return kept;
}

std::vector<int> perSeedCap(const std::vector<int>& ranked, int maxLoop, int nrep, int& cap) {
    cap = 106;
    const long long limit = 10LL * maxLoop;
    if (!(limit < 999999 && nrep < 106)) return ranked;
    std::vector<int> kept;
    int maxParent = -1;
    for (int id : ranked) maxParent = std::max(maxParent, id / CHILDREN);
    std::vector<int> perParent(maxParent + 1);
    auto pass = [&] {
        cap = static_cast<int>(std::floor(cap * 0.95));
        std::fill(perParent.begin(), perParent.end(), 0);
        kept.clear();
        for (int id : ranked) {
            int& n = perParent[id / CHILDREN];
            if (n < cap) {
                ++n;
                kept.push_back(id);
            }
        }
    };
    pass();
    while (limit < static_cast<long long>(kept.size()) && nrep < cap) pass();
    return kept;
}

std::vector<int> leaderCluster(const std::vector<float>& vecs, int count, int dim, double thr2, double budget, bool diag,
                               double radius) {
    std::vector<int> kept;
    std::vector<int> active(count);
    for (int i = 0; i < count; ++i) active[i] = i;
    std::vector<float> X, D;
    std::vector<double> norm;
    std::vector<uint8_t> removed;
    while (true) {
        const int n = static_cast<int>(active.size());
        int b = n == 0 ? 0 : static_cast<int>(std::floor(std::min<double>(n, budget / n)));
        if (n > 0 && b < 1) b = 1;  // a budget below one column still advances by one leader
        if (diag) std::cerr << "Processing " << b << " seeds per iteration" << std::endl;

        X.assign(static_cast<size_t>(n) * dim, 0.0f);
        norm.assign(n, 0.0);
        for (int i = 0; i < n; ++i) {
            const float* v = &vecs[static_cast<size_t>(active[i]) * dim];
            double s = 0.0;
            for (int q = 0; q < dim; ++q) {
                X[static_cast<size_t>(q) * n + i] = v[q];
                s += static_cast<double>(v[q]) * v[q];
            }
            norm[i] = s;
        }
        removed.assign(n, 0);
        // Distances to the batch's leaders are formed one block of columns at a time:
        // column j is only needed when leader j is reached.
        const int block = std::max(1, std::min(b, static_cast<int>(std::max<long long>(1, (1LL << 25) / std::max(n, 1)))));
        D.resize(static_cast<size_t>(n) * block);
        double mmTime = 0.0;
        for (int j0 = 0; j0 < b; j0 += block) {
            const int nb = std::min(block, b - j0);
            const std::clock_t t0 = std::clock();
            if (n > 0 && dim > 0)
                cblas_sgemm(CblasColMajor, CblasNoTrans, CblasTrans, n, nb, dim, -2.0f, X.data(), n, X.data() + j0, n, 0.0f, D.data(), n);
            else
                std::fill(D.begin(), D.end(), 0.0f);
            mmTime += static_cast<double>(std::clock() - t0) * 1e-6;
            for (int jj = 0; jj < nb; ++jj) {
                const int j = j0 + jj;
                if (removed[j]) continue;
                float* col = &D[static_cast<size_t>(jj) * n];
                const double nj = norm[j];
                for (int i = 0; i < n; ++i) {
                    if (i == j) continue;
                    const float d = static_cast<float>(col[i] + norm[i] + nj);
                    if (d < thr2) removed[i] = 1;
                }
            }
        }
        if (diag) std::cerr << "matmult: " << mmTime << std::endl;
        int u = 0;
        for (int i = 0; i < n; ++i) u += removed[i] ? 0 : 1;
        if (diag) std::cerr << "Num unique within " << radius << " " << u << " in all res" << std::endl;
        std::vector<int> next;
        for (int i = 0; i < n; ++i) {
            if (removed[i]) continue;
            if (i < b)
                kept.push_back(active[i]);
            else
                next.push_back(active[i]);
        }
        if (diag) std::cerr << "Kept so far: " << kept.size() << std::endl;
        if (b == n) break;
        active.swap(next);
    }
    return kept;
}

}  // namespace lorvane
