#pragma once
// Command line, run-wide settings and mode dispatch.
#include <string>
#include <vector>

#include "growth/protocol.h"
#include "refine/loop_refinement.h"

namespace lorvane {

struct FilterTimes;
struct StepProbe;

enum class Mode { Fold = 1, Smc = 4, Energy = 5, Compare = 6, Gaps = 7 };

struct RunOptions {
    Mode mode = Mode::Smc;
    std::string pdbFile;
    std::string protName;
    bool isSequence = false;
    std::string scoreFile;
    int randSeed = 1;
    int growMode = 1;  // 1 alternating (the default), 2 backward ("-backgrow"), 0 forward ("-xforward")
    int samplingPotential = 1;  // pair-table mode of loadPairTables: 1, 2 ("-dfire"), 3 ("-xgrowdfire")
    bool diag = false;
    double useBBT = 1.0;
    bool dumpDis = false;
    int cores = 0;
    // Loop ends as typed: residue number with optional insertion code ("60A"),
    // or a chain position with -pdbIndex; "" when not given.
    std::string startRes;
    std::string endRes;
    std::string chain;       // "-chain": chain of the loop, "" = the one chain holding both ends
    std::string seq;         // "-seq": one-letter codes of the loop residues start..end
    bool keepWater = false;  // "-keepwater": crystal waters stay in the environment
    int seeds = 10000;
    bool hasSeeds = false;    // -seeds given (otherwise the protocol may choose a smaller one for short loops)
    int numLoop = 5000;
    bool hasNumLoop = false;  // -numloop given (the default asks for no more than the seeds give)
    bool byPdbNumber = true;
    std::string funnelPlot;  // compare mode: SVG funnel plot path ("" = none)
    double topFrac = 0.9;    // "-topfrac"
    int nrep = 20;           // "-nrep"
    Protocol protocol = protocolNamed("default");  // "-protocol", refined by the "-x..." switches
    std::string outputPrefix;  // "-o": path prefix of the output files, "" = pdbout/<name>_<start>_<end>
    int models = 10;           // "-models": conformations written as complete structures
    std::string dataDir;       // "-data": the tables' directory; runLorvane puts the one found here
    bool help = false;         // "-h", "--help"
    bool quiet = false;      // "-quiet": no progress or notes on standard error, warnings and errors only
    RefineSettings refine;   // "-xrefine..." switches: refinement of the best written loops (none by default)
    std::string refineFrom;  // "-xrefinefrom": refine this result file instead of sampling
    bool refineSmooth = false;  // "-xsmooth": score every written loop with the smooth terms (RefineContext::smooth)
    std::string rotamerPrior;   // "-xrotprior": rotamer preference table weighed in repacking (RefineContext::rotamerPrior)
};

// Whether the run ends with a pass over a result file (refinement, repacking,
// scoring again, smooth scores): -xrefinefrom needs one.
inline bool refinementPassRequested(const RunOptions& opt) {
    return opt.refine.top > 0 || opt.refine.consensus > 0 || opt.refine.repack || opt.refine.rescore || opt.refineSmooth;
}

// The usage text on standard output (the program started without arguments).
// A usage error prints only its one line on standard error: standard output
// carries results, and a run that fails leaves it empty.
void Usage();
// One option of the reference "-h" prints: the option with its value, and what it does.
struct OptionHelp {
    const char* option;
    const char* value;
    const char* text;
};
// Every option the parser accepts, in the order the reference lists them.
const std::vector<OptionHelp>& optionReference();
// The complete reference of every option (standard output with -h / --help).
std::string helpText();
// Parses argv[1..] into opt. Misuse stops with status 2 (Error) naming the
// option; an unknown word or mode prints the usage text first. -start and
// -end are checked as residues (or as positions with -pdbIndex).
void parseArguments(const std::vector<std::string>& args, RunOptions& opt);
// A chain position given with -pdbIndex; -1 when not given.
int loopPosition(const std::string& text);
void appendCommandLog(const std::vector<std::string>& args);
// Positions given with -pdbIndex (-1 = the chain's first or last residue) checked against a
// chain of numRes residues; returns "" when valid, otherwise the message to stop with.
std::string resolveLoopByPosition(int numRes, int startRes, int endRes, int& start, int& end);
// Stops unless the command line names everything its mode needs: the input
// (-f), the loop (-start and -end, unless -pdbIndex) and, in compare mode,
// the decoys (-score); the loop itself is judged when the entry is read.
// Status 2 (misuse).
void checkRequiredOptions(const RunOptions& opt);
// The population of a sampling run for a loop of `length` residues: -seeds
// when given, otherwise the protocol's default for that length.
int samplingPopulation(const RunOptions& opt, int length);
// Threads to use for -cores: the hardware count when cores is 0 or more
// than the hardware has (said on standard error).
int threadCount(int cores);
// The program: parse, log, seed, load the templates and run the mode. Returns the exit status.
// A sampling run copies the time of the filter's stages to *filterTimes when given, and reports to
// probe when given (benchmarks).
int runLorvane(int argc, char** argv, FilterTimes* filterTimes = nullptr, StepProbe* probe = nullptr);

}  // namespace lorvane
