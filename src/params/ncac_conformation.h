#pragma once
// N-CA-C angle by backbone conformation for "ncac_phipsi.txt"
// (lorvane-params ncac-phipsi; see ncac_conformation.cpp).
#include <array>
#include <string>
#include <vector>

#include "distributions/ncac_conformation.h"
#include "params/training_set.h"

namespace lorvane::params {

constexpr double NCAC_CELL = 10.0;  // degrees
constexpr int NCAC_CELLS = 36;
constexpr double NCAC_SHRINK = 5.0;  // pseudo-weight pulling a cell's offset to zero

// One training residue's N-CA-C angle with its (phi, psi) and weight.
struct NcacSample {
    int type = 0;
    double phi = 0, psi = 0, tau = 0, weight = 1;
    int fold = 0;  // entry parity, for the cross-validation
};

// Residues of every DSSP class with phi and psi defined, a trans peptide bond
// before them, backbone B-factors at most maxB and N-CA-C within 100-125 degrees.
std::vector<NcacSample> collectNcacSamples(const TrainingSet& ts, double maxB);

struct NcacConformationFit {
    std::array<double, 20> mean{};
    std::array<std::vector<double>, NCAC_GROUPS> offset;  // group (ncacGroup) x cells x cells
};

// Weighted type means and the shrunk mean residual per (group, phi cell, psi
// cell), from the samples whose fold differs from `skipFold` (-1: all).
NcacConformationFit fitNcacConformation(const std::vector<NcacSample>& s, double shrink, int skipFold = -1);
// The fit's angle at (phi, psi): mean plus the offset of the cell (no interpolation).
double ncacFitted(const NcacConformationFit& f, int type, double phi, double psi);
// The table file.
std::string formatNcacConformation(const NcacConformationFit& f, double cellWidth);

}  // namespace lorvane::params
