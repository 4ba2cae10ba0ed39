// Whole sampling runs of the program on a short loop of the example
// protein: the result file is read back and every loop checked; an unusable
// result location stops the run before the first growth step; with -rs the
// result does not depend on the thread count; writing by backbone score
// chooses among the loops the run finishes.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

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
// The loops of a result file, each as its four scores and atom records (the
// ordinal left out), in file order.
std::vector<std::string> loopBlocks(const std::string& text) {
    std::vector<std::string> blocks;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("LOOP ", 0) == 0) {
            std::istringstream fields(line);
            std::string word, ordinal, rest;
            fields >> word >> ordinal;
            std::getline(fields, rest);
            blocks.push_back(rest + "\n");
        } else if (!blocks.empty()) {
            blocks.back() += line + "\n";
        }
    }
    return blocks;
}

// Writing by backbone score chooses among the loops the run finishes: with room
// for every loop it writes the same file as the rank order; with room for five
// it writes five of those loops, in their rank order.
TEST(SamplingRunSlow, WritingByBackboneScoreChoosesAmongTheFinishedLoops) {
    std::string text[3];
    const char* options[3] = {"-numloop 5000", "-numloop 5000 -xwritebb", "-numloop 5 -xwritebb"};
    for (int k = 0; k < 3; ++k) {
        ExampleRunDir dir;
        const ProgramRun r = runProgram(dir.root(), std::string("-f 5p21.pdb -start 45 -end 49 -seeds 200 -rs 5 -cores 2 ") + options[k]);
        ASSERT_EQ(r.status, 0) << options[k] << "\n" << r.err;
        text[k] = slurp(dir.path("pdbout/5p21_45_49.txt"));
    }
    EXPECT_EQ(text[1], text[0]);
    const std::vector<std::string> all = loopBlocks(text[0]), chosen = loopBlocks(text[2]);
    ASSERT_GT(all.size(), 5u);
    ASSERT_EQ(chosen.size(), 5u);
    size_t from = 0;
    for (const std::string& b : chosen) {
        const auto at = std::find(all.begin() + static_cast<std::ptrdiff_t>(from), all.end(), b);
        ASSERT_NE(at, all.end()) << "a chosen loop is not among the finished ones, or out of rank order:\n" << b;
        from = static_cast<size_t>(at - all.begin()) + 1;
    }
}

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
