// Compare mode on a result file written by the sampler itself: the summary's
// lowest RMSD must be the smallest RMSD computed independently from the file.
#include <sys/wait.h>

#include <algorithm>
#include <fstream>

#include "eval_support.h"

namespace {

using namespace eval_test;
namespace fs = std::filesystem;

// Decoys of a result file, read with plain column slicing.
std::vector<std::vector<PdbAtom>> readDecoys(const std::string& path) {
    std::vector<std::vector<PdbAtom>> decoys;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 5, "LOOP ") == 0) {
            decoys.emplace_back();
        } else if (line.compare(0, 6, "ATOM  ") == 0 && !decoys.empty()) {
            std::string name = line.substr(12, 4);
            name.erase(0, name.find_first_not_of(' '));
            name.erase(name.find_last_not_of(' ') + 1);
            decoys.back().push_back({name, line.substr(17, 3), std::stoi(line.substr(22, 4)), std::stod(line.substr(30, 8)),
                                     std::stod(line.substr(38, 8)), std::stod(line.substr(46, 8))});
        }
    }
    return decoys;
}

TEST(CompareSampledSlow, LowestRmsdOfASampledResultFile) {
    ScratchDir dir(true);
    dir.linkData();
    fs::copy_file(sourcePath("examples/5p21.pdb"), "5p21.pdb");
    const ProgramRun sampled = runProgram(".", "-f 5p21.pdb -start 45 -end 52 -seeds 100 -numloop 40 -cores 2");
    ASSERT_EQ(sampled.status, 0) << sampled.err;
    ASSERT_TRUE(fs::exists("pdbout/5p21_45_52.txt"));
    const ProgramRun compared = runProgram(".", "-mode compare -f 5p21.pdb -start 45 -end 52 -score pdbout/5p21_45_52.txt");
    ASSERT_EQ(compared.status, 0) << compared.err;
    const std::vector<double> v = numbers(compared.out);
    ASSERT_EQ(v.size(), 8u) << compared.out;

    const std::vector<PdbAtom> native = readAtoms("5p21.pdb", 45, 52);
    const auto decoys = readDecoys("pdbout/5p21_45_52.txt");
    ASSERT_FALSE(decoys.empty());
    double lowest = 1e300, sum = 0;
    for (const auto& d : decoys) {
        const double r = loopRmsd(d, native, 45, 52);
        lowest = std::min(lowest, r);
        sum += r;
    }
    EXPECT_EQ(v[0], static_cast<double>(decoys.size()));
    EXPECT_NEAR(v[1], lowest, 2e-3);  // six significant digits, float coordinates
    EXPECT_NEAR(v[2], sum / decoys.size(), 2e-3);
}

}  // namespace
