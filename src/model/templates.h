#pragma once
// The residue and atom templates of "data/atomProp2.txt": for every residue
// type its atom slots in fixed order (0 N, 1 CA, 2 C, 3 O, 4 amide H, 5 CB,
// then the side chain), each slot's atom name, van der Waals type code and
// internal coordinates. Loaded once; read-only afterwards.
#include <map>
#include <string>

#include "model/residue_names.h"

namespace lorvane {

constexpr double FREE_CHI = -1234.0;  // template torsion of a slot placed by a chi angle
constexpr int SINCOS_TORSIONS = 108;  // -180 deg + 5 deg * k, k = 0..107 (72 bins and a half turn beyond)
constexpr int SINCOS_BONDS = 6;       // backbone slots 0..5 of residue type 0

struct Templates {
    int numAtom[NUM_TYPES] = {};                 // atom slots of the type
    std::string atomName[NUM_TYPES][MAX_ATOMS];  // PDB atom name without blanks
    int vdwType[NUM_TYPES][MAX_ATOMS] = {};      // van der Waals type code; >= 22 hydrogens
    // Slots A, B, C that place slot D: |CD| = bondLength, angle B-C-D = bondAngle,
    // dihedral A-B-C-D = torsion.
    int refAtoms[NUM_TYPES][MAX_ATOMS][3] = {};
    double bondLength[NUM_TYPES][MAX_ATOMS] = {};  // angstrom
    double bondAngle[NUM_TYPES][MAX_ATOMS] = {};   // radians
    double torsion[NUM_TYPES][MAX_ATOMS] = {};     // radians, or FREE_CHI
    // Slot of an atom: one-letter code + atom name -> slot.
    std::map<std::string, int> slotOf;
    // (sin, cos) of -180 deg + 5 deg * k and of pi - bondAngle[0][j], for the set builders.
    double sinCosTorsion[SINCOS_TORSIONS][2] = {};
    double sinCosBond[SINCOS_BONDS][2] = {};
    // (sin, cos) of pi - bondAngle and of torsion, every slot of every type (the side-chain placements).
    double sinCosAngleOf[NUM_TYPES][MAX_ATOMS][2] = {};
    double sinCosTorsionOf[NUM_TYPES][MAX_ATOMS][2] = {};

    // Slot of atom `name` in residue type t, -1 when the template has none.
    int slot(int t, const std::string& name) const;
};

// Upper bound of the distance from CB to any heavy side-chain atom of type t,
// whatever its dihedrals: the bond lengths summed along the path to CB.
// Negative when an atom is placed from neither CB nor an earlier side-chain atom.
double sideChainReach(const Templates& t, int type);

// Reads the atomtype, atomDependency, bondParameter and torsionAngle sections
// of path: a line "SECTION <name> 20" followed by one row per amino-acid type
// in type order; every other line is a comment. Each section must be there
// once, each row must give every atom of the type's atomtype row, numbers
// must be whole finite fields. Stops naming the file and line at fault.
Templates loadTemplates(const std::string& path);
// The same on a text already read.
Templates parseTemplates(class TableText& in);

}  // namespace lorvane
