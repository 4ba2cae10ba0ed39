// The run's outputs and where the program finds things: the help reference
// against the parser, the default result name shared by two inputs, the data
// directory lookup, and sampling runs writing the result file, the ranking
// table and the models (model 1 being the conformation ranked first).
#include <gemmi/cif.hpp>
#include <gemmi/mmcif.hpp>
#include <gemmi/pdb.hpp>

#include <filesystem>
#include <map>

#include "driver/data_directory.h"
#include "driver/driver.h"
#include "driver/output_names.h"
#include "evaluate/result_file.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

TEST(Help, ListsEveryOptionTheParserAccepts) {
    const std::map<std::string, std::vector<std::string>> values = {
        {"FILE", {"x.pdb"}}, {"N[I]", {"60A"}}, {"ID", {"H"}},     {"SEQ", {"VIDGETCL"}}, {"MODE", {"smc"}},
        {"N", {"100"}},      {"X", {"0.5"}},    {"PREFIX", {"a/b"}}, {"DIR", {"tables"}}, {"NAME", {"classic"}},
        {"S,P,T,D", {"0,1,5,4"}}};
    const std::string help = helpText();
    for (const OptionHelp& o : optionReference()) {
        SCOPED_TRACE(o.option);
        std::vector<std::string> args{"lorvane", o.option};
        if (*o.value) args.push_back(values.at(o.value).front());
        RunOptions opt;
        EXPECT_NO_THROW(parseArguments(args, opt));
        EXPECT_NE(help.find(std::string("  ") + o.option + " "), std::string::npos);
    }
    ScratchDir dir;
    for (const char* flag : {"-h", "--help", "-f x.pdb --help -nonsense"}) {
        const ProgramRun r = runProgram(dir.root(), flag);
        EXPECT_EQ(r.status, 0) << flag;
        EXPECT_EQ(r.err, "");
        for (const char* option : {"-o PREFIX", "-models N", "-data DIR", "-chain ID", "-seq SEQ", "-numloop N"})
            EXPECT_NE(r.out.find(option), std::string::npos) << option;
    }
    EXPECT_FALSE(fs::exists(dir.path("command.log"))) << "help runs nothing";
    RunOptions o;
    parseArguments({"lorvane", "-o", "runs/x", "-models", "0", "-data", "t"}, o);
    EXPECT_TRUE(o.outputPrefix == "runs/x" && o.models == 0 && o.dataDir == "t");
    for (const auto& bad : std::vector<std::vector<std::string>>{{"-o"}, {"-o", "dir/"}, {"-models", "-1"}, {"-models", "x"}, {"-data"}}) {
        std::vector<std::string> args{"lorvane"};
        args.insert(args.end(), bad.begin(), bad.end());
        RunOptions x;
        EXPECT_ERROR(parseArguments(args, x), 2, "Option (-o|-models|-data)");
    }
}

