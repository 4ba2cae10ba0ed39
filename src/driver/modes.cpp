// The four modes of the program: sampling, energy, compare (and fold, which
// stops after the templates).
#include "driver/modes.h"

#include <omp.h>

#include <iostream>
#include <string>

#include "distributions/distributions.h"
#include "evaluate/evaluate.h"
#include "filter/filter.h"
#include "model/error.h"
#include "model/pdb_reader.h"
#include "potentials/quenda.h"

namespace lorvane {

namespace {

// "protein_start_end", the prefix of the run's output files.
std::string loopIdOf(const RunOptions& opt) { return opt.protName + "_" + std::to_string(opt.startRes) + "_" + std::to_string(opt.endRes); }

// Energy and compare modes: the protein as read and its loop by PDB number.
// False when the reader could not use the file (it has named the problem).
bool loadNativeLoop(const RunOptions& opt, const Templates& tm, Structure& native, int& start, int& end) {
    if (!readPdb(tm, opt.pdbFile, native)) return false;
    if (!resolveLoopByPdbNumber(native, opt.startRes, opt.endRes, start, end)) fail("Could not find startind or ending PDB index");
    return true;
}

}  // namespace

int runSamplingMode(const RunOptions& opt, const Templates& tm, FilterTimes* filterTimes, StepProbe* probe) {
    const int threads = opt.cores != 0 ? opt.cores : omp_get_max_threads();
    std::cout << "openMP:  using " << threads << " cores." << std::endl;
    // Sampling needs every table: a missing file stops here rather than
    // leaving a table empty that would reject every candidate.
    Potentials pot;
    loadPairTables(pot, opt.samplingPotential);
    Distributions dist = loadDistributions();
    if (opt.protocol.needsBackboneAngles()) loadBackboneAngles("data/backbone_angles.txt", dist.backboneAngles);
    loadRotamers(pot, "data/newsimplRot.txt");
    loadQuenda(pot, "data/QUENDA_ed4_8_V3.txt");

    Structure protein(MAX_RESIDUES);
    if (opt.isSequence) {
        // A sequence gives residue types but no coordinates: there are no
        // anchors to grow a loop between, so any result would be meaningless.
        readSeq(tm, opt.pdbFile, protein);
        fail(opt.pdbFile + " is a sequence file: loop sampling needs a structure with coordinates for the anchors");
    }
    if (!readPdb(tm, opt.pdbFile, protein)) return STATUS_DATA;  // the reader has named the problem

    int start = -1, end = -1;
    if (opt.byPdbNumber) {
        if (!resolveLoopByPdbNumber(protein, opt.startRes, opt.endRes, start, end))
            fail("Specified starting or ending residue numbers are not in the PDB file.");
    } else {
        const std::string problem = resolveLoopByPosition(protein._numRes, opt.startRes, opt.endRes, start, end);
        if (!problem.empty()) fail(problem);
    }
    SamplerSettings settings;
    settings.numSeeds = opt.seeds;
    settings.numLoops = opt.numLoop;
    settings.growMode = opt.growMode;
    settings.threads = threads;
    settings.useBBT = opt.useBBT;
    settings.diag = opt.diag;
    settings.topFrac = opt.topFrac;
    settings.nrep = opt.nrep;
    settings.protocol = opt.protocol;
    Sampler run({tm, dist, pot}, settings, protein, start, end, loopIdOf(opt));
    FilterState filter;
    filter.probe = probe;
    production(run, filter);
    if (filterTimes) *filterTimes = filter.times;
    return 0;
}

int runEnergyMode(const RunOptions& opt, const Templates& tm) {
    Structure native(MAX_RESIDUES);
    int start = -1, end = -1;
    if (!loadNativeLoop(opt, tm, native, start, end)) return STATUS_DATA;
    Potentials pot;
    loadQuenda(pot, "data/QUENDA_ed4_8_V3.txt");
    double e1 = 0, e2 = 0, e3 = 0, e4 = 0;
    std::cout << quenda_e(pot, native, start, end, true, e1, e2, e3, e4) << std::endl;
    return 0;
}

int runCompareMode(const RunOptions& opt, const Templates& tm) {
    Structure native(MAX_RESIDUES);
    int start = -1, end = -1;
    if (!loadNativeLoop(opt, tm, native, start, end)) return STATUS_DATA;
    Potentials pot;  // the fitted table, when distances are counted
    const DecoyEvaluation e = evaluateDecoys(tm, pot, opt.scoreFile, start, end, native, opt.dumpDis);
    if (!opt.funnelPlot.empty()) writeFunnelPlot(opt.funnelPlot, loopIdOf(opt), e);
    return 0;
}

}  // namespace lorvane
