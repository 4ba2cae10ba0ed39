// Start-up cost of the sampling mode's tables: times each loader on the
// repository's data/ (in the driver's order) and reports the resident memory
// afterwards. Target: under 3 s for everything.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "growth/smc.h"
#include "model/atom.h"
#include "model/residue.h"
#include "potentials/pf.h"

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
    if (chdir(LORVANE_SOURCE_DIR) != 0) {
        std::cout << "cannot change to " << LORVANE_SOURCE_DIR << std::endl;
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
        std::cout << "load_params: missing data files under " << LORVANE_SOURCE_DIR << ":";
        for (const std::string& f : missing) std::cout << ' ' << f;
        std::cout << "\nderive the tables first (lorvane-params)." << std::endl;
        return 1;
    }
    for (const char* f : {"data/dipole.fress", "data/oscarparams.txt"})
        if (!exists(f)) std::cout << "note: optional " << f << " absent (its tables stay zero)" << std::endl;

    const std::string prefix = "./";
    struct Step {
        const char* name;
        std::function<void()> run;
    };
    const std::vector<Step> steps = {
        {"templates (Atom/Residue::InitPar, InitMap)",
         [&] {
             Atom::InitPar("data/atomProp2.txt", prefix);
             Residue::InitMap();
             Residue::InitPar("data/atomProp2.txt", prefix, 0);
         }},
        {"PF::InitPar (mode 1)", [&] { PF::InitPar("data/param/1.txt", prefix, 0, 1); }},
        {"SMC::LoadJointMarginal", [] { SMC::LoadJointMarginal("data/joint.distance.txt"); }},
        {"SMC::LoadJointMarginalB", [] { SMC::LoadJointMarginalB("data/joint.distance.backward.txt"); }},
        {"SMC::LoadJointCond", [] { SMC::LoadJointCond("data/joint.distance.conditional.txt"); }},
        {"SMC::LoadJointCondB", [] { SMC::LoadJointCondB("data/joint.distance.conditional.backward.txt"); }},
        {"SMC::LoadTorsionBBbin", [] { SMC::LoadTorsionBBbin("data/phipsi.bb.txt"); }},
        {"PF::LoadSimplRot", [] { PF::LoadSimplRot("data/newsimplRot.txt"); }},
        {"PF::initQUENDA", [] { PF::initQUENDA("data/QUENDA_ed4_8_V3.txt"); }},
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
    std::cout << "pair types " << PF::DFatomtype.size() << ", rotamers of Leu " << PF::numsimplRot[9] << std::endl;
    std::cout << "VmRSS after loading:" << vmRss() << std::endl;
    return 0;
}
