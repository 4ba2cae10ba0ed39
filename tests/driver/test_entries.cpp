// Real entries through the program: the gaps mode, the refusals of energy and
// compare mode, the choice of the loop, ligands in the energy (Entries), and
// sampling runs on ligands, missing loops, insertion codes, two chains and
// selenomethionine (EntriesSlow).
#include <cmath>
#include <map>

#include <gemmi/gz.hpp>

#include "filter/loop_check.h"
#include "model/entry.h"
#include "model/hetero_atoms.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

std::string entryFile(const std::string& name) { return sourcePath("tests/data/entries/" + name); }

std::string gunzip(const std::string& path) {
    gemmi::MaybeGzipped in(path);
    gemmi::CharArray mem = in.uncompress_into_buffer();
    return std::string(mem.data(), mem.size());
}

// The text without the records that start with one of the prefixes.
std::string without(const std::string& text, const std::vector<std::string>& prefixes) {
    std::string out;
    for (const std::string& l : lines(text)) {
        bool drop = false;
        for (const std::string& p : prefixes) drop = drop || l.compare(0, p.size(), p) == 0;
        if (!drop) out += l + "\n";
    }
    return out;
}

std::vector<WrittenLoop> resultLoops(const std::string& path) {
    std::vector<WrittenLoop> loops;
    std::string error;
    EXPECT_TRUE(readResultFile(path, loops, error)) << error;
    return loops;
}

double dist(const CheckAtom& a, const EnvironmentAtom& h) { return std::sqrt(std::pow(a.x - h.x, 2) + std::pow(a.y - h.y, 2) + std::pow(a.z - h.z, 2)); }

// One sampling run in dir; the result file's path.
std::string sample(const ScratchDir& dir, const std::string& args, const std::string& result) {
    const ProgramRun r = runProgram(dir.root(), args + " -cores 1 -rs 3");
    EXPECT_EQ(r.status, 0) << args << "\n" << r.out << r.err;
    return dir.path("pdbout/" + result);
}

}  // namespace

TEST(Entries, GapsModeListsEveryGapWithItsCommand) {
    ScratchDir dir;
    dir.write("bare.pdb", without(gunzip(entryFile("5p21_del46-51.pdb.gz")), {"REMARK 465", "SEQRES"}));
    const std::string header = "chain\tfirst\tlast\tlength\tsequence\tmodellable\tcommand\n";
    const std::string pdb = entryFile("5p21_del46-51.pdb.gz"), cif = entryFile("5p21_del46-51.cif.gz");
    const std::pair<std::string, std::string> cases[] = {
        {pdb, header + "A\t46\t51\t6\tIDGETC\tyes\tlorvane -f " + pdb + " -chain A -start 45 -end 52\n"},
        {cif, header + "A\t46\t51\t6\tIDGETC\tyes\tlorvane -f " + cif + " -chain A -start 45 -end 52\n"},
        {"bare.pdb", header + "A\t46\t51\t6\t??????\tyes\tlorvane -f bare.pdb -chain A -start 45 -end 52 -seq V??????L\n"},
        {sourcePath("examples/5p21.pdb"), header},
    };
    for (const auto& [file, table] : cases) {
        const ProgramRun r = runProgram(dir.root(), "-mode gaps -f " + file);
        EXPECT_EQ(r.status, 0) << file << r.err;
        EXPECT_EQ(r.out, table) << file;
    }
}

