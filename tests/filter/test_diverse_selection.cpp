// Diversity-preserving selection (the protocol's diverse selection) on synthetic partial chains:
// leader clustering, duplicates, a full population, the round-robin order
// over clusters and rank order within them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

#include "filter/diverse_selection.h"
#include "support/expect_error.h"

using namespace lorvane;

namespace {

double rmsd(const std::vector<float>& v, int dim, int a, int b) {
    double s = 0.0;
    for (int q = 0; q < dim; ++q) {
        const double d = v[static_cast<size_t>(a) * dim + q] - v[static_cast<size_t>(b) * dim + q];
        s += d * d;
    }
    return std::sqrt(s / (dim / 3));
}

// count rows of `points` points: group g of `groups` sits around a centre
// 10 A from every other, each row jittered by up to `spread` A per coordinate.
std::vector<float> groupedRows(int count, int points, int groups, double spread, unsigned seed, std::vector<int>* groupOf = nullptr) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> jitter(-spread, spread);
    std::vector<float> v(static_cast<size_t>(count) * points * 3);
    if (groupOf) groupOf->assign(count, 0);
    for (int i = 0; i < count; ++i) {
        const int g = static_cast<int>(rng() % groups);
        if (groupOf) (*groupOf)[i] = g;
        for (int p = 0; p < points; ++p)
            for (int d = 0; d < 3; ++d) v[(static_cast<size_t>(i) * points + p) * 3 + d] = 10.0f * g * (d == 0) + 1.5f * p + jitter(rng);
    }
    return v;
}

}  // namespace

TEST(DiverseSelection, LeadersCoverEveryRowWithinTheRadius) {
    const int dim = 12, count = 600;
    const std::vector<float> v = groupedRows(count, dim / 3, 3, 1.0, 7);
    std::vector<int> rows(count);
    for (int i = 0; i < count; ++i) rows[i] = i;
    for (double r : {0.3, 0.8, 2.0}) {
        SCOPED_TRACE(r);
        const std::vector<int> lead = gridLeaders(v, dim, rows, r);
        ASSERT_EQ(lead.size(), rows.size());
        std::set<int> leaders;
        for (int i = 0; i < count; ++i) {
            if (lead[i] == i) leaders.insert(i);
            ASSERT_LE(lead[i], i) << "a leader comes before its members in rank order";
            EXPECT_LT(rmsd(v, dim, i, lead[i]), r) << "row " << i;
        }
        for (int i = 0; i < count; ++i) EXPECT_EQ(lead[lead[i]], lead[i]) << "a member's leader leads";
        // Two leaders whose growing ends share a grid cell are at least r apart.
        for (int a : leaders)
            for (int b : leaders) {
                if (a >= b) continue;
                const float* ea = &v[static_cast<size_t>(a) * dim + dim - 3];
                const float* eb = &v[static_cast<size_t>(b) * dim + dim - 3];
                bool sameCell = true;
                for (int d = 0; d < 3; ++d) sameCell = sameCell && std::floor(ea[d] / r) == std::floor(eb[d] / r);
                if (sameCell) {
                    EXPECT_GE(rmsd(v, dim, a, b), r) << a << " " << b;
                }
            }
    }
}

