// Parameter loaders on small hand-made files.
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>

#include "model/geometry.h"
#include "pot_support.h"
#include "potentials/pf.h"
#include "potentials/text_scan.h"

using namespace lorvane;

using namespace pot_test;

namespace {

// One pair-file line: two keys and the given numbers.
std::string pairLine(const std::string& k1, const std::string& k2, const std::vector<double>& e) {
    std::ostringstream os;
    os << k1 << ' ' << k2;
    for (double v : e) os << ' ' << v;
    return os.str() + "\n";
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
// A scratch directory with data/ files, loaded with InitPar in the given mode.
std::string initPar(const std::vector<std::pair<std::string, std::string>>& files, int mode) {
    ScratchDir d;
    for (const auto& [name, text] : files) d.write("data/" + name, text);
    InDir in(d.root());
    testing::internal::CaptureStdout();
    PF::InitPar("", "./", 0, mode);
    return testing::internal::GetCapturedStdout();
}

// DFIRE's 0.5 A bins spread over Etable's 1 A^2 bins: d^2 in [j, j+1) takes the bin of d.
TEST(InitPar, DfireFillsSquaredDistanceBins) {
    std::vector<double> aa = dfireValues();
    for (double& v : aa) v += 100;
    initPar({{"dfire_pair.lib", "# DFIRE test table\n" + pairLine("ALA CB", "GLY CA", dfireValues()) + pairLine("ALA CB", "ALA CB", aa)}}, 2);
    EXPECT_EQ(PF::MAXDIS2, 225.0);
    EXPECT_EQ(PF::BINSPERA, 1.0);
    ASSERT_EQ(PF::DFatomtype.size(), 2u);  // comment skipped, no entry from the final newline
    const int a = PF::DFatomtype.at("ALA CB"), g = PF::DFatomtype.at("GLY CA");
    EXPECT_EQ(a, 0);
    EXPECT_EQ(g, 1);
    for (int i = 0; i < DFIRE_BINS; ++i) ASSERT_TRUE(PF::edfire[a][g][i] == i + 1.0 && PF::edfire[g][a][i] == i + 1.0 && PF::edfire[a][a][i] == 101.0 + i) << i;
    for (int j = 0; j < ETABLE_BINS; ++j) {
        EXPECT_EQ(PF::Etable[a][g][j], PF::Etable[g][a][j]) << j;
        EXPECT_EQ(PF::Etable[a][g][j] != 0.0, j < 225) << "bin " << j;  // filled up to 15 A, empty beyond
    }
    const std::pair<int, double> bins[] = {{0, 1.0}, {1, 3.0} /* bin 1 has no whole A^2 of its own */, {2, 3.0}, {4, 5.0},
                                           {100, 21.0}, {210, 29.0}, {224, 30.0}};
    for (auto [j, v] : bins) EXPECT_EQ(PF::Etable[a][g][j], v) << "d^2 = " << j;
    EXPECT_EQ(PF::Etable[a][a][224], 130.0);
}

// Mode 1 takes Etable from the QUENDA pair file; in both modes the clash
// distance is where the values last cross 100 (0.1 A^2 bins).
TEST(InitPar, QuendaPairTableAndClashDistances) {
    std::string out = initPar({{"dfire_pair.lib", pairLine("ALA CB", "GLY CA", dfireValues())},
                               {"QUENDApair.lib", "#header\n" + pairLine("GLY CA", "ALA CB", quendaValues(18))}}, 1);
    EXPECT_EQ(PF::MAXDIS2, 64.0);
    EXPECT_EQ(PF::BINSPERA, 10.0);
    const int a = PF::DFatomtype.at("ALA CB"), g = PF::DFatomtype.at("GLY CA");
    EXPECT_DOUBLE_EQ(PF::LJclash[a][g], 1.7);
    EXPECT_DOUBLE_EQ(PF::LJclash[g][a], 1.7);
    EXPECT_EQ(PF::LJclash[a][a], 0.0);
    const std::vector<double> e = quendaValues(18);
    for (int k = 0; k < ETABLE_BINS; ++k) ASSERT_TRUE(PF::Etable[g][a][k] == e[k] && PF::Etable[a][g][k] == e[k]) << k;

    std::vector<double> twice = quendaValues(18);
    twice[30] = 150.0;  // a second crossing between bins 30 and 31
    initPar({{"dfire_pair.lib", pairLine("ALA CB", "GLY CA", dfireValues())}, {"QUENDApair.lib", pairLine("ALA CB", "GLY CA", twice)}}, 2);
    EXPECT_DOUBLE_EQ(PF::LJclash[0][1], 3.0);
    EXPECT_EQ(PF::Etable[0][1][0], 1.0);  // mode 2 keeps DFIRE values

    initPar({{"dfire_pair.lib", pairLine("ALA CB", "GLY CA", dfireValues())}, {"QUENDApair.lib", pairLine("XYZ QQ", "GLY CA", quendaValues(5))}}, 1);
    EXPECT_EQ(PF::DFatomtype.at("XYZ QQ"), 0);  // an unknown key is filed under type 0
    EXPECT_EQ(PF::Etable[0][1][0], 200.0);
    EXPECT_DOUBLE_EQ(PF::LJclash[1][0], 0.4);

    out = initPar({{"QUENDApair.lib", pairLine("SER OG", "SER OG", quendaValues(3))}}, 1);  // reloading starts from empty tables
    EXPECT_NE(out.find("cannot open DFIRE2 library! "), std::string::npos) << out;  // optional in mode 1: a message only
    EXPECT_EQ(PF::DFatomtype.size(), 1u);
    EXPECT_EQ(PF::LJclash[0][1], 0.0);
    EXPECT_DOUBLE_EQ(PF::LJclash[0][0], 0.2);
    EXPECT_EQ(PF::Etable[0][1][0], 0.0);
    EXPECT_EQ(PF::numDipole, 0);  // optional files absent: zero tables
    EXPECT_EQ(PF::pb[0][0][0], 0.0);
}

// "ATO" line: id and count from the fifth character, neighbours and label from the thirteenth.
std::string atoLine(const std::string& id, int count, const std::string& rest) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "ATO %3s %2d  %s\n", id.c_str(), count, rest.c_str());
    return buf;
}
std::string oscarPcs() {  // six coefficients per side-chain dihedral, t * 100 + k * 10 + m
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
    std::vector<double> v(14);
    for (int m = 0; m < 14; ++m) v[m] = base + m;
    return pairLine(a, b, v);
}

