// The modes of the program: sampling, energy, compare, gaps (and fold, which
// stops after the templates). Every input is read as a whole entry (PDB or
// mmCIF, gzipped or not); the loop is chosen on it and the working structure
// built from it.
#include "driver/modes.h"

#include <omp.h>

#include <sys/resource.h>

#include <cstdio>
#include <iostream>
#include <limits>
#include <memory>
#include <set>
#include <string>

#include "distributions/distributions.h"
#include "driver/output_names.h"
#include "evaluate/evaluate.h"
#include "evaluate/models_file.h"
#include "evaluate/ranking.h"
#include "evaluate/result_file.h"
#include "filter/filter.h"
#include "model/entry.h"
#include "model/entry_gaps.h"
#include "model/entry_structure.h"
#include "growth/plan.h"
#include "model/error.h"
#include "model/loop_selection.h"
#include "model/pdb_reader.h"
#include "model/strings.h"
#include "potentials/quenda.h"
#include "refine/result_refinement.h"

namespace lorvane {

namespace {

// CPU time of the process so far (all threads), seconds.
double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + 1e-6 * (u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

Entry readInput(const std::string& path) {
    if (!FileExists(path)) fail("Could not read PDB file " + path);
    return readEntry(path);
}

// Whether the entry holds the residue typed for an end (in the -chain chain when given).
bool holds(const Entry& entry, const std::string& chain, const std::string& text, std::string& why) {
    const ResidueId id = parseResidueId(text, "");
    for (const EntryChain& ch : entry.chains) {
        if (!chain.empty() && ch.id != chain) continue;
        for (const SequenceResidue& s : ch.sequence)
            if (s.idKnown && s.id == id) return true;
    }
    why = entry.path + " has no residue " + id.str() + (chain.empty() ? "" : " in chain " + chain);
    return false;
}

// The loop the command line names, on the entry, and the working structure
// built around it. notFound is the mode's message for ends the entry lacks.
struct ChosenLoop {
    LoopSelection selection;
    EntryStructure built;
};

ChosenLoop chooseLoop(const RunOptions& opt, const Templates& tm, const Entry& entry, bool byPdbNumber, const std::string& notFound) {
    LoopRequest request{opt.chain, opt.startRes, opt.endRes, opt.seq};
    if (!byPdbNumber) {
        // Positions count the standard residues of all chains in entry order, as the structure holds them.
        const EntryStructure all = structureFromEntry(tm, entry, nullptr, opt.keepWater);
        int start = -1, end = -1;
        const std::string problem = resolveLoopByPosition(all.protein._numRes, loopPosition(opt.startRes), loopPosition(opt.endRes), start, end);
        if (!problem.empty()) fail(problem);
        std::string chainStart, chainEnd;
        ResidueId first, last;
        residueAt(all.protein, start, chainStart, first);
        residueAt(all.protein, end, chainEnd, last);
        if (chainStart != chainEnd)
            fail("positions " + std::to_string(start) + " and " + std::to_string(end) + " lie in different chains: " +
                 residueLabel(chainStart, first) + " and " + residueLabel(chainEnd, last));
        request = {chainStart, first.str(), last.str(), opt.seq};
    } else {
        std::string why;
        if (opt.startRes.empty() || opt.endRes.empty())
            fail(notFound + " (give the loop's ends with -start and -end)", STATUS_USAGE);
        const EntryChain* named = opt.chain.empty() ? nullptr : entry.chain(opt.chain);
        const bool unknownChain = !opt.chain.empty() && (!named || named->polymer.empty());  // selectLoop names the chains
        if (!unknownChain && (!holds(entry, opt.chain, opt.startRes, why) || !holds(entry, opt.chain, opt.endRes, why)))
            fail(notFound + " (" + why + ")");
    }
    ChosenLoop chosen;
    chosen.selection = selectLoop(entry, request);
    chosen.built = structureFromEntry(tm, entry, &chosen.selection, opt.keepWater);
    return chosen;
}

// Energy and compare modes judge the loop as it is in the file.
void requireCoordinates(const Entry& entry, const LoopSelection& sel, const char* mode) {
    if (!sel.hasMissing()) return;
    const EntryChain& ch = entry.chains[sel.chain];
    std::string missing;
    for (const LoopResidue& r : sel.residues)
        if (r.present < 0) missing += (missing.empty() ? "" : " ") + ch.label(r.id);
    fail(std::string(mode) + " mode needs the loop's own coordinates, but " + entry.path + " lacks residues " + missing + " of the loop " +
         ch.label(sel.residues.front().id) + "-" + ch.label(sel.residues.back().id) + " (sampling mode models them)");
}

// What the user should know about the input before sampling starts.
void reportInput(std::ostream& out, const Entry& entry, const EntryStructure& built, const LoopSelection& sel) {
    for (const std::string& n : entry.notes) out << "Note: " << n << "\n";
    for (const std::string& n : built.notes) out << "Note: " << n << "\n";
    const EntryChain& ch = entry.chains[sel.chain];
    out << "Loop " << ch.label(sel.residues.front().id) << "-" << ch.label(sel.residues.back().id) << " (" << sel.sequence() << ")";
    int missing = 0;
    for (const LoopResidue& r : sel.residues) missing += r.present < 0;
    if (missing) out << ", " << missing << " residues missing from the coordinates";
    out << "\n";
    const std::vector<HeteroAtom>& hetero = built.protein.hetero;
    if (!hetero.empty()) {
        std::set<std::string> seen;
        std::string names;
        for (const HeteroAtom& h : hetero)
            if (seen.insert(h.residue).second && seen.size() <= 12) names += (names.empty() ? "" : ", ") + h.residue;
        if (seen.size() > 12) names += ", ...";
        out << "Environment: " << hetero.size() << " hetero atoms of " << seen.size() << " residues (" << names << ")\n";
    }
    out.flush();
}

// The sampler's potentials: the pair tables of `mode` (see loadPairTables),
// the rotamer library and the QUENDA loop table.
void loadSamplingPotentials(Potentials& p, int mode, const std::string& dataDir) {
    loadPairTables(p, mode, dataDir);
    loadRotamers(p, dataDir + "/newsimplRot.txt");
    loadQuenda(p, dataDir + "/QUENDA_ed4_8_V3.txt");
}

// Two populations, grown in turn with the two sampling tables (see
// Protocol::twoTables and supplement); their loops are written together to the
// result file, the first population's first. Leaves run at the last
// population grown (which refers to second) and returns the wall-clock start
// of the first.
double runTwoTables(const SamplerSettings& settings, const SamplerTables& tables, const Potentials& second, const EntryStructure& built,
                    const std::string& loopId, FilterState& filter, std::unique_ptr<Sampler>& run) {
    const Potentials* table[2] = {&tables.potentials, &second};
    const char* name[2] = {"the sampling pair table", "DFIRE energies inside the sampling table's clash walls"};
    HeldLoops held;
    double start = 0.0;
    for (int p = 0; p < 2; ++p) {
        SamplerSettings population = settings;
        // Split: half each (the first takes an odd one); supplement: the whole run, then half more.
        const bool whole = p == 0 && settings.protocol.supplement;
        population.numSeeds = whole ? settings.numSeeds : p == 0 ? settings.numSeeds - settings.numSeeds / 2 : settings.numSeeds / 2;
        population.numLoops = whole ? settings.numLoops : p == 0 ? settings.numLoops - settings.numLoops / 2 : settings.numLoops / 2;
        if (population.numLoops == 0) continue;  // -numloop 1: the first population writes it
        if (settings.progress)
            std::cerr << "Population " << p + 1 << " of 2: " << population.numSeeds << " seeds grown with " << name[p] << std::endl;
        run.reset();  // one population's buffers at a time
        run = std::make_unique<Sampler>(SamplerTables{tables.templates, tables.distributions, *table[p]}, population, built.protein, built.loopStart,
                                        built.loopEnd, loopId);
        FilterState fs;
        fs.probe = filter.probe;
        fs.hold = &held;
        production(*run, fs);
        if (p == 0) start = run->runStart;
        filter.times += fs.times;
    }
    writeHeldLoops(held, settings.resultPath);
    return start;
}

}  // namespace

int runSamplingMode(const RunOptions& opt, const Templates& tm, FilterTimes* filterTimes, StepProbe* probe) {
    const int threads = threadCount(opt.cores);
    if (!opt.quiet) std::cerr << "openMP:  using " << threads << " cores." << std::endl;
    // Sampling needs every table: a missing or damaged file stops here,
    // before any work, rather than leaving a table that scores wrongly.
    if (!opt.quiet) std::cerr << "Loading parameters... " << std::endl;
    Potentials pot;
    loadSamplingPotentials(pot, opt.samplingPotential, opt.dataDir);
    Distributions dist = loadDistributions(opt.dataDir);
    if (opt.protocol.needsBackboneAngles() || (opt.refine.top > 0 && opt.refine.geometry))
        loadBackboneAngles(opt.dataDir + "/backbone_angles.txt", dist.backboneAngles);
    if (opt.protocol.ncacByConformation) loadNcacConformation(opt.dataDir + "/ncac_phipsi.txt", dist.ncacConformation);
    RotamerPrior prior;
    if (!opt.rotamerPrior.empty()) prior = loadRotamerPrior(opt.rotamerPrior);

    if (opt.isSequence) {
        // A sequence gives residue types but no coordinates: there are no
        // anchors to grow a loop between, so any result would be meaningless.
        Structure protein(MAX_RESIDUES);
        readSeq(tm, opt.pdbFile, protein);
        fail(opt.pdbFile + " is a sequence file: loop sampling needs a structure with coordinates for the anchors");
    }
    const Entry entry = readInput(opt.pdbFile);
    const ChosenLoop loop =
        chooseLoop(opt, tm, entry, opt.byPdbNumber, "Specified starting or ending residue numbers are not in the PDB file.");
    if (!opt.quiet) reportInput(std::cerr, entry, loop.built, loop.selection);

    const int length = loop.built.loopEnd - loop.built.loopStart + 1;
    if (length <= opt.protocol.neighbourTorsionLength)
        useNeighbourTorsion(dist, loadNeighbourTorsionBins(opt.dataDir + "/phipsi.nb.txt.gz"), loop.built.protein, loop.built.loopStart,
                            loop.built.loopEnd);
    if (length <= opt.protocol.conformationTorsionLength)
        useConformationTorsion(dist, loadConformationTorsionBins(opt.dataDir + "/phipsi.nc.txt.gz"), loop.built.loopStart, loop.built.loopEnd);
    const int seeds = samplingPopulation(opt, length);
    if (!opt.quiet && seeds != opt.seeds)
        std::cerr << "Population: " << seeds << " seeds, the default for a loop of " << length << " residues" << std::endl;
    if (opt.hasNumLoop && opt.numLoop > seeds)
        std::cerr << "Warning: -numloop " << opt.numLoop << " asks for more conformations than the " << seeds
                  << " seeds can give; at most " << seeds << " will be written" << std::endl;
    SamplerSettings settings;
    settings.numSeeds = seeds;
    settings.numLoops = opt.numLoop;
    settings.growMode = opt.growMode;
    settings.threads = threads;
    settings.useBBT = opt.useBBT;
    settings.diag = opt.diag;
    settings.topFrac = opt.topFrac;
    settings.nrep = opt.nrep;
    settings.protocol = opt.refineFrom.empty() ? protocolForLoop(opt.protocol, length, opt.samplingPotential, seeds) : opt.protocol;
    if (!opt.quiet && settings.protocol.supplement && !opt.protocol.supplement)
        std::cerr << "Supplement: a loop of " << length << " residues also grows " << seeds / 2 << " seeds with DFIRE energies; up to "
                  << opt.numLoop + opt.numLoop / 2 << " conformations are written" << std::endl;
    else if (!opt.quiet && opt.refineFrom.empty() && !settings.protocol.twoTables && supplementWanted(opt.protocol, length, opt.samplingPotential))
        std::cerr << "Supplement: left out, " << seeds << " seeds are too few for a second population (at least "
                  << SUPPLEMENT_MIN_SEEDS << ")" << std::endl;
    // The second table of a two-table run, read once the loop is known to need
    // it (short loops never do) and before any growth. Outlives run, which
    // refers to it.
    std::unique_ptr<Potentials> second;
    if (settings.protocol.twoTables) {
        second = std::make_unique<Potentials>();
        loadSamplingPotentials(*second, 3, opt.dataDir);
    }
    const std::string prefix = outputPrefix(opt);
    settings.resultPath = prefix + ".txt";
    settings.randomSeed = opt.randSeed;
    settings.progress = !opt.quiet;
    const std::string loopId = loopIdOf(opt);
    std::unique_ptr<Sampler> run;
    FilterState filter;
    filter.probe = probe;
    double runStart = 0.0;
    if (!opt.refineFrom.empty()) {
        // Refinement of loops sampled before: the run is prepared (atom
        // index, working structure) but grows nothing.
        run = std::make_unique<Sampler>(SamplerTables{tm, dist, pot}, settings, loop.built.protein, loop.built.loopStart, loop.built.loopEnd, loopId);
        prepare(*run);
        prepareOutputFiles(settings.resultPath, false);
        runStart = run->runStart;
    } else if (!settings.protocol.twoTables) {
        run = std::make_unique<Sampler>(SamplerTables{tm, dist, pot}, settings, loop.built.protein, loop.built.loopStart, loop.built.loopEnd, loopId);
        production(*run, filter);
        runStart = run->runStart;
    } else {
        runStart = runTwoTables(settings, {tm, dist, pot}, *second, loop.built, loopId, filter, run);
    }
    if (filterTimes) *filterTimes = filter.times;
    if (refinementPassRequested(opt)) {
        const RefineContext context{tm, dist, pot, run->atoms, settings.protocol.torsionBins, settings.protocol.clashTolerance,
                                    run->loopStart, run->loopEnd, opt.refineSmooth, opt.rotamerPrior.empty() ? nullptr : &prior};
        const std::string& input = opt.refineFrom.empty() ? settings.resultPath : opt.refineFrom;
        const RefineSummary r = refineResultFile(context, opt.refine, run->work, input, settings.resultPath, opt.randSeed, threads);
        if (!opt.quiet && opt.refine.repack) std::cerr << "Repacked " << r.repacked << " of " << r.loops << " loops" << std::endl;
        if (!opt.quiet && opt.refine.top > 0)
            std::cerr << "Refined " << r.refined << " of " << r.loops << " loops (" << r.improved << " lower in energy; " << r.accepted
                      << " of " << r.moves << " moves taken, " << r.closed << " closed)" << std::endl;
        if (!opt.quiet && opt.refine.consensus > 0)
            std::cerr << "Consensus pull of the first loop toward the mean of " << r.consensusMembers << ": " << r.deviationBefore << " -> "
                      << r.deviationAfter << " A (" << r.accepted << " of " << r.moves << " moves taken, " << r.closed << " closed)" << std::endl;
    }

    // The ranking and the models are read back from the result file, so that
    // they name its conformations exactly as compare mode sees them.
    const std::vector<ResultConformation> confs = readConformations(settings.resultPath, 0, std::numeric_limits<int>::max());
    const std::vector<RankedConformation> ranked = rankResults(confs);
    std::vector<std::string> written{settings.resultPath, prefix + ".ranking.tsv"};
    writeTextOutput(written.back(), formatRankingTable(ranked));
    if (opt.models > 0) {
        written.push_back(modelsFilePath(prefix, entry.format));
        writeModelsFile(written.back(), entry, loop.selection, confs, ranked, opt.models);
    }
    std::string files;
    for (const std::string& f : written) files += (files.empty() ? "" : ", ") + f;
    char summary[160];
    std::snprintf(summary, sizeof summary, "%zu conformations, best combined score %.4f (LOOP %d), run time %.1f s (CPU %.1f s)", confs.size(),
                  ranked.front().combined, ranked.front().index, omp_get_wtime() - runStart, cpuSeconds());
    std::cout << "Wrote " << files << ": " << summary << std::endl;
    return 0;
}

int runEnergyMode(const RunOptions& opt, const Templates& tm) {
    Potentials pot;  // tables before the input: a bad table stops before any work
    loadQuenda(pot, opt.dataDir + "/QUENDA_ed4_8_V3.txt");
    const Entry entry = readInput(opt.pdbFile);
    const ChosenLoop loop = chooseLoop(opt, tm, entry, true, "Could not find startind or ending PDB index");
    requireCoordinates(entry, loop.selection, "energy");
    double e1 = 0, e2 = 0, e3 = 0, e4 = 0;
    std::cout << quenda_e(pot, loop.built.protein, loop.built.loopStart, loop.built.loopEnd, true, e1, e2, e3, e4) << std::endl;
    return 0;
}

int runCompareMode(const RunOptions& opt, const Templates& tm) {
    Potentials pot;  // the fitted table, when distances are counted (loaded before the input)
    if (opt.dumpDis) loadFittedTable(pot, opt.dataDir + "/fittedE.txt");
    const Entry entry = readInput(opt.pdbFile);
    const ChosenLoop loop = chooseLoop(opt, tm, entry, true, "Could not find startind or ending PDB index");
    requireCoordinates(entry, loop.selection, "compare");
    const DecoyEvaluation e = evaluateDecoys(tm, pot, opt.scoreFile, loop.built.loopStart, loop.built.loopEnd, loop.built.protein, opt.dumpDis);
    if (!opt.funnelPlot.empty()) writeFunnelPlot(opt.funnelPlot, loopIdOf(opt), e);
    return 0;
}

int runGapsMode(const RunOptions& opt) {
    const Entry entry = readInput(opt.pdbFile);
    std::cout << gapsTable(findGaps(entry)) << std::flush;
    return 0;
}

}  // namespace lorvane
