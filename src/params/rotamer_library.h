#pragma once
// Rotamer library "newsimplRot.txt": chi-angle sets per residue type,
// clustered hierarchically from the training side chains.
#include <string>
#include <vector>

#include "params/training_set.h"

namespace lorvane::params {

struct RotamerParams {
    double maxSideChainB = 40.0;  // side chains with a larger B-factor anywhere are left out
    double radius = 30.0;         // half-width (deg) of a cluster on each chi
    double minWeight = 0.004;     // least share of the type's side chains for a cluster
    double expandWeight = 0.05;   // rotamers with this share or more get +-1 s.d. neighbours on chi1 and chi2
    double minExpandSd = 5.0;     // ... when the spread on that chi is at least this (degrees)
    int maxPerType = 108;
};

struct Rotamer {
    double chi[4] = {};
    int node[4] = {-1, -1, -1, -1};  // cluster id per level: equal ids = shared leading chis
    double sd[4] = {};               // rms spread of the members about chi, degrees
    double weight = 0;
};

struct RotamerLibrary {
    std::vector<Rotamer> rot[20];
    long used[20] = {};
};

void buildRotamers(const Templates& t, const TrainingSet& ts, const RotamerParams& p, RotamerLibrary& lib);
std::string formatRotamers(const RotamerLibrary& lib);
// True when every chi of `chi` is within tol degrees of some rotamer (periodic, symmetric-aware).
bool rotamerCovered(const RotamerLibrary& lib, int type, const double* chi, double tol);

}  // namespace lorvane::params
