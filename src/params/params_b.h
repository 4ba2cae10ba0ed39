#pragma once
// Atom-pair potentials (DFIRE, the sampling pair table, the QUENDA loop
// potential) and OSCAR side-chain parameters of lorvane-params, exposed for
// the validation command and the tests.
#include <cstdint>
#include <string>
#include <vector>

#include "model/structure.h"
#include "params/loop_decoys.h"
#include "params/params_b_common.h"
#include "params/training_set.h"

using namespace lorvane;

namespace paramsb {

// ---------------- pair counts ----------------

constexpr int DFIRE_NBINS = 30;      // 0.5 A bins, 0-15 A
constexpr int SAMP_NBINS = 640;      // 0.1 A^2 bins, 0-64 A^2
constexpr int QUENDA_NBINS = 80;     // 0.1 A bins, 0-8 A
constexpr int QUENDA_CBINS = 150;    // counted to 15 A, where the reference is normalised
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
    std::vector<int64_t> sampShell;  // [NPAIRS] the same loop contacts at 14.5-15 A (reference normalisation)
    std::vector<int64_t> quenda;   // [20][20][150] class pairs as quenda_e visits them (symmetric), 0-15 A
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
    double shellFrom = 14.5;      // reference normalised on the loop contacts at shellFrom-15 A
    double cap = 5.0;             // energies above the wall never exceed this (kT)
    double quantile = 0.0002;     // per-category low quantile of the observed distances ...
    double margin = 0.1;          // ... less this many A is the clash distance
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
    double tailFrom = 14.5;     // reference normalised over tailFrom-15 A (counts go to 15 A)
    double maxEnergy = 10.0;   // kT
};

// energies [20][20][80]; classes with no data of their own borrow another
// class's counts (OXT, class 20, is a carboxylate oxygen).
// expected: the reference-state count of each bin (written with the observed count for inspection).
void quendaEnergies(const PairCounts& c, const QuendaParams& p, std::vector<double>& e, std::vector<double>& expected);
std::string formatQuenda(const PairCounts& c, const std::vector<double>& e, const std::vector<double>& expected,
                         const QuendaParams& p);

// ---------------- QUENDA from native loops against their decoys ----------------
// The shipped table (src/params/quenda_decoys.cpp): contacts of native training
// loops against those of their perturbed-dihedral decoys; the ideal-gas
// energies above only supply the short-range wall.

constexpr int QUENDA_SIZE = NCLASSES * NCLASSES * QUENDA_NBINS;  // [p][q][k]; counts use p <= q only

inline int quendaIndex(int p, int q, int k) {
    if (p > q) { int t = p; p = q; q = t; }
    return (p * NCLASSES + q) * QUENDA_NBINS + k;
}

// Adds to counts[quendaIndex(type(a) - 1, type(b) - 1, floor(10 d))] every atom pair that
// quenda_e(s, start, end, true, ...) scores. Returns false as soon as a scored pair lies
// closer than `clash` (the counts are then incomplete).
bool countQuendaPairs(const Structure& s, int start, int end, double clash, std::vector<int>& counts);

// The chemical groups whose pooled ratios the class pairs are shrunk towards
// (class index = van der Waals code - 1).
constexpr int QUENDA_NGROUPS = 8;
extern const int QUENDA_GROUP[NCLASSES];

struct QuendaDecoyParams {
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

struct QuendaDecoyCounts {
    // Fixed point (WEIGHT_SCALE), [p][q][k] with p <= q: natives, and per loop the mean over its decoys,
    // each loop weighted by its chain's weight.
    std::vector<int64_t> native, decoy;
    long loops = 0, decoys = 0, skipped = 0;
    long made = 0, ramaRejected = 0, clashes = 0, closureFailures = 0, tooClose = 0;
    void reset();
};

// Counts the loops sites[k] with use[k] set (all when use is empty).
void countQuendaDecoys(const TrainingSet& ts, const std::vector<loopdecoys::LoopSite>& sites, const std::vector<char>& use,
                       const loopdecoys::Rama& rama, const QuendaDecoyParams& p, int threads, QuendaDecoyCounts& c);

// Energies [p][q][k] (both orders filled): E = -ln R, R the class pair's native / scaled-decoy
// ratio of the smoothed counts shrunk towards its group pair's ratio, that towards all pairs',
// that towards 1; clamped to [-cap, cap]. Below the first bin where the ideal-gas energy
// `wall` ([p][q][k], quendaEnergies) falls under wallFrom, and below wallBelow, the wall's
// energy, at least wallFrom and non-increasing with distance (no wall when `wall` is empty).
// scale receives N_native / N_decoy (1 when perStructure).
void quendaDecoyEnergies(const QuendaDecoyCounts& c, const std::vector<double>& wall, const QuendaDecoyParams& p, std::vector<double>& e,
                         double* scale = nullptr);
std::string formatQuendaDecoy(const QuendaDecoyCounts& c, const std::vector<double>& e, const QuendaDecoyParams& p);

// The whole derivation: wall from the pair counts, loops and decoys, energies, QUENDA_ed4_8_V3.txt in o.out.
void deriveQuendaTable(const TrainingSet& ts, const PairCounts& counts, const ParamsOptions& o, const QuendaDecoyParams& qp);

}  // namespace paramsb

