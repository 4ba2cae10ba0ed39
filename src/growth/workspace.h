#pragma once
// Per-thread workspace of the growth step.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "build/builders.h"
#include "closure/tripeptide.h"
#include "distributions/distributions.h"
#include "distributions/torsion_bin_rule.h"
#include "growth/random.h"
#include "growth/seed_buffers.h"
#include "growth/step_math.h"
#include "model/structure.h"
#include "model/templates.h"
#include "potentials/atom_index.h"
#include "potentials/potentials.h"

namespace lorvane {

constexpr int CLOSURE_SLOTS = 8;                           // closure solutions kept per candidate
constexpr int CLOSURE_ENTRIES = NUM_CAND * CLOSURE_SLOTS;  // 41472 (candidate, solution) entries
constexpr int COARSE_BINS = 12;                            // 30-degree grid: bins 0, 6, ..., 66
constexpr int COARSE_STEP = 6;
constexpr int MAX_SC_ATOMS = 9;  // side-chain heavy atoms 6..14 at most
constexpr int VETO_WIDTH = 324;  // bytes per rotamerVeto row

class Sampler;

// 5-degree bin of a dihedral given in radians (-1 for NaN) under a bin rule,
// periodic: +180 deg is the bin of -180 deg; a value a rounding error below
// -180 deg stays in bin 0.
int closureTorsionBin(double radians, TorsionBinRule rule = TorsionBinRule::Floor);

// Everything one growth step hands to the per-seed body (shared, read-only
// except for the two counters, which are updated atomically).
constexpr double DISTINCT_CLOSURE_RMSD = 0.25;  // A over the eight closure atoms: the filter's own duplicate radius

// One completed closure of a candidate as the growth step records it.
struct ClosureSolution {
    double phi[3] = {}, psi[3] = {}, omega[3] = {};  // radians, residues c, c+1, c+2
    double thetaDeg[2] = {};                         // N-CA-C of c and c+1
    double score = 0.0;                              // closure score (pair table)
    std::array<Point, 8> atoms;                      // C(c), O(c), N(c+1), CA(c+1), C(c+1), O(c+1), N(c+2), CA(c+2)
};
// Sum of squared distances between the closure atoms of two solutions.
double closureAtomDistance2(const ClosureSolution& a, const ClosureSolution& b);
// The closures a candidate keeps in the flexible closure: the lowest-scoring
// ones in ascending score, skipping any whose closure atoms lie within RMSD
// `distinct` (A) of one already kept, at most cap.
std::vector<int> keepDistinctClosures(const std::vector<ClosureSolution>& sols, int cap, double distinct);

struct GrowStepArgs {
    Sampler* run = nullptr;
    std::vector<std::string>* diagLines = nullptr;  // one per seed, filled with diag only
    int* deadEnds = nullptr;
    int* partial = nullptr;
    int pos = 0, rpos = 0, step = 0, gap = 0, c = -1, numRot = 0;
    bool backward = false, retry = false, diag = false;
    uint64_t pass = 0;  // number of this pass (keys the seeds' random streams)
};

// Environment atoms in structure-of-arrays form for the distance loops.
struct EnvList {
    int n = 0;
    std::vector<float> x, y, z;
    std::vector<int> type;
    void reserve(int cap);
    int capacity() const { return static_cast<int>(type.size()); }
    void clear() { n = 0; }
    void push(const Point& p, int t);
    Point at(int i) const { return Point(x[i], y[i], z[i]); }
};

// True when p (of the given type) clashes with any atom of env.
inline bool clashesWith(const Potentials& pot, const EnvList& env, const Point& p, int type) {
    for (int i = 0; i < env.n; ++i) {
        const double d2 = sqDist(env.x[i], env.y[i], env.z[i], p);
        if (d2 < pot.ljClash[env.type[i]][type]) return true;
    }
    return false;
}

// Counters of a seed's rejected candidates (the columns of the diagnostic line).
struct ScanTally {
    int md1 = 0, md2 = 0;            // distance to the far anchor: off the marginal table, improbable
    int cd1 = 0, cd2 = 0, cd3 = 0;   // conditional table: degenerate row, off the table, improbable
    int bbe = 0, sce = 0, bbn = 0;   // backbone energy, side chains, not feasible
};

// One seed's growth step: where it grows and what the scan has found.
struct SeedScan : GrowStepArgs {
    explicit SeedScan(const GrowStepArgs& a) : GrowStepArgs(a) {}
    int seed = 0;
    int type = 0;  // residue type at pos
    int next = 0;  // the look-ahead residue (pos + 1 forward, pos - 1 backward)
    bool closure = false, prolineBond = false;
    double seedOmega = PI;  // omega of the anchor bond (backward growth)
    double tauDeg = NCAC_DEG;  // N-CA-C of the residue placed (drawn per seed when the protocol says so)
    double seedRmsd = 0.0;  // deviation of the path so far (diagnostics)
    Point caP, caR;         // CA of pos and of the far anchor
    double d0 = 0.0;        // their distance, and its conditional-table row
    int r0 = 0;
    bool condDegenerate = false;
    int lastFar = 0;  // far-side placement that served the last candidate
    int keyPrev = -1, keyNext = -1;  // conformation keys of the placed neighbour (conformation torsion tables)
    ScanTally tally;
};

// One thread's workspace of the growth step: a private copy of the protein,
// the environment lists that the growth-time energy terms score against, and
// every per-seed candidate array, allocated once so that the per-seed loop
// never allocates. Environment lists are sized to the protein's atom count
// and its hetero atoms (environmentCapacity),
// so no input can overflow them. Reads the run's tables and atom index.
class GrowOne {
public:
    const Sampler& run;
    const Templates& tm;
    const Distributions& dist;
    const Potentials& pot;
    const AtomIndex& atoms;

