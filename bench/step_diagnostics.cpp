// Where does the sampler lose the native loop? Runs the sampling mode
// in-process on a loop whose native is the input structure's own loop and
// prints, per growth step: live seeds, seeds without any feasible child,
// children scored, children ranked, seeds kept, the best and median
// deviation from the native of the kept partial chains, and the near-native
// enrichment against random selection: (fraction of the children within
// 0.5 A that were kept) / (fraction of all children kept), likewise for 1 A.
// Then the closure step (seeds without a closed child, best seed before and
// after closure) and the best written loop (RMSD over N, CA, C, O of every
// loop residue, no superposition, as the benchmark measures it), with CPU
// time and peak memory.
//
//   bench_step_diagnostics -f structure.pdb -start S -end E [-dumpkept STEP FILE] [lorvane options]
//
// -dumpkept writes the kept partial chains after growth step STEP (commit
// order: id, step energies, loop backbone coordinates) to FILE.
//
// Run from a directory holding data/ (the repository root); the result file
// goes to pdbout/ there. Partial-chain deviations are the filter's own
// (backbone atoms of the residues grown so far); enrichment is "-" when no
// child lies within the threshold.
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "driver/driver.h"
#include "filter/filter.h"
#include "filter/step_probe.h"
#include "model/error.h"
#include "model/strings.h"

using namespace lorvane;

namespace {

constexpr double UNSCORED = 12000.0;  // deviations at or above this are the sentinel

struct StepRow {
    int step = 0, pos = 0, seeds = 0, deadEnds = -1;
    bool backward = false;
    int children = 0, ranked = 0, kept = 0;
    double bestChild = NAN, bestKept = NAN, medianKept = NAN;
    int nn05 = 0, nn05Kept = 0, nn10 = 0, nn10Kept = 0;
    long bestChildRank = -1;  // position of the best child in the ranking (1-based), -1 when not ranked
    bool finalStep = false;
    int clusters = -1;        // diverse selection: clusters and their radius
    double radius = NAN;
};

double median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

class Recorder : public StepProbe {
public:
    std::map<int, StepRow> rows;
    std::vector<int> writtenIds;

    bool diverse = false;

    void grown(int step, int pos, bool backward, int seeds, int deadEnds) override {
        StepRow& r = rows[step];
        r.step = step;
        r.pos = pos;
        r.backward = backward;
        r.seeds = seeds;
        r.deadEnds = deadEnds;
    }
    void selected(int step, bool finalStep, const std::vector<double>& dev, const std::vector<int>& ranked,
                  const std::vector<int>& kept, const DiverseResult* div) override {
        StepRow& r = rows[step];
        r.step = step;
        r.finalStep = finalStep;
        int bestId = -1;
        for (size_t id = 0; id < dev.size(); ++id) {
            if (!(dev[id] < UNSCORED)) continue;
            ++r.children;
            if (dev[id] < 0.5) ++r.nn05;
            if (dev[id] < 1.0) ++r.nn10;
            if (bestId < 0 || dev[id] < dev[bestId]) bestId = static_cast<int>(id);
        }
        if (bestId >= 0) r.bestChild = dev[bestId];
        r.ranked = static_cast<int>(ranked.size());
        for (size_t k = 0; k < ranked.size(); ++k)
            if (ranked[k] == bestId) r.bestChildRank = static_cast<long>(k) + 1;
        r.kept = static_cast<int>(kept.size());
        std::vector<double> kd;
        kd.reserve(kept.size());
        for (int id : kept) {
            const double d = dev[id];
            if (!(d < UNSCORED)) continue;
            kd.push_back(d);
            if (d < 0.5) ++r.nn05Kept;
            if (d < 1.0) ++r.nn10Kept;
        }
        if (!kd.empty()) r.bestKept = *std::min_element(kd.begin(), kd.end());
        r.medianKept = median(kd);
        if (div) {
            diverse = true;
            r.clusters = div->clusters;
            r.radius = div->radius;
        }
    }
    void written(int id, int) override { writtenIds.push_back(id); }

