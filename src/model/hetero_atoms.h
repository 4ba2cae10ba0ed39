#pragma once
// Atoms of an entry that are fixed environment but not standard amino acids:
// ligands, cofactors, ions, modified amino acids (and waters on request). Each
// borrows the potential types of the nearest template atom of the program
// ("PHE CZ" for an aromatic CH, "ASP OD1" for a phosphate oxygen, ...) and
// gets a contact radius. The chemistry and its sources: docs/hetero-atoms.md.
#include <string>
#include <vector>

#include "model/entry.h"

namespace lorvane {

struct EnvironmentAtom {
    std::string chain;
    ResidueId residue;
    std::string residueName;  // as in the file ("GNP", "MG", "SEP")
    std::string atomName;     // as in the file
    std::string element;      // upper case
    double x = 0, y = 0, z = 0;
    // The template atom whose pair-potential and van der Waals types the atom takes.
    std::string templateResidue, templateAtom;
    double radius = 0;  // contact radius, A: van der Waals radius, ionic radius for metal ions
    bool metal = false;  // a metal ion: coordinated, not bonded
    std::string rule;   // the chemistry that decided, e.g. "phosphate or sulfate O"
    std::vector<int> bonded;  // covalent neighbours in the same residue, as indices in the returned list
};

// Every heavy atom (hydrogen and deuterium left out) of the entry's Hetero and
// Modified residues, and of its waters when keepWater is set, in entry order.
std::vector<EnvironmentAtom> environmentAtoms(const Entry& entry, bool keepWater);

}  // namespace lorvane
