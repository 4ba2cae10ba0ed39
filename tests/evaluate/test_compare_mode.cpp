// Compare mode end to end on decoys of the 5p21 loop 45-52: decoy reading
// and renumbering, the summary line against RMSDs computed here from the
// files, the distance dump, output directories and the error exits.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <set>
#include <sstream>

#include "eval_support.h"
#include "evaluate/evaluate.h"
#include "growth/smc.h"
#include "model/structure.h"

namespace fs = std::filesystem;
using namespace eval_test;

namespace {

constexpr int kFrom = 45, kTo = 52;

struct Fixture {
    Structure native{MAX_RESIDUES};
    int start = -1, end = -1;
    std::vector<PdbAtom> loop;  // native loop atoms from the file
    bool ok = false;
    Fixture() {
        const std::string pdb = sourcePath("examples/5p21.pdb");
        if (!templatesLoaded() || !native.readPdb(pdb, {}, 0)) return;
        for (int i = 1; i <= native._numRes; ++i) {
            if (native[i].pdbNum == kFrom) start = i;
            if (native[i].pdbNum == kTo) end = i;
        }
        loop = readAtoms(pdb, kFrom, kTo);
        ok = start > 0 && end > start && !loop.empty();
    }
};

Fixture& fx() {
    static Fixture f;
    return f;
}

#define REQUIRE_5P21()                                                   \
    do {                                                                 \
        REQUIRE_EVAL_INPUTS();                                           \
        if (!fx().ok) GTEST_SKIP() << "examples/5p21.pdb not readable"; \
    } while (0)

// The native loop with every atom moved by a seeded random displacement of
// the given size (0 = the native itself).
Decoy displaced(double size, unsigned seed, double s0, double s1, double s2, double s3) {
    Decoy d{{s0, s1, s2, s3}, fx().loop};
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (PdbAtom& a : d.atoms) a.x += size * u(g), a.y += size * u(g), a.z += size * u(g);
    return d;
}

// Decoy atoms as the file stores them (three decimals), for the independent RMSD.
double fileRmsd(const Decoy& d) {
    Decoy r = d;
    for (PdbAtom& a : r.atoms)
        a.x = std::round(a.x * 1000) / 1000, a.y = std::round(a.y * 1000) / 1000, a.z = std::round(a.z * 1000) / 1000;
    return loopRmsd(r.atoms, fx().loop, kFrom, kTo);
}

std::string runEval(const std::string& file, bool dump) {
    Structure work(MAX_RESIDUES);
    testing::internal::CaptureStdout();
    work.evalLoops(file, {}, 0, fx().start, fx().end, fx().native, dump);
    return testing::internal::GetCapturedStdout();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream is(text);
    std::string l;
    while (std::getline(is, l)) v.push_back(l);
    return v;
}

TEST(CompareMode, SummaryLineMatchesIndependentRmsds) {
    REQUIRE_5P21();
    ScratchDir dir;
    std::vector<Decoy> decoys;
    const double sizes[] = {1.7, 0.9, 2.4, 0.35, 1.2, 3.0};
    for (int k = 0; k < 6; ++k) decoys.push_back(displaced(sizes[k], 11 + k, -40.0 + 3 * k, 5.0 + k, 1.0 - k, 2.0 + 0.5 * k));
    // Decoy 4 (index 3, the smallest displacement) gets the best score on every term: lowest z.
    decoys[3].s[0] = -60, decoys[3].s[1] = 1, decoys[3].s[2] = -9, decoys[3].s[3] = 0.5;
    // Relative numbering: residues written as 1..8 must land on 45..52.
    writeFile("decoys.txt", decoyText(decoys, 1 - kFrom));
    const auto out = lines(runEval("decoys.txt", false));
    ASSERT_EQ(out.size(), 1u) << "without -dumpdis only the summary line";
    const auto v = numbers(out[0]);
    ASSERT_EQ(v.size(), 8u) << out[0];

    std::vector<double> rm;
    double c1 = 1e300, c2 = 1e300, s0 = 1e300, s2 = 1e300;
    for (const Decoy& d : decoys) {
        rm.push_back(fileRmsd(d));
        c1 = std::min(c1, 10 * d.s[3] + d.s[2]);
        c2 = std::min(c2, 10 * d.s[3] + d.s[0]);
        s0 = std::min(s0, d.s[0]);
        s2 = std::min(s2, d.s[2]);
    }
    double mean = 0;
    for (double r : rm) mean += r;
    mean /= rm.size();
    const double tol = 2e-3;  // six significant digits, float coordinates
    EXPECT_EQ(v[0], 6);
    EXPECT_NEAR(v[1], *std::min_element(rm.begin(), rm.end()), tol);
    EXPECT_NEAR(v[2], mean, tol);
    EXPECT_NEAR(v[3], rm[3], tol);
    EXPECT_NEAR(v[4], c1, 1e-6);
    EXPECT_NEAR(v[5], s2, 1e-6);
    EXPECT_NEAR(v[6], c2, 1e-6);
    EXPECT_NEAR(v[7], s0, 1e-6);
    EXPECT_EQ(lastDecoyEvaluation().lowestZ, 3);
    EXPECT_EQ(lastDecoyEvaluation().lowestRmsd, 3);
    EXPECT_FALSE(fs::exists("Eout")) << "nothing is written without -dumpdis";
    EXPECT_FALSE(fs::exists("disout2"));
}

TEST(CompareMode, FirstAtomFixesTheOffsetPerDecoy) {
    REQUIRE_5P21();
    ScratchDir dir;
    // A displaced decoy numbered 45.., then the exact native numbered 101..108:
    // the second must come out at RMSD 0 (it overwrites the loop, not residues 101..).
    const Decoy far = displaced(1.5, 3, 0, 0, 0, 0);
    const Decoy exact = displaced(0.0, 0, 0, 0, 0, 0);
    writeFile("d.txt", decoyText({far}) + decoyText({exact}, 101 - kFrom));
    const auto v = numbers(lines(runEval("d.txt", false))[0]);
    ASSERT_EQ(v.size(), 8u);
    EXPECT_EQ(v[0], 2);
    EXPECT_NEAR(v[1], 0.0, 1e-3);
    EXPECT_NEAR(v[2], fileRmsd(far) / 2, 2e-3);
    EXPECT_EQ(lastDecoyEvaluation().lowestRmsd, 1);
}

TEST(CompareMode, TiesGoToTheFirstDecoy) {
    REQUIRE_5P21();
    ScratchDir dir;
    // Decoys 1 and 3 are both the native (RMSD 0) with equal scores; decoy 2 is worse on both counts.
    const Decoy a = displaced(0.0, 0, -5, 1, 1, 1);
    const Decoy b = displaced(1.0, 9, 5, 3, 3, 3);
    writeFile("t.txt", decoyText({b, a, b, a}));
    runEval("t.txt", false);
    EXPECT_EQ(lastDecoyEvaluation().lowestRmsd, 1);
    EXPECT_EQ(lastDecoyEvaluation().lowestZ, 1);
}

TEST(CompareMode, DistanceDumpGroupsAndDirectories) {
    REQUIRE_5P21();
    ScratchDir dir;
    writeFittedE(0.001);
    // Native (near-native, s1 1.0), a displaced copy whose CB of 50 sits 1.5 A
    // from a frame atom (other, low-scoring: s1 1.5, zero counts), and a
    // displaced copy with a high s1 (in neither group).
    Decoy nat = displaced(0.0, 0, -10, 1.0, 0, 0);
    Decoy clash = displaced(0.6, 5, -9, 1.5, 0, 0);
    Decoy high = displaced(0.8, 6, -8, 9.0, 0, 0);
    // Frame atom: the CA of the first residue outside 44..53 within 14 A of CA 50.
    const Residue& r50 = fx().native[fx().start + 5];
    const Atom* target = nullptr;
    for (int j = 1; j <= fx().native._numRes && !target; ++j) {
        const int num = fx().native[j].pdbNum;
        if (num >= 44 && num <= 53) continue;
        if (fx().native[j].atoms[1].dis(r50.atoms[1]) < 14.0) target = &fx().native[j].atoms[1];
    }
    ASSERT_NE(target, nullptr);
    int moved = 0;
    for (PdbAtom& a : clash.atoms)
        if (a.resNum == 50 && a.name == "CB") a.x = target->x + 1.5, a.y = target->y, a.z = target->z, ++moved;
    ASSERT_EQ(moved, 1);
    const std::string path = "runs/set1/dec.txt";
    writeFile(path, decoyText({nat, clash, high}));

    const auto out = lines(runEval(path, true));
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[1], "Cut-off: 1") << "sorted s1 1, 1.5, 9: index 3/5 = 0";
    // The native is the only near-native decoy: its RMSD and s1 are listed.
    const auto nearLine = numbers(out[2]);
    ASSERT_EQ(nearLine.size(), 2u);
    EXPECT_NEAR(nearLine[0], 0.0, 1e-3);
    EXPECT_DOUBLE_EQ(nearLine[1], 1.0);
    EXPECT_EQ(out.size(), 3u);

