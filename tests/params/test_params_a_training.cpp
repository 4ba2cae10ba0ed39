// Training-set loader: file selection and exclusion, plain and gzip input,
// chain splitting, break detection, copy weights, thread independence, DSSP.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "params/commands.h"
#include "params/training_set.h"
#include "params_a_test_util.h"

using namespace lorvane;

using namespace patest;

namespace {

void writeGz(const std::string& path, const std::string& text) {
    gzFile f = gzopen(path.c_str(), "wb");
    gzwrite(f, text.data(), static_cast<unsigned>(text.size()));
    gzclose(f);
}

// Folder: 1abc.pdb (two identical helical chains A, B and a strand chain C),
// 2xyz.pdb.gz (numbering gap after residue 5, a stretched C-N bond before
// residue 12), 3exc.pdb (to be excluded), notes.txt (ignored).
std::string makeFolder() {
    std::string dir = tempDir("train");
    int serial = 1;
    auto helixA = buildChain(uniform(14, ALA, -62, -41), 'A', 1);
    auto helixB = buildChain(uniform(14, ALA, -62, -41), 'B', 1, Point(30, 0, 0));
    std::vector<ResidueRecipe> strand = uniform(10, VAL, -120, 130);
    auto chainC = buildChain(strand, 'C', 101, Point(0, 30, 0));
    writeFile(dir + "/1abc.pdb", toPdb(helixA, serial) + "TER\n" + toPdb(helixB, serial) + "TER\n" + toPdb(chainC, serial) + "END\n");

    std::vector<ResidueRecipe> mixed = uniform(16, LEU, -65, -40);
    auto x = buildChain(mixed, 'A', 1);
    for (size_t i = 5; i < x.size(); ++i) x[i].pdbNum += 3;  // 1..5, 9..19
    for (size_t i = 11; i < x.size(); ++i)                   // C(10)-N(11) stretched to > 2 A
        for (Point& p : x[i].atoms) p.x += 5.0f;
    serial = 1;
    writeGz(dir + "/2xyz.pdb.gz", toPdb(x, serial) + "END\n");
    serial = 1;
    writeFile(dir + "/3exc.pdb", toPdb(buildChain(uniform(8, GLY, 80, 0), 'A', 1), serial));
    writeFile(dir + "/notes.txt", "not a structure\n");
    return dir;
}

}  // namespace

TEST(ParamsATraining, ReadsFolderSplitsChainsAndFindsBreaks) {
    if (!templatesAvailable()) GTEST_SKIP() << "data/atomProp2.txt not available";
    const std::string dir = makeFolder();
    TrainingOptions opt;
    opt.dir = dir;
    opt.dssp = false;
    opt.threads = 1;
    opt.excludeIds = {"3exc"};
    TrainingSet ts = loadTrainingSet(opt);
    EXPECT_EQ(ts.files, 2);
    EXPECT_EQ(ts.excludedFiles, 1);
    ASSERT_EQ(ts.chains.size(), 4u);
    EXPECT_EQ(ts.chains[0].pdbId, "1abc");
    EXPECT_EQ(ts.chains[0].chain, 'A');
    EXPECT_EQ(ts.chains[1].chain, 'B');
    EXPECT_EQ(ts.chains[2].chain, 'C');
    EXPECT_EQ(ts.chains[3].pdbId, "2xyz");
    EXPECT_EQ(ts.residues, 14 + 14 + 10 + 16);
    // Identical copies share one unit of weight; distinct chains keep theirs.
    EXPECT_DOUBLE_EQ(ts.chains[0].weight, 0.5);
    EXPECT_DOUBLE_EQ(ts.chains[1].weight, 0.5);
    EXPECT_DOUBLE_EQ(ts.chains[2].weight, 1.0);
    // Chain C is numbered from 101; all heavy atoms of valine read.
    const TrainResidue& v = ts.chains[2].residues[3];
    EXPECT_EQ(v.type, VAL);
    EXPECT_EQ(v.pdbNum, 104);
    for (int j = 0; j <= Residue::lastDFire[VAL]; ++j) {
        if (j != 4) {
            EXPECT_TRUE(v.has(j)) << "slot " << j;
        }
    }
    EXPECT_FALSE(v.has(4));
    EXPECT_NEAR(v.bfactor[1], 15.0, 1e-4);
    // Breaks: chain starts, the numbering gap, the stretched bond; nothing else.
    const auto& R = ts.chains[3].residues;
    for (size_t i = 0; i < R.size(); ++i) EXPECT_EQ(R[i].breakBefore, i == 0 || i == 5 || i == 11) << "residue index " << i;
    for (const TrainChain& c : ts.chains) EXPECT_TRUE(c.residues[0].breakBefore);
    // Without DSSP the class comes from phi/psi: the helix interior is H.
    EXPECT_EQ(ts.chains[0].residues[6].ss, 'H');
    EXPECT_EQ(ts.chains[2].residues[5].ss, 'E');
    std::filesystem::remove_all(dir);
}

