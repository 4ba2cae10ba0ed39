// Loaders of the torsion-bin and joint distance tables on complete synthetic
// tables, their data-error exits, and the lookup rules the growth step reads
// the tables with.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "distributions/distributions.h"
#include "model/table_text.h"
#include "support/support.h"

using namespace lorvane;

namespace {

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

std::string zeroRows(int rows, int cols) {
    std::string row;
    for (int c = 0; c < cols; ++c) row += c ? " 0" : "0";
    std::string out;
    for (int r = 0; r < rows; ++r) out += row + "\n";
    return out;
}

// Every block a table must hold, in file order; a block named in `given` (by
// its header's key fields) is replaced by that text, "" leaves it out.
std::string torsionText(const std::map<std::string, std::string>& given = {}) {
    const std::string zeros = zeroRows(NUM_BINS, NUM_BINS);
    std::string text;
    for (int t = 0; t < NUM_AMINO_ACIDS; ++t)
        for (const char* c : {"H", "E", "C"}) {
            const std::string key = std::string(THREE_LETTER[t]) + " " + c;
            auto it = given.find(key);
            text += it != given.end() ? it->second : key + "\n" + zeros;
        }
    return text;
}
std::string jointText(bool conditional, const std::map<std::string, std::string>& given = {}) {
    const std::string zeros = zeroRows(DIST_BINS, DIST_BINS);
    std::string text;
    for (int g = MIN_GAP; g <= MAX_GAP; ++g)
        for (const char* c : {"H", "E", "C"})
            for (int r = 0; r < (conditional ? MAX_END_DISTANCE + 1 : 1); ++r) {
                const std::string key = std::to_string(g) + " " + c + (conditional ? " " + std::to_string(r) : "");
                auto it = given.find(key);
                text += it != given.end() ? it->second : key + " 0 1 0 1\n" + zeros;
            }
    return text;
}

void torsion(Distributions& d, const std::string& name, const std::string& text) {
    TableText in(name, text);
    parseTorsionBins(d, in);
}
void joint(JointTables& t, const std::string& name, const std::string& text, bool conditional) {
    TableText in(name, text);
    parseJoint(t, in, conditional);
}

TEST(DistributionLoaders, TorsionBlocksFillByNameAndClass) {
    Distributions d;
    std::string text = torsionText({{"ALA C", block("A C", 3, 72, 72)},          // one-letter names count too
                                    {"GLY E", block("GLY E", 2, 72, 72, "  ")}});  // runs of blanks separate once
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) text.insert(at, "\r");  // DOS line ends
    torsion(d, "tb_ok.txt", text + "\n  \n");  // empty lines may close the file
    EXPECT_EQ(d.torsionBins[ALA][2][0][0], cell(3, 0, 0));
    EXPECT_EQ(d.torsionBins[ALA][2][71][71], cell(3, 71, 71));
    EXPECT_EQ(d.torsionBins[GLY][1][40][3], cell(2, 40, 3));
    EXPECT_EQ(d.torsionBins[LEU][0][10][10], 0.0);
    EXPECT_EQ(torsionBinProb(d, ALA, 12, 34), cell(3, 12, 34));  // the sampler reads the coil class
    EXPECT_FALSE(torsionBinAllowed(1.9e-5));
    EXPECT_TRUE(torsionBinAllowed(2e-5));
}

