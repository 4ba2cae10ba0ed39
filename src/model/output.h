#pragma once
// Atom records of the result file.
#include <ostream>

#include "model/structure.h"
#include "model/templates.h"

namespace lorvane {

// "ATOM  " records of the heavy atoms (no amide H, no glycine CB) of residues
// from..to, serial numbers from 1, chain A, 3 decimals, nothing after column 54.
void writeAtomRecords(const Templates& t, const Structure& s, int from, int to, std::ostream& out);

}  // namespace lorvane
