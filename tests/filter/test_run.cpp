// Whole sampling runs of the program on a short loop of the example
// protein: the result file is read back and every loop checked; an unusable
// result location stops the run before the first growth step.
#include <gtest/gtest.h>

#include <fstream>

#include "filter/loop_check.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

// A scratch directory holding data/ and the example protein.
struct RunDir : ScratchDir {
    RunDir() {
        linkData();
        fs::copy_file(sourcePath("examples/5p21.pdb"), path("5p21.pdb"));
    }
};

TEST(SamplingRunSlow, WritesCheckedLoopsOfAShortLoop) {
    RunDir dir;
    const ProgramRun r = runProgram(dir.root(), "-f 5p21.pdb -start 45 -end 49 -seeds 200 -numloop 20 -cores 2");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::vector<WrittenLoop> loops;
    std::vector<CheckAtom> frame;
    std::string err;
    ASSERT_TRUE(readResultFile(dir.path("pdbout/5p21_45_49.txt"), loops, err)) << err;
    ASSERT_TRUE(readFrame(dir.path("5p21.pdb"), '\0', frame, err)) << err;
    ASSERT_GE(loops.size(), 1u);
    EXPECT_LE(loops.size(), 20u);
    for (const WrittenLoop& w : loops) {
        const LoopVerdict v = checkLoop(w, frame, 45, 49);
        EXPECT_TRUE(v.ok) << "loop " << w.ordinal << ": " << v.problem;
        // V45 I46 D47 G48 E49 with their heavy atoms: 7 + 8 + 8 + 4 + 9.
        EXPECT_EQ(w.atoms.size(), 36u);
    }
}

TEST(SamplingRun, UnusableResultLocationStopsBeforeTheFirstGrowthStep) {
    RunDir dir;
    { std::ofstream(dir.path("pdbout")) << "not a directory\n"; }
    const ProgramRun r = runProgram(dir.root(), "-f 5p21.pdb -start 45 -end 49 -seeds 200 -numloop 20 -cores 2 -diag");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.err.find("pdbout"), std::string::npos) << r.err;
    // With -diag every growth step prints its table header first.
    EXPECT_EQ(r.out.find(" Seed RMSD Feas"), std::string::npos) << r.out;
}

TEST(SamplingRunSlow, CreatesMissingOutputDirectories) {
    RunDir dir;
    const ProgramRun r = runProgram(dir.root(), "-f 5p21.pdb -start 45 -end 49 -seeds 200 -numloop 5 -cores 2 -diag");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(fs::is_regular_file(dir.path("pdbout/5p21_45_49.txt")));
    EXPECT_TRUE(fs::is_regular_file(dir.path("output/5p21_45_49_F000.txt")));
    EXPECT_NE(r.err.find("Using "), std::string::npos) << "the thread count is reported on standard error";
}

}  // namespace
