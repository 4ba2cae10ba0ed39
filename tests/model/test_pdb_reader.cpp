// PDB reader: record selection, slots, gaps and chains, limits, real files, fuzzing.
#include <memory>
#include <random>

#include "model/model_support.h"
#include "model/strings.h"

using namespace lorvane;

using namespace model_test;
namespace fs = std::filesystem;

namespace {

class PdbReader : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_TEMPLATES(); }
    Structure s{1500};
    std::string log;
    int serial = 1;
    std::string res(const std::string& name, char chain, int num) { return residueLines(name, chain, num, 3.8 * num, serial); }
    std::string atom(const char* name4, const char* resName, int num, double x, char alt = ' ', char ins = ' ') {
        return atomLine(serial++, name4, resName, 'A', num, x, 0, 0, alt, ins) + "\n";
    }
};

int count(const std::string& hay, const std::string& needle) {
    int n = 0;
    for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
    return n;
}

TEST_F(PdbReader, RecordsResiduesWithoutTemplateAltLocsAndMissingAtoms) {
    std::string t = "HEADER    TEST\n" + res("ALA", 'A', 1);
    t += atomLine(serial++, " N  ", "MSE", 'A', 2, 1, 1, 1, ' ', ' ', "HETATM") + "\n" + atom(" CA ", "MSE", 2, 1);  // silent
    t += res("UNK", 'A', 3) + atom("  P ", "  A", 4, 2) + "TER\n";  // reported, one line per residue
    t += res("GLY", 'A', 5);
    t += atom(" N  ", "ALA", 6, 7.6) + atom(" CA ", "ALA", 6, 9.0, 'B') + atom(" CA ", "ALA", 6, 9.1, 'A') + atom(" C  ", "ALA", 6, 10) +
         atom(" O  ", "ALA", 6, 10) + atom(" CB ", "ALA", 6, 5.0, 'B') /* only a B location */ + atom(" D  ", "ALA", 6, 4);
    t += atom(" N  ", "SER", 6, 4, ' ', 'A') + atom(" CA ", "SER", 6, 4, ' ', 'A');  // insertion 6A: skipped
    t += atom(" N  ", "SER", 7, 30) + atom(" CA ", "SER", 7, 31) + atom(" C  ", "SER", 7, 32) + atom(" O  ", "SER", 7, 33) +
         atom(" OG ", "SER", 7, 34);  // serine without CB
    t += res("PRO", 'A', 8) + atom(" CG ", "PRO", 8, 12.5) + atom(" CD ", "PRO", 8, 11.4) + "END\n";
    ASSERT_TRUE(readText(s, t, &log)) << log;
    ASSERT_EQ(s._numRes, 5);
    EXPECT_EQ(Structure::_sequence, "AGASP");
    EXPECT_EQ(s.residues[2].pdbNum, 5);
    EXPECT_TRUE(s.gapAfter[1]);  // the skipped residues leave a gap
    EXPECT_FALSE(s.gapAfter[2]);
    EXPECT_EQ(count(log, "UNK"), 1) << log;
    EXPECT_EQ(count(log, "\n"), 2) << log;  // UNK and the nucleotide, nothing for MSE
    const Residue& a = s.residues[3];
    EXPECT_FLOAT_EQ(a.atoms[1].x, 9.1f);  // location A wins
    EXPECT_EQ(a.atoms[5].type, ABSENT);
    EXPECT_EQ(a.atoms[5].missing, 1);
    EXPECT_TRUE(a.missingHeavy);
    EXPECT_FALSE(s.residues[2].missingHeavy);  // glycine slot 5 is not required
    EXPECT_TRUE(s.residues[4].missingHeavy);
    EXPECT_FALSE(s.residues[5].missingHeavy);  // nor proline's amide H
    EXPECT_EQ(s.residues[4].atoms[6].name, "OG");
    EXPECT_EQ(s.residues[4].atoms[6].type, Residue::vdwType[SER][6]);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(s.residues[i].numAtoms, Residue::numAtom[s.residues[i].type]);
}

