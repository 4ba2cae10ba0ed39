// Score normalisation, summary statistics, the pair-distance counting and
// the fitted-table arithmetic of the compare mode.
#include <cmath>
#include <numeric>

#include "eval_support.h"
#include "evaluate/evaluate.h"
#include "potentials/potentials.h"

using namespace lorvane;

namespace {

using namespace eval_test;

TEST(EvalStatistics, MedianMadAndMeanSd) {
    std::vector<double> odd{4, 100, 1, 3, 2};  // median 3, deviations 1 97 2 0 1 -> MAD 1
    vMedMAD(odd);
    EXPECT_EQ(odd, (std::vector<double>{1, 97, -2, 0, -1}));
    std::vector<double> even{10, 1, 4, 2};  // median (2+4)/2 = 3, deviations 7 2 1 1 -> MAD (1+2)/2 = 1.5
    vMedMAD(even);
    const std::vector<double> evenWant{7 / 1.5, -2 / 1.5, 1 / 1.5, -1 / 1.5};
    for (size_t k = 0; k < even.size(); ++k) EXPECT_NEAR(even[k], evenWant[k], 1e-12) << k;
    std::vector<double> flat{5, 5, 9, 5};  // MAD 0: the score says nothing, never infinite
    vMedMAD(flat);
    EXPECT_EQ(flat, (std::vector<double>{0, 0, 0, 0}));
    EXPECT_TRUE(std::isnan(vMedian({})));
    double m, sd;
    vMeanSd({2, 4, 4, 4, 5, 5, 7, 9}, m, sd);  // even count
    EXPECT_DOUBLE_EQ(m, 5.0);
    EXPECT_NEAR(sd, std::sqrt(32.0 / 7.0), 1e-12);  // n - 1, not n
    vMeanSd({1, 2, 6}, m, sd);  // odd count
    EXPECT_DOUBLE_EQ(m, 3.0);
    EXPECT_NEAR(sd, std::sqrt(7.0), 1e-12);  // deviations 2, 1, 3
    vMeanSd({3.25}, m, sd);
    EXPECT_TRUE(m == 3.25 && std::isnan(sd));
}

// Six alanines with only CA present: CA1..CA5 on the x axis 3.83 A apart
// from x = 1 (an atom at the origin counts as absent), CA6 5.05 A above CA3.
// Loop 2..3 meets (2,4) 7.66, (2,6) 6.34, (3,1) 7.66, (3,5) 7.66, (3,6) 5.05 A;
// (2,5) is beyond 8 A; neighbours (2,3), (3,4), (2,1) never count.
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

// 0.1 A bins from 2.0 A: 7.66 -> 56, 6.34 -> 43, 5.05 -> 30; index 400 bin + 20 (hi - 1) + (lo - 1).
TEST(EvalDistances, CountsNonNeighbourPairsInTheirBins) {
    EXPECT_EQ(fittedIndex(59, 20, 20), 23999);
    EXPECT_EQ(fittedIndex(3, 7, 14), 400 * 3 + 20 * 13 + 6);
    EXPECT_EQ(fittedIndex(3, 14, 7), fittedIndex(3, 7, 14));
    std::vector<double> fitted(FITTED_E_SIZE, 0.0);
    const int i56 = fittedIndex(56, 3, 3), i43 = fittedIndex(43, 3, 3), i30 = fittedIndex(30, 3, 3);
    fitted[i56] = 1.0, fitted[i43] = 10.0, fitted[i30] = 100.0;
    Structure s = caChain();
    s[4].type = GLY;  // a glycine's virtual CB (code 21) and an atom at the origin never count
    s[4].atoms[5].init(1.0 + 3.83 * 2 + 0.5, 3.0, 0.0, 21);
    s[5].atoms[5].init(0.0, 0.0, 0.0, 5);
    std::vector<int> counts(FITTED_E_SIZE, 0);
    double e = 0;
    for (int call = 1; call <= 2; ++call) {  // counts add up over calls
        ASSERT_EQ(dumpDistances(s, 2, 3, counts.data(), fitted, e), 1);
        EXPECT_EQ(counts[i56], 3 * call);
        EXPECT_EQ(counts[i43], call);
        EXPECT_EQ(counts[i30], call);
        EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0), 5 * call);
        EXPECT_DOUBLE_EQ(e, 113.0 * call);
    }
    // A pair under 2.0 A rejects the decoy and leaves the counts; the energy holds the pairs met before it.
    std::fill(fitted.begin(), fitted.end(), 1.0);
    s = caChain();
    s[6].atoms[1].init(1.0 + 3.83 * 2, 1.95, 0.0, 3);
    std::vector<int> seven(FITTED_E_SIZE, 7);
    e = 0;
    EXPECT_EQ(dumpDistances(s, 2, 3, seven.data(), fitted, e), 0);
    EXPECT_EQ(std::count(seven.begin(), seven.end(), 7), FITTED_E_SIZE);
    EXPECT_DOUBLE_EQ(e, 4.0);  // (2,4), (2,6), then (3,1) and (3,5)
    s[6].atoms[1].init(1.0 + 3.83 * 2, 2.0, 0.0, 3);  // exactly 2.0 A: no clash, bin 0
    std::fill(counts.begin(), counts.end(), 0);
    EXPECT_EQ(dumpDistances(s, 2, 3, counts.data(), fitted, e), 1);
    EXPECT_EQ(counts[fittedIndex(0, 3, 3)], 1);
    s[6].atoms[1].init(1.0 + 3.83 * 2, 25.0, 0.0, 3);  // CA 25 A away: skipped although its CB is 5 A from CA3
    s[6].atoms[5].init(1.0 + 3.83 * 2, 5.0, 0.0, 5);
    std::fill(counts.begin(), counts.end(), 0);
    ASSERT_EQ(dumpDistances(s, 2, 3, counts.data(), fitted, e), 1);
    EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0), 3);  // only the three 7.66 A pairs
}

