#pragma once
// Backbone angle statistics of coil residues for "backbone_angles.txt"
// (lorvane-params backbone-angles; see backbone_angles.cpp).
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "params/training_set.h"

namespace lorvane::params {

constexpr int NCAC_BINS = 50;
constexpr double NCAC_LO = 100.0, NCAC_WIDTH = 0.5;

// Weighted mean and standard deviation.
struct Moments {
    double w = 0, s = 0, s2 = 0;
    void add(double x, double weight) { w += weight, s += weight * x, s2 += weight * x * x; }
    double mean() const { return w > 0 ? s / w : 0.0; }
    double sd() const { return w > 0 ? std::sqrt(std::max(0.0, s2 / w - mean() * mean())) : 0.0; }
};

struct BackboneAngleCounts {
    std::vector<double> hist;  // 20 x NCAC_BINS weights
    Moments ncac[20], omega[20];
    double cisW[20] = {}, allW[20] = {};
    long used = 0, outside = 0, trans = 0, cis = 0;
};

// Coil residues (class C) with backbone B-factors at most maxB.
BackboneAngleCounts collectBackboneAngles(const TrainingSet& ts, double maxB);
// The table file; stops when a residue type has no data.
std::string formatBackboneAngles(const BackboneAngleCounts& c);

}  // namespace lorvane::params