// Every way a torsion-bin file can be wrong stops with the file and line.
TEST(DistributionLoaders, TorsionFileErrorsNameFileAndLine) {
    const std::string ok = torsionText();
    std::string shortRow = "ALA H\n" + zeroRows(2, 72) + zeroRows(1, 71) + zeroRows(69, 72);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {ok + block("XYZ C", 1, 72, 72), "line 4381: unknown residue name \"XYZ\""},
        {torsionText({{"ALA H", block("ALA X", 1, 72, 72)}}), "line 1: unknown secondary-structure class \"X\""},
        {torsionText({{"ALA H", shortRow}}), "line 4: data row has 71 fields, 72 expected"},
        {torsionText({{"ALA H", "ALA H extra\n" + zeroRows(72, 72)}}), "line 1: header has 3 fields, 2 expected"},
        {torsionText({{"CYS E", ""}}), "no block for CYS class E"},
        {ok + torsionText().substr(0, ok.size() / 60), "line 4381: second block for ALA class H \\(the first is at line 1\\)"},
        {torsionText({{"TYR C", "TYR C\n" + zeroRows(30, 72)}}), "line 4308: block ends after 30 of its 72 rows"},
        {ok.substr(0, ok.size() / 2), "block ends after|no block for|data row has"},
        {"ALA H\n\n" + ok.substr(6), "line 1: block ends after 0 of its 72 rows"},
        {ok.substr(0, ok.size() / 60) + "\n" + ok.substr(ok.size() / 60), "line 75: data after the empty line 74"},
        {torsionText({{"ALA H", "ALA H\n0 abc" + zeroRows(72, 72).substr(3)}}), "line 2: \"abc\" is not a finite number"},
        {torsionText({{"ALA H", "ALA H\n0 nan" + zeroRows(72, 72).substr(3)}}), "line 2: \"nan\" is not a finite number"},
        {torsionText({{"ALA H", "ALA H\n0 -1" + zeroRows(72, 72).substr(3)}}), "line 2: probability -1 is negative"},
        {" \n", ": no block for ALA class H"},
    };
    for (const auto& [text, message] : cases) {
        Distributions d;
        EXPECT_ERROR(torsion(d, "tb.txt", text), 1, "^tb.txt.*(" + message + ")");
    }
    lorvane_test::ScratchDir dir;
    Distributions d;
    EXPECT_ERROR(loadTorsionBins(d, dir.path("lorvane_no_such_phipsi.txt")), 1, "cannot open torsion-bin file .*lorvane_no_such_phipsi.txt");
    dir.write("empty.txt", "\n\n");
    EXPECT_ERROR(loadTorsionBins(d, dir.path("empty.txt")), 1, "empty.txt: the file is empty");
}

TEST(DistributionLoaders, JointLoadersFillTheirBlocks) {
    JointTables t;
    joint(t, "jm.txt", jointText(false, {{"5 C", block("5 C 1.0 8.0 2.0 12.0", 2, 16, 16)}, {"21 H", block("21 H 0 1 0 1", 3, 16, 16)}}),
          false);
    EXPECT_EQ(t.marginalLimits[5][2][0], 1.0);
    EXPECT_EQ(t.marginalLimits[5][2][3], 12.0);
    EXPECT_EQ(t.marginal[5][2][15][15], cell(2, 15, 15));
    EXPECT_EQ(t.marginal[21][0][3][4], cell(3, 3, 4));
    EXPECT_EQ(t.marginal[6][2][0][1], 0.0);
    EXPECT_EQ(t.marginalLimits[6][2][1], 1.0);

    joint(t, "jc.txt", jointText(true, {{"7 C 12", block("7 C 12 -3.0 1.0 -4.0 0.5", 5, 16, 16)}, {"7 E 99", block("7 E 99 0 2 0 2", 6, 16, 16)}}),
          true);
    EXPECT_EQ(t.condLimits[7][2][12][0], -3.0);
    EXPECT_EQ(t.condLimits[7][2][12][3], 0.5);
    EXPECT_EQ(t.cond[7][2][12][9][2], cell(5, 9, 2));
    EXPECT_EQ(t.cond[7][1][99][15][0], cell(6, 15, 0));
    EXPECT_EQ(t.marginal[5][2][15][15], cell(2, 15, 15));  // the marginal blocks stay
}

