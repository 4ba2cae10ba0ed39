#pragma once
// DFIRE pair energy of a loop, and the CB neighbourhood of a residue.
#include "model/structure.h"
#include "potentials/atom_index.h"
#include "potentials/potentials.h"

namespace lorvane {

// DFIRE energy of a pair of types a, b at distance d (below 15 A), each table
// value capped at 10: the value of d's 0.5 A bin or, smooth, the straight line
// between the centres of the two bins around d (flat outside the first and
// last centre), so that the energy follows small moves instead of stepping at
// bin edges. The two agree at every bin centre.
double dfirePairEnergy(const Potentials& p, int a, int b, double d, bool smooth);

// DFIRE of loop start..end against itself, the rest of the chain and the typed
// hetero atoms: backbone-backbone pairs added to bb, everything else to sc.
void dfire_e(const Potentials& p, const AtomIndex& x, const Structure& s, int start, int end, double& bb, double& sc,
             bool smooth = false);
// A hetero atom k among the neighbours: (HETERO_NEIGHBOUR, k, pair type). Position 0
// is the chain's seed residue, never a neighbour.
constexpr int HETERO_NEIGHBOUR = 0;

// Neighbour atoms of residue r's CB (within 15 A) as (residue, slot, pair type)
// triples, the typed hetero atoms last; stops (status 1) rather than write more
// than capacity triples. Absent atoms and unnumbered slots (glycine CB, proline
// H) are listed with type NO_PAIR_TYPE.
int getNeigh(const AtomIndex& x, const Structure& s, int r, int* out, int capacity = 2000);

}  // namespace lorvane
