// Whole sampling runs of the program on a short loop of the example
// protein: the result file is read back and every loop checked; an unusable
// result location stops the run before the first growth step; with -rs the
// result does not depend on the thread count.
#include <gtest/gtest.h>

#include <fstream>

#include "filter/loop_check.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

TEST(SamplingRunSlow, WritesCheckedLoopsOfAShortLoop) {
    ExampleRunDir dir;
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
    ExampleRunDir dir;
    { std::ofstream(dir.path("pdbout")) << "not a directory\n"; }
    const ProgramRun r = runProgram(dir.root(), "-f 5p21.pdb -start 45 -end 49 -seeds 200 -numloop 20 -cores 2 -diag");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.err.find("pdbout"), std::string::npos) << r.err;
    // With -diag every growth step prints its table header first.
    EXPECT_EQ(r.out.find(" Seed RMSD Feas"), std::string::npos) << r.out;
}

TEST(SamplingRunSlow, CreatesMissingOutputDirectories) {
    ExampleRunDir dir;
    const ProgramRun r = runProgram(dir.root(), "-f 5p21.pdb -start 45 -end 49 -seeds 200 -numloop 5 -cores 2 -diag");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(fs::is_regular_file(dir.path("pdbout/5p21_45_49.txt")));
    EXPECT_TRUE(fs::is_regular_file(dir.path("output/5p21_45_49_F000.txt")));
    EXPECT_NE(r.err.find("Using "), std::string::npos) << "the thread count is reported on standard error";
}

// With -rs the draws come from per-seed streams: the result file is the same
// byte for byte whatever the number of threads, and another -rs changes it.
TEST(ReproducibilitySlow, ResultFileDoesNotDependOnTheThreadCount) {
    struct Case {
        const char* options;
        bool sameAsFirst;
    };
    const Case cases[] = {
        {"-rs 5 -cores 1", true},
        {"-rs 5 -cores 2", true},
        {"-rs 5", true},  // the default thread count
        {"-rs 5 -cores 2", true},
        {"-rs 6 -cores 2", false},
    };
    std::string first;
    for (const Case& c : cases) {
        ExampleRunDir dir;
        const ProgramRun r = runProgram(dir.root(), std::string("-f 5p21.pdb -start 45 -end 49 -seeds 200 -numloop 20 ") + c.options);
        ASSERT_EQ(r.status, 0) << c.options << "\n" << r.err;
        const std::string text = slurp(dir.path("pdbout/5p21_45_49.txt"));
        ASSERT_NE(text.find("END"), std::string::npos) << c.options;
        if (first.empty()) first = text;
        EXPECT_EQ(text == first, c.sameAsFirst) << c.options;
    }
}

}  // namespace
