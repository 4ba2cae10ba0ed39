#pragma once
// Safeguards of the last step that keep a run from ending empty (the
// protocol's clashTolerance and fallback; both off is the classic pipeline).
//
// - The final frame check with a tolerance (frameClash, tolerant): a loop atom
//   clashes with the frame only when it comes closer than its clash distance
//   (never below 2.0 A) less FRAME_CLASH_TOLERANCE, and a cysteine SG within
//   bonding distance of another SG is a disulfide bond, not a clash (the bond
//   graph of the atom index has no disulfides).
// - Fallback: when no loop passes the final refinement, the best loops found
//   that closed and keep their backbone (and CB) clear of the frame are
//   written anyway, in rank order, and listed as flagged beside the result
//   file (<prefix>.flagged.txt beside <prefix>.txt).
#include <string>

#include "model/structure.h"

namespace lorvane {

constexpr double FRAME_CLASH_TOLERANCE = 0.3;  // A
constexpr double DISULFIDE_SG_SG = 2.5;        // A: SG-SG closer than this is a bond

// Cysteines i and j joined by a disulfide, and slots a and b atoms of that bond (SG-SG, or CB-SG across it).
bool disulfidePair(const Structure& s, int i, int a, int j, int b);

// The flagged list beside a result file: <prefix>.flagged.txt for <prefix>.txt.
std::string flaggedFilePath(const std::string& resultPath);

}  // namespace lorvane
