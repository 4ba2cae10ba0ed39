#pragma once
// Global atom numbering of the working protein and its bond-derived pair
// maps, built once per run by buildAtomIndex before sampling.
#include <array>
#include <cstdint>
#include <vector>

#include "model/structure.h"
#include "model/templates.h"
#include "potentials/potentials.h"

namespace lorvane {

constexpr int MAX_GLOBAL_ATOMS = 20000;
constexpr int MAX_BONDED = 4;     // bonded neighbours per atom
constexpr int MAX_PARTNERS = 49;  // 1-3 or 1-4 partners per atom

// Glycine's CB and proline's amide H get no global number, present or not.
inline bool hasIndex(int type, int slot) { return !((type == GLY && slot == SLOT_CB) || (type == PRO && slot == SLOT_H)); }

// Dense byte matrix sized to the protein's atom count; m[a][b] addressing.
struct ByteMatrix {
    int n = 0;
    std::vector<uint8_t> data;
    void resize(int count) {
        n = count;
        data.assign(static_cast<size_t>(count) * static_cast<size_t>(count), 0);
    }
    uint8_t* operator[](int a) { return data.data() + static_cast<size_t>(a) * n; }
    const uint8_t* operator[](int a) const { return data.data() + static_cast<size_t>(a) * n; }
};

struct AtomIndex {
    int numAtoms = 0;
    // Global index of (residue 0..MAX_RESIDUES, slot); -1 for slots without a number
    // (glycine CB, proline amide H, slots beyond numAtoms, residues outside the chain).
    std::vector<std::array<int, MAX_ATOMS>> slotIndex;
    std::vector<std::array<int, 2>> atomOf;  // (residue, slot) of a global index
    std::vector<int> pairType;               // NO_PAIR_TYPE also for the OXT and extra N-terminal H
    std::vector<double> solvRadius;
    ByteMatrix nonBonded;  // 1 = non-bonded pair, 0 = 1-2 or 1-3
    ByteMatrix oneFour;    // 1 = 1-4 pair

    int index(int r, int slot) const { return slotIndex[r][slot]; }
    // Pair type of a slot; NO_PAIR_TYPE for a slot without a number.
    int typeOf(int r, int slot) const {
        const int g = slotIndex[r][slot];
        return g < 0 ? NO_PAIR_TYPE : pairType[g];
    }
};

// Every atom an environment list of s can hold: the numbered atoms of its
// residues and its hetero atoms (which have no number).
inline int environmentCapacity(const AtomIndex& x, const Structure& s) { return x.numAtoms + static_cast<int>(s.hetero.size()); }

// Numbers the atoms of s and builds every table above; stops (status 1) when the
// protein exceeds a capacity. Atoms must be typed first (typeAtoms).
AtomIndex buildAtomIndex(const Templates& t, const Structure& s);

}  // namespace lorvane
