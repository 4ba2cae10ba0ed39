#include "driver/driver.h"

#include <omp.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "driver/data_directory.h"
#include "driver/modes.h"
#include "driver/output_names.h"
#include "growth/plan.h"
#include "model/atomic_file.h"
#include "model/error.h"
#include "model/residue_id.h"
#include "model/strings.h"
#include "model/structure.h"
#include "model/templates.h"

namespace lorvane {

void Usage() {
    std::cout << "\n"
              << "LORVANE:  protein loop conformation sampler\n"
              << "\n"
              << "Main options:\n"
              << "  -f [PDB file]\t\tInput PDB file (required)\n"
              << "  -start [#]\t\tStarting residue number of loop, as numbered in the PDB file (required)\n"
              << "  -end [#]\t\tEnding residue number of loop, as numbered in the PDB file (required)\n"
              << "  -seeds [#]\t\tNumber of seeds to use for sampling (default: 10000)\n"
              << "  -numloop [#]\t\tNumber of final loop conformations to score and output (default: 5000)\n"
              << "  -cores [#]\t\tNumber of parallel openMP threads to use (default: number of cores present on system)\n"
              << "\n"
              << "Additional options:\n"
              << "  -dfire\t\tUse DFIRE potential for sampling, instead of default VANTOR potential\n"
              << "  -nobbt\t\tSample without using backbone dihedral angle probabilities\n"
              << "  -protocol [name]\tclassic (the original pipeline) or default (diverse selection, flexible closure,\n"
              << "\t\t\tdrawn N-CA-C angles, re-seeding; the default)\n"
              << "  -rs [#]\t\tSeed of the random numbers (default: 1); the same seed gives the same result with any -cores\n"
              << "  -quiet\t\tNo progress on standard error (warnings and errors only)\n"
              << "\n"
              << "Example:  ./lorvane -f 5p21.pdb -start 45 -end 52\n"
              << "\t \n"
              << "\t \n";
    std::cout.flush();
}

const std::vector<OptionHelp>& optionReference() {
    static const std::vector<OptionHelp> options = {
        {"-f", "FILE", "input structure: PDB (.pdb, .ent) or mmCIF (.cif), gzipped or not (required)"},
        {"-start", "N[I]", "first loop residue: number with optional insertion code, e.g. 60A (required)"},
        {"-end", "N[I]", "last loop residue (required)"},
        {"-chain", "ID", "chain of the loop (needed when the numbers are in several chains)"},
        {"-seq", "SEQ", "one-letter codes of the loop residues start..end when they are missing from the coordinates"},
        {"-keepwater", "", "keep crystal waters as environment (default: ignored)"},
        {"-pdbIndex", "", "-start and -end are positions counted over the chains (1 = first residue)"},
        {"-mode", "MODE", "smc (sampling, the default), energy, compare, gaps, fold"},
        {"-seeds", "N", "population of the sampler (default 10000; 5000 for loops of up to 6 residues under -protocol default; at least 100)"},
        {"-numloop", "N", "conformations written to the result file (default 5000; under -protocol default a loop of 8 residues or more writes up to half as many more, from its supplement)"},
        {"-cores", "N", "OpenMP threads (default: every core)"},
        {"-rs", "N", "random seed (default 1); the same seed gives the same result with any -cores"},
        {"-quiet", "", "no progress on standard error (warnings and errors only)"},
        {"-o", "PREFIX", "output path prefix, directories created (default pdbout/<name>_<start>_<end>)"},
        {"-models", "N", "conformations written as complete models, in rank order (default 10; 0: none)"},
        {"-data", "DIR", "tables directory (else $LORVANE_DATA, ./data, ../share/lorvane/data or data beside the program)"},
        {"-dfire", "", "sample with the DFIRE pair table instead of the QUENDA one"},
        {"-xgrowdfire", "", "measuring: the sampling pair table keeps its bins and clash walls but takes DFIRE's energies outside them (growth, closure, side chains)"},
        {"-xtwotables", "", "measuring: half the seeds grown with the sampling pair table, half with the table of -xgrowdfire; the loops of both written and ranked together"},
        {"-xnosupplement", "", "measuring: no supplement for loops of 8 residues or more under -protocol default (the program's run alone)"},
        {"-xsupplement", "", "measuring: the whole run with the sampling pair table, plus half the seeds grown with the table of -xgrowdfire writing half as many loops more; all ranked together"},
        {"-nobbt", "", "sample without the backbone torsion-bin probabilities"},
        {"-backgrow", "", "grow from the end anchor only"},
        {"-xforward", "", "measuring: grow from the start anchor only"},
        {"-topfrac", "X", "share of the population kept in rank order at each step (default 0.9)"},
        {"-nrep", "N", "lower bound of the per-seed cap (default 20)"},
        {"-protocol", "NAME", "classic (the original pipeline) or default (diverse selection, flexible closure, drawn N-CA-C angles, re-seeding, and for loops of 8 residues or more the supplement of -xsupplement; the default)"},
        {"-xdiverse", "", "measuring: diverse selection at every growth step"},
        {"-xfew", "N", "measuring: children kept per cluster by the diverse selection (default 1)"},
        {"-xshare", "X", "measuring: share of the population the cluster rounds may take, in (0, 1] (default 0.5)"},
        {"-xrandfill", "X", "measuring: share of each growth step's population drawn at random from the children the diverse selection left, in [0, 1) (default 0)"},
        {"-xncac", "", "measuring: N-CA-C of grown residues drawn from the backbone angle table"},
        {"-xncacphipsi", "", "measuring: N-CA-C of grown residues from their candidate phi/psi by the conformation table (data/ncac_phipsi.txt, written by lorvane-params ncac-phipsi)"},
        {"-xclose", "N", "measuring: closure geometries tried per candidate (0: one random draw)"},
        {"-xreseed", "", "measuring: survivors copied into empty seed slots on a collapse"},
        {"-xstepw", "S,P,T,D", "measuring: weights of the side-chain, pair, torsion and distance terms of the growth-step ranking (default 1,1,10,0)"},
        {"-xstepwgrowth", "", "measuring: the -xstepw weights rank the growth steps only; the closing step keeps the default weights"},
        {"-xnctorsion", "N", "measuring: loops of up to N residues take their torsion energies from the tables conditioned on the neighbours' conformations (data/phipsi.nc.txt.gz, written by lorvane-params phipsi-nc; default 0: never)"},
        {"-xnbtorsion", "N", "measuring: loops of up to N residues take their torsion energies from the neighbour-dependent tables (data/phipsi.nb.txt.gz, written by lorvane-params phipsi-nb; default 0: never)"},
        {"-xwritebb", "", "measuring: finish every kept closed loop and write the -numloop of lowest backbone score (normalised backbone DFIRE plus normalised torsion score), in rank order"},
        {"-xrefine", "N", "measuring: refine the best N written loops, one per cluster (default 0: none)"},
        {"-xrefinemoves", "N", "measuring: Monte Carlo moves per refined loop (default 300)"},
        {"-xrefinetemp", "X", "measuring: temperature of the refinement, in combined-score units (default 0.5)"},
        {"-xrepack", "", "measuring: repack the side chains of every written loop from the rotamers and score it again (also after refinement moves)"},
        {"-xrescore", "", "measuring: score every loop of the -xrefinefrom file again as it stands"},
        {"-xrotprior", "FILE", "measuring: with -xrepack, each rotamer also scores its preference at its residue's phi/psi from this table (tools/ranking/rotamer_backbone.py table)"},
        {"-xrefinejump", "X", "measuring: a third of the refinement moves draw whole new phi/psi pairs from the torsion table; the temperature falls from X to -xrefinetemp"},
        {"-xrefinegeom", "", "measuring: refinement moves also bend N-CA-C angles and peptide torsions, restrained to their training spread"},
        {"-xconsensus", "N", "measuring: pull the first loop toward the mean backbone of those among the best N within 1 A of it, its energy kept (default 0: none)"},
        {"-xrefinefrom", "FILE", "measuring: refine the loops of this result file instead of sampling"},
        {"-xsmooth", "", "measuring: DFIRE and torsion scores read between their bin centres, for every written loop and in the refinement"},
        {"-diag", "", "diagnostic lines and tables (output/)"},
        {"-score", "FILE", "compare mode: the result file to judge"},
        {"-svg", "FILE", "compare mode: funnel plot of combined score against RMSD"},
        {"-dumpdis", "", "compare mode: pair-distance counts (disout2/) and energies (Eout/)"},
        {"-h", "", "this reference (also --help)"},
    };
    return options;
}

std::string helpText() {
    std::string s =
        "LORVANE: protein loop conformation sampler\n"
        "\n"
        "Usage:\n"
        "  lorvane -f FILE -start N -end N [options]                      sample a loop\n"
        "  lorvane -mode energy -f FILE -start N -end N                   QUENDA energy of the loop as it is\n"
        "  lorvane -mode compare -f FILE -start N -end N -score RESULT    judge a result file against the loop\n"
        "  lorvane -mode gaps -f FILE                                     every gap of every chain, with its command\n"
        "\n"
        "Options:\n";
    size_t width = 0;
    for (const OptionHelp& o : optionReference()) width = std::max(width, std::string(o.option).size() + 1 + std::string(o.value).size());
    for (const OptionHelp& o : optionReference()) {
        std::string head = std::string(o.option) + (*o.value ? std::string(" ") + o.value : "");
        head.resize(width, ' ');
        s += "  " + head + "  " + o.text + "\n";
    }
    s += "\n"
         "A sampling run writes PREFIX.txt (the result file), PREFIX.ranking.tsv (every conformation in\n"
         "rank order: scores, combined score, cluster size, RMSD to the top one) and PREFIX.models.pdb\n"
         "(.models.cif for mmCIF input: the top -models conformations as complete structures).\n"
         "Exit status: 0 success, 1 input or data error, 2 command-line misuse.\n";
    return s;
}

namespace {

bool parseInt(const std::string& s, int& out) {
    if (s.empty()) return false;
    errno = 0;
    char* endp = nullptr;
    long v = std::strtol(s.c_str(), &endp, 10);
    if (errno != 0 || *endp != '\0' || v < -2147483647L || v > 2147483647L) return false;
    out = static_cast<int>(v);
    return true;
}

bool parseReal(const std::string& s, double& out) {
    if (s.empty()) return false;
    errno = 0;
    char* endp = nullptr;
    double v = std::strtod(s.c_str(), &endp);
    if (errno != 0 || *endp != '\0') return false;
    out = v;
    return true;
}

[[noreturn]] void usageError(const std::string& message) { fail(message, STATUS_USAGE); }

}  // namespace

void parseArguments(const std::vector<std::string>& args, RunOptions& opt) {
    const size_t n = args.size();
    // The protocol first, wherever it stands: the -x switches refine it.
    for (size_t i = 1; i + 1 < n; ++i)
        if (args[i] == "-protocol") opt.protocol = protocolNamed(args[i + 1]);
    for (size_t i = 1; i < n; ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) -> bool {
            if (i + 1 >= n) return false;
            v = args[++i];
            return true;
        };
        auto intOption = [&](int& target, int minimum, const char* what) {
            std::string v;
            if (!value(v)) usageError("Option " + a + " needs a value");
            int x = 0;
            if (!parseInt(v, x)) usageError("Option " + a + " needs an integer, got \"" + v + "\"");
            if (x < minimum) usageError("Option " + a + " must be at least " + std::to_string(minimum) + what + ", got " + v);
            target = x;
        };
        auto realOption = [&](double& target) {
            std::string v;
            if (!value(v)) usageError("Option " + a + " needs a value");
            double x = 0;
            if (!parseReal(v, x)) usageError("Option " + a + " needs a number, got \"" + v + "\"");
            target = x;
        };
        if (a == "-mode") {
            std::string v;
            if (!value(v)) usageError("Option -mode needs a value");
            if (v == "fold")
                opt.mode = Mode::Fold;
            else if (v == "smc")
                opt.mode = Mode::Smc;
            else if (v == "energy")
                opt.mode = Mode::Energy;
            else if (v == "compare")
                opt.mode = Mode::Compare;
            else if (v == "gaps")
                opt.mode = Mode::Gaps;
            else {
                usageError("wrong mode type!");
            }
        } else if (a == "-f") {
            std::string v;
            if (!value(v)) usageError("Option -f needs a value");
            opt.pdbFile = v;
            if (opt.protName.empty()) opt.protName = File2ProtName(v);
            opt.isSequence = File2Extension(v) == "seq";
        } else if (a == "-score") {
            if (!value(opt.scoreFile)) usageError("Option -score needs a value");
        } else if (a == "-svg") {
            if (!value(opt.funnelPlot)) usageError("Option -svg needs a value");
        } else if (a == "-rs") {
            intOption(opt.randSeed, -2147483647, "");
        } else if (a == "-backgrow") {
            opt.growMode = 2;
        } else if (a == "-xforward") {
            opt.growMode = 0;
        } else if (a == "-dfire") {
            opt.samplingPotential = 2;
        } else if (a == "-xgrowdfire") {
            opt.samplingPotential = 3;
        } else if (a == "-diag") {
            opt.diag = true;
        } else if (a == "-nobbt") {
            opt.useBBT = 0.0;
        } else if (a == "-quiet") {
            opt.quiet = true;
        } else if (a == "-dumpdis") {
            opt.dumpDis = true;
        } else if (a == "-cores") {
            intOption(opt.cores, 0, "");
        } else if (a == "-topfrac") {
            realOption(opt.topFrac);
        } else if (a == "-nrep") {
            intOption(opt.nrep, -2147483647, "");
        } else if (a == "-start") {
            if (!value(opt.startRes) || opt.startRes.empty()) usageError("Option -start needs a value");
        } else if (a == "-end") {
            if (!value(opt.endRes) || opt.endRes.empty()) usageError("Option -end needs a value");
        } else if (a == "-chain") {
            if (!value(opt.chain) || opt.chain.empty()) usageError("Option -chain needs a chain ID");
        } else if (a == "-seq") {
            if (!value(opt.seq) || opt.seq.empty()) usageError("Option -seq needs the one-letter codes of the loop residues");
        } else if (a == "-keepwater") {
            opt.keepWater = true;
        } else if (a == "-seeds") {
            intOption(opt.seeds, 100, " (the first growth step alone uses 100 seeds)");
            opt.hasSeeds = true;
        } else if (a == "-numloop") {
            intOption(opt.numLoop, 1, "");
            opt.hasNumLoop = true;
        } else if (a == "-protocol") {
            std::string v;
            if (!value(v)) usageError("Option -protocol needs a value");
        } else if (a == "-xdiverse") {
            opt.protocol.diverse = true;
        } else if (a == "-xfew") {
            intOption(opt.protocol.perCluster, 1, "");
        } else if (a == "-xshare") {
            realOption(opt.protocol.clusterShare);
            if (!(opt.protocol.clusterShare > 0.0 && opt.protocol.clusterShare <= 1.0))
                usageError("Option -xshare needs a share in (0, 1], got " + args[i]);
        } else if (a == "-xrandfill") {
            realOption(opt.protocol.randomFill);
            if (!(opt.protocol.randomFill >= 0.0 && opt.protocol.randomFill < 1.0))
                usageError("Option -xrandfill needs a share in [0, 1), got " + args[i]);
        } else if (a == "-xncac") {
            opt.protocol.drawNCAC = true;
        } else if (a == "-xncacphipsi") {
            opt.protocol.ncacByConformation = true;
        } else if (a == "-xclose") {
            intOption(opt.protocol.closeDraws, 0, "");
        } else if (a == "-xreseed") {
            opt.protocol.reseed = true;
        } else if (a == "-xnbtorsion") {
            intOption(opt.protocol.neighbourTorsionLength, 0, "");
        } else if (a == "-xnctorsion") {
            intOption(opt.protocol.conformationTorsionLength, 0, "");
        } else if (a == "-xwritebb") {
            opt.protocol.writeByBackbone = true;
        } else if (a == "-xtwotables") {
            opt.protocol.twoTables = true;
        } else if (a == "-xsupplement") {
            opt.protocol.twoTables = opt.protocol.supplement = true;
        } else if (a == "-xnosupplement") {
            opt.protocol.supplementLength = 0;
        } else if (a == "-xstepwgrowth") {
            opt.protocol.stepWeights.atClosure = false;
        } else if (a == "-xstepw") {
            std::string v;
            if (!value(v)) usageError("Option -xstepw needs a value");
            const std::vector<std::string> parts = split(v, ",", true);
            StepWeights& sw = opt.protocol.stepWeights;
            if (parts.size() != 4 || !parseReal(parts[0], sw.sideChain) || !parseReal(parts[1], sw.pair) || !parseReal(parts[2], sw.torsion) ||
                !parseReal(parts[3], sw.distance) || !std::isfinite(sw.sideChain + sw.pair + sw.torsion + sw.distance))
                usageError("Option -xstepw needs four numbers S,P,T,D, got \"" + v + "\"");
        } else if (a == "-xrefine") {
            intOption(opt.refine.top, 0, "");
        } else if (a == "-xconsensus") {
            intOption(opt.refine.consensus, 0, "");
        } else if (a == "-xrefinemoves") {
            intOption(opt.refine.moves, 0, "");
        } else if (a == "-xrefinetemp") {
            realOption(opt.refine.temperature);
            if (!(opt.refine.temperature > 0.0)) usageError("Option -xrefinetemp needs a positive temperature, got " + args[i]);
        } else if (a == "-xrepack") {
            opt.refine.repack = true;
        } else if (a == "-xrescore") {
            opt.refine.rescore = true;
        } else if (a == "-xrotprior") {
            if (!value(opt.rotamerPrior) || opt.rotamerPrior.empty()) usageError("Option -xrotprior needs a table file");
        } else if (a == "-xrefinejump") {
            realOption(opt.refine.startTemperature);
            if (!(opt.refine.startTemperature > 0.0)) usageError("Option -xrefinejump needs a positive start temperature, got " + args[i]);
            opt.refine.jump = true;
        } else if (a == "-xrefinegeom") {
            opt.refine.geometry = true;
        } else if (a == "-xsmooth") {
            opt.refineSmooth = true;
        } else if (a == "-xrefinefrom") {
            if (!value(opt.refineFrom) || opt.refineFrom.empty()) usageError("Option -xrefinefrom needs a result file");
        } else if (a == "-pdbIndex") {
            opt.byPdbNumber = false;
        } else if (a == "-o") {
            if (!value(opt.outputPrefix) || opt.outputPrefix.empty()) usageError("Option -o needs a path prefix");
            if (opt.outputPrefix.back() == '/') usageError("Option -o needs a path prefix, not a directory: \"" + opt.outputPrefix + "\"");
        } else if (a == "-models") {
            intOption(opt.models, 0, "");
        } else if (a == "-data") {
            if (!value(opt.dataDir) || opt.dataDir.empty()) usageError("Option -data needs a directory");
        } else if (a == "-h" || a == "--help") {
            opt.help = true;
        } else if (a.size() >= 4 && a.compare(a.size() - 4, 4, ".pdb") == 0) {
            opt.pdbFile = a;
        } else {
            usageError("Unrecognized command: " + a);
        }
    }
    // The loop's ends: residues (checked here so that misuse stops before any
    // table is read), or chain positions with -pdbIndex.
    auto checkEnd = [&](const char* option, const std::string& text) {
        if (text.empty()) return;
        int x = 0;
        if (opt.byPdbNumber)
            parseResidueId(text, option);
        else if (!parseInt(text, x))
            usageError(std::string("Option ") + option + " needs a chain position (an integer) with -pdbIndex, got \"" + text + "\"");
    };
    checkEnd("-start", opt.startRes);
    checkEnd("-end", opt.endRes);
}

