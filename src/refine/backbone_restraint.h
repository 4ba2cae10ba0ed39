#pragma once
// Harmonic restraints on the loop's N-CA-C angles and peptide torsions around
// the train-derived means of the backbone angle table (backbone_angles.h), for
// the refinement's geometry moves. Each angle contributes ((x - mean) / sd)^2 / 2,
// so that at a Metropolis temperature equal to the restraint's weight the
// angles alone follow the training set's spread.
#include "distributions/backbone_angles.h"
#include "model/structure.h"

namespace lorvane {

// Sum over the N-CA-C angles of residues start..end and the peptide torsions
// CA(i) C(i) N(i+1) CA(i+1) of i = start..end-1 (against the trans mean of the
// type of i+1; the bonds to the frame do not move). The table must be loaded.
double backboneRestraint(const BackboneAngleTable& table, const Structure& s, int start, int end);

}  // namespace lorvane
