#pragma once
// The 167 residue-specific heavy-atom types of the pair tables, in the order
// the DFIRE file defines them, and the covalent topology that decides which
// atom pairs of a chain are bonded (1-2, 1-3), 1-4 or non-bonded.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "params/neighbour_grid.h"
#include "params/training_set.h"
#include "model/templates.h"
#include "potentials/potentials.h"

namespace lorvane::params {

constexpr int NPAIRS = NUM_PAIR_TYPES * (NUM_PAIR_TYPES + 1) / 2;  // unordered type pairs of the 167 types (potentials/potentials.h)
constexpr int UNBONDED = 99;                       // bond path of atoms the chain does not connect

// Index of the unordered pair (a, b) in the upper triangle, row-major.
inline int pairIndex(int a, int b) {
    if (a > b) std::swap(a, b);
    return a * NUM_PAIR_TYPES - a * (a - 1) / 2 + (b - a);
}

// Index of the unordered van der Waals class pair (c1, c2), classes 0..19.
inline int classPair(int c1, int c2) { return c1 < c2 ? c1 * QUENDA_CLASSES + c2 : c2 * QUENDA_CLASSES + c1; }

struct PairTypes {
    // Types numbered residue by residue (A C D ... Y), slots 0-3 then 5 .. lastDFire
    // (glycine: 0-3): every heavy atom, OXT excluded.
    int typeOf[20][TRAIN_SLOTS];  // -1 = no pair type
    std::string key[NUM_PAIR_TYPES];      // "RES ATOM" as the potential loader builds it
    std::string atomName[NUM_PAIR_TYPES];
    int vdwClass[NUM_PAIR_TYPES];         // van der Waals type code 1..20
    // Covalent graph distances between heavy slots of one residue type (bonds
    // of the template plus the ring closures of Pro, Phe, Tyr, His and Trp).
    int8_t bonds[20][TRAIN_SLOTS][TRAIN_SLOTS];  // 0 same atom, 1 bonded, ...; UNBONDED
    bool heavy[20][TRAIN_SLOTS];
};

// Built from the templates; throws Error unless exactly 167 types result.
PairTypes pairTypesFromTemplates(const Templates& t);

// Number of bonds on the shortest path between atom a of residue i and atom b
// of residue j of one chain; UNBONDED when the chain does not connect them
// (different residues not peptide-bonded, or further apart).
int bondPath(const PairTypes& t, const TrainChain& ch, int i, int a, int j, int b);

// Appends one line per unordered type pair, "RES1 ATOM1 RES2 ATOM2 e0 ... e(bins-1)",
// e[pairIndex * bins + bin] with the given decimals: the body of the DFIRE and
// sampling pair files.
void appendPairLines(std::string& out, const PairTypes& t, const std::vector<double>& e, int bins, int decimals);

// All heavy atoms of a chain that carry a pair type, in residue/slot order.
void chainAtoms(const PairTypes& t, const TrainChain& ch, std::vector<ChainAtom>& out);

}  // namespace lorvane::params