int loopPosition(const std::string& text) {
    int x = -1;
    if (!text.empty() && !parseInt(text, x)) usageError("not a chain position: \"" + text + "\"");
    return x;
}

void appendCommandLog(const std::vector<std::string>& args) {
    std::ofstream log("command.log", std::ios::app);
    if (!log) {
        std::cerr << "Warning: cannot append to command.log in the working directory" << std::endl;
        return;
    }
    for (const std::string& a : args) log << a << " ";
    log << "\n";
}

int samplingPopulation(const RunOptions& opt, int length) {
    return opt.hasSeeds ? opt.seeds : defaultPopulation(opt.protocol, length, opt.seeds);
}

void checkRequiredOptions(const RunOptions& opt) {
    if (opt.mode == Mode::Fold) return;
    if (opt.pdbFile.empty()) usageError("No input structure: give it with -f FILE");
    if (opt.mode == Mode::Compare && opt.scoreFile.empty()) usageError("Compare mode needs the decoys to compare: give them with -score FILE");
    if (!opt.refineFrom.empty() && !refinementPassRequested(opt))
        usageError("Option -xrefinefrom needs -xrefine N, the number of loops to refine, -xconsensus N, -xrepack, -xrescore or -xsmooth");
    if (opt.refine.rescore && opt.refineFrom.empty()) usageError("Option -xrescore needs -xrefinefrom FILE, the loops to score again");
    if (opt.refine.top > 0 && opt.refine.consensus > 0) usageError("Options -xrefine and -xconsensus exclude each other");
    if (opt.protocol.twoTables && opt.samplingPotential != 1)
        usageError(std::string("Option ") + (opt.protocol.supplement ? "-xsupplement" : "-xtwotables") +
                   " grows with both sampling tables: it excludes -dfire and -xgrowdfire");
    if (opt.protocol.twoTables && opt.hasSeeds && opt.seeds < SUPPLEMENT_MIN_SEEDS)
        usageError(std::string("Option ") + (opt.protocol.supplement ? "-xsupplement" : "-xtwotables") +
                   " grows a second population of half the seeds, at least " + std::to_string(SUPPLEMENT_MIN_SEEDS / 2) + ": -seeds " +
                   std::to_string(opt.seeds) + " is too few (at least " + std::to_string(SUPPLEMENT_MIN_SEEDS) + ")");
    if (!opt.rotamerPrior.empty() && !opt.refine.repack) usageError("Option -xrotprior needs -xrepack, the repacking it weighs");
    if (opt.mode == Mode::Gaps) return;  // the whole entry
    if (opt.mode == Mode::Smc && !opt.byPdbNumber) return;  // positions; -1 stands for the chain's ends
    const bool hasStart = !opt.startRes.empty(), hasEnd = !opt.endRes.empty();
    if (!hasStart || !hasEnd)
        usageError(std::string("No loop given: ") + (hasStart ? "-end" : hasEnd ? "-start" : "-start and -end") +
                   " (the residue numbers of the loop's first and last residue) missing");
    // The loop itself (one residue, ends reversed, across chains) is judged by the
    // loop selection once the entry is read.
}

