#pragma once
// Command line, run-wide settings and mode dispatch.
#include <string>
#include <vector>

namespace lorvane {

enum class Mode { Fold = 1, Smc = 4, Energy = 5, Compare = 6 };

struct RunOptions {
    Mode mode = Mode::Smc;
    std::string pdbFile;
    std::string protName;
    bool isSequence = false;
    std::string scoreFile;
    int randSeed = 1;
    int growMode = 1;
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
};

// Result of parsing: ok, or the exit status to leave with after the message/usage was printed.
struct ParseResult {
    bool ok = true;
    int exitStatus = 0;
};

void Usage();
// Parses argv[1..]; prints messages and the usage text itself on misuse.
ParseResult parseArguments(const std::vector<std::string>& args, RunOptions& opt);
void appendCommandLog(const std::vector<std::string>& args);
// Positions of the loop's first and last residue by PDB number; false when not both found.
bool resolveLoopByPdbNumber(const class Structure& s, int startRes, int endRes, int& start, int& end);
// Positions given with -pdbIndex (-1 = the chain's first or last residue) checked against a
// chain of numRes residues; returns "" when valid, otherwise the message to stop with.
std::string resolveLoopByPosition(int numRes, int startRes, int endRes, int& start, int& end);
int runLorvane(int argc, char** argv);

}  // namespace lorvane