TEST(OutputNames, DefaultNameSharedByTwoInputsIsWarnedOf) {
    ScratchDir dir(true);
    auto opt = [](const std::string& file, const std::string& prefix = "") {
        RunOptions o;
        parseArguments({"lorvane", "-f", file, "-start", "45", "-end", "52"}, o);
        o.outputPrefix = prefix;
        return o;
    };
    EXPECT_EQ(outputPrefix(opt("in/protein_chainA.pdb")), "pdbout/protei_45_52");
    EXPECT_EQ(outputPrefix(opt("in/5p21.pdb", "runs/a")), "runs/a");
    struct Case {
        const char* what;
        std::string log;
        bool resultExists;
        std::string file, prefix;
        bool warned;
    };
    const std::string a = "lorvane -f protein_chainA.pdb -start 45 -end 52 -cores 1 \n";
    const std::vector<Case> cases = {
        {"another input wrote it", a, true, "protein_chainB.pdb", "", true},
        {"the same input again", a, true, "protein_chainA.pdb", "", false},
        {"the same input, written another way", a, true, "./protein_chainA.pdb", "", false},
        {"no result file to replace", a, false, "protein_chainB.pdb", "", false},
        {"-o names its own files", a, true, "protein_chainB.pdb", "runs/b", false},
        {"the last writer counts", a + "lorvane -f protein_chainB.pdb -start 45 -end 52 \n", true, "protein_chainB.pdb", "", false},
        {"runs with -o or other loops wrote elsewhere",
         "lorvane -f protein_chainA.pdb -start 45 -end 52 -o x \nlorvane -f protein_chainA.pdb -start 45 -end 53 \n"
         "lorvane -mode compare -f protein_chainA.pdb -start 45 -end 52 -score s.txt \n",
         true, "protein_chainB.pdb", "", false},
        {"no log", "", true, "protein_chainB.pdb", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all("pdbout");
        writeFile("command.log", c.log);
        writeFile("protein_chainA.pdb", "");
        if (c.resultExists) writeFile("pdbout/protei_45_52.txt", "LOOP 1 0 0 0 0\n");
        testing::internal::CaptureStderr();
        const std::string w = warnOfReplacedResult(opt(c.file, c.prefix), "command.log");
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(!w.empty(), c.warned) << w;
        EXPECT_EQ(err, w.empty() ? "" : w + "\n");
        if (c.warned) {
            for (const char* part : {"pdbout/protei_45_52.txt", "protein_chainA.pdb", "protein_chainB.pdb", "-o PREFIX"})
                EXPECT_NE(w.find(part), std::string::npos) << part;
        }
    }
}

TEST(DataDirectory, LookupOrder) {
    ScratchDir dir(true);
    writeFile("full/atomProp2.txt", "x"), writeFile("full/QUENDApair.lib", "x");
    writeFile("source/atomProp2.txt", "x");  // a source tree's data/: no expanded pair table
    writeFile("other/atomProp2.txt", "x"), writeFile("other/QUENDApair.lib", "x");
    struct Case {
        const char* what;
        std::string option;
        const char* env;
        std::vector<std::string> candidates;
        std::string found;  // "" = an error
        std::string error = "";
    };
    const std::vector<Case> cases = {
        {"-data first", "other", "full", {"full"}, "other"},
        {"-data is taken as given", "source", nullptr, {"full"}, "source"},
        {"then LORVANE_DATA", "", "other", {"full"}, "other"},
        {"an empty LORVANE_DATA is unset", "", "", {"full"}, "full"},
        {"then the first candidate holding the tables", "", nullptr, {"source", "absent", "full", "other"}, "full"},
        {"a missing -data directory", "absent", nullptr, {"full"}, "", "data directory absent \\(-data\\) does not exist"},
        {"a missing LORVANE_DATA directory", "", "absent", {"full"}, "", "absent \\(LORVANE_DATA\\)"},
        {"nothing holds the tables", "", nullptr, {"source", "absent"}, "", "in source, absent: give one with -data DIR or LORVANE_DATA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string passedOver = "?";
        if (c.found.empty())
            EXPECT_ERROR(findDataDirectory(c.option, c.env, c.candidates, &passedOver), 1, c.error);
        else
            EXPECT_EQ(findDataDirectory(c.option, c.env, c.candidates, &passedOver), c.found);
        // A directory with some of the tables, passed over on the way to the one used, is named.
        const bool passed = c.option.empty() && (c.env == nullptr || !*c.env) && c.candidates.front() == "source" && !c.found.empty();
        if (passed) {
            EXPECT_EQ(passedOver, "source");
        } else if (!c.found.empty()) {
            EXPECT_EQ(passedOver, c.option.empty() && (c.env == nullptr || !*c.env) ? "" : "?");
        }
    }
    const std::vector<std::string> def = defaultDataCandidates("/opt/x/bin");
    EXPECT_EQ(def, (std::vector<std::string>{"data", "/opt/x/share/lorvane/data", "/opt/x/bin/data"}));
    EXPECT_EQ(executableDirectory(nullptr), fs::read_symlink("/proc/self/exe").parent_path().string());
}

// The program itself: from a directory without data/ it finds the build's
// tables beside the executable; -data and LORVANE_DATA point elsewhere.
TEST(DataDirectory, ProgramRunsFromAnyDirectory) {
    ScratchDir dir;
    const std::string energy = "-mode energy -f " + sourcePath("examples/5p21.pdb") + " -start 45 -end 52";
    const ProgramRun plain = runProgram(dir.root(), energy);
    EXPECT_EQ(plain.status, 0) << plain.err;
    const ProgramRun given = runProgram(dir.root(), energy + " -data " + buildDataPath());
    EXPECT_EQ(given.status, 0) << given.err;
    EXPECT_EQ(given.out, plain.out);
    const ProgramRun bad = runProgram(dir.root(), energy + " -data nowhere");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "data directory nowhere (-data) does not exist\n");
    fs::create_directories(dir.path("tables"));
    const ProgramRun empty = runProgram(dir.root(), energy, "LORVANE_DATA=tables");
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.err.find("tables/atomProp2.txt"), std::string::npos) << empty.err;
}

// Loop residues first..last of chain `chain` in model m, in order.
std::vector<const gemmi::Residue*> loopOf(const gemmi::Model& m, const std::string& chain, int first, int last) {
    std::vector<const gemmi::Residue*> out;
    for (const gemmi::Residue& r : m.find_chain(chain)->residues)
        if (r.het_flag != 'H' && *r.seqid.num >= first && *r.seqid.num <= last) out.push_back(&r);
    return out;
}