TEST(EvalFittedTable, LogRatioFormatAndDumpReading) {
    std::vector<double> nearC(FITTED_E_SIZE, 0.0), otherC(FITTED_E_SIZE, 0.0);
    nearC[10] = 98, otherC[10] = 48;  // enriched near natives -> negative
    otherC[20] = 100;                 // only in others -> positive
    nearC[30] = 2, otherC[30] = 2;    // totals 100 and 150: other counts scaled by 2/3
    const auto e = fittedLogRatio(nearC, otherC, 2.0, 3.0);
    EXPECT_NEAR(e[10], -std::log(100.0 / (48.0 * 100 / 150 + 2)), 1e-12);
    EXPECT_NEAR(e[20], std::min(3.0, -std::log(2.0 / (100.0 * 100 / 150 + 2))), 1e-12);
    EXPECT_DOUBLE_EQ(e[0], 0.0);  // never counted
    EXPECT_DOUBLE_EQ(fittedLogRatio(nearC, otherC, 2.0, 1.0)[20], 1.0);  // capped
    const std::string line = formatFittedTable(e);
    EXPECT_EQ(line.find("  "), std::string::npos);
    EXPECT_EQ(line.find("-0.0000"), std::string::npos);
    EXPECT_EQ(numbers(line).size(), size_t(FITTED_E_SIZE));

    ScratchDir dir(true);
    std::ostringstream os;
    for (int group = 0; group < 2; ++group) {
        os << 3 - group;
        for (int k = 0; k < FITTED_E_SIZE; ++k) os << " " << (k == 5 + 2 * group ? 6 - 2 * group : 0);
        os << "\n";
    }
    writeFile("d.txt", os.str());
    DistanceCounts a, b;
    readDistanceDump("d.txt", a, b);
    EXPECT_TRUE(a.decoys == 3 && a.counts[5] == 6 && b.decoys == 2 && b.counts[7] == 4);
    writeFile("short.txt", "3 1 2 3\n1 2\n");
    EXPECT_ERROR(readDistanceDump("short.txt", a, b), 1, "short.txt line 1");
}

// The derivation command (lorvane-params fittede) on two compare-mode dumps alone.
TEST(EvalFittedTable, CommandFromDumps) {
    const std::string exe = std::string(LORVANE_BINARY_DIR) + "/lorvane-params";
    ScratchDir dir(true);
    auto dump = [](const std::string& path, int nNear, int nOther) {  // per decoy: 40 at 100 (near) or 200 (other), 10 at 500
        std::ostringstream os;
        for (auto [n, at] : {std::pair{nNear, 100}, {nOther, 200}}) {
            os << n;
            for (int k = 0; k < FITTED_E_SIZE; ++k) os << " " << (k == at ? 40 * n : k == 500 ? 10 * n : 0);
            os << "\n";
        }
        writeFile(path, os.str());
    };
    dump("a.txt", 2, 5);
    dump("b.txt", 4, 3);
    std::filesystem::create_directories("out");
    ASSERT_EQ(std::system((exe + " fittede --loops 0 --dump a.txt --dump b.txt --out out > log.txt 2>&1").c_str()), 0);
    const auto l = lines(lorvane_test::slurp("out/fittedE.txt"));
    ASSERT_EQ(l.size(), 1u);
    const auto v = numbers(l[0]);
    ASSERT_EQ(v.size(), size_t(FITTED_E_SIZE));
    // Per-decoy means summed over the dumps: near 80 at 100, other 80 at 200, both 20 at 500; pseudo-count 2, cap 3.
    EXPECT_NEAR(v[100], std::max(-3.0, -std::log(82.0 / 2.0)), 1e-4);
    EXPECT_NEAR(v[200], std::min(3.0, -std::log(2.0 / 82.0)), 1e-4);
    EXPECT_NEAR(v[500], 0.0, 1e-4);
    EXPECT_DOUBLE_EQ(v[0], 0.0);
}

}  // namespace
