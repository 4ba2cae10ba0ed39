// The four modes of the program: sampling, energy, compare (and fold, which
// stops after the templates).
#include "driver/modes.h"

#include <omp.h>

#include <iostream>
#include <string>

#include "distributions/distributions.h"
#include "evaluate/evaluate.h"
#include "filter/filter.h"
#include "growth/plan.h"
#include "model/error.h"
#include "model/pdb_reader.h"
#include "potentials/quenda.h"

namespace lorvane {

namespace {

// "protein_start_end", the prefix of the run's output files.
std::string loopIdOf(const RunOptions& opt) { return opt.protName + "_" + std::to_string(opt.startRes) + "_" + std::to_string(opt.endRes); }

// Energy and compare modes: the protein as read and its loop by PDB number,
// which must be one unbroken stretch of one chain with a residue on each side.
// False when the reader could not use the file (it has named the problem).
bool loadNativeLoop(const RunOptions& opt, const Templates& tm, Structure& native, int& start, int& end) {
    if (!readPdb(tm, opt.pdbFile, native)) return false;
    const std::string numbers = "-start " + std::to_string(opt.startRes) + " -end " + std::to_string(opt.endRes);
    if (opt.startRes > opt.endRes) fail("No loop to score: " + numbers + " puts the loop's first residue after its last");
    if (opt.startRes == opt.endRes) fail("No loop to score: " + numbers + " name a single residue");
    if (!resolveLoopByPdbNumber(native, opt.startRes, opt.endRes, start, end))
        fail("Could not find startind or ending PDB index: " + numbers + " are not both residue numbers of " + opt.pdbFile);
    if (start > end) fail("No loop to score: in " + opt.pdbFile + " residue " + std::to_string(opt.startRes) + " comes after residue " +
                          std::to_string(opt.endRes));
    checkLoopInChain(native, start, end, opt.pdbFile, STATUS_DATA);
    return true;
}

}  // namespace

int runSamplingMode(const RunOptions& opt, const Templates& tm, FilterTimes* filterTimes) {
    const int threads = threadCount(opt.cores);
    if (!opt.quiet) std::cerr << "openMP:  using " << threads << " cores." << std::endl;
    // Sampling needs every table: a missing or damaged file stops here,
    // before any work, rather than leaving a table that scores wrongly.
    if (!opt.quiet) std::cerr << "Loading parameters... " << std::endl;
    Potentials pot;
    loadPairTables(pot, opt.samplingPotential);
    const Distributions dist = loadDistributions();
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
            fail("Specified starting or ending residue numbers are not in the PDB file. (" + opt.pdbFile + " has no residue " +
                 std::to_string(start == -1 ? opt.startRes : opt.endRes) + ")");
        if (start > end)
            fail("Residue " + std::to_string(opt.startRes) + " comes after residue " + std::to_string(opt.endRes) + " in " + opt.pdbFile +
                     ": the loop's first residue must come before its last",
                 STATUS_USAGE);
        checkLoopInChain(protein, start, end, opt.pdbFile, STATUS_USAGE);
        const int length = end - start + 1;
        if (length < MIN_LOOP_N + 1 || length > MAX_LOOP_N + 1)
            fail("The loop " + std::to_string(opt.startRes) + ".." + std::to_string(opt.endRes) + " has " + std::to_string(length) +
                     " residues; the sampler models loops of " + std::to_string(MIN_LOOP_N + 1) + " to " + std::to_string(MAX_LOOP_N + 1),
                 STATUS_USAGE);
    } else {
        const std::string problem = resolveLoopByPosition(protein._numRes, opt.startRes, opt.endRes, start, end);
        if (!problem.empty()) fail(problem);
    }
    if (opt.hasNumLoop && opt.numLoop > opt.seeds)
        std::cerr << "Warning: -numloop " << opt.numLoop << " asks for more conformations than the " << opt.seeds
                  << " seeds can give; at most " << opt.seeds << " will be written" << std::endl;
    SamplerSettings settings;
    settings.numSeeds = opt.seeds;
    settings.numLoops = opt.numLoop;
    settings.growMode = opt.growMode;
    settings.threads = threads;
    settings.useBBT = opt.useBBT;
    settings.diag = opt.diag;
    settings.topFrac = opt.topFrac;
    settings.nrep = opt.nrep;
    settings.randomSeed = opt.randSeed;
    settings.progress = !opt.quiet;
    Sampler run({tm, dist, pot}, settings, protein, start, end, loopIdOf(opt));
    FilterState filter;
    production(run, filter);
    if (filterTimes) *filterTimes = filter.times;
    return 0;
}

int runEnergyMode(const RunOptions& opt, const Templates& tm) {
    Potentials pot;
    loadQuenda(pot, "data/QUENDA_ed4_8_V3.txt");
    Structure native(MAX_RESIDUES);
    int start = -1, end = -1;
    if (!loadNativeLoop(opt, tm, native, start, end)) return STATUS_DATA;
    double e1 = 0, e2 = 0, e3 = 0, e4 = 0;
    std::cout << quenda_e(pot, native, start, end, true, e1, e2, e3, e4) << std::endl;
    return 0;
}

int runCompareMode(const RunOptions& opt, const Templates& tm) {
    Potentials pot;  // the fitted table, when distances are counted
    if (opt.dumpDis) loadFittedTable(pot, "data/fittedE.txt");
    Structure native(MAX_RESIDUES);
    int start = -1, end = -1;
    if (!loadNativeLoop(opt, tm, native, start, end)) return STATUS_DATA;
    const DecoyEvaluation e = evaluateDecoys(tm, pot, opt.scoreFile, start, end, native, opt.dumpDis);
    if (!opt.funnelPlot.empty()) writeFunnelPlot(opt.funnelPlot, loopIdOf(opt), e);
    return 0;
}

}  // namespace lorvane
