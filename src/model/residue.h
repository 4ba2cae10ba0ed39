#pragma once
// A residue: 30 atom slots in fixed template order (0 N, 1 CA, 2 C, 3 O,
// 4 amide H, 5 CB, then side chain), its backbone dihedrals and chi angles.
#include <cstdint>

#include "model/atom.h"
#include "model/residue_names.h"

namespace lorvane {

constexpr double UNDEF_DIHEDRAL = 999.99;  // a dihedral that could not be measured

class Residue {
public:
    Atom atoms[MAX_ATOMS];
    int16_t type = -1;
    int16_t numAtoms = MAX_ATOMS;
    int16_t ss = 2;  // SS_HELIX, SS_STRAND or SS_COIL
    double phi = UNDEF_DIHEDRAL, psi = UNDEF_DIHEDRAL, omega = UNDEF_DIHEDRAL;  // degrees
    double chi[5] = {UNDEF_DIHEDRAL, UNDEF_DIHEDRAL, UNDEF_DIHEDRAL, UNDEF_DIHEDRAL, UNDEF_DIHEDRAL};
    int pdbNum = 0;
    char icode = ' ';  // insertion code, blank when none
    bool missingHeavy = false;

    Residue() { init(); }
    Residue(const Residue& o) { *this = o; }
    // Copies the atoms 0..numAtoms-1 of o and resets the others, except that the two
    // slots after o's last one keep an OXT or extra N-terminal H that o holds there.
    Residue& operator=(const Residue& o);
    // Every slot empty, no type, dihedrals undefined (pdbNum and icode are kept).
    void init();
};

}  // namespace lorvane