TEST(InitPar, DipoleRecordsAndOscarCoefficients) {
    initPar({{"QUENDApair.lib", ""},
             {"dipole.fress", "# polar groups\nRES ALA\n" + atoLine("0", 1, "1 N2") + atoLine("3", 1, "2 O") + "RES CYS\n" +
                                  atoLine("6", 2, "5 1 SG") + atoLine("0", 3, "1 2 3 N3") + atoLine("3", 1, "2 O") + "REMARK ignored\n"},
             {"oscarparams.txt", oscarPcs() + oscarPair("SG", "OC", 1000) + oscarPair("O", "O", 2000) + oscarPair("C3", "C3", 3000)}},
            1);
    ASSERT_EQ(PF::numDipole, 2);
    const DipoleRecord &a = PF::dipoletype[0], &c = PF::dipoletype[1];
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
    EXPECT_EQ(PF::pcs[2][1][3], 213.0);    // Asp chi2
    EXPECT_EQ(PF::pcs[19][2][5], 1925.0);  // Tyr hydroxyl dihedral
    EXPECT_EQ(PF::pcs[0][0][0], 0.0);      // Ala has none
    // SG = 1, OC = 7: the first ten numbers go to 4..13, the last four to 0..3.
    EXPECT_EQ(PF::pb[1][7][4], 1000.0);
    EXPECT_EQ(PF::pb[1][7][13], 1009.0);
    EXPECT_EQ(PF::pb[1][7][0], 1010.0);
    EXPECT_EQ(PF::pb[1][7][3], 1013.0);
    EXPECT_EQ(PF::pb[7][1][0], 0.0);
    EXPECT_EQ(PF::pb[15][15][0], 2010.0);
    EXPECT_EQ(PF::pb[0][0][0], 0.0);  // after the O-O record nothing is read
}

