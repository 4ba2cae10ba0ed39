#include "driver/driver.h"

#include <omp.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "driver/modes.h"
#include "growth/plan.h"
#include "model/atomic_file.h"
#include "model/error.h"
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
              << "  -rs [#]\t\tSeed of the random numbers (default: 1); the same seed gives the same result with any -cores\n"
              << "  -quiet\t\tNo progress on standard error (warnings and errors only)\n"
              << "\n"
              << "Example:  ./lorvane -f 5p21.pdb -start 45 -end 52\n"
              << "\t \n"
              << "\t \n";
    std::cout.flush();
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
        } else if (a == "-dfire") {
            opt.samplingPotential = 2;
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
            intOption(opt.startRes, -2147483647, "");
            opt.hasStart = true;
        } else if (a == "-end") {
            intOption(opt.endRes, -2147483647, "");
            opt.hasEnd = true;
        } else if (a == "-seeds") {
            intOption(opt.seeds, 100, " (the first growth step alone uses 100 seeds)");
        } else if (a == "-numloop") {
            intOption(opt.numLoop, 1, "");
            opt.hasNumLoop = true;
        } else if (a == "-pdbIndex") {
            opt.byPdbNumber = false;
        } else if (a.size() >= 4 && a.compare(a.size() - 4, 4, ".pdb") == 0) {
            opt.pdbFile = a;
        } else {
            usageError("Unrecognized command: " + a);
        }
    }
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
    for (int i = 1; i <= s._numRes; ++i) {
        if (s.residues[i].pdbNum == startRes) start = i;
        if (s.residues[i].pdbNum == endRes) end = i;
    }
    return start != -1 && end != -1;
}

void checkRequiredOptions(const RunOptions& opt) {
    if (opt.mode == Mode::Fold) return;
    if (opt.pdbFile.empty()) usageError("No input structure: give it with -f FILE");
    if (opt.mode == Mode::Compare && opt.scoreFile.empty()) usageError("Compare mode needs the decoys to compare: give them with -score FILE");
    if (opt.mode == Mode::Smc && !opt.byPdbNumber) return;  // positions; -1 stands for the chain's ends
    if (!opt.hasStart || !opt.hasEnd)
        usageError(std::string("No loop given: ") + (opt.hasStart ? "-end" : opt.hasEnd ? "-start" : "-start and -end") +
                   " (the residue numbers of the loop's first and last residue) missing");
    if (opt.mode != Mode::Smc) return;  // energy and compare modes judge the loop when they read the structure
    const std::string both = "-start " + std::to_string(opt.startRes) + " and -end " + std::to_string(opt.endRes);
    if (opt.startRes == opt.endRes)
        usageError(both + " give a loop of one residue; a loop has at least " + std::to_string(MIN_LOOP_N + 1) +
                   " residues, -start numbering its first and -end its last");
    if (opt.startRes > opt.endRes) usageError(both + ": the loop's first residue comes after its last");
}

namespace {

// Index of the chain that holds position i.
int chainOf(const Structure& s, int i) {
    int c = 0;
    for (int k = 1; k < static_cast<int>(s.chainIds.size()) && k < MAX_CHAINS; ++k)
        if (s.chainStart[k] <= i) c = k;
    return c;
}

std::string chainName(const Structure& s, int i) {
    const int c = chainOf(s, i);
    const char id = c < static_cast<int>(s.chainIds.size()) ? s.chainIds[c] : ' ';
    return id == ' ' ? std::string("the chain") : std::string("chain ") + id;
}

}  // namespace

void checkLoopInChain(const Structure& s, int start, int end, const std::string& file, int endStatus) {
    const auto num = [&](int i) { return std::to_string(s.residues[i].pdbNum); };
    const std::string loop = "loop " + num(start) + ".." + num(end);
    for (int i = start; i < end; ++i) {
        if (chainOf(s, i) != chainOf(s, i + 1))
            fail("The " + loop + " runs from " + chainName(s, i) + " into " + chainName(s, i + 1) + " after residue " + num(i) + " in " + file);
        if (s.gapAfter[i])
            fail("Chain break inside the " + loop + " in " + file + ": residue " + num(i + 1) + " follows residue " + num(i));
    }
    if (start == 1 || chainOf(s, start - 1) != chainOf(s, start))
        fail("Residue " + num(start) + " is the first residue of " + chainName(s, start) + " in " + file +
                 ": a loop needs a fixed residue of its chain before it",
             endStatus);
    if (end == s._numRes || chainOf(s, end + 1) != chainOf(s, end))
        fail("Residue " + num(end) + " is the last residue of " + chainName(s, end) + " in " + file +
                 ": a loop needs a fixed residue of its chain after it",
             endStatus);
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

int runLorvane(int argc, char** argv, FilterTimes* filterTimes) {
    std::vector<std::string> args(argv, argv + argc);
    RunOptions opt;
    if (args.size() == 1) {
        Usage();
        return 0;
    }
    parseArguments(args, opt);
    checkRequiredOptions(opt);
    appendCommandLog(args);
    removeTemporariesOnSignals();
    const Templates templates = loadTemplates("data/atomProp2.txt");
    switch (opt.mode) {
        case Mode::Fold:
            return 0;
        case Mode::Smc:
            return runSamplingMode(opt, templates, filterTimes);
        case Mode::Energy:
            return runEnergyMode(opt, templates);
        case Mode::Compare:
            return runCompareMode(opt, templates);
    }
    return 0;
}

}  // namespace lorvane
