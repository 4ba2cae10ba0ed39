// PDB reader: record selection, slots, gaps and chains, limits, real files, fuzzing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <set>

#include "model/model_support.h"
#include "model/strings.h"
#include "model/structure.h"

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
};

int count(const std::string& hay, const std::string& needle) {
    int n = 0;
    for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
    return n;
}

TEST_F(PdbReader, OtherRecordsAndResiduesWithoutTemplate) {
    std::string t = "HEADER    TEST\n";
    t += res("ALA", 'A', 1);
    t += atomLine(serial++, " N  ", "MSE", 'A', 2, 1, 1, 1, ' ', ' ', "HETATM") + "\n";
    t += atomLine(serial++, " CA ", "MSE", 'A', 2, 1, 1, 1) + "\n";  // not a known residue name: silent
    t += res("UNK", 'A', 3);
    t += atomLine(serial++, "  P ", "  A", 'A', 4, 2, 2, 2) + "\n";  // nucleotide
    t += "TER\n";
    t += res("GLY", 'A', 5);
    t += "END\n";
    ASSERT_TRUE(readText(s, t, &log)) << log;
    EXPECT_EQ(s._numRes, 2);
    EXPECT_EQ(Structure::_sequence, "AG");
    EXPECT_EQ(s.residues[2].pdbNum, 5);
    EXPECT_TRUE(s.gapAfter[1]);  // the skipped residues leave a gap
    EXPECT_EQ(count(log, "UNK"), 1) << log;  // one line per residue, not per atom
    EXPECT_EQ(count(log, "\n"), 2) << log;   // UNK and the nucleotide, nothing for MSE
    EXPECT_EQ(log.find("MSE"), std::string::npos);
}

TEST_F(PdbReader, AltLocInsertionCodeAndDeuterium) {
    std::string t = res("GLY", 'A', 1);
    t += atomLine(serial++, " N  ", "ALA", 'A', 2, 7.6, 0, 0) + "\n";
    t += atomLine(serial++, " CA ", "ALA", 'A', 2, 9.0, 0, 0, 'B') + "\n";
    t += atomLine(serial++, " CA ", "ALA", 'A', 2, 9.1, 0, 0, 'A') + "\n";
    t += atomLine(serial++, " C  ", "ALA", 'A', 2, 10, 1, 0) + "\n";
    t += atomLine(serial++, " O  ", "ALA", 'A', 2, 10, 2, 0) + "\n";
    t += atomLine(serial++, " CB ", "ALA", 'A', 2, 5.0, 5, 5, 'B') + "\n";  // only a B location
    t += atomLine(serial++, " D  ", "ALA", 'A', 2, 4, 4, 4) + "\n";          // deuterium
    t += atomLine(serial++, " N  ", "SER", 'A', 2, 4, 4, 4, ' ', 'A') + "\n";  // insertion 2A
    t += atomLine(serial++, " CA ", "SER", 'A', 2, 4, 4, 4, ' ', 'A') + "\n";
    t += res("GLY", 'A', 3);
    ASSERT_TRUE(readText(s, t, &log)) << log;
    ASSERT_EQ(s._numRes, 3);
    const Residue& a = s.residues[2];
    EXPECT_EQ(a.type, ALA);
    EXPECT_FLOAT_EQ(a.atoms[1].x, 9.1f);
    EXPECT_EQ(a.atoms[0].missing, 0);
    EXPECT_EQ(a.atoms[5].type, ABSENT);  // B-only CB is not read
    EXPECT_EQ(a.atoms[5].missing, 1);
    EXPECT_TRUE(a.missingHeavy);
    EXPECT_FALSE(s.hasGap);
    EXPECT_EQ(Structure::_sequence, "GAG");
}

TEST_F(PdbReader, GapFlags) {
    std::string t = res("ALA", 'A', 10) + res("ALA", 'A', 11) + res("ALA", 'A', 13) + res("ALA", 'A', 14);
    ASSERT_TRUE(readText(s, t, &log)) << log;
    ASSERT_EQ(s._numRes, 4);
    EXPECT_FALSE(s.gapAfter[1]);
    EXPECT_TRUE(s.gapAfter[2]);
    EXPECT_FALSE(s.gapAfter[3]);
    EXPECT_FALSE(s.gapAfter[4]);
    EXPECT_TRUE(s.hasGap);
    EXPECT_TRUE(s.incomplete);
    EXPECT_EQ(s.residues[3].pdbNum, 13);
    EXPECT_EQ(s.residues[3].index, 3);
    EXPECT_EQ(s.name, "test");
}

