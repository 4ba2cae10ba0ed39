// Command line parsing, loop resolution and the program's exits.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "driver/driver.h"
#include "model/structure.h"
#include "potentials/pf.h"

namespace fs = std::filesystem;

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

TEST(DriverParse, UsageTextByteForByte) {
    testing::internal::CaptureStdout();
    Usage();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kUsage);
}

TEST(DriverParse, DefaultsAndEveryOption) {
    Parsed d = parse({});
    ASSERT_TRUE(d.result.ok);
    EXPECT_EQ(d.opt.mode, Mode::Smc);
    EXPECT_EQ(d.opt.seeds, 10000);
    EXPECT_EQ(d.opt.numLoop, 5000);
    EXPECT_EQ(d.opt.startRes, -1);
    EXPECT_EQ(d.opt.endRes, -1);
    EXPECT_EQ(d.opt.randSeed, 1);
    EXPECT_EQ(d.opt.growMode, 1);
    EXPECT_EQ(d.opt.samplingPotential, 1);
    EXPECT_EQ(d.opt.useBBT, 1.0);
    EXPECT_EQ(d.opt.cores, 0);
    EXPECT_TRUE(d.opt.byPdbNumber);
    EXPECT_FALSE(d.opt.diag);
    EXPECT_FALSE(d.opt.dumpDis);

    const double topFrac = PF::topFrac;
    const int nrep = PF::nrep;
    Parsed p = parse({"-mode", "energy", "-f", "in/5p21.pdb", "-score", "decoys.txt", "-rs", "42", "-t", "0.5", "-backgrow",
                      "-dfire", "-diag", "-nobbt", "-dumpdis", "-cores", "3", "-topfrac", "0.25", "-nrep", "7", "-start",
                      "-5", "-end", "52", "-seeds", "200", "-seeds", "300", "-numloop", "1", "-pdbIndex"});
    ASSERT_TRUE(p.result.ok) << p.out;
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.opt.mode, Mode::Energy);
    EXPECT_EQ(p.opt.pdbFile, "in/5p21.pdb");
    EXPECT_EQ(p.opt.protName, "5p21");
    EXPECT_FALSE(p.opt.isSequence);
    EXPECT_EQ(p.opt.scoreFile, "decoys.txt");
    EXPECT_EQ(p.opt.randSeed, 42);
    EXPECT_EQ(p.opt.growMode, 2);
    EXPECT_EQ(p.opt.samplingPotential, 2);
    EXPECT_TRUE(p.opt.diag);
    EXPECT_EQ(p.opt.useBBT, 0.0);
    EXPECT_TRUE(p.opt.dumpDis);
    EXPECT_EQ(p.opt.cores, 3);
    EXPECT_EQ(PF::topFrac, 0.25);
    EXPECT_EQ(PF::nrep, 7);
    EXPECT_EQ(p.opt.startRes, -5);
    EXPECT_EQ(p.opt.endRes, 52);
    EXPECT_EQ(p.opt.seeds, 300);  // a later occurrence wins
    EXPECT_EQ(p.opt.numLoop, 1);
    EXPECT_FALSE(p.opt.byPdbNumber);
    PF::topFrac = topFrac;
    PF::nrep = nrep;

    EXPECT_EQ(parse({"-backgrow", "-altgrow"}).opt.growMode, 1);
    EXPECT_EQ(parse({"-mode", "fold"}).opt.mode, Mode::Fold);
    EXPECT_EQ(parse({"-mode", "compare"}).opt.mode, Mode::Compare);
    EXPECT_EQ(parse({"-mode", "fold", "-mode", "smc"}).opt.mode, Mode::Smc);
    EXPECT_EQ(parse({"-cores", "0"}).opt.cores, 0);
}