    // ---- scoring state (growth-time terms) ----
    int moveType[6] = {};  // atom type of each moving atom by template slot (0 N, 1 CA, 2 C, 3 O, 5 CB)
    Point fixedPos[4];     // 0 N(pos+1) bwd, 1 N(pos) fwd, 2 CA(pos) fwd / C(pos) bwd, 3 O(pos) bwd
    int fixedType[4] = {};
    EnvList nearEnv;  // d2 to CA(pos) below the pair cut-off
    EnvList midEnv;   // cut-off <= d2 < 144
    EnvList farEnv;   // 144 <= d2 <= 225
    EnvList adjEnv;   // the two residues next to pos
    // midEnv narrowed per moving slot to the atoms that slot can come within the
    // pair cut-off of (pruneLongRange); the full midEnv until then.
    EnvList midFor[6];
    bool midPruned = false;
    // Closure environment (read by the closure scorer).
    int closeEnvCount = 0;
    std::vector<int> closeEnvType;
    std::vector<Point> closeEnvPos;
    mutable std::vector<int> closeNear_;  // closureScore's scratch: the environment atoms within reach
    int closeAtomType[11] = {};  // C(c), O(c), C(c+1), O(c+1), CA(c+1), N(c+1), N(c+2), CB(c), CB(c+1), CB(c+2), CA(c+2)
    // Look-ahead.
    int lahCount = 0;
    std::vector<float> lahX, lahY, lahZ;  // positions of the near atoms within reach, and their squared clash distances
    std::vector<float> lahClash;          // against look-ahead atom m at [m * capacity + entry]
    int lahType[5] = {};                  // N, CA, C, O, CB of the look-ahead placement
    int lahTypeCount = 0;
    int nextType[4] = {};  // types of the moving atoms N, CA, C, O in candidate order
    int scType[MAX_SC_ATOMS] = {};
    int scCount = 0;
    uint8_t rotamerVeto[NUM_BINS][VETO_WIDTH] = {};

    // ---- growth step ----
    std::vector<std::array<Point, 5>> candAtoms;  // 5184: the five atoms a candidate places
    std::array<std::array<Point, 12>, CHILDREN> childAtoms;
    std::array<std::array<Point, 5>, COARSE_BINS * COARSE_BINS> farSet;
    int farCount = 0;
    std::vector<std::array<float, 8>> closureData;   // 41472 (candidate, solution) entries
    std::vector<std::array<Point, 8>> closureAtoms;  // 41472
    Structure structure{1};                          // the thread's working copy of the protein

