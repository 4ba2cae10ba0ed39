// Command line parsing, loop resolution and the program's exits.
#include <sys/wait.h>

#include "driver/driver.h"
#include "potentials/pf.h"
#include "test_support.h"

using namespace lorvane;

namespace fs = std::filesystem;
using namespace lorvane_test;

namespace {

const std::string kUsage =
    "\n"
    "LORVANE:  protein loop conformation sampler\n"
    "\n"
    "Main options:\n"
    "  -f [PDB file]\t\tInput PDB file (required)\n"
    "  -start [#]\t\tStarting residue number of loop, as numbered in the PDB file (required)\n"
    "  -end [#]\t\tEnding residue number of loop, as numbered in the PDB file (required)\n"
    "  -seeds [#]\t\tNumber of seeds to use for sampling (default: 10000)\n"
    "  -numloop [#]\t\tNumber of final loop conformations to score and output (default: 5000)\n"
    "  -cores [#]\t\tNumber of parallel openMP threads to use (default: number of cores present on system)\n"
    "\n"
    "Additional options:\n"
    "  -dfire\t\tUse DFIRE potential for sampling, instead of default VANTOR potential\n"
    "  -nobbt\t\tSample without using backbone dihedral angle probabilities\n"
    "\n"
    "Example:  ./lorvane -f 5p21.pdb -start 45 -end 52\n"
    "\t \n"
    "\t \n";

struct Parsed {
    RunOptions opt;
    ParseResult result;
    std::string out;
};

Parsed parse(std::vector<std::string> args) {
    args.insert(args.begin(), "lorvane");
    Parsed p;
    testing::internal::CaptureStdout();
    p.result = parseArguments(args, p.opt);
    p.out = testing::internal::GetCapturedStdout();
    return p;
}

TEST(DriverParse, EveryOptionAndItsDefault) {
    const double topFrac = PF::topFrac;
    const int nrep = PF::nrep;
    Parsed d = parse({});
    ASSERT_TRUE(d.result.ok);
    EXPECT_TRUE(d.opt.mode == Mode::Smc && d.opt.seeds == 10000 && d.opt.numLoop == 5000 && d.opt.startRes == -1 && d.opt.endRes == -1);
    EXPECT_TRUE(d.opt.randSeed == 1 && d.opt.growMode == 1 && d.opt.samplingPotential == 1 && d.opt.useBBT == 1.0 && d.opt.cores == 0);
    EXPECT_TRUE(d.opt.byPdbNumber && !d.opt.diag && !d.opt.dumpDis);
    Parsed p = parse({"-mode", "energy", "-f", "in/5p21.pdb", "-score", "decoys.txt", "-rs", "42", "-t", "0.5", "-backgrow", "-dfire", "-diag",
                      "-nobbt", "-dumpdis", "-cores", "3", "-topfrac", "0.25", "-nrep", "7", "-start", "-5", "-end", "52", "-seeds", "200",
                      "-seeds", "300", "-numloop", "1", "-pdbIndex"});
    ASSERT_TRUE(p.result.ok) << p.out;
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.opt.mode, Mode::Energy);
    EXPECT_EQ(p.opt.pdbFile + " " + p.opt.protName + " " + p.opt.scoreFile, "in/5p21.pdb 5p21 decoys.txt");
    EXPECT_FALSE(p.opt.isSequence);
    EXPECT_TRUE(p.opt.randSeed == 42 && p.opt.growMode == 2 && p.opt.samplingPotential == 2 && p.opt.diag && p.opt.useBBT == 0.0);
    EXPECT_TRUE(p.opt.dumpDis && p.opt.cores == 3 && PF::topFrac == 0.25 && PF::nrep == 7 && !p.opt.byPdbNumber);
    EXPECT_TRUE(p.opt.startRes == -5 && p.opt.endRes == 52 && p.opt.numLoop == 1);
    EXPECT_EQ(p.opt.seeds, 300);  // a later occurrence wins
    PF::topFrac = topFrac;
    PF::nrep = nrep;
    EXPECT_EQ(parse({"-backgrow", "-altgrow"}).opt.growMode, 1);
    EXPECT_EQ(parse({"-mode", "fold", "-mode", "compare"}).opt.mode, Mode::Compare);
    // The protein name comes from the first -f; a bare .pdb path sets only the file.
    Parsed two = parse({"-f", "a/5p21.pdb", "-f", "b/1crn.seq", "other.pdb"});
    EXPECT_EQ(two.opt.pdbFile, "other.pdb");
    EXPECT_EQ(two.opt.protName, "5p21");
    EXPECT_TRUE(two.opt.isSequence);
    EXPECT_EQ(parse({"x.pdb"}).opt.protName, "");
    EXPECT_FALSE(parse({"-f", "p.SEQ"}).opt.isSequence);
}

