#pragma once
// DFIRE pair energies "dfire_pair.lib": 167 residue-specific heavy-atom
// types, 30 bins of 0.5 A to 15 A, distance-scaled finite ideal-gas reference
// (Zhou & Zhou 2002, Protein Sci 11:2714).
#include <string>
#include <vector>

#include "params/pair_counts.h"

namespace lorvane::params {

struct DfireParams {
    double alpha = 1.61;       // exponent of the distance-scaled finite ideal-gas reference
    double rt = 0.6;           // kcal/mol
    double pseudo = 5.0;       // pseudo-count, in expected counts, towards the class-pair ratio
    double minRatio = 1e-5;    // floor of observed/expected (caps the energy at -RT ln of it)
};

// energies [NPAIRS][30], bin b = distance [0.5 b, 0.5 b + 0.5)
void dfireEnergies(const PairTypes& types, const PairCounts& c, const DfireParams& p, std::vector<double>& e);
std::string formatDfire(const PairTypes& types, const std::vector<double>& e, const DfireParams& p);

}  // namespace lorvane::params