TEST(DriverParse, InputFileAndProteinName) {
    Parsed two = parse({"-f", "a/5p21.pdb", "-f", "b/1crn.seq"});
    EXPECT_EQ(two.opt.pdbFile, "b/1crn.seq");
    EXPECT_EQ(two.opt.protName, "5p21");  // from the first -f only
    EXPECT_TRUE(two.opt.isSequence);

    Parsed bare = parse({"x.pdb", "-start", "10", "-end", "20"});
    ASSERT_TRUE(bare.result.ok);
    EXPECT_EQ(bare.opt.pdbFile, "x.pdb");
    EXPECT_EQ(bare.opt.protName, "");
    EXPECT_FALSE(bare.opt.isSequence);

    Parsed keep = parse({"-f", "s/abcdefgh.seq", "other.pdb"});  // bare path leaves name and kind alone
    EXPECT_EQ(keep.opt.pdbFile, "other.pdb");
    EXPECT_EQ(keep.opt.protName, "abcdef");
    EXPECT_TRUE(keep.opt.isSequence);

    EXPECT_FALSE(parse({"-f", "p.seq.pdb"}).opt.isSequence);
    EXPECT_FALSE(parse({"-f", "p.SEQ"}).opt.isSequence);
}

TEST(DriverParse, UsageErrorsExitTwo) {
    Parsed wrong = parse({"-mode", "Smc"});
    EXPECT_FALSE(wrong.result.ok);
    EXPECT_EQ(wrong.result.exitStatus, 2);
    EXPECT_EQ(wrong.out, "wrong mode type!\n" + kUsage);

    Parsed unknown = parse({"-f", "a.pdb", "-bogus"});
    EXPECT_EQ(unknown.result.exitStatus, 2);
    EXPECT_EQ(unknown.out, "Unrecognized command: -bogus\n" + kUsage);
    EXPECT_EQ(parse({"pdb"}).result.exitStatus, 2);  // too short to end in .pdb
    EXPECT_EQ(parse({"x.PDB"}).result.exitStatus, 2);

    struct Case {
        std::vector<std::string> args;
        std::string option;
    };
    const std::vector<Case> bad = {
        {{"-seeds", "abc"}, "-seeds"},   {{"-seeds", "50"}, "-seeds"},    {{"-seeds", "99"}, "-seeds"},
        {{"-numloop", "0"}, "-numloop"}, {{"-cores", "-1"}, "-cores"},    {{"-start", "1x"}, "-start"},
        {{"-end", ""}, "-end"},          {{"-rs", "1.5"}, "-rs"},         {{"-topfrac", "abc"}, "-topfrac"},
        {{"-t", "x"}, "-t"},             {{"-nrep", "99999999999"}, "-nrep"}, {{"-start"}, "-start"},
        {{"-f"}, "-f"},                  {{"-mode"}, "-mode"},            {{"-score"}, "-score"},
        {{"-seeds", "200", "-cores"}, "-cores"},
    };
    for (const Case& c : bad) {
        Parsed p = parse(c.args);
        SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
        EXPECT_FALSE(p.result.ok);
        EXPECT_EQ(p.result.exitStatus, 2);
        EXPECT_NE(p.out.find(c.option), std::string::npos) << p.out;
    }
    EXPECT_TRUE(parse({"-seeds", "100", "-numloop", "1", "-cores", "0"}).result.ok);
}

TEST(DriverLoop, ResolveByPdbNumber) {
    Structure s(5);
    const int nums[6] = {0, 5, 6, 7, 7, 9};
    for (int i = 1; i <= 5; ++i) s.residues[i].pdbNum = nums[i];
    int a = 0, b = 0;
    EXPECT_TRUE(resolveLoopByPdbNumber(s, 5, 7, a, b));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 4);  // the last of two equal numbers
    EXPECT_TRUE(resolveLoopByPdbNumber(s, 7, 6, a, b));
    EXPECT_EQ(a, 4);
    EXPECT_EQ(b, 2);
    EXPECT_FALSE(resolveLoopByPdbNumber(s, 5, 9, a, b));  // the chain's last residue never matches
    EXPECT_FALSE(resolveLoopByPdbNumber(s, 9, 5, a, b));
    EXPECT_FALSE(resolveLoopByPdbNumber(s, 6, 6, a, b));  // equal numbers never resolve
    EXPECT_FALSE(resolveLoopByPdbNumber(s, 5, 8, a, b));
    Structure one(1);
    one.residues[1].pdbNum = 3;
    EXPECT_FALSE(resolveLoopByPdbNumber(one, 3, 3, a, b));
}

