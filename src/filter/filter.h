#pragma once
// The filter of the sampler: after every growth step it scores all children
// in parallel, ranks them, thins near-duplicates and commits the survivors;
// at the last step it completes and refines the side chains and writes the
// result file. The production loop, which alternates growth steps and filter
// passes, lives here too (production.cpp).
#include <array>
#include <atomic>
#include <mutex>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "distributions/torsion_bin_rule.h"
#include "filter/diverse_selection.h"
#include "filter/step_probe.h"
#include "filter/weighting.h"
#include "growth/sampler.h"
#include "potentials/clash.h"
#include "potentials/rotamer_prior.h"

namespace lorvane {

constexpr int COMBINATIONS = 10000;  // side-chain combinations per candidate
constexpr int NO_ROTAMER = -1;       // side-chain state without a rotamer (glycine, alanine)

// ---- output files ----

// The run's result file: settings.resultPath, else "pdbout/" + loopId + ".txt".
std::string resultFilePath(const Sampler& run);
// Creates the result file's directories (and "output/" with diag) when missing
// and makes (and removes) a temporary file beside the result file, so that a
// run whose results could not be stored stops with status 1 before any
// sampling; an existing result file is left as it is. Production calls it
// before the first growth step; the filter calls it again at step 0.
void prepareOutputFiles(const std::string& resultPath, bool diag);
// The "LOOP " line of one written loop: ordinal, DFIRE, side-chain energy,
// QUENDA and the torsion-bin energy g (capped at WRITTEN_SCORE_CAP; also when not a
// number), fixed notation with 2 decimals.
constexpr double WRITTEN_SCORE_CAP = 1000000.0;
void writeLoopLine(std::ostream& out, int w, double dfire, double sideChain, double quenda, double g);

// Loops of the last step held for the caller instead of written: a run of
// several populations writes them together, numbered in the order held.
struct HeldLoops {
    std::string text;          // LOOP lines with their records, numbered 1..count
    std::vector<int> flagged;  // numbers of the loops the fallback wrote
    int count = 0;
};
// The error of a run that wrote nothing, naming the result file.
std::string nothingWrittenMessage(const std::string& resultPath);
// The flagged list (a header line, then one loop number per line) written at path.
void writeFlaggedFile(const std::string& path, const std::vector<int>& numbers);
// Writes the held loops to the result file, and their flagged list beside it
// when the fallback wrote any; stops (status 1) when nothing is held.
void writeHeldLoops(const HeldLoops& held, const std::string& resultPath);

// ---- bins ----

// Folds a 5-degree bin index onto the periodic grid 0..71 (72 is -180 again).
int foldBin(int bin);
// Bin of a new dihedral (radians) for the per-seed clash cache: 5-degree
// bins centred on -180 + 5k.
int dihedralBin(double radians);
// Torsion-bin index of an angle in degrees: floor((angle + 180) / 5) or centred,
// folded; the protocol's rule chooses the bins' placement (torsion_bin_rule.h).
int torsionBin(double degrees, TorsionBinRule rule);
// -ln of the coil-class torsion-bin probability of a residue type (read from
// the table of structure residue `residue` when the loop has neighbour-dependent
// ones, or by the neighbours' conformation keys keyPrev, keyNext when it has
// conformation-dependent ones); +inf when the bin is empty.
double torsionEnergy(const Distributions& d, TorsionBinRule rule, int type, double phiDeg, double psiDeg, int residue = -1,
                     int keyPrev = -1, int keyNext = -1);
// torsionEnergy with the table read bilinearly between bin centres (-180 + 5k,
// periodic): the Centred value at every centre, continuous in between, so that
// small turns change it smoothly.
double smoothTorsionEnergy(const Distributions& d, int type, double phiDeg, double psiDeg);
// Sum of torsionEnergy (smooth: smoothTorsionEnergy) over residues start..end,
// phi and psi measured from the atoms.
double loopTorsionEnergy(const Distributions& d, TorsionBinRule rule, const Structure& s, int start, int end,
                         bool smooth = false);

// ---- the final terms of a loop ----

// What the last step scores a built loop with: DFIRE (backbone d1, side chain
// d2), OSCAR o and side-chain torsions t (the side-chain score o + t), and
// QUENDA over all atoms q with its four parts.
struct FinalTerms {
    double d1 = 0, d2 = 0, o = 0, t = 0, q = 0, q1 = 0, q2 = 0, q3 = 0, q4 = 0;
    double dfire() const { return d1 + d2; }
    double sideChain() const { return o + t; }
};
// smooth: DFIRE interpolated between its bin centres (dfirePairEnergy).
FinalTerms finalTerms(const Templates& tm, const Potentials& p, const AtomIndex& x, Structure& s, int start, int end,
                      bool smooth = false);

// ---- selection stages ----

// Sibling filter: walks ids in rank order and keeps an id unless an already
// kept sibling (same parent seed) lies closer than T, the sum of squared
// deviations of rmsdWithin.
std::vector<int> siblingFilter(SeedBuffers& seeds, const std::vector<int>& ranked, double T);
// Per-seed cap passes over ranked (rank order); returns the ids kept, sets
// cap to the last cap used (106 when no pass ran).
std::vector<int> perSeedCap(const std::vector<int>& ranked, int maxLoop, int nrep, int& cap);
// Greedy leader clustering of count vectors of dim floats (row i at
// vecs[i * dim]), in batches of at most budget / count leaders: a vector is
// dropped when its squared distance to an earlier kept vector is below thr2.
// Returns the positions of the kept vectors in order.
std::vector<int> leaderCluster(const std::vector<float>& vecs, int count, int dim, double thr2, double budget, bool diag,
                               double radius);

// ---- side-chain refinement ----

// Levenberg-Marquardt with a forward-difference Jacobian: minimises
// sum_k (f_k(p) - x_k)^2 over p[0..m) for n residuals f written by func into
// hx. opts: {initial damping scale, gradient threshold, step threshold,
// residual threshold, finite-difference step}. Returns the iterations done.
using ResidualFn = void (*)(double* p, double* hx, int m, int n, void* adata);
int lmMinimise(ResidualFn func, double* p, const double* x, int m, int n, int itmax, const double opts[5], void* adata);

// One-residue side-chain energy of residue i against its neighbour triples,
// with REJECTED penalties for clashes with the adjacent residues and its own
// backbone.
double oneResSC(const Potentials& p, const AtomIndex& x, const Structure& s, int i, const int* neigh, int nn);
// Relaxes the chis of residue i (Levenberg-Marquardt on oneResSC); true when
// the final energy is acceptable.
bool optimiseSideChain(const Templates& t, const Potentials& p, const AtomIndex& x, Structure& s, int i);
// optimiseSideChain for every loop residue with a side chain, from end to start;
// true when all were acceptable.
bool refineSideChains(const Templates& t, const Potentials& p, const AtomIndex& x, Structure& s, int start, int end);
// Repacks the loop's side chains from the rotamer table, then refines them:
// residue by residue from end to start, twice over, each takes the rotamer
// of lowest oneResSC with the others in place (its present chis kept when no
// rotamer is lower); then refineSideChains, whose verdict is returned.
// prior (measuring, -xrotprior): added to each rotamer's energy, so that the
// rotamer is chosen for its backbone as well as for its neighbours. The chis
// then relax without it (refineSideChains), which may leave the rotamer.
void chooseRotamers(const Templates& t, const Potentials& p, const AtomIndex& x, Structure& s, int start, int end,
                    const RotamerPrior* prior = nullptr);
bool repackSideChains(const Templates& t, const Potentials& p, const AtomIndex& x, Structure& s, int start, int end,
                      const RotamerPrior* prior = nullptr);

// True when a heavy atom of the loop start..end lies inside the clash
// distance of a non-bonded frame atom: d^2 below the pair table's clash wall,
// and never closer than 2.0 A. 1-2, 1-3 and 1-4 pairs across the loop's joins
// to the frame are exempt. Hetero atoms clash at heteroClash2. The last
// refinement check before a loop is written.
// tolerant: the clash distance less FRAME_CLASH_TOLERANCE, and a disulfide is a
// bond (final_safeguards.h); backboneOnly: N, CA, C, O and CB of the loop only.
bool frameClash(const Potentials& p, const AtomIndex& x, const Structure& s, int start, int end, bool tolerant = false,
                bool backboneOnly = false);

// Process-wide library set-up for the filter: GSL's error handler off and
// OpenBLAS single-threaded (the OpenMP regions own the cores). Idempotent.
void filterLibrariesInit();

// ---- filter state of a run ----

// Wall-clock seconds spent in the filter's stages, summed over the run
// (read by the benchmark programs).
struct FilterTimes {
    double scoring = 0;     // parallel scoring body
    double selection = 0;   // ranking, sibling filter, cap, truncation
    double clustering = 0;  // leader clustering
    double commit = 0;      // commit of the survivors (steps before the last)
    double finalLoops = 0;  // last step: side-chain refinement, scoring, writing