TEST(ParamsATraining, ResultDoesNotDependOnThreads) {
    if (!templatesAvailable()) GTEST_SKIP() << "data/atomProp2.txt not available";
    const std::string dir = makeFolder();
    TrainingOptions opt;
    opt.dir = dir;
    opt.dssp = false;
    opt.threads = 1;
    TrainingSet a = loadTrainingSet(opt);
    opt.threads = 3;
    TrainingSet b = loadTrainingSet(opt);
    ASSERT_EQ(a.chains.size(), 5u);  // 3exc included this time
    ASSERT_EQ(a.chains.size(), b.chains.size());
    for (size_t c = 0; c < a.chains.size(); ++c) {
        EXPECT_EQ(a.chains[c].pdbId, b.chains[c].pdbId);
        EXPECT_EQ(a.chains[c].chain, b.chains[c].chain);
        ASSERT_EQ(a.chains[c].residues.size(), b.chains[c].residues.size());
        EXPECT_EQ(std::memcmp(a.chains[c].residues.data(), b.chains[c].residues.data(), a.chains[c].residues.size() * sizeof(TrainResidue)),
                  0);
    }
    std::filesystem::remove_all(dir);
}

TEST(ParamsATraining, DsspClassesWhenAvailable) {
    if (!templatesAvailable()) GTEST_SKIP() << "data/atomProp2.txt not available";
    if (std::system("command -v mkdssp >/dev/null 2>&1") != 0) GTEST_SKIP() << "mkdssp not installed";
    const std::string dir = tempDir("dssp");
    int serial = 1;
    auto helix = buildChain(uniform(16, ALA, -62, -41), 'A', 1);
    writeFile(dir + "/9hlx.pdb", toPdb(helix, serial) + "END\n");
    TrainingOptions opt;
    opt.dir = dir;
    opt.dssp = true;
    TrainingSet ts = loadTrainingSet(opt);
    ASSERT_EQ(ts.chains.size(), 1u);
    EXPECT_EQ(ts.dsspFailures, 0);
    EXPECT_EQ(ts.dsspUnmatched, 0);
    const auto& R = ts.chains[0].residues;
    for (size_t i = 4; i + 4 < R.size(); ++i) EXPECT_EQ(R[i].ss, 'H') << "residue index " << i;
    EXPECT_EQ(R.front().ss, 'C');  // the first residue opens the helix without belonging to it
    std::filesystem::remove_all(dir);
}

TEST(ParamsATraining, ExclusionListFormat) {
    const std::string dir = tempDir("excl");
    writeFile(dir + "/ids.txt", "# benchmark ids\n1ABC\n  2xyz_A extra\n\n5p21\n");
    std::set<std::string> ids = readExcludeFile(dir + "/ids.txt");
    EXPECT_EQ(ids, (std::set<std::string>{"1abc", "2xyz", "5p21"}));
    writeFile(dir + "/bad.txt", "1ab\n");
    EXPECT_ERROR(readExcludeFile(dir + "/bad.txt"), 1, "line 1.*not a PDB id");
    EXPECT_ERROR(readExcludeFile(dir + "/missing.txt"), 1, "cannot read exclusion list");
    std::filesystem::remove_all(dir);
}

TEST(ParamsATraining, MissingInputsStopClearly) {
    if (!templatesAvailable()) GTEST_SKIP() << "data/atomProp2.txt not available";
    TrainingOptions opt;
    opt.dir = "/nonexistent/lorvane/train";
    EXPECT_ERROR(loadTrainingSet(opt), 1, "training folder /nonexistent/lorvane/train does not exist");
    const std::string dir = tempDir("empty");
    opt.dir = dir;
    EXPECT_ERROR(loadTrainingSet(opt), 1, "no .pdb or .pdb.gz files");
    std::filesystem::remove_all(dir);
}

TEST(ParamsACommands, DerivationsWriteIdenticalFilesTwice) {
    if (!templatesAvailable()) GTEST_SKIP() << "data/atomProp2.txt not available";
    const std::string dir = makeFolder();
    const std::string out1 = tempDir("out1"), out2 = tempDir("out2");
    auto run = [&](const std::string& name, const std::string& out, const std::string& threads) {
        for (const ParamsCommand& c : paramsCommands())
            if (c.name == name) return c.fn({"--train", dir, "--out", out, "--no-dssp", "--threads", threads});
        ADD_FAILURE() << "command " << name << " not registered";
        return -1;
    };
    for (const char* name : {"phipsi", "distances", "rotamers"}) {
        ASSERT_EQ(run(name, out1, "1"), 0) << name;
        ASSERT_EQ(run(name, out2, "2"), 0) << name;
    }
    for (const char* f : {"phipsi.bb.txt", "joint.distance.txt", "joint.distance.backward.txt", "joint.distance.conditional.txt",
                          "joint.distance.conditional.backward.txt", "newsimplRot.txt"}) {
        const std::string a = readFile(out1 + "/" + f), b = readFile(out2 + "/" + f);
        EXPECT_FALSE(a.empty()) << f;
        EXPECT_EQ(a, b) << f;
    }
    std::filesystem::remove_all(dir);
    std::filesystem::remove_all(out1);
    std::filesystem::remove_all(out2);
}

TEST(ParamsACommands, MissingTrainingFolderFails) {
    if (!templatesAvailable()) GTEST_SKIP() << "data/atomProp2.txt not available";
    const ParamsCommand* distances = nullptr;
    for (const ParamsCommand& c : paramsCommands())
        if (c.name == "distances") distances = &c;
    ASSERT_NE(distances, nullptr);
    EXPECT_ERROR(distances->fn({"--train", "/nonexistent/train", "--out", "/tmp"}), 1,
                 "training folder /nonexistent/train does not exist");
}
