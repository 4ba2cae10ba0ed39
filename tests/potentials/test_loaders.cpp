// Parameter loaders on small hand-made files.
#include <cmath>
#include <sstream>

#include "model/geometry.h"
#include "pot_support.h"
#include "potentials/pf.h"

using pot_test::InDir;
using pot_test::ScratchDir;

namespace {

// One pair-file line: two keys and the given numbers.
std::string pairLine(const std::string& k1, const std::string& k2, const std::vector<double>& e) {
    std::ostringstream os;
    os << k1 << ' ' << k2;
    for (double v : e) os << ' ' << v;
    os << '\n';
    return os.str();
}

std::vector<double> dfireValues(double base) {
    std::vector<double> e(DFIRE_BINS);
    for (int i = 0; i < DFIRE_BINS; ++i) e[i] = base + i + 1;  // never zero
    return e;
}

// Values above 100 for bins below `cross`, below 100 from `cross` on.
std::vector<double> quendaValues(int cross) {
    std::vector<double> e(ETABLE_BINS);
    for (int k = 0; k < ETABLE_BINS; ++k) e[k] = k < cross ? 200.0 + k : 0.5 * k - 400.0;
    return e;
}

void initQuiet(const std::string& dir, int mode) {
    InDir in(dir);
    testing::internal::CaptureStdout();
    PF::InitPar("data/param/1.txt", "./", 0, mode);
    testing::internal::GetCapturedStdout();
}

#define EXPECT_FATAL(stmt, regex) EXPECT_EXIT((pot_test::stdoutToStderr(), stmt), testing::ExitedWithCode(1), regex)

}  // namespace

TEST(InitPar, Mode2FillsSquaredDistanceBinsFromDfire) {
    ScratchDir d;
    d.write("data/dfire_pair.lib", "# DFIRE test table\n" + pairLine("ALA CB", "GLY CA", dfireValues(0)) +
                                       pairLine("ALA CB", "ALA CB", dfireValues(100)));
    initQuiet(d.root(), 2);
    EXPECT_EQ(PF::MAXDIS2, 225.0);
    EXPECT_EQ(PF::BINSPERA, 1.0);
    ASSERT_EQ(PF::DFatomtype.size(), 2u);  // comment skipped, no entry from the final newline
    const int a = PF::DFatomtype.at("ALA CB"), g = PF::DFatomtype.at("GLY CA");
    EXPECT_EQ(a, 0);
    EXPECT_EQ(g, 1);
    for (int i = 0; i < DFIRE_BINS; ++i) {
        EXPECT_EQ(PF::edfire[a][g][i], i + 1.0);
        EXPECT_EQ(PF::edfire[g][a][i], i + 1.0);
        EXPECT_EQ(PF::edfire[a][a][i], 101.0 + i);
    }
    for (int j = 0; j < ETABLE_BINS; ++j) {
        EXPECT_EQ(PF::Etable[a][g][j], PF::Etable[g][a][j]) << j;
        if (j < 225)
            EXPECT_NE(PF::Etable[a][g][j], 0.0) << "bin " << j << " left empty";
        else
            EXPECT_EQ(PF::Etable[a][g][j], 0.0) << "bin " << j << " beyond the DFIRE range";
    }
    // d^2 in [j, j+1) falls in the 0.5 A bin of d (rounded as the table does).
    EXPECT_EQ(PF::Etable[a][g][0], 1.0);    // d < 1: bin 0
    EXPECT_EQ(PF::Etable[a][g][1], 3.0);    // d^2 = 1..2: bin 2 (bin 1 has no whole-A^2 bin of its own)
    EXPECT_EQ(PF::Etable[a][g][2], 3.0);
    EXPECT_EQ(PF::Etable[a][g][4], 5.0);    // d = 2.0..2.24: bin 4
    EXPECT_EQ(PF::Etable[a][g][100], 21.0); // d = 10.0: bin 20
    EXPECT_EQ(PF::Etable[a][g][224], 30.0); // d just below 15: bin 29
    EXPECT_EQ(PF::Etable[a][g][210], 29.0);
    EXPECT_EQ(PF::Etable[a][a][224], 130.0);
}