    FilterTimes& operator+=(const FilterTimes& o) {
        scoring += o.scoring, selection += o.selection, clustering += o.clustering, commit += o.commit, finalLoops += o.finalLoops;
        return *this;
    }
};

// One thread's tables of the scoring body.
struct FilterWork {
    Structure structure{1};  // the thread's copy of the working structure
    std::vector<std::array<int, 2>> combIdx;  // (parent state, rotamer) per combination
    std::vector<double> combEnergy;  // energy per combination
    std::vector<double> rotE, rotDraw;  // rotamer energies of the candidate, and their perturbed copy
    std::vector<int> drawn, allowed, chosen;
    std::vector<sortdata> ranking;  // SampleEWRS's buffer
    RandomStream random;            // the stream of the seed being scored (reset per seed)
    // Side-chain atoms of each rotamer built on the current candidate.
    uint8_t scBuilt[MAX_ROTAMERS] = {};
    Point scCoord[MAX_ROTAMERS][15];
    // Side-chain/side-chain clash energy by (dihedral bin, parent state,
    // rotamer); an entry is valid only for the seed whose serial it carries.
    std::vector<float> clashCache;
    std::vector<uint32_t> clashStamp;
    uint32_t seedSerial = 0;
    PairsInReach clashReach;  // the clash pairs that can score for the current child
    // One-residue clash term per rotamer of the current candidate (final step).
    uint8_t oneDone[MAX_ROTAMERS] = {};
    double oneVal[MAX_ROTAMERS] = {};
    // Environment of the closing side chains (closeSCprep, addCSC).
    int cscCount = 0;
    std::vector<int> cscType;
    std::vector<Point> cscPos;
    // The part of that environment within reach of one residue's side chain.
    std::vector<int> cscNearType;
    std::vector<Point> cscNearPos;
    FilterWork();
};

// What the diverse selection carries from step to step.
struct DiverseMemory {
    double radiusHint = 0.0;  // radius of the previous step: the next search starts near it
    DiverseResult last;       // figures of the last selection (benchmark programs)
};

struct FilterState {
    std::vector<FilterWork> work;  // one per thread
    ClashPairs clash;              // the step's clash pair lists
    FilterTimes times;
    DiverseMemory diverse;
    StepProbe* probe = nullptr;    // observer of the run (benchmark programs); none by default
    HeldLoops* hold = nullptr;     // when set, the last step adds its loops here instead of writing the result file
};

// ---- closing side chains (close_sc.cpp) ----

// Environment of the three closure residues c..c+2 (frame atoms near the site).
void closeSCprep(const Sampler& run, FilterWork& w, const Structure& s, int start, int end, int c);
// Adds the built side chain of residue r to that environment.
void addCSC(const Sampler& run, FilterWork& w, const Structure& s, int r);
// Rotamer scan of residue r (one of the closure residues) against the
// environment and the backbone of closure residues a and b; builds the chosen
// rotamer and returns its index (ABSENT when the residue has none).
int df_scfclose(const Sampler& run, FilterWork& w, Structure& s, int r, double& energy, int a, int b);

// ---- the filter pass ----

// Scores, ranks, thins and commits the children of growth step `step`; at
// the last step builds, refines, scores and writes the loops.
void filterStep(Sampler& run, FilterState& fs, int step);

// Everything the parallel scoring body of one filter pass shares.
// One filter pass: the step it follows and the tables of its children
// (E0..E6, deviation from the input, closure rotamers), indexed by child id.
struct FilterPass {
    int step = 0, pos = 0, c = -1, parity = 0;
    int capacity = 0;   // population capacity (MAXLOOP)
    bool finalStep = false;
    int extra = 1;      // residues the step adds to the deviation (3 on the closing step)
    size_t children = 0;
    std::vector<float> E[7];
    std::vector<double> dev;
    std::vector<std::array<int, 3>> closeRot;
    std::vector<Point> closurePoints;  // last step, diverse selection: C(c), C(c+1), CA(c+1) per child
    std::vector<float> backbone;       // a probe's wantsBackbone: N, CA, C, O of the loop per child
};
constexpr int BACKBONE_FLOATS = 12;  // FilterPass::backbone per loop residue: x, y, z of N, CA, C, O

// What the parallel scoring body shares: the run, the filter's state, the
// pass whose tables it fills (each thread only its own seeds' entries) and
// the event counts of the diagnostic report.
struct FilterShared {
    Sampler* run = nullptr;
    FilterState* fs = nullptr;
    FilterPass* pass = nullptr;
    uint64_t passNumber = 0;  // keys the seeds' random streams
    // Events of the "Bad SCs" report: backbone/side-chain terms above the cut
    // (b: the backbone part, v: the whole), side-chain pairs above the cut,
    // and the evaluations of the one-residue, backbone/side-chain and
    // side-chain/side-chain terms. Each seed adds its counts once.
    enum Count { BBSC_B, BBSC_V, SCSC_HIGH, ONE_EVALS, BBSC_EVALS, SCSC_EVALS, NUM_COUNTS };
    using Counts = std::array<long, NUM_COUNTS>;
    Counts counts{};
    std::mutex countsMutex;
    void add(const Counts& c);
};
// The parallel scoring region over the live seeds (each FilterWork's
// structure must hold the working structure).
void runFilterBody(FilterShared& sh);

// ---- diverse selection (diverse_selection.cpp) ----

// The ids of ranked (rank order) to commit, at most the population capacity,
// in commit order: clusters of the children's partial chains (and, at the
// last step, of their closures) decide between, energy within.
std::vector<int> diverseKeep(Sampler& run, const FilterPass& f, const std::vector<int>& ranked, DiverseMemory& memory);

// ---- production ----

// The whole run: prepare, open the result file, then every growth step (with
// one retry at a wider chi1 spread when nearly every seed is a dead end) and
// its filter pass.
void production(Sampler& run, FilterState& fs);

}  // namespace lorvane