// Usage errors: status 2, a message naming the option (and the usage text for unknown words).
TEST(DriverParse, UsageErrorsExitTwoNamingTheOption) {
    Parsed wrong = parse({"-mode", "Smc"});
    EXPECT_FALSE(wrong.result.ok);
    EXPECT_EQ(wrong.result.exitStatus, 2);
    EXPECT_EQ(wrong.out, "wrong mode type!\n" + kUsage);
    EXPECT_EQ(parse({"-f", "a.pdb", "-bogus"}).out, "Unrecognized command: -bogus\n" + kUsage);
    EXPECT_EQ(parse({"pdb"}).result.exitStatus, 2);  // too short to end in .pdb
    EXPECT_EQ(parse({"x.PDB"}).result.exitStatus, 2);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-seeds", "abc"}, {"-seeds", "99"}, {"-numloop", "0"}, {"-cores", "-1"}, {"-start", "1x"}, {"-end", ""}, {"-rs", "1.5"},
             {"-topfrac", "abc"}, {"-t", "x"}, {"-nrep", "99999999999"}, {"-start"}, {"-f"}, {"-mode"}, {"-score"}, {"-seeds", "200", "-cores"}}) {
        const Parsed p = parse(args);
        const std::string& option = args.size() == 3 ? args[2] : args[0];
        EXPECT_FALSE(p.result.ok) << option;
        EXPECT_EQ(p.result.exitStatus, 2) << option;
        EXPECT_NE(p.out.find(option), std::string::npos) << p.out;
    }
    EXPECT_TRUE(parse({"-seeds", "100", "-numloop", "1", "-cores", "0"}).result.ok);  // the smallest values allowed
}

TEST(DriverLoop, ResolveByPdbNumberAndByPosition) {
    Structure s(5);
    const int nums[6] = {0, 5, 6, 7, 7, 9};
    for (int i = 1; i <= 5; ++i) s.residues[i].pdbNum = nums[i];
    int a = 0, b = 0;
    EXPECT_TRUE(resolveLoopByPdbNumber(s, 5, 7, a, b));
    EXPECT_EQ(a * 10 + b, 14);  // the last of two equal numbers
    EXPECT_TRUE(resolveLoopByPdbNumber(s, 7, 6, a, b));
    EXPECT_EQ(a * 10 + b, 42);
    EXPECT_FALSE(resolveLoopByPdbNumber(s, 5, 9, a, b));  // the chain's last residue never matches
    EXPECT_FALSE(resolveLoopByPdbNumber(s, 6, 6, a, b));  // equal numbers never resolve
    EXPECT_FALSE(resolveLoopByPdbNumber(s, 5, 8, a, b));
    EXPECT_EQ(resolveLoopByPosition(90, -1, -1, a, b), "");  // no loop given: the whole chain
    EXPECT_EQ(a * 100 + b, 190);
    EXPECT_EQ(resolveLoopByPosition(90, 10, 20, a, b), "");
    EXPECT_EQ(a * 100 + b, 1020);
    EXPECT_NE(resolveLoopByPosition(90, 0, 20, a, b).find("start position 0"), std::string::npos);
    EXPECT_NE(resolveLoopByPosition(90, 10, 91, a, b).find("end position 91"), std::string::npos);
    EXPECT_NE(resolveLoopByPosition(90, 30, 20, a, b).find("after the end"), std::string::npos);
}

// ---- the executable, run in a scratch directory ----

