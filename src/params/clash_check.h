#pragma once
// How often the clash wall of the sampling pair table hits real training
// pairs: printed by the "pairs" command.
#include <cstdint>
#include <string>

#include "params/sampling_pair_table.h"

namespace lorvane::params {

struct ClashCheck {
    uint64_t pairs[NCAT] = {}, insideClash[NCAT] = {}, aboveTen[NCAT] = {};
    // Native loop segments (runs of >= 3 coil residues, with their flanking
    // peptide bonds): flagged when an adjacent-residue or intra-residue pair
    // lies inside LJclash or where the table exceeds 10.
    long segments = 0, segBackboneClash = 0, segBackboneTen = 0, segAllClash = 0, segAllTen = 0;
    long residues = 0, resBackboneTen = 0, resAllTen = 0;
};

// Pair fractions come from the category histograms; segments from a pass over the chains.
void checkClashes(const PairTypes& types, const TrainingSet& ts, const PairCounts& c, const SamplingTable& t, int threads,
                  ClashCheck& out);
std::string describeClashCheck(const ClashCheck& k);

}  // namespace lorvane::params
