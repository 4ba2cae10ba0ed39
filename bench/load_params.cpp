// Start-up cost of the sampling mode's tables: times each loader on the
// build tree's data/ (in the driver's order) and reports the resident memory
// afterwards. Target: under 3 s for everything.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "distributions/distributions.h"
#include "model/templates.h"
#include "potentials/potentials.h"

using namespace lorvane;

namespace {

std::string vmRss() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return line.substr(6);
    return " unknown";
}

bool exists(const std::string& path) { return std::ifstream(path).good(); }

}  // namespace

int main() {
    if (chdir(LORVANE_BINARY_DIR) != 0) {
        std::cout << "cannot change to " << LORVANE_BINARY_DIR << std::endl;
        return 1;
    }
    const std::vector<std::string> required = {
        "data/dfire_pair.lib",
        "data/QUENDApair.lib",
        "data/joint.distance.txt",
        "data/joint.distance.backward.txt",
        "data/joint.distance.conditional.txt",
        "data/joint.distance.conditional.backward.txt",
        "data/phipsi.bb.txt",
        "data/newsimplRot.txt",
        "data/QUENDA_ed4_8_V3.txt",
    };
    std::vector<std::string> missing;
    for (const std::string& f : required)
        if (!exists(f)) missing.push_back(f);
    if (!missing.empty()) {
        std::cout << "load_params: missing data files under " << LORVANE_BINARY_DIR << ":";
        for (const std::string& f : missing) std::cout << ' ' << f;
        std::cout << "\nderive the tables first (lorvane-params)." << std::endl;
        return 1;
    }
    for (const char* f : {"data/dipole.fress", "data/oscarparams.txt"})
        if (!exists(f)) std::cout << "note: optional " << f << " absent (its tables stay zero)" << std::endl;

    Templates templates;
    Potentials pot;
    Distributions dist;
    struct Step {
        const char* name;
        std::function<void()> run;
    };
    const std::vector<Step> steps = {
        {"loadTemplates", [&] { templates = loadTemplates("data/atomProp2.txt"); }},
        {"loadPairTables (mode 1)", [&] { loadPairTables(pot, 1); }},
        {"loadJointMarginal forward", [&] { loadJointMarginal(dist, "data/joint.distance.txt", false); }},
        {"loadJointMarginal backward", [&] { loadJointMarginal(dist, "data/joint.distance.backward.txt", true); }},
        {"loadJointCond forward", [&] { loadJointCond(dist, "data/joint.distance.conditional.txt", false); }},
        {"loadJointCond backward", [&] { loadJointCond(dist, "data/joint.distance.conditional.backward.txt", true); }},
        {"loadTorsionBins", [&] { loadTorsionBins(dist, "data/phipsi.bb.txt"); }},
        {"loadRotamers", [&] { loadRotamers(pot, "data/newsimplRot.txt"); }},
        {"loadQuenda", [&] { loadQuenda(pot, "data/QUENDA_ed4_8_V3.txt"); }},
    };
    std::vector<double> seconds;
    for (const Step& s : steps) {
        const auto t0 = std::chrono::steady_clock::now();
        s.run();
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    double total = 0.0;
    std::cout << "\nloader                        seconds\n";
    for (size_t i = 0; i < steps.size(); ++i) {
        std::printf("%-28s %8.3f\n", steps[i].name, seconds[i]);
        total += seconds[i];
    }
    std::printf("%-28s %8.3f  (target < 3 s: %s)\n", "total", total, total < 3.0 ? "met" : "MISSED");
    std::cout << "pair types " << pot.pairTypes.size() << ", rotamers of Leu " << pot.rotamers.count[LEU] << std::endl;
    std::cout << "VmRSS after loading:" << vmRss() << std::endl;
    return 0;
}