TEST_F(PdbReader, ChainsAreJoinedAndNeverBonded) {
    std::string t;
    for (int i = 1; i <= 50; ++i) t += res("ALA", 'A', i);
    for (int i = 1; i <= 40; ++i) t += res("GLY", 'B', i);
    ASSERT_TRUE(readText(s, t, &log)) << log;
    ASSERT_EQ(s._numRes, 90);
    EXPECT_EQ(s.chainIds, "AB");
    EXPECT_EQ(s.chainStart[0], 1);
    EXPECT_EQ(s.chainStart[1], 51);
    EXPECT_EQ(s.chainStart[2], 0);
    for (int i = 1; i <= 90; ++i) EXPECT_EQ(s.gapAfter[i], i == 50) << i;
    EXPECT_TRUE(s.hasGap);
    EXPECT_EQ(s.residues[51].pdbNum, 1);

    // Numbering that runs on into the next chain still breaks the chain.
    Structure c(1500);
    serial = 1;
    std::string u = res("ALA", 'A', 1) + res("ALA", 'A', 2) + res("ALA", 'B', 3) + res("ALA", 'B', 4);
    ASSERT_TRUE(readText(c, u, &log)) << log;
    EXPECT_EQ(c.chainIds, "AB");
    EXPECT_TRUE(c.gapAfter[2]);
    EXPECT_FALSE(c.gapAfter[1]);
    EXPECT_FALSE(c.gapAfter[3]);
}

TEST_F(PdbReader, LineWidthAndTemperatureFactor) {
    const std::string full = atomLine(1, " CA ", "GLY", 'A', 1, 1.5, 2.5, 3.5);
    ASSERT_GT(full.size(), 66u);
    std::string base = atomLine(2, " N  ", "GLY", 'A', 1, 0, 0, 0) + "\n";

    ASSERT_TRUE(readText(s, base + full + "\n", &log)) << log;
    EXPECT_DOUBLE_EQ(s.residues[1].atoms[1].bfactor, 20.0);

    ASSERT_TRUE(readText(s, base + full.substr(0, 54) + "\n", &log)) << log;
    EXPECT_FLOAT_EQ(s.residues[1].atoms[1].z, 3.5f);
    EXPECT_EQ(s.residues[1].atoms[1].bfactor, -1.0);

    ASSERT_TRUE(readText(s, base + full.substr(0, 60) + "\n", &log)) << log;
    EXPECT_EQ(s.residues[1].atoms[1].bfactor, -1.0);
    ASSERT_TRUE(readText(s, base + full.substr(0, 66) + "\n", &log)) << log;
    EXPECT_EQ(s.residues[1].atoms[1].bfactor, -1.0);  // needs more than 66 characters

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
    // Binary bytes outside ATOM records are skipped like any other record.
    EXPECT_TRUE(readText(s, "REMARK \x01\x02\n" + base + full + "\n", &log)) << log;
}

TEST_F(PdbReader, OxtTerminalHydrogensAndOscarClasses) {
    std::string t = atomLine(serial++, "1H  ", "ALA", 'A', 1, 0, 1, 0) + "\n";
    t += atomLine(serial++, "2H  ", "ALA", 'A', 1, 0, 2, 0) + "\n";
    t += atomLine(serial++, "3H  ", "ALA", 'A', 1, 0, 3, 0) + "\n";
    t += res("ALA", 'A', 1) + res("SER", 'A', 2);
    t += atomLine(serial++, " OXT", "SER", 'A', 2, 7, 7, 7) + "\n";
    ASSERT_TRUE(readText(s, t, &log)) << log;
    const int na = Residue::numAtom[ALA];
    const Residue& r1 = s.residues[1];
    EXPECT_EQ(r1.atoms[na].type, 23);
    EXPECT_FLOAT_EQ(r1.atoms[na].y, 1.0f);
    EXPECT_EQ(r1.atoms[na + 1].type, 23);
    EXPECT_FLOAT_EQ(r1.atoms[na + 1].y, 2.0f);
    if (Residue::cType[ALA][4] == "H") {  // the third terminal hydrogen is read as the amide H
        EXPECT_FLOAT_EQ(r1.atoms[4].y, 3.0f);
        EXPECT_EQ(r1.atoms[4].missing, 0);
    }
    const int ns = Residue::numAtom[SER];
    const Residue& r2 = s.residues[2];
    EXPECT_EQ(r2.atoms[ns].type, 20);
    EXPECT_EQ(r2.atoms[ns].name, "OXT");
    EXPECT_EQ(r2.atoms[ns].oscarType, 7);
    EXPECT_EQ(r2.atoms[ns].index, ns);
    EXPECT_FLOAT_EQ(r2.atoms[ns].x, 7.0f);
    EXPECT_EQ(r2.numAtoms, ns);
    EXPECT_EQ(r2.atoms[2].oscarType, 5);
    EXPECT_EQ(r2.atoms[3].oscarType, 7);
    EXPECT_EQ(r1.atoms[2].oscarType, ABSENT);
    // The extra slots survive a residue copy.
    Residue copy = r2;
    EXPECT_EQ(copy.atoms[ns].type, 20);
    Structure c(s);
    EXPECT_EQ(c.residues[1].atoms[na + 1].type, 23);
}

