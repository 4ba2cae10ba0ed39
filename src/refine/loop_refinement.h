#pragma once
// Refinement of finished loops: Monte Carlo in continuous torsion space with
// the loop kept exactly closed on both anchors (closure_move.h), scored with
// the same four terms the final step writes (DFIRE, side chain, QUENDA,
// torsion), each divided by its spread over the run's written loops, so that
// the energy is the ranking's combined z up to a constant.
#include <array>
#include <vector>

#include "closure/tripeptide.h"
#include "distributions/distributions.h"
#include "distributions/torsion_bin_rule.h"
#include "growth/random.h"
#include "model/structure.h"
#include "model/templates.h"
#include "potentials/atom_index.h"
#include "potentials/potentials.h"
#include "potentials/rotamer_prior.h"

namespace lorvane {

// The four scores of a loop, in the order of the result file's LOOP line.
using LoopScores = std::array<double, 4>;

// What scoring and moving a loop needs; the structure is passed separately.
struct RefineContext {
    const Templates& tm;
    const Distributions& dist;
    const Potentials& pot;
    const AtomIndex& atoms;
    TorsionBinRule bins;
    bool tolerantClash;  // the final frame check's tolerance (final_safeguards.h)
    int start, end;      // the loop
    // Measuring (-xsmooth): DFIRE and the torsion score read between their bin
    // centres (dfirePairEnergy, smoothTorsionEnergy), so that the refinement's
    // small turns meet a continuous energy; every loop of the file is scored so.
    bool smooth = false;
    // Measuring (-xrotprior): repacking (RefineSettings::repack) also weighs
    // each rotamer's preference at its residue's (phi, psi).
    const RotamerPrior* rotamerPrior = nullptr;
};

// Moves and temperature: the best of three settings on training loops
// (docs/benchmark.md, "Refinement of the best loops"); off by default, as it
// did not pick better loops on a second set.
struct RefineSettings {
    int top = 0;               // loops refined: the best by combined score, each from another cluster; 0 = none
    int moves = 300;           // Monte Carlo moves per loop
    double temperature = 0.5;  // in combined-score units
    double turnDeg = 8.0;      // standard deviation of a dihedral turn, degrees
    // Geometry moves (measuring, -xrefinegeom): every move also bends its
    // window (bendWindow) by this share of each angle's training spread, and
    // the energy adds backboneRestraint weighted by the temperature.
    bool geometry = false;
    double bendStep = 0.5;
    // Side chains repacked from the rotamer table (measuring, -xrepack): every
    // loop of the file before the refinement, and after every move
    // (repackSideChains instead of refineSideChains).
    bool repack = false;
    // Every loop of the file scored again as it stands (measuring, -xrescore):
    // for loops whose coordinates came from elsewhere, such as a force-field
    // relaxation, so that they carry the program's own four scores.
    bool rescore = false;
    // Jump moves (measuring, -xrefinejump X): in one move of three, the one
    // or two residues turned (those just before the window) take a new phi/psi
    // drawn from their type's torsion-bin table (uniform within the bin)
    // instead of a small turn, and the temperature falls geometrically from
    // startTemperature to temperature over the moves, so that the search can
    // leave the basin the sampler put the loop in.
    bool jump = false;
    double startTemperature = 2.0;
    // Consensus pull (measuring, -xconsensus N): the loop ranked first is
    // pulled toward the mean backbone of the loops among the best N that lie
    // within CLUSTER_RADIUS of it (consensus_pull.h), instead of refining the
    // best loops. Small turns, as larger ones raise the energy past the loop
    // ranked second (2 degrees and 1000 moves: chosen on training loops of 6
    // residues); pullTemperature in square angstroms of mean deviation.
    int consensus = 0;
    int pullMoves = 1000;
    double pullTurnDeg = 2.0;
    double pullTemperature = 0.005;
};

// DFIRE, side chain, QUENDA (finalTerms) and loopTorsionEnergy of the loop in
// s (hydrogens built), as the final step scores a written loop (with
// RefineContext::smooth, the first and last interpolated).
LoopScores scoreLoop(const RefineContext& c, Structure& s);
// Weighted sum of scores (weights: 1 / spread of each score).
double refineEnergy(const LoopScores& scores, const LoopScores& weights);

struct RefineOutcome {
    LoopScores before{}, after{};  // scoreLoop at the start and of the state kept
    double restraintBefore = 0.0, restraintAfter = 0.0;  // weighted backbone restraint (geometry moves; else 0)
    int tried = 0, closed = 0, accepted = 0;
};

// One move of a closed loop in s: turn phi and psi of one or two residues
// before a random window of three, close the window (bent first with
// geometry moves), refine the side chains. closed: the window closed; clear:
// besides, the side chains fit and the loop keeps clear of the frame. s is
// left as moved either way (the caller restores). cum: each loop residue's
// cumulative torsion-bin table, needed for jump moves only.
struct MoveResult {
    bool closed = false, clear = false;
};
MoveResult moveLoop(const RefineContext& c, const RefineSettings& settings, const std::vector<std::vector<double>>& cum, Structure& s,
                    TripeptideClosure& solver, RandomStream& random);

// Refines the loop in s, which must be closed, built and clear of the frame:
// each move turns phi and psi of one or two residues before a random window
// of three, closes the window (bent first with geometry moves), refines the
// side chains and takes the move by the Metropolis rule when the loop stays
// clear of the frame. s ends in the lowest-energy state met (the start when
// none was lower).
RefineOutcome refineLoop(const RefineContext& c, const RefineSettings& settings, const LoopScores& weights, Structure& s,
                         RandomStream& random);

}  // namespace lorvane