TEST(Loaders, QuendaLoopTableRotamersAndFittedTable) {
    ScratchDir d;
    d.write("q.txt", "# bin p q a b e\nab\n5 2 3 x y 1.5\n79 19 0 x y -2.25\n6 2 3 x y 7 extra\n7 2 3  x y 9\n0 0 0 x y 4\n");
    for (int load = 0; load < 2; ++load) {  // reloading gives the same table
        PF::initQUENDA(d.path("q.txt"));
        EXPECT_EQ(PF::QUENDA[2][3][5], 1.5);
        EXPECT_EQ(PF::QUENDA[3][2][5], 1.5);
        EXPECT_EQ(PF::QUENDA[0][19][79], -2.25);
        EXPECT_EQ(PF::QUENDA[2][3][6], 0.0);  // seven fields: skipped
        EXPECT_EQ(PF::QUENDA[2][3][7], 0.0);  // an empty field makes seven
        EXPECT_EQ(PF::QUENDA[0][0][0], 4.0);
    }
    // Ala (0 rotatable bonds) with two lines, Cys (1) with three, Asp (2) never closed.
    d.write("rot.txt", "//\n0\n0\n//\n60\n-60\n9999\n//\n10 20\n");
    PF::LoadSimplRot(d.path("rot.txt"));
    EXPECT_EQ(PF::numsimplRot[0], 2);
    EXPECT_EQ(PF::numsimplRot[1], 3);
    EXPECT_EQ(PF::numsimplRot[2], 0);  // no closing //
    EXPECT_DOUBLE_EQ(PF::simplRot[1][0][0], 60 * DEG2RAD);
    EXPECT_DOUBLE_EQ(PF::simplRot[1][2][0], 9999 * DEG2RAD);
    EXPECT_DOUBLE_EQ(PF::simplRotR[1][2][0], -60 * DEG2RAD);  // a placeholder keeps the previous angle
    d.write("rot.txt", "//\n//\n30\n//\n\n//\n");
    PF::LoadSimplRot(d.path("rot.txt"));
    EXPECT_EQ(PF::numsimplRot[1], 1);
    EXPECT_EQ(PF::numsimplRot[2], 0);  // an empty line ends the file
    PF::LoadSimplRot(d.path("missing.txt"), false);
    for (int t = 0; t < 20; ++t) EXPECT_EQ(PF::numsimplRot[t], 0);

    std::string line;
    for (int k = 0; k < FITTED_E_SIZE; ++k) line += (k ? " " : "") + (k == 7 ? "" : std::to_string(k % 100) + ".5");
    d.write("fitted.txt", line + "\n1 2 3\n");
    PF::LoadFittedE(d.path("fitted.txt"));
    EXPECT_EQ(PF::fittedE[0], 0.5);
    EXPECT_EQ(PF::fittedE[7], 0.0);  // an empty field is zero
    EXPECT_EQ(PF::fittedE[8], 8.5);
    EXPECT_EQ(PF::fittedE[FITTED_E_SIZE - 1], 99.5);
}

