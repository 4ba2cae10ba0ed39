#pragma once
// One pass over all intra-chain heavy-atom pairs of the training set, counted
// for the DFIRE table, the sampling pair table with its clash statistics and
// the ideal-gas QUENDA wall. The "pairs" command (pair_counts.cpp) turns the
// counts into those tables.
#include <cstdint>
#include <vector>

#include "params/pair_types.h"
#include "params/training_set.h"

namespace lorvane::params {

constexpr int QUENDA_CBINS = 150;    // 0.1 A bins counted to 15 A, where the ideal-gas reference is normalised
constexpr int CLASH_NBINS = 250;     // 0.1 A^2 bins, 0-25 A^2: short-range part kept per category
constexpr int NCAT = 5;              // pair categories of the clash statistics (below)

// Categories of non-bonded pairs (more than two bonds apart), as the sampler meets them:
enum PairCategory {
    CAT_INTRA = 0,     // same residue, at least one backbone atom (N CA C O)
    CAT_ADJ14 = 1,     // peptide-bonded neighbours, three bonds apart (1-4)
    CAT_ADJFAR = 2,    // peptide-bonded neighbours, four or more bonds apart
    CAT_SEP2 = 3,      // two residues apart along the chain
    CAT_FAR = 4,       // three or more apart, or neighbours across a chain break
};
inline constexpr const char* CATEGORY_NAME[NCAT] = {"same residue", "neighbours 1-4", "neighbours >1-4", "i,i+2", "i,i+3 and beyond"};

struct PairCounts {
    // Weighted counts (fixed point, see fixedWeight).
    std::vector<int64_t> dfire;      // [NPAIRS][30]  pairs of atoms in different residues, d < 15 A
    std::vector<int64_t> samp;       // [NPAIRS][640] |i-j| >= 2, a loop residue on either side, d < 8 A
    std::vector<int64_t> sampShell;  // [NPAIRS] the same loop contacts at 14.5-15 A (reference normalisation)
    std::vector<int64_t> quenda;     // [20][20][150] class pairs of loop contacts (symmetric), 0-15 A
    // Raw (unweighted) counts of non-bonded pairs by category.
    std::vector<uint32_t> clashHist;  // [NCAT][NPAIRS][250]
    std::vector<uint64_t> clashTot;   // [NCAT][NPAIRS] all with d < 8 A
    long chains = 0, residues = 0, atoms = 0;
    void reset();
};

// Counts every chain of the set (intra-chain pairs only).
void countPairs(const PairTypes& types, const TrainingSet& ts, int threads, PairCounts& c);
// Adds the pairs of one chain with its weight.
void countChain(const PairTypes& types, const TrainChain& ch, PairCounts& c);

}  // namespace lorvane::params
