// Result file: directories, early failure, record format and the checker
// that reads it back.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "filter/filter.h"
#include "filter/loop_check.h"
#include "support/support.h"

using namespace lorvane;

TEST(OutputFiles, CreatesMissingDirectoriesAndKeepsAnEarlierResult) {
    lorvane_test::ScratchDir dir(true);
    prepareOutputFiles("pdbout/1abc_10_17.txt", false);
    EXPECT_TRUE(std::filesystem::is_directory("pdbout"));
    EXPECT_FALSE(std::filesystem::exists("output"));
    EXPECT_TRUE(std::filesystem::is_empty("pdbout"));  // the probe file is gone again
    // The result of an earlier run with the same prefix stays until a new one is complete.
    { std::ofstream("pdbout/1abc_10_17.txt") << "LOOP old\n"; }
    prepareOutputFiles("pdbout/1abc_10_17.txt", true);
    EXPECT_TRUE(std::filesystem::is_directory("output"));
    EXPECT_EQ(lorvane_test::slurp("pdbout/1abc_10_17.txt"), "LOOP old\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("pdbout"), std::filesystem::directory_iterator()), 1);
    prepareOutputFiles("runs/a/b/loop.txt", false);  // an -o prefix in directories yet to be made
    EXPECT_TRUE(std::filesystem::is_directory("runs/a/b"));
    EXPECT_TRUE(std::filesystem::is_empty("runs/a/b"));
}

TEST(OutputFiles, UnusableResultLocationStopsWithStatus1) {
    {
        lorvane_test::ScratchDir dir(true);
        { std::ofstream("pdbout") << "a file where the directory should be\n"; }
        EXPECT_ERROR(prepareOutputFiles("pdbout/x_1_8.txt", false), 1, "");
    }
    {
        lorvane_test::ScratchDir dir(true);
        std::filesystem::create_directories("pdbout/x_1_8.txt");  // a directory in place of the file
        EXPECT_ERROR(prepareOutputFiles("pdbout/x_1_8.txt", false), 1, "");
    }
    if (geteuid() != 0) {  // root writes anywhere
        lorvane_test::ScratchDir dir(true);
        std::filesystem::create_directories("pdbout");
        chmod("pdbout", 0500);
        EXPECT_ERROR(prepareOutputFiles("pdbout/x_1_8.txt", false), 1, "");
        chmod("pdbout", 0700);
    }
}

TEST(ResultRecord, LoopLineHasTwoDecimalsAndCapsG) {
    std::ostringstream out;
    writeLoopLine(out, 1, -12.345678, 3.0, -45.6749, 12.0);
    writeLoopLine(out, 2, 0.0, -0.001, 1.0, 2.5e6);
    writeLoopLine(out, 3, 1.0, 1.0, 1.0, 1000000.0);
    writeLoopLine(out, 4, 1.0, 1.0, 1.0, NAN);
    writeLoopLine(out, 5, 1.0, 1.0, 1.0, INFINITY);
    writeLoopLine(out, 6, 1.0, 1.0, 1.0, 999999.994);
    EXPECT_EQ(out.str(),
              "LOOP 1 -12.35 3.00 -45.67 12.00\n"
              "LOOP 2 0.00 -0.00 1.00 1000000.00\n"
              "LOOP 3 1.00 1.00 1.00 1000000.00\n"
              "LOOP 4 1.00 1.00 1.00 1000000.00\n"
              "LOOP 5 1.00 1.00 1.00 1000000.00\n"
              "LOOP 6 1.00 1.00 1.00 999999.99\n");
}

namespace {

// A two-residue frame-and-loop toy: residues 9 (frame), 10-11 (loop), 12 (frame).
const char* kFrame =
    "ATOM      1  N   GLY A   9       0.000   0.000   0.000  1.00  0.00           N\n"
    "ATOM      2  CA  GLY A   9       1.458   0.000   0.000  1.00  0.00           C\n"
    "ATOM      3  C   GLY A   9       2.009   1.420   0.000  1.00  0.00           C\n"
    "ATOM      4  O   GLY A   9       1.250   2.390   0.000  1.00  0.00           O\n"
    "ATOM      5  N   GLY A  10       3.330   1.550   0.000  1.00  0.00           N\n"
    "ATOM      6  CA  GLY A  10       3.970   2.860   0.000  1.00  0.00           C\n"
    "ATOM      7  C   GLY A  10       5.480   2.700   0.000  1.00  0.00           C\n"
    "ATOM      8  O   GLY A  10       6.000   1.590   0.000  1.00  0.00           O\n"
    "ATOM      9  N   GLY A  11       6.180   3.830   0.000  1.00  0.00           N\n"
    "ATOM     10  CA  GLY A  11       7.630   3.830   0.000  1.00  0.00           C\n"
    "ATOM     11  C   GLY A  11       8.180   5.250   0.000  1.00  0.00           C\n"
    "ATOM     12  O   GLY A  11       7.420   6.220   0.000  1.00  0.00           O\n"
    "ATOM     13  N   GLY A  12       9.500   5.380   0.000  1.00  0.00           N\n"
    "ATOM     14  CA  GLY A  12      10.140   6.690   0.000  1.00  0.00           C\n";

std::string record(int serial, const char* name, int res, double x, double y, double z) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "ATOM  %5d  %-3s GLY A%4d    %8.3f%8.3f%8.3f", serial, name, res, x, y, z);
    return buf;
}

}  // namespace

