// Parameter loaders on complete synthetic tables: what each puts where, and
// that every entry a table holds is required. (Damaged copies of the
// repository's own tables are the table-driven test tests/driver/test_tables.cpp.)
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <sstream>

#include "model/geometry.h"
#include "model/table_text.h"
#include "model/text_scan.h"
#include "pot_support.h"
#include "potentials/potentials.h"
#include "support/expect_error.h"

using namespace lorvane;

using namespace pot_test;

namespace {

std::string key(int t) { return "T" + std::to_string(t) + " X"; }

// A pair file over the 167 types "T<i> X": every unordered pair once, each with
// `bins` values from values(a, b) (zeros when it returns an empty vector).
std::string pairText(int bins, const std::function<std::vector<double>(int, int)>& values) {
    std::string text = "# synthetic pair table\n";
    std::string zeros;
    for (int i = 0; i < bins; ++i) zeros += " 0";
    char buf[32];
    for (int a = 0; a < NUM_PAIR_TYPES; ++a)
        for (int b = a; b < NUM_PAIR_TYPES; ++b) {
            text += key(a) + ' ' + key(b);
            const std::vector<double> v = values(a, b);
            if (v.empty()) {
                text += zeros;
            } else {
                for (double x : v) {
                    std::snprintf(buf, sizeof buf, " %g", x);
                    text += buf;
                }
            }
            text += '\n';
        }
    return text;
}
std::vector<double> dfireValues() {  // bin i holds i + 1
    std::vector<double> e(DFIRE_BINS);
    for (int i = 0; i < DFIRE_BINS; ++i) e[i] = i + 1;
    return e;
}
std::vector<double> quendaValues(int cross) {  // above 100 below bin `cross`, below 100 from it on
    std::vector<double> e(ETABLE_BINS);
    for (int k = 0; k < ETABLE_BINS; ++k) e[k] = k < cross ? 200.0 + k : 0.5 * k - 400.0;
    return e;
}

void parse(Potentials& p, const std::string& name, const std::string& text, const std::function<void(Potentials&, TableText&)>& parser) {
    TableText in(name, text);
    parser(p, in);
}

// DFIRE's 0.5 A bins spread over Etable's 1 A^2 bins: d^2 in [j, j+1) takes the bin of d.
TEST(PairTables, DfireFillsSquaredDistanceBins) {
    Potentials p;
    const std::string text = pairText(DFIRE_BINS, [](int a, int b) {
        std::vector<double> e = dfireValues();
        if (a == 0 && b == 0)
            for (double& v : e) v += 100;
        return a == 0 && b <= 1 ? e : std::vector<double>();
    });
    parse(p, "dfire_pair.lib", text, [](Potentials& q, TableText& in) { parseDfirePairs(q, in, 2); });
    ASSERT_EQ(p.pairTypes.size(), static_cast<size_t>(NUM_PAIR_TYPES));
    const int a = p.pairTypes.at(key(0)), g = p.pairTypes.at(key(1));
    EXPECT_EQ(a, 0);  // types numbered in order of first use
    EXPECT_EQ(g, 1);
    EXPECT_EQ(p.pairTypes.at(key(166)), 166);
    for (int i = 0; i < DFIRE_BINS; ++i) ASSERT_TRUE(p.edfire[a][g][i] == i + 1.0 && p.edfire[g][a][i] == i + 1.0 && p.edfire[a][a][i] == 101.0 + i) << i;
    for (int j = 0; j < ETABLE_BINS; ++j) {
        EXPECT_EQ(p.etable[a][g][j], p.etable[g][a][j]) << j;
        EXPECT_EQ(p.etable[a][g][j] != 0.0, j < 225) << "bin " << j;  // filled up to 15 A, empty beyond
    }
    const std::pair<int, double> bins[] = {{0, 1.0}, {1, 3.0} /* bin 1 has no whole A^2 of its own */, {2, 3.0}, {4, 5.0},
                                           {100, 21.0}, {210, 29.0}, {224, 30.0}};
    for (auto [j, v] : bins) EXPECT_EQ(p.etable[a][g][j], v) << "d^2 = " << j;
    EXPECT_EQ(p.etable[a][a][224], 130.0);
}

// Mode 1 takes Etable from the QUENDA pair file; in both modes the clash
// distance is where the values last cross 100 (0.1 A^2 bins).
TEST(PairTables, QuendaPairTableAndClashDistances) {
    const std::string dfire = pairText(DFIRE_BINS, [](int, int) { return std::vector<double>(); });
    auto load = [&](int mode, const std::vector<double>& e01) {
        Potentials p;
        parse(p, "dfire_pair.lib", dfire, [mode](Potentials& q, TableText& in) { parseDfirePairs(q, in, mode); });
        parse(p, "QUENDApair.lib", pairText(ETABLE_BINS, [&](int a, int b) { return a == 0 && b == 1 ? e01 : std::vector<double>(); }),
              [mode](Potentials& q, TableText& in) { parseQuendaPairs(q, in, mode); });
        return p;
    };
    const Potentials p = load(1, quendaValues(18));
    EXPECT_DOUBLE_EQ(p.ljClash[0][1], 1.7);
    EXPECT_DOUBLE_EQ(p.ljClash[1][0], 1.7);
    EXPECT_EQ(p.ljClash[0][0], 0.0);
    const std::vector<double> e = quendaValues(18);
    for (int k = 0; k < ETABLE_BINS; ++k) ASSERT_TRUE(p.etable[1][0][k] == e[k] && p.etable[0][1][k] == e[k]) << k;

    std::vector<double> twice = quendaValues(18);
    twice[30] = 150.0;  // a second crossing between bins 30 and 31
    const Potentials q = load(2, twice);
    EXPECT_DOUBLE_EQ(q.ljClash[0][1], 3.0);
    EXPECT_EQ(q.etable[0][1][0], 0.0);  // mode 2 keeps the DFIRE values (zero here)
}

// Mode 3 keeps the QUENDA file's wall bins (and clash distances) and fills
// every other bin with DFIRE's energy at the bin's centre distance, in kT
// (kcal/mol / 0.6) and capped at 5 kT.
TEST(PairTables, DfireEnergiesInsideTheQuendaWalls) {
    Potentials p;
    const std::string dfire = pairText(DFIRE_BINS, [](int a, int b) {
        std::vector<double> e(DFIRE_BINS, 0.0);
        for (int i = 0; i < DFIRE_BINS; ++i) e[i] = a == 0 && b == 1 ? 0.06 * i - 0.9 : a == 0 && b == 0 ? 10.0 : 0.0;
        return e;
    });
    parse(p, "dfire_pair.lib", dfire, [](Potentials& q, TableText& in) { parseDfirePairs(q, in, 3); });
    parse(p, "QUENDApair.lib", pairText(ETABLE_BINS, [&](int a, int b) { return a == 0 && b == 1 ? quendaValues(18) : std::vector<double>(); }),
          [](Potentials& q, TableText& in) { parseQuendaPairs(q, in, 3); });
    EXPECT_DOUBLE_EQ(p.ljClash[0][1], 1.7);
    for (int k = 0; k < 18; ++k) ASSERT_EQ(p.etable[0][1][k], 200.0 + k) << k;  // the wall stays
    // bin k: d^2 centre (k + 0.5) / 10; DFIRE bin floor(d / 0.5); value (0.06 i - 0.9) / 0.6 = 0.1 i - 1.5
    const std::pair<int, int> bins[] = {{18, 2}, {39, 3} /* d 1.987 */, {40, 4} /* d 2.012 */, {224, 9}, {400, 12}, {639, 15}};
    for (auto [k, i] : bins) {
        EXPECT_NEAR(p.etable[0][1][k], 0.1 * i - 1.5, 1e-12) << "bin " << k;
        EXPECT_EQ(p.etable[1][0][k], p.etable[0][1][k]) << "bin " << k;
    }
    for (int k : {0, 100, 639}) EXPECT_EQ(p.etable[0][0][k], 5.0) << "capped, bin " << k;  // 10 kcal/mol = 16.7 kT
    EXPECT_EQ(p.etable[2][3][300], 0.0);
}

// "ATO slot count neighbours class" lines under one "RES" record per type.
std::string dipoleText(const std::map<int, std::string>& records) {
    std::string text = "# polar groups\n";
    for (int t = 0; t < NUM_AMINO_ACIDS; ++t) {
        text += std::string("RES ") + THREE_LETTER[t] + "\n";
        auto it = records.find(t);
        text += it != records.end() ? it->second : "ATO    0   1 1 NE\n";
    }
    return text;
}
// Six coefficients per side-chain dihedral (t * 100 + k * 10 + m), then every
// ordered class pair with 14 values (base + m; base 1000 * (i + 1) + j), O-O last.
std::string oscarText() {
    std::ostringstream os;
    os.precision(10);
    for (int t = 0; t < 20; ++t)
        for (int k = 0; k < NUM_SC_DIHEDRALS[t]; ++k) {
            os << THREE_LETTER[t] << " chi" << k + 1;
            for (int m = 0; m < 6; ++m) os << ' ' << (t * 100 + k * 10 + m);
            os << '\n';
        }
    for (int i = 0; i < OSCAR_CLASSES; ++i)
        for (int j = 0; j < OSCAR_CLASSES; ++j) {
            os << OSCAR_CLASS_NAMES[i] << ' ' << OSCAR_CLASS_NAMES[j];
            for (int m = 0; m < 14; ++m) os << ' ' << 1000 * (i + 1) + j + 0.001 * m;
            os << '\n';
        }
    return os.str();
}

TEST(PairTables, DipoleRecordsAndOscarCoefficients) {
    Potentials p;
    // A line of other blanks (vertical tab, form feed) is as empty as one of spaces (found by fuzzing).
    parse(p, "dipole.fress", dipoleText({{0, "ATO    0   1 1 N2\n\v\f \r\nATO    3   1 2 O\n"}, {1, "ATO    6   2 5 1 SG\nATO    0   3 1 2 3 N3\nATO    3   1 2 O\n"}}),
          parseDipoles);
    ASSERT_EQ(p.numDipoles, 20);
    const DipoleRecord &a = p.dipoles[0], &c = p.dipoles[1];
    EXPECT_STREQ(a.resName, "ALA");
    EXPECT_EQ(a.atomCount, 2);
    EXPECT_EQ(a.atomId[1], 3);
    EXPECT_EQ(a.neighbourId[0][0], 1);
    EXPECT_STREQ(a.atomLabel[0], "N2");
    EXPECT_STREQ(c.resName, "CYS");
    EXPECT_EQ(c.atomCount, 3);
    EXPECT_EQ(c.neighbourCount[0], 2);
    EXPECT_EQ(c.neighbourId[0][1], 1);
    EXPECT_EQ(c.neighbourCount[1], 3);
    EXPECT_STREQ(c.neighbourText[1][2], "3");
    EXPECT_STREQ(c.atomLabel[1], "N3");
    EXPECT_STREQ(p.dipoles[19].resName, "TYR");

    parse(p, "oscarparams.txt", oscarText(), parseOscar);  // O is the last class: the O-O record closes the list
    EXPECT_EQ(p.pcs[2][1][3], 213.0);    // Asp chi2
    EXPECT_EQ(p.pcs[19][2][5], 1925.0);  // Tyr hydroxyl dihedral
    EXPECT_EQ(p.pcs[0][0][0], 0.0);      // Ala has none
    // SG = 1, OC = 7: the first ten numbers go to 4..13, the last four to 0..3.
    EXPECT_DOUBLE_EQ(p.pb[1][7][4], 2007.0);
    EXPECT_DOUBLE_EQ(p.pb[1][7][13], 2007.009);
    EXPECT_DOUBLE_EQ(p.pb[1][7][0], 2007.010);
    EXPECT_DOUBLE_EQ(p.pb[1][7][3], 2007.013);
    EXPECT_DOUBLE_EQ(p.pb[7][1][0], 8001.010);
    EXPECT_DOUBLE_EQ(p.pb[15][15][0], 16015.010);
}

// Every bin of every class pair (p <= q), energy bin + 0.01 * (20 p + q) unless overridden.
std::string quendaText(const std::map<std::string, std::string>& lines = {}) {
    std::string text = "# bin p q native decoy energy\n";
    char buf[96];
    for (int a = 0; a < QUENDA_CLASSES; ++a)
        for (int b = a; b < QUENDA_CLASSES; ++b)
            for (int k = 0; k < QUENDA_BINS; ++k) {
                const std::string id = std::to_string(k) + " " + std::to_string(a) + " " + std::to_string(b);
                auto it = lines.find(id);
                if (it != lines.end()) {
                    text += it->second;
                    continue;
                }
                std::snprintf(buf, sizeof buf, "%s 1.0 2.0 %.2f\n", id.c_str(), k + 0.01 * (20 * a + b));
                text += buf;
            }
    return text;
}

TEST(Loaders, QuendaLoopTableRotamersAndFittedTable) {
    Potentials p;
    for (int load = 0; load < 2; ++load) {  // reloading gives the same table
        parse(p, "q.txt", quendaText({{"5 2 3", "5 3 2 0 0 1.5\n"}}), parseQuenda);
        EXPECT_EQ(p.quenda[2][3][5], 1.5);  // given as 3 2: stored both ways
        EXPECT_EQ(p.quenda[3][2][5], 1.5);
        EXPECT_DOUBLE_EQ(p.quenda[0][19][79], 79.19);
        EXPECT_DOUBLE_EQ(p.quenda[19][19][0], 3.99);
    }
    // One block per type, closed by //; Cys with a placeholder angle.
    std::string rot = "//\n";
    for (int t = 0; t < 20; ++t) {
        if (t == CYS) rot += "60\n-60\n9999\n";
        else if (NUM_CHI[t] > 0) {
            for (int m = 0; m < NUM_CHI[t]; ++m) rot += (m ? " " : "") + std::to_string(10 * (m + 1));
            rot += "\n";
        }
        rot += "//\n";
    }
    parse(p, "rot.txt", rot, parseRotamers);
    EXPECT_EQ(p.rotamers.count[ALA], 0);
    EXPECT_EQ(p.rotamers.count[CYS], 3);
    EXPECT_EQ(p.rotamers.count[LYS], 1);
    EXPECT_DOUBLE_EQ(p.rotamers.chi[LYS][0][3], 40 * DEG2RAD);
    EXPECT_DOUBLE_EQ(p.rotamers.chi[CYS][0][0], 60 * DEG2RAD);
    EXPECT_DOUBLE_EQ(p.rotamers.chi[CYS][2][0], 9999 * DEG2RAD);
    EXPECT_DOUBLE_EQ(p.rotamers.resolved[CYS][2][0], -60 * DEG2RAD);  // a placeholder keeps the previous angle
    // A // line past the closing one would open a 21st block (found by fuzzing).
    const std::string extra = std::to_string(std::count(rot.begin(), rot.end(), '\n') + 1);
    EXPECT_ERROR(parse(p, "rot.txt", rot + "//\n", parseRotamers), 1, "rot.txt line " + extra + ": // line after the line closing the last");

    std::string line;
    for (int k = 0; k < FITTED_E_SIZE; ++k) line += (k ? " " : "") + std::to_string(k % 100) + ".5";
    parse(p, "fitted.txt", line + "\n\n", parseFittedTable);
    EXPECT_EQ(p.fittedE[0], 0.5);
    EXPECT_EQ(p.fittedE[7], 7.5);
    EXPECT_EQ(p.fittedE[FITTED_E_SIZE - 1], 99.5);
}

TEST(TextScan, ParsedNumbersEqualStrtod) {
    for (const char* t : {"0", "-0.0", "1.5", "+2.25", "-.5", "7.", "123456789012345", "0.1", "2.675", "1e3", "-2.5E-3",
                          "1234567890123456789.5", "0.000000000000001", "9007199254740993", "1.0000000000000002"}) {
        double v = -1;
        ASSERT_TRUE(textscan::parseDouble(t, v)) << t;
        EXPECT_EQ(v, std::strtod(t, nullptr)) << t;
        EXPECT_EQ(std::signbit(v), std::signbit(std::strtod(t, nullptr))) << t;
    }
    std::mt19937_64 rng(7);
    char buf[64];
    for (int i = 0; i < 20000; ++i) {
        std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(rng() % 12), std::uniform_real_distribution<double>(-500, 500)(rng));
        double v;
        ASSERT_TRUE(textscan::parseDouble(buf, v));
        ASSERT_EQ(v, std::strtod(buf, nullptr)) << buf;
    }
    double v = 42;
    for (const char* bad : {"", "-", "+", ".", "1.2.3", "abc", "1x", "--1", "0x10", "1e"}) EXPECT_FALSE(textscan::parseDouble(bad, v)) << bad;
    // Finite only: the words and overflows strtod would take.
    for (const char* bad : {"nan", "NaN", "inf", "-inf", "infinity", "1e999"}) EXPECT_FALSE(textscan::parseFinite(bad, v)) << bad;
    EXPECT_TRUE(textscan::parseFinite("-1e300", v));
}

}  // namespace
