#pragma once
// Command line, run-wide settings and mode dispatch.
#include <string>
#include <vector>

namespace lorvane {

struct FilterTimes;

enum class Mode { Fold = 1, Smc = 4, Energy = 5, Compare = 6 };

struct RunOptions {
    Mode mode = Mode::Smc;
    std::string pdbFile;
    std::string protName;
    bool isSequence = false;
    std::string scoreFile;
    int randSeed = 1;
    int growMode = 1;  // 1 alternating (the default), 2 backward ("-backgrow")
    int samplingPotential = 1;
    bool diag = false;
    double useBBT = 1.0;
    bool dumpDis = false;
    int cores = 0;
    int startRes = -1;
    int endRes = -1;
    bool hasStart = false;  // -start given (any number, -1 included)
    bool hasEnd = false;
    int seeds = 10000;
    int numLoop = 5000;
    bool hasNumLoop = false;  // -numloop given (the default asks for no more than the seeds give)
    bool byPdbNumber = true;
    std::string funnelPlot;  // compare mode: SVG funnel plot path ("" = none)
    double topFrac = 0.9;    // "-topfrac"
    int nrep = 20;           // "-nrep"
    bool quiet = false;      // "-quiet": no progress or notes on standard error, warnings and errors only
};

// The usage text on standard output (the program started without arguments).
// A usage error prints only its one line on standard error: standard output
// carries results, and a run that fails leaves it empty.
void Usage();
// Parses argv[1..] into opt. Misuse stops with status 2 (Error) naming the
// option or word at fault.
void parseArguments(const std::vector<std::string>& args, RunOptions& opt);
void appendCommandLog(const std::vector<std::string>& args);
// Positions of the loop's first and last residue by PDB number (the last
// residue of that number when several carry it); false when not both found.
bool resolveLoopByPdbNumber(const class Structure& s, int startRes, int endRes, int& start, int& end);
// Positions given with -pdbIndex (-1 = the chain's first or last residue) checked against a
// chain of numRes residues; returns "" when valid, otherwise the message to stop with.
std::string resolveLoopByPosition(int numRes, int startRes, int endRes, int& start, int& end);
// Stops unless the command line names everything its mode needs: the input
// (-f), the loop (-start and -end, unless -pdbIndex) and, in compare mode,
// the decoys (-score); in sampling mode the loop numbers must also run
// forward over at least two residues. Status 2 (misuse).
void checkRequiredOptions(const RunOptions& opt);
// Stops unless positions start..end of s are one unbroken stretch of one
// chain with a residue of that chain on each side. A break or a chain change
// inside the loop is an input error (status 1); a loop at a chain's end is a
// wrong choice of loop (status `endStatus`). `what` begins the message.
void checkLoopInChain(const class Structure& s, int start, int end, const std::string& file, int endStatus);
// Threads to use for -cores: the hardware count when cores is 0 or more
// than the hardware has (said on standard error).
int threadCount(int cores);
// The program: parse, log, seed, load the templates and run the mode. Returns the exit status.
// A sampling run copies the time of the filter's stages to *filterTimes when given (benchmarks).
int runLorvane(int argc, char** argv, FilterTimes* filterTimes = nullptr);

}  // namespace lorvane