    // -dumpkept STEP FILE: the kept partial chains after that step.
    int dumpStep = -1;
    std::string dumpPath;
    bool wantsBackbone(int step) const override { return step == dumpStep; }
    void keptBackbone(int step, const std::vector<int>& kept, const std::vector<float>& backbone, const std::vector<float>* energy) override {
        std::ofstream out(dumpPath);
        if (!out) throw Error("cannot write " + dumpPath, 1);
        const size_t perChild = backbone.size() / (static_cast<size_t>(energy[1].size()));
        out << "# step " << step << ": kept children in commit order; id, energies E1 E3 E5 E6, then x y z of N CA C O per loop residue\n";
        char buf[32];
        for (int id : kept) {
            out << id;
            for (int e : {1, 3, 5, 6}) {
                std::snprintf(buf, sizeof buf, " %.6g", energy[e][id]);
                out << buf;
            }
            const float* p = &backbone[static_cast<size_t>(id) * perChild];
            for (size_t i = 0; i < perChild; ++i) {
                std::snprintf(buf, sizeof buf, " %.3f", p[i]);
                out << buf;
            }
            out << "\n";
        }
    }
};

using AtomKey = std::pair<int, std::string>;  // (residue number, atom name)

// Backbone atoms N, CA, C, O of residues start..end of ATOM records (first
// occurrence, altloc blank or A).
std::map<AtomKey, std::array<double, 3>> readBackbone(std::istream& in, int start, int end) {
    std::map<AtomKey, std::array<double, 3>> atoms;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("ATOM  ", 0) != 0 || line.size() < 54) continue;
        const char alt = line[16];
        if (alt != ' ' && alt != 'A') continue;
        std::string name = line.substr(12, 4);
        name.erase(0, name.find_first_not_of(' '));
        name.erase(name.find_last_not_of(' ') + 1);
        if (name != "N" && name != "CA" && name != "C" && name != "O") continue;
        const int num = std::stoi(line.substr(22, 4));
        if (num < start || num > end) continue;
        atoms.emplace(AtomKey{num, name},
                      std::array<double, 3>{std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)), std::stod(line.substr(46, 8))});
    }
    return atoms;
}

// RMSD of every written loop against the native loop (in file order).
std::vector<double> writtenRmsds(const std::string& resultPath, const std::string& nativePath, int start, int end) {
    std::ifstream nat(nativePath);
    const auto native = readBackbone(nat, start, end);
    std::vector<double> out;
    std::ifstream in(resultPath);
    std::string line, block;
    bool inLoop = false;
    while (std::getline(in, line)) {
        if (line.rfind("LOOP ", 0) == 0) {
            inLoop = true;
            block.clear();
        } else if (line.rfind("END", 0) == 0 && inLoop) {
            std::istringstream b(block);
            const auto conf = readBackbone(b, start, end);
            double sum = 0.0;
            int n = 0;
            for (const auto& [key, x] : native) {
                auto it = conf.find(key);
                if (it == conf.end()) {
                    n = 0;
                    break;
                }
                for (int d = 0; d < 3; ++d) sum += (it->second[d] - x[d]) * (it->second[d] - x[d]);
                ++n;
            }
            out.push_back(n > 0 ? std::sqrt(sum / n) : NAN);
            inLoop = false;
        } else if (inLoop) {
            block += line + "\n";
        }
    }
    return out;
}

std::string fmt(double x, int prec = 2) {
    if (!std::isfinite(x)) return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", prec, x);
    return buf;
}

std::string enrichment(int nn, int nnKept, int children, int kept) {
    if (nn == 0 || kept == 0 || children == 0) return "-";
    return fmt((static_cast<double>(nnKept) / nn) / (static_cast<double>(kept) / children), 2);
}

}  // namespace

