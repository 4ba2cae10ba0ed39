// The command line and the choice of loop, run as a user runs the program:
// misuse exits 2, input that holds no loop to work on exits 1, each with one
// line on standard error that says what is wrong and nothing on standard
// output; a population too large for the memory says how much it would need;
// -cores above the hardware and -numloop above the population are said and
// then honoured as far as they can be.
#include <omp.h>

#include <regex>

#include "support/support.h"

using namespace lorvane_test;

namespace {

// 5p21 with residue `drop` left out, or with the residues after `split` moved to chain B.
std::string editedRas(int drop, int split) {
    std::string out;
    for (const std::string& line : lines(slurp(sourcePath("examples/5p21.pdb")))) {
        std::string l = line;
        if (l.compare(0, 4, "ATOM") == 0 || l.compare(0, 6, "HETATM") == 0) {
            const int num = std::stoi(l.substr(22, 4));
            if (num == drop) continue;
            if (split > 0 && l[21] == 'A' && num > split) l[21] = 'B';
        }
        out += l + "\n";
    }
    return out;
}

TEST(CommandLine, MisuseAndLoopsThatCannotBeModelledStopWithStatusAndOneLine) {
    ScratchDir dir;
    dir.linkData();
    const std::string ras = "'" + sourcePath("examples/5p21.pdb") + "'";
    dir.write("break.pdb", editedRas(48, 0));
    dir.write("two.pdb", editedRas(0, 48));
    dir.write("prior.txt", "# a rotamer preference table cut short\nLEU 0 1 2\n");
    struct Case {
        std::string args;
        int status;
        std::string message;  // regular expression the one line on standard error must match
    };
    const std::vector<Case> cases = {
        // Misuse: the command line alone is wrong.
        {"-start 45 -end 52", 2, "^No input structure: give it with -f FILE$"},
        {"-f " + ras + " -end 52", 2, "^No loop given: -start .* missing$"},
        {"-f " + ras + " -start 45", 2, "^No loop given: -end .* missing$"},
        {"-mode energy -f " + ras, 2, "^No loop given: -start and -end"},
        {"-mode compare -f " + ras + " -start 45 -end 52", 2, "^Compare mode needs the decoys to compare: give them with -score FILE$"},
        {"-f " + ras + " -start 45 -end 45", 2, "^the loop A45-A45 has 1 residues; the program models 4 to 22$"},
        {"-f " + ras + " -start 52 -end 45", 2, "^-start 52 and -end 45: A52 comes after A45 in chain A$"},
        {"-f " + ras + " -start 45 -end 47", 2, "^the loop A45-A47 has 3 residues; the program models 4 to 22$"},
        {"-f " + ras + " -start 20 -end 60", 2, "^the loop A20-A60 has 41 residues"},
        {"-f two.pdb -start 45 -end 52", 2, "^the loop's ends lie in different chains: A45 and B52$"},
        {"-f " + ras + " -seeds 99", 2, "^Option -seeds must be at least 100"},
        {"-f " + ras + " -start 45 -end 52 -xrotprior prior.txt", 2, "^Option -xrotprior needs -xrepack, the repacking it weighs$"},
        {"-f " + ras + " -start 45 -end 52 -xrescore", 2, "^Option -xrescore needs -xrefinefrom FILE, the loops to score again$"},
        {"-f " + ras + " -start 45 -end 52 -xtwotables -xgrowdfire", 2, "^Option -xtwotables grows with both sampling tables: it excludes"},
        {"-f " + ras + " -start 45 -end 52 -dfire -xtwotables", 2, "^Option -xtwotables grows with both sampling tables: it excludes"},
        {"-f " + ras + " -start 45 -end 52 -xtwotables -seeds 199", 2, "^Option -xtwotables grows a second population .*-seeds 199 is too few"},
        {"-f " + ras + " -start 45 -end 52 -xgrowdfire -xsupplement", 2, "^Option -xsupplement grows with both sampling tables: it excludes"},
        // Input errors: the structure holds no such loop, or no anchor for it.
        {"-f " + ras + " -start 45 -end 999", 1, "^Specified starting or ending residue numbers are not in the PDB file\\. \\(.*5p21.pdb has no residue 999\\)$"},
        {"-f " + ras + " -start 160 -end 166", 1, "5p21.pdb: cannot model A160-A166: no residue after A166 to anchor the loop$"},
        {"-f " + ras + " -start 1 -end 8", 1, "5p21.pdb: cannot model A1-A8: no residue before A1 to anchor the loop$"},
        {"-f two.pdb -start 42 -end 48", 1, "^two.pdb: cannot model A42-A48: the anchor after the loop"},
        {"-mode energy -f " + ras + " -start 52 -end 45", 2, "^-start 52 and -end 45: A52 comes after A45"},
        {"-mode energy -f break.pdb -start 45 -end 52", 1, "^energy mode needs the loop's own coordinates, but break.pdb lacks residues A48"},
        {"-mode energy -f two.pdb -start 45 -end 52", 2, "^the loop's ends lie in different chains"},
        {"-mode energy -f " + ras + " -start 45 -end 45", 2, "^the loop A45-A45 has 1 residues"},
        {"-mode compare -f two.pdb -start 45 -end 52 -score d.txt", 2, "^the loop's ends lie in different chains"},
        // A damaged measuring table stops before the input is read.
        {"-f " + ras + " -start 45 -end 52 -xrepack -xrotprior prior.txt", 1, "^prior.txt line 2: .*fields"},
        // A population too large for the memory: the estimate, before any allocation fails.
        {"-f " + ras + " -start 45 -end 52 -seeds 2147483647", 1,
         "^A population of 2147483647 seeds \\(-seeds\\) needs an estimated [0-9.]+ TiB of memory for this loop, more than the [0-9.]+ [GMT]iB available; lower -seeds$"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const ProgramRun r = runProgram(dir.root(), c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, "") << "standard output carries results only";
        // Progress lines may come first; the error is the last line.
        const auto ls = lines(r.err);
        ASSERT_FALSE(ls.empty());
        EXPECT_TRUE(std::regex_search(ls.back(), std::regex(c.message))) << ls.back();
        for (const std::string& l : ls)
            EXPECT_TRUE(l == ls.back() || l.rfind("openMP:", 0) == 0 || l.rfind("Loading parameters", 0) == 0 || l.rfind("Loop ", 0) == 0 ||
                        l.rfind("Environment: ", 0) == 0 || l.rfind("Supplement: ", 0) == 0 || l.rfind("Population ", 0) == 0)
                << l;
    }
    EXPECT_EQ(lines(slurp(dir.path("command.log"))).size(), cases.size() - 12) << "misuse seen on the command line alone is not logged";
}

// Requests the program can honour only in part: said on standard error, then done.
TEST(CommandLine, CoresAndNumloopAboveWhatThereIsAreSaidAndCapped) {
    ScratchDir dir;
    dir.linkData();
    const std::string ras = "'" + sourcePath("examples/5p21.pdb") + "'";
    const ProgramRun r = runProgram(dir.root(), "-f " + ras + " -start 45 -end 52 -seeds 100 -numloop 1000 -cores 999 -rs 3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out).size(), 1u) << "standard output holds the result line only: " << r.out;
    EXPECT_EQ(r.out.rfind("Wrote pdbout/5p21_45_52.txt", 0), 0u) << r.out;
    const int hw = omp_get_num_procs();
    EXPECT_NE(r.err.find("Warning: -cores 999 is more than the " + std::to_string(hw) + " processors available; using " + std::to_string(hw)),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("openMP:  using " + std::to_string(hw) + " cores."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Warning: -numloop 1000 asks for more conformations than the 100 seeds can give; at most 100 will be written"),
              std::string::npos)
        << r.err;
    int loops = 0;
    for (const std::string& l : lines(slurp(dir.path("pdbout/5p21_45_52.txt")))) loops += l.rfind("LOOP ", 0) == 0;
    EXPECT_GT(loops, 0);
    EXPECT_LE(loops, 100);
}

}  // namespace