TEST(LoopChecker, AcceptsTheNativeLoopAndCatchesBrokenOnes) {
    lorvane_test::ScratchDir dir(true);
    { std::ofstream("in.pdb") << kFrame; }
    auto write = [](double shiftO) {
        std::ofstream out("res.txt");
        writeLoopLine(out, 1, -1, 0, -2, 3);
        out << record(1, "N", 10, 3.33, 1.55, 0) << "\n" << record(2, "CA", 10, 3.97, 2.86, 0) << "\n"
            << record(3, "C", 10, 5.48, 2.70, 0) << "\n" << record(4, "O", 10, 6.0 + shiftO, 1.59, 0) << "\n"
            << record(1, "N", 11, 6.18, 3.83, 0) << "\n";
        out << "END \n";
    };
    // Serial numbers restart per loop only: the second N with serial 1 is a format error.
    write(0.0);
    std::vector<WrittenLoop> loops;
    std::string err;
    EXPECT_FALSE(readResultFile("res.txt", loops, err));
    EXPECT_NE(err.find("serial"), std::string::npos) << err;

    {
        std::ofstream out("res.txt");
        for (int w = 1; w <= 2; ++w) {
            writeLoopLine(out, w, -1, 0, -2 - w, 3);
            const double dx = w == 2 ? 0.3 : 0.0;  // loop 2: the O of 10 moved
            out << record(1, "N", 10, 3.33, 1.55, 0) << "\n" << record(2, "CA", 10, 3.97, 2.86, 0) << "\n"
                << record(3, "C", 10, 5.48, 2.70, 0) << "\n" << record(4, "O", 10, 6.0 + dx, 1.59, 0) << "\n"
                << record(5, "N", 11, 6.18, 3.83, 0) << "\n" << record(6, "CA", 11, 7.63, 3.83, 0) << "\n"
                << record(7, "C", 11, 8.18, 5.25, 0) << "\n" << record(8, "O", 11, 7.42, 6.22, 0) << "\n";
            out << "END \n";
        }
    }
    ASSERT_TRUE(readResultFile("res.txt", loops, err)) << err;
    ASSERT_EQ(loops.size(), 2u);
    EXPECT_DOUBLE_EQ(loops[1].quenda, -4.0);
    std::vector<CheckAtom> frame;
    ASSERT_TRUE(readFrame("in.pdb", '\0', frame, err)) << err;
    const LoopVerdict v1 = checkLoop(loops[0], frame, 10, 11);
    EXPECT_TRUE(v1.ok) << v1.problem;
    EXPECT_NEAR(v1.rmsd, 0.0, 1e-9);
    const LoopVerdict v2 = checkLoop(loops[1], frame, 10, 11);
    EXPECT_TRUE(v2.ok) << v2.problem;
    EXPECT_NEAR(v2.rmsd, std::sqrt(0.09 / 8), 1e-6);

    // A moved anchor, a stretched peptide bond and a clash are each caught.
    WrittenLoop bad = loops[0];
    bad.atoms[1].x += 0.5;  // CA of the first residue
    EXPECT_FALSE(checkLoop(bad, frame, 10, 11).ok);
    bad = loops[0];
    bad.atoms[4].x += 0.3;  // N of 11: C(10)-N(11) 1.51 A
    EXPECT_FALSE(checkLoop(bad, frame, 10, 11).ok);
    bad = loops[0];
    bad.atoms[3].x = 1.3;  // O of 10 on top of the frame's O of 9
    bad.atoms[3].y = 2.4;
    const LoopVerdict v3 = checkLoop(bad, frame, 10, 11);
    EXPECT_FALSE(v3.ok);
    EXPECT_LT(v3.minFrameDist, 2.0);

    // Missing END and a LOOP line with three decimals are format errors.
    { std::ofstream("res2.txt") << "LOOP 1 1.00 2.00 3.00 4.000\n"; }
    EXPECT_FALSE(readResultFile("res2.txt", loops, err));
    {
        std::ofstream out("res3.txt");
        writeLoopLine(out, 1, 1, 2, 3, 4);
        out << record(1, "N", 10, 3.33, 1.55, 0) << "\n";
    }
    EXPECT_FALSE(readResultFile("res3.txt", loops, err));
}