TEST(InitPar, Mode1TakesQuendaPairTableAndClashDistance) {
    ScratchDir d;
    d.write("data/dfire_pair.lib", pairLine("ALA CB", "GLY CA", dfireValues(0)));
    // Crossing from above 100 to below 100 between bins 17 and 18.
    d.write("data/QUENDApair.lib", "#header\n" + pairLine("GLY CA", "ALA CB", quendaValues(18)));
    initQuiet(d.root(), 1);
    EXPECT_EQ(PF::MAXDIS2, 64.0);
    EXPECT_EQ(PF::BINSPERA, 10.0);
    const int a = PF::DFatomtype.at("ALA CB"), g = PF::DFatomtype.at("GLY CA");
    EXPECT_DOUBLE_EQ(PF::LJclash[a][g], 1.7);
    EXPECT_DOUBLE_EQ(PF::LJclash[g][a], 1.7);
    EXPECT_EQ(PF::LJclash[a][a], 0.0);
    const std::vector<double> e = quendaValues(18);
    for (int k = 0; k < ETABLE_BINS; ++k) {
        EXPECT_EQ(PF::Etable[g][a][k], e[k]);
        EXPECT_EQ(PF::Etable[a][g][k], e[k]);
    }
}

TEST(InitPar, ClashDistanceInMode2LastCrossingWinsAndTableStaysDfire) {
    ScratchDir d;
    d.write("data/dfire_pair.lib", pairLine("ALA CB", "GLY CA", dfireValues(0)));
    std::vector<double> e = quendaValues(18);
    e[30] = 150.0;  // a second crossing between bins 30 and 31
    d.write("data/QUENDApair.lib", pairLine("ALA CB", "GLY CA", e));
    initQuiet(d.root(), 2);
    EXPECT_DOUBLE_EQ(PF::LJclash[0][1], 3.0);
    EXPECT_DOUBLE_EQ(PF::LJclash[1][0], 3.0);
    EXPECT_EQ(PF::Etable[0][1][0], 1.0);  // mode 2 keeps DFIRE values
}

TEST(InitPar, UnknownQuendaKeyIsFiledUnderTypeZero) {
    ScratchDir d;
    d.write("data/dfire_pair.lib", pairLine("ALA CB", "GLY CA", dfireValues(0)));
    d.write("data/QUENDApair.lib", pairLine("XYZ QQ", "GLY CA", quendaValues(5)));
    initQuiet(d.root(), 1);
    ASSERT_EQ(PF::DFatomtype.count("XYZ QQ"), 1u);
    EXPECT_EQ(PF::DFatomtype.at("XYZ QQ"), 0);
    EXPECT_EQ(PF::Etable[0][1][0], 200.0);
    EXPECT_DOUBLE_EQ(PF::LJclash[1][0], 0.4);
}

TEST(InitPar, ReloadingStartsFromEmptyTables) {
    ScratchDir d;
    d.write("data/dfire_pair.lib", pairLine("ALA CB", "GLY CA", dfireValues(0)));
    d.write("data/QUENDApair.lib", pairLine("ALA CB", "GLY CA", quendaValues(18)));
    initQuiet(d.root(), 1);
    ScratchDir d2;
    d2.write("data/QUENDApair.lib", pairLine("SER OG", "SER OG", quendaValues(3)));
    initQuiet(d2.root(), 1);  // no DFIRE file in mode 1: message only
    EXPECT_EQ(PF::DFatomtype.size(), 1u);
    EXPECT_EQ(PF::LJclash[0][1], 0.0);
    EXPECT_DOUBLE_EQ(PF::LJclash[0][0], 0.2);
    EXPECT_EQ(PF::Etable[0][1][0], 0.0);
    EXPECT_EQ(PF::numDipole, 0);  // optional files absent: zero tables
    EXPECT_EQ(PF::pb[0][0][0], 0.0);
}

