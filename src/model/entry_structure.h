#pragma once
// The program's working structure built from a whole entry: one position per
// standard amino acid of every chain, chains in entry order and residues in
// file order (insertion-code residues included), the loop's residues that are
// missing from the coordinates inserted where they belong (without
// coordinates), chain breaks from the geometry, and the ligands, ions,
// modified residues (and waters on request) as fixed hetero atoms.
#include <string>
#include <vector>

#include "model/entry.h"
#include "model/loop_selection.h"
#include "model/structure.h"
#include "model/templates.h"

namespace lorvane {

struct EntryStructure {
    Structure protein{1};
    int loopStart = -1, loopEnd = -1;  // positions of the selected loop, -1 without one
    std::vector<std::string> notes;    // what the user should know, one line each
};

// loop may be null: the structure without a chosen loop (positions for
// -pdbIndex). With a loop, hetero residues covalently bonded to one of its
// present residues are left out of the environment (they would move with the
// loop), with a note. Stops (Error, status 1) past MAX_RESIDUES residues or
// MAX_CHAINS chains.
EntryStructure structureFromEntry(const Templates& t, const Entry& entry, const LoopSelection* loop, bool keepWater);

// Chain and residue of position i (for turning -pdbIndex positions into
// residues): false when i is no position.
bool residueAt(const Structure& s, int i, std::string& chain, ResidueId& id);

}  // namespace lorvane