class Executable : public ::testing::Test {
protected:
    ScratchDir dir;
    bool linkData() {
        if (!fs::exists(sourcePath("data/atomProp2.txt"))) return false;
        fs::create_directory_symlink(sourcePath("data"), dir.path("data"));
        return true;
    }
    int run(const std::string& args, std::string& out) {
        const int rc = std::system(("cd '" + dir.root() + "' && '" + LORVANE_EXE + "' " + args + " > out.txt 2> err.txt").c_str());
        out = slurp(dir.path("out.txt")) + slurp(dir.path("err.txt"));  // messages of thrown errors go to standard error
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    std::string log() { return slurp(dir.path("command.log")); }
};

TEST_F(Executable, UsageAndUsageErrors) {
    std::string out;
    EXPECT_EQ(run("", out), 0);
    EXPECT_EQ(out, kUsage);
    testing::internal::CaptureStdout();
    Usage();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kUsage);
    EXPECT_EQ(run("-mode Smc", out), 2);
    EXPECT_EQ(out, "wrong mode type!\n" + kUsage);
    EXPECT_EQ(run("-frobnicate", out), 2);
    EXPECT_EQ(out, "Unrecognized command: -frobnicate\n" + kUsage);
    EXPECT_EQ(run("-f x.pdb -seeds 50", out), 2);
    EXPECT_NE(out.find("-seeds"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(dir.path("command.log"))) << "usage errors are not logged";
}

TEST_F(Executable, FoldModeAppendsToTheCommandLog) {
    std::string out;
    EXPECT_EQ(run("-mode fold", out), 1);  // templates missing: logged before loading, status 1
    EXPECT_NE(out.find("cannot open parameter file ./data/atomProp2.txt"), std::string::npos) << out;
    EXPECT_EQ(log(), std::string(LORVANE_EXE) + " -mode fold \n");
    if (!linkData()) GTEST_SKIP() << "data/atomProp2.txt not present";
    EXPECT_EQ(run("-mode fold -f examples/5p21.pdb", out), 0) << out;
    EXPECT_EQ(run("-mode fold -rs 3", out), 0) << out;
    EXPECT_EQ(log(), std::string(LORVANE_EXE) + " -mode fold \n" + LORVANE_EXE + " -mode fold -f examples/5p21.pdb \n" + LORVANE_EXE +
                         " -mode fold -rs 3 \n");
}

// Input errors: status 1 and a line naming the file or the value at fault.
TEST_F(Executable, InputErrorsExitOne) {
    if (!linkData()) GTEST_SKIP() << "data/atomProp2.txt not present";
    dir.write("empty.pdb", "HEADER    NOTHING\nEND\n");
    std::string chains;
    for (int c = 0; c < 21; ++c) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "ATOM  %5d  CA  GLY %c   1    %8.3f   0.000   0.000  1.00 10.00           C\n", c + 1, 'A' + c, 3.8 * c);
        chains += buf;
    }
    dir.write("chains.pdb", chains);
    dir.write("long.seq", std::string(1501, 'A') + "\n");
    const std::string real = sourcePath("examples/5p21.pdb");
    std::vector<std::pair<std::string, std::string>> cases = {
        {"-mode compare -f nothere.pdb -start 1 -end 5", "Could not read PDB file nothere.pdb"},
        {"-mode compare -f empty.pdb -start 1 -end 5", "empty.pdb has no atoms"},
        {"-mode compare -f chains.pdb -start 1 -end 5", "more than 20 chains"},
        {"-mode compare -f " + real + " -start 500 -end 600", "Could not find startind or ending PDB index"},
        {"-mode compare -f " + real + " -start 160 -end 166", ""},  // 166 is the chain's last residue
        {"-f long.seq -start 1 -end 5", "long.seq has 1501 residues"},
    };
    bool tables = true;  // the sampling mode checks the loop once its tables are loaded
    for (const char* f : {"dfire_pair.lib", "QUENDApair.lib", "dipole.fress", "oscarparams.txt", "joint.distance.txt", "joint.distance.backward.txt",
                          "joint.distance.conditional.txt", "joint.distance.conditional.backward.txt", "phipsi.bb.txt", "newsimplRot.txt",
                          "QUENDA_ed4_8_V3.txt"})
        tables = tables && fs::exists(sourcePath("data/" + std::string(f)));
    if (tables)
        for (auto [args, message] : std::vector<std::pair<std::string, std::string>>{
                 {"-pdbIndex -start 0 -end 5", "start position 0"}, {"-pdbIndex -start 10 -end 167", "end position 167"},
                 {"-pdbIndex -start 12 -end 8", "after the end"},
                 {"-start 45 -end 999", "Specified starting or ending residue numbers are not in the PDB file."}})
            cases.push_back({"-f " + real + " -cores 1 " + args, message});
    for (const auto& [args, message] : cases) {
        std::string out;
        EXPECT_EQ(run(args, out), 1) << args;
        EXPECT_NE(out.find(message), std::string::npos) << args << ": " << out;
    }
}

}  // namespace