TEST_F(PdbReader, MissingAtomsAndTheirExceptions) {
    std::string t = res("GLY", 'A', 1);
    t += atomLine(serial++, " N  ", "SER", 'A', 2, 7.6, 0, 0) + "\n";  // serine without CB
    t += atomLine(serial++, " CA ", "SER", 'A', 2, 9.0, 0, 0) + "\n";
    t += atomLine(serial++, " C  ", "SER", 'A', 2, 9.5, 1.4, 0) + "\n";
    t += atomLine(serial++, " O  ", "SER", 'A', 2, 9.0, 2.4, 0) + "\n";
    t += atomLine(serial++, " OG ", "SER", 'A', 2, 11, -1, 1) + "\n";
    t += res("PRO", 'A', 3);
    t += atomLine(serial++, " CG ", "PRO", 'A', 3, 12.5, -1.5, 1.5) + "\n";
    t += atomLine(serial++, " CD ", "PRO", 'A', 3, 11.4, -0.9, 0.5) + "\n";
    ASSERT_TRUE(readText(s, t, &log)) << log;
    ASSERT_EQ(s._numRes, 3);
    EXPECT_FALSE(s.residues[1].missingHeavy);  // glycine slot 5 is not required
    EXPECT_TRUE(s.residues[2].missingHeavy);
    EXPECT_FALSE(s.residues[3].missingHeavy);  // nor proline's amide H
    EXPECT_TRUE(s.incomplete);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(s.residues[i].numAtoms, Residue::numAtom[s.residues[i].type]);
    EXPECT_EQ(s.residues[2].atoms[6].name, "OG");
    EXPECT_EQ(s.residues[2].atoms[6].type, Residue::vdwType[SER][6]);
}

TEST_F(PdbReader, ResidueAndChainLimits) {
    std::string three = res("ALA", 'A', 1) + res("ALA", 'A', 2) + res("ALA", 'A', 3);
    ASSERT_TRUE(readText(s, three, &log));
    ASSERT_EQ(s._numRes, 3);

    auto many = [&](int n) {
        std::string t;
        for (int i = 1; i <= n; ++i) t += atomLine(i, " CA ", "GLY", 'A', i, 3.8 * (i % 40), 3.8 * (i / 40), 0) + "\n";
        return t;
    };
    EXPECT_FALSE(readText(s, many(1501), &log));
    EXPECT_NE(log.find("test.pdb has 1501 residues, but the most allowed is 1500"), std::string::npos) << log;
    EXPECT_EQ(s._numRes, 3);
    EXPECT_TRUE(readText(s, many(1500), &log)) << log;
    EXPECT_EQ(s._numRes, 1500);
    EXPECT_EQ(s.residues[1500].pdbNum, 1500);

    auto chains = [&](int n) {
        std::string t;
        for (int c = 0; c < n; ++c) t += atomLine(c + 1, " CA ", "GLY", char('A' + c), 1, 4.0 * c, 0, 0) + "\n";
        return t;
    };
    ASSERT_TRUE(readText(s, chains(20), &log)) << log;
    EXPECT_EQ(s.chainIds, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(s.chainStart[19], 20);
    EXPECT_FALSE(readText(s, chains(21), &log));
    EXPECT_NE(log.find("more than 20 chains"), std::string::npos) << log;
    EXPECT_NE(log.find("test.pdb"), std::string::npos) << log;
}

TEST_F(PdbReader, EmptyBlankAndFilteredInput) {
    EXPECT_FALSE(readText(s, "HEADER\nHETATM\nEND\n", &log));
    EXPECT_EQ(log, "test.pdb has no atoms\n");
    std::string blanks(1000, '\n');
    EXPECT_TRUE(readText(s, blanks + res("GLY", 'A', 1), &log)) << log;
    EXPECT_FALSE(readText(s, blanks + "\n" + res("GLY", 'A', 1), &log));
    EXPECT_NE(log.find("over 1,000 blank lines"), std::string::npos);

    std::string t = res("ALA", 'A', 1) + res("SER", 'A', 2) + res("GLY", 'B', 2);
    std::istringstream in(t);
    testing::internal::CaptureStdout();
    bool ok = s.readPdbStream(in, "f.pdb", {"A2", "B2"}, 0);
    log = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ok) << log;
    EXPECT_EQ(Structure::_sequence, "SG");

    EXPECT_EXIT(
        {
            stdoutToStderr();
            s.readPdb("/nonexistent/x.pdb", {}, 0);
        },
        testing::ExitedWithCode(1), "Could not read PDB file /nonexistent/x.pdb");
}