TEST_F(PdbReader, GapsAndChains) {
    std::string t = res("ALA", 'A', 10) + res("ALA", 'A', 11) + res("ALA", 'A', 13) + res("ALA", 'A', 14);
    ASSERT_TRUE(readText(s, t, &log)) << log;
    ASSERT_EQ(s._numRes, 4);
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(s.gapAfter[i], i == 2) << i;
    EXPECT_TRUE(s.hasGap && s.incomplete);
    EXPECT_EQ(s.residues[3].pdbNum, 13);
    EXPECT_EQ(s.residues[3].index, 3);
    EXPECT_EQ(s.name, "test");

    // Chains are joined and never bonded, also when the numbering runs on.
    t.clear();
    for (int i = 1; i <= 50; ++i) t += res("ALA", 'A', i);
    for (int i = 51; i <= 90; ++i) t += res("GLY", 'B', i < 70 ? i : i - 69);
    ASSERT_TRUE(readText(s, t, &log)) << log;
    ASSERT_EQ(s._numRes, 90);
    EXPECT_EQ(s.chainIds, "AB");
    EXPECT_EQ(s.chainStart[0], 1);
    EXPECT_EQ(s.chainStart[1], 51);
    EXPECT_EQ(s.chainStart[2], 0);
    for (int i = 1; i <= 90; ++i) EXPECT_EQ(s.gapAfter[i], i == 50 || i == 69) << i;
}

TEST_F(PdbReader, LineWidthAndTemperatureFactor) {
    const std::string full = atomLine(1, " CA ", "GLY", 'A', 1, 1.5, 2.5, 3.5), base = atomLine(2, " N  ", "GLY", 'A', 1, 0, 0, 0) + "\n";
    ASSERT_GT(full.size(), 66u);
    for (size_t width : {full.size(), size_t(54), size_t(60), size_t(66)}) {
        ASSERT_TRUE(readText(s, base + full.substr(0, width) + "\n", &log)) << width << log;
        EXPECT_FLOAT_EQ(s.residues[1].atoms[1].z, 3.5f);
        EXPECT_EQ(s.residues[1].atoms[1].bfactor, width > 66 ? 20.0 : -1.0) << width;  // needs more than 66 characters
    }
    const int before = s._numRes;
    EXPECT_FALSE(readText(s, base + full.substr(0, 53) + "\n", &log));
    EXPECT_NE(log.find("test.pdb has a malformed atom line in residue 1 that, with 53 characters, falls outside the line width region"),
              std::string::npos)
        << log;
    EXPECT_EQ(s._numRes, before);
    EXPECT_FALSE(readText(s, base + full + std::string(850, ' ') + "\n", &log));
    EXPECT_NE(log.find("characters, falls outside"), std::string::npos);
    std::string bad = full;
    bad[40] = '\x01';
    EXPECT_FALSE(readText(s, base + bad + "\n", &log));
    EXPECT_NE(log.find("malformed atom line in residue 1 and it is"), std::string::npos) << log;
    EXPECT_NE(log.find("at character 40"), std::string::npos) << log;
    EXPECT_TRUE(readText(s, "REMARK \x01\x02\n" + base + full + "\n", &log)) << log;  // binary outside ATOM records: skipped
}

