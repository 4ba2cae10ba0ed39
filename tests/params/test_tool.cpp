// The command line of lorvane-params, its file readers and writers, and the
// commands run twice on one synthetic training folder.
#include <zlib.h>

#include "params/commands.h"
#include "params/options.h"
#include "params/table_io.h"
#include "model/text_scan.h"
#include "params_support.h"
#include "training_folder.h"

using namespace params_test;

TEST(ParamsOptions, SharedAndCommandOptionsParsed) {
    std::vector<std::string> dumps;
    int loops = 450;
    bool holdout = false;
    const Options o = OptionParser("test")
                          .texts("--dump", dumps)
                          .integer("--loops", loops, 0, 100)
                          .flag("--holdout", holdout)
                          .parse({"--train", "t", "--dump", "a", "--out", "o", "--exclude", "x.txt", "--threads", "3", "--no-dssp", "--dump",
                                  "b", "--loops", "0", "--holdout"});
    EXPECT_EQ(o.train, "t");
    EXPECT_EQ(o.out, "o");
    EXPECT_EQ(o.exclude, "x.txt");
    EXPECT_EQ(o.threads, 3);
    EXPECT_FALSE(o.dssp);
    EXPECT_EQ(dumps, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(loops, 0);
    EXPECT_TRUE(holdout);
    const Options d = parseOptions({}, "test");
    EXPECT_EQ(d.out, "data");
    EXPECT_EQ(d.threads, 2);
    EXPECT_TRUE(d.dssp);
}

TEST(ParamsOptions, MisuseIsStatusTwo) {
    int loops = 0;
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--bogus"}, "test: unknown option \"--bogus\""},
        {{"--threads", "zero"}, "bad value \"zero\" for --threads"},
        {{"--threads", "0"}, "bad value \"0\" for --threads"},
        {{"--threads", "2.5"}, "bad value"},
        {{"--train"}, "option --train needs a value"},
        {{"--loops", "101"}, "bad value \"101\" for --loops"},
        {{"--dump", "x"}, "unknown option \"--dump\""},
    };
    for (const auto& c : cases) EXPECT_ERROR(OptionParser("test").integer("--loops", loops, 0, 100).parse(c.args), 2, c.message);
}

TEST(ParamsTool, UsageUnknownCommandAndCommandTable) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(runTool({}), 2);
    EXPECT_EQ(runTool({"--help"}), 0);
    const std::string usage = testing::internal::GetCapturedStdout();
    for (const Command& c : commands()) EXPECT_NE(usage.find(std::string("  ") + c.name), std::string::npos) << c.name;
    EXPECT_ERROR(runTool({"dervie"}), 2, "unknown command \"dervie\"");
    EXPECT_ERROR(runTool({"derive", "--bogus"}), 2, "derive: unknown option");
    // loop-set writes a measuring table: without --out it would land in the program's table folder.
    EXPECT_ERROR(runTool({"loop-set", "--count", "3"}), 2, "loop-set: needs --out DIR");
    // The commands are listed in name order; derive runs the six table commands.
    int inDerive = 0;
    for (size_t k = 0; k < commands().size(); ++k) {
        if (k) {
            EXPECT_LT(std::string(commands()[k - 1].name), std::string(commands()[k].name));
        }
        inDerive += commands()[k].deriveOrder > 0;
    }
    EXPECT_EQ(inDerive, 6);
}

TEST(ParamsTableIo, NumbersAsTheTablesPrintThem) {
    const struct {
        double v;
        int decimals;
        const char* text;
    } fixed[] = {{-0.0004, 3, "0.000"}, {-0.00001, 3, "0.000"}, {-0.0005, 3, "-0.001"}, {3.14159, 3, "3.142"},
                 {101.0, 3, "101.000"}, {-0.04, 1, "0.0"},     {-2.5, 0, "-2"}};
    for (const auto& f : fixed) EXPECT_EQ(formatFixed(f.v, f.decimals), f.text) << f.v;
    EXPECT_EQ(formatProbability(0.0), "0");
    EXPECT_EQ(formatProbability(-1e-9), "0");
    EXPECT_EQ(formatProbability(1.5e-5), "1.5000e-05");
    EXPECT_EQ(outPath("", "a.txt"), "a.txt");
    EXPECT_EQ(outPath("d", "a.txt"), "d/a.txt");
}

TEST(ParamsTableIo, GzipIsDeterministicAndReadsBack) {
    lorvane_test::ScratchDir dir;
    std::string text;
    for (int k = 0; k < 20000; ++k) text += std::to_string(k * 7919 % 1000) + (k % 17 ? " " : "\n");
    writeGzipFile(dir.path("sub/a.gz"), text);  // the folder is created
    writeGzipFile(dir.path("b.gz"), text);
    std::string back;
    ASSERT_TRUE(textscan::readWholeFile(dir.path("sub/a.gz"), back));
    EXPECT_EQ(back, text);
    const std::string a = lorvane_test::slurp(dir.path("sub/a.gz")), b = lorvane_test::slurp(dir.path("b.gz"));
    EXPECT_EQ(a, b);
    ASSERT_GT(a.size(), 10u);
    EXPECT_EQ(static_cast<unsigned char>(a[0]), 0x1f);
    EXPECT_EQ(static_cast<unsigned char>(a[1]), 0x8b);
    EXPECT_EQ(a.substr(4, 4), std::string(4, '\0')) << "no time stamp in the header";
    // Plain files read unchanged; a missing one is reported, an unwritable path throws.
    writeTextFile(dir.path("plain.txt"), "x y\n");
    ASSERT_TRUE(textscan::readWholeFile(dir.path("plain.txt"), back));
    EXPECT_EQ(back, "x y\n");
    EXPECT_FALSE(textscan::readWholeFile(dir.path("missing.txt"), back));
    EXPECT_ERROR(writeTextFile(dir.path("plain.txt/inside"), "x"), 1, "cannot write .*plain.txt/inside");
}

class ParamsCommands : public TrainingFolderTest {};

TEST_F(ParamsCommands, DerivationsWriteIdenticalFilesWithOneAndTwoThreads) {
    lorvane_test::ScratchDir out1, out2;
    testing::internal::CaptureStdout();
    for (const char* name : {"phipsi", "distances", "rotamers"}) {
        EXPECT_EQ(runTool({name, "--train", folder(), "--out", out1.root(), "--no-dssp", "--threads", "1"}), 0) << name;
        EXPECT_EQ(runTool({name, "--train", folder(), "--out", out2.root(), "--no-dssp", "--threads", "2"}), 0) << name;
    }
    testing::internal::GetCapturedStdout();
    for (const char* f : {"phipsi.bb.txt", "joint.distance.txt", "joint.distance.backward.txt", "joint.distance.conditional.txt",
                          "joint.distance.conditional.backward.txt", "newsimplRot.txt"}) {
        const std::string a = lorvane_test::slurp(out1.path(f)), b = lorvane_test::slurp(out2.path(f));
        EXPECT_FALSE(a.empty()) << f;
        EXPECT_EQ(a, b) << f;
    }
    // A command that cannot read its training folder stops with status 1.
    EXPECT_ERROR(runTool({"distances", "--train", "/nonexistent/train", "--out", out1.root()}), 1,
                 "training folder /nonexistent/train does not exist");
}
