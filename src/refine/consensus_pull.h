#pragma once
// Pull of the top-ranked loop toward the mean backbone of its cluster
// (measuring, -xconsensus): the mean of near-equal low-energy loops lies
// closer to the native than any one of them on short training loops, but it
// is no closed chain. Closure moves (moveLoop) walk the loop toward it, and
// only states whose weighted score sum stays below a ceiling, that of the
// loop ranked second, are taken, so the loop keeps its place at the top of the
// ranking (up to the shift its own new scores give the medians and spreads).
#include <vector>

#include "model/structure.h"
#include "refine/loop_refinement.h"

namespace lorvane {

// A target: the BACKBONE_SLOTS of each loop residue, in order.
using BackboneTarget = std::vector<Point>;

// Mean squared deviation of the loop's N, CA, C, O in s from target.
double targetDeviation(const Structure& s, int start, int end, const BackboneTarget& target);

struct PullOutcome {
    double deviationBefore = 0.0, deviationAfter = 0.0;  // targetDeviation, square angstroms
    LoopScores before{}, after{};
    int tried = 0, closed = 0, accepted = 0;
};

// Moves the closed loop in s (built, clear of the frame) by settings.pullMoves
// closure moves of settings.pullTurnDeg toward target: Metropolis on the deviation at
// settings.pullTemperature (square angstroms), any move that raises
// refineEnergy to ceiling or above refused. s ends in the state nearest to the
// target met (the start when none was nearer).
PullOutcome pullTowardTarget(const RefineContext& c, const RefineSettings& settings, const LoopScores& weights, double ceiling,
                             const BackboneTarget& target, Structure& s, RandomStream& random);

}  // namespace lorvane