    // Per-seed working arrays, reused from seed to seed.
    std::vector<Point> candPts;         // 72 x 72 x 6, psi-major (candPointIndex)
    std::vector<double> weight;         // 5184: 0 feasible, REJECTED rejected
    std::vector<double> closureW;       // 41472
    std::vector<uint8_t> closureCount;  // 5184: closures recorded per candidate (0 = none)
    std::vector<double> lnPbb, lnPdist, energyE;
    std::vector<float> scE;  // 5184 x rotamers of the grown residue
    std::vector<int> scBelow;  // rotamers below 200 per candidate
    std::vector<float> estRmsd;
    std::vector<uint8_t> validSC, reachable, cisCand;
    std::vector<int> rank;     // 1000 ranked entries
    std::vector<double> keys;  // ordering keys (5184 or 41472)

    double busySeconds = 0.0;  // CPU time this thread spent on growth-step seeds (for benchmarks)

    RandomStream random;            // the stream of the seed being grown (reset per seed)
    TripeptideClosure tripeptide;  // the thread's closure solver
    // The tripeptide solve of the closure (tests substitute one).
    using SolveFn = void (*)(TripeptideClosure&, const double[3], const double[3], const double[3], const double[3], double[16][3][3],
                             double[16][3][3], double[16][3][3], int*);
    SolveFn solver = nullptr;  // null: tripeptide.solve

    // Scratch residues of the growth step (builders in scratch mode, scored candidates).
    Residue cur, scratchA, scratchB;

    explicit GrowOne(const Sampler& run);
    // Sizes the environment lists for numAtoms environment atoms (no-op when large enough).
    void ensureCapacity(int numAtoms);

    // ---- growth-time scoring ----
    void prepGrow(Structure& s, int pos, int loopStart, int loopEnd, int prev, int next);
    // A candidate's moving atoms in two parts: those the first dihedral places
    // alone (forward phi: C, CB of pos; backward psi: N, CA, CB of pos) and
    // those that need both (forward N, CA of pos+1 and O of pos; backward C, O
    // of pos-1).
    enum class MovedBy { First, Both };
    // Growth energy of one part of the candidate in r: short range (the
    // adjacent and near lists, with the clash tests; REJECTED on a clash or
    // past the early-exit level) and long range (the mid list).
    double shortRangeEnergy(const Residue& r, bool backward, MovedBy part) const;
    double longRangeEnergy(const Residue& r, bool backward, MovedBy part) const;
    // reach[slot]: largest distance of that moving atom from CA(pos) over all
    // candidates (negative: keep every atom). Long-range terms then skip the
    // mid-shell atoms no candidate can come within the cut-off of; their terms
    // are zero anyway, so the sums are unchanged.
    void pruneLongRange(Structure& s, const float reach[6]);
    void prepLah(Structure& s, const Point& p, int q, bool backward);
    // Whether a look-ahead atom of kind m (0 N, 1 CA, 2 C, 3 O, 4 CB) at a clashes with the list.
    bool lahClashes(const Point& a, int m) const;
    // Fills scE[k * numRot + r] for the valid candidates of one row (forward: phi row; backward: psi column).
    void df_scf(Residue& res, std::vector<float>& scEnergy, int row, const std::vector<std::array<Point, 5>>& cand, bool backward,
                const std::vector<uint8_t>& valid);
    void df_closure_prep(Structure& s, int loopStart, int loopEnd, int c, const Point& p, bool backward);

