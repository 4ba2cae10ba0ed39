// Loaders of the torsion-bin and joint distance tables, their data-error
// exits, and the lookup rules the growth step reads the tables with.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "support/expect_error.h"
#include "distributions/distributions.h"
#include "model/residue.h"

using namespace lorvane;

namespace {

std::string writeFile(const std::string& name, const std::string& text) {
    std::string path = ::testing::TempDir() + "lorvane_dist_" + name;
    std::ofstream(path) << text;
    return path;
}

// Header line plus rows of numbers base*10000 + 100*row + column.
std::string block(const std::string& header, int base, int rows, int cols, const std::string& sep = " ") {
    std::ostringstream os;
    os << header << "\n";
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) os << (c ? sep : "") << base * 10000 + 100 * r + c;
        os << "\n";
    }
    return os.str();
}
double cell(int base, int r, int c) { return base * 10000 + 100 * r + c; }

class Distributions : public ::testing::Test {
protected:
    void SetUp() override {
        Residue::InitMap();
        std::memset(SMC::TorsionBins, 0, sizeof SMC::TorsionBins);
        std::memset(SMC::JointMarginalLimits, 0, sizeof SMC::JointMarginalLimits);
        std::memset(SMC::JointMarginalLimitsB, 0, sizeof SMC::JointMarginalLimitsB);
        std::memset(SMC::JointMarginal, 0, sizeof SMC::JointMarginal);
        std::memset(SMC::JointMarginalB, 0, sizeof SMC::JointMarginalB);
        std::memset(SMC::JointCondLimits, 0, sizeof SMC::JointCondLimits);
        std::memset(SMC::JointCondLimitsB, 0, sizeof SMC::JointCondLimitsB);
        std::memset(SMC::JointCond, 0, sizeof SMC::JointCond);
        std::memset(SMC::JointCondB, 0, sizeof SMC::JointCondB);
    }
};

TEST_F(Distributions, TorsionBlocksFillByNameAndClassLaterBlocksWinEmptyLineEnds) {
    std::string text = block("A C", 1, 72, 73) +                // extra 73rd value ignored
                       block("GLY E", 2, 72, 72, "  ") +        // runs of blanks separate once
                       block("ALA C", 3, 72, 72) +              // same key as the first block: overwrites
                       "\n" + block("L H", 4, 72, 72);          // after the empty line: not read
    std::string path = writeFile("tb_ok.txt", text);
    SMC::LoadTorsionBBbin(path);
    EXPECT_EQ(SMC::TorsionBins[ALA][2][0][0], cell(3, 0, 0));
    EXPECT_EQ(SMC::TorsionBins[ALA][2][71][71], cell(3, 71, 71));
    EXPECT_EQ(SMC::TorsionBins[GLY][1][40][3], cell(2, 40, 3));
    EXPECT_EQ(SMC::TorsionBins[LEU][0][10][10], 0.0);
    EXPECT_EQ(torsionBinProb(ALA, 12, 34), cell(3, 12, 34));  // the sampler reads the coil class
    EXPECT_FALSE(torsionBinAllowed(1.9e-5));
    EXPECT_TRUE(torsionBinAllowed(2e-5));
}

TEST_F(Distributions, TorsionFileErrorsNameFileAndLine) {
    const std::string good = block("A C", 1, 72, 72);
    std::string p1 = writeFile("tb_badres.txt", good + block("XYZ C", 1, 72, 72));
    EXPECT_ERROR(SMC::LoadTorsionBBbin(p1), 1, "tb_badres.txt line 74: unknown residue name \"XYZ\"");
    std::string p2 = writeFile("tb_badss.txt", block("A X", 1, 72, 72));
    EXPECT_ERROR(SMC::LoadTorsionBBbin(p2), 1, "tb_badss.txt line 1: unknown secondary-structure class");
    std::string shortRow = block("A C", 1, 2, 72) + block("", 1, 1, 71).substr(1) + block("", 1, 69, 72).substr(1);
    std::string p3 = writeFile("tb_short.txt", shortRow);
    EXPECT_ERROR(SMC::LoadTorsionBBbin(p3), 1, "tb_short.txt line 4: data row has 71 values, 72 needed");
    const std::string missing = ::testing::TempDir() + "lorvane_no_such_phipsi.txt";
    EXPECT_ERROR(SMC::LoadTorsionBBbin(missing), 1, "cannot open torsion-bin file .*lorvane_no_such_phipsi.txt");
    std::fill(&SMC::TorsionBins[0][0][0][0], &SMC::TorsionBins[0][0][0][0] + 30 * 3 * NUM_BINS * NUM_BINS, 0.0);
    SMC::LoadTorsionBBbin(missing, false);  // optional: silently stays zero
    EXPECT_EQ(SMC::TorsionBins[ALA][2][0][0], 0.0);
}

