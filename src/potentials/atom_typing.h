#pragma once
// Potential classes of every atom of a protein before the global atom tables
// are built: atom names from the templates, van der Waals types for the loop
// residues, polar-group index and OSCAR class, DFIRE type.
#include "model/structure.h"

namespace lorvane {

// Loop residues loopStart..loopEnd also get their template van der Waals
// types, which marks every loop atom present.
void typeAtoms(Structure& s, int loopStart, int loopEnd);

}  // namespace lorvane
