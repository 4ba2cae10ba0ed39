#pragma once
// Command line, run-wide settings and mode dispatch.
#include <string>
#include <vector>

#include "growth/protocol.h"

namespace lorvane {

struct FilterTimes;
struct StepProbe;

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
    int seeds = 10000;
    int numLoop = 5000;
    bool byPdbNumber = true;
    std::string funnelPlot;  // compare mode: SVG funnel plot path ("" = none)
    double topFrac = 0.9;    // "-topfrac"
    int nrep = 20;           // "-nrep"
    Protocol protocol = protocolNamed("default");  // "-protocol", refined by the "-x..." switches
};

void Usage();
// Parses argv[1..] into opt. Misuse stops with status 2 (Error) naming the
// option; an unknown word or mode prints the usage text first.
void parseArguments(const std::vector<std::string>& args, RunOptions& opt);
void appendCommandLog(const std::vector<std::string>& args);
// Positions of the loop's first and last residue by PDB number; false when not both found.
bool resolveLoopByPdbNumber(const class Structure& s, int startRes, int endRes, int& start, int& end);
// Positions given with -pdbIndex (-1 = the chain's first or last residue) checked against a
// chain of numRes residues; returns "" when valid, otherwise the message to stop with.
std::string resolveLoopByPosition(int numRes, int startRes, int endRes, int& start, int& end);
// The program: parse, log, seed, load the templates and run the mode. Returns the exit status.
// A sampling run copies the time of the filter's stages to *filterTimes when given, and reports to
// probe when given (benchmarks).
int runLorvane(int argc, char** argv, FilterTimes* filterTimes = nullptr, StepProbe* probe = nullptr);

}  // namespace lorvane
