// Score normalisation, summary statistics, the pair-distance counting and
// the fitted-table arithmetic of the compare mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "eval_support.h"
#include "evaluate/evaluate.h"
#include "potentials/pf.h"

namespace {

TEST(EvalStatistics, MedMadOddAndEvenCounts) {
    std::vector<double> odd{4, 100, 1, 3, 2};  // median 3, deviations 1 97 2 0 1 -> MAD 1
    vMedMAD(odd);
    const std::vector<double> oddWant{1, 97, -2, 0, -1};
    for (size_t k = 0; k < odd.size(); ++k) EXPECT_DOUBLE_EQ(odd[k], oddWant[k]) << k;

    std::vector<double> even{10, 1, 4, 2};  // median (2+4)/2 = 3, deviations 7 2 1 1 -> MAD (1+2)/2 = 1.5
    vMedMAD(even);
    const std::vector<double> evenWant{7 / 1.5, -2 / 1.5, 1 / 1.5, -1 / 1.5};
    for (size_t k = 0; k < even.size(); ++k) EXPECT_NEAR(even[k], evenWant[k], 1e-12) << k;

    EXPECT_TRUE(std::isnan(vMedian({})));
}

TEST(EvalStatistics, MedMadZeroSpreadStaysFinite) {
    std::vector<double> v{5, 5, 9, 5};  // MAD 0: only centred
    vMedMAD(v);
    EXPECT_DOUBLE_EQ(v[0], 0.0);
    EXPECT_DOUBLE_EQ(v[2], 4.0);
    std::vector<double> one{7.5};
    vMedMAD(one);
    EXPECT_DOUBLE_EQ(one[0], 0.0);
    std::vector<double> none;
    vMedMAD(none);
    EXPECT_TRUE(none.empty());
}

TEST(EvalStatistics, MeanAndSampleSd) {
    double m, sd;
    vMeanSd({2, 4, 4, 4, 5, 5, 7, 9}, m, sd);
    EXPECT_DOUBLE_EQ(m, 5.0);
    EXPECT_NEAR(sd, std::sqrt(32.0 / 7.0), 1e-12);  // n - 1, not n
    vMeanSd({}, m, sd);
    EXPECT_TRUE(std::isnan(m));
    vMeanSd({3.25}, m, sd);
    EXPECT_DOUBLE_EQ(m, 3.25);
    EXPECT_TRUE(std::isnan(sd));
}

TEST(EvalDistances, IndexLayout) {
    EXPECT_EQ(fittedIndex(0, 1, 1), 0);
    EXPECT_EQ(fittedIndex(59, 20, 20), 23999);
    EXPECT_EQ(fittedIndex(3, 14, 7), 400 * 3 + 20 * 13 + 6);
    EXPECT_EQ(fittedIndex(3, 7, 14), fittedIndex(3, 14, 7));
}

// Six alanines with only CA present: CA1..CA5 on the x axis 3.83 A apart
// from x = 1 (an atom at the origin counts as absent),
// CA6 5.05 A above CA3. Loop 2..3 meets: (2,4) 7.66, (2,6) 6.34, (3,1) 7.66,
// (3,5) 7.66, (3,6) 5.05 A; (2,5) is beyond 8 A; (2,3), (3,4), (2,1) are
// neighbours and never counted.
Structure caChain() {
    Structure s(6);
    for (int i = 1; i <= 6; ++i) {
        s[i].type = ALA;
        for (Atom& a : s[i].atoms) a.reset();
        s[i].atoms[1].init(1.0 + 3.83 * (i - 1), 0.0, 0.0, 3);
    }
    s[6].atoms[1].init(1.0 + 3.83 * 2, 5.05, 0.0, 3);
    return s;
}

TEST(EvalDistances, CountsOnlyNonNeighbourPairsInTheirBins) {
    REQUIRE_EVAL_INPUTS();
    for (int k = 0; k < FITTED_E_SIZE; ++k) PF::fittedE[k] = 0.0;
    const int i56 = fittedIndex(56, 3, 3), i43 = fittedIndex(43, 3, 3), i30 = fittedIndex(30, 3, 3);
    PF::fittedE[i56] = 1.0;
    PF::fittedE[i43] = 10.0;
    PF::fittedE[i30] = 100.0;
    Structure s = caChain();
    // A glycine's virtual CB (code 21) and an atom at the origin never count.
    s[4].type = GLY;
    s[4].atoms[5].init(1.0 + 3.83 * 2 + 0.5, 3.0, 0.0, 21);
    s[5].atoms[5].init(0.0, 0.0, 0.0, 5);
    std::vector<int> counts(DIST_SIZE, 0);
    double e = 0;
    std::ostringstream sink;
    ASSERT_EQ(dumpDistances(s, 2, 3, sink, 0, counts.data(), e), 1);
    EXPECT_EQ(counts[i56], 3);
    EXPECT_EQ(counts[i43], 1);
    EXPECT_EQ(counts[i30], 1);
    int total = 0;
    for (int c : counts) total += c;
    EXPECT_EQ(total, 5);
    EXPECT_DOUBLE_EQ(e, 3 * 1.0 + 10.0 + 100.0);
    // Counts add up over calls.
    ASSERT_EQ(dumpDistances(s, 2, 3, sink, 1, counts.data(), e), 1);
    EXPECT_EQ(counts[i56], 6);
}

TEST(EvalDistances, ClashLeavesCountsUntouched) {
    REQUIRE_EVAL_INPUTS();
    for (int k = 0; k < FITTED_E_SIZE; ++k) PF::fittedE[k] = 1.0;
    Structure s = caChain();
    s[6].atoms[1].init(1.0 + 3.83 * 2, 1.95, 0.0, 3);  // 1.95 A from CA3
    std::vector<int> counts(DIST_SIZE, 7);
    double e = 0;
    std::ostringstream sink;
    EXPECT_EQ(dumpDistances(s, 2, 3, sink, 0, counts.data(), e), 0);
    for (int k = 0; k < DIST_SIZE; ++k) ASSERT_EQ(counts[k], 7) << k;
    // The energy holds what was met before the clash: (2,4), (2,6), then (3,1) and (3,5).
    EXPECT_DOUBLE_EQ(e, 4.0);
    // Exactly 2.0 A is not a clash and falls into bin 0.
    s[6].atoms[1].init(1.0 + 3.83 * 2, 2.0, 0.0, 3);
    std::vector<int> c2(DIST_SIZE, 0);
    EXPECT_EQ(dumpDistances(s, 2, 3, sink, 0, c2.data(), e), 1);
    EXPECT_EQ(c2[fittedIndex(0, 3, 3)], 1);
}

TEST(EvalDistances, FarResiduesSkippedByCaDistance) {
    REQUIRE_EVAL_INPUTS();
    Structure s = caChain();
    // Residue 6: CA 25 A away, CB 5 A from CA3: skipped because of its CA.
    s[6].atoms[1].init(1.0 + 3.83 * 2, 25.0, 0.0, 3);
    s[6].atoms[5].init(1.0 + 3.83 * 2, 5.0, 0.0, 5);
    std::vector<int> counts(DIST_SIZE, 0);
    double e = 0;
    std::ostringstream sink;
    ASSERT_EQ(dumpDistances(s, 2, 3, sink, 0, counts.data(), e), 1);
    int total = 0;
    for (int c : counts) total += c;
    EXPECT_EQ(total, 3);  // only the three 7.66 A pairs
}

TEST(EvalFittedTable, LogRatioSignPseudoCountsAndFormat) {
    std::vector<double> nearC(DIST_SIZE, 0.0), otherC(DIST_SIZE, 0.0);
    nearC[10] = 98, otherC[10] = 48;   // enriched near natives -> negative
    nearC[20] = 0, otherC[20] = 100;   // only in others -> positive
    nearC[30] = 2, otherC[30] = 2;
    // Totals 100 and 150: other counts scaled by 2/3.
    const auto e = fittedLogRatio(nearC, otherC, 2.0, 3.0);
    EXPECT_NEAR(e[10], -std::log(100.0 / (48.0 * 100 / 150 + 2)), 1e-12);
    EXPECT_LT(e[10], 0.0);
    EXPECT_NEAR(e[20], std::min(3.0, -std::log(2.0 / (100.0 * 100 / 150 + 2))), 1e-12);
    EXPECT_GT(e[20], 0.0);
    EXPECT_DOUBLE_EQ(e[0], 0.0);  // never counted
    const auto capped = fittedLogRatio(nearC, otherC, 2.0, 1.0);
    EXPECT_DOUBLE_EQ(capped[20], 1.0);

    const std::string line = formatFittedTable(e);
    EXPECT_EQ(line.find("  "), std::string::npos);
    EXPECT_EQ(line.find("-0.0000"), std::string::npos);
    std::istringstream is(line);
    int n = 0;
    double v;
    while (is >> v) ++n;
    EXPECT_EQ(n, DIST_SIZE);
}

TEST(EvalFittedTable, ReadsCompareModeDumps) {
    eval_test::ScratchDir dir;
    std::ostringstream os;
    os << 3 << " ";
    for (int k = 0; k < DIST_SIZE; ++k) os << (k == 5 ? 6 : 0) << " ";
    os << "\n" << 2 << " ";
    for (int k = 0; k < DIST_SIZE; ++k) os << (k == 7 ? 4 : 0) << " ";
    os << "\n";
    eval_test::writeFile("d.txt", os.str());
    DistanceCounts a, b;
    readDistanceDump("d.txt", a, b);
    EXPECT_DOUBLE_EQ(a.decoys, 3);
    EXPECT_DOUBLE_EQ(a.counts[5], 6);
    EXPECT_DOUBLE_EQ(b.decoys, 2);
    EXPECT_DOUBLE_EQ(b.counts[7], 4);
    eval_test::writeFile("short.txt", "3 1 2 3\n1 2\n");
    auto readShort = [] {
        eval_test::stdoutToStderr();
        DistanceCounts x;
        DistanceCounts y;
        readDistanceDump("short.txt", x, y);
    };
    EXPECT_EXIT(readShort(), testing::ExitedWithCode(1), "short.txt line 1");
}

}  // namespace

