#pragma once
// Conformation-dependent backbone torsion bins "phipsi.nc.txt": for every
// coil residue type and every conformation key (the 90-degree (phi, psi) cell)
// of its previous or next residue, the probability of each 5 x 5 degree bin.
// Consecutive loop residues are not independent (turns pair alpha-R with
// alpha-R, beta with alpha-L); the growth step knows the placed neighbour's
// angles, so it can score a candidate by them.
#include <string>
#include <vector>

#include "params/neighbour_torsion.h"
#include "params/training_set.h"

namespace lorvane::params {

struct ConformationCounts {
    std::vector<double> hist;  // [side 2: previous, next][type 20][key 16][phi 72][psi 72], class C, weighted
    long used = 0;
};

// Same residue filters as collectPhipsi, class-C residues; a side counts when
// that neighbour's (phi, psi) is defined (any class).
void collectConformationPhipsi(const TrainingSet& ts, const NeighbourParams& p, const std::vector<char>* useChain, ConformationCounts& c);
std::string formatConformationPhipsi(const std::vector<double>& tables);
// Both steps from the training chains (useChain: optional mask); returns the residues used.
long deriveConformationPhipsi(const TrainingSet& ts, const NeighbourParams& p, const std::vector<char>* useChain, std::vector<double>& base,
                              std::vector<double>& tables);

}  // namespace lorvane::params
