#pragma once
// Which of the finished loops the last step writes.
#include <vector>

namespace lorvane {

// Positions (ascending, so in rank order) of the `count` loops of lowest
// backbone score z' = (d1 - median) / MAD + (torsion - median) / MAD over all
// the loops given: d1 the backbone part of their DFIRE score, torsion their
// torsion-bin energy. Equal z' goes to the earlier loop; every loop when
// there are no more than count.
std::vector<int> lowestBackboneScore(const std::vector<double>& d1, const std::vector<double>& torsion, int count);

}  // namespace lorvane
