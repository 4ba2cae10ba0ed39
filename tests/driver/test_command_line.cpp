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
        {"-f " + ras + " -start 45 -end 45", 2, "^-start 45 and -end 45 give a loop of one residue"},
        {"-f " + ras + " -start 52 -end 45", 2, "^-start 52 and -end 45: the loop's first residue comes after its last$"},
        {"-f " + ras + " -start 45 -end 47", 2, "^The loop 45..47 has 3 residues; the sampler models loops of 4 to 22$"},
        {"-f " + ras + " -start 20 -end 60", 2, "^The loop 20..60 has 41 residues"},
        {"-f " + ras + " -start 160 -end 166", 2, "^Residue 166 is the last residue of chain A in .*5p21.pdb: a loop needs a fixed residue of its chain after it$"},
        {"-f " + ras + " -start 1 -end 8", 2, "^Residue 1 is the first residue of chain A"},
        {"-f two.pdb -start 42 -end 48", 2, "^Residue 48 is the last residue of chain A in two.pdb"},
        {"-f " + ras + " -seeds 99", 2, "^Option -seeds must be at least 100"},
        // Input errors: the structure holds no such loop.
        {"-f " + ras + " -start 45 -end 999", 1, "^Specified starting or ending residue numbers are not in the PDB file\\. \\(.*5p21.pdb has no residue 999\\)$"},
        {"-f break.pdb -start 45 -end 52", 1, "^Chain break inside the loop 45..52 in break.pdb: residue 49 follows residue 47$"},
        {"-f two.pdb -start 45 -end 52", 1, "^The loop 45..52 runs from chain A into chain B after residue 48 in two.pdb$"},
        {"-mode energy -f " + ras + " -start 52 -end 45", 1, "^No loop to score: -start 52 -end 45 puts the loop's first residue after its last$"},
        {"-mode energy -f break.pdb -start 45 -end 52", 1, "^Chain break inside the loop 45..52"},
        {"-mode energy -f two.pdb -start 45 -end 52", 1, "^The loop 45..52 runs from chain A into chain B"},
        {"-mode energy -f " + ras + " -start 45 -end 45", 1, "^No loop to score: -start 45 -end 45 name a single residue$"},
        {"-mode compare -f two.pdb -start 45 -end 52 -score d.txt", 1, "^The loop 45..52 runs from chain A into chain B"},
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
        for (const std::string& l : ls) EXPECT_TRUE(l == ls.back() || l.rfind("openMP:", 0) == 0 || l.rfind("Loading parameters", 0) == 0) << l;
    }
    EXPECT_EQ(lines(slurp(dir.path("command.log"))).size(), cases.size() - 8) << "misuse seen on the command line alone is not logged";
}

// Requests the program can honour only in part: said on standard error, then done.
TEST(CommandLine, CoresAndNumloopAboveWhatThereIsAreSaidAndCapped) {
    ScratchDir dir;
    dir.linkData();
    const std::string ras = "'" + sourcePath("examples/5p21.pdb") + "'";
    const ProgramRun r = runProgram(dir.root(), "-f " + ras + " -start 45 -end 52 -seeds 100 -numloop 1000 -cores 999 -rs 3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
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
