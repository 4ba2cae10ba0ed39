#pragma once
// Backbone dihedrals and a three-state secondary structure from them.
#include "model/structure.h"

namespace lorvane {

enum SecondaryStructure { SS_HELIX = 0, SS_STRAND = 1, SS_COIL = 2 };

// Measures phi, psi and omega (degrees) of residues from..to, then classifies them (classifySS).
void assign_ss(Structure& s, int from, int to);
// Helix, strand or coil by (phi, psi) of each residue from..to; a strand residue whose
// neighbours are both of another class becomes coil. The chain's ends are coil.
void classifySS(Structure& s, int from, int to);

}  // namespace lorvane
