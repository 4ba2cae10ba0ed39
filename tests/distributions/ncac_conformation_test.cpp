// The N-CA-C table by backbone conformation: the angle at cell centres and
// between them (bilinear, periodic), the per-bin copy the growth step reads,
// and the loader's complaints.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "distributions/ncac_conformation.h"
#include "model/geometry.h"
#include "model/residue_names.h"
#include "model/table_text.h"
#include "support/support.h"

using namespace lorvane;

namespace {

// Cells of 120 degrees (centres at -120, 0, 120). Type t has mean 110 + t/10;
// the offset of group g at (phi cell a, psi cell b) is g + a + 10 b.
std::string table(const std::string& skipLine = "", const std::string& extra = "") {
    std::ostringstream os;
    os << "# test\nCELL 120.0\n";
    for (int t = 0; t < 20; ++t) os << "MEAN " << threeLetter(t) << " " << 110.0 + t / 10.0 << "\n";
    const char* groups[3] = {"GLY", "PRO", "OTHER"};
    for (int g = 0; g < 3; ++g)
        for (int a = 0; a < 3; ++a) {
            std::ostringstream row;
            row << "OFFSET " << groups[g] << " " << a;
            for (int b = 0; b < 3; ++b) row << " " << g + a + 10 * b;
            if (row.str() != skipLine) os << row.str() << "\n";
        }
    return os.str() + extra;
}

NcacConformationTable parsed(const std::string& text) {
    TableText in("ncac.txt", text);
    NcacConformationTable t;
    parseNcacConformation(in, t);
    return t;
}

}  // namespace

TEST(NcacConformation, KnownAnglesAtCentresBetweenThemAndAcrossTheWrap) {
    const NcacConformationTable t = parsed(table());
    ASSERT_TRUE(t.loaded);
    ASSERT_EQ(t.cells, 3);
    struct Case {
        int type;
        double phi, psi, want;
    };
    const Case cases[] = {
        {ALA, -120, -120, 110.0 + 2 + 0 + 0},        // OTHER group, centre of cell (0, 0)
        {ALA, 0, 120, 110.0 + 2 + 1 + 20},            // centre of cell (1, 2)
        {GLY, 120, 0, 110.0 + static_cast<int>(GLY) / 10.0 + 0 + 2 + 10},  // GLY group
        {PRO, -120, 0, 110.0 + static_cast<int>(PRO) / 10.0 + 1 + 0 + 10},
        {ALA, -60, -120, 110.0 + 2 + 0.5},            // halfway between phi cells 0 and 1
        {ALA, -120, -60, 110.0 + 2 + 5},              // halfway between psi cells 0 and 1
        {ALA, 180, -120, 110.0 + 2 + 1},              // halfway between phi cells 2 and 0 across +-180
        {ALA, -180, -120, 110.0 + 2 + 1},             // the same point from the other side
        {ALA, 540, -480, 110.0 + 2 + 1},              // angles outside one turn wrap
        {ALA, 180.0 + 360.0 * 1e9, -120 - 360.0 * 1e9, 110.0 + 2 + 1},  // however many turns
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.phi) + " " + std::to_string(c.psi));
        EXPECT_NEAR(ncacAt(t, c.type, c.phi, c.psi), c.want, 1e-9);
    }
    EXPECT_EQ(ncacGroup(GLY), 0);
    EXPECT_EQ(ncacGroup(PRO), 1);
    EXPECT_EQ(ncacGroup(TRP), 2);
}

TEST(NcacConformation, PerBinCopyMatchesTheBinCentres) {
    const NcacConformationTable t = parsed(table());
    for (int type : {ALA, GLY, PRO, TYR}) {
        ASSERT_EQ(t.byBin[type].size(), static_cast<size_t>(NUM_BINS * NUM_BINS));
        for (int a = 0; a < NUM_BINS; a += 7)
            for (int b = 0; b < NUM_BINS; b += 5)
                EXPECT_NEAR(t.byBin[type][NUM_BINS * a + b], ncacAt(t, type, -180.0 + 5 * a, -180.0 + 5 * b), 1e-4);
    }
}

TEST(NcacConformation, DataErrorsNameTheLine) {
    struct Case {
        std::string text, message;
    };
    const Case cases[] = {
        {"MEAN ALA 110\n", "ncac.txt: no CELL row"},
        {"CELL 7\n", "line 1: cell width must divide 360 degrees"},
        {"CELL 0\n", "line 1: cell width must divide 360 degrees"},
        {"OFFSET GLY 0 1 2 3\n", "line 1: OFFSET row before CELL"},
        {table("OFFSET PRO 1 2 12 22"), "ncac.txt: no OFFSET row for PRO cell 1"},
        {table("", "MEAN ALA 111\n"), "second MEAN row for ALA"},
        {table("", "OFFSET GLY 0 1 2\n"), "OFFSET row needs group, phi cell and 3 offsets"},
        {table("", "OFFSET ALA 0 1 2 3\n"), "unknown group \"ALA\""},
        {table("", "OFFSET GLY 3 1 2 3\n"), "phi cell"},
        {table("", "OFFSET GLY 0 1 2 3\n"), "second OFFSET row for GLY cell 0"},
        {table("", "MEAN XYZ 1\n"), "unknown residue type \"XYZ\""},
        {table("", "OFFSET GLY 0 1 nan 3\n"), "line"},
        {table("", "TAU ALA 1\n"), "unknown row \"TAU\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        NcacConformationTable t;
        EXPECT_ERROR(parsed(c.text), 1, c.message);
    }
    std::string noMean = table();
    noMean.erase(noMean.find("MEAN VAL"), noMean.find('\n', noMean.find("MEAN VAL")) - noMean.find("MEAN VAL") + 1);
    EXPECT_ERROR(parsed(noMean), 1, "no MEAN row for VAL");
}