// Distinct residues of a PDB file as the reader should see them.
int countResidues(const std::string& text) {
    std::istringstream in(text);
    std::string line, prev;
    int n = 0;
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "ATOM  ") != 0) continue;
        std::string key = line.substr(17, 10);
        if (key != prev) ++n;
        prev = key;
    }
    return n;
}

TEST_F(PdbReader, RealFilesSurviveAnOutputRoundTrip) {
    for (const char* file : {"examples/5p21.pdb", "examples/1crn.pdb", "examples/1ubq.pdb"}) {
        SCOPED_TRACE(file);
        const std::string path = sourcePath(file);
        Structure a(1500);
        testing::internal::CaptureStdout();
        ASSERT_TRUE(a.readPdb(path, {}, 0));
        log = testing::internal::GetCapturedStdout();
        EXPECT_EQ(a._numRes, countResidues(slurp(path)));
        EXPECT_EQ(a.name, File2ProtName(path));
        EXPECT_EQ(a.chainIds, "A");
        EXPECT_FALSE(a.hasGap);

        fs::path out = fs::temp_directory_path() / ("lorvane_rt_" + std::to_string(::getpid()) + ".pdb");
        {
            std::ofstream os(out);
            a.output(1, a._numRes, 0, os);
            os << "TER\nEND\n";
        }
        Structure b(1500);
        testing::internal::CaptureStdout();
        ASSERT_TRUE(b.readPdb(out.string(), {}, 0));
        log = testing::internal::GetCapturedStdout();
        fs::remove(out);
        ASSERT_EQ(b._numRes, a._numRes);
        EXPECT_EQ(Structure::_sequence.size(), static_cast<size_t>(a._numRes));
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
            EXPECT_NEAR(ra.phi, rb.phi, 0.05) << i;
        }
        EXPECT_GT(atoms, 7 * a._numRes / 2);
    }
}

TEST(PdbReaderFuzz, MutatedFilesNeverCrash) {
    REQUIRE_TEMPLATES();
    const std::string base = slurp(sourcePath("examples/1crn.pdb"));
    ASSERT_FALSE(base.empty());
    std::mt19937 rng(20261206);
    std::ostringstream sink;
    std::streambuf* old = std::cout.rdbuf(sink.rdbuf());
    Structure reused(1500);
    int accepted = 0, rejected = 0;
    const int iterations = 3000;
    auto t0 = std::chrono::steady_clock::now();
    for (int it = 0; it < iterations; ++it) {
        std::string text = base;
        const int kind = it % 4;
        if (kind == 0 || kind == 3) text.resize(rng() % (text.size() + 1));
        if (kind == 1) {  // any byte: mostly rejected as a malformed line
            const int flips = 1 + rng() % 20;
            for (int f = 0; f < flips && !text.empty(); ++f) text[rng() % text.size()] = static_cast<char>(rng() & 0xff);
        }
        if (kind >= 2) {  // printable damage gets past the line checks into the parser
            const int flips = 1 + rng() % 60;
            for (int f = 0; f < flips && !text.empty(); ++f) {
                char c = static_cast<char>(' ' + rng() % 95);
                if (rng() % 40 == 0) c = '\n';
                text[rng() % text.size()] = c;
            }
        }
        if (kind == 3 && text.size() > 200) {  // move a block of lines elsewhere
            size_t a = rng() % text.size(), len = rng() % 2000;
            std::string block = text.substr(a, len);
            text.erase(a, block.size());
            text.insert(rng() % (text.size() + 1), block);
        }
        // Mostly one chain read over and over (what a failed read leaves behind must not
        // trip the next one); now and then a fresh chain, also one that must grow.
        std::unique_ptr<Structure> fresh;
        if (it % 16 == 0) fresh = std::make_unique<Structure>(1500);
        if (it % 16 == 8) fresh = std::make_unique<Structure>(1);
        Structure& s = fresh ? *fresh : reused;
        std::istringstream in(text);
        bool ok = s.readPdbStream(in, "fuzz.pdb", {}, it % 3 == 0 ? 1 : 0);
        sink.str("");
        if (ok) {
            ++accepted;
            ASSERT_GE(s._numRes, 1);
            ASSERT_LE(s._numRes, 1500);
            ASSERT_LE(s.chainIds.size(), 20u);
            for (int i = 1; i <= s._numRes; ++i) {
                ASSERT_GE(s.residues[i].type, 0);
                ASSERT_LT(s.residues[i].type, 20);
            }
        } else {
            ++rejected;
        }
    }
    std::cout.rdbuf(old);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GT(accepted, 0);
    EXPECT_GT(rejected, 0);
    RecordProperty("accepted", accepted);
    RecordProperty("rejected", rejected);
    std::printf("fuzz: %d accepted, %d rejected in %.2f s\n", accepted, rejected, secs);
}

}  // namespace
