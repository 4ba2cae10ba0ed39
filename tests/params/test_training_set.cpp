// Training-set loader: file selection and exclusion, plain and gzip input,
// chain splitting, break detection, copy weights, thread independence, DSSP,
// the session that loads it once and the binary copy.
#include <cstring>

#include "params/session.h"
#include "params/training_cache.h"
#include "training_folder.h"

using namespace params_test;

namespace {

class TrainingSetTest : public TrainingFolderTest {
protected:
    TrainingSet load(int threads, std::set<std::string> exclude = {}) {
        TrainingOptions opt;
        opt.dir = folder();
        opt.dssp = false;
        opt.threads = threads;
        opt.excludeIds = std::move(exclude);
        return loadTrainingSet(tmpl(), opt);
    }
};

bool sameChains(const TrainingSet& a, const TrainingSet& b) {
    if (a.chains.size() != b.chains.size()) return false;
    for (size_t c = 0; c < a.chains.size(); ++c) {
        const TrainChain &x = a.chains[c], &y = b.chains[c];
        if (x.pdbId != y.pdbId || x.chain != y.chain || x.weight != y.weight || x.residues.size() != y.residues.size()) return false;
        if (std::memcmp(x.residues.data(), y.residues.data(), x.residues.size() * sizeof(TrainResidue)) != 0) return false;
    }
    return true;
}

}  // namespace

TEST_F(TrainingSetTest, ReadsFolderSplitsChainsAndFindsBreaks) {
    const TrainingSet ts = load(1, {"3exc"});
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
    // Chain C is numbered from 101; all heavy atoms of valine read, no hydrogen slot.
    const TrainResidue& v = ts.chains[2].residues[3];
    EXPECT_EQ(v.type, VAL);
    EXPECT_EQ(v.pdbNum, 104);
    for (int j = 0; j <= LAST_HEAVY_SLOT[VAL]; ++j) EXPECT_EQ(v.has(j), j != 4) << "slot " << j;
    EXPECT_NEAR(v.bfactor[1], 15.0, 1e-4);
    // Breaks: chain starts, the numbering gap, the stretched bond; nothing else.
    const auto& R = ts.chains[3].residues;
    for (size_t i = 0; i < R.size(); ++i) EXPECT_EQ(R[i].breakBefore, i == 0 || i == 5 || i == 11) << "residue index " << i;
    for (const TrainChain& c : ts.chains) EXPECT_TRUE(c.residues[0].breakBefore);
    // Without DSSP the class comes from phi/psi: the helix interior is H.
    EXPECT_EQ(ts.chains[0].residues[6].ss, 'H');
    EXPECT_EQ(ts.chains[2].residues[5].ss, 'E');
}

TEST_F(TrainingSetTest, ResultDoesNotDependOnThreads) {
    const TrainingSet a = load(1), b = load(3);
    EXPECT_EQ(a.chains.size(), 5u);  // 3exc included this time
    EXPECT_TRUE(sameChains(a, b));
}

TEST_F(TrainingSetTest, SessionLoadsOnceAndTheBinaryCopyRestoresTheSet) {
    lorvane_test::ScratchDir scratch;
    Options o;
    o.train = folder();
    o.dssp = false;
    o.templates = lorvane_test::sourcePath("data/atomProp2.txt");
    o.cache = scratch.path("train.cache");
    Session session;
    testing::internal::CaptureStdout();
    const TrainingSet& first = session.trainingSet(o);
    const TrainingSet& again = session.trainingSet(o);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(&first, &again);
    EXPECT_ERROR(session.templates("other/atomProp2.txt"), 1, "templates already loaded from");
    // The copy written on the first loading comes back byte for byte, and only for its own key.
    TrainingOptions t;
    t.dir = folder();
    t.dssp = false;
    TrainingSet copy;
    ASSERT_TRUE(loadTrainingCache(o.cache, trainingCacheKey(tmpl(), t), copy));
    EXPECT_TRUE(sameChains(copy, first));
    EXPECT_EQ(copy.files, first.files);
    t.excludeIds = {"3exc"};
    EXPECT_FALSE(loadTrainingCache(o.cache, trainingCacheKey(tmpl(), t), copy));
}

TEST_F(TrainingSetTest, DsspClassesWhenAvailable) {
    if (std::system("command -v mkdssp >/dev/null 2>&1") != 0) GTEST_SKIP() << "mkdssp (Debian package dssp) not installed";
    lorvane_test::ScratchDir dir;
    int serial = 1;
    dir.write("9hlx.pdb", toPdb(buildChain(uniform(16, ALA, -62, -41), 'A', 1), serial) + "END\n");
    TrainingOptions opt;
    opt.dir = dir.root();
    const TrainingSet ts = loadTrainingSet(tmpl(), opt);
    ASSERT_EQ(ts.chains.size(), 1u);
    EXPECT_EQ(ts.dsspFailures, 0);
    EXPECT_EQ(ts.dsspUnmatched, 0);
    const auto& R = ts.chains[0].residues;
    for (size_t i = 4; i + 4 < R.size(); ++i) EXPECT_EQ(R[i].ss, 'H') << "residue index " << i;
    EXPECT_EQ(R.front().ss, 'C');  // the first residue opens the helix without belonging to it
}

TEST_F(TrainingSetTest, ExclusionListAndMissingInputs) {
    lorvane_test::ScratchDir dir;
    dir.write("ids.txt", "# benchmark ids\n1ABC\n  2xyz_A extra\n\n5p21\n");
    EXPECT_EQ(readExcludeFile(dir.path("ids.txt")), (std::set<std::string>{"1abc", "2xyz", "5p21"}));
    dir.write("bad.txt", "1ab\n");
    EXPECT_ERROR(readExcludeFile(dir.path("bad.txt")), 1, "line 1: \"1ab\" is not a PDB id");
    EXPECT_ERROR(readExcludeFile(dir.path("missing.txt")), 1, "cannot read exclusion list");
    TrainingOptions opt;
    opt.dir = "/nonexistent/lorvane/train";
    EXPECT_ERROR(loadTrainingSet(tmpl(), opt), 1, "training folder /nonexistent/lorvane/train does not exist");
    opt.dir = dir.root();
    EXPECT_ERROR(loadTrainingSet(tmpl(), opt), 1, "no .pdb or .pdb.gz files");
    EXPECT_ERROR(Session().templates(dir.path("none.txt")), 1, "cannot open templates file");
}
