#pragma once
// QUENDA loop distance potential: heavy-atom pairs by van der Waals class and
// 0.1 A distance bins up to 8 A, loop against everything around it.
#include "model/structure.h"
#include "potentials/potentials.h"

namespace lorvane {

// Loop start..end against the chain and its hetero atoms; partial sums are added to e1 (backbone of the
// loop with the frame and loop backbone), e2 (loop side chains with the frame), e3
// (loop side chains with each other) and e4 (loop backbone with loop side chains).
// allAtoms false scores only the backbone slots 0-5 of loop residues.
double quenda_e(const Potentials& p, const Structure& s, int start, int end, bool allAtoms, double& e1, double& e2, double& e3,
                double& e4);

}  // namespace lorvane
