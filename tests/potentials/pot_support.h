#pragma once
// Helpers of the potentials tests: synthetic residues on top of the shared helpers.
#include <array>

#include "potentials/atom_index.h"
#include "potentials/clash.h"
#include "support/support.h"

namespace pot_test {

using namespace lorvane_test;

// Places atom `slot` of residue i with a van der Waals type (present).
inline void put(Structure& s, int i, int slot, int vdw, float x, float y, float z) {
    Atom& a = s.residues[i].atoms[slot];
    a.x = x, a.y = y, a.z = z;
    a.type = static_cast<int16_t>(vdw);
}

// The clash terms over lists whose pairs in reach are found for s itself.
inline double bbscHere(const Potentials& p, const ClashPairs& pairs, const Structure& s, double& e) {
    PairsInReach reach;
    findPairsInReach(p, pairs, s, reach);
    return vdw_bbsc(p, pairs, reach, s, e);
}
inline double scscHere(const Potentials& p, const ClashPairs& pairs, const Structure& s, double& e) {
    PairsInReach reach;
    findPairsInReach(p, pairs, s, reach);
    return vdw_scsc(p, pairs, reach, s, e);
}

// A chain of n residues of one type with no atoms present.
inline void emptyChain(Structure& s, int n, int type, int numAtoms) {
    s.init(n);
    for (int i = 1; i <= n; ++i) {
        s.residues[i].type = static_cast<int16_t>(type);
        s.residues[i].numAtoms = static_cast<int16_t>(numAtoms);
    }
}

// Global numbering by hand: every slot of every residue, in order, with pair type typeOf(k).
inline AtomIndex numberByHand(const Structure& s, int typeOf(int k)) {
    AtomIndex x;
    std::array<int, MAX_ATOMS> none;
    none.fill(-1);
    x.slotIndex.assign(MAX_RESIDUES + 1, none);
    for (int i = 1; i <= s._numRes; ++i)
        for (int k = 0; k < MAX_ATOMS; ++k) {
            if (k >= s.residues[i].numAtoms || (s.residues[i].type == GLY && k == 5)) continue;
            x.slotIndex[i][k] = static_cast<int>(x.atomOf.size());
            x.atomOf.push_back({i, k});
            x.pairType.push_back(typeOf(k));
        }
    x.numAtoms = static_cast<int>(x.atomOf.size());
    return x;
}
inline int typeBySlot(int k) { return k; }

// A hetero atom of residue "LIG A900" with van der Waals code vdw and pair type pairType (-1: none).
inline HeteroAtom heteroAt(float x, float y, float z, int vdw, int pairType, bool metal = false, double radius = 1.7) {
    HeteroAtom h;
    h.x = x, h.y = y, h.z = z;
    h.type = static_cast<int16_t>(vdw);
    h.dfireType = pairType;
    h.hasDfireType = pairType >= 0;
    h.metal = metal;
    h.radius = radius;
    h.residue = "LIG A900";
    return h;
}

}  // namespace pot_test