// Near the radius, a row joins a leader exactly when the summed squared
// deviation, added serially from the growing end back, is below the radius
// threshold: the fast sums must not move a decision at the boundary. A rigid
// shift puts the centroid difference itself at the radius, where the
// centroid bound must not decide either.
TEST(DiverseSelection, JoiningAtTheRadiusFollowsTheSerialSum) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const double r = 0.5;
    int joined = 0, apart = 0, rigidJoined = 0, rigidApart = 0;
    for (bool rigid : {false, true}) {
        for (int dim : {3, 6, 9, 12, 27, 45, 81, 96}) {
            const float thr = static_cast<float>(dim / 3 * r * r);
            for (double rel : {-2e-3, -1e-3, -1e-4, -1e-5, -1e-6, -1e-7, 0.0, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 2e-3})
                for (int trial = 0; trial < 20; ++trial) {
                    std::vector<float> v(2 * static_cast<size_t>(dim));
                    for (int q = 0; q < dim; ++q) v[q] = 0.3f + 0.05f * q + 0.2f * unit(rng);
                    // A deviation whose squared length is thr * (1 + rel), all of it
                    // away from the growing end so both ends share a grid cell (rigid:
                    // one shift for every point, ends too, so some trials leave the cell).
                    std::vector<double> dev(dim, 0.0);
                    double n2 = 0.0;
                    for (int q = 0; q < dim - 3; ++q) n2 += (dev[q] = unit(rng)) * dev[q];
                    if (dim == 3) n2 = (dev[0] = 1.0) * 1.0;
                    if (rigid) {
                        const double shift[3] = {unit(rng), unit(rng), unit(rng)};
                        n2 = 0.0;
                        for (int q = 0; q < dim; ++q) n2 += (dev[q] = shift[q % 3]) * dev[q];
                    }
                    const double scale = std::sqrt(thr * (1.0 + rel) / n2);
                    for (int q = 0; q < dim; ++q) v[dim + q] = static_cast<float>(v[q] + dev[q] * scale);
                    float serial = 0.0f;
                    for (int q = dim - 1; q >= 0; --q) {
                        const float e = v[dim + q] - v[q];
                        serial += e * e;
                    }
                    const float* ea = &v[dim - 3];
                    const float* eb = &v[2 * dim - 3];
                    bool sameCell = true;
                    for (int d = 0; d < 3; ++d) sameCell = sameCell && std::floor(ea[d] / r) == std::floor(eb[d] / r);
                    if (!sameCell) continue;
                    const std::vector<int> lead = gridLeaders(v, dim, {0, 1}, r);
                    EXPECT_EQ(lead[1] == 0, serial < thr) << "dim " << dim << " rel " << rel << " trial " << trial;
                    (serial < thr ? (rigid ? rigidJoined : joined) : (rigid ? rigidApart : apart)) += 1;
                }
        }
    }
    EXPECT_GT(joined, 200);
    EXPECT_GT(apart, 200);
    EXPECT_GT(rigidJoined, 50);
    EXPECT_GT(rigidApart, 50);
}

TEST(DiverseSelection, DuplicatesComeLastAndTheBestRankedStays) {
    const int dim = 9;
    std::vector<float> v = groupedRows(40, 3, 4, 2.0, 3);
    // Rows 20..39 repeat rows 0..19 to within 0.01 A.
    for (int i = 20; i < 40; ++i)
        for (int q = 0; q < dim; ++q) v[static_cast<size_t>(i) * dim + q] = v[static_cast<size_t>(i - 20) * dim + q] + 0.01f;
    for (int cap : {15, 20, 30, 100}) {
        SCOPED_TRACE(cap);
        DiverseOptions opt;
        opt.capacity = cap;
        const DiverseResult r = selectDiverse(v, 40, dim, opt);
        ASSERT_EQ(r.distinct, 20);
        ASSERT_EQ(static_cast<int>(r.order.size()), std::min(cap, 40));
        for (size_t k = 0; k < r.order.size(); ++k) {
            if (k < 20) {
                EXPECT_LT(r.order[k], 20) << "a repeat came before a distinct child";
            } else {
                EXPECT_EQ(r.order[k], static_cast<int>(k)) << "repeats in rank order";
            }
        }
        for (int i = 20; i < 40; ++i) EXPECT_EQ(r.cluster[i], -1);
    }
}

// Table-driven: capacities below, at and above the number of distinct rows,
// shares and children per cluster.
TEST(DiverseSelectionSlow, PopulationIsFullWheneverEnoughChildrenExist) {
    const int dim = 15, count = 3000;
    const std::vector<float> v = groupedRows(count, dim / 3, 6, 1.5, 11);
    for (int cap : {1, 50, 400, 2000, 5000}) {
        for (int few : {1, 2, 4}) {
            for (double share : {0.25, 0.5, 1.0}) {
                SCOPED_TRACE("capacity " + std::to_string(cap) + ", per cluster " + std::to_string(few) + ", share " + std::to_string(share));
                DiverseOptions opt;
                opt.capacity = cap;
                opt.perCluster = few;
                opt.clusterShare = share;
                const DiverseResult r = selectDiverse(v, count, dim, opt);
                EXPECT_EQ(static_cast<int>(r.order.size()), std::min(cap, count));
                const int clusterCap = std::max(1, static_cast<int>(share * cap / few));
                // Clusters fit their share unless the radius ladder has run out.
                EXPECT_TRUE(r.clusters <= clusterCap || r.radius * opt.radiusFactor > opt.maxRadius) << r.clusters << " at " << r.radius;
                EXPECT_LE(r.rounds, std::min(cap, few * r.clusters));
                std::set<int> seen(r.order.begin(), r.order.end());
                EXPECT_EQ(seen.size(), r.order.size()) << "a row kept twice";
                for (int k = 0; k < std::min(cap, r.distinct); ++k) EXPECT_GE(r.cluster[r.order[k]], 0) << "a duplicate before a distinct child";
            }
        }
    }
}