TEST(InitPar, MissingMessagesForTheOptionalPairFile) {
    ScratchDir d;
    d.write("data/QUENDApair.lib", pairLine("ALA CB", "GLY CA", quendaValues(18)));
    InDir in(d.root());
    testing::internal::CaptureStdout();
    PF::InitPar("", "./", 0, 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Loading parameters... \n"), std::string::npos);
    EXPECT_NE(out.find("cannot open DFIRE2 library! "), std::string::npos);
}

TEST(InitParDeath, MissingPairFileOfTheModeStops) {
    ScratchDir d;
    d.write("data/dfire_pair.lib", pairLine("ALA CB", "GLY CA", dfireValues(0)));
    EXPECT_FATAL((InDir(d.root()), PF::InitPar("", "./", 0, 1)), "QUENDApair.lib");
    ScratchDir d2;
    d2.write("data/QUENDApair.lib", pairLine("ALA CB", "GLY CA", quendaValues(18)));
    EXPECT_FATAL((InDir(d2.root()), PF::InitPar("", "./", 0, 2)), "dfire_pair.lib");
}

TEST(InitParDeath, TooManyPairTypesStopsWithFileAndLine) {
    ScratchDir d;
    std::string text = "# 168 distinct keys\n";
    for (int i = 0; i < 84; ++i)
        text += pairLine("RES A" + std::to_string(2 * i), "RES A" + std::to_string(2 * i + 1), dfireValues(0));
    d.write("data/dfire_pair.lib", text);
    d.write("data/QUENDApair.lib", "");
    EXPECT_FATAL((InDir(d.root()), PF::InitPar("", "./", 0, 1)),
                 "something wrong with the energy file .*dfire_pair.lib line 85");
}

TEST(InitParDeath, ShortDataLinesStop) {
    ScratchDir d;
    std::vector<double> e = dfireValues(0);
    e.pop_back();
    d.write("data/dfire_pair.lib", pairLine("ALA CB", "GLY CA", dfireValues(0)) + pairLine("ALA CB", "ALA CB", e));
    d.write("data/QUENDApair.lib", "");
    EXPECT_FATAL((InDir(d.root()), PF::InitPar("", "./", 0, 1)), "dfire_pair.lib line 2: 29 energies, 30 expected");

    ScratchDir d2;
    std::vector<double> q = quendaValues(3);
    q.resize(639);
    d2.write("data/QUENDApair.lib", "#\n#\n" + pairLine("ALA CB", "GLY CA", q));
    EXPECT_FATAL((InDir(d2.root()), PF::InitPar("", "./", 0, 1)), "QUENDApair.lib line 3: 639 energies, 640 expected");

    ScratchDir d3;
    d3.write("data/QUENDApair.lib", "ALA CB GLY\n");
    EXPECT_FATAL((InDir(d3.root()), PF::InitPar("", "./", 0, 1)), "QUENDApair.lib line 1");

    ScratchDir d4;
    std::vector<double> bad = dfireValues(0);
    d4.write("data/dfire_pair.lib", "ALA CB GLY CA 1 2 x" + pairLine("", "", bad));
    EXPECT_FATAL((InDir(d4.root()), PF::InitPar("", "./", 0, 2)), "dfire_pair.lib line 1: 'x' is not a number");
}

// ---- dipole records ----

namespace {

// "ATO" line: id and count from the fifth character, neighbours and label from the thirteenth.
std::string atoLine(const std::string& id, int count, const std::string& rest) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "ATO %3s %2d  %s\n", id.c_str(), count, rest.c_str());
    return buf;
}

}  // namespace

TEST(InitPar, DipoleRecordsAreReadPerResidue) {
    ScratchDir d;
    d.write("data/QUENDApair.lib", "");
    d.write("data/dipole.fress", "# polar groups\nRES ALA\n" + atoLine("0", 1, "1 N2") + atoLine("3", 1, "2 O") +
                                     "RES CYS\n" + atoLine("6", 2, "5 1 SG") + atoLine("0", 3, "1 2 3 N3") +
                                     atoLine("3", 1, "2 O") + "REMARK ignored\n");
    initQuiet(d.root(), 1);
    ASSERT_EQ(PF::numDipole, 2);
    const DipoleRecord& a = PF::dipoletype[0];
    EXPECT_STREQ(a.resName, "ALA");
    EXPECT_EQ(a.atomCount, 2);
    EXPECT_EQ(a.atomId[1], 3);
    EXPECT_STREQ(a.atomIdText[1], "3");
    EXPECT_EQ(a.neighbourCount[0], 1);
    EXPECT_EQ(a.neighbourId[0][0], 1);
    EXPECT_STREQ(a.atomLabel[0], "N2");
    const DipoleRecord& c = PF::dipoletype[1];
    EXPECT_STREQ(c.resName, "CYS");
    EXPECT_EQ(c.atomCount, 3);
    EXPECT_EQ(c.neighbourCount[0], 2);
    EXPECT_EQ(c.neighbourId[0][1], 1);
    EXPECT_STREQ(c.neighbourText[1][2], "3");
    EXPECT_EQ(c.neighbourCount[1], 3);
    EXPECT_STREQ(c.atomLabel[1], "N3");
}

