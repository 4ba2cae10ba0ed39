#pragma once
// DFIRE pair energy of a loop, and the CB neighbourhood of a residue.
#include "model/structure.h"
#include "potentials/atom_index.h"
#include "potentials/potentials.h"

namespace lorvane {

// DFIRE of loop start..end against itself, the rest of the chain and the typed
// hetero atoms: backbone-backbone pairs added to bb, everything else to sc.
void dfire_e(const Potentials& p, const AtomIndex& x, const Structure& s, int start, int end, double& bb, double& sc);
// A hetero atom k among the neighbours: (HETERO_NEIGHBOUR, k, pair type). Position 0
// is the chain's seed residue, never a neighbour.
constexpr int HETERO_NEIGHBOUR = 0;

// Neighbour atoms of residue r's CB (within 15 A) as (residue, slot, pair type)
// triples, the typed hetero atoms last; stops (status 1) rather than write more
// than capacity triples. Absent atoms and unnumbered slots (glycine CB, proline
// H) are listed with type NO_PAIR_TYPE.
int getNeigh(const AtomIndex& x, const Structure& s, int r, int* out, int capacity = 2000);

}  // namespace lorvane
