#pragma once
// Per-thread workspace of the growth step (and of the filter's scoring
// body): a private copy of the protein, the environment lists that the
// growth-time energy terms score against, and every per-seed candidate
// array, allocated once so that the per-seed loop never allocates.
//
// Environment lists are sized to the protein's atom count, so no input can
// overflow them.
#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "growth/smc.h"

namespace lorvane {

constexpr int CLOSURE_ENTRIES = NUM_CAND * CLOSURE_SLOTS;  // 41472 (candidate, solution) entries
constexpr int COARSE_BINS = 12;                           // 30-degree grid: bins 0, 6, ..., 66
constexpr int COARSE_STEP = 6;
constexpr int MAX_SC_ATOMS = 9;      // side-chain heavy atoms 6..14 at most
constexpr int VETO_WIDTH = 324;      // bytes per rotamerVeto row
constexpr int CLOSE_SC_ENV = 2000;   // minimum room of the filter's closure side-chain environment
constexpr int COMBINATIONS = 10000;  // side-chain combinations per candidate in the filter

class SMC;

// Everything one growth step hands to the per-seed body (shared, read-only
// except for the two counters, which are updated atomically).
struct GrowStepArgs {
    SMC* smc = nullptr;
    std::vector<std::string>* diagLines = nullptr;  // one per seed, filled with diag only
    int* deadEnds = nullptr;
    int* partial = nullptr;
    int pos = 0, rpos = 0, step = 0, gap = 0, c = -1, numRot = 0;
    bool backward = false, retry = false, diag = false;
};

// Environment atoms in structure-of-arrays form for the distance loops.
struct EnvList {
    int n = 0;
    std::vector<float> x, y, z, rsolv;
    std::vector<int> type;
    void reserve(int cap);
    int capacity() const { return static_cast<int>(type.size()); }
    void clear() { n = 0; }
    void push(const Point& p, int t, float r);
    Point at(int i) const { return Point(x[i], y[i], z[i]); }
};

class GrowOne {
public:
    // ---- scoring state (growth-time terms) ----
    int moveType[6] = {};      // atom type of each moving atom by template slot (0 N, 1 CA, 2 C, 3 O, 5 CB)
    float moveRsolv[6] = {};
    Point fixedPos[4];         // 0 N(pos+1) bwd, 1 N(pos) fwd, 2 CA(pos) fwd / C(pos) bwd, 3 O(pos) bwd
    int fixedType[4] = {};
    EnvList nearEnv;           // d2 to CA(pos) below PF::MAXDIS2
    EnvList midEnv;            // PF::MAXDIS2 <= d2 < 144
    EnvList farEnv;            // 144 <= d2 <= 225
    EnvList adjEnv;            // the two residues next to pos
    // midEnv narrowed per moving slot to the atoms that slot can come within the
    // pair cut-off of (pruneLongRange); the full midEnv until then.
    EnvList midFor[6];
    bool midPruned = false;
    // Closure environment (read by the closure scorer).
    int closeEnvCount = 0;
    std::vector<int> closeEnvType;
    std::vector<float> closeEnvRsolv;
    std::vector<Point> closeEnvPos;
    int closeAtomType[11] = {};  // C(c), O(c), C(c+1), O(c+1), CA(c+1), N(c+1), N(c+2), CB(c), CB(c+1), CB(c+2), CA(c+2)
    float closeAtomRsolv[11] = {};
    // Look-ahead.
    int lahCount = 0;
    std::vector<int> lahList;  // indices into nearEnv
    std::vector<float> lahX, lahY, lahZ;  // their positions, and their squared clash distances
    std::vector<float> lahClash;          // against look-ahead atom m at [m * capacity + entry]
    int lahType[5] = {};       // N, CA, C, O, CB of the look-ahead placement
    int lahTypeCount = 0;
    // Moving atoms of the step, in order.
    int moveCount = 0;
    int moveAtoms[5][2] = {};  // global atom index, template slot
    int nextType[4] = {};
    int scType[MAX_SC_ATOMS] = {};
    int scCount = 0;
    uint8_t rotamerVeto[NUM_BINS][VETO_WIDTH] = {};

    // ---- growth step ----
    std::vector<std::array<Point, 5>> candAtoms;     // 5184: the five atoms a candidate places
    std::array<std::array<Point, 12>, CHILDREN> childAtoms;
    std::array<std::array<Point, 5>, COARSE_BINS * COARSE_BINS> farSet;
    int farCount = 0;
    std::vector<std::array<float, 8>> closureData;   // 41472 (candidate, solution) entries
    std::vector<std::array<Point, 8>> closureAtoms;  // 41472
    Structure structure{1};                          // the thread's working copy of the protein

