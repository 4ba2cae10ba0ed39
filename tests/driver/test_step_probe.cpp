// The measuring hook of the selection (bench_step_diagnostics -dumpkept): a
// probe that asks for the kept children's loop backbones gets one per kept
// child, built with the growth's bond geometry, and asking changes nothing
// in the result.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "filter/step_probe.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

constexpr int ASKED_STEP = 1;

class BackboneProbe : public StepProbe {
public:
    std::vector<int> selectedKept, dumpedKept;
    std::vector<float> backbone;
    size_t perChild = 0;
    int calls = 0;
    bool wantsBackbone(int step) const override { return step == ASKED_STEP; }
    void selected(int step, bool, const std::vector<double>&, const std::vector<int>&, const std::vector<int>& kept,
                  const DiverseResult*) override {
        if (step == ASKED_STEP) selectedKept = kept;
    }
    void keptBackbone(int, const std::vector<int>& kept, const std::vector<float>& bb, const std::vector<float>* energy) override {
        ++calls;
        dumpedKept = kept;
        backbone = bb;
        perChild = energy[1].empty() ? 0 : bb.size() / energy[1].size();
    }
};

int run(const std::string& prefix, const std::string& pdb, StepProbe* probe) {
    std::vector<std::string> words = {"lorvane", "-f", pdb, "-start", "45", "-end", "52", "-seeds", "200", "-numloop", "20", "-xnosupplement",
                                      "-cores", "2", "-quiet", "-o", prefix, "-data", buildDataPath("")};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    return runLorvane(static_cast<int>(argv.size()), argv.data(), nullptr, probe);
}

double distance(const float* a, const float* b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

TEST(StepProbeSlow, KeptBackbonesAreTheGrownChainsAndChangeNothing) {
    ExampleRunDir dir;
    BackboneProbe probe;
    ASSERT_EQ(run(dir.path("with/run"), dir.path("5p21.pdb"), &probe), 0);
    ASSERT_EQ(run(dir.path("without/run"), dir.path("5p21.pdb"), nullptr), 0);
    EXPECT_EQ(slurp(dir.path("with/run.txt")), slurp(dir.path("without/run.txt")));

    EXPECT_EQ(probe.calls, 1);
    ASSERT_FALSE(probe.dumpedKept.empty());
    EXPECT_EQ(probe.dumpedKept, probe.selectedKept);
    const int residues = 8;  // 45..52: N, CA, C, O each
    ASSERT_EQ(probe.perChild, static_cast<size_t>(residues * 12));
    // After step 1 residue 45 (forward) and 52 (backward) are grown: the
    // peptide bond 45-46 and the bonds of 52 and 51 the steps placed.
    auto atom = [&](int id, int residue, int slot) { return &probe.backbone[id * probe.perChild + (residue - 45) * 12 + slot * 3]; };
    std::set<std::vector<float>> distinct;
    for (int id : probe.dumpedKept) {
        EXPECT_NEAR(distance(atom(id, 45, 2), atom(id, 46, 0)), 1.33, 0.02) << "C(45)-N(46), child " << id;
        EXPECT_NEAR(distance(atom(id, 52, 0), atom(id, 52, 1)), 1.46, 0.02) << "N(52)-CA(52), child " << id;
        EXPECT_NEAR(distance(atom(id, 51, 1), atom(id, 51, 2)), 1.52, 0.02) << "CA(51)-C(51), child " << id;
        distinct.insert(std::vector<float>(atom(id, 46, 1), atom(id, 46, 1) + 3));
    }
    EXPECT_GT(distinct.size(), 1u) << "every kept child holds the same chain";
}

}  // namespace