namespace paramsb {

// ---------------- OSCAR side-chain parameters ----------------

constexpr int OSCAR_NCLASS = 16;      // PF::atomtype
constexpr int OSCAR_DBINS = 100;      // 0.1 A distance bins, 0-10 A
constexpr int OSCAR_OBINS = 8;        // bins per cosine in the contact shell
constexpr int OSCAR_OCELLS = OSCAR_OBINS * OSCAR_OBINS * OSCAR_OBINS;
constexpr int OSCAR_NPAIRS = OSCAR_NCLASS * (OSCAR_NCLASS + 1) / 2;
constexpr int CHI_BINS = 36;          // 10-degree bins

inline int oscarPairIndex(int a, int b) {
    if (a > b) { int t = a; a = b; b = t; }
    return a * OSCAR_NCLASS - a * (a - 1) / 2 + (b - a);
}

struct GroupAtom {
    int slot = -1, cls = -1, nnb = 0;
    int nb[3] = {-1, -1, -1};
};

// Polar/functional-group records of data/dipole.fress by residue type.
struct DipoleTable {
    std::vector<GroupAtom> atoms[20];
    int group[20][TRAIN_SLOTS];  // index into atoms[type], -1 = not a group atom
};
// Reads the records (format of PF::InitPar's dipole reader); stops with a message on errors.
DipoleTable readDipole(const std::string& path);
int oscarClassIndex(const std::string& name);  // -1 when not one of the 16 classes
bool oscarPlanarClass(int cls);

// oscar_e's rule for scoring side-chain atom a of residue i (type ti) with atom b of residue j.
bool oscarPairScored(int ti, int i, int a, int j, int b);

struct OscarCounts {
    std::vector<int64_t> dist;     // [OSCAR_NPAIRS][100], weighted
    std::vector<int64_t> orient;   // [OSCAR_NPAIRS][512] contact shell, (c1, c2, c3) with c1 the lower class
    std::vector<int64_t> chi;      // [20][5][36]
    long pairs = 0, residuesWithChis = 0;
    void reset();
};

struct OscarParams {
    double shell = 5.0;          // orientation statistics from pairs closer than this (A)
    double alpha = 1.61;         // distance reference exponent
    double tailFrom = 9.5;       // reference normalised over tailFrom-10 A
    double pseudo = 5.0;         // pseudo-count towards the pooled ratio
    double cap = 5.0;            // |distance energy| target at most this (kT)
    double orientPseudo = 5.0;
    double fMin = 0.2, fMax = 1.8;  // range of the orientation factor
    double chiEpsilon = 0.01;    // uniform share mixed into P(chi)
    double maxSideChainB = 40.0; // side chains with a larger B-factor are left out of P(chi)
};

struct OscarFit {
    double pcs[20][5][6] = {};
    double pb[OSCAR_NCLASS][OSCAR_NCLASS][14] = {};
    // quality
    double chiR2[20][5] = {}, chiRms[20][5] = {};
    double pairR2[OSCAR_NPAIRS] = {}, pairDepth[OSCAR_NPAIRS] = {}, pairRmin[OSCAR_NPAIRS] = {};
    double orientR2[OSCAR_NPAIRS] = {}, orientScale[OSCAR_NPAIRS] = {};
    double pairCount[OSCAR_NPAIRS] = {};
};

void countOscar(const TrainingSet& ts, const DipoleTable& dip, const OscarParams& p, int threads, OscarCounts& c);
void countOscarChain(const TrainChain& ch, const DipoleTable& dip, const OscarParams& p, OscarCounts& c);
void fitOscar(const OscarCounts& c, const OscarParams& p, OscarFit& fit);
std::string formatOscar(const OscarFit& fit);
std::string describeOscarFit(const OscarCounts& c, const OscarFit& fit);

// Fourier coefficients (C0 cos x + C1 sin x + C2 cos 2x + C3 sin 2x + C4 cos 3x + C5 sin 3x, constant
// dropped) of the least-squares fit to y on `n` equally spaced angles -180 + (k + 0.5) 360/n degrees.
void fourierFit(const double* y, int n, double c[6]);

}  // namespace paramsb
