#pragma once
// Side chains and hydrogens from the templates' internal coordinates.
#include "model/structure.h"
#include "model/templates.h"

namespace lorvane {

// Heavy side-chain atoms 6..LAST_HEAVY_SLOT of r from its backbone and CB, the
// free dihedrals taken from chi in order (radians); sets numAtoms to the template's.
void calSCCoHeavy(const Templates& t, Residue& r, const double* chi);
// Side-chain atom k of r placed from its template references with dihedral
// dih (radians) into out: calCo's point, with the template's sines and cosines.
void placeSideChainAtom(const Templates& t, const Residue& r, int k, double dih, Point& out);
// Amide H (not for proline) and the hydrogens after the heavy atoms of residues from..to.
void calH(const Templates& t, Structure& s, int from, int to);

}  // namespace lorvane