// One table of bad files per loader: each stops with status 1 and names the file (and line).
TEST(LoadersDeath, BadFilesStopWithFileAndLine) {
    ScratchDir d;
    std::vector<std::unique_ptr<ScratchDir>> dirs;  // made here: a dying child never cleans up
    auto initParWith = [&](const std::vector<std::pair<std::string, std::string>>& files, int mode) {
        dirs.push_back(std::make_unique<ScratchDir>());
        for (const auto& [name, text] : files) dirs.back()->write("data/" + name, text);
        return [root = dirs.back()->root(), mode] {
            InDir in(root);
            PF::InitPar("", "./", 0, mode);
        };
    };
    std::string types = "# 168 distinct keys\n", dipoles, bigGroup = "RES ARG\n", rotamers = "//\n//\n";
    for (int i = 0; i < 84; ++i) types += pairLine("RES A" + std::to_string(2 * i), "RES A" + std::to_string(2 * i + 1), dfireValues());
    for (int i = 0; i < 26; ++i) dipoles += "RES ALA\n" + atoLine("0", 1, "1 N2");
    for (int i = 0; i < 21; ++i) bigGroup += atoLine(std::to_string(i), 1, "1 N2");
    for (int i = 0; i <= MAX_ROTAMERS; ++i) rotamers += "60\n";
    std::vector<double> d29 = dfireValues(), q639 = quendaValues(3);
    d29.pop_back();
    q639.resize(639);
    int pcsLines = 0;
    for (int t = 0; t < 20; ++t) pcsLines += PF::numChi[t];
    const std::string dfire = pairLine("ALA CB", "GLY CA", dfireValues()), quenda = pairLine("ALA CB", "GLY CA", quendaValues(18));
    d.write("bin.txt", "# ok\n80 0 0 x y 1\n");
    d.write("cls.txt", "0 20 0 x y 1\n");
    d.write("many.txt", rotamers + "//\n");
    d.write("first.txt", "//\n//\n9999\n//\n");
    d.write("before.txt", "60\n//\n");
    d.write("short.txt", "//\n//\n//\n60\n//\n");
    std::string fields = "1";
    for (int k = 1; k < FITTED_E_SIZE - 1; ++k) fields += " 1";
    d.write("fitted.txt", fields + "\n");
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {initParWith({{"dfire_pair.lib", dfire}}, 1), "QUENDApair.lib"},  // the pair file of the mode is required
        {initParWith({{"QUENDApair.lib", quenda}}, 2), "dfire_pair.lib"},
        {initParWith({{"dfire_pair.lib", types}, {"QUENDApair.lib", ""}}, 1), "something wrong with the energy file .*dfire_pair.lib line 85"},
        {initParWith({{"dfire_pair.lib", dfire + pairLine("ALA CB", "ALA CB", d29)}, {"QUENDApair.lib", ""}}, 1), "dfire_pair.lib line 2: 29 energies, 30 expected"},
        {initParWith({{"QUENDApair.lib", "#\n#\n" + pairLine("ALA CB", "GLY CA", q639)}}, 1), "QUENDApair.lib line 3: 639 energies, 640 expected"},
        {initParWith({{"QUENDApair.lib", "ALA CB GLY\n"}}, 1), "QUENDApair.lib line 1"},
        {initParWith({{"dfire_pair.lib", "ALA CB GLY CA 1 2 x" + pairLine("", "", dfireValues())}}, 2), "dfire_pair.lib line 1: 'x' is not a number"},
        {initParWith({{"QUENDApair.lib", ""}, {"dipole.fress", dipoles}}, 1), "dipole.fress line 51: more than 25 residue records"},
        {initParWith({{"QUENDApair.lib", ""}, {"dipole.fress", bigGroup}}, 1), "dipole.fress line 22: more than 20 group atoms"},
        {initParWith({{"QUENDApair.lib", ""}, {"dipole.fress", "RES ALA\n" + atoLine("0", 4, "1 2 3 4 N2")}}, 1), "dipole.fress line 2: neighbour count 4"},
        {initParWith({{"QUENDApair.lib", ""}, {"dipole.fress", "RES ALA\n" + atoLine("0", 2, "1 N2")}}, 1), "dipole.fress line 2: group atom without a class label"},
        {initParWith({{"QUENDApair.lib", ""}, {"dipole.fress", "RES ALAX\n"}}, 1), "dipole.fress line 1: 'ALAX' is longer than 3 characters"},
        {initParWith({{"QUENDApair.lib", ""}, {"dipole.fress", atoLine("0", 1, "1 N2")}}, 1), "dipole.fress line 1: group atom before the first RES line"},
        {initParWith({{"QUENDApair.lib", ""}, {"oscarparams.txt", oscarPcs() + oscarPair("SG", "XX", 0)}}, 1),
         "oscarparams.txt line " + std::to_string(pcsLines + 1) + ": 'XX' is not a side-chain atom class"},
        {initParWith({{"QUENDApair.lib", ""}, {"oscarparams.txt", "A chi 1 2 3\n"}}, 1), "oscarparams.txt: the file ends inside the side-chain torsion coefficients"},
        {initParWith({{"QUENDApair.lib", ""}, {"oscarparams.txt", oscarPcs() + "SG OC 1 2 3\n"}}, 1), "oscarparams.txt: the file ends inside the class-pair records"},
        {[&] { PF::initQUENDA(d.path("bin.txt")); }, "bin.txt line 2: bin 80"},
        {[&] { PF::initQUENDA(d.path("cls.txt")); }, "cls.txt line 1"},
        {[&] { PF::initQUENDA(d.path("none.txt")); }, "Error!!! Cannot open QUENDA potential file! .*none.txt"},
        {[&] { PF::LoadSimplRot(d.path("missing.txt")); }, "cannot open rotamer library .*missing.txt"},
        {[&] { PF::LoadSimplRot(d.path("many.txt")); }, "many.txt line 111: more than 108 rotamers"},
        {[&] { PF::LoadSimplRot(d.path("first.txt")); }, "first.txt line 3: placeholder angle"},
        {[&] { PF::LoadSimplRot(d.path("before.txt")); }, "before.txt line 1: rotamer line before the first //"},
        {[&] { PF::LoadSimplRot(d.path("short.txt")); }, "short.txt line 4: 2 angles expected"},
        {[&] { PF::LoadFittedE(d.path("fitted.txt")); }, "fitted.txt line 1: 23999 fields, 24000 expected"},
        {[&] { PF::LoadFittedE(d.path("none.txt")); }, "none.txt"},
    };
    for (const auto& [call, regex] : cases) EXPECT_FATAL(call(), regex);
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
    for (const char* bad : {"", "-", "+", ".", "1.2.3", "abc", "1x", "--1"}) EXPECT_FALSE(textscan::parseDouble(bad, v)) << bad;
}

}  // namespace