TEST(InitParDeath, DipoleCapacitiesAndMalformedLines) {
    auto run = [](const std::string& dipole) {
        ScratchDir d;
        d.write("data/QUENDApair.lib", "");
        d.write("data/dipole.fress", dipole);
        InDir in(d.root());
        PF::InitPar("", "./", 0, 1);
    };
    std::string many;
    for (int i = 0; i < 26; ++i) many += "RES ALA\n" + atoLine("0", 1, "1 N2");
    EXPECT_FATAL(run(many), "dipole.fress line 51: more than 25 residue records");
    std::string big = "RES ARG\n";
    for (int i = 0; i < 21; ++i) big += atoLine(std::to_string(i), 1, "1 N2");
    EXPECT_FATAL(run(big), "dipole.fress line 22: more than 20 group atoms");
    EXPECT_FATAL(run("RES ALA\n" + atoLine("0", 4, "1 2 3 4 N2")), "dipole.fress line 2: neighbour count 4");
    EXPECT_FATAL(run("RES ALA\n" + atoLine("0", 2, "1 N2")), "dipole.fress line 2: group atom without a class label");
    EXPECT_FATAL(run("RES ALAX\n"), "dipole.fress line 1: 'ALAX' is longer than 3 characters");
    EXPECT_FATAL(run(atoLine("0", 1, "1 N2")), "dipole.fress line 1: group atom before the first RES line");
}

// ---- OSCAR coefficients ----

namespace {

std::string oscarPcs() {
    std::ostringstream os;
    for (int t = 0; t < 20; ++t)
        for (int k = 0; k < PF::numChi[t]; ++k) {
            os << "RES" << t << " chi" << k;
            for (int m = 0; m < 6; ++m) os << ' ' << (t * 100 + k * 10 + m);
            os << '\n';
        }
    return os.str();
}

std::string oscarPair(const std::string& a, const std::string& b, double base) {
    std::ostringstream os;
    os << a << ' ' << b;
    for (int m = 0; m < 14; ++m) os << ' ' << base + m;
    os << '\n';
    return os.str();
}

}  // namespace

TEST(InitPar, OscarCoefficients) {
    ScratchDir d;
    d.write("data/QUENDApair.lib", "");
    d.write("data/oscarparams.txt",
            oscarPcs() + oscarPair("SG", "OC", 1000) + oscarPair("O", "O", 2000) + oscarPair("C3", "C3", 3000));
    initQuiet(d.root(), 1);
    EXPECT_EQ(PF::pcs[2][1][3], 213.0);   // Asp chi2
    EXPECT_EQ(PF::pcs[19][2][5], 1925.0); // Tyr hydroxyl dihedral
    EXPECT_EQ(PF::pcs[0][0][0], 0.0);     // Ala has none
    // SG = 1, OC = 7: first ten numbers to 4..13, the last four to 0..3.
    EXPECT_EQ(PF::pb[1][7][4], 1000.0);
    EXPECT_EQ(PF::pb[1][7][13], 1009.0);
    EXPECT_EQ(PF::pb[1][7][0], 1010.0);
    EXPECT_EQ(PF::pb[1][7][3], 1013.0);
    EXPECT_EQ(PF::pb[7][1][0], 0.0);
    EXPECT_EQ(PF::pb[15][15][0], 2010.0);
    EXPECT_EQ(PF::pb[0][0][0], 0.0);  // after the O-O record nothing is read
}

