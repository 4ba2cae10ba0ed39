#pragma once
// Sampling pair table "QUENDApair.lib" (0.1 A^2 bins of d^2 to 64 A^2) from
// loop contacts, with the clash wall the loader turns into the clash distances (Potentials::ljClash).
#include <string>
#include <vector>

#include "params/pair_counts.h"

namespace lorvane::params {

struct SamplingParams {
    double alpha = 1.61;
    double pseudo = 5.0;          // pseudo-count towards the class-pair ratio
    double sigma = 0.07;          // Gaussian smoothing in r (A)
    double shellFrom = 14.5;      // reference normalised on the loop contacts at shellFrom-15 A
    double cap = 5.0;             // energies above the wall never exceed this (kT)
    double quantile = 0.0002;     // per-category low quantile of the observed distances ...
    double margin = 0.1;          // ... less this many A is the clash distance
    int minCount = 200;           // categories with fewer pairs use their class-pair statistics
    double minClash = 1.5;        // no clash distance below this (A)
    double wallBase = 100.0;      // wall energy at the crossing; rises by wallSlope per bin inwards
    double wallSlope = 1.0;
};

struct SamplingTable {
    std::vector<double> e;     // [NPAIRS][640]
    std::vector<int> wall;     // [NPAIRS] first bin below 100 (k); LJclash = (k - 1) * 0.1
};

void samplingTable(const PairTypes& types, const PairCounts& c, const SamplingParams& p, SamplingTable& t);
std::string formatSampling(const PairTypes& types, const SamplingTable& t, const SamplingParams& p);

}  // namespace lorvane::params