// No cluster gets its (m+1)-th child before every cluster has min(m, its
// size) children, for m below the per-cluster number; within a cluster the
// children come in rank order.
TEST(DiverseSelection, EveryClusterGetsOneBeforeAnyGetsTwo) {
    const int dim = 12, count = 2500;
    const std::vector<float> v = groupedRows(count, dim / 3, 5, 2.0, 5);
    for (int few : {1, 2, 3}) {
        SCOPED_TRACE(few);
        DiverseOptions opt;
        opt.capacity = 300;
        opt.perCluster = few;
        opt.clusterShare = 0.6;
        const DiverseResult r = selectDiverse(v, count, dim, opt);
        ASSERT_GT(r.distinct, opt.capacity) << "the case must need clustering";
        // After the rounds, the fill follows rank order.
        for (int k = r.rounds + 1; k < static_cast<int>(r.order.size()); ++k) EXPECT_GT(r.order[k], r.order[k - 1]) << k;
        ASSERT_GT(r.radius, opt.distinctRadius);
        std::map<int, int> size;
        for (int i = 0; i < count; ++i)
            if (r.cluster[i] >= 0) ++size[r.cluster[i]];
        ASSERT_EQ(static_cast<int>(size.size()), r.clusters);
        std::map<int, int> got;
        std::map<int, int> lastRow;
        for (size_t k = 0; k < r.order.size(); ++k) {
            const int x = r.order[k], c = r.cluster[x];
            const int m = got[c];  // children the cluster has before this one
            if (static_cast<int>(k) >= r.rounds) break;
            if (m < few && m >= 1) {
                for (const auto& [other, n] : size) {
                    ASSERT_GE(got[other], std::min(m, n)) << "cluster " << c << " got child " << m + 1 << " early";
                }
            }
            if (m < few && lastRow.count(c)) {
                EXPECT_GT(x, lastRow[c]) << "rank order within a cluster";
            }
            ++got[c];
            lastRow[c] = x;
        }
    }
}

TEST(DiverseSelection, EmptyInputsGiveNothing) {
    DiverseOptions opt;
    opt.capacity = 10;
    EXPECT_TRUE(selectDiverse({}, 0, 3, opt).order.empty());
    opt.capacity = 0;
    EXPECT_TRUE(selectDiverse(std::vector<float>(30, 0.0f), 10, 3, opt).order.empty());
}

// Random slots: the rank fill stops short by their number, they come last,
// each is a distinct child the rounds and the rank fill left, none twice;
// the same stream key gives the same draws; without slots nothing is drawn
// and the selection is the plain one. More slots than the fill leaves are
// cut to what it leaves.
TEST(DiverseSelection, RandomSlotsDrawFromTheChildrenLeftOut) {
    const int dim = 12, count = 2500;
    const std::vector<float> v = groupedRows(count, dim / 3, 5, 2.0, 5);
    DiverseOptions opt;
    opt.capacity = 300;
    const DiverseResult plain = selectDiverse(v, count, dim, opt);
    RandomStream untouched(42);
    EXPECT_EQ(selectDiverse(v, count, dim, opt, &untouched).order, plain.order);
    EXPECT_EQ(untouched.bits(), RandomStream(42).bits()) << "no draw without random slots";

    for (int slots : {1, 75, 299, 5000}) {
        SCOPED_TRACE(slots);
        opt.randomSlots = slots;
        RandomStream a(7), b(7);
        const DiverseResult r = selectDiverse(v, count, dim, opt, &a);
        ASSERT_EQ(static_cast<int>(r.order.size()), opt.capacity);
        EXPECT_EQ(selectDiverse(v, count, dim, opt, &b).order, r.order);
        const int drawn = std::min(slots, opt.capacity - r.rounds);
        const int ranked = opt.capacity - drawn;
        // Up to the random part, the same as the plain selection.
        EXPECT_TRUE(std::equal(r.order.begin(), r.order.begin() + ranked, plain.order.begin()));
        std::set<int> seen(r.order.begin(), r.order.end());
        EXPECT_EQ(static_cast<int>(seen.size()), opt.capacity) << "no child twice";
        const std::set<int> before(r.order.begin(), r.order.begin() + ranked);
        for (int k = ranked; k < opt.capacity; ++k) {
            const int x = r.order[k];
            EXPECT_FALSE(before.count(x));
            EXPECT_GE(r.cluster[x], 0) << "a distinct child, not a near-duplicate";
        }
        if (drawn >= 75) {
            // Drawn, not the next ones by rank.
            EXPECT_FALSE(std::is_sorted(r.order.begin() + ranked, r.order.end()));
        }
    }
    opt.randomSlots = 5;
    EXPECT_ERROR(selectDiverse(v, count, dim, opt), 1, "random");
}
