#pragma once
// The protocol of a sampling run: which variants of growth, closure and
// selection the run uses beyond the classic pipeline. Chosen once on the
// command line ("-protocol classic|default", then any "-x..." switches) and
// passed down by reference inside the sampler's settings; read-only during a
// run. A default-constructed Protocol is the classic pipeline.
#include <string>

#include "distributions/torsion_bin_rule.h"

namespace lorvane {

// Weights of the step energy that ranks a growth step's children:
// side chains E6 + pair E5 + torsion E1 + distance E3, where E3 is the
// step's -ln P of the growing end's distance to the far anchor. The first
// three are the classic ranking; the distance term enters only when asked.
struct StepWeights {
    double sideChain = 1.0;
    double pair = 1.0;
    double torsion = 10.0;  // scaled by the -nobbt switch as before
    double distance = 0.0;
    // Off: the closing step ranks by the program's weights, so that the
    // loops written are chosen as before.
    bool atClosure = true;
    bool operator==(const StepWeights&) const = default;
    bool programWeights() const { return sideChain == 1.0 && pair == 1.0 && torsion == 10.0 && distance == 0.0; }
};

struct Protocol {
    std::string name = "classic";
    // Diverse selection: the filter keeps the population by clusters of the
    // children (growing end and partial chain) instead of by rank, sibling
    // filter, per-seed cap and truncation.
    bool diverse = false;
    int perCluster = 1;         // children kept per cluster before filling by rank
    double clusterShare = 0.5;  // share of the population the cluster rounds may take
    // Share of the population a growth step (not the closing step) fills by
    // uniform draws from the children the clusters and the rank fill left.
    double randomFill = 0.0;
    // Closure geometries (N-CA-C angles and peptide torsions from the backbone
    // angle table) tried per candidate; 0 keeps the single random draw.
    int closeDraws = 0;
    // N-CA-C of every grown residue drawn per residue type from the backbone
    // angle table instead of the fixed 111.2 degrees.
    bool drawNCAC = false;
    // N-CA-C of every grown residue from its candidate (phi, psi) by the
    // train-derived conformation table (type mean plus cell offset) instead
    // of a draw or the fixed angle.
    bool ncacByConformation = false;
    // On a collapse (fewer than 2 survivors) the survivors are copied into the
    // empty seed slots instead of growing from stale records.
    bool reseed = false;
    // Torsion bins read by the closure's and the final torsion score.
    TorsionBinRule torsionBins = TorsionBinRule::Floor;
    // The final frame check forgives near misses (FRAME_CLASH_TOLERANCE) and
    // knows disulfides.
    bool clashTolerance = false;
    // When no loop passes the final refinement, the best closed loops whose
    // backbone clears the frame are written, flagged.
    bool fallback = false;
    // Population when -seeds is not given, for loops of up to
    // shortLoopLength residues (0: the one default for every length). On
    // short loops half the seeds wrote as good loops at about half the CPU.
    int shortLoopLength = 0;
    int shortLoopSeeds = 0;
    // Loops of up to this many residues score the torsion energies of growth,
    // closure and the final score with the neighbour-dependent tables
    // (P(t|previous) P(t|next) / P(t)); 0: never.
    int neighbourTorsionLength = 0;
    // Loops of up to this many residues score the same torsion energies with
    // the conformation-dependent tables (the placed neighbours' (phi, psi)
    // cells); 0: never.
    int conformationTorsionLength = 0;
    // Every kept closed loop is finished, and the loops written are those of
    // lowest backbone score (normalised backbone DFIRE plus normalised torsion
    // score, neither needing side chains), in rank order; else the first
    // loops in rank order.
    bool writeByBackbone = false;
    // Two populations of half the seeds each, grown in turn: the first with
    // the sampling pair table, the second with DFIRE's energies inside that
    // table's clash walls; the loops of both are written together and ranked
    // as one set. The second table reaches buried loops the first steers
    // away from, the first keeps precision on exposed ones.
    bool twoTables = false;
    // With twoTables: the first population is the whole run (every seed, all
    // of -numloop) and the second adds half the seeds and half as many loops,
    // so that nothing the sampling table finds is lost.
    bool supplement = false;
    // Loops of at least this many residues grow the supplement (twoTables
    // with supplement) when the run grows with the sampling pair table and has
    // seeds enough for a second population; 0: never. Measured on fresh
    // training loops and the benchmark: the best written loop only gains, the
    // prediction gains on 8-10 residues, at 1.5 times the CPU.
    int supplementLength = 0;
    StepWeights stepWeights;

    // The backbone angle table is read only when a choice needs it.
    bool needsBackboneAngles() const { return drawNCAC || closeDraws > 0; }
    // The grown residues' records carry their own N-CA-C angle.
    bool ncacPerResidue() const { return drawNCAC || ncacByConformation; }
};

// The population of a loop of `length` residues when -seeds is not given:
// the protocol's short-loop size, or `seeds`.
int defaultPopulation(const Protocol& p, int length, int seeds);

// The smallest population the supplement is grown beside: its second
// population has half the seeds, and no population is smaller than 100.
constexpr int SUPPLEMENT_MIN_SEEDS = 200;

// Whether Protocol::supplementLength asks a loop of `length` residues, grown
// with table `samplingPotential` (1: the sampling pair table), for the
// supplement, whatever its population.
bool supplementWanted(const Protocol& p, int length, int samplingPotential);

// The protocol a loop of `length` residues is grown with: `p`, with the
// supplement switched on where Protocol::supplementLength asks for it
// (`samplingPotential` 1 is the sampling pair table; `seeds` the population).
Protocol protocolForLoop(const Protocol& p, int length, int samplingPotential, int seeds);

// "classic" or "default"; anything else stops with status 2 naming the value.
Protocol protocolNamed(const std::string& name);

}  // namespace lorvane