TEST(DriverLoop, ResolveByPosition) {
    int a = 0, b = 0;
    EXPECT_EQ(resolveLoopByPosition(90, -1, -1, a, b), "");
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 90);
    EXPECT_EQ(resolveLoopByPosition(90, 10, 20, a, b), "");
    EXPECT_EQ(a, 10);
    EXPECT_EQ(b, 20);
    EXPECT_EQ(resolveLoopByPosition(90, 90, -1, a, b), "");
    EXPECT_NE(resolveLoopByPosition(90, 0, 20, a, b).find("start position 0"), std::string::npos);
    EXPECT_NE(resolveLoopByPosition(90, 10, 91, a, b).find("end position 91"), std::string::npos);
    EXPECT_NE(resolveLoopByPosition(90, -2, 5, a, b), "");
    EXPECT_NE(resolveLoopByPosition(90, 30, 20, a, b).find("after the end"), std::string::npos);
}

// ---- the executable ----

struct ExeResult {
    int status = -1;
    std::string out;
};

class Executable : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("lorvane_driver_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    bool linkData() {
        fs::path data = fs::path(LORVANE_SOURCE_DIR) / "data";
        if (!fs::exists(data / "atomProp2.txt")) return false;
        fs::create_directory_symlink(data, dir / "data");
        return true;
    }
    ExeResult run(const std::string& args) {
        std::string cmd = "cd '" + dir.string() + "' && '" + LORVANE_EXE + "' " + args + " > out.txt 2> err.txt";
        int rc = std::system(cmd.c_str());
        ExeResult r;
        r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        std::ifstream in(dir / "out.txt");
        std::ostringstream os;
        os << in.rdbuf();
        r.out = os.str();
        return r;
    }
    std::string log() {
        std::ifstream in(dir / "command.log");
        std::ostringstream os;
        os << in.rdbuf();
        return os.str();
    }
    fs::path dir;
};

TEST_F(Executable, NoArgumentsPrintsUsage) {
    ExeResult r = run("");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kUsage);
    EXPECT_FALSE(fs::exists(dir / "command.log"));
}

TEST_F(Executable, UsageErrorsExitTwoWithoutLog) {
    ExeResult wrong = run("-mode Smc");
    EXPECT_EQ(wrong.status, 2);
    EXPECT_EQ(wrong.out, "wrong mode type!\n" + kUsage);
    ExeResult unknown = run("-frobnicate");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "Unrecognized command: -frobnicate\n" + kUsage);
    ExeResult missing = run("-f x.pdb -start");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.out.find("-start"), std::string::npos);
    for (const char* a : {"-seeds abc", "-seeds 50", "-numloop 0", "-cores -1"}) {
        ExeResult r = run(a);
        EXPECT_EQ(r.status, 2) << a;
        std::string opt(a);
        opt = opt.substr(0, opt.find(' '));
        EXPECT_NE(r.out.find(opt), std::string::npos) << a << ": " << r.out;
    }
    EXPECT_FALSE(fs::exists(dir / "command.log"));
}

TEST_F(Executable, FoldModeLogsTheCommandLine) {
    if (!linkData()) GTEST_SKIP() << "data/atomProp2.txt not present";
    ExeResult r = run("-mode fold -f examples/5p21.pdb");
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string line = std::string(LORVANE_EXE) + " -mode fold -f examples/5p21.pdb \n";
    EXPECT_EQ(log(), line);
    ExeResult again = run("-mode fold -rs 3");
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_EQ(log(), line + LORVANE_EXE + " -mode fold -rs 3 \n");  // appended
}

