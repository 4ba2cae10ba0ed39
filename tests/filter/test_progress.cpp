// Progress on standard error: the step line (counts, elapsed and estimated
// time left), rewriting in place on a terminal, one line per step in a log,
// nothing with -quiet; and what a whole run prints with and without it.
#include <gtest/gtest.h>

#include <sstream>

#include "filter/progress.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

TEST(Progress, StepLineCountsAndTimes) {
    struct Case {
        int done, total, seeds;
        double elapsed;
        const char* want;
    };
    const Case cases[] = {
        {1, 8, 100, 2.0, "Step 1/8  100 seeds  elapsed 0:02  left ~0:14"},
        {4, 8, 1000, 30.4, "Step 4/8  1000 seeds  elapsed 0:30  left ~0:30"},
        {7, 8, 998, 4200.0, "Step 7/8  998 seeds  elapsed 1:10:00  left ~10:00"},
        {8, 8, 200, 61.0, "Step 8/8  200 seeds  elapsed 1:01"},  // the last step has nothing left
    };
    for (const Case& c : cases) EXPECT_EQ(Progress::line(c.done, c.total, c.seeds, c.elapsed), c.want);
    EXPECT_EQ(clockTime(0.4), "0:00");
    EXPECT_EQ(clockTime(59.6), "1:00");
    EXPECT_EQ(clockTime(3599.6), "1:00:00");
    EXPECT_EQ(clockTime(-3.0), "0:00");
}

TEST(Progress, InPlaceLineLogLinesOrNothing) {
    {  // a log: one line per step
        std::ostringstream out;
        Progress p(out, true, false);
        p.step(1, 2, 100, 1.0);
        p.step(2, 2, 50, 2.0);
        EXPECT_EQ(out.str(), "Step 1/2  100 seeds  elapsed 0:01  left ~0:01\nStep 2/2  50 seeds  elapsed 0:02\n");
    }
    {  // a terminal: rewritten in place, the shorter line blanking the rest, a note on its own line
        std::ostringstream out;
        {
            Progress p(out, true, true);
            p.step(1, 2, 100, 1.0);
            p.note("Restarting this residue.");
            p.step(2, 2, 50, 2.0);
        }  // the destructor ends the line
        const std::string l1 = "Step 1/2  100 seeds  elapsed 0:01  left ~0:01", l2 = "Step 2/2  50 seeds  elapsed 0:02";
        EXPECT_EQ(out.str(), "\r" + l1 + "\nRestarting this residue.\n\r" + l2 + "\n");
        std::ostringstream again;
        Progress p(again, true, true);
        p.step(1, 2, 100, 1.0);
        p.step(2, 2, 50, 2.0);
        p.finish();
        p.finish();  // once only
        EXPECT_EQ(again.str(), "\r" + l1 + "\r" + l2 + std::string(l1.size() - l2.size(), ' ') + "\n");
    }
    {  // off (-quiet): notes only
        std::ostringstream out;
        Progress p(out, false, true);
        p.step(1, 2, 100, 1.0);
        p.note("Restarting this residue.");
        p.finish();
        EXPECT_EQ(out.str(), "Restarting this residue.\n");
    }
}

// A run writing to a pipe: one progress line per growth step on standard
// error, nothing on standard output; with -quiet standard error stays empty.
TEST(ProgressSlow, RunReportsEveryStepUnlessQuiet) {
    ExampleRunDir dir;
    const std::string args = "-f 5p21.pdb -start 45 -end 49 -seeds 200 -numloop 10 -cores 1";
    const ProgramRun r = runProgram(dir.root(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Wrote pdbout/5p21_45_49.txt", 0), 0u) << "standard output: the result line only";
    EXPECT_EQ(lines(r.out).size(), 1u) << r.out;
    EXPECT_NE(r.err.find("Step 1/2  "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Step 2/2  "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("left ~"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no in-place rewriting off a terminal";
    const ProgramRun q = runProgram(dir.root(), args + " -quiet");
    ASSERT_EQ(q.status, 0) << q.err;
    EXPECT_EQ(lines(q.out).size(), 1u) << q.out;
    EXPECT_EQ(q.err, "");
}

}  // namespace
