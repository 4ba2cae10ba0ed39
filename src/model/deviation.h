#pragma once
// Backbone deviations between two conformations of one chain (no superposition).
#include "model/structure.h"

namespace lorvane {

// RMSD over the backbone atoms grown between from and to: C, O of from; N, CA,
// C, O of every residue in between; N, CA of to. 0 for an empty range.
double rmsdg(const Structure& A, const Structure& B, int from, int to);
// The same over the two ends of a loop start..end grown alternately for k + 1
// steps: the part grown from start and the part grown from end.
double rmsdcut(const Structure& A, const Structure& B, int start, int end, int k);

}  // namespace lorvane
