#pragma once
// Global atom numbering of the working protein and its bond-derived pair
// maps, built once per protein by vsgb_setup before sampling.
#include <cstdint>
#include <vector>

#include "model/structure.h"

namespace lorvane {

constexpr int MAX_GLOBAL_ATOMS = 20000;
constexpr int MAX_BONDED = 4;     // bonded neighbours per atom
constexpr int MAX_PARTNERS = 49;  // 1-3 or 1-4 partners per atom (element 0 holds the count)

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

extern int numatom;
// Slots without a number (glycine CB, proline amide H, slots beyond numAtoms) hold -1.
extern int atomcountmap[MAX_RESIDUES + 1][30];
extern int revatomcountmap[MAX_GLOBAL_ATOMS][2];
extern int dftype[MAX_GLOBAL_ATOMS];  // 167 (never scored) also for the OXT and extra N-terminal H
extern double rsolv[MAX_GLOBAL_ATOMS];
extern int numconnect[MAX_GLOBAL_ATOMS];
extern int connect[MAX_GLOBAL_ATOMS][4];
extern int connect3[MAX_GLOBAL_ATOMS][50];
extern int connect4[MAX_GLOBAL_ATOMS][50];
extern ByteMatrix pairmap;     // 1 = non-bonded pair, 0 = 1-2 or 1-3
extern ByteMatrix onefourmap;  // 1 = 1-4 pair

// Numbers the atoms of s and builds every table above; stops (status 1) when the
// protein exceeds a capacity. Atoms must be typed first (typeAtoms).
void vsgb_setup(Structure& s);

}  // namespace lorvane