    // ---- closure inside growth (closure_step.cpp) ----
    // Closes candidate k of the last growth step at closure residues c..c+2 of
    // s: draws the free angles, solves, completes, screens and scores every
    // closure and records up to CLOSURE_SLOTS of them at closureW[k * 8 ..]
    // (weight score + E), closureData and closureAtoms. Returns how many.
    int closeCandidate(Structure& s, int c, int k, double E, bool retry);
    // The same with `draws` geometries from the backbone angle table, the
    // distinct accepted solutions kept by score (flexible closure).
    int closeCandidateFlexible(Structure& s, int c, int k, double E, bool retry, int draws);
    // The solver's closures of the anchors for N-CA-C angles theta (c, c+1,
    // c+2) and peptide torsions omega (radians); returns how many (<= 16).
    int solveClosure(Structure& s, int c, const double theta[3], const double omega[2], double solN[16][3][3], double solA[16][3][3],
                     double solC[16][3][3]);
    // Writes one solution into s, measures its dihedrals, places O and CB,
    // screens it by the torsion-bin energy and scores it (closureScore); false
    // when either rejects it (the score only unless retry). sol holds its
    // angles, closure atoms, score and the N-CA-C angles theta of c and c+1.
    bool acceptClosure(Structure& s, int c, const double n[3][3], const double ca[3][3], const double cc[3][3], const double theta[3],
                       bool retry, ClosureSolution& sol) const;
    // Stores sol at closure entry e, weight score + E.
    void recordClosure(size_t e, const ClosureSolution& sol, double E);
    std::vector<ClosureSolution> flexibleFound;  // the flexible closure's solutions of one candidate
    // Pair score of the closure region of s (sampling pair table): internal
    // pairs (a clash rejects) and the closure backbone and CBs against the frame.
    double closureScore(const Structure& s, int c) const;

    // Energy of one scored atom against an environment list (pair terms only).
    double pairSum(const EnvList& env, const Point& p, int type) const;

    // The whole growth step for one seed (rebuild, scan, side chains, children).
    void growSeed(const GrowStepArgs& a, int seed, int thread);

private:
    const EnvList& mid(int slot) const { return midPruned ? midFor[slot] : midEnv; }
    size_t lahStride() const { return lahX.size(); }
    std::vector<uint8_t> farRes_;  // per residue: beyond the 30 A cut of the current list build
    bool coarseOk_[COARSE_BINS][COARSE_BINS] = {};  // look-ahead residue's coarse bins worth placing
    bool coarseRow_[COARSE_BINS] = {}, coarseCol_[COARSE_BINS] = {};
    int lastLah_ = -1;  // (row, col) of the last successful look-ahead placement
    std::vector<float> nearLahThr_;  // nearEnv clash distances against the look-ahead atoms of residue nearLahQ_
    int nearLahQ_ = -1, nearLahN_ = 0;
    // ---- parts of growSeed (grow_step.cpp, candidate_scan.cpp) ----
    SeedScan beginSeed(const GrowStepArgs& a, int seed);
    void rebuildPath(const Sampler& m, int seed, int step);
    void pruneToReach(bool backward);
    void placeFarSide(const SeedScan& sc);
    void prepareLookAheadGrid(int qType);
    void scanBins(SeedScan& sc);
    void scanCandidate(SeedScan& sc, int pa, int pb);
    bool reachesFarAnchor(SeedScan& sc, const std::array<Point, 5>& at, double& pm, double& pc) const;
    double candidateEnergy(const SeedScan& sc, const std::array<Point, 5>& at, int pa, int pb);
    void placeCandidate(const SeedScan& sc, const std::array<Point, 5>& at);
    float candidateDeviation(const SeedScan& sc, const std::array<Point, 5>& at) const;
    bool candidateFeasible(const SeedScan& sc, const std::array<Point, 5>& at, int pa, int pb, int k, double E);
    bool farSidePasses(SeedScan& sc, const Point& a1, bool feasible) const;
    bool lookAhead(const Point& a0, const Point& a1, const Point& a2, const Point& caR, bool backward, int g);
    void filterSideChains(SeedScan& sc);
    void rankEntries(bool closure);
    std::string diagnosticColumns(const SeedScan& sc) const;
    int writeChildren(const SeedScan& sc);
    bool nextToRejected(int pa, int pb) const;
    // Growth energy of the first dihedral's atoms, cached per seed by the bins
    // they depend on: short range by its bin, long range by its half-bin; the
    // atoms of both dihedrals' long range by both half-bins.
    static constexpr int HALF_BINS = NUM_BINS / 2;
    double shortCache_[NUM_BINS] = {}, long1Cache_[HALF_BINS] = {}, long2Cache_[HALF_BINS * HALF_BINS] = {};
    bool shortSet_[NUM_BINS] = {}, long1Set_[HALF_BINS] = {}, long2Set_[HALF_BINS * HALF_BINS] = {};
    int pos_ = 0;      // residue being grown
    int resType_ = 0;  // its residue type
    int numRot_ = 0;
};

}  // namespace lorvane