TEST_F(Executable, MissingTemplatesFailWithStatusOne) {
    ExeResult r = run("-mode fold");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cannot open parameter file ./data/atomProp2.txt"), std::string::npos) << r.out;
    EXPECT_EQ(log(), std::string(LORVANE_EXE) + " -mode fold \n");  // logged before loading
}

// A text file in the run directory.
void writeFile(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }

std::string caLine(int serial, char chain, int num) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "ATOM  %5d  CA  GLY %c%4d    %8.3f%8.3f%8.3f  1.00 10.00           C", serial, chain, num, 3.8 * serial,
                  0.0, 0.0);
    return buf;
}

TEST_F(Executable, InputErrorsStopWithStatusOne) {
    if (!linkData()) GTEST_SKIP() << "data/atomProp2.txt not present";
    writeFile(dir / "empty.pdb", "HEADER    NOTHING\nEND\n");
    std::string chains;
    for (int c = 0; c < 21; ++c) chains += caLine(c + 1, char('A' + c), 1) + "\n";
    writeFile(dir / "chains.pdb", chains);
    const std::string real = std::string(LORVANE_SOURCE_DIR) + "/examples/5p21.pdb";

    ExeResult missing = run("-mode compare -f nothere.pdb -start 1 -end 5");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("Could not read PDB file nothere.pdb"), std::string::npos) << missing.out;
    ExeResult empty = run("-mode compare -f empty.pdb -start 1 -end 5");
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.out.find("empty.pdb has no atoms"), std::string::npos) << empty.out;
    ExeResult many = run("-mode compare -f chains.pdb -start 1 -end 5");
    EXPECT_EQ(many.status, 1);
    EXPECT_NE(many.out.find("more than 20 chains"), std::string::npos) << many.out;
    ExeResult absent = run("-mode compare -f " + real + " -start 500 -end 600");
    EXPECT_EQ(absent.status, 1);
    EXPECT_NE(absent.out.find("Could not find startind or ending PDB index"), std::string::npos) << absent.out;
    ExeResult last = run("-mode compare -f " + real + " -start 160 -end 166");  // 166 is the chain's last residue
    EXPECT_EQ(last.status, 1);
}

TEST_F(Executable, SamplingModeRejectsLoopsOutsideTheChain) {
    for (const char* f : {"dfire_pair.lib", "QUENDApair.lib", "dipole.fress", "oscarparams.txt", "joint.distance.txt",
                          "joint.distance.backward.txt", "joint.distance.conditional.txt", "joint.distance.conditional.backward.txt",
                          "phipsi.bb.txt", "newsimplRot.txt", "QUENDA_ed4_8_V3.txt"})
        if (!fs::exists(fs::path(LORVANE_SOURCE_DIR) / "data" / f)) GTEST_SKIP() << "data/" << f << " not present";
    ASSERT_TRUE(linkData());
    const std::string real = std::string(LORVANE_SOURCE_DIR) + "/examples/5p21.pdb";
    struct Case {
        std::string args, message;
    };
    for (const Case& c : {Case{"-pdbIndex -start 0 -end 5", "start position 0"}, Case{"-pdbIndex -start 10 -end 167", "end position 167"},
                          Case{"-pdbIndex -start 12 -end 8", "after the end"},
                          Case{"-start 45 -end 999", "Specified starting or ending residue numbers are not in the PDB file."}}) {
        ExeResult r = run("-f " + real + " -cores 1 " + c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << ": " << r.out;
    }
    std::string seq(1501, 'A');
    writeFile(dir / "long.seq", seq + "\n");
    ExeResult longSeq = run("-f long.seq -start 1 -end 5");
    EXPECT_EQ(longSeq.status, 1);
    EXPECT_NE(longSeq.out.find("long.seq has 1501 residues"), std::string::npos) << longSeq.out;
}

}  // namespace
