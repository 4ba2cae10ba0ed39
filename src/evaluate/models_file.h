#pragma once
// The ranked models: the best conformations of a run as complete structures
// of the input entry (every chain, ligand and water as read, real chain IDs,
// numbering and insertion codes), one model per conformation in rank order,
// written with gemmi as PDB or, for an mmCIF input, as mmCIF.
#include <string>
#include <vector>

#include "evaluate/ranking.h"
#include "evaluate/result_file.h"
#include "model/entry.h"
#include "model/loop_selection.h"

namespace lorvane {

// PREFIX.models.pdb, or PREFIX.models.cif for an mmCIF entry.
std::string modelsFilePath(const std::string& prefix, EntryFormat format);

// The entry's first model with the loop's residues replaced by conformation
// c (its residues in loop order; residues missing from the coordinates are
// inserted between the anchors). Hydrogens of the loop residues go with the
// old coordinates. Stops (Error, status 1) when the conformation does not fit
// the loop (another residue count or residue name).
gemmi::Model modelWithLoop(const Entry& entry, const LoopSelection& loop, const ResultConformation& c);

// Writes the first `count` rows of `ranked` (all of them when fewer) to path:
// PDB with MODEL n / a REMARK 6 line (rank, result-file index, scores) /
// ENDMDL per model, or mmCIF with pdbx_PDB_model_num = rank and a
// _lorvane_model table of the same figures. Stops (Error, status 1) when the
// file cannot be written.
void writeModelsFile(const std::string& path, const Entry& entry, const LoopSelection& loop,
                     const std::vector<ResultConformation>& conformations, const std::vector<RankedConformation>& ranked, int count);

}  // namespace lorvane