    // Directories under Eout/ and disout2/ were made for the decoy path.
    ASSERT_TRUE(fs::exists("disout2/runs/set1/dec.txt"));
    ASSERT_TRUE(fs::exists("Eout/runs/set1/dec.txt"));
    std::ifstream dis("disout2/runs/set1/dec.txt");
    std::string l1, l2;
    std::getline(dis, l1);
    std::getline(dis, l2);
    const auto near = numbers(l1), other = numbers(l2);
    ASSERT_EQ(near.size(), static_cast<size_t>(DIST_SIZE + 1));
    ASSERT_EQ(other.size(), static_cast<size_t>(DIST_SIZE + 1));
    EXPECT_EQ(near[0], 1);
    EXPECT_EQ(other[0], 1);
    double otherSum = 0, nearSum = 0, weighted = 0;
    for (int k = 1; k <= DIST_SIZE; ++k) otherSum += other[k], nearSum += near[k], weighted += near[k] * (k - 1) * 0.001;
    EXPECT_EQ(otherSum, 0) << "the clashing decoy keeps zero counts";
    EXPECT_GT(nearSum, 100) << "the native loop has many contacts within 8 A";

    // Eout: RMSD, four raw scores, pair energy; the native's energy is its counts times the table.
    std::ifstream eo("Eout/runs/set1/dec.txt");
    std::vector<std::vector<double>> rows;
    std::string l;
    while (std::getline(eo, l)) rows.push_back(numbers(l));
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& r : rows) ASSERT_EQ(r.size(), 6u);
    EXPECT_NEAR(rows[0][0], 0.0, 1e-3);
    EXPECT_DOUBLE_EQ(rows[0][1], -10);
    EXPECT_DOUBLE_EQ(rows[2][2], 9.0);
    EXPECT_NEAR(rows[0][5], weighted, 1e-6 * std::max(1.0, weighted) + 1e-3);
    EXPECT_NEAR(rows[1][0], fileRmsd(clash), 2e-3);
}

