// Diversity-preserving selection (see diverse_selection.h).
#include "filter/diverse_selection.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <unordered_map>

#include "filter/filter.h"
#include "model/error.h"

namespace lorvane {

namespace {

uint64_t cellKey(long ix, long iy, long iz) {
    // 21 bits per axis: +-1e6 cells, far beyond any protein at radii of 0.1 A and more.
    const uint64_t m = (1u << 21) - 1;
    return ((static_cast<uint64_t>(ix + (1 << 20)) & m) << 42) | ((static_cast<uint64_t>(iy + (1 << 20)) & m) << 21) |
           (static_cast<uint64_t>(iz + (1 << 20)) & m);
}

// Whether two rows lie within thr in summed squared deviation, as summed
// serially from the last float down (that sum is the definition). Six
// independent partial sums decide far faster; only a sum within a relative
// 1e-3 of thr, where their rounding could differ from the serial sum's (at
// most a few 1e-6 for rows of a few hundred floats), goes to the serial sum.
bool within(const float* v, const float* w, int dim, float thr) {
    const float hi = thr * 1.001f, lo = thr * 0.999f;
    float a[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    int q = dim;
    while (q >= 6) {
        q -= 6;
        for (int k = 0; k < 6; ++k) {
            const float e = v[q + k] - w[q + k];
            a[k] += e * e;
        }
        // Partial sums only grow: past hi the full sum is past thr too.
        if ((a[0] + a[1] + a[2]) + (a[3] + a[4] + a[5]) >= hi) return false;
    }
    while (q > 0) {
        --q;
        const float e = v[q] - w[q];
        a[0] += e * e;
    }
    const float s = (a[0] + a[1] + a[2]) + (a[3] + a[4] + a[5]);
    if (s >= hi) return false;
    if (s < lo) return true;
    float d = 0.0f;
    for (int k = dim - 1; k >= 0 && d < thr; --k) {
        const float e = v[k] - w[k];
        d += e * e;
    }
    return d < thr;
}

int countLeaders(const std::vector<int>& leaderOf, const std::vector<int>& rows) {
    int n = 0;
    for (size_t i = 0; i < rows.size(); ++i) n += leaderOf[i] == rows[i];
    return n;
}

}  // namespace

std::vector<int> gridLeaders(const std::vector<float>& vecs, int dim, const std::vector<int>& rows, double radius) {
    if (dim < 3 || dim % 3 != 0) fail("diverse selection: row length " + std::to_string(dim) + " is not a number of points");
    if (!(radius > 0.0)) fail("diverse selection: clustering radius must be positive");
    const int points = dim / 3;
    const float thr = static_cast<float>(points * radius * radius);  // summed squared deviations at RMSD = radius
    const double inv = 1.0 / radius;
    // Summed squared deviations are at least points * |centroid difference|^2,
    // so a leader whose centroid is that far away is passed over without
    // reading its row. The 1.001 margin covers the rounding of the float sum,
    // as in within(): the decision stays that of the serial sum.
    const double centroidCut = 1.001 * thr / points;
    auto centroidOf = [&](const float* v, double c[3]) {
        c[0] = c[1] = c[2] = 0.0;
        for (int q = 0; q < dim; q += 3)
            for (int d = 0; d < 3; ++d) c[d] += v[q + d];
        for (int d = 0; d < 3; ++d) c[d] /= points;
    };
    // Each cell keeps its leaders' rows side by side, so that a scan reads
    // memory in order rather than jumping through vecs.
    struct Cell {
        std::vector<int> rows;
        std::vector<float> data;
        std::vector<double> centroids;
    };
    std::unordered_map<uint64_t, Cell> cells;
    cells.reserve(rows.size() / 4 + 16);
    std::vector<int> leaderOf(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const float* v = &vecs[static_cast<size_t>(rows[i]) * dim];
        const float* end = v + dim - 3;
        const long cx = static_cast<long>(std::floor(end[0] * inv)), cy = static_cast<long>(std::floor(end[1] * inv)),
                   cz = static_cast<long>(std::floor(end[2] * inv));
        double c[3];
        centroidOf(v, c);
        int found = -1;
        for (long dx = -1; dx <= 1 && found < 0; ++dx)
            for (long dy = -1; dy <= 1 && found < 0; ++dy)
                for (long dz = -1; dz <= 1 && found < 0; ++dz) {
                    auto it = cells.find(cellKey(cx + dx, cy + dy, cz + dz));
                    if (it == cells.end()) continue;
                    const Cell& cell = it->second;
                    for (size_t l = 0; l < cell.rows.size(); ++l) {
                        const double* lc = &cell.centroids[3 * l];
                        const double ex = c[0] - lc[0], ey = c[1] - lc[1], ez = c[2] - lc[2];
                        if (ex * ex + ey * ey + ez * ez >= centroidCut) continue;
                        if (within(v, &cell.data[l * dim], dim, thr)) {
                            found = cell.rows[l];
                            break;
                        }
                    }
                }
        if (found < 0) {
            Cell& cell = cells[cellKey(cx, cy, cz)];
            cell.rows.push_back(rows[i]);
            cell.data.insert(cell.data.end(), v, v + dim);
            cell.centroids.insert(cell.centroids.end(), c, c + 3);
            found = rows[i];
        }
        leaderOf[i] = found;
    }
    return leaderOf;
}

DiverseResult selectDiverse(const std::vector<float>& vecs, int count, int dim, const DiverseOptions& opt, RandomStream* random) {
    DiverseResult res;
    if (count <= 0 || opt.capacity <= 0) return res;
    if (static_cast<size_t>(count) * dim > vecs.size()) fail("diverse selection: fewer coordinates than rows");
    std::vector<int> all(count);
    for (int i = 0; i < count; ++i) all[i] = i;
    const std::vector<int> dup = gridLeaders(vecs, dim, all, opt.distinctRadius);
    std::vector<int> distinct, repeats;
    for (int i = 0; i < count; ++i) (dup[i] == i ? distinct : repeats).push_back(i);
    res.distinct = static_cast<int>(distinct.size());
    res.cluster.assign(count, -1);
    const int cap = opt.capacity;
    const int few = std::max(opt.perCluster, 1);
    const int clusterCap = std::max(1, static_cast<int>(std::floor(std::clamp(opt.clusterShare, 0.0, 1.0) * cap / few)));

    // The finest radius of the ladder whose clusters fit clusterCap; every
    // distinct child its own cluster when they fit already.
    std::vector<int> leaderOf = distinct;
    double r = opt.distinctRadius;
    int clusters = res.distinct;
    if (clusters > clusterCap) {
        const double f = opt.radiusFactor > 1.0 ? opt.radiusFactor : 1.25;
        const double finest = opt.distinctRadius * f;
        r = std::max(opt.startRadius, finest);
        leaderOf = gridLeaders(vecs, dim, distinct, r);
        clusters = countLeaders(leaderOf, distinct);
        if (clusters <= clusterCap) {
            while (r / f >= finest * 0.999) {
                std::vector<int> finer = gridLeaders(vecs, dim, distinct, r / f);
                const int c = countLeaders(finer, distinct);
                if (c > clusterCap) break;
                r /= f;
                leaderOf.swap(finer);
                clusters = c;
            }
        } else {
            while (clusters > clusterCap && r * f <= opt.maxRadius) {
                r *= f;
                leaderOf = gridLeaders(vecs, dim, distinct, r);
                clusters = countLeaders(leaderOf, distinct);
            }
        }
    }
    res.clusters = clusters;
    res.radius = r;
    for (size_t i = 0; i < distinct.size(); ++i) res.cluster[distinct[i]] = leaderOf[i];

    // Rounds: every cluster's best child, then every cluster's second, ...
    std::unordered_map<int, int> taken;  // leader row -> children kept
    taken.reserve(static_cast<size_t>(clusters) * 2);
    std::vector<char> used(distinct.size(), 0);
    auto full = [&] { return static_cast<int>(res.order.size()) >= cap; };
    for (int round = 1; round <= few && !full(); ++round)
        for (size_t i = 0; i < distinct.size() && !full(); ++i) {
            if (used[i]) continue;
            int& n = taken[leaderOf[i]];
            if (n >= round) continue;
            ++n;
            used[i] = 1;
            res.order.push_back(distinct[i]);
        }
    res.rounds = static_cast<int>(res.order.size());
    // Then the rest by rank, leaving the random slots; then those, drawn from
    // the distinct children still out; near-duplicates only when nothing
    // distinct is left.
    const int randomSlots = std::clamp(opt.randomSlots, 0, cap - res.rounds);
    if (randomSlots > 0 && !random) fail("diverse selection: random slots without a random stream");
    const int rankCap = cap - randomSlots;
    for (size_t i = 0; i < distinct.size() && static_cast<int>(res.order.size()) < rankCap; ++i)
        if (!used[i]) {
            used[i] = 1;
            res.order.push_back(distinct[i]);
        }
    if (randomSlots > 0) {
        std::vector<int> out;
        for (size_t i = 0; i < distinct.size(); ++i)
            if (!used[i]) out.push_back(static_cast<int>(i));
        // Partial Fisher-Yates: the first draws of a shuffle of the rest.
        for (int d = 0; d < static_cast<int>(out.size()) && !full(); ++d) {
            std::swap(out[d], out[d + random->below(static_cast<int>(out.size()) - d)]);
            res.order.push_back(distinct[out[d]]);
        }
    }
    for (size_t i = 0; i < repeats.size() && !full(); ++i) res.order.push_back(repeats[i]);
    return res;
}

std::vector<int> diverseKeep(Sampler& run, const FilterPass& f, const std::vector<int>& ranked, DiverseMemory& memory) {
    SeedBuffers& B = run.seeds;
    const int step = f.step;
    if (step == 0) memory.radiusHint = 0.0;
    const int count = static_cast<int>(ranked.size());
    // Per path unit C and CA; then the new unit's C and CA; at the last step
    // the closure's C(c), C(c+1) and CA(c+1). The growing end comes last.
    const int dim = 6 * (step + 1) + (f.finalStep ? 9 : 0);
    std::vector<float> vecs(static_cast<size_t>(count) * dim);
    const int oldBuf = 1 - f.parity;
    if (f.finalStep && f.closurePoints.size() < f.children * 3) fail("diverse selection: closure points were not recorded");
    auto put = [](float*& v, const Point& p) {
        *v++ = p.x;
        *v++ = p.y;
        *v++ = p.z;
    };
    for (int i = 0; i < count; ++i) {
        const int id = ranked[i], p = id / CHILDREN;
        float* v = &vecs[static_cast<size_t>(i) * dim];
        for (int j = 0; j < step; ++j) {
            const Point* pts = B.atomC(oldBuf, j, p);
            put(v, pts[2]);
            put(v, pts[1]);
        }
        const Point* ub = B.unfBBAt(id);  // C, O, N, CA
        put(v, ub[0]);
        put(v, ub[3]);
        if (f.finalStep)
            for (int q = 0; q < 3; ++q) put(v, f.closurePoints[static_cast<size_t>(id) * 3 + q]);
    }
    DiverseOptions opt;
    opt.capacity = f.capacity;
    opt.perCluster = run.settings.protocol.perCluster;
    opt.clusterShare = run.settings.protocol.clusterShare;
    opt.startRadius = memory.radiusHint > 0.0 ? memory.radiusHint : opt.distinctRadius;
    if (!f.finalStep) opt.randomSlots = static_cast<int>(std::floor(run.settings.protocol.randomFill * f.capacity));
    memory.last = selectDiverse(vecs, count, dim, opt, &run.random);
    memory.radiusHint = memory.last.radius;
    const DiverseResult& r = memory.last;
    if (run.settings.diag)
        std::cout << "Diverse selection: " << count << " ranked, " << r.distinct << " distinct, " << r.clusters << " clusters within "
                  << r.radius << " A, " << r.order.size() << " kept" << std::endl;
    std::vector<int> K;
    K.reserve(r.order.size());
    for (int x : r.order) K.push_back(ranked[x]);
    return K;
}

}  // namespace lorvane