// Sampling runs on H-Ras 45-52: with -o into directories yet to be made (PDB),
// and with the default name (mmCIF input). The ranking table has a row per
// conformation of the result file; the models file has the top ones in rank
// order, model 1's loop atom for atom the conformation ranked first.
TEST(OutputsSlow, SamplingRunWritesRankingAndModels) {
    struct Case {
        std::string input, args, prefix, models;
        int count;
    };
    const std::vector<Case> cases = {
        {sourcePath("examples/5p21.pdb"), "-o runs/ras/loop", "runs/ras/loop", "runs/ras/loop.models.pdb", 10},
        {sourcePath("tests/data/entries/5p21.cif.gz"), "-models 3", "pdbout/5p21_45_52", "pdbout/5p21_45_52.models.cif", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ScratchDir dir;
        const ProgramRun r = runProgram(dir.root(), "-f " + c.input + " -start 45 -end 52 -seeds 300 -numloop 30 -cores 1 -rs 3 " + c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<ResultConformation> confs = readConformations(dir.path(c.prefix + ".txt"), 8, 100000);
        const std::vector<std::string> table = lines(slurp(dir.path(c.prefix + ".ranking.tsv")));
        ASSERT_EQ(table.size(), confs.size() + 1);
        const std::string last = lines(r.out).back();
        for (const std::string& part : {c.prefix + ".txt", c.prefix + ".ranking.tsv", c.models, std::to_string(confs.size()) + " conformations",
                                        std::string("best combined score"), std::string("run time")})
            EXPECT_NE(last.find(part), std::string::npos) << part << " in " << last;
        std::vector<int> index;
        for (size_t k = 1; k < table.size(); ++k) {
            std::istringstream row(table[k]);
            int rank = 0, i = 0;
            row >> rank >> i;
            EXPECT_EQ(rank, int(k));
            index.push_back(i);
        }
        const bool cif = c.models.find(".cif") != std::string::npos;
        const gemmi::Structure st = cif ? gemmi::make_structure(gemmi::cif::read_file(dir.path(c.models))) : gemmi::read_pdb_file(dir.path(c.models));
        ASSERT_EQ(static_cast<int>(st.models.size()), std::min<int>(c.count, confs.size()));
        const ResultConformation& top = confs[index[0] - 1];
        const std::vector<const gemmi::Residue*> loop = loopOf(st.models[0], "A", 45, 52);
        ASSERT_EQ(loop.size(), 8u);
        for (size_t i = 0; i < loop.size(); ++i) {
            ASSERT_EQ(loop[i]->atoms.size(), top.residues[i].atoms.size());
            for (size_t j = 0; j < loop[i]->atoms.size(); ++j) {
                const ResultAtom& w = top.residues[i].atoms[j];
                EXPECT_EQ(loop[i]->atoms[j].name, w.name);
                EXPECT_LT(loop[i]->atoms[j].pos.dist(gemmi::Position(w.x, w.y, w.z)), 1e-3);
            }
        }
        int waters = 0;
        for (const gemmi::Residue& res : st.models[0].find_chain("A")->residues) waters += res.name == "HOH";
        EXPECT_GT(waters, 100) << "the entry's waters are kept";
    }
}

// Two sampling tables in one run write exactly what two runs write, one with
// each table, joined: the first's loops, then the second's numbered on from
// them, ranked as one set. Split (-xtwotables): half the seeds each;
// supplement (-xsupplement): the whole run, then half the seeds more.
TEST(OutputsSlow, TwoTablesWriteTheTwoRunsTogether) {
    struct Case {
        std::string both, first, second;
    };
    ScratchDir dir;
    const std::string common = "-f " + sourcePath("examples/5p21.pdb") + " -start 45 -end 52 -cores 1 -rs 5 -quiet ";
    const std::vector<Case> cases = {
        {"-seeds 400 -numloop 30 -xtwotables -o split", "-seeds 200 -numloop 15 -xnosupplement -o first", "-seeds 200 -numloop 15 -xgrowdfire -o second"},
        {"-seeds 200 -numloop 15 -xsupplement -o supplement", "-seeds 200 -numloop 15 -xnosupplement -o first", "-seeds 100 -numloop 7 -xgrowdfire -o extra"},
    };
    auto run = [&](const std::string& args) {
        const std::string prefix = args.substr(args.rfind(' ') + 1);
        if (!std::filesystem::exists(dir.path(prefix + ".txt"))) {
            const ProgramRun r = runProgram(dir.root(), common + args);
            EXPECT_EQ(r.status, 0) << args << ": " << r.err;
        }
        return readConformations(dir.path(prefix + ".txt"), 8, 1000);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.both);
        const std::vector<ResultConformation> first = run(c.first), second = run(c.second), both = run(c.both);
        ASSERT_EQ(both.size(), first.size() + second.size());
        ASSERT_GT(second.size(), 0u);
        for (size_t k = 0; k < both.size(); ++k) {
            const ResultConformation& want = k < first.size() ? first[k] : second[k - first.size()];
            EXPECT_EQ(both[k].scores, want.scores) << "loop " << k + 1;
            EXPECT_EQ(backboneRmsd(both[k], want), 0.0) << "loop " << k + 1;
        }
        const std::string prefix = c.both.substr(c.both.rfind(' ') + 1);
        std::vector<std::string> numbers;
        for (const std::string& l : lines(slurp(dir.path(prefix + ".txt"))))
            if (l.rfind("LOOP ", 0) == 0) numbers.push_back(l.substr(5, l.find(' ', 5) - 5));
        ASSERT_EQ(numbers.size(), both.size());
        for (size_t k = 0; k < numbers.size(); ++k) EXPECT_EQ(numbers[k], std::to_string(k + 1));
        EXPECT_EQ(lines(slurp(dir.path(prefix + ".ranking.tsv"))).size(), both.size() + 1);
    }
}

}  // namespace
