#include "driver/driver.h"

#include <omp.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "driver/modes.h"
#include "model/atom.h"
#include "model/error.h"
#include "model/residue.h"
#include "model/strings.h"
#include "model/structure.h"
#include "potentials/pf.h"

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
              << "\n"
              << "Example:  ./lorvane -f 5p21.pdb -start 45 -end 52\n"
              << "\t \n"
              << "\t \n";
    std::cout.flush();
}

namespace {

constexpr int USAGE_ERROR = 2;

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

ParseResult usageError(const std::string& message) {
    std::cout << message << std::endl;
    return {false, USAGE_ERROR};
}

}  // namespace

ParseResult parseArguments(const std::vector<std::string>& args, RunOptions& opt) {
    const size_t n = args.size();
    for (size_t i = 1; i < n; ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) -> bool {
            if (i + 1 >= n) return false;
            v = args[++i];
            return true;
        };
        auto intOption = [&](int& target, int minimum, const char* what) -> ParseResult {
            std::string v;
            if (!value(v)) return usageError("Option " + a + " needs a value");
            int x = 0;
            if (!parseInt(v, x)) return usageError("Option " + a + " needs an integer, got \"" + v + "\"");
            if (x < minimum) return usageError("Option " + a + " must be at least " + std::to_string(minimum) + what + ", got " + v);
            target = x;
            return {};
        };
        auto realOption = [&](double& target) -> ParseResult {
            std::string v;
            if (!value(v)) return usageError("Option " + a + " needs a value");
            double x = 0;
            if (!parseReal(v, x)) return usageError("Option " + a + " needs a number, got \"" + v + "\"");
            target = x;
            return {};
        };
        ParseResult r;
        if (a == "-mode") {
            std::string v;
            if (!value(v)) return usageError("Option -mode needs a value");
            if (v == "fold")
                opt.mode = Mode::Fold;
            else if (v == "smc")
                opt.mode = Mode::Smc;
            else if (v == "energy")
                opt.mode = Mode::Energy;
            else if (v == "compare")
                opt.mode = Mode::Compare;
            else {
                std::cout << "wrong mode type!\n";
                Usage();
                return {false, USAGE_ERROR};
            }
        } else if (a == "-f") {
            std::string v;
            if (!value(v)) return usageError("Option -f needs a value");
            opt.pdbFile = v;
            if (opt.protName.empty()) opt.protName = File2ProtName(v);
            opt.isSequence = File2Extension(v) == "seq";
        } else if (a == "-score") {
            if (!value(opt.scoreFile)) return usageError("Option -score needs a value");
        } else if (a == "-svg") {
            if (!value(opt.funnelPlot)) return usageError("Option -svg needs a value");
        } else if (a == "-rs") {
            r = intOption(opt.randSeed, -2147483647, "");
        } else if (a == "-t") {
            double ignored = 0;
            r = realOption(ignored);
        } else if (a == "-altgrow") {
            opt.growMode = 1;
        } else if (a == "-backgrow") {
            opt.growMode = 2;
        } else if (a == "-dfire") {
            opt.samplingPotential = 2;
        } else if (a == "-diag") {
            opt.diag = true;
        } else if (a == "-nobbt") {
            opt.useBBT = 0.0;
        } else if (a == "-dumpdis") {
            opt.dumpDis = true;
        } else if (a == "-cores") {
            r = intOption(opt.cores, 0, "");
        } else if (a == "-topfrac") {
            r = realOption(PF::topFrac);
        } else if (a == "-nrep") {
            r = intOption(PF::nrep, -2147483647, "");
        } else if (a == "-start") {
            r = intOption(opt.startRes, -2147483647, "");
        } else if (a == "-end") {
            r = intOption(opt.endRes, -2147483647, "");
        } else if (a == "-seeds") {
            r = intOption(opt.seeds, 100, " (the first growth step alone uses 100 seeds)");
        } else if (a == "-numloop") {
            r = intOption(opt.numLoop, 1, "");
        } else if (a == "-pdbIndex") {
            opt.byPdbNumber = false;
        } else if (a.size() >= 4 && a.compare(a.size() - 4, 4, ".pdb") == 0) {
            opt.pdbFile = a;
        } else {
            std::cout << "Unrecognized command: " << a << "\n";
            Usage();
            return {false, USAGE_ERROR};
        }
        if (!r.ok) return r;
    }
    return {};
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

bool resolveLoopByPdbNumber(const Structure& s, int startRes, int endRes, int& start, int& end) {
    start = -1;
    end = -1;
    for (int i = 1; i <= s._numRes - 1; ++i) {
        if (s.residues[i].pdbNum == startRes)
            start = i;
        else if (s.residues[i].pdbNum == endRes)
            end = i;
    }
    return start != -1 && end != -1;
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

int runLorvane(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    RunOptions opt;
    Atom::vdw_adj = 1.0;
    if (args.size() == 1) {
        Usage();
        return 0;
    }
    ParseResult pr = parseArguments(args, opt);
    if (!pr.ok) return pr.exitStatus;
    appendCommandLog(args);
    PF::numMP = opt.cores != 0 ? opt.cores : omp_get_max_threads();
    std::srand(static_cast<unsigned>(opt.randSeed));
    std::string prefix = "./";
    Atom::InitPar("data/atomProp2.txt", prefix);
    Residue::InitMap();
    Residue::InitPar("data/atomProp2.txt", prefix, 0);
    switch (opt.mode) {
        case Mode::Fold:
            return 0;
        case Mode::Smc:
            return runSamplingMode(opt);
        case Mode::Energy:
            return runEnergyMode(opt);
        case Mode::Compare:
            return runCompareMode(opt);
    }
    return 0;
}

}  // namespace lorvane
