// Whole sampling runs of the program on a short loop of the example
// protein: the result file is read back and every loop checked; an unusable
// result location stops the run before the first growth step. Skipped while
// the data tables are not all present.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "filter/loop_check.h"

using namespace lorvane;

namespace {

namespace fs = std::filesystem;

// The tables of the repository, or another complete set named by LORVANE_TEST_DATA.
fs::path dataDir() {
    const char* d = std::getenv("LORVANE_TEST_DATA");
    return d && *d ? fs::path(d) : fs::path(LORVANE_SOURCE_DIR) / "data";
}

bool dataComplete() {
    const char* files[] = {"atomProp2.txt",       "dipole.fress",
                           "oscarparams.txt",     "QUENDApair.lib",
                           "QUENDA_ed4_8_V3.txt", "phipsi.bb.txt",
                           "newsimplRot.txt",     "joint.distance.txt",
                           "joint.distance.backward.txt", "joint.distance.conditional.txt",
                           "joint.distance.conditional.backward.txt"};
    for (const char* f : files)
        if (!fs::exists(dataDir() / f)) return false;
    return true;
}

class RunDir {
public:
    RunDir() {
        char tmpl[] = "/tmp/lorvane_run_XXXXXX";
        root_ = mkdtemp(tmpl);
        fs::create_directory_symlink(fs::absolute(dataDir()), root_ / "data");
        fs::copy_file(fs::path(LORVANE_SOURCE_DIR) / "examples/5p21.pdb", root_ / "5p21.pdb");
    }
    ~RunDir() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    // Runs the program here; returns its exit status and its standard output.
    int run(const std::string& args, std::string& out) const {
        const std::string cmd = "cd '" + root_.string() + "' && '" + LORVANE_EXE + "' " + args + " > run.log 2>&1";
        const int rc = std::system(cmd.c_str());
        std::ifstream in(root_ / "run.log");
        std::stringstream ss;
        ss << in.rdbuf();
        out = ss.str();
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    fs::path path(const std::string& rel) const { return root_ / rel; }

private:
    fs::path root_;
};

}  // namespace

TEST(SamplingRun, WritesCheckedLoopsOfAShortLoop) {
    if (!dataComplete()) GTEST_SKIP() << "data tables not all present";
    RunDir dir;
    std::string out;
    ASSERT_EQ(dir.run("-f 5p21.pdb -start 45 -end 49 -seeds 200 -numloop 20 -cores 2", out), 0) << out;
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
    if (!dataComplete()) GTEST_SKIP() << "data tables not all present";
    RunDir dir;
    { std::ofstream(dir.path("pdbout")) << "not a directory\n"; }
    std::string out;
    EXPECT_EQ(dir.run("-f 5p21.pdb -start 45 -end 49 -seeds 200 -numloop 20 -cores 2 -diag", out), 1) << out;
    EXPECT_NE(out.find("pdbout"), std::string::npos) << out;
    // With -diag every growth step prints its table header first.
    EXPECT_EQ(out.find(" Seed RMSD Feas"), std::string::npos) << out;
}

TEST(SamplingRun, CreatesMissingOutputDirectories) {
    if (!dataComplete()) GTEST_SKIP() << "data tables not all present";
    RunDir dir;
    std::string out;
    ASSERT_EQ(dir.run("-f 5p21.pdb -start 45 -end 49 -seeds 200 -numloop 5 -cores 2 -diag", out), 0) << out;
    EXPECT_TRUE(fs::is_regular_file(dir.path("pdbout/5p21_45_49.txt")));
    EXPECT_TRUE(fs::is_regular_file(dir.path("output/5p21_45_49_F000.txt")));
    EXPECT_NE(out.find("Using "), std::string::npos);
}
