#pragma once
// Helpers of the potentials tests: synthetic residues on top of the shared helpers.
#include "support/support.h"

namespace pot_test {

using namespace lorvane_test;

// Places atom `slot` of residue i with a van der Waals type (present).
inline void put(Structure& s, int i, int slot, int vdw, float x, float y, float z) {
    Atom& a = s.residues[i].atoms[slot];
    a.x = x, a.y = y, a.z = z;
    a.type = static_cast<int16_t>(vdw);
}

// A chain of n residues of one type with no atoms present.
inline void emptyChain(Structure& s, int n, int type, int numAtoms) {
    s.init(n);
    for (int i = 1; i <= n; ++i) {
        s.residues[i].type = static_cast<int16_t>(type);
        s.residues[i].numAtoms = static_cast<int16_t>(numAtoms);
    }
}

}  // namespace pot_test