TEST_F(PdbReader, OxtAndTerminalHydrogens) {
    std::string t;
    for (int k = 1; k <= 3; ++k) t += atomLine(serial++, std::to_string(k) + "H  ", "ALA", 'A', 1, 0, k, 0) + "\n";
    t += res("ALA", 'A', 1);
    t += res("SER", 'A', 2);
    t += atomLine(serial, " OXT", "SER", 'A', 2, 7, 7, 7) + "\n";
    ASSERT_TRUE(readText(s, t, &log)) << log;
    const int na = Residue::numAtom[ALA], ns = Residue::numAtom[SER];
    const Residue &r1 = s.residues[1], &r2 = s.residues[2];
    EXPECT_EQ(r1.atoms[na].type, 23);
    EXPECT_FLOAT_EQ(r1.atoms[na].y, 1.0f);
    EXPECT_EQ(r1.atoms[na + 1].type, 23);
    EXPECT_FLOAT_EQ(r1.atoms[na + 1].y, 2.0f);
    EXPECT_FLOAT_EQ(r1.atoms[4].y, 3.0f);  // the third terminal hydrogen is read as the amide H
    EXPECT_EQ(r2.atoms[ns].type, 20);
    EXPECT_EQ(r2.atoms[ns].name, "OXT");
    EXPECT_EQ(r2.atoms[ns].oscarType, 7);
    EXPECT_FLOAT_EQ(r2.atoms[ns].x, 7.0f);
    EXPECT_EQ(r2.numAtoms, ns);
    EXPECT_EQ(r2.atoms[2].oscarType, 5);  // the last residue's C
    EXPECT_EQ(r1.atoms[2].oscarType, ABSENT);
    Structure c(s);  // the extra slots survive a copy
    EXPECT_EQ(c.residues[1].atoms[na + 1].type, 23);
    EXPECT_EQ(c.residues[2].atoms[ns].type, 20);
}