TEST(InitParDeath, OscarUnknownClassOrTruncatedFile) {
    auto run = [](const std::string& text) {
        ScratchDir d;
        d.write("data/QUENDApair.lib", "");
        d.write("data/oscarparams.txt", text);
        InDir in(d.root());
        PF::InitPar("", "./", 0, 1);
    };
    const int pcsLines = [] {
        int n = 0;
        for (int t = 0; t < 20; ++t) n += PF::numChi[t];
        return n;
    }();
    EXPECT_FATAL(run(oscarPcs() + oscarPair("SG", "XX", 0)),
                 "oscarparams.txt line " + std::to_string(pcsLines + 1) + ": 'XX' is not a side-chain atom class");
    EXPECT_FATAL(run("A chi 1 2 3\n"), "oscarparams.txt: the file ends inside the side-chain torsion coefficients");
    EXPECT_FATAL(run(oscarPcs() + "SG OC 1 2 3\n"), "oscarparams.txt: the file ends inside the class-pair records");
}

// ---- QUENDA loop table ----

TEST(InitQuenda, ReadsSixFieldLinesSymmetrically) {
    ScratchDir d;
    d.write("q.txt",
            "# bin p q a b e\n"
            "ab\n"
            "5 2 3 x y 1.5\n"
            "79 19 0 x y -2.25\n"
            "6 2 3 x y 7 extra\n"
            "7 2 3  x y 9\n"
            "0 0 0 x y 4\n");
    PF::initQUENDA(d.path("q.txt"));
    EXPECT_EQ(PF::QUENDA[2][3][5], 1.5);
    EXPECT_EQ(PF::QUENDA[3][2][5], 1.5);
    EXPECT_EQ(PF::QUENDA[19][0][79], -2.25);
    EXPECT_EQ(PF::QUENDA[0][19][79], -2.25);
    EXPECT_EQ(PF::QUENDA[2][3][6], 0.0);  // seven fields: skipped
    EXPECT_EQ(PF::QUENDA[2][3][7], 0.0);  // an empty field makes seven
    EXPECT_EQ(PF::QUENDA[0][0][0], 4.0);
    PF::initQUENDA(d.path("q.txt"));  // reloading gives the same table
    EXPECT_EQ(PF::QUENDA[2][3][5], 1.5);
}

TEST(InitQuendaDeath, OutOfRangeOrMissing) {
    ScratchDir d;
    d.write("bin.txt", "# ok\n80 0 0 x y 1\n");
    d.write("cls.txt", "0 20 0 x y 1\n");
    d.write("neg.txt", "0 0 -1 x y 1\n");
    EXPECT_FATAL(PF::initQUENDA(d.path("bin.txt")), "bin.txt line 2: bin 80");
    EXPECT_FATAL(PF::initQUENDA(d.path("cls.txt")), "cls.txt line 1");
    EXPECT_FATAL(PF::initQUENDA(d.path("neg.txt")), "neg.txt line 1");
    EXPECT_FATAL(PF::initQUENDA(d.path("none.txt")), "Error!!! Cannot open QUENDA potential file! .*none.txt");
}

// ---- rotamer library ----

TEST(LoadSimplRot, BlocksCountsAndPlaceholders) {
    ScratchDir d;
    // Ala (0 rotatable bonds) with two lines, Cys (1) with three, Asp (2) never closed.
    d.write("rot.txt",
            "//\n0\n0\n//\n60\n-60\n9999\n//\n"
            "10 20\n");
    PF::LoadSimplRot(d.path("rot.txt"));
    EXPECT_EQ(PF::numsimplRot[0], 2);
    EXPECT_EQ(PF::numsimplRot[1], 3);
    EXPECT_EQ(PF::numsimplRot[2], 0);  // no closing //
    EXPECT_DOUBLE_EQ(PF::simplRot[1][0][0], 60 * DEG2RAD);
    EXPECT_DOUBLE_EQ(PF::simplRotR[1][1][0], -60 * DEG2RAD);
    EXPECT_DOUBLE_EQ(PF::simplRot[1][2][0], 9999 * DEG2RAD);
    EXPECT_DOUBLE_EQ(PF::simplRotR[1][2][0], -60 * DEG2RAD);
    EXPECT_DOUBLE_EQ(PF::simplRot[2][0][1], 20 * DEG2RAD);
}