TEST(DistributionLoaders, JointFileErrorsNameFileAndLine) {
    struct Bad {
        std::string text;
        bool conditional;
        const char* message;
    };
    const std::string marg = jointText(false), cond = jointText(true);
    const std::string rows = zeroRows(16, 16);
    const Bad cases[] = {
        {marg + "22 C 0 1 0 1\n" + rows, false, "line 970: gap 22 is outside 3..21"},
        {jointText(false, {{"3 H", "2 H 0 1 0 1\n" + rows}}), false, "line 1: gap 2 is outside 3..21"},
        {jointText(false, {{"3 H", "3 Q 0 1 0 1\n" + rows}}), false, "line 1: unknown secondary-structure class \"Q\""},
        {jointText(true, {{"3 H 0", "3 H 100 0 1 0 1\n" + rows}}), true, "line 1: end-to-end distance 100 is outside 0..99"},
        {jointText(true, {{"3 H 0", "3 H 0 0 1 0\n" + rows}}), true, "line 1: header has 6 fields, 7 expected"},
        {jointText(false, {{"3 H", "3 H 0 1 0 1\n" + zeroRows(15, 16) + zeroRows(1, 15)}}), false, "line 17: data row has 15 fields, 16 expected"},
        {jointText(false, {{"3 H", "3 H 0 1 0 abc\n" + rows}}), false, "line 1: \"abc\" is not a finite number"},
        {jointText(false, {{"3 H", "3 H 0 1 0 inf\n" + rows}}), false, "line 1: \"inf\" is not a finite number"},
        {jointText(false, {{"12 E", ""}}), false, "no block for gap 12 class E"},
        {jointText(true, {{"12 E 57", ""}}), true, "no block for gap 12 class E distance 57"},
        {marg.substr(0, marg.size() / 2), false, "block ends after|no block for|data row has"},
        {cond.substr(0, cond.size() / 2), true, "block ends after|no block for|data row has"},
        {marg + "3 H 0 1 0 1\n" + rows, false, "line 970: second block for gap 3 class H \\(the first is at line 1\\)"},
    };
    for (const Bad& b : cases) {
        JointTables t;
        EXPECT_ERROR(joint(t, "j.txt", b.text, b.conditional), 1, std::string("^j.txt.*(") + b.message + ")");
    }
    lorvane_test::ScratchDir dir;
    Distributions d;
    EXPECT_ERROR(loadJointCond(d, dir.path("lorvane_no_such_joint.txt"), true), 1,
                 "cannot open distance distribution file .*lorvane_no_such_joint.txt");
}

TEST(DistributionLoaders, LookupEdgesDegenerateRowsAndRounding) {
    Distributions d;
    joint(d.forward, "edge_m.txt", jointText(false, {{"8 C", block("8 C 2.0 10.0 4.0 12.0", 1, 16, 16)}}), false);
    double p = -1;
    // Exactly at hi the coordinate is 16.0: accepted, and it reads the last cell.
    ASSERT_TRUE(marginalProb(d, false, 8, 10.0, 12.0, p));
    EXPECT_EQ(p, cell(1, 15, 15));
    ASSERT_TRUE(marginalProb(d, false, 8, 2.0, 4.0, p));
    EXPECT_EQ(p, cell(1, 0, 0));
    ASSERT_TRUE(marginalProb(d, false, 8, 2.49, 11.99, p));  // x1 = 0.98, x2 = 15.98
    EXPECT_EQ(p, cell(1, 0, 15));
    EXPECT_FALSE(marginalProb(d, false, 8, 10.001, 5.0, p));
    EXPECT_FALSE(marginalProb(d, false, 8, 5.0, 3.999, p));
    EXPECT_FALSE(marginalProb(d, true, 8, 5.0, 5.0, p));  // backward table never loaded: zero width
    EXPECT_FALSE(marginalProb(d, false, 22, 5.0, 5.0, p));
    EXPECT_EQ(distCell(16.0), 15);
    EXPECT_TRUE(distCoordInRange(16.0));
    EXPECT_FALSE(distCoordInRange(16.0000001));

    joint(d.backward, "edge_c.txt",
          jointText(true, {{"9 C 20", block("9 C 20 -2.0 2.0 -1.0 3.0", 2, 16, 16)}, {"9 C 21", block("9 C 21 1.0 1.0005 0 1", 3, 16, 16)},
                           {"9 C 22", block("9 C 22 0 0 0 0", 0, 16, 16)}}),
          true);
    EXPECT_FALSE(condRowDegenerate(d, true, 9, 20));
    EXPECT_TRUE(condRowDegenerate(d, true, 9, 21));  // width 0.0005
    EXPECT_TRUE(condRowDegenerate(d, true, 9, 22));  // a row without data
    EXPECT_TRUE(condRowDegenerate(d, true, 9, 100)); // beyond the table
    EXPECT_TRUE(condRowDegenerate(d, false, 9, 20)); // other direction
    ASSERT_TRUE(condProb(d, true, 9, 20, 2.0, 3.0, p));
    EXPECT_EQ(p, cell(2, 15, 15));
    ASSERT_TRUE(condProb(d, true, 9, 20, -1.75, 0.0, p));  // y1 = 1, y2 = 4
    EXPECT_EQ(p, cell(2, 1, 4));
    EXPECT_FALSE(condProb(d, true, 9, 20, 2.01, 0.0, p));
    EXPECT_EQ(endDistanceRow(19.5), 20);
    EXPECT_EQ(endDistanceRow(20.49), 20);
    EXPECT_EQ(endDistanceRow(20.5), 21);
}

}  // namespace
