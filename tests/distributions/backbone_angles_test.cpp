// The backbone angle table of the drawn N-CA-C angles and the flexible
// closure: loading, normalisation, the inverse distribution used for
// drawing, and the committed data file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "distributions/backbone_angles.h"
#include "model/residue_names.h"
#include "support/support.h"

using namespace lorvane;
using lorvane_test::sourcePath;

namespace {

std::string writeTemp(const std::string& name, const std::string& text) {
    std::string path = ::testing::TempDir() + "lorvane_bbangles_" + name;
    std::ofstream(path) << text;
    return path;
}

// Four bins of 5 degrees from 100; type t puts its mass in bin t % 4 (half)
// and spreads the other half evenly; omega 179 + t / 10.
std::string table(int skipType = -1, double scale = 1.0) {
    std::ostringstream os;
    os << "# test table\nNCAC_BINS 4 100.0 5.0\n";
    for (int t = 0; t < 20; ++t) {
        if (t == skipType) continue;
        os << "NCAC " << threeLetter(t) << " 100.0 110.0 2.0";
        for (int b = 0; b < 4; ++b) os << " " << scale * (b == t % 4 ? 0.625 : 0.125);
        os << "\n";
    }
    for (int t = 0; t < 20; ++t) os << "OMEGA " << threeLetter(t) << " 50.0 " << 179.0 + t / 10.0 << " 5.5 0.001\n";
    return os.str();
}

}  // namespace

TEST(BackboneAngles, LoadsAndInvertsTheDistribution) {
    BackboneAngleTable t;
    loadBackboneAngles(writeTemp("ok.txt", table()), t);
    ASSERT_TRUE(t.loaded);
    EXPECT_DOUBLE_EQ(t.lo, 100.0);
    EXPECT_DOUBLE_EQ(t.width, 5.0);
    for (int type = 0; type < 20; ++type) {
        SCOPED_TRACE(type);
        ASSERT_EQ(t.ncacCdf[type].size(), 4u);
        EXPECT_DOUBLE_EQ(t.ncacCdf[type].back(), 1.0);
        EXPECT_NEAR(t.omegaMean[type], 179.0 + type / 10.0, 1e-12);
        // Cumulative probability at each bin edge maps back to that edge.
        EXPECT_NEAR(ncacQuantile(t, type, 0.0), 100.0, 1e-9);
        EXPECT_NEAR(ncacQuantile(t, type, 1.0), 120.0, 1e-9);
        for (int b = 0; b < 4; ++b) EXPECT_NEAR(ncacQuantile(t, type, t.ncacCdf[type][b]), 105.0 + 5.0 * b, 1e-9);
        // Monotone, inside the range, and half of the draws fall in the heavy bin.
        double prev = 0.0;
        int heavy = 0;
        const int n = 1000;
        for (int i = 0; i < n; ++i) {
            const double a = ncacQuantile(t, type, (i + 0.5) / n);
            ASSERT_GE(a, prev);
            prev = a;
            heavy += static_cast<int>(std::floor((a - 100.0) / 5.0)) == type % 4;
        }
        EXPECT_NEAR(heavy / double(n), 0.625, 0.002);
    }
}

TEST(BackboneAngles, DataErrorsStopNamingTheFile) {
    BackboneAngleTable t;
    EXPECT_ERROR(loadBackboneAngles(writeTemp("missing_type.txt", table(7)), t), 1, "no NCAC row for ILE");
    EXPECT_ERROR(loadBackboneAngles(writeTemp("unnormalised.txt", table(-1, 0.9)), t), 1,
                 "unnormalised.txt line 3: N-CA-C probabilities of ALA sum to 0.9");
    EXPECT_ERROR(loadBackboneAngles(writeTemp("short.txt", "NCAC_BINS 4 100.0 5.0\nNCAC ALA 1 2 3 0.5 0.5\n"), t), 1,
                 "short.txt line 2: NCAC row of ALA needs 4 probabilities");
    EXPECT_ERROR(loadBackboneAngles(writeTemp("unknown.txt", "NCAC_BINS 4 100.0 5.0\nPHI ALA 1 2 3\n"), t), 1,
                 "unknown.txt line 2: unknown row");
    EXPECT_ERROR(loadBackboneAngles(::testing::TempDir() + "no_such_file.txt", t), 1, "cannot open the backbone angle file");
    // Whole fields only, one row per type and kind.
    const struct {
        std::string from, to, message;
    } damaged[] = {
        {"NCAC ALA 100.0 110.0 2.0 0.625", "NCAC ALA 100.0 110.0 2.0 0.625x", "line 3: .*0.625x"},
        {"OMEGA ALA 50.0 179 5.5 0.001", "OMEGA ALA 50.0 179 5.5 0.001 7", "line 23: OMEGA row"},
        {"OMEGA CYS 50.0 179.1 5.5 0.001", "OMEGA ALA 50.0 179.1 5.5 0.001", "line 24: second OMEGA row for ALA"},
        {"OMEGA ALA 50.0 179 5.5", "OMEGA ALA 50.0 nan 5.5", "line 23: .*nan"},
        {"NCAC_BINS 4 100.0 5.0", "NCAC_BINS 4 100.0 0", "line 2: N-CA-C bin width must be positive"},
    };
    for (const auto& d : damaged) {
        std::string text = table();
        const size_t at = text.find(d.from);
        ASSERT_NE(at, std::string::npos) << d.from;
        text.replace(at, d.from.size(), d.to);
        EXPECT_ERROR(loadBackboneAngles(writeTemp("damaged.txt", text), t), 1, d.message);
    }
    EXPECT_FALSE(t.loaded) << "a failed load leaves the table as it was";
}

// The committed table: every type present, normalised, means where coil
// residues put them (Engh & Huber's 111.2 +- 2.8 degrees; glycine wider).
TEST(BackboneAngles, CommittedTableIsNormalisedAndPlausible) {
    const std::string path = sourcePath("data/backbone_angles.txt");
    BackboneAngleTable t;
    loadBackboneAngles(path, t);
    for (int type = 0; type < 20; ++type) {
        SCOPED_TRACE(threeLetter(type));
        EXPECT_DOUBLE_EQ(t.ncacCdf[type].back(), 1.0);
        EXPECT_GT(t.ncacMean[type], 106.0);
        EXPECT_LT(t.ncacMean[type], 116.0);
        EXPECT_GT(t.ncacSd[type], 1.0);
        EXPECT_LT(t.ncacSd[type], 5.0);
        const double median = ncacQuantile(t, type, 0.5);
        EXPECT_NEAR(median, t.ncacMean[type], 1.0);
        EXPECT_GT(t.omegaMean[type], 175.0);
        EXPECT_LT(t.omegaMean[type], 185.0);
        EXPECT_LT(t.omegaSd[type], 10.0);
    }
}