TEST(CompareMode, DumpPathsStayInsideTheirDirectory) {
    EXPECT_EQ(dumpPath("Eout", "a/b.txt"), "Eout/a/b.txt");
    EXPECT_EQ(dumpPath("Eout", "./a/./b.txt"), "Eout/a/b.txt");
    EXPECT_EQ(dumpPath("disout2", "/tmp/x/b.txt"), "disout2/tmp/x/b.txt");
    EXPECT_EQ(dumpPath("Eout", "../p/b.txt"), "Eout/up/p/b.txt");
}

// ---- error exits (status 1, one line naming the fault) ----

void evalOrDie(const std::string& file, bool dump) {
    std::cout.flush();
    stdoutToStderr();
    Structure work(MAX_RESIDUES);
    work.evalLoops(file, {}, 0, fx().start, fx().end, fx().native, dump);
    std::exit(0);
}

TEST(CompareModeErrors, MissingFileAndNoCompleteDecoy) {
    REQUIRE_5P21();
    ScratchDir dir;
    EXPECT_EXIT(evalOrDie("absent.txt", false), testing::ExitedWithCode(1), "Could not read Loops file absent.txt");
    Decoy d = displaced(0.5, 1, 0, 0, 0, 0);
    std::string text = decoyText({d});
    text.erase(text.rfind("END"));  // the only decoy never ends
    writeFile("open.txt", text);
    EXPECT_EXIT(evalOrDie("open.txt", false), testing::ExitedWithCode(1), "open.txt holds no complete decoy");
    writeFile("empty.txt", "REMARK nothing here\n");
    EXPECT_EXIT(evalOrDie("empty.txt", false), testing::ExitedWithCode(1), "holds no complete decoy");
}

