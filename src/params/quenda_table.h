#pragma once
// QUENDA loop potential "QUENDA_ed4_8_V3.txt" from native training loops
// against their own decoys, with a short-range wall from the ideal-gas
// statistics of all coil contacts (quenda_table.cpp); its held-out check
// (quenda_holdout.cpp).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "model/structure.h"
#include "params/loop_decoys.h"
#include "params/options.h"
#include "params/pair_counts.h"
#include "potentials/quenda_pairs.h"

namespace lorvane::params {

constexpr int QUENDA_SIZE = QUENDA_CLASSES * QUENDA_CLASSES * QUENDA_BINS;  // [p][q][k]; counts use p <= q only

inline int quendaIndex(int p, int q, int k) {
    if (p > q) std::swap(p, q);
    return (p * QUENDA_CLASSES + q) * QUENDA_BINS + k;
}

// The chemical groups whose pooled ratios the class pairs are shrunk towards
// (class index = van der Waals code - 1): carbonyl/carboxyl C; aromatic C;
// aliphatic C (CA included); backbone N (and Pro N); sulfur; side-chain N;
// side-chain O; backbone O.
constexpr int QUENDA_NGROUPS = 8;
inline constexpr int QUENDA_GROUP[QUENDA_CLASSES] = {0, 1, 2, 2, 2, 1, 3, 4, 5, 5, 5, 5, 6, 7, 6, 4, 3, 0, 2, 6};

// ---- the wall: ideal-gas energies of all coil contacts ----

struct IdealGasParams {
    double alpha = 1.61;
    double pseudo = 5.0;
    double tailFrom = 14.5;    // reference normalised over tailFrom-15 A (counts go to 15 A)
    double maxEnergy = 10.0;   // kT
};

// Energies [p][q][k] (both orders) against the distance-scaled finite ideal
// gas; classes with no data of their own borrow another class's counts
// (OXT, class 20, is a carboxylate oxygen).
std::vector<double> idealGasQuenda(const PairTypes& types, const PairCounts& c, const IdealGasParams& p);

// ---- native loops against their decoys ----

// Adds to counts[quendaIndex(...)] every atom pair quenda_e scores with all
// atoms. Returns false as soon as a scored pair lies closer than `clash` (the
// counts are then incomplete).
bool countQuendaPairs(const Structure& s, int start, int end, double clash, std::vector<int>& counts);

struct QuendaParams {
    int loops = 450;            // training loops, spread evenly over the lengths
    int minLen = 4, maxLen = 12;
    double minRmsd = 2.0;       // decoys at least this far from the native (rmsdg, A)
    int perKind = 12;           // decoys kept per kind of draw (8 kinds: noise 20-120 degrees, resampling)
    int minDecoys = 3;          // loops with fewer decoys are left out
    double clash = 2.0;         // a scored pair closer than this drops the decoy (compare mode's rule)
    double sigma = 0.1;         // Gaussian smoothing of both counts along the distance (A); 0 = none
    double pseudo = 5.0;        // pseudo-count (summed per-loop counts) towards the pooled ratios
    bool groups = true;         // class pair -> chemical group pair -> all pairs; false: straight to all pairs
    bool perStructure = false;  // false: decoy counts scaled to the native total; true: per structure as counted
    double cap = 3.0;           // |E| at most this outside the wall
    double wallFrom = 8.0;      // the wall: bins below the first where the ideal-gas energy is under this ...
    double wallBelow = 2.0;     // ... and every bin below this distance (A), at least wallFrom
    uint64_t seed = 0x51A7E5EEDULL;
};

struct QuendaCounts {
    // Fixed point (WEIGHT_SCALE), [p][q][k] with p <= q: natives, and per loop the mean over its decoys,
    // each loop weighted by its chain's weight.
    std::vector<int64_t> native, decoy;
    long loops = 0, decoys = 0, skipped = 0;
    long made = 0, ramaRejected = 0, clashes = 0, closureFailures = 0, tooClose = 0;
    void reset();
    void add(const QuendaCounts& other);
};

// Random-number seed of one loop and kind of draw.
inline uint64_t quendaKindSeed(const QuendaParams& p, int site, int kind) {
    return p.seed + static_cast<uint64_t>(site) * 64u + static_cast<uint64_t>(kind);
}

// Counts the loops sites[k] with use[k] set (all when use is empty).
void countQuendaDecoys(const Templates& t, const TrainingSet& ts, const std::vector<LoopSite>& sites, const std::vector<char>& use, const Rama& rama,
                       const QuendaParams& p, int threads, QuendaCounts& c);

// Energies [p][q][k] (both orders filled): E = -ln R, R the class pair's native / scaled-decoy
// ratio of the smoothed counts shrunk towards its group pair's ratio, that towards all pairs',
// that towards 1; clamped to [-cap, cap]. Below the first bin where the ideal-gas energy
// `wall` falls under wallFrom, and below wallBelow, the wall's energy, at least wallFrom and
// non-increasing with distance (no wall when `wall` is empty).
// scale receives N_native / N_decoy (1 when perStructure).
void quendaEnergies(const QuendaCounts& c, const std::vector<double>& wall, const QuendaParams& p, std::vector<double>& e,
                    double* scale = nullptr);
std::string formatQuenda(const QuendaCounts& c, const std::vector<double>& e, const QuendaParams& p);

// The whole derivation: loops and decoys, energies with the wall, QUENDA_ed4_8_V3.txt in o.out.
void deriveQuendaTable(const Templates& t, const TrainingSet& ts, const std::vector<double>& wall, const Options& o, const QuendaParams& p);

// ---- held-out check ----

struct HoldoutSettings {
    bool variants = false;     // also every alternative setting of the derivation
    std::string oldTable;      // a table file to measure beside the new one
    std::string fittedHalfTable;  // where the table of the fitted half goes (none when empty)
    int perKind = 10;          // decoys per kind of draw on the held-out loops
};

// Fits on the loops of the even training entries and measures on those of
// the odd ones: decoys below the native, native lowest, Spearman of the
// energy with the RMSD, overall and by loop length.
void quendaHoldout(const Templates& t, const TrainingSet& ts, const std::vector<double>& wall, const Options& o, const QuendaParams& p,
                   const HoldoutSettings& h);

}  // namespace lorvane::params
