#pragma once
// Side chains and hydrogens from the templates' internal coordinates.
#include "model/structure.h"
#include "model/templates.h"

namespace lorvane {

// Heavy side-chain atoms 6..LAST_HEAVY_SLOT of r from its backbone and CB, the
// free dihedrals taken from chi in order (radians); sets numAtoms to the template's.
void calSCCoHeavy(const Templates& t, Residue& r, const double* chi);
// Upper bound of the distance from CB to any heavy side-chain atom of type t,
// whatever its dihedrals: the bond lengths summed along the path to CB.
// Negative when an atom is placed from neither CB nor an earlier side-chain atom.
double sideChainReach(const Templates& t, int type);
// Amide H (not for proline) and the hydrogens after the heavy atoms of residues from..to.
void calH(const Templates& t, Structure& s, int from, int to);

}  // namespace lorvane