TEST(CompareModeErrors, MalformedRecords) {
    REQUIRE_5P21();
    ScratchDir dir;
    const Decoy d = displaced(0.5, 1, 0, 0, 0, 0);
    std::string text = decoyText({d});
    // Cut the third ATOM record (line 4) before its z coordinate.
    std::istringstream is(text);
    std::string l, cut;
    int n = 0;
    while (std::getline(is, l)) cut += (++n == 4 ? l.substr(0, 50) : l) + "\n";
    writeFile("short.txt", cut);
    EXPECT_EXIT(evalOrDie("short.txt", false), testing::ExitedWithCode(1), "short.txt line 4: ATOM record of 50 characters");
    writeFile("loop.txt", "LOOP 1 2.0 3.0\n" + text.substr(text.find('\n') + 1));
    EXPECT_EXIT(evalOrDie("loop.txt", false), testing::ExitedWithCode(1), "loop.txt line 1: a LOOP line needs");
    writeFile("orphan.txt", text + atomRecord(1, "N", "VAL", 1, 0, 0, 0) + "\n");
    EXPECT_EXIT(evalOrDie("orphan.txt", false), testing::ExitedWithCode(1), "outside a decoy");
}

TEST(CompareModeErrors, ResidueOutsideTheChain) {
    REQUIRE_5P21();
    ScratchDir dir;
    // First residue lands on 45; a residue numbered 200 further on lands past the chain's end.
    Decoy d = displaced(0.2, 1, 0, 0, 0, 0);
    d.atoms.push_back({"CA", "GLY", kFrom + 200, 1, 2, 3});
    writeFile("far.txt", decoyText({d}));
    EXPECT_EXIT(evalOrDie("far.txt", false), testing::ExitedWithCode(1), "far.txt line [0-9]+: residue 245 falls at chain position");
    Decoy e = displaced(0.2, 1, 0, 0, 0, 0);
    e.atoms.push_back({"CA", "GLY", kFrom - 60, 1, 2, 3});
    writeFile("before.txt", decoyText({e}));
    EXPECT_EXIT(evalOrDie("before.txt", false), testing::ExitedWithCode(1), "outside the chain's positions 1..166");
}

TEST(CompareModeErrors, DecoyCapacities) {
    REQUIRE_5P21();
    ScratchDir dir;
    // One-atom decoys keep the files small; the RMSD of an untouched loop is 0.
    auto many = [](int count) {
        std::string one = "LOOP 1 0 0 0 0\n" + atomRecord(1, "CA", "VAL", 1, 4.938, 33.277, -6.419) + "\nEND \n";
        std::string s;
        s.reserve(one.size() * count);
        for (int k = 0; k < count; ++k) s += one;
        return s;
    };
    writeFile("max.txt", many(MAX_DECOYS));
    writeFile("over.txt", many(MAX_DECOYS + 1));
    EXPECT_EXIT(evalOrDie("max.txt", false), testing::ExitedWithCode(0), "^20000 ");
    EXPECT_EXIT(evalOrDie("over.txt", false), testing::ExitedWithCode(1), "more than 20000 decoys");
    writeFittedE(0.0);
    writeFile("dump_over.txt", many(MAX_DUMP_DECOYS + 1));
    EXPECT_EXIT(evalOrDie("dump_over.txt", true), testing::ExitedWithCode(1), "more than 5000 decoys with -dumpdis");
}