// Energy and compare modes score the loop's own coordinates: a missing loop is refused.
TEST(Entries, EnergyAndCompareRefuseAMissingLoop) {
    ScratchDir dir;
    dir.linkData();
    dir.write("decoys.txt", "LOOP 1 0 0 0 0\nEND \n");
    for (const std::string mode : {"energy", "compare -score decoys.txt"})
        for (const std::string file : {"5p21_del46-51.pdb.gz", "5p21_del46-51.cif.gz"}) {
            const ProgramRun r = runProgram(dir.root(), "-mode " + mode + " -f " + entryFile(file) + " -start 45 -end 52");
            EXPECT_EQ(r.status, 1) << mode << " " << file;
            EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
            EXPECT_NE(r.err.find("mode needs the loop's own coordinates"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("lacks residues A46 A47 A48 A49 A50 A51 of the loop A45-A52"), std::string::npos) << r.err;
        }
}

// Misuse of the command line exits 2, what the entry does not allow 1; one line each.
TEST(Entries, LoopChoiceErrorsNameTheResidue) {
    ScratchDir dir;
    dir.linkData();
    const std::string gou = entryFile("1gou.pdb.gz"), eb1 = entryFile("1eb1.pdb.gz"), p21 = sourcePath("examples/5p21.pdb");
    const std::string sep = [&] {
        std::string out;
        for (std::string l : lines(slurp(p21))) {
            if ((l.compare(0, 6, "ATOM  ") == 0) && std::atoi(l.substr(22, 4).c_str()) == 48) l = "HETATM" + l.substr(6, 11) + "SEP" + l.substr(20);
            out += l + "\n";
        }
        return out;
    }();
    dir.write("sep.pdb", sep);
    const struct {
        std::string args;
        int status;
        std::string message;
    } cases[] = {
        {"-mode energy -f " + gou + " -start 10 -end 15", 2, "residue 10 is in chains A, B"},
        {"-mode energy -f " + gou + " -start 10 -end 15 -chain C", 2, "has no amino-acid chain C (chains: A, B)"},
        {"-mode energy -f " + eb1 + " -chain H -start 60J -end 64", 1, "Could not find startind or ending PDB index (" + eb1 + " has no residue 60J in chain H)"},
        {"-f " + eb1 + " -chain H -start 60J -end 64 -cores 1 -quiet", 1, "Specified starting or ending residue numbers are not in the PDB file."},
        {"-mode energy -f " + p21 + " -start 45x1 -end 52", 2, "-start 45x1"},
        {"-mode energy -f sep.pdb -start 45 -end 52", 1, "A48 (SEP) inside the loop is a modified amino acid"},
        {"-mode energy -f sep.pdb -start 49 -end 55", 1, "anchor A48 (SEP) is a modified amino acid"},
        {"-mode energy -f " + eb1 + " -chain H -start 60A -end 60C", 2, "the loop H60A-H60C has 3 residues"},
        {"-mode energy -f " + p21, 2, "No loop given: -start and -end"},
    };
    for (const auto& c : cases) {
        const ProgramRun r = runProgram(dir.root(), c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_EQ(lines(r.err).size(), 1u) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    }
    // An insertion-code loop in the right chain scores; the chain numbered alike gives its own energy.
    const ProgramRun h = runProgram(dir.root(), "-mode energy -f " + eb1 + " -chain H -start 60A -end 60F");
    EXPECT_EQ(h.status, 0) << h.err;
    const ProgramRun a = runProgram(dir.root(), "-mode energy -f " + gou + " -start 40 -end 47 -chain A");
    const ProgramRun b = runProgram(dir.root(), "-mode energy -f " + gou + " -start 40 -end 47 -chain B");
    EXPECT_EQ(a.status + b.status, 0);
    EXPECT_NE(a.out, b.out);
}

// GNP and Mg count in the loop's energy near them and not far from them; waters only with -keepwater.
TEST(Entries, LigandsAndWatersInTheEnergy) {
    ScratchDir dir;
    dir.linkData();
    const std::string full = sourcePath("examples/5p21.pdb"), bare = sourcePath("tests/golden/inputs/5p21.pdb");
    auto energy = [&](const std::string& file, const std::string& loop) {
        const ProgramRun r = runProgram(dir.root(), "-mode energy -f " + file + " " + loop);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    };
    const std::string nearLigand = "-start 28 -end 36", farFromIt = "-start 65 -end 72";
    EXPECT_NE(energy(full, nearLigand), energy(bare, nearLigand));
    EXPECT_EQ(energy(full, farFromIt), energy(bare, farFromIt));
    EXPECT_NE(energy(full, nearLigand + " -keepwater"), energy(full, nearLigand));
    EXPECT_EQ(energy(bare, nearLigand + " -keepwater"), energy(bare, nearLigand)) << "no water in the file";
}

// The switch-I loop of H-Ras around its nucleotide: no written atom within
// 2.5 A of GNP, none closer to the Mg ion than its clash distances (ionic plus
// van der Waals radius, 0.4 A less for the O, N and S that coordinate it).
TEST(EntriesSlow, LigandKeepsTheLoopAway) {
    ScratchDir dir;
    dir.linkData();
    const std::string file = sample(dir, "-f " + sourcePath("examples/5p21.pdb") + " -start 28 -end 36 -seeds 300 -numloop 60", "5p21_28_36.txt");
    const std::vector<WrittenLoop> loops = resultLoops(file);
    ASSERT_GT(loops.size(), 10u);
    const std::vector<EnvironmentAtom> env = environmentAtoms(readEntry(sourcePath("examples/5p21.pdb")), false);
    double gnp = 1e9;
    std::map<char, double> mg;
    for (const WrittenLoop& l : loops)
        for (const CheckAtom& a : l.atoms)
            for (const EnvironmentAtom& h : env) {
                const double d = dist(a, h);
                if (h.residueName == "GNP") gnp = std::min(gnp, d);
                if (h.residueName == "MG") mg[a.name[0]] = mg.count(a.name[0]) ? std::min(mg[a.name[0]], d) : d;
            }
    EXPECT_GE(gnp, 2.5);
    const std::map<char, double> limit = {{'O', 0.72 + 1.52 - 0.4}, {'N', 0.72 + 1.55 - 0.4}, {'S', 0.72 + 1.80 - 0.4}, {'C', 0.72 + 1.70}};
    for (const auto& [element, d] : mg) EXPECT_GE(d, limit.at(element) - 0.002) << element;  // written with 3 decimals
}

// The loop 46-51 deleted from H-Ras and given back by -seq, by REMARK 465 or
// by mmCIF: the same loops as from the intact entry, byte for byte (nothing
// of the deposited loop reaches the sampler).
TEST(EntriesSlow, MissingLoopFromEverySourceAsTheIntactEntry) {
    ScratchDir dir;
    dir.linkData();
    const std::string del = gunzip(entryFile("5p21_del46-51.pdb.gz"));
    dir.write("intact.pdb", slurp(sourcePath("examples/5p21.pdb")));
    dir.write("bare.pdb", without(del, {"REMARK 465", "SEQRES"}));
    dir.write("remark.pdb", del);
    dir.write("mmcif.cif", gunzip(entryFile("5p21_del46-51.cif.gz")));
    const std::string run = " -start 45 -end 52 -seeds 200 -numloop 40";
    const std::string intact = slurp(sample(dir, "-f intact.pdb" + run, "intact_45_52.txt"));
    EXPECT_FALSE(intact.empty());
    EXPECT_EQ(slurp(sample(dir, "-f bare.pdb -seq VIDGETCL" + run, "bare_45_52.txt")), intact);
    EXPECT_EQ(slurp(sample(dir, "-f remark.pdb" + run, "remark_45_52.txt")), intact);
    EXPECT_EQ(slurp(sample(dir, "-f mmcif.cif" + run, "mmcif_45_52.txt")), intact);
}

// Insertion codes (thrombin H57-H64, 17 residues), the second of two chains
// numbered alike (1gou B), and selenomethionine (MSE 67 and 72 as MET): the
// written loops hold those residues and start at the chosen chain's anchor;
// 1gou B10-B15 named by -pdbIndex positions gives the same loops.
TEST(EntriesSlow, InsertionCodesChainsAndSelenomethionine) {
    ScratchDir dir;
    dir.linkData();
    const struct {
        std::string file, args, result, sequence;
        std::string chain;
        int first;
    } cases[] = {
        {"1eb1.pdb.gz", "-chain H -start 57 -end 64", "1eb1_57_64.txt", "HCLLYPPWDKNFTENDL", "H", 57},
        {"1gou.pdb.gz", "-chain B -start 10 -end 15", "1gou_10_15.txt", "ADYLIR", "B", 10},
        {"5p21_mse.pdb.gz", "-start 65 -end 72", "5p21_m_65_72.txt", "SAMRDQYM", "A", 65},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<WrittenLoop> loops = resultLoops(sample(dir, "-f " + entryFile(c.file) + " " + c.args + " -seeds 100 -numloop 5", c.result));
        ASSERT_FALSE(loops.empty());
        std::string sequence;
        const CheckAtom* firstN = nullptr;
        for (const CheckAtom& a : loops[0].atoms) {
            if (a.name != "N") continue;
            sequence += oneLetter(residueType(a.resName));
            if (!firstN) firstN = &a;
        }
        EXPECT_EQ(sequence, c.sequence);
        const Entry e = readEntry(entryFile(c.file));
        const EntryAtom* n = nullptr;
        for (const EntryResidue& r : e.chain(c.chain)->polymer)
            if (r.id.num == c.first && r.id.icode == ' ') n = r.atom("N");
        ASSERT_TRUE(n && firstN);
        EXPECT_NEAR(firstN->x, n->x, 0.0006);
        EXPECT_NEAR(firstN->y, n->y, 0.0006);
        EXPECT_NEAR(firstN->z, n->z, 0.0006);
    }
    // -pdbIndex counts the standard residues of all chains in file order: B10-B15 of 1gou again.
    const Entry gou = readEntry(entryFile("1gou.pdb.gz"));
    int b10 = 0;
    for (const EntryResidue& r : gou.chains[0].polymer) b10 += r.kind == ResidueKind::Standard;
    for (const EntryResidue& r : gou.chains[1].polymer)
        if (r.id.num < 10) b10 += r.kind == ResidueKind::Standard;
    ++b10;
    const std::string ends = std::to_string(b10) + "_" + std::to_string(b10 + 5);
    const std::string byIndex = sample(dir, "-f " + entryFile("1gou.pdb.gz") + " -pdbIndex -start " + std::to_string(b10) + " -end " +
                                                std::to_string(b10 + 5) + " -seeds 100 -numloop 5",
                                       "1gou_" + ends + ".txt");
    EXPECT_EQ(slurp(byIndex), slurp(dir.path("pdbout/1gou_10_15.txt")));
}