TEST_F(PdbReader, CapacitiesAndEmptyInput) {
    ASSERT_TRUE(readText(s, res("ALA", 'A', 1) + res("ALA", 'A', 2) + res("ALA", 'A', 3), &log));
    auto many = [](int n, bool chains) {
        std::string t;
        for (int i = 1; i <= n; ++i)
            t += atomLine(i, " CA ", "GLY", chains ? char('A' + i - 1) : 'A', chains ? 1 : i, 3.8 * (i % 40), 3.8 * (i / 40), 0) + "\n";
        return t;
    };
    EXPECT_FALSE(readText(s, many(1501, false), &log));
    EXPECT_NE(log.find("test.pdb has 1501 residues, but the most allowed is 1500"), std::string::npos) << log;
    EXPECT_EQ(s._numRes, 3);  // a failed read leaves the chain alone
    EXPECT_TRUE(readText(s, many(1500, false), &log)) << log;
    EXPECT_EQ(s.residues[1500].pdbNum, 1500);
    ASSERT_TRUE(readText(s, many(20, true), &log)) << log;
    EXPECT_EQ(s.chainIds, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(s.chainStart[19], 20);
    EXPECT_FALSE(readText(s, many(21, true), &log));
    EXPECT_NE(log.find("test.pdb"), std::string::npos) << log;
    EXPECT_NE(log.find("more than 20 chains"), std::string::npos) << log;

    EXPECT_FALSE(readText(s, "HEADER\nHETATM\nEND\n", &log));
    EXPECT_EQ(log, "test.pdb has no atoms\n");
    const std::string blanks(1000, '\n');
    EXPECT_TRUE(readText(s, blanks + res("GLY", 'A', 1), &log)) << log;
    EXPECT_FALSE(readText(s, blanks + "\n" + res("GLY", 'A', 1), &log));
    EXPECT_NE(log.find("over 1,000 blank lines"), std::string::npos);
    std::istringstream in(res("ALA", 'A', 1) + res("SER", 'A', 2) + res("GLY", 'B', 2));
    testing::internal::CaptureStdout();
    ASSERT_TRUE(s.readPdbStream(in, "f.pdb", {"A2", "B2"}, 0)) << testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(Structure::_sequence, "SG");  // only the listed residues
    EXPECT_FATAL(s.readPdb("/nonexistent/x.pdb", {}, 0), "Could not read PDB file /nonexistent/x.pdb");
}

TEST_F(PdbReader, RealFilesSurviveAnOutputRoundTrip) {
    for (const char* file : {"examples/5p21.pdb", "examples/1crn.pdb", "examples/1ubq.pdb"}) {
        SCOPED_TRACE(file);
        const std::string path = sourcePath(file);
        int residues = 0;  // distinct residues, counted from the text
        std::string prev;
        for (const std::string& l : lines(slurp(path)))
            if (l.compare(0, 6, "ATOM  ") == 0 && l.substr(17, 10) != prev) ++residues, prev = l.substr(17, 10);
        Structure a(1500), b(1500);
        ASSERT_TRUE(readText(a, slurp(path), &log, path)) << log;
        EXPECT_EQ(a._numRes, residues);
        EXPECT_EQ(a.name, File2ProtName(path));
        EXPECT_EQ(a.chainIds, "A");
        EXPECT_FALSE(a.hasGap);
        std::ostringstream os;
        a.output(1, a._numRes, 0, os);
        ASSERT_TRUE(readText(b, os.str() + "TER\nEND\n", &log)) << log;
        ASSERT_EQ(b._numRes, a._numRes);
        int atoms = 0;
        for (int i = 1; i <= a._numRes; ++i) {
            const Residue &ra = a.residues[i], &rb = b.residues[i];
            ASSERT_EQ(ra.type, rb.type) << i;
            ASSERT_EQ(ra.pdbNum, rb.pdbNum) << i;
            for (int j = 0; j <= Residue::lastDFire[ra.type]; ++j) {
                if (j == 4 || !ra.atoms[j].present()) continue;
                ASSERT_TRUE(rb.atoms[j].present()) << i << " " << j;
                EXPECT_LE(ra.atoms[j].dis(rb.atoms[j]), 0.0005) << i << " " << j;
                ++atoms;
            }
            EXPECT_EQ(ra.ss, rb.ss) << i;
        }
        EXPECT_GT(atoms, 7 * a._numRes / 2);
    }
}

// Truncations, byte flips and moved blocks never crash the reader; a failed
// read must not trip the next one on the same chain.
TEST(PdbReaderFuzz, MutatedFilesNeverCrash) {
    REQUIRE_TEMPLATES();
    const std::string base = slurp(sourcePath("examples/1crn.pdb"));
    ASSERT_FALSE(base.empty());
    std::mt19937 rng(20261206);
    std::ostringstream sink;
    std::streambuf* old = std::cout.rdbuf(sink.rdbuf());
    Structure reused(1500);
    int accepted = 0, rejected = 0;
    for (int it = 0; it < 3000; ++it) {
        std::string text = base;
        const int kind = it % 4;
        if (kind == 0 || kind == 3) text.resize(rng() % (text.size() + 1));
        if (kind == 1)  // any byte: mostly rejected as a malformed line
            for (int f = 1 + rng() % 20; f > 0 && !text.empty(); --f) text[rng() % text.size()] = static_cast<char>(rng() & 0xff);
        if (kind >= 2)  // printable damage gets past the line checks into the parser
            for (int f = 1 + rng() % 60; f > 0 && !text.empty(); --f) text[rng() % text.size()] = rng() % 40 ? char(' ' + rng() % 95) : '\n';
        if (kind == 3 && text.size() > 200) {  // move a block of lines elsewhere
            const std::string block = text.substr(rng() % text.size(), rng() % 2000);
            text.erase(text.find(block), block.size());
            text.insert(rng() % (text.size() + 1), block);
        }
        std::unique_ptr<Structure> fresh;  // now and then a fresh chain, also one that must grow
        if (it % 16 == 0) fresh = std::make_unique<Structure>(1500);
        if (it % 16 == 8) fresh = std::make_unique<Structure>(1);
        Structure& s = fresh ? *fresh : reused;
        std::istringstream in(text);
        const bool ok = s.readPdbStream(in, "fuzz.pdb", {}, it % 3 == 0 ? 1 : 0);
        sink.str("");
        if (!ok) {
            ++rejected;
            continue;
        }
        ++accepted;
        ASSERT_GE(s._numRes, 1);
        ASSERT_LE(s._numRes, 1500);
        ASSERT_LE(s.chainIds.size(), 20u);
        for (int i = 1; i <= s._numRes; ++i) ASSERT_TRUE(s.residues[i].type >= 0 && s.residues[i].type < 20);
    }
    std::cout.rdbuf(old);
    EXPECT_GT(accepted, 0);
    EXPECT_GT(rejected, 0);
}

}  // namespace