TEST_F(Distributions, JointLoadersFillTheirDirectionOnly) {
    std::string marg = block("5 C 1.5 9.5 2.0 12.0", 1, 16, 16) + block("5 C 1.0 8.0 2.0 12.0", 2, 16, 16) +
                       block("21 H 0 1 0 1", 3, 16, 16) + "\n" + block("6 C 0 1 0 1", 4, 16, 16);
    std::string path = writeFile("jm.txt", marg);
    SMC::LoadJointMarginalB(path);
    EXPECT_EQ(SMC::JointMarginalLimitsB[5][2][0], 1.0);  // second block for gap 5 overwrote the first
    EXPECT_EQ(SMC::JointMarginalLimitsB[5][2][3], 12.0);
    EXPECT_EQ(SMC::JointMarginalB[5][2][15][15], cell(2, 15, 15));
    EXPECT_EQ(SMC::JointMarginalB[21][0][3][4], cell(3, 3, 4));
    EXPECT_EQ(SMC::JointMarginalB[6][2][0][1], 0.0);   // after the empty line
    EXPECT_EQ(SMC::JointMarginal[5][2][15][15], 0.0);  // forward tables untouched

    std::string cond = block("7 C 12 -3.0 1.0 -4.0 0.5", 5, 16, 16) + block("7 E 99 0 2 0 2", 6, 16, 16);
    path = writeFile("jc.txt", cond);
    SMC::LoadJointCond(path);
    EXPECT_EQ(SMC::JointCondLimits[7][2][12][0], -3.0);
    EXPECT_EQ(SMC::JointCondLimits[7][2][12][3], 0.5);
    EXPECT_EQ(SMC::JointCond[7][2][12][9][2], cell(5, 9, 2));
    EXPECT_EQ(SMC::JointCond[7][1][99][15][0], cell(6, 15, 0));
    EXPECT_EQ(SMC::JointCondB[7][2][12][9][2], 0.0);
    SMC::LoadJointCondB(path);
    EXPECT_EQ(SMC::JointCondB[7][2][12][9][2], cell(5, 9, 2));

    // DOS line ends read the same; a line of blanks ends the data like an empty one.
    std::string dos = block("4 E 0.5 1.5 2.5 3.5 ", 7, 16, 16) + "   \n" + block("4 E 9 9 9 9", 8, 16, 16);
    for (size_t at = dos.find('\n'); at != std::string::npos; at = dos.find('\n', at + 2)) dos.insert(at, "\r");
    SMC::LoadJointMarginal(writeFile("jm_dos.txt", dos));
    EXPECT_EQ(SMC::JointMarginalLimits[4][1][3], 3.5);
    EXPECT_EQ(SMC::JointMarginal[4][1][15][15], cell(7, 15, 15));
}