TEST(LoadSimplRot, EmptyLineEndsAndMissingOptionalFileLeavesEmpty) {
    ScratchDir d;
    d.write("rot.txt", "//\n//\n30\n//\n\n//\n");
    PF::LoadSimplRot(d.path("rot.txt"));
    EXPECT_EQ(PF::numsimplRot[1], 1);
    EXPECT_EQ(PF::numsimplRot[2], 0);
    PF::LoadSimplRot(d.path("missing.txt"), false);
    for (int t = 0; t < 20; ++t) EXPECT_EQ(PF::numsimplRot[t], 0);
}

TEST(LoadSimplRotDeath, BadLibraries) {
    ScratchDir d;
    std::string many = "//\n//\n";
    for (int i = 0; i <= MAX_ROTAMERS; ++i) many += "60\n";
    d.write("many.txt", many + "//\n");
    d.write("first.txt", "//\n//\n9999\n//\n");
    d.write("before.txt", "60\n//\n");
    d.write("short.txt", "//\n//\n//\n60\n//\n");
    EXPECT_FATAL(PF::LoadSimplRot(d.path("missing.txt")), "cannot open rotamer library .*missing.txt");
    EXPECT_FATAL(PF::LoadSimplRot(d.path("many.txt")), "many.txt line 111: more than 108 rotamers");
    EXPECT_FATAL(PF::LoadSimplRot(d.path("first.txt")), "first.txt line 3: placeholder angle");
    EXPECT_FATAL(PF::LoadSimplRot(d.path("before.txt")), "before.txt line 1: rotamer line before the first //");
    EXPECT_FATAL(PF::LoadSimplRot(d.path("short.txt")), "short.txt line 4: 2 angles expected");
}

// ---- fitted decoy pair table ----

TEST(LoadFittedE, FirstLineFieldsWithEmptyFieldsAsZero) {
    ScratchDir d;
    std::string line;
    for (int k = 0; k < FITTED_E_SIZE; ++k) {
        if (k) line += ' ';
        if (k != 7) line += std::to_string(k % 100) + ".5";
    }
    d.write("fitted.txt", line + "\n1 2 3\n");
    PF::LoadFittedE(d.path("fitted.txt"));
    EXPECT_EQ(PF::fittedE[0], 0.5);
    EXPECT_EQ(PF::fittedE[7], 0.0);
    EXPECT_EQ(PF::fittedE[8], 8.5);
    EXPECT_EQ(PF::fittedE[FITTED_E_SIZE - 1], 99.5);
}

TEST(LoadFittedEDeath, TooFewFieldsOrMissing) {
    ScratchDir d;
    std::string line = "1";
    for (int k = 1; k < FITTED_E_SIZE - 1; ++k) line += " 1";
    d.write("short.txt", line + "\n");
    EXPECT_FATAL(PF::LoadFittedE(d.path("short.txt")), "short.txt line 1: 23999 fields, 24000 expected");
    EXPECT_FATAL(PF::LoadFittedE(d.path("none.txt")), "none.txt");
}

// ---- number scanning of the large tables ----

#include <cstdlib>
#include <random>

#include "potentials/text_scan.h"

TEST(TextScan, ParsedNumbersEqualStrtod) {
    const char* fixed[] = {"0",     "-0.0",        "1.5",   "+2.25",   "-.5",  "7.",  "123456789012345", "0.1",
                           "0.3",   "2.675",       "-99.9999", "1e3",  "-2.5E-3", "1234567890123456789.5",
                           "0.000000000000001", "3.14159265358979", "9007199254740993", "1.0000000000000002"};
    for (const char* t : fixed) {
        double v = -1;
        ASSERT_TRUE(textscan::parseDouble(t, v)) << t;
        EXPECT_EQ(v, std::strtod(t, nullptr)) << t;
        EXPECT_EQ(std::signbit(v), std::signbit(std::strtod(t, nullptr))) << t;
    }
    std::mt19937_64 rng(7);
    char buf[64];
    for (int i = 0; i < 20000; ++i) {
        const double x = std::uniform_real_distribution<double>(-500, 500)(rng);
        std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(rng() % 12), x);
        double v;
        ASSERT_TRUE(textscan::parseDouble(buf, v));
        ASSERT_EQ(v, std::strtod(buf, nullptr)) << buf;
    }
    double v = 42;
    for (const char* bad : {"", "-", "+", ".", "1.2.3", "abc", "1x", "--1"}) EXPECT_FALSE(textscan::parseDouble(bad, v)) << bad;
}
