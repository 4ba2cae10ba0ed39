#pragma once
// The refinement pass over a finished result file: the best loops by the
// program's ranking, one per cluster, are refined (loop_refinement.h) and
// written back in their places with their scores measured again (as the
// final step scores a loop, so within the file's rounding of an untouched
// loop); every other loop is written back as it was. The file keeps its format and its loop numbers.
// With RefineSettings::repack every loop's side chains are first repacked and
// the loop scored again, unless the repacked loop fails the side-chain check or
// touches the frame; the best loops are then picked on the new scores. With
// RefineContext::smooth every loop is first scored again with the smooth terms,
// and with RefineSettings::rescore with the program's terms as it stands.
#include <cstdint>
#include <string>

#include "model/structure.h"
#include "refine/loop_refinement.h"

namespace lorvane {

struct RefineSummary {
    int loops = 0;       // conformations in the file
    int repacked = 0;    // side chains repacked (RefineSettings::repack); the others failed it and stay
    int refined = 0;     // of them refined
    int improved = 0;    // refined to a lower energy
    int64_t moves = 0, closed = 0, accepted = 0;
    // Consensus pull: loops averaged, and RMSD of the first loop to their mean before and after.
    int consensusMembers = 0;
    double deviationBefore = 0.0, deviationAfter = 0.0;
};

// Refines the result file at input and writes it to output (replaced only
// once complete; the same path refines in place).
// base is the working structure the loops were scored in; each loop is read
// into a copy of it. Loops are picked by the combined score, skipping any
// within CLUSTER_RADIUS backbone RMSD of one already picked. Each loop's
// moves draw from a stream keyed by runSeed and the loop's number, so the
// result does not depend on the threads.
RefineSummary refineResultFile(const RefineContext& c, const RefineSettings& settings, const Structure& base,
                               const std::string& input, const std::string& output, int64_t runSeed, int threads);

}  // namespace lorvane