TEST_F(Distributions, JointHeadersOutsideTheTablesAndShortRowsAreErrors) {
    struct Bad {
        const char* name;
        std::string text;
        bool conditional;
        const char* message;
    };
    const std::string ok = block("3 C 0 1 0 1", 1, 16, 16);
    const Bad cases[] = {
        {"gap22.txt", ok + block("22 C 0 1 0 1", 1, 16, 16), false, "gap22.txt line 18: gap 22 outside 0..21"},
        {"gapneg.txt", block("-1 C 0 1 0 1", 1, 16, 16), false, "line 1: gap -1 outside"},
        {"class.txt", block("3 Q 0 1 0 1", 1, 16, 16), false, "line 1: unknown secondary-structure class \"Q\""},
        {"r100.txt", block("3 C 100 0 1 0 1", 1, 16, 16), true, "r100.txt line 1: end-to-end distance 100 outside 0..99"},
        {"rneg.txt", block("3 C -1 0 1 0 1", 1, 16, 16), true, "line 1: end-to-end distance -1 outside"},
        {"hdr.txt", block("3 C 10 0 1 0", 1, 16, 16), true, "hdr.txt line 1: header has 6 values, 7 needed"},
        {"row.txt", ok + "4 C 0 1 0 1\n" + block("", 1, 1, 15).substr(1), false, "row.txt line 19: data row has 15 values, 16 needed"},
    };
    for (const Bad& b : cases) {
        SCOPED_TRACE(b.name);
        std::string path = writeFile(b.name, b.text);
        if (b.conditional)
            EXPECT_ERROR(SMC::LoadJointCond(path), 1, b.message);
        else
            EXPECT_ERROR(SMC::LoadJointMarginal(path), 1, b.message);
    }
    const std::string missing = ::testing::TempDir() + "lorvane_no_such_joint.txt";
    EXPECT_ERROR(SMC::LoadJointCondB(missing), 1, "cannot open distance distribution file .*lorvane_no_such_joint.txt");
    SMC::LoadJointMarginal(missing, false);
    SMC::LoadJointCond(missing, false);
}

TEST_F(Distributions, LookupEdgesDegenerateRowsAndRounding) {
    std::string path = writeFile("edge_m.txt", block("8 C 2.0 10.0 4.0 12.0", 1, 16, 16));
    SMC::LoadJointMarginal(path);
    double p = -1;
    // Exactly at hi the coordinate is 16.0: accepted, and it reads the last cell.
    ASSERT_TRUE(marginalProb(false, 8, 10.0, 12.0, p));
    EXPECT_EQ(p, cell(1, 15, 15));
    ASSERT_TRUE(marginalProb(false, 8, 2.0, 4.0, p));
    EXPECT_EQ(p, cell(1, 0, 0));
    ASSERT_TRUE(marginalProb(false, 8, 2.49, 11.99, p));  // x1 = 0.98, x2 = 15.98
    EXPECT_EQ(p, cell(1, 0, 15));
    EXPECT_FALSE(marginalProb(false, 8, 10.001, 5.0, p));
    EXPECT_FALSE(marginalProb(false, 8, 5.0, 3.999, p));
    EXPECT_FALSE(marginalProb(true, 8, 5.0, 5.0, p));  // backward row never loaded: zero width
    EXPECT_FALSE(marginalProb(false, 22, 5.0, 5.0, p));
    EXPECT_EQ(distCell(16.0), 15);
    EXPECT_TRUE(distCoordInRange(16.0));
    EXPECT_FALSE(distCoordInRange(16.0000001));

    path = writeFile("edge_c.txt", block("9 C 20 -2.0 2.0 -1.0 3.0", 2, 16, 16) + block("9 C 21 1.0 1.0005 0 1", 3, 16, 16));
    SMC::LoadJointCondB(path);
    EXPECT_FALSE(condRowDegenerate(true, 9, 20));
    EXPECT_TRUE(condRowDegenerate(true, 9, 21));  // width 0.0005
    EXPECT_TRUE(condRowDegenerate(true, 9, 22));  // never loaded
    EXPECT_TRUE(condRowDegenerate(true, 9, 100)); // beyond the table
    EXPECT_TRUE(condRowDegenerate(false, 9, 20)); // other direction
    ASSERT_TRUE(condProb(true, 9, 20, 2.0, 3.0, p));
    EXPECT_EQ(p, cell(2, 15, 15));
    ASSERT_TRUE(condProb(true, 9, 20, -1.75, 0.0, p));  // y1 = 1, y2 = 4
    EXPECT_EQ(p, cell(2, 1, 4));
    EXPECT_FALSE(condProb(true, 9, 20, 2.01, 0.0, p));
    EXPECT_EQ(endDistanceRow(19.5), 20);
    EXPECT_EQ(endDistanceRow(20.49), 20);
    EXPECT_EQ(endDistanceRow(20.5), 21);
}

}  // namespace