namespace {

// The derivation command on two compare-mode dumps alone (no training set).
TEST(EvalFittedTable, CommandFromDumps) {
    const std::string exe = std::string(LORVANE_BINARY_DIR) + "/lorvane-params";
    if (!std::filesystem::exists(exe)) GTEST_SKIP() << "lorvane-params not built";
    eval_test::ScratchDir dir;
    auto dump = [](const std::string& path, int nNear, int iNear, int nOther, int iOther) {
        std::ostringstream os;
        os << nNear << " ";
        for (int k = 0; k < DIST_SIZE; ++k) os << (k == iNear ? 40 * nNear : k == 500 ? 10 * nNear : 0) << " ";
        os << "\n" << nOther << " ";
        for (int k = 0; k < DIST_SIZE; ++k) os << (k == iOther ? 40 * nOther : k == 500 ? 10 * nOther : 0) << " ";
        os << "\n";
        eval_test::writeFile(path, os.str());
    };
    dump("a.txt", 2, 100, 5, 200);
    dump("b.txt", 4, 100, 3, 200);
    std::filesystem::create_directories("out");
    const std::string cmd = exe + " fittede --loops 0 --dump a.txt --dump b.txt --out out > log.txt 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream f("out/fittedE.txt");
    std::string line, extra;
    ASSERT_TRUE(std::getline(f, line));
    EXPECT_FALSE(std::getline(f, extra)) << "one line only";
    std::istringstream is(line);
    std::vector<double> v;
    double x;
    while (is >> x) v.push_back(x);
    ASSERT_EQ(v.size(), static_cast<size_t>(DIST_SIZE));
    // Per-decoy means summed over the two dumps: near 80 at 100, other 80 at 200, both 20 at
    // 500; pseudo-count 2, cap 3.
    EXPECT_NEAR(v[100], std::max(-3.0, -std::log(82.0 / 2.0)), 1e-4);
    EXPECT_NEAR(v[200], std::min(3.0, -std::log(2.0 / 82.0)), 1e-4);
    EXPECT_NEAR(v[500], 0.0, 1e-4);
    EXPECT_DOUBLE_EQ(v[0], 0.0);
}

}  // namespace