int main(int argc, char** argv) {
    std::string pdb;
    int startRes = 0, endRes = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-f") pdb = argv[i + 1];
        if (a == "-start") startRes = std::atoi(argv[i + 1]);
        if (a == "-end") endRes = std::atoi(argv[i + 1]);
    }
    const char* usage = "usage: bench_step_diagnostics -f structure.pdb -start S -end E [-dumpkept STEP FILE] [lorvane options]";
    if (pdb.empty() || startRes == endRes) {
        std::cerr << usage << std::endl;
        return 2;
    }
    Recorder rec;
    FilterTimes filterTimes;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) == "-dumpkept" && i + 2 < argc) {
            // A step that is not a whole number would otherwise dump step 0.
            char* end = nullptr;
            const long step = std::strtol(argv[i + 1], &end, 10);
            if (end == argv[i + 1] || *end != '\0' || step < 0 || step > 1000) {
                std::cerr << "-dumpkept: step \"" << argv[i + 1] << "\" is not a growth step number\n" << usage << std::endl;
                return 2;
            }
            rec.dumpStep = static_cast<int>(step);
            rec.dumpPath = argv[i + 2];
            i += 2;
            continue;
        }
        args.push_back(argv[i]);
    }
    // The sampler's own progress lines go to standard error, so that standard
    // output holds only this program's tables.
    std::streambuf* saved = std::cout.rdbuf(std::cerr.rdbuf());
    int status = 0;
    try {
        status = runLorvane(static_cast<int>(args.size()), args.data(), &filterTimes, &rec);
    } catch (const Error& e) {
        std::cout.rdbuf(saved);
        std::cerr << e.what() << std::endl;
        return e.status();
    }
    std::cout.rdbuf(saved);
    const std::string loopId = File2ProtName(pdb) + "_" + std::to_string(startRes) + "_" + std::to_string(endRes);
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    const double cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec * 1e-6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec * 1e-6;

    std::cout << "loop " << loopId << "  (" << pdb.substr(pdb.find_last_of('/') + 1) << " " << startRes << "-" << endRes
              << "), status " << status << "\n";
    std::cout << "command:";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        std::cout << " " << (a.find('/') != std::string::npos ? a.substr(a.find_last_of('/') + 1) : a);
    }
    std::cout << "\n\n";
    std::cout << "step res dir  seeds  dead  children   ranked   kept  best_child rank_of_best  best_kept median_kept"
                 "  nn05 nn05_kept enrich05  nn10 nn10_kept enrich10"
              << (rec.diverse ? "  clusters radius" : "") << "\n";
    double bestBeforeClosure = NAN;
    const StepRow* closureRow = nullptr;
    for (const auto& [step, r] : rec.rows) {
        char line[400];
        std::snprintf(line, sizeof line, "%4d %3d  %c  %6d %5d %9d %8d %6d %11s %12s %10s %11s %5d %9d %8s %5d %9d %8s", step,
                      r.pos, r.backward ? 'B' : 'F', r.seeds, r.deadEnds, r.children, r.ranked, r.kept,
                      fmt(r.bestChild).c_str(), r.bestChildRank > 0 ? std::to_string(r.bestChildRank).c_str() : "-",
                      fmt(r.bestKept).c_str(), fmt(r.medianKept).c_str(), r.nn05, r.nn05Kept,
                      enrichment(r.nn05, r.nn05Kept, r.children, r.kept).c_str(), r.nn10, r.nn10Kept,
                      enrichment(r.nn10, r.nn10Kept, r.children, r.kept).c_str());
        std::cout << line;
        if (rec.diverse) std::cout << " " << std::setw(9) << r.clusters << " " << std::setw(6) << fmt(r.radius);
        std::cout << "\n";
        if (r.finalStep)
            closureRow = &r;
        else
            bestBeforeClosure = r.bestKept;
    }
    if (closureRow) {
        const StepRow& r = *closureRow;
        std::cout << "\nclosure step " << r.step << ": " << r.deadEnds << " of " << r.seeds << " seeds without a closed child ("
                  << fmt(r.seeds > 0 ? 100.0 * r.deadEnds / r.seeds : NAN, 1) << "%); best seed before closure " << fmt(bestBeforeClosure)
                  << " A, best closed child " << fmt(r.bestChild) << " A, best kept " << fmt(r.bestKept) << " A\n";
    }
    const std::string result = "pdbout/" + loopId + ".txt";
    const std::vector<double> w = writtenRmsds(result, pdb, startRes, endRes);
    double best = NAN;
    int bestAt = 0, below1 = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        if (std::isfinite(w[i]) && (!std::isfinite(best) || w[i] < best)) best = w[i], bestAt = static_cast<int>(i) + 1;
        if (w[i] < 1.0) ++below1;
    }
    std::cout << "written: " << w.size() << " loops, best RMSD " << fmt(best, 3) << " A (loop " << bestAt << "), " << below1
              << " below 1 A; first written " << (w.empty() ? std::string("-") : fmt(w[0], 3)) << " A\n";
    std::cout << "CPU time " << fmt(cpu, 1) << " s, peak RSS " << fmt(ru.ru_maxrss / 1024.0, 0) << " MiB; filter wall time: scoring "
              << fmt(filterTimes.scoring, 1) << " s, selection " << fmt(filterTimes.selection, 1) << " s, clustering "
              << fmt(filterTimes.clustering, 1) << " s, last step " << fmt(filterTimes.finalLoops, 1) << " s\n";
    return status;
}
