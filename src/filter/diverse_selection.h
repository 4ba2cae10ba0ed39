#pragma once
// Diversity-preserving selection of the next population (the protocol's
// diverse selection): the
// children are clustered by their partial chains (bucketed by the position
// of the growing end) at the finest radius whose clusters fit a share of the
// population; every cluster gets its best child by energy before any cluster
// gets a second, up to a few per cluster, and the population is then filled
// from the remaining ranked children. Energy decides within a cluster and in
// the fill, diversity between clusters. Near-duplicates of a better-ranked
// child come last: they fill only what distinct children cannot.
#include <vector>

#include "growth/random.h"
#include "model/geometry.h"

namespace lorvane {

struct DiverseOptions {
    int capacity = 0;              // population slots
    int perCluster = 1;            // children per cluster before filling by rank
    double clusterShare = 0.5;     // share of the capacity the cluster rounds may take
    double distinctRadius = 0.25;  // A: children closer than this (RMSD) are one
    double startRadius = 0.25;     // first clustering radius tried
    double radiusFactor = 1.25;    // ladder of radii
    double maxRadius = 20.0;
    // Slots (at most those the rank fill leaves) drawn uniformly from the
    // distinct children not yet kept, after the rank fill; 0: none, and
    // nothing is drawn.
    int randomSlots = 0;
};

struct DiverseResult {
    std::vector<int> order;  // rows kept, in commit order
    int distinct = 0;        // rows left after merging duplicates
    int clusters = 0;        // clusters at the radius used
    double radius = 0.0;     // clustering radius used (A)
    std::vector<int> cluster;  // per row: the row leading its cluster; -1 for a duplicate of an earlier row
    int rounds = 0;            // entries of order placed by the cluster rounds (the first ones)
};

// Greedy leader clustering of rows (positions into vecs, in rank order) at
// RMSD radius r: a row joins a leader found among the earlier leaders whose
// growing end (the last three floats of a row) lies in one of the 27 grid
// cells of size r around its own, when their RMSD over all dim / 3 points is
// below r; otherwise it leads. Returns, per entry of rows, the row of its leader.
std::vector<int> gridLeaders(const std::vector<float>& vecs, int dim, const std::vector<int>& rows, double radius);

// Selection over count rows of dim floats (row i at vecs[i * dim], rank order).
// random gives the draws of opt.randomSlots (none needed when it is 0).
DiverseResult selectDiverse(const std::vector<float>& vecs, int count, int dim, const DiverseOptions& opt,
                            RandomStream* random = nullptr);

}  // namespace lorvane