    // Per-seed working arrays, reused from seed to seed.
    std::vector<Point> candPts;          // 72 x 72 x 6, psi-major (candPointIndex)
    std::vector<double> weight;          // 5184: 0 feasible, 12345 rejected
    std::vector<double> closureW;        // 41472
    std::vector<uint8_t> closureCount;   // 5184: closures recorded per candidate (0 = none)
    std::vector<double> lnPbb, lnPdist, energyE;
    std::vector<float> scE;              // 5184 x rotamers of the grown residue
    std::vector<int> scBelow;            // rotamers below 200 per candidate
    std::vector<float> estRmsd;
    std::vector<uint8_t> validSC, reachable, cisCand;
    std::vector<int> rank;               // 1000 ranked entries
    std::vector<double> keys;            // ordering keys (5184 or 41472)

    // ---- filter (side-chain closure and combinations) ----
    int cscCount = 0;                    // closure side-chain environment
    std::vector<int> cscType;
    std::vector<Point> cscPos;
    std::vector<std::array<int, 2>> cscAtom;  // (residue, template slot)
    std::vector<double> combFirst, combSecond;  // 10000 combinations each

    double busySeconds = 0.0;  // CPU time this thread spent on growth-step seeds (for benchmarks)

    // Scratch residues of the growth step (builders in scratch mode, scored candidates).
    Residue cur{MAX_ATOMS}, nb{MAX_ATOMS}, scratchA{MAX_ATOMS}, scratchB{MAX_ATOMS}, lahRes{MAX_ATOMS};

    GrowOne();
    // Sizes the environment lists for a protein of numAtoms atoms (no-op when large enough).
    void ensureCapacity(int numAtoms);

    // ---- growth-time scoring ----
    void prepGrow(Structure& s, int pos, int loopStart, int loopEnd, int prev, int next);
    double dfire_part_phi_short(Structure& s, const Residue& r);
    double dfire_part_phi_long(Structure& s, const Residue& r);
    double dfire_part_phipsi_short(Structure& s, const Residue& r);
    double dfire_part_phipsi_long(Structure& s, const Residue& r);
    double dfire_part_backward_psi_short(Structure& s, const Residue& r);
    double dfire_part_backward_psi_long(Structure& s, const Residue& r);
    double dfire_part_backward_phipsi_short(Structure& s, const Residue& r);
    double dfire_part_backward_phipsi_long(Structure& s, const Residue& r);
    // reach[slot]: largest distance of that moving atom from CA(pos) over all
    // candidates (negative: keep every atom). Long-range terms then skip the
    // mid-shell atoms no candidate can come within the cut-off of; their terms
    // are zero anyway, so the sums are unchanged.
    void pruneLongRange(Structure& s, const float reach[6]);
    void prepLah(Structure& s, const Point& p, int q, bool backward);
    double lahEval(Structure& s, const Residue& r);
    // Whether a look-ahead atom of kind m (0 N, 1 CA, 2 C, 3 O, 4 CB) at a clashes with the list.
    bool lahClashes(const Point& a, int m) const;
    // Fills scE[k * numRot + r] for the valid candidates of one row (forward: phi row; backward: psi column).
    void df_scf(Structure& s, Residue& res, std::vector<float>& scEnergy, int row, int variant, const std::vector<std::array<Point, 5>>& cand,
                bool backward, const std::vector<uint8_t>& valid);
    void df_closure_prep(Structure& s, int loopStart, int loopEnd, int c, const Point& p, bool backward);

    // Closure scoring (loop closure subsystem).
    double quendaClosure(Structure& s, int loopStart, int loopEnd, int c, std::stringstream& diag);

    // Filter: closing side chains.
    void closeSCprep(Structure& s, int start, int end, int c);
    int df_scfclose(Structure& s, Residue& res, double& energy, int a, int b);
    void addCSC(Structure& s, int r);

    // Energy of one scored atom against an environment list (pair terms only).
    static double pairSum(const EnvList& env, const Point& p, int type);

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
    bool lookAhead(Structure& s, const Point& a0, const Point& a1, const Point& a2, const Point& caR, bool backward, int g);
    int pos_ = 0;         // residue being grown
    bool backward_ = false;
    int resType_ = 0;     // its residue type
    int numRot_ = 0;
};

// One workspace per thread, created by production.
extern std::vector<GrowOne> G;

}  // namespace lorvane
