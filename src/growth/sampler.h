#pragma once
// One sampling run: sequential Monte Carlo chain growth of one loop between
// two fixed anchors. The Sampler holds everything the run changes (working
// structure, atom index, growth plan, per-seed tables, per-thread
// workspaces, population size and cut-offs) and reads the loaded tables.
#include <string>
#include <vector>

#include "distributions/distributions.h"
#include "growth/plan.h"
#include "growth/protocol.h"
#include "growth/seed_buffers.h"
#include "growth/workspace.h"
#include "model/structure.h"
#include "model/templates.h"
#include "potentials/atom_index.h"
#include "potentials/potentials.h"

namespace lorvane {

constexpr int FIRST_STEP_SEEDS = 100;  // the first growth step always starts from 100 seeds
constexpr double CHI1_SD = 0.17;       // spread of the first chi drawn for a rotamer
constexpr double CHI1_SD_RETRY = 0.51;  // the same when a step is repeated

// The loaded tables a run reads.
struct SamplerTables {
    const Templates& templates;
    const Distributions& distributions;
    const Potentials& potentials;
};

// Run-wide settings from the command line.
struct SamplerSettings {
    int numSeeds = 10000;  // population (MAXLOOP)
    int numLoops = 5000;   // loops to write
    int growMode = GROW_ALTERNATING;
    int threads = 1;
    double useBBT = 1.0;   // weight of the torsion-bin energy in the ranking
    bool diag = false;     // diagnostic lines and tables
    double topFrac = 0.9;  // share of the population kept in rank order before the tail is shuffled
    int nrep = 20;         // lower bound of the per-seed cap
    Protocol protocol;     // sampling variants beyond the classic pipeline (none by default)
    std::string resultPath;  // the result file; "" = "pdbout/" + loopId + ".txt"
    int64_t randomSeed = 1;  // -rs: the key of every random stream of the run
    bool progress = true;    // progress and notes on standard error (-quiet: warnings and errors only)
};

// A pair of atoms around the closure site: residue A, slot A, residue B, slot
// B, pair type A, pair type B, residue separation.
using ClosurePair = std::array<int, 7>;
constexpr int MAX_CLOSE_PAIRS = 400;

class Sampler {
public:
    // loopId names the diagnostic tables and, unless settings.resultPath
    // says otherwise, the result file ("pdbout/" + loopId + ".txt").
    Sampler(const SamplerTables& tables, const SamplerSettings& settings, const Structure& protein, int loopStart, int loopEnd,
            std::string loopId);
    Sampler(const Sampler&) = delete;  // the workspaces refer to it
    Sampler& operator=(const Sampler&) = delete;

    const Templates& tm;
    const Distributions& dist;
    const Potentials& pot;
    SamplerSettings settings;
    std::string loopId;
    int loopStart, loopEnd;
    int growMode;      // settings.growMode; forward when the end anchor is missing
    Structure work;    // the working structure
    Structure native;  // the input, untouched (diagnostic deviations only)
    double runStart = 0.0;  // wall-clock start of the run

    // ---- set up by prepare ----
    AtomIndex atoms;
    GrowthPlan plan;
    SeedBuffers seeds;
    std::vector<GrowOne> workspaces;  // one per thread
    std::vector<ClosurePair> closurePairs;

    // ---- changed from step to step ----
    int liveSeeds = FIRST_STEP_SEEDS;  // seeds of the current population (curLoops)
    double scCut = ENERGY_CUT;
    double chi1SD = CHI1_SD;
    // Random draws: the main thread's stream, and the number of parallel
    // passes so far (each pass keys its per-seed streams by its number).
    RandomStream random;
    uint64_t passes = 0;
    // Key of seed `index`'s stream in the next pass of this kind (counts the pass).
    uint64_t nextPass() { return ++passes; }
};

// Bytes a run's population takes: the per-seed tables and the filter pass's
// per-child arrays (the tables and per-thread workspaces come on top and do
// not depend on the population).
double estimatedRunBytes(int numSeeds, int numSteps);
// Checks the loop and its anchors, types the atoms, builds the atom index,
// measures the dihedrals, lays out the growth plan and sizes the per-seed
// tables and workspaces: everything before the first growth step. A
// population whose estimated memory exceeds what the machine (or the
// process's limit) allows stops here with the estimate, status 1.
void prepare(Sampler& run);
// One parallel growth step over the live seeds (retry: the step repeated with a
// wider chi1 spread). Returns the number of seeds without any child.
int growStep(Sampler& run, int step, bool retry);
// The closure pair list of closure residue c (pairs not bonded or 1-3, backbone
// slots 0-5, from C before c to N after c + 2).
void buildClosurePairs(Sampler& run, int c, bool backward);
// Backbone dihedrals of residues from..to, undefined across chain breaks.
void cal_dha(Structure& s, int from, int to);

}  // namespace lorvane
