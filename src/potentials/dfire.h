#pragma once
// DFIRE pair energy of a loop, and the CB neighbourhood of a residue.
#include "model/structure.h"
#include "potentials/atom_index.h"
#include "potentials/potentials.h"

namespace lorvane {

// DFIRE of loop start..end against itself and the rest of the chain: backbone-backbone
// pairs added to bb, everything else to sc.
void dfire_e(const Potentials& p, const AtomIndex& x, const Structure& s, int start, int end, double& bb, double& sc);
// Neighbour atoms of residue r's CB as (residue, slot, pair type) triples; stops
// (status 1) rather than write more than capacity triples. Absent atoms and
// unnumbered slots (glycine CB, proline H) are listed with type NO_PAIR_TYPE.
int getNeigh(const AtomIndex& x, const Structure& s, int r, int* out, int capacity = 2000);

}  // namespace lorvane