int threadCount(int cores) {
    const int hardware = std::max(omp_get_num_procs(), 1);
    if (cores == 0) return omp_get_max_threads();
    if (cores > hardware) {
        std::cerr << "Warning: -cores " << cores << " is more than the " << hardware << " processors available; using " << hardware
                  << std::endl;
        return hardware;
    }
    return cores;
}

std::string resolveLoopByPosition(int numRes, int startRes, int endRes, int& start, int& end) {
    start = startRes == -1 ? 1 : startRes;
    end = endRes == -1 ? numRes : endRes;
    const std::string range = " is outside the chain's positions 1.." + std::to_string(numRes);
    if (start < 1 || start > numRes) return "Loop start position " + std::to_string(start) + range;
    if (end < 1 || end > numRes) return "Loop end position " + std::to_string(end) + range;
    if (start > end)
        return "Loop start position " + std::to_string(start) + " is after the end position " + std::to_string(end);
    return "";
}

int runLorvane(int argc, char** argv, FilterTimes* filterTimes, StepProbe* probe) {
    std::vector<std::string> args(argv, argv + argc);
    RunOptions opt;
    if (args.size() == 1) {
        Usage();
        return 0;
    }
    for (size_t i = 1; i < args.size(); ++i)
        if (args[i] == "-h" || args[i] == "--help") {
            std::cout << helpText() << std::flush;
            return 0;
        }
    parseArguments(args, opt);
    if (opt.mode == Mode::Smc) warnOfReplacedResult(opt, "command.log");
    checkRequiredOptions(opt);
    appendCommandLog(args);
    removeTemporariesOnSignals();
    if (opt.mode == Mode::Gaps) return runGapsMode(opt);  // reads the entry only, no tables
    std::string passedOver;
    opt.dataDir = findDataDirectory(opt.dataDir, std::getenv("LORVANE_DATA"), defaultDataCandidates(executableDirectory(argv[0])), &passedOver);
    // Which tables a run reads should never be a guess the user cannot see.
    if (!passedOver.empty() && !opt.quiet) std::cerr << "Tables: " << opt.dataDir << " (" << passedOver << " lacks QUENDApair.lib)" << std::endl;
    const Templates templates = loadTemplates(opt.dataDir + "/atomProp2.txt");
    switch (opt.mode) {
        case Mode::Fold:
            return 0;
        case Mode::Smc:
            return runSamplingMode(opt, templates, filterTimes, probe);
        case Mode::Energy:
            return runEnergyMode(opt, templates);
        case Mode::Compare:
            return runCompareMode(opt, templates);
        case Mode::Gaps:
            break;
    }
    return 0;
}

}  // namespace lorvane