TEST(CompareModeErrors, ShortFittedTable) {
    REQUIRE_5P21();
    ScratchDir dir;
    writeFile("d.txt", decoyText({displaced(0.3, 1, 0, 0, 0, 0)}));
    writeFittedE(0.0, 23999);
    EXPECT_EXIT(evalOrDie("d.txt", true), testing::ExitedWithCode(1), "fittedE.txt.*23999 fields");
    fs::remove("data/fittedE.txt");
    EXPECT_EXIT(evalOrDie("d.txt", true), testing::ExitedWithCode(1), "fittedE.txt");
}

TEST(CompareModeErrors, UnwritableDumpDirectory) {
    REQUIRE_5P21();
    ScratchDir dir;
    writeFittedE(0.0);
    writeFile("d.txt", decoyText({displaced(0.3, 1, 0, 0, 0, 0)}));
    writeFile("Eout", "a plain file where the directory should be\n");
    EXPECT_EXIT(evalOrDie("d.txt", true), testing::ExitedWithCode(1), "Eout");
}

// ---- the program itself ----

int runProgram(const std::string& args, std::string& out) {
    const std::string cmd = std::string(LORVANE_EXE) + " " + args + " > run.out 2>&1";
    const int rc = std::system(cmd.c_str());
    std::ifstream f("run.out");
    std::stringstream ss;
    ss << f.rdbuf();
    out = ss.str();
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(CompareModeProgram, LoopNotFoundAndFunnelPlot) {
    REQUIRE_5P21();
    ScratchDir dir;
    fs::create_directories("data");
    fs::copy_file(sourcePath("data/atomProp2.txt"), "data/atomProp2.txt");
    fs::copy_file(sourcePath("examples/5p21.pdb"), "5p21.pdb");
    std::vector<Decoy> decoys;
    for (int k = 0; k < 12; ++k) decoys.push_back(displaced(0.25 * k, 40 + k, -k, k % 3, 0.5 * k, 1));
    writeFile("pdbout/5p21_45_52.txt", decoyText(decoys));
    std::string out;
    EXPECT_EQ(runProgram("-mode compare -f 5p21.pdb -start 45 -end 999 -score pdbout/5p21_45_52.txt", out), 1);
    EXPECT_NE(out.find("Could not find startind or ending PDB index"), std::string::npos) << out;

    EXPECT_EQ(runProgram("-mode compare -f 5p21.pdb -start 45 -end 52 -score pdbout/5p21_45_52.txt", out), 0) << out;
    const std::string plain = out;
    EXPECT_FALSE(fs::exists("funnel.svg"));
    EXPECT_EQ(runProgram("-mode compare -f 5p21.pdb -start 45 -end 52 -score pdbout/5p21_45_52.txt -svg plots/funnel.svg", out), 0) << out;
    EXPECT_EQ(out, plain) << "the plot does not change the printed summary";
    std::ifstream svg("plots/funnel.svg");
    ASSERT_TRUE(svg.good());
    std::stringstream ss;
    ss << svg.rdbuf();
    const std::string s = ss.str();
    EXPECT_NE(s.find("<svg"), std::string::npos);
    EXPECT_NE(s.find("</svg>"), std::string::npos);
    EXPECT_NE(s.find("5p21_45_52"), std::string::npos);
    EXPECT_NE(s.find("RMSD"), std::string::npos);
    size_t dots = 0;
    for (size_t p = s.find("r=\"3\""); p != std::string::npos; p = s.find("r=\"3\"", p + 1)) ++dots;
    EXPECT_EQ(dots, decoys.size()) << "one point per decoy";
}

}  // namespace
