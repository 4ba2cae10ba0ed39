#pragma once
// Atom-pair potentials (DFIRE, the sampling pair table, the QUENDA loop
// potential) and OSCAR side-chain parameters of lorvane-params, exposed for
// the validation command and the tests.
#include <cstdint>
#include <string>
#include <vector>

#include "params/params_b_common.h"
#include "params/training_set.h"

namespace paramsb {

// ---------------- pair counts ----------------

constexpr int DFIRE_NBINS = 30;      // 0.5 A bins, 0-15 A
constexpr int SAMP_NBINS = 640;      // 0.1 A^2 bins, 0-64 A^2
constexpr int QUENDA_NBINS = 80;     // 0.1 A bins, 0-8 A
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
extern const char* const CATEGORY_NAME[NCAT];

struct PairCounts {
    // Weighted counts (fixed point, see fixedWeight).
    std::vector<int64_t> dfire;    // [NPAIRS][30]  pairs of atoms in different residues, d < 15 A
    std::vector<int64_t> samp;     // [NPAIRS][640] |i-j| >= 2, a loop residue on either side, d < 8 A
    std::vector<int64_t> quenda;   // [20][20][80]  class pairs as quenda_e visits them (symmetric)
    // Raw (unweighted) counts of non-bonded pairs by category.
    std::vector<uint32_t> clashHist;  // [NCAT][NPAIRS][250]
    std::vector<uint64_t> clashTot;   // [NCAT][NPAIRS] all with d < 8 A
    long chains = 0, residues = 0, atoms = 0;
    void reset();
};

// Counts every chain of the set (intra-chain pairs only).
void countPairs(const TrainingSet& ts, int threads, PairCounts& c);
// Adds the pairs of one chain with the given weight (exposed for tests).
void countChain(const TrainChain& ch, PairCounts& c);

// ---------------- DFIRE ----------------

struct DfireParams {
    double alpha = 1.61;       // exponent of the distance-scaled finite ideal-gas reference
    double rt = 0.6;           // kcal/mol
    double pseudo = 5.0;       // pseudo-count, in expected counts, towards the class-pair ratio
    double minRatio = 1e-5;    // floor of observed/expected (caps the energy at -RT ln of it)
};

// energies [NPAIRS][30], bin b = distance [0.5 b, 0.5 b + 0.5)
void dfireEnergies(const PairCounts& c, const DfireParams& p, std::vector<double>& e);
std::string formatDfire(const std::vector<double>& e, const DfireParams& p);

// ---------------- sampling pair table ----------------

struct SamplingParams {
    double alpha = 1.61;
    double pseudo = 5.0;          // pseudo-count towards the class-pair ratio
    double sigma = 0.07;          // Gaussian smoothing in r (A)
    double tailFrom = 7.5;        // reference normalised over r in [tailFrom, 8)
    double cap = 5.0;             // energies above the wall never exceed this (kT)
    double quantile = 0.0005;     // per-category low quantile of the observed distances ...
    double margin = 0.05;         // ... less this many A is the clash distance
    int minCount = 200;           // categories with fewer pairs use their class-pair statistics
    double minClash = 1.5;        // no clash distance below this (A)
    double wallBase = 100.0;      // wall energy at the crossing; rises by wallSlope per bin inwards
    double wallSlope = 1.0;
};

struct SamplingTable {
    std::vector<double> e;     // [NPAIRS][640]
    std::vector<int> wall;     // [NPAIRS] first bin below 100 (k); LJclash = (k - 1) * 0.1
    std::vector<int> source;   // [NPAIRS] category that set the clash distance (+NCAT: class-pair data)
};

void samplingTable(const PairCounts& c, const SamplingParams& p, SamplingTable& t);
std::string formatSampling(const SamplingTable& t, const SamplingParams& p);
// PF::LJclash as the loader derives it from one table line.
double ljclashOf(const double* e);

// Clash statistics of a table on the training pairs.
struct ClashCheck {
    uint64_t pairs[NCAT] = {}, insideClash[NCAT] = {}, aboveTen[NCAT] = {};
    // Native loop segments (runs of >= 3 coil residues, with their flanking
    // peptide bonds): flagged when an adjacent-residue or intra-residue pair
    // lies inside LJclash or where the table exceeds 10.
    long segments = 0, segBackboneClash = 0, segBackboneTen = 0, segAllClash = 0, segAllTen = 0;
    long residues = 0, resBackboneTen = 0, resAllTen = 0;
};
// Pair fractions come from the category histograms; segments from a pass over the chains.
void checkClashes(const TrainingSet& ts, const PairCounts& c, const SamplingTable& t, int threads, ClashCheck& out);
std::string describeClashCheck(const ClashCheck& k);

// ---------------- QUENDA loop potential ----------------

struct QuendaParams {
    double alpha = 1.61;
    double pseudo = 5.0;
    double tailFrom = 7.5;
    double maxEnergy = 10.0;   // kT
};

// energies [20][20][80]; classes with no data of their own borrow another
// class's counts (OXT, class 20, is a carboxylate oxygen).
// expected: the reference-state count of each bin (written with the observed count for inspection).
void quendaEnergies(const PairCounts& c, const QuendaParams& p, std::vector<double>& e, std::vector<double>& expected);
std::string formatQuenda(const PairCounts& c, const std::vector<double>& e, const std::vector<double>& expected,
                         const QuendaParams& p);

}  // namespace paramsb
