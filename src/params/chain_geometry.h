#pragma once
// Angles measured on training chains, as the tables bin them: backbone
// dihedrals, torsion bins, and chi angles measured exactly as the templates
// rebuild the side chains.
#include <cstddef>
#include <cstdint>

#include "params/training_set.h"

namespace lorvane::params {

// Torsion bin (of NUM_BINS, model/geometry.h) of an angle in degrees: bin k is centred on
// -180 + 5k and covers [-182.5 + 5k, -177.5 + 5k), wrapped periodically.
int torsionBin(double deg);

// Backbone dihedrals of residue i of a chain in degrees; false when the
// residue is a chain end or next to a break, or a needed atom is absent.
bool phiPsi(const TrainChain& c, size_t i, double& phi, double& psi);
// omega of the peptide bond i -> i+1 (CA C N CA) in degrees; false if undefined.
bool omegaAfter(const TrainChain& c, size_t i, double& omega);

// Chi angles (degrees) of a residue from its atoms, measured exactly as the
// templates build them: for every free template dihedral of slot j (torsion
// -1234) with reference slots (A, B, C), the dihedral A-B-C-j. Returns the
// number of chis, or -1 when one of the atoms is absent.
int chiAngles(const Templates& t, int type, const Point* atoms, uint16_t present, double chi[5]);
int numChis(int type);
// Period of chi k of a residue type: 180 for the two-fold symmetric
// Phe chi2, Tyr chi2, Asp chi2 and Glu chi3, otherwise 360.
double chiPeriod(int type, int k);
// Absolute angular difference |a - b| on a circle of the given period.
double angDiff(double a, double b, double period);
// a wrapped into [-period/2, period/2).
double wrapAngle(double a, double period);

}  // namespace lorvane::params
