#pragma once
// The loop sampler: sequential Monte Carlo chain growth of one loop between
// two fixed anchors. One SMC object per run; the per-seed tables are
// process-wide and sized once by production.
#include <sstream>
#include <string>
#include <vector>

#include "model/structure.h"

namespace lorvane {

constexpr int MAX_PLAN = 22;       // growth-plan slots; loops of at most 22 residues
constexpr int CHILDREN = 100;      // children per seed
constexpr int CHILD_FIELDS = 19;   // floats per child record
constexpr int PATH_FIELDS = 11;    // floats of a child record kept per committed step
constexpr int SC_STATES = 25;      // side-chain states per seed
constexpr int NUM_BINS = 72;       // 5-degree torsion bins
constexpr int NUM_CAND = NUM_BINS * NUM_BINS;
constexpr int CLOSURE_SLOTS = 8;   // closure solutions kept per candidate
constexpr int ATOMC_POINTS = 375;  // stored points per (buffer, step, seed)
constexpr int MAX_CLOSE_PAIRS = 400;

class SMC {
public:
    int numStruct = 1;
    Structure work{1};
    std::vector<Structure> structs;
    int loopStart = -1, loopEnd = -1;
    int numSeeds = 10000;
    int numLoops = 5000;
    Structure native{1};
    int growMode = 1;  // 0 forward, 1 alternating, 2 backward
    double runStart = 0.0;  // wall-clock start of production

    explicit SMC(int numStructures);
    ~SMC() = default;

    // Checks the loop, sizes the per-seed tables and workspaces, types the
    // atoms, builds the global atom tables and lays out the growth plan:
    // everything production does before its first growth step.
    void prepare();
    void production();  // prepare(), then every growth step and its filter pass
    int grow_oneF(Structure& s, int pos, int rpos, int step, bool backward, bool retry, bool diag);
    void filtergrow(Structure& s, int pos, int end, int step, bool diag);
    bool shakeSCF(Structure& s, int start, int end);
    int analyticClosureOne(Structure& s, int c, int k, std::vector<double>& weights, double E, int thread, std::stringstream& diag,
                           bool retry);

    // ---- distribution tables (loaded once, read-only) ----
    static int curLoops;
    static std::string LoopID;
    static double TorsionBins[30][3][NUM_BINS][NUM_BINS];
    static double JointMarginalLimits[22][3][4];
    static double JointMarginalLimitsB[22][3][4];
    static double JointMarginal[22][3][16][16];
    static double JointMarginalB[22][3][16][16];
    static double JointCondLimits[22][3][100][4];
    static double JointCondLimitsB[22][3][100][4];
    static double JointCond[22][3][100][16][16];
    static double JointCondB[22][3][100][16][16];

    static void LoadTorsionBBbin(const std::string& path, bool required = true);
    static void LoadJointMarginal(const std::string& path, bool required = true);
    static void LoadJointMarginalB(const std::string& path, bool required = true);
    static void LoadJointCond(const std::string& path, bool required = true);
    static void LoadJointCondB(const std::string& path, bool required = true);
    // The four distance files, the torsion bins and the rotamer library under
    // data/ of the working directory; a missing file is an error.
    static void LoadSamplingTables();
};

// ---- growth plan (run-wide) ----
extern int growOrder[MAX_PLAN];
extern bool growDir[MAX_PLAN];
extern int growrPos[MAX_PLAN];
extern int MAXLOOP;
extern double scCut;

constexpr int MIN_LOOP_N = 3;   // n = loopEnd - loopStart: at least 4 residues (the closure tripeptide and one grown)
constexpr int MAX_LOOP_N = 21;  // at most 22 residues: plan slots and distance tables end there

// Growth plan of a loop loopStart..loopEnd (n = loopEnd - loopStart, 3..21):
// slots 0..n-3 are growth steps (residue, direction, far position), slots
// n-2..n the closure residues c, c+1, c+2. growMode 0 forward, 2 backward,
// anything else alternating. Returns c.
int makeGrowthPlan(int growMode, int loopStart, int loopEnd, int* order, bool* dir, int* rpos);
// First closure residue of the plan held in growOrder.
int closureStart(int growMode, int loopStart, int loopEnd);
// Stops the program (status 1) unless positions loopStart..loopEnd of s form a
// loop the sampler can grow: 4..22 residues with a fixed residue on each side.
void checkLoopBounds(const Structure& s, int loopStart, int loopEnd);

// ---- closure pair list ----
extern int numpairsClose;
extern int pairlistClose[MAX_CLOSE_PAIRS][8];
extern float pairlistCloseD[MAX_CLOSE_PAIRS];

void closureList(Structure& s, int start, int end, int c, bool backward);
void cal_dha(Structure& s, int from, int to);

// Normal deviate (polar method; the stored second deviate is per thread).
double randn(double mean, double sd);
// Drops the calling thread's stored deviate, so that a run after srand is
// reproducible draw for draw (tests and benchmarks).
void randnReset();
// Gumbel-key ordering of weights below 200: the first n indices by ascending perturbed weight.
void SampleEWR(std::vector<double>& w, int n, int* out);
double rmsdg(Structure& A, Structure& B, int from, int to);
double rmsdcut(Structure& A, Structure& B, int start, int end, int k);

}  // namespace lorvane
