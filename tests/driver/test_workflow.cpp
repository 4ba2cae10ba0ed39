// Batch workflow (workflow/Snakefile): planning for a SLURM cluster and local runs
// end to end with the stand-in program workflow/scripts/fake_lorvane.py.
//
// The stand-in writes, for loop S-E, 24 conformations; conformation k is the input
// loop moved by 0.25 k Å, and the one of lowest combined score is k0 = 1 + (S+E) % 5.
// So the workflow's figures are known exactly: best RMSD 0.25 Å, prediction 0.25 k0 Å,
// RMSD between conformations j and k 0.25 |j - k| Å (cluster sizes, spreads).
// Workflow.* run in seconds (label fast), WorkflowSlow.* run batches (label slow).

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <tuple>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/support.h"

namespace fs = std::filesystem;

namespace {

const std::string kRepo = LORVANE_SOURCE_DIR;
const std::string kScripts = kRepo + "/workflow/scripts";

bool haveSnakemake() { return std::system("command -v snakemake > /dev/null 2>&1") == 0; }

// Runs a shell command, returns its exit status and fills out with stdout+stderr.
int run(const std::string& cmd, std::string& out) {
    out.clear();
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return -1;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string slurp(const fs::path& p) { return lorvane_test::slurp(p.string()); }

bool contains(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

// A scratch directory as a path.
struct TempDir {
    lorvane_test::ScratchDir dir;
    fs::path path{dir.root()};
};

using Row = std::map<std::string, std::string>;

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> f;
    std::stringstream ss(s);
    std::string x;
    while (std::getline(ss, x, sep)) f.push_back(x);
    return f;
}

// Rows of a TSV file keyed by the column key (default: the first).
std::map<std::string, Row> readTsv(const fs::path& p, const std::string& key = "") {
    std::ifstream in(p);
    std::string line;
    std::map<std::string, Row> rows;
    if (!std::getline(in, line)) return rows;
    const auto header = split(line, '\t');
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        auto f = split(line, '\t');
        Row r;
        for (size_t i = 0; i < header.size(); ++i) r[header[i]] = i < f.size() ? f[i] : "";
        rows[key.empty() ? (f.empty() ? "" : f[0]) : r[key]] = r;
    }
    return rows;
}

// ATOM records of chain A of a PDB file, each passed through edit (which may drop
// a line by returning ""), with the chain letter replaced.
std::string chainRecords(const fs::path& pdb, char to,
                         const std::function<std::string(std::string)>& edit = nullptr) {
    std::ifstream in(pdb);
    std::string line, out;
    while (std::getline(in, line)) {
        if (line.rfind("ENDMDL", 0) == 0) break;
        if (line.rfind("ATOM  ", 0) != 0 || line.size() < 27 || line[21] != 'A') continue;
        line[21] = to;
        if (edit) line = edit(line);
        if (!line.empty()) out += line + "\n";
    }
    return out;
}

int resnum(const std::string& atom) { return std::stoi(atom.substr(22, 4)); }

// Ubiquitin renumbered with an insertion code: 45, 46, 46A (was 47), 47 (was 48), ...
std::string withInsertionCode(std::string line) {
    const int n = resnum(line);
    if (n < 47) return line;
    char num[12];
    std::snprintf(num, sizeof num, "%4d", n == 47 ? 46 : n - 1);
    line.replace(22, 5, std::string(num) + (n == 47 ? "A" : " "));
    return line;
}

// Test inputs: crambin as chain A and the renumbered ubiquitin as chain B (residues
// 45 and 46 are in both chains); ubiquitin without residues 48-51, gzipped.
void writeInputs(const fs::path& dir) {
    std::ofstream(dir / "two_chains.pdb")
        << chainRecords(kRepo + "/examples/1crn.pdb", 'A') << "TER\n"
        << chainRecords(kRepo + "/examples/1ubq.pdb", 'B', withInsertionCode) << "TER\nEND\n";
    std::ofstream(dir / "ubq_gap.pdb")
        << chainRecords(kRepo + "/examples/1ubq.pdb", 'A', [](std::string l) {
               return resnum(l) >= 48 && resnum(l) <= 51 ? std::string() : l;
           })
        << "TER\nEND\n";
    std::string out;
    ASSERT_EQ(run("gzip -f '" + (dir / "ubq_gap.pdb").string() + "'", out), 0) << out;
}

std::string snakemakeCmd(const fs::path& dir, const std::string& extra) {
    return "cd '" + dir.string() + "' && snakemake -s '" + kRepo + "/workflow/Snakefile' " +
           "--config lorvane=fake loops='" + (dir / "loops.tsv").string() + "' outdir='" +
           (dir / "res").string() + "' name=t " + extra;
}

// Blocks of the dry-run listing that start with "rule <name>:" or "localrule <name>:".
std::vector<std::string> jobBlocks(const std::string& out, const std::string& head) {
    std::vector<std::string> blocks;
    size_t pos = 0;
    const std::string key = "\n" + head + ":\n";
    while ((pos = out.find(key, pos)) != std::string::npos) {
        size_t end = out.find("\n\n[", pos + key.size());
        if (end == std::string::npos) end = out.find("\nJob stats", pos + key.size());
        blocks.push_back(out.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        pos += key.size();
    }
    return blocks;
}

// Job counts of the "Job stats" table of a (dry) run.
std::map<std::string, int> jobCounts(const std::string& out) {
    std::map<std::string, int> counts;
    std::stringstream ss(out.substr(std::min(out.size(), out.find("Job stats:"))));
    std::string line;
    while (std::getline(ss, line)) {
        std::stringstream ls(line);
        std::string name;
        int n = 0;
        if (ls >> name >> n && name != "total") counts[name] = n;
        if (name == "total") break;
    }
    return counts;
}

// What the stand-in's ranking gives for loop S-E: rank-1 index, cluster size of
// rank 1, median and largest rmsd_to_top of ranks 2-10.
struct Ranking {
    int top, cluster;
    double median, largest;
};

Ranking expectedRanking(int start, int end) {
    const int k0 = 1 + (start + end) % 5;
    std::vector<int> k(24);
    for (int i = 0; i < 24; ++i) k[i] = i + 1;
    std::sort(k.begin(), k.end(), [k0](int a, int b) {
        return std::abs(a - k0) != std::abs(b - k0) ? std::abs(a - k0) < std::abs(b - k0) : a < b;
    });
    std::vector<double> spread;
    for (int r = 1; r < 10; ++r) spread.push_back(0.25 * std::abs(k[r] - k0));
    const int cluster = std::min(k0 + 4, 24) - std::max(k0 - 4, 1) + 1;
    return {k0, cluster, spread[4], spread[8]};
}

// The first absolute path in text (a word starting with "/"), or "".
std::string absolutePath(const std::string& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        const bool wordStart = i == 0 || std::string(" \t\n`(=|'\"").find(text[i - 1]) != std::string::npos;
        const char next = text[i + 1];
        if (text[i] == '/' && wordStart && (std::isalnum(static_cast<unsigned char>(next)) || next == '_'))
            return text.substr(i, text.find_first_of(" \t\n`)|", i) - i);
    }
    return "";
}

double childCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + 1e-6 * (u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

}  // namespace

TEST(Workflow, RejectsTablesItCannotRun) {
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    const struct {
        std::string table, message;
    } cases[] = {
        {"id\tfile\tchain\tstart\na\tx.pdb\tA\t3\n", "missing column end or end_pdbnum"},
        {"id\tfile\tchain\tstart\tend\na\tx.pdb\tA\t3\t9\na\ty.pdb\tA\t3\t9\n", "loops.tsv:3: id a appears twice"},
        {"id\tfile\tchain\tstart\tend\na/b\tx.pdb\tA\t3\t9\n", "must be letters"},
        {"id\tfile\tchain\tstart\tend\na\tx.pdb\tA\t\t9\n", "loops.tsv:2: start is empty"},
        {"case_id\tfile\tchain\tstart_pdbnum\tend_pdbnum\na\tx.pdb\tA\t3\n", "end_pdbnum is empty"},
        {"id\tfile\tchain\tstart\tend\n", "no loop selected"},
    };
    // the table's checks, without Snakemake's start-up
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::ofstream(tmp.path / "loops.tsv", std::ios::trunc) << c.table;
        std::string out;
        EXPECT_EQ(run("/usr/bin/python3 '" + kScripts + "/loop_table.py' '" +
                          (tmp.path / "loops.tsv").string() + "'", out), 1);
        EXPECT_TRUE(contains(out, c.message)) << out;
    }
    // ... and that the workflow stops on them, and on a bad setting (planned at once)
    if (!haveSnakemake()) GTEST_SKIP() << "snakemake not installed";
    const struct {
        std::string table, extra, message;
    } runs[] = {
        {cases[1].table, "", cases[1].message},
        {"id\tfile\tchain\tstart\tend\na\tx.pdb\tA\t3\t9\n", "batch=guess", "batch must be"},
    };
    std::string all;
    int i = 0;
    for (const auto& c : runs) {
        const fs::path dir = tmp.path / std::to_string(++i);
        fs::create_directories(dir);
        std::ofstream(dir / "loops.tsv") << c.table;
        all += "(" + snakemakeCmd(dir, c.extra + " -n --cores 1") + " > out 2>&1; echo $? > rc) & ";
    }
    std::string out;
    ASSERT_EQ(run(all + "wait", out), 0) << out;
    i = 0;
    for (const auto& c : runs) {
        SCOPED_TRACE(c.message);
        const fs::path dir = tmp.path / std::to_string(++i);
        EXPECT_NE(slurp(dir / "rc"), "0\n");
        EXPECT_TRUE(contains(slurp(dir / "out"), c.message)) << slurp(dir / "out");
    }
}

// Every step turns its own failure into a failed record with a one-line message
// and exit status 0 (the batch goes on); a later step passes an earlier failure on;
// without --keep-failures the step exits 1 and leaves no record.
TEST(Workflow, StepsRecordFailuresPerLoop) {
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    const fs::path d = tmp.path;
    const std::string py = "cd '" + d.string() + "' && /usr/bin/python3 '" + kScripts + "/";
    const std::string fake = kScripts + "/fake_lorvane.py";
    const std::string ex = kRepo + "/examples/";
    // a good sampling record and result file of 5p21 45-52 for the later steps
    std::string out;
    ASSERT_EQ(run(py + "run_loop.py' --exe " + fake + " --data " + kRepo + "/data --file " + ex +
                      "5p21.pdb --chain A --start 45 --end 52 --name r --args '-numloop 24' "
                      "--loopdir ok --record ok/sample.json",
                  out), 0) << out;
    ASSERT_TRUE(contains(slurp(d / "ok/sample.json"), "\"status\": \"ok\"")) << slurp(d / "ok/sample.json");
    EXPECT_TRUE(contains(slurp(d / "ok/sample.json"), "-data data -quiet -cores 1"));
    // a build whose -h does not list -quiet is run without it
    ASSERT_EQ(run("export LORVANE_FAKE_NO_QUIET=1 && " + py + "run_loop.py' --exe " + fake +
                      " --data " + kRepo + "/data --file " + ex + "5p21.pdb --chain A --start 45 "
                      "--end 52 --name r --args '-numloop 24' --loopdir nq --record nq/sample.json",
                  out), 0) << out;
    EXPECT_TRUE(contains(slurp(d / "nq/sample.json"), "\"status\": \"ok\"")) << slurp(d / "nq/sample.json");
    EXPECT_TRUE(contains(slurp(d / "nq/sample.json"), "-data data -cores 1"));
    std::ofstream(d / "failed.json") << R"({"step": "sample", "status": "failed", )"
                                     << R"("failed_step": "sample", "message": "killed by signal SIGKILL"})";
    // programs that hang or die
    std::ofstream(d / "hangs") << "#!/bin/sh\nsleep 20\n";
    std::ofstream(d / "dies") << "#!/bin/sh\nkill -9 $$\n";
    fs::permissions(d / "hangs", fs::perms::owner_all);
    fs::permissions(d / "dies", fs::perms::owner_all);
    const std::string loop = " --data " + kRepo + "/data --file " + ex + "1ubq.pdb --start 45 --end 52"
                             " --loopdir s --record REC";

    const struct {
        std::string step, command, failedStep, message;
    } cases[] = {
        {"chain", "extract_chain.py' --file " + ex + "5p21.pdb --chain Q --start 45 --end 52 "
                  "--out c.pdb --record REC", "chain", "no ATOM records for chain 'Q'"},
        {"sample", "run_loop.py' --exe " + fake + " --data " + kRepo + "/data --file " + ex +
                   "1ubq.pdb --chain A --start 80 --end 87 --loopdir s --record REC",
         "sample", "exit status 1: Specified starting or ending residue numbers are not in the "
                   "PDB file. (" + ex + "1ubq.pdb has no residue 80 in chain A)"},
        {"sample", "run_loop.py' --exe " + fake + " --data " + d.string() + " --file " + ex +
                   "1ubq.pdb --start 45 --end 52 --loopdir s --record REC",
         "sample", "cannot open parameter file"},
        {"sample", "run_loop.py' --exe hangs --timeout-min 0.005" + loop, "sample",
         "killed after the time limit of 0.005 min"},
        {"sample", "run_loop.py' --exe dies" + loop, "sample", "killed by signal SIGKILL (out of memory?)"},
        {"compare", "compare_loop.py' --exe " + fake + " --data " + kRepo + "/data --file " + ex +
                    "1crn.pdb --chain A --start 80 --end 87 --loopdir ok --upstream ok/sample.json "
                    "--record REC", "compare", "Could not find startind or ending PDB index"},
        // residue names that disagree with the native: the analysis stops for this loop only
        {"analyse", "analyse_loop.py' --native " + ex + "1ubq.pdb --chain A --loopdir ok "
                    "--sample ok/sample.json --compare ok/sample.json --record REC --meta "
                    "case_id=x start=45 end=52", "analyse",
         "conformation 1 has VAL at residue 45, native has PHE"},
        {"analyse", "analyse_loop.py' --native " + ex + "5p21.pdb --loopdir ok --sample failed.json "
                    "--compare failed.json --record REC --meta case_id=x start=45 end=52",
         "sample", "killed by signal SIGKILL"},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step + ": " + c.message);
        const std::string rec = (d / ("rec" + std::to_string(++i) + ".json")).string();
        std::string cmd = py + c.command;
        cmd.replace(cmd.find("REC"), 3, rec);
        ASSERT_EQ(run(cmd + " --keep-failures", out), 0) << out;
        const std::string text = slurp(rec);
        EXPECT_TRUE(contains(text, "\"status\": \"failed\"")) << text;
        EXPECT_TRUE(contains(text, "\"step\": \"" + c.step + "\"")) << text;
        EXPECT_TRUE(contains(text, "\"failed_step\": \"" + c.failedStep + "\"")) << text;
        EXPECT_TRUE(contains(text, c.message)) << text;
        fs::remove(rec);
        EXPECT_EQ(run(cmd, out), 1) << out;
        EXPECT_TRUE(contains(out, c.message)) << out;
        EXPECT_FALSE(fs::exists(rec));
    }
}

// Sampling is the only rule sent to the cluster, once per loop, with the threads,
// memory and time of the config; every other step runs on the submitting host.
TEST(Workflow, SlurmDryRunPlansBothBatchKinds) {
    if (!haveSnakemake()) GTEST_SKIP() << "snakemake not installed";
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    // Two loops that share start and end: each needs a directory of its own.
    std::ofstream(tmp.path / "loops.tsv")
        << "id\tfile\tchain\tstart\tend\n"
        << "ras\t" << kRepo << "/examples/5p21.pdb\tA\t45\t52\n"
        << "ubq\t" << kRepo << "/examples/1ubq.pdb\tA\t45\t52\n";
    const struct {
        std::string batch, profile, cli;
        std::vector<std::string> localPerLoop;
    } cases[] = {
        {"predict", "slurm", "--cli contract", {}},
        {"benchmark", "slurm", "--cli contract", {"compare", "analyse"}},
        {"benchmark extract_chain=true", "slurm-generic", "--cli legacy", {"chain", "compare", "analyse"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.batch + " " + c.profile);
        std::string out;
        const int rc = run(snakemakeCmd(tmp.path, "batch=" + c.batch +
                                                      " 'rules={sample: {threads: 3, mem_mb: 1234, "
                                                      "runtime: 77}}' --profile '" + kRepo +
                                                      "/workflow/profiles/" + c.profile +
                                                      "' -n --cores 8"),
                           out);
        ASSERT_EQ(rc, 0) << out;
        auto sample = jobBlocks(out, "rule sample");
        ASSERT_EQ(sample.size(), 2u) << out;
        std::vector<std::string> loopdirs;
        for (const auto& b : sample) {
            for (const char* want : {"threads: 3", "mem_mb=1234", "runtime=77", "--threads 3",
                                     "-seeds 2000 -numloop 500"})
                EXPECT_TRUE(contains(b, want)) << want << "\n" << b;
            EXPECT_TRUE(contains(b, c.cli)) << b;
            size_t r = b.find("--loopdir ");
            ASSERT_NE(r, std::string::npos);
            loopdirs.push_back(b.substr(r, b.find(' ', r + 10) - r));
        }
        EXPECT_NE(loopdirs[0], loopdirs[1]);
        for (const auto& rule : c.localPerLoop) {
            EXPECT_EQ(jobBlocks(out, "localrule " + rule).size(), 2u) << rule;
            EXPECT_TRUE(jobBlocks(out, "rule " + rule).empty()) << rule;
        }
        EXPECT_EQ(jobBlocks(out, "localrule summary").size(), 1u);
        EXPECT_EQ(jobCounts(out).size(), 3 + c.localPerLoop.size()) << out;
    }
}

TEST(WorkflowSlow, PlansAThousandLoopsInSeconds) {
    if (!haveSnakemake()) GTEST_SKIP() << "snakemake not installed";
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    std::ofstream table(tmp.path / "loops.tsv");
    table << "id\tfile\tchain\tstart\tend\tsequence\n";
    for (int i = 0; i < 1000; ++i)
        table << "loop" << i << "\t" << kRepo << "/examples/" << (i % 2 ? "5p21" : "1ubq")
              << ".pdb\tA\t" << 10 + i % 50 << "\t" << 17 + i % 50 << "\t\n";
    table.close();
    for (const std::string batch : {"predict", "benchmark"}) {
        std::string out;
        const double cpu0 = childCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        const int rc = run(snakemakeCmd(tmp.path, "batch=" + batch + " -n -q --cores 1"), out);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = childCpuSeconds() - cpu0;
        ASSERT_EQ(rc, 0) << out;
        const auto jobs = jobCounts(out);
        EXPECT_EQ(jobs.at("sample"), 1000) << out;
        // sample per loop (+ compare, analyse for a benchmark), summary, all
        EXPECT_EQ(jobs.size(), batch == "predict" ? 3u : 5u) << out;
        int total = 0;
        for (const auto& [rule, n] : jobs) total += n;
        std::printf("planning 1000 loops (%s batch, %d jobs): wall %.2f s, CPU %.2f s\n",
                    batch.c_str(), total, wall, cpu);
        EXPECT_LT(wall, 60.0);   // generous: the machine may be busy; seconds are expected
    }
}

// Five loops, one a bad row: four ok, one failed with its message, non-zero exit;
// a re-run redoes the failed loop only; once the row is fixed the batch exits 0.
TEST(WorkflowSlow, PredictionBatchSurvivesABadRow) {
    if (!haveSnakemake()) GTEST_SKIP() << "snakemake not installed";
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    writeInputs(tmp.path);
    // paths relative to the table, as a user would commit them
    const std::string ras = fs::relative(kRepo + "/examples/5p21.pdb", tmp.path).string();
    const std::string crn = fs::relative(kRepo + "/tests/data/workflow/1crn.cif.gz", tmp.path).string();
    const std::string header = "id\tfile\tchain\tstart\tend\tsequence\n";
    const std::string good =
        "ras\t" + ras + "\tA\t45\t52\t\n"
        "crn_cif\t" + crn + "\tA\t31\t36\t\n"
        "ubq_B\ttwo_chains.pdb\tB\t45\t51\t\n"
        "ubq_gap\tubq_gap.pdb.gz\tA\t47\t52\tGKQLED\n";
    std::ofstream(tmp.path / "loops.tsv") << header << good << "bad\tubq_gap.pdb.gz\tA\t80\t87\t\n";
    const std::string cmd = snakemakeCmd(tmp.path, "batch=predict --cores 1");
    std::string out;
    EXPECT_NE(run(cmd, out), 0) << out;
    EXPECT_TRUE(contains(out, "1 of 5 loops failed (bad)")) << out;

    const fs::path base = tmp.path / "res" / "t" / "quick";
    auto rows = readTsv(base / "summary.tsv");
    ASSERT_EQ(rows.size(), 5u);
    const struct {
        std::string id;
        int start, end;
        std::string models, inCommand;
    } loops[] = {
        {"ras", 45, 52, ".models.pdb", "-f " + ras + " -chain A -start 45 -end 52 -o"},
        {"crn_cif", 31, 36, ".models.cif", "-chain A -start 31 -end 36"},
        {"ubq_B", 45, 51, ".models.pdb", "-f two_chains.pdb -chain B -start 45 -end 51"},
        {"ubq_gap", 47, 52, ".models.pdb", "-start 47 -end 52 -seq GKQLED"},
    };
    for (const auto& l : loops) {
        SCOPED_TRACE(l.id);
        const Row& r = rows[l.id];
        const Ranking want = expectedRanking(l.start, l.end);
        EXPECT_EQ(r.at("status"), "ok");
        EXPECT_EQ(r.at("n_conformations"), "24");
        EXPECT_EQ(r.at("n_models"), "10");
        EXPECT_EQ(std::stoi(r.at("top_index")), want.top);
        EXPECT_EQ(std::stoi(r.at("top_cluster_size")), want.cluster);
        EXPECT_NEAR(std::stod(r.at("top10_median_rmsd")), want.median, 1e-3);
        EXPECT_NEAR(std::stod(r.at("top10_max_rmsd")), want.largest, 1e-3);
        EXPECT_EQ(r.at("top_dfire"), "-40.00");   // the stand-in's best scores
        EXPECT_EQ(r.at("top_torsion"), "15.00");
        EXPECT_EQ(r.at("threads"), "1");
        EXPECT_TRUE(contains(r.at("command"), l.inCommand)) << r.at("command");
        EXPECT_TRUE(contains(r.at("command"), "-o " + l.id + " -models 10")) << r.at("command");
        EXPECT_GT(std::stod(r.at("wall_s")), 0.0);
        EXPECT_GT(std::stod(r.at("peak_rss_mb")), 1.0);
        // links relative to the report; the files are there and hold ten models
        EXPECT_EQ(r.at("models"), "loops/" + l.id + "/" + l.id + l.models);
        const std::string models = slurp(base / r.at("models"));
        // the ranking holds every conformation, the models file the top ten
        EXPECT_EQ(readTsv(base / r.at("ranking")).size(), 24u);
        if (l.models == ".models.pdb") {
            EXPECT_TRUE(contains(models, "MODEL       10\n")) << l.id;
            EXPECT_FALSE(contains(models, "MODEL       11\n"));
        } else {
            EXPECT_TRUE(contains(models, "_atom_site.pdbx_PDB_model_num"));
        }
    }
    // the whole entry is the environment: crambin (chain A) is in the models of chain B's loop
    const std::string ubqB = slurp(base / rows["ubq_B"].at("models"));
    EXPECT_TRUE(contains(ubqB, "THR A   1")) << ubqB.substr(0, 400);
    EXPECT_TRUE(contains(ubqB, "GLY B  46A"));
    EXPECT_TRUE(contains(slurp(base / rows["ubq_gap"].at("models")), "LYS A  48"));

    const Row& bad = rows["bad"];
    EXPECT_EQ(bad.at("status"), "failed");
    EXPECT_EQ(bad.at("failed_step"), "sample");
    // the program's message, with the file as the table spells it
    EXPECT_EQ(bad.at("message"),
              "exit status 1: Specified starting or ending residue numbers are not in the PDB file. "
              "(ubq_gap.pdb.gz has no residue 80 in chain A)");
    EXPECT_EQ(bad.at("models"), "");

    const std::string report = slurp(base / "report.md");
    EXPECT_TRUE(contains(report, "**4 of 5 loops modelled, 1 failed.**")) << report;
    EXPECT_TRUE(contains(report, "| bad | sample | exit status 1: Specified starting")) << report;
    EXPECT_TRUE(contains(report, "[models](loops/ubq_B/ubq_B.models.pdb)")) << report;
    EXPECT_TRUE(contains(report, "Every run used 1 thread.")) << report;
    // no path of the machine in what a user would commit
    for (const auto& f : {base / "summary.tsv", base / "report.md"})
        EXPECT_EQ(absolutePath(slurp(f)), "") << f;

    // the re-run redoes the failed loop and nothing else
    ASSERT_EQ(run(cmd + " -n", out), 0) << out;
    EXPECT_EQ(jobCounts(out), (std::map<std::string, int>{{"all", 1}, {"sample", 1}, {"summary", 1}}))
        << out;
    EXPECT_TRUE(contains(out, "loops/bad/sample.json")) << out;
    std::map<std::string, fs::file_time_type> before;
    for (const auto& [id, r] : rows) before[id] = fs::last_write_time(base / "loops" / id / "sample.json");
    EXPECT_NE(run(cmd, out), 0) << out;
    for (const auto& [id, t] : before) {
        if (id == "bad")
            EXPECT_NE(fs::last_write_time(base / "loops" / id / "sample.json"), t);
        else
            EXPECT_EQ(fs::last_write_time(base / "loops" / id / "sample.json"), t) << id;
    }

    // the row fixed: everything ok, exit status 0
    std::ofstream(tmp.path / "loops.tsv", std::ios::trunc)
        << header << good << "bad\tubq_gap.pdb.gz\tA\t60\t65\t\n";
    ASSERT_EQ(run(cmd, out), 0) << out;
    EXPECT_TRUE(contains(out, "5 of 5 loops ok, 0 failed")) << out;
    EXPECT_EQ(readTsv(base / "summary.tsv")["bad"].at("status"), "ok");
}

// A benchmark batch with and without chain extraction: the same RMSDs, known
// exactly; an insertion code inside the loop is measured; a bad row fails alone.
TEST(WorkflowSlow, BenchmarkRunMeasuresEveryLoop) {
    if (!haveSnakemake()) GTEST_SKIP() << "snakemake not installed";
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    writeInputs(tmp.path);
    std::ofstream(tmp.path / "loops.tsv")
        << "case_id\tfile\tchain\tstart_pdbnum\tend_pdbnum\tset\tlength\n"
        << "ubq_B\ttwo_chains.pdb\tB\t45\t52\tdemo\t9\n"
        << "ras\t" << fs::relative(kRepo + "/examples/5p21.pdb", tmp.path).string()
        << "\tA\t45\t52\tdemo\t8\n"
        << "crn\ttwo_chains.pdb\tA\t32\t37\tdemo\t6\n"
        << "nochain\ttwo_chains.pdb\tQ\t32\t37\tdemo\t6\n";
    const std::map<std::string, std::string> sequence = {
        {"ubq_B", "FAGKQLEDG"}, {"ras", "VIDGETCL"}, {"crn", "CIIIPG"}};
    for (const std::string extract : {"true", "false"}) {
        SCOPED_TRACE("extract_chain=" + extract);
        const std::string cmd = snakemakeCmd(tmp.path, "extract_chain=" + extract +
                                                           " outdir=res-" + extract + " --cores 1");
        std::string out;
        EXPECT_NE(run(cmd, out), 0) << out;
        EXPECT_TRUE(contains(out, "1 of 4 loops failed (nochain)")) << out;
        const fs::path base = tmp.path / ("res-" + extract) / "t" / "quick";
        auto rows = readTsv(base / "summary.tsv", "case_id");
        ASSERT_EQ(rows.size(), 4u);
        for (const auto& [c, seq] : sequence) {
            SCOPED_TRACE(c);
            const Row& r = rows[c];
            const int k0 = 1 + (std::stoi(r.at("start")) + std::stoi(r.at("end"))) % 5;
            EXPECT_EQ(r.at("sequence"), seq);
            EXPECT_EQ(r.at("status"), "ok");
            EXPECT_EQ(r.at("n_conf"), "24");
            EXPECT_EQ(r.at("group"), c == "crn" ? "6" : "8-10");
            EXPECT_NEAR(std::stod(r.at("best_rmsd")), 0.25, 0.002);
            EXPECT_EQ(r.at("best_index"), "1");
            EXPECT_EQ(std::stoi(r.at("pred_index")), k0);
            EXPECT_NEAR(std::stod(r.at("pred_rmsd")), 0.25 * k0, 0.002);
            EXPECT_NEAR(std::stod(r.at("mean_rmsd")), 0.25 * 12.5, 0.002);
            // the compare mode's numbers, read back from its summary line
            EXPECT_EQ(r.at("cmp_n"), "24");
            EXPECT_EQ(r.at("check_best"), "ok");
            EXPECT_EQ(r.at("check_pred"), "ok");
            EXPECT_EQ(r.at("threads"), "1");
            EXPECT_TRUE(contains(r.at("command"), extract == "true"
                                                      ? "-f chain.pdb -start "
                                                      : " -chain " + r.at("chain") + " -start "))
                << r.at("command");
            EXPECT_TRUE(fs::exists(base / "loops" / c / "funnel.svg"));
            EXPECT_EQ(readTsv(base / "loops" / c / "conformations.tsv").size(), 24u);
        }
        const Row& bad = rows["nochain"];
        EXPECT_EQ(bad.at("status"), "failed");
        EXPECT_EQ(bad.at("failed_step"), extract == "true" ? "chain" : "sample");
        EXPECT_TRUE(contains(bad.at("message"), extract == "true"
                                                    ? "two_chains.pdb: no ATOM records for chain 'Q'"
                                                    : "exit status 1: two_chains.pdb: no chain Q"))
            << bad.at("message");
        EXPECT_EQ(bad.at("group"), "6");

        const std::string report = slurp(base / "report.md");
        EXPECT_TRUE(contains(report, "| 8-10 | 2 | 2 | 24 | 0.75 | 0.75 |")) << report;
        EXPECT_TRUE(contains(report, "| 6 | 2 | 1 | 24 | 1.25 | 1.25 | 0/2 (0%) | 0.25 | 1/2 (50%) |"))
            << report;
        EXPECT_TRUE(contains(report, "| nochain | ")) << report;
        EXPECT_TRUE(contains(report, "0.56"));
        EXPECT_GT(fs::file_size(base / "rmsd_per_loop.png"), 1000u);
        EXPECT_EQ(absolutePath(report), "");
        EXPECT_EQ(absolutePath(slurp(base / "summary.tsv")), "");

        // the re-run plans the failed loop's steps only
        ASSERT_EQ(run(cmd + " -n", out), 0) << out;
        auto jobs = jobCounts(out);
        EXPECT_EQ(jobs["sample"], 1) << out;
        EXPECT_EQ(jobs["analyse"], 1) << out;
        EXPECT_EQ(jobs["summary"], 1) << out;
    }
}

// The committed example batch, run with the stand-in: four loops modelled, the bad
// row reported.
TEST(WorkflowSlow, PredictExampleRunsWithTheStandIn) {
    if (!haveSnakemake()) GTEST_SKIP() << "snakemake not installed";
    if (!fs::exists(kRepo + "/../shared/structures/train/4fql.pdb.gz"))
        GTEST_SKIP() << "../shared/structures not present";
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    std::string out;
    const int rc = run("cd '" + kRepo + "' && snakemake --cores 1 --configfile "
                       "workflow/config/predict.yaml --config lorvane=fake outdir='" +
                       tmp.path.string() + "'", out);
    EXPECT_NE(rc, 0) << out;
    EXPECT_TRUE(contains(out, "1 of 5 loops failed (bad_1ubq_A_80_87)")) << out;
    auto rows = readTsv(tmp.path / "predict_example" / "quick" / "summary.tsv");
    ASSERT_EQ(rows.size(), 5u);
    for (const auto& [id, r] : rows)
        EXPECT_EQ(r.at("status"), id == "bad_1ubq_A_80_87" ? "failed" : "ok") << id;
    EXPECT_TRUE(contains(rows["1yll_B_30_37"].at("command"), "-chain B -start 30 -end 37 -seq DGGDGLDG"));
    EXPECT_EQ(rows["4fql_H_51_56"].at("file"), "../../../shared/structures/train/4fql.pdb.gz");
    // the insertion-code residue 52A is part of the modelled loop
    EXPECT_TRUE(contains(slurp(tmp.path / "predict_example" / "quick" / "loops" / "4fql_H_51_56" /
                               "4fql_H_51_56.models.pdb"),
                         "TRP H  52A"));
}

// Two runs side by side over the loops both ran: a loop only one run has is
// left out, a loop that wrote nothing counts as a miss, and a run directory
// whose summary is not written yet is read from its loops' records.
TEST(Workflow, CompareRunsCountsTheLoopsBothRan) {
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    const fs::path d = tmp.path;
    const std::string header = "case_id\tlength\tpred_rmsd\tbest_rmsd\twall_s\tcpu_s\tpeak_rss_mb\tn_conf\n";
    std::ofstream(d / "a.tsv") << header << "x\t4\t0.50\t0.30\t2\t2.0\t500\t30\n"
                               << "y\t12\t3.00\t1.50\t60\t60.0\t700\t500\n"
                               << "z\t12\t0.10\t0.10\t60\t60.0\t700\t500\n";
    fs::create_directories(d / "b/loops/x");
    fs::create_directories(d / "b/loops/y");
    fs::create_directories(d / "b/loops/w");  // still running: no record
    std::ofstream(d / "b/loops/x/analyse.json")
        << R"({"row": {"case_id": "x", "length": "4", "pred_rmsd": "1.20", "best_rmsd": "0.20", "wall_s": "3", "cpu_s": "3.0", "peak_rss_mb": "520", "n_conf": "40"}})";
    std::ofstream(d / "b/loops/y/analyse.json")
        << R"({"row": {"case_id": "y", "length": "12", "pred_rmsd": "NA", "best_rmsd": "NA", "wall_s": "90", "cpu_s": "90.0", "peak_rss_mb": "720", "n_conf": "NA"}})";
    std::string out;
    ASSERT_EQ(run("/usr/bin/python3 '" + kScripts + "/compare_runs.py' --groups '[[\"4\", 4, 4], [\"12\", 12, 12]]' A '" +
                      (d / "a.tsv").string() + "' B '" + (d / "b").string() + "'",
                  out),
              0)
        << out;
    EXPECT_TRUE(contains(out, "| 4 | 1 | 0.50 | 1/1 (100%) | 0.30 | 1/1 (100%) | 2.0 | 0.0 | 500 | 1.20 | 0/1 (0%) | 0.20 | 1/1 (100%) | 3.0 | 0.1 | 520 |")) << out;
    EXPECT_TRUE(contains(out, "| 12 | 1 | 3.00 | 0/1 (0%) | 1.50 | 0/1 (0%) | 60.0 | 1.0 | 700 | – | 0/1 (0%) | – | 0/1 (0%) | 90.0 | 1.5 | 720 |")) << out;
    EXPECT_TRUE(contains(out, "| all | 2 |")) << out;
    ASSERT_NE(run("/usr/bin/python3 '" + kScripts + "/compare_runs.py' --groups '[]' A '" + (d / "a.tsv").string() + "' B '" +
                      (d / "b/loops/w").string() + "'",
                  out),
              0);
}

TEST(Workflow, RefinementSummaryComparesTwoRunsLoopByLoop) {
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    const fs::path d = tmp.path;
    auto row = [](const char* c, int length, double pred, double best, double cpu) {
        return "{\"case\": \"" + std::string(c) + "\", \"length\": " + std::to_string(length) + ", \"pred_after\": " + std::to_string(pred) +
               ", \"best_after\": " + std::to_string(best) + ", \"cpu_refine\": " + std::to_string(cpu) + "}\n";
    };
    // x: better by 0.5; y: worse by 1.0; z: within 0.05 (neither); w only in the reference.
    std::ofstream(d / "ref.log") << row("x", 8, 1.5, 0.9, 10) << row("y", 8, 0.8, 0.6, 12) << row("z", 12, 2.0, 1.5, 20)
                                 << row("w", 12, 9.0, 9.0, 20);
    std::ofstream(d / "new.log") << "not a row\n" << row("x", 8, 1.0, 0.9, 11) << row("y", 8, 1.8, 0.5, 13) << row("z", 12, 2.04, 1.5, 21);
    std::string out;
    const std::string tool = "/usr/bin/python3 '" + kRepo + "/tools/refine/summarise_refinement.py' ";
    ASSERT_EQ(run(tool + "--against '" + (d / "ref.log").string() + "' '" + (d / "new.log").string() + "'", out), 0) << out;
    EXPECT_TRUE(contains(out, "3 loops in both; 1 in one only")) << out;
    EXPECT_TRUE(contains(out, "8-10 2 1.15 1.40 | 1.15 1.40 | 1 0 | 1 1 | 0.75 0.70 | 11.0 12.0")) << out;
    EXPECT_TRUE(contains(out, "12 1 2.00 2.04 | 2.00 2.04 | 0 0 | 0 0 |")) << out;
    EXPECT_TRUE(contains(out, "all 3 1.43 1.61 |")) << out;
    EXPECT_NE(run(tool + "--against '" + (d / "ref.log").string() + "'", out), 0) << "a missing run is misuse";
}

// Pooling runs: the first K written loops of each run (by LOOP index, whatever
// the row order), z over the pool; a loop missing from one run is left out.
TEST(Workflow, PoolRunsTakesTheFirstWrittenLoopsOfEachRun) {
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    const fs::path d = tmp.path;
    // Only DFIRE varies (the other scores have no spread), so z follows it.
    auto rows = [](std::initializer_list<std::tuple<int, double, double>> list) {
        std::string out = "index\tlabel\ts0\ts1\ts2\ts3\tz\trmsd\trmsd_anchor\n";
        for (const auto& [index, s0, rmsd] : list)
            out += std::to_string(index) + "\t" + std::to_string(index) + "\t" + std::to_string(s0) + "\t1\t1\t1\t0\t" +
                   std::to_string(rmsd) + "\t0\n";
        return out;
    };
    auto put = [&](const std::string& run, const std::string& loop, const std::string& text) {
        fs::create_directories(d / run / "loops" / loop);
        std::ofstream(d / run / "loops" / loop / "conformations.tsv") << text;
    };
    std::ofstream(d / "loops.tsv") << "case_id\tlength\na\t8\nb\t12\n";
    put("ref", "a", rows({{1, -10, 2.0}, {2, -5, 1.0}, {3, 0, 3.0}}));
    put("one", "a", rows({{1, -8, 0.5}, {2, -3, 1.5}, {3, -100, 9.0}}));
    put("two", "a", rows({{3, -200, 0.1}, {2, -6, 0.9}, {1, -1, 4.0}}));
    put("ref", "b", rows({{1, -1, 1.0}, {2, -2, 2.0}}));
    put("one", "b", rows({{1, -1, 1.0}}));
    std::string out;
    const std::string tool = "/usr/bin/python3 '" + kRepo + "/tools/sampling/pool_runs.py' ";
    const std::string runs = "'" + (d / "ref").string() + "' '" + (d / "one").string() + "' '" + (d / "two").string() + "'";
    ASSERT_EQ(run(tool + "--first 2 --table '" + (d / "loops.tsv").string() + "' " + runs, out), 0) << out;
    EXPECT_TRUE(contains(out, "a\t8\t2.00\t1.00\t0.50\t0.50\t4")) << out;
    EXPECT_FALSE(contains(out, "\nb\t12")) << "a loop one run lacks is left out: " << out;
    EXPECT_TRUE(contains(out, "all\tbest\t1\t1.00 / 1.00\t0\t0.50 / 0.50\t1\t1\t0")) << out;
    EXPECT_TRUE(contains(out, "all\tprediction\t1\t2.00 / 2.00\t0\t0.50 / 0.50\t1\t1\t0")) << out;
    EXPECT_EQ(run(tool + "--first 0 --table '" + (d / "loops.tsv").string() + "' " + runs, out), 2) << "a count below one is misuse";
}

// A finished run of one loop for the ranking tool: conformations.tsv from
// `rows` (index label s0 s1 s2 s3 z rmsd rmsd_anchor) and a result file of as
// many four-residue glycine loops, conformation 1 placed 20 A from the others.
static void writeRankedLoop(const fs::path& loop, const std::string& rows, int count) {
    fs::create_directories(loop);
    std::ofstream(loop / "sample.json") << R"({"files": {"result": "x.txt"}})";
    std::ofstream(loop / "conformations.tsv") << "index\tlabel\ts0\ts1\ts2\ts3\tz\trmsd\trmsd_anchor\n" << rows;
    std::ofstream result(loop / "x.txt");
    const char* names[] = {"N", "CA", "C", "O"};
    for (int k = 1; k <= count; ++k) {
        result << "LOOP " << k << " " << k << " 5 5 5\n";
        char line[96];
        for (int r = 0; r < 4; ++r)
            for (int a = 0; a < 4; ++a) {
                const double x = (k == 1 ? 20.0 : 0.0) + r * 3.8 + a * 0.5;
                std::snprintf(line, sizeof line, "ATOM  %5d  %-3s GLY A%4d    %8.3f%8.3f%8.3f  1.00  0.00\n", 4 * r + a + 1, names[a], 10 + r, x,
                              1.0 * a, 0.0);
                result << line;
            }
        result << "END\n";
    }
}

// The ranking tool re-ranks a finished run: z puts first the loop of lowest
// summed (s - median) / MAD, a score with MAD 0 adds nothing, and the top-k
// table takes the best RMSD among the first k by z.
TEST(Workflow, RankingRulesReadsAFinishedRun) {
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    const fs::path loop = tmp.path / "run/loops/x";
    // Only the first score varies (z = -1, 0, 1); conformations 2 and 3 are
    // one place, conformation 1 another.
    writeRankedLoop(loop, "1\t1\t1\t5\t5\t5\t-1\t2.0\t2.0\n2\t2\t2\t5\t5\t5\t0\t0.5\t0.5\n3\t3\t3\t5\t5\t5\t1\t3.0\t3.0\n", 3);
    std::string out;
    ASSERT_EQ(run("/usr/bin/python3 '" + kRepo + "/tools/ranking/ranking_rules.py' '" + (tmp.path / "run").string() + "'", out), 0) << out;
    EXPECT_TRUE(contains(out, "| z | 2.00 | 2.00 | 0/1 | 2.00 |")) << out;
    EXPECT_TRUE(contains(out, "| 4 | 1 | 2.00, 0/1 | 0.50, 1/1 | 0.50, 1/1 | 0.50, 1/1 |")) << out;
    // A cold kernel keeps the lowest z; a warm one prefers the populated place
    // (density 1 against exp(-1/4) + exp(-2/4) = 1.39).
    EXPECT_TRUE(contains(out, "| kernel 0.5 1.0 | 2.00 |")) << out;
    EXPECT_TRUE(contains(out, "| kernel 4.0 2.0 | 0.50 |")) << out;

    // A result file that disagrees with its analysis stops naming the loop.
    std::ofstream(loop / "conformations.tsv", std::ios::app) << "4\t4\t4\t5\t5\t5\t2\t1.0\t1.0\n";
    EXPECT_NE(run("/usr/bin/python3 '" + kRepo + "/tools/ranking/ranking_rules.py' '" + (tmp.path / "run").string() + "'", out), 0);
    EXPECT_TRUE(contains(out, "3 conformations in the result file, 4 analysed")) << out;
}

// Rules with a known pick on five conformations, RMSD of the pick per rule.
// Clip: conformation 1 is first by z only through its first score (-10, -1,
// -1: z -12), conformation 2 through three (-1, -4, -4: z -9); clipped at 5,
// 1 sums to -7 and 2 to -9; clipped at 6 the first score still counts -6: -8.
// Shortlist: z orders the conformations 1..5 (z -5, -2.5, 0, 2, 5); DFIRE is
// lowest in 2 among the first three and in 4 overall, so k = 3 picks 2 and
// k = 5 or more picks 4.
TEST(Workflow, RankingRulesPickKnownLoops) {
    struct Case {
        const char* rows;
        std::vector<std::pair<std::string, std::string>> picks;
    };
    const std::vector<Case> cases = {
        {"1\t1\t-9\t0\t0\t5\t-12\t2.0\t2.0\n2\t2\t0\t-3\t-3\t5\t-9\t0.5\t0.5\n3\t3\t1\t1\t1\t5\t0\t3.0\t3.0\n"
         "4\t4\t2\t2\t2\t5\t3\t3.0\t3.0\n5\t5\t3\t3\t3\t5\t6\t3.0\t3.0\n",
         {{"z", "2.00"}, {"clip 5", "0.50"}, {"clip 6", "0.50"}}},
        {"1\t1\t2\t-9\t0\t5\t-5\t2.0\t2.0\n2\t2\t0\t0\t0\t5\t-2.5\t0.5\t0.5\n3\t3\t1\t1\t1\t5\t0\t3.0\t3.0\n"
         "4\t4\t-9\t9\t9\t5\t2\t1.0\t1.0\n5\t5\t3\t3\t3\t5\t5\t3.0\t3.0\n",
         {{"z", "2.00"}, {"shortlist 3", "0.50"}, {"shortlist 5", "1.00"}, {"shortlist 10", "1.00"}}},
    };
    for (const Case& c : cases) {
        TempDir tmp;
        ASSERT_FALSE(tmp.path.empty());
        writeRankedLoop(tmp.path / "run/loops/x", c.rows, 5);
        std::string out;
        ASSERT_EQ(run("/usr/bin/python3 '" + kRepo + "/tools/ranking/ranking_rules.py' '" + (tmp.path / "run").string() + "'", out), 0) << out;
        for (const auto& [rule, rmsd] : c.picks) EXPECT_TRUE(contains(out, "| " + rule + " | " + rmsd + " |")) << rule << "\n" << out;
    }
}

// Runs a Python snippet with numpy imported as np and the ranking tools'
// folder on the path, `import_line` first.
static int runRankingSnippet(const std::string& import_line, const std::string& body, std::string& out) {
    const std::string script = "import sys, numpy as np; sys.path.insert(0, '" + kRepo + "/tools/ranking'); " + import_line + "\n" + body;
    return run("/usr/bin/python3 -c \"" + script + "\"", out);
}

// Runs a Python check script with Debian's python3: the script, then each of
// `args`, then a fresh temporary folder it may write in.
static int runCheckScript(const std::string& code, const std::vector<std::string>& args, std::string& out) {
    TempDir tmp;
    if (tmp.path.empty()) return -1;
    std::ofstream(tmp.path / "check.py") << code;
    std::string cmd = "/usr/bin/python3 '" + (tmp.path / "check.py").string() + "'";
    for (const std::string& a : args) cmd += " '" + a + "'";
    return run(cmd + " '" + tmp.path.string() + "'", out);
}

// The cluster-mean bound averages the best n by z that lie within r of the
// lowest z, that loop included: loops 0 (z 0) and 2 (z 1, 0.8 A away) are in;
// loop 1 (z 2) is too far; loop 3 (z 3) is near but not among the best 3.
// Mean of x = 0 and 2: 1, so 1 A from a native at x = 0 and from one at x = 2.
TEST(Workflow, ClusterMeanAveragesTheNearBestOnly) {
    const std::string body =
        "import cluster_mean as C\n"
        "xyz = np.array([[[[x, 0, 0]] * 4] for x in (0.0, 5.0, 2.0, 0.1)])\n"
        "z = np.array([0.0, 2.0, 1.0, 3.0])\n"
        "pair = np.array([[0, 5, 0.8, 0.1], [5, 0, 3, 4.9], [0.8, 3, 0, 1.9], [0.1, 4.9, 1.9, 0]])\n"
        "mean, count = C.cluster_mean(xyz, z, pair, 3, 1.0)\n"
        "print('count', count, 'x', mean[0, 0, 0], 'rmsd', C.rmsd(mean, np.zeros_like(mean)), C.rmsd(mean, xyz[2]))\n"
        "print('all', C.cluster_mean(xyz, z, pair, 4, 9.0)[1], 'alone', C.cluster_mean(xyz, z, pair, 1, 9.0)[1])\n";
    std::string out;
    ASSERT_EQ(runRankingSnippet("", body, out), 0) << out;
    EXPECT_TRUE(contains(out, "count 2 x 1.0 rmsd 1.0 1.0")) << out;
    EXPECT_TRUE(contains(out, "all 4 alone 1")) << out;
}

// The DFIRE re-scoring tool sums pairs as the program does. Five alanines 6 A
// apart on a line, the table's energy equal to the distance bin (6 A: 12,
// 12 A: 24, 18 A: beyond 15 A), loop residues 1-3: residue pairs (0,1) (1,2)
// (2,3) (3,4) score 12 each, (0,2) (1,3) (2,4) 24 each, 120 per atom pair in
// all; 25 typed atom pairs per residue pair (the H has no type), 16 of them
// backbone.
TEST(Workflow, LocalDfireSumsPairsOnce) {
    const std::string body =
        "import local_dfire_rules as L\n"
        "keys = ['ALA N', 'ALA CA', 'ALA C', 'ALA O', 'ALA CB']\n"
        "t = {(a, b): np.arange(30.0) for a in keys for b in keys}\n"
        "names = ['N', 'CA', 'C', 'O', 'CB', 'H']\n"
        "res = [dict(name='ALA', atoms={n: (6.0 * i, 0.001 * q, 0.0) for q, n in enumerate(names)}) for i in range(5)]\n"
        "idx, grid = L.table_grid(t)\n"
        "print('full', L.pair_energy(idx, grid, res, 1, 3), 'bb', round(L.pair_energy(idx, grid, res, 1, 3, backbone=True), 6))\n"
        "print('local', L.pair_energy(idx, grid, res, 1, 3, maxsep=1), L.pair_energy(idx, grid, res, 1, 3, maxsep=2))\n";
    std::string out;
    ASSERT_EQ(runRankingSnippet("", body, out), 0) << out;
    EXPECT_TRUE(contains(out, "full 3000.0 bb 1920.0")) << out;
    // Neighbours only: the four residue pairs one apart; one or two apart: all.
    EXPECT_TRUE(contains(out, "local 1200.0 3000.0")) << out;
}

// The orientation potential's cells and pairs, known answers. Two residues
// with the frame ex = +y, ez = -z, 8 A apart along -z: distance bin 4 (8 A
// opens it), CA_j straight up ez (cos 1: last bin), CA_i straight down (first),
// phi 0 on both (bin 6 of 12), frames parallel (chi 0: bin 6). Six residues
// 3.5 A apart, loop 2-3: only (0,3) and (2,5) are three apart and within 12 A.
// Swapping a pair swaps its two directions; a rigid motion changes no cell.
TEST(Workflow, OrientationPotentialCellsAndPairs) {
    const std::string body =
        "two = np.array([[[-1, 1, 0], [0, 0, 0], [1, 1, 0]], [[-1, 1, -8], [0, 0, -8], [1, 1, -8]]], float)\n"
        "print('cell', [int(x[0]) for x in np.unravel_index(o.cells(*o.frames(two), np.array([0]), np.array([1])), o.SHAPE)])\n"
        "def res(ca): ca = np.array(ca, float); return {'atoms': {'N': tuple(ca + [-1, 1, 0.1]), 'CA': tuple(ca), 'C': tuple(ca + [1, 1, -0.1])}}\n"
        "line = [res([3.5 * i, 0.2 * i, 0]) for i in range(6)]\n"
        "print('pairs', o.loop_energy(np.ones(np.prod(o.SHAPE)), line, 2, 3))\n"
        "rng = np.random.default_rng(3); xyz = rng.normal(0, 4, (12, 3, 3)); xyz[:, 0] += xyz[:, 1] - xyz[:, 0] + rng.normal(0, 1, (12, 3)); xyz[:, 2] += xyz[:, 1] - xyz[:, 2] + rng.normal(0, 1, (12, 3))\n"
        "ca, ax = o.frames(xyz); i, j = o.chain_pairs(ca, np.arange(12))\n"
        "a = np.array(np.unravel_index(o.cells(ca, ax, i, j), o.SHAPE)); b = np.array(np.unravel_index(o.cells(ca, ax, j, i), o.SHAPE))\n"
        "th = 0.9; R = np.array([[np.cos(th), -np.sin(th), 0], [np.sin(th), np.cos(th), 0], [0, 0, 1]]); ca2, ax2 = o.frames(xyz @ R.T + [3, -2, 7])\n"
        "print('pairs', len(i) > 20, 'swapped', bool((a[[0, 3, 4, 1, 2, 5]] == b).all()), 'moved', bool((o.cells(ca2, ax2, i, j) == o.cells(ca, ax, i, j)).all()))\n";
    std::string out;
    ASSERT_EQ(runRankingSnippet("import orientation_potential as o", body, out), 0) << out;
    EXPECT_TRUE(contains(out, "cell [4, 5, 6, 0, 6, 6]")) << out;
    EXPECT_TRUE(contains(out, "pairs 2.0")) << out;
    EXPECT_TRUE(contains(out, "pairs True swapped True moved True")) << out;
}

// The written-subset tool, known answers on six loops and k = 2: A is loops 0
// and 1; z' (normalised backbone DFIRE plus torsion score) is lowest for 4
// and 5, so B is those. Best RMSD: A 2.0, B 0.5. Within A, z (normalised over
// A alone) favours loop 0 on both varying scores (3.0); within B loop 5 wins
// two scores to one (1.5), so the pick is not simply the best.
TEST(Workflow, WrittenSubsetChoosesByBackboneScore) {
    const std::string body =
        "import written_subset as w\n"
        "d1 = np.array([0, 1, 2, 3, -10, -9.0])\n"
        "s = np.array([[0, 0, 0, 1], [1, 0, 0, 2], [2, 0, 0, 3], [3, 0, 0, 4], [5, 1, 0, -5], [0, 0, 0, -4.0]])\n"
        "print('picks', w.subset_picks(d1, s, np.array([3.0, 2.0, 4.0, 4.0, 0.5, 1.5]), 2))\n"
        "print('all', w.subset_picks(d1, s, np.array([3.0, 2.0, 4.0, 4.0, 0.5, 1.5]), 10)[:2])\n"
        "print('share', w.subset_picks(d1, s, np.array([3.0, 2.0, 4.0, 4.0, 0.5, 1.5]), 10, 2)[1::2])\n";
    std::string out;
    ASSERT_EQ(runRankingSnippet("", body, out), 0) << out;
    EXPECT_TRUE(contains(out, "picks (2.0, 0.5, 3.0, 1.5)")) << out;
    // A count above the written loops takes them all in both subsets.
    EXPECT_TRUE(contains(out, "all (0.5, 0.5)")) << out;
    // B's own count (the --share form): every loop in A, the same two in B.
    EXPECT_TRUE(contains(out, "share (0.5, 1.5)")) << out;
}

// The geometry strain, known answers with a made-up table (N-CA-C 90 +- 2,
// omega 180 +- 10): the loop residue's N-CA-C of 92 degrees adds 1; the bond
// before it is trans (0); the bond after it is cis, 180 degrees off (324).
// A type the table lacks adds no term of its own.
TEST(Workflow, GeometryStrainKnownAnswers) {
    const std::string body =
        "t = np.radians(92.0); c = (1 + np.sin(t), -1 + np.cos(t), 0)\n"
        "before = {'name': 'ALA', 'atoms': {'CA': (0, 1, 0), 'C': (0, 0, 0)}}\n"
        "loop = {'name': 'ALA', 'atoms': {'N': (1, 0, 0), 'CA': (1, -1, 0), 'C': c}}\n"
        "after = {'name': 'ALA', 'atoms': {'N': (c[0], c[1] - 1, 0), 'CA': (c[0] - 1, c[1] - 1, 0)}}\n"
        "tab = ({'ALA': (90.0, 2.0)}, {'ALA': (180.0, 10.0)})\n"
        "print('angle %.3f %.3f' % (g.bond_angle((1, 0, 0), (0, 0, 0), (0, 1, 0)), g.bond_angle((1, 0, 0), (0, 0, 0), (-2, 0, 0))))\n"
        "print('G %.3f' % g.strain(*tab, before, [loop], after))\n"
        "print('unknown %.3f' % g.strain(*tab, before, [dict(loop, name='MSE')], after))\n";
    std::string out;
    ASSERT_EQ(runRankingSnippet("import geometry_rules as g", body, out), 0) << out;
    EXPECT_TRUE(contains(out, "angle 90.000 180.000")) << out;
    EXPECT_TRUE(contains(out, "G 325.000")) << out;
    EXPECT_TRUE(contains(out, "unknown 324.000")) << out;
}

// The backbone-dependent rotamer score's bins, known answers. Atoms are placed
// at given dihedrals: chi1 -60 is g- (bin 2), chi2 170 t (bin 1), so LEU
// (-60, 170) is rotamer 7 and (60, -60) rotamer 2; PHE's ring is symmetric,
// so chi2 95 and -85 are one rotamer; SER has no chi2; a missing chi atom gives
// none. phi -60, psi -45 fall in cell 10 * 12 + 10; a chain end or a broken
// bond has no cell. A cell never seen scores every rotamer 0; a cell seen with
// one rotamer only favours it and penalises the type's other common one.
TEST(Workflow, RotamerBackboneBinsKnownAnswers) {
    const std::string body =
        "def place(a, b, c, chi):\n"
        "    a, b, c = (np.array(v, float) for v in (a, b, c)); bc = (c - b) / np.linalg.norm(c - b); n = np.cross(b - a, bc); n /= np.linalg.norm(n); m = np.cross(n, bc); t, p = np.radians(110.0), np.radians(chi)\n"
        "    return tuple(c + 1.5 * (-np.cos(t) * bc + np.sin(t) * np.cos(p) * m + np.sin(t) * np.sin(p) * n))\n"
        "N, CA, CB = (1.0, 1.0, 0.0), (0.0, 0.0, 0.0), (0.0, -1.5, 0.1)\n"
        "def res(name, chi1, chi2, g='CG', d='CD1'):\n"
        "    at = {'N': N, 'CA': CA, 'CB': CB}; at[g] = place(N, CA, CB, chi1); at[d] = place(CA, CB, at[g], chi2); return {'name': name, 'atoms': at}\n"
        "print('dihedral %.1f' % r.dihedral(N, CA, CB, place(N, CA, CB, -60.0)))\n"
        "print('rot', r.rotamer(res('LEU', -60, 170)), r.rotamer(res('LEU', 60, -60)), r.rotamer(res('PHE', -60, 95)), r.rotamer(res('PHE', -60, -85)), r.rotamer(res('SER', 60, 0, g='OG', d='X')), r.rotamer(res('LEU', 60, 0, d='CD2')))\n"
        "pc, n0, a0 = (-1.2, 0.7, 0.0), (0.0, 0.0, 0.0), (1.45, 0.0, 0.0); c0 = place(pc, n0, a0, -60.0); nn = place(n0, a0, c0, -45.0)\n"
        "chain = [{'atoms': {'C': pc}}, {'name': 'ALA', 'atoms': {'N': n0, 'CA': a0, 'C': c0}}, {'atoms': {'N': nn}}]\n"
        "print('cell', r.cell(chain, 1), r.cell(chain, 0), r.cell(chain[:2] + [{'atoms': {'N': (9.0, 9.0, 9.0)}}], 1))\n"
        "c = np.zeros((len(r.TYPES), r.NCELL ** 2, r.NROT), int); c[0, 0, 0] = 100; c[0, 5, 3] = 100\n"
        "e = r.energy_table(c)\n"
        "print('unseen %.3f %.3f' % (abs(e[0, 1]).max(), abs(e[1, 7]).max()), 'seen', bool(e[0, 0, 0] < -0.5), bool(e[0, 0, 3] > 2))\n";
    std::string out;
    ASSERT_EQ(runRankingSnippet("import rotamer_backbone as r", body, out), 0) << out;
    EXPECT_TRUE(contains(out, "dihedral 300.0")) << out;
    EXPECT_TRUE(contains(out, "rot 7 2 7 7 0 None")) << out;
    EXPECT_TRUE(contains(out, "cell 130 None None")) << out;
    EXPECT_TRUE(contains(out, "unseen 0.000 0.000 seen True True")) << out;
}

// The environment score's neighbour counts, known answers: residue 0 has its
// CB on +z. The half sphere counts CA atoms up the CA->CB side within 13 A
// (residue 1 at +5 A: yes; 2 at -5 A: below; 3 at +14 A: too far); the full
// count takes CB atoms within 10 A of its CB, never itself (1 and 2).
TEST(Workflow, EnvironmentScoreCountsNeighbours) {
    const std::string body =
        "ca = np.array([[0, 0, 0], [0, 0, 5], [0, 0, -5], [0, 0, 14.0]]); cb = ca + [0, 0, 1.5]\n"
        "who = np.array([0])\n"
        "print('hse', e.counts(ca, cb, who, 'hse')[0], 'cn', e.counts(ca, cb, who, 'cn')[0])\n"
        "print('bins', [int(b) for b in e.bin_of([0, 1, 2, 77, 78, 500])])\n";
    std::string out;
    ASSERT_EQ(runRankingSnippet("import environment_score as e", body, out), 0) << out;
    EXPECT_TRUE(contains(out, "hse 1 cn 2")) << out;
    // Bins of 2; the last bin takes every count of 78 and more.
    EXPECT_TRUE(contains(out, "bins [0, 0, 1, 38, 39, 39]")) << out;
}

// The fragment score's hit search, known answers: a database holding one
// chain, the target moved rigidly, must give back the target's own loop in the
// target's frame at a stem RMSD of zero, and the window that overlaps a chain
// break must not count. The homolog rule: a chain is its own homolog, and two
// unrelated repeats are not.
TEST(Workflow, FragmentScoreFindsAMovedCopy) {
    const std::string body =
        "rng = np.random.default_rng(1); bb = np.cumsum(rng.normal(0, 1.2, (20, 4, 3)).reshape(-1, 3), 0).reshape(20, 4, 3)\n"
        "chain = [{'name': 'GLY', 'atoms': dict(zip(f.BACKBONE, map(tuple, r)))} for r in bb]\n"
        "c, s_ = np.cos(0.7), np.sin(0.7); R = np.array([[c, -s_, 0], [s_, c, 0], [0, 0, 1]])\n"
        "moved = (bb @ R.T + [5, -3, 2]).astype(np.float32); brk = np.zeros(20, bool); brk[-1] = True; brk[15] = True\n"
        "db = {'bb': moved, 'brk': brk, 'chain': np.zeros(20, np.int32), 'seq': np.frombuffer(b'G' * 20, np.uint8)}\n"
        "loops, stem, seqs = f.hits(db, chain, 6, 9)\n"
        "print('hits', len(loops), 'stem %.6f' % stem.min(), 'err %.6f' % np.abs(loops[np.argmin(stem)] - bb[6:10]).max())\n"
        "loops, stem, seqs = f.hits(db, chain, 12, 14)\n"
        "print('broken', int((stem < 1e-3).sum()))\n"
        "al = f._aligner(); a = 'MKTAYIAKQRQISFVKSHFSRQ' * 3\n"
        "print('homolog', f.homolog(al, a, a), f.homolog(al, 'AAAAAAAAAAAAAAAAAAAA', 'WWWWWWWWWWWWWWWWWWWW'))\n";
    std::string out;
    ASSERT_EQ(runRankingSnippet("import fragment_score as f", body, out), 0) << out;
    EXPECT_TRUE(contains(out, "stem 0.000000 err 0.000")) << out;
    // Loop 12-14 needs stems 10-11 and 15-16: the break after 15 leaves no exact hit.
    EXPECT_TRUE(contains(out, "broken 0")) << out;
    EXPECT_TRUE(contains(out, "homolog True False")) << out;
}

// The step-weight fit, known answers: in a step whose 50 children nearest the
// native have the worst side-chain energy but the best distance term, the
// program's weights keep none of them among the best 50 and a ranking on the
// distance term keeps all. A table with a column missing is refused.
TEST(Workflow, StepWeightsFitKnownAnswer) {
    const std::string body =
        "sys.path.insert(0, '" + kRepo + "/tools/sampling'); import step_weights as w, tempfile, os\n"
        "d = tempfile.mkdtemp(); rng = np.random.default_rng(5); t = np.zeros((200, 9)); t[:, 8] = np.arange(200)\n"
        "t[:, 7] = rng.uniform(2, 6, 200); t[:50, 7] = rng.uniform(0, 1, 50); t[:50, 6] = 100; t[50:, 3] = 10\n"
        "np.savetxt(os.path.join(d, 'x_S000.txt'), t); np.savetxt(os.path.join(d, 'x_S001.txt'), t[:40])\n"
        "w.collect(d, os.path.join(d, 's.npz')); steps = w.load(os.path.join(d, 's.npz'))\n"
        "print('steps', len(steps), 'classic %.3f' % w.recall(steps, w.CLASSIC, 50), 'distance %.3f' % w.recall(steps, (0, 1, 5, 1), 50))\n"
        "np.savetxt(os.path.join(d, 'x_S002.txt'), t[:, :8])\n"
        "try:\n    w.collect(d, os.path.join(d, 't.npz'))\nexcept ValueError as e:\n    print('refused', 'S002' in str(e))\n"
        "import shutil; shutil.rmtree(d)\n";
    std::string out;
    ASSERT_EQ(runRankingSnippet("", body, out), 0) << out;
    // The 40-row step is too small to hold 50 nearest children and is skipped.
    EXPECT_TRUE(contains(out, "steps 1 classic 0.000 distance 1.000")) << out;
    EXPECT_TRUE(contains(out, "refused True")) << out;
}

// The neighbour torsion rule's reading, known answers: dihedral signs, the
// centred 5-degree bins at their edges, and P(t|L) P(t|R) / P(t), which is the
// right-hand table when the left one equals P(t), and P(t) itself next to a
// residue that is not an amino acid.
TEST(Workflow, NeighbourTorsionRuleKnownAnswers) {
    const std::string body =
        "print('dih %.1f %.1f' % (n.dihedral((1, 0, 0), (0, 0, 0), (0, 1, 0), (0, 1, 1)), abs(n.dihedral((1, 0, 0), (0, 0, 0), (0, 1, 0), (-1, 1, 0)))))\n"
        "print('bins', [n.torsion_bin(x) for x in (-62.4, -62.5, -62.6, 177.5, 177.49, -180.0)])\n"
        "u = np.full((72, 72), 1 / 5184.); base = {t: u for t in n.TYPES}\n"
        "nb = {('ALA', t, s): u for t in n.TYPES for s in ('-1', '+1')}\n"
        "r = np.full((72, 72), 0.5 / 5183); r[24, 28] = 0.5; nb[('ALA', 'PRO', '+1')] = r\n"
        "c = n.combined(base, nb, 'ALA', 'GLY', 'PRO')\n"
        "print('peak %.4f sum %.4f other %.3e' % (c[24, 28], c.sum(), c[0, 0]), 'het', n.combined(base, nb, 'ALA', 'HOH', 'PRO') is u)\n";
    std::string out;
    ASSERT_EQ(runRankingSnippet("import neighbour_torsion_rules as n", body, out), 0) << out;
    EXPECT_TRUE(contains(out, "dih -90.0 180.0")) << out;
    EXPECT_TRUE(contains(out, "bins [24, 24, 23, 0, 71, 0]")) << out;
    EXPECT_TRUE(contains(out, "peak 0.5000 sum 1.0000 other 9.647e-05 het True")) << out;
}

// The fitted ranking's loss: its gradient matches finite differences, and on
// runs where only the fifth feature follows the RMSD the fit moves weight onto
// it, turns the misleading first feature round, and picks loops within 0.2 A of
// the nearest in every run, where z (the first four) is 2 A off or more.
TEST(Workflow, FittedRankingGradientAndFit) {
    const std::string body =
        "rng = np.random.default_rng(3); runs = []\n"
        "for k in range(6):\n"
        "    rmsd = rng.uniform(0.5, 5, 30); X = rng.normal(0, 1, (30, 7)); X[:, 4] = (rmsd - rmsd.mean()) * 2\n"
        "    X[:, 0] = -X[:, 4]\n"
        "    runs.append({'X': X, 'rmsd': rmsd})\n"
        "w = f.W0 + rng.normal(0, 0.3, 7); l, g = f.loss_and_grad(w, runs); num = []\n"
        "for i in range(7):\n"
        "    d = np.zeros(7); d[i] = 1e-6; num.append((f.loss_and_grad(w + d, runs)[0] - f.loss_and_grad(w - d, runs)[0]) / 2e-6)\n"
        "print('graderr %.1e' % np.abs(np.array(num) - g).max())\n"
        "wf = f.fit(runs); near = all(f.pick(r, wf) < r['rmsd'].min() + 0.2 for r in runs)\n"
        "zfar = all(f.pick(r, f.W0) > r['rmsd'].min() + 2 for r in runs)\n"
        "print('w5 %s w1 %s fitted_near %s z_far %s' % (wf[4] > 1, wf[0] < 0, near, zfar))\n"
        "r = {'X': np.zeros((4, 7)), 'rmsd': np.array([4.0, 3.0, 2.0, 1.0])}; r['X'][:, 0] = [0, 1, 2, 3]; r['X'][:, 4] = [3, 2, 1, 0]\n"
        "w = np.zeros(7); w[4] = 1\n"
        "print('top', f.pick(r, w), f.pick(r, w, 2), f.pick(r, w, 1), f.pick(r, f.W0))\n";
    std::string out;
    ASSERT_EQ(runRankingSnippet("import fitted_ranking as f", body, out), 0) << out;
    EXPECT_TRUE(contains(out, "graderr ") && std::stod(out.substr(out.find("graderr ") + 8)) < 1e-5) << out;
    // Among the best two by z (loops 0 and 1) the fifth feature prefers loop 1;
    // unrestricted it takes loop 3, and the best one by z is loop 0 itself.
    EXPECT_TRUE(contains(out, "top 1.0 3.0 4.0 4.0")) << out;
    // The fit turns the misleading first feature round and leans on the fifth.
    EXPECT_TRUE(contains(out, "w5 True w1 True fitted_near True z_far True")) << out;
}

// The physics re-score tool's choices, which need no force field: the frame
// around loop 5-6 of a straight chain of glycines (3.8 A apart) within 5 A
// is residues 4-7 plus one neighbour each side; residue 4 lacks its O, so it
// is left out and residue 3, alone without it, too. Of four ranked loops,
// the second lies 0.5 A from the first: distinct at 1 A skips it. A loop's
// records keep the residue order, and lose their side chains beyond CB when cut.
// The re-rank orders by the sum of program rank and energy rank.
TEST(Workflow, PhysicsRescoreChoosesFrameAndDistinctLoops) {
    const std::string code = R"(
import sys
sys.path.insert(0, sys.argv[1])
import rescore_openmm as r
native = [{"name": n, "res": "GLY", "num": i, "xyz": (3.8 * i + 0.5 * k, 0.0, 0.0)}
          for i in range(1, 11) for k, n in enumerate(("N", "CA", "C", "O")) if (i, n) != (4, "O")]
print("frame", sorted(r.shell_residues(native, 5, 6, 5.0)))
def loop(shift):
    return {(i, n): (3.8 * i + 0.5 * k + shift, 0.0, 0.0) for i in (5, 6) for k, n in enumerate(("N", "CA", "C", "O"))}
loops = [{"index": k, "atoms": loop(s)} for k, s in ((1, 0.0), (2, 0.5), (3, 2.0), (4, 4.0))]
ranks = {1: 1, 2: 2, 3: 3, 4: 4}
print("distinct", [L["index"] for L in r.choose_ranked(loops, ranks, 2, 1.0)])
print("plain", [L["index"] for L in r.choose_ranked(loops, ranks, 2, 0.0)])
try:
    r.choose_ranked(loops, {**ranks, 9: 5}, 2, 0.0)
except ValueError as err:
    print("error", err)
conf = {(6, "CA"): (0, 0, 0), (5, "CG"): (0, 0, 0), (5, "N"): (0, 0, 0), (5, "CB"): (0, 0, 0)}
for cut in (False, True):
    print("cut" if cut else "whole", [(a["num"], a["name"], a["res"]) for a in r.loop_records(conf, {5: "LEU", 6: "GLY"}, cut)])
nan = float("nan")
scored = [(11, 1, -100.0), (12, 2, -300.0), (16, 3, -300.0), (13, 5, -200.0), (14, 7, nan), (15, 9, -400.0)]
print("rerank", [s[0] for s in r.rank_sum_order(scored)])
)";
    std::string out;
    ASSERT_EQ(runCheckScript(code, {kRepo + "/tools/physics"}, out), 0) << out;
    EXPECT_TRUE(contains(out, "frame [5, 6, 7, 8]\n")) << out;
    EXPECT_TRUE(contains(out, "distinct [1, 3]\n")) << out;
    EXPECT_TRUE(contains(out, "plain [1, 2]\n")) << out;
    EXPECT_TRUE(contains(out, "error 1 of the ranked conformations are missing from the result file")) << out;
    // Residue order, atoms within a residue as given; cut at CB, leucine is scored as alanine.
    EXPECT_TRUE(contains(out, "whole [(5, 'CG', 'LEU'), (5, 'N', 'LEU'), (5, 'CB', 'LEU'), (6, 'CA', 'GLY')]\n")) << out;
    EXPECT_TRUE(contains(out, "cut [(5, 'N', 'ALA'), (5, 'CB', 'ALA'), (6, 'CA', 'GLY')]\n")) << out;
    // Energy ranks 15, 12, 16 (equal energy, worse program rank), 13, 11; sums 12: 4, 11: 6, 16: 6
    // (the tie to the better program rank), 13: 9, 15: 10; the failed 14 last.
    EXPECT_TRUE(contains(out, "rerank [12, 11, 16, 13, 15, 14]\n")) << out;
    // The re-rank adds the program's rank: without the ranking table it is misuse, found before any scoring.
    EXPECT_EQ(run("/usr/bin/python3 '" + kRepo + "/tools/physics/rescore_openmm.py' --pdb x.pdb --start 1 --end 2 --result r.txt --out o.tsv "
                  "--rerank order.tsv",
                  out),
              2)
        << out;
    EXPECT_TRUE(contains(out, "--rerank needs --ranking")) << out;
}

// The relaxed-z tool's pieces that need no force field: 1 / MAD weights by
// hand; over a whole set their weighted sum orders loops as z does (the medians
// only shift every loop alike); relaxed loops written as a result file read back
// in residue order with their names.
TEST(Workflow, RelaxedZWeightsAndLoopFile) {
    const std::string code = R"(
import os, random, sys
sys.path.insert(0, sys.argv[1]); sys.path.insert(0, sys.argv[2])
import loopkit, relaxed_z as rz
print("w", rz.mad_weights([[1, 0, 5, 2], [3, 0, 5, 4], [5, 0, 5, 10]]))
random.seed(5); same = 0
for trial in range(50):
    confs = [{"scores": [random.gauss(0, s) for s in (100, 10, 5, 1)]} for _ in range(31)]
    w = rz.mad_weights([c["scores"] for c in confs])
    same += loopkit.argmin(loopkit.z_scores(confs)) == min(range(31), key=lambda i: rz.weighted(confs[i]["scores"], w))
print("same", same)
path = os.path.join(sys.argv[3], "loops.txt")
rz.write_loops(path, [{(6, "CA"): (1.0, 2.0, 3.0), (5, "N"): (0.0, 0.0, 0.0), (5, "CB"): (-1.25, 0.5, 9.875)}], {5: "LEU", 6: "GLY"})
got = loopkit.read_results(path)
print("read", len(got), [(r["num"], r["name"], sorted(r["atoms"].items())) for r in got[0]["residues"]])
)";
    std::string out;
    ASSERT_EQ(runCheckScript(code, {kRepo + "/tools/physics", kRepo + "/workflow/scripts"}, out), 0) << out;
    // Medians 3, 0, 5, 4; MAD 2, 0, 0, 2: a score without spread weighs nothing, as in z.
    EXPECT_TRUE(contains(out, "w [0.5, 0.0, 0.0, 0.5]\n")) << out;
    EXPECT_TRUE(contains(out, "same 50\n")) << out;
    EXPECT_TRUE(contains(out, "read 1 [(5, 'LEU', [('CB', (-1.25, 0.5, 9.875)), ('N', (0.0, 0.0, 0.0))]), (6, 'GLY', [('CA', (1.0, 2.0, 3.0))])]\n"))
        << out;
}

// The frame-contact tool's sums by hand: one loop atom against three frame
// atoms at 3.0, 4.0 and 7.9 A; the sampling table is read at d^2 * 10, DFIRE at
// d / 0.5; a pair of unknown types counts as a pair with no energy.
TEST(Workflow, FrameContactsShellSumsKnownAnswers) {
    const std::string code = R"(
import sys
sys.path.insert(0, sys.argv[1])
import numpy as np, frame_contacts as fc
loop = (["ALA CB"], np.array([[0.0, 0.0, 0.0]]))
frame = (["GLY CA", "GLY CA", "XXX Q"], np.array([[3.0, 0, 0], [0, 4.0, 0], [0, 0, 7.9]]))
samp = {("ALA CB", "GLY CA"): [float(k) for k in range(640)]}
dfire = {("ALA CB", "GLY CA"): [float(k) for k in range(30)]}
print("contacts", fc.contacts(loop, frame), fc.contacts(loop, frame, 3.5))
print("bins", fc.sampling_bin(3.0), fc.sampling_bin(8.5), fc.dfire_bin(4.0), fc.dfire_bin(20.0))
n, e = fc.shell_sums(loop, frame, samp, fc.sampling_bin)
print("sampling", [float(x) for x in n], [float(x) for x in e])
n, e = fc.shell_sums(loop, frame, dfire, fc.dfire_bin)
print("dfire", [float(x) for x in e])
)";
    std::string out;
    ASSERT_EQ(runCheckScript(code, {kRepo + "/tools/sampling"}, out), 0) << out;
    EXPECT_TRUE(contains(out, "contacts 2 1\n")) << out;
    EXPECT_TRUE(contains(out, "bins 90 639 8 29\n")) << out;
    // Shells 0-3.5, 3.5-4.5, ..., 7.5-8: the pairs at 3, 4 and 7.9 A; 7.9^2 * 10 = 624.1.
    EXPECT_TRUE(contains(out, "sampling [1.0, 1.0, 0.0, 0.0, 0.0, 1.0] [90.0, 100.0, 0.0, 0.0, 0.0, 0.0]\n")) << out;
    EXPECT_TRUE(contains(out, "dfire [6.0, 8.0, 0.0, 0.0, 0.0, 0.0]\n")) << out;
}

namespace {

// Stand-in for the physics tool: takes the --top best of the program's ranking
// (with the real tool's reader) and puts them in reverse LOOP order, the last
// one marked failed (energy nan); it records the settings it was given.
const char* kFakePhysics = R"(
import argparse, os, sys
sys.path.insert(0, sys.argv.pop(1))
import rescore_openmm as r
p = argparse.ArgumentParser()
for k in ("pdb", "start", "end", "result", "ranking", "top", "distinct", "steps", "out", "rerank"):
    p.add_argument("--" + k, required=True)
a = p.parse_args()
ranks = r.read_ranking(a.ranking)
order = sorted(sorted(ranks, key=lambda i: ranks[i])[:int(a.top)], reverse=True)
with open(a.out, "w") as fh:
    fh.write("settings\t%s %s %s %s\n" % (a.top, a.distinct, a.steps, os.path.basename(a.pdb)))
with open(a.rerank, "w") as fh:
    fh.write("order\tindex\trank\tenergy\n")
    for k, i in enumerate(order, 1):
        fh.write("%d\t%d\t%d\t%s\n" % (k, i, ranks[i], "nan" if k == len(order) else "%.2f" % -i))
)";

std::string fakePhysicsConfig(const fs::path& dir) {
    std::ofstream(dir / "fake_physics.sh")
        << "#!/bin/sh\nexec python3 '" << (dir / "fake_physics.py").string() << "' '" << kRepo
        << "/tools/physics' \"$@\"\n";
    std::ofstream(dir / "fake_physics.py") << kFakePhysics;
    fs::permissions(dir / "fake_physics.sh", fs::perms::owner_all);
    // the tool is run as PYTHON TOOL ...: /bin/sh runs the wrapper
    return "physics_rerank=true 'physics={python: /bin/sh, tool: " + (dir / "fake_physics.sh").string() +
           ", top: 12, distinct: 0.7, steps: 30}'";
}

// CA coordinates of chain ch residues lo..hi of the first model of a PDB file, in order.
std::vector<std::array<double, 3>> loopCA(const fs::path& pdb, char ch, int lo, int hi) {
    std::vector<std::array<double, 3>> ca;
    std::ifstream in(pdb);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("ENDMDL", 0) == 0) break;
        if (line.rfind("ATOM  ", 0) != 0 || line[21] != ch || line.substr(12, 4) != " CA ") continue;
        const int n = resnum(line);
        if (n >= lo && n <= hi)
            ca.push_back({std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)),
                          std::stod(line.substr(46, 8))});
    }
    return ca;
}

// Lines of the first model that are not atoms of chain ch residues lo..hi.
std::string frameLines(const fs::path& pdb, char ch, int lo, int hi) {
    std::ifstream in(pdb);
    std::string line, out;
    while (std::getline(in, line)) {
        if (line.rfind("ENDMDL", 0) == 0) break;
        if (line.rfind("ATOM  ", 0) != 0 && line.rfind("HETATM", 0) != 0) continue;
        if (line[21] == ch && resnum(line) >= lo && resnum(line) <= hi) continue;
        out += line + "\n";
    }
    return out;
}

}  // namespace

// Planning of the physics re-rank: one rerank job per loop after its last step, and
// a clear refusal when the interpreter cannot run OpenMM.
TEST(Workflow, RerankStepIsPlannedAfterEachLoop) {
    if (!haveSnakemake()) GTEST_SKIP() << "snakemake not installed";
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    writeInputs(tmp.path);
    std::ofstream(tmp.path / "loops.tsv") << "case_id\tfile\tchain\tstart_pdbnum\tend_pdbnum\n"
                                          << "crn\ttwo_chains.pdb\tA\t32\t37\n"
                                          << "crn2\ttwo_chains.pdb\tA\t20\t25\n";
    std::string out;
    for (const std::string batch : {"benchmark", "predict"}) {
        SCOPED_TRACE(batch);
        ASSERT_EQ(run(snakemakeCmd(tmp.path, "batch=" + batch + " " + fakePhysicsConfig(tmp.path) +
                                                 " --cores 1 -n"),
                      out),
                  0)
            << out;
        auto jobs = jobCounts(out);
        EXPECT_EQ(jobs["rerank"], 2) << out;
        EXPECT_EQ(jobs["sample"], 2) << out;
    }
    // the default tool under an interpreter without OpenMM: refused at planning, with the reason
    EXPECT_NE(run(snakemakeCmd(tmp.path, "physics_rerank=true 'physics={python: /nonexistent/python}' "
                                         "--cores 1 -n"),
                  out),
              0);
    EXPECT_TRUE(contains(out, "physics_rerank needs OpenMM's Python module")) << out;
    EXPECT_TRUE(contains(out, "/nonexistent/python")) << out;
}

// A benchmark and a prediction batch with the re-rank, run with the two stand-ins: the
// re-rank's first loop, its RMSD beside the prediction's, the models in the re-rank's
// order grafted into the program's first model, the loops it cannot take failed with
// their reason while their sampling results stay in the summary, and a loop the entry
// lacks re-ranked in the frame of the program's first model.
TEST(WorkflowSlow, RerankStepReordersModelsAndReportsBesideThePrediction) {
    if (!haveSnakemake()) GTEST_SKIP() << "snakemake not installed";
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    writeInputs(tmp.path);
    const std::string ras = fs::relative(kRepo + "/examples/5p21.pdb", tmp.path).string();
    std::ofstream(tmp.path / "loops.tsv")
        << "case_id\tfile\tchain\tstart_pdbnum\tend_pdbnum\tset\tlength\n"
        << "ras\t" << ras << "\tA\t45\t52\tdemo\t8\n"
        << "crn\ttwo_chains.pdb\tA\t32\t37\tdemo\t6\n"
        << "ubq_B\ttwo_chains.pdb\tB\t45\t52\tdemo\t9\n";
    std::string out;
    EXPECT_NE(run(snakemakeCmd(tmp.path, fakePhysicsConfig(tmp.path) + " --cores 1"), out), 0) << out;
    EXPECT_TRUE(contains(out, "1 of 3 loops failed (ubq_B)")) << out;
    const fs::path base = tmp.path / "res" / "t" / "quick";
    auto rows = readTsv(base / "summary.tsv", "case_id");
    ASSERT_EQ(rows.size(), 3u);
    // The stand-in scores the 12 best-ranked (LOOP 1-12 for these loops) and puts LOOP 12
    // first: RMSD 0.25 * 12; the prediction is LOOP k0.
    for (const std::string c : {"ras", "crn"}) {
        SCOPED_TRACE(c);
        const Row& r = rows[c];
        const int start = std::stoi(r.at("start")), end = std::stoi(r.at("end"));
        const int k0 = 1 + (start + end) % 5;
        EXPECT_EQ(r.at("status"), "ok");
        EXPECT_EQ(std::stoi(r.at("pred_index")), k0);
        EXPECT_EQ(r.at("rerank_index"), "12");
        EXPECT_EQ(r.at("rerank_rank"), "12");   // the farthest of the twelve from k0
        EXPECT_NEAR(std::stod(r.at("rerank_rmsd")), 3.0, 0.002);
        EXPECT_EQ(r.at("rerank_scored"), "12");
        EXPECT_EQ(r.at("rerank_failed"), "1");
        const fs::path dir = base / "loops" / c;
        EXPECT_TRUE(contains(slurp(dir / "physics" / "scores.tsv"), "settings\t12 0.7 30 chain.pdb"));
        // model 1 of the re-rank is LOOP 12: its loop lies 0.25 (12 - k0) A further along
        // (1,1,1)/sqrt(3) than the program's model 1 (LOOP k0), its frame is the same
        const fs::path mine = dir / "rerank.models.pdb", theirs = dir / (c + ".models.pdb");
        const auto a = loopCA(mine, 'A', start, end), b = loopCA(theirs, 'A', start, end);
        ASSERT_EQ(a.size(), static_cast<size_t>(end - start + 1));
        ASSERT_EQ(b.size(), a.size());
        for (size_t i = 0; i < a.size(); ++i)
            for (int x = 0; x < 3; ++x)
                EXPECT_NEAR(a[i][x] - b[i][x], 0.25 * (12 - k0) / std::sqrt(3.0), 0.002);
        EXPECT_EQ(frameLines(mine, 'A', start, end), frameLines(theirs, 'A', start, end));
        const std::string models = slurp(mine);
        size_t n = 0;
        for (size_t p = 0; (p = models.find("\nMODEL ", p)) != std::string::npos; ++p) ++n;
        EXPECT_EQ(n + (models.rfind("MODEL ", 0) == 0 ? 1 : 0), 10u);
        EXPECT_TRUE(contains(models, "REMARK   1 RE-RANK 1: LOOP 12, rank"));
    }
    // chain B numbers a residue 46A: the tool cannot key it, the loop fails at this step
    const Row& bad = rows["ubq_B"];
    EXPECT_EQ(bad.at("status"), "failed");
    EXPECT_EQ(bad.at("failed_step"), "rerank");
    EXPECT_TRUE(contains(bad.at("message"), "without insertion codes; the chain has residue 46A"))
        << bad.at("message");
    EXPECT_NE(bad.at("pred_rmsd"), "NA");   // the sampling's figures stay
    EXPECT_EQ(bad.at("rerank_rmsd"), "NA");
    const std::string report = slurp(base / "report.md");
    EXPECT_TRUE(contains(report, "## Physics re-rank")) << report;
    EXPECT_TRUE(contains(report, "| 8-10 | 1 | 0.75 / 0.75 | 3.00 / 3.00 | 1 | 0 | 0 / 1 |")) << report;
    EXPECT_TRUE(contains(report, "| 6 | 1 | 1.25 / 1.25 | 3.00 / 3.00 | 0 | 0 | 0 / 1 |")) << report;
    EXPECT_EQ(absolutePath(report), "");
    // the re-run redoes the failed loop's re-rank only
    ASSERT_EQ(run(snakemakeCmd(tmp.path, fakePhysicsConfig(tmp.path) + " --cores 1 -n"), out), 0) << out;
    auto jobs = jobCounts(out);
    EXPECT_EQ(jobs["rerank"], 1) << out;
    EXPECT_EQ(jobs["sample"], 0) << out;

    // a prediction batch: the re-rank's figures and a link to its models; a loop the
    // entry lacks takes its frame from the program's first model, where it is built
    std::ofstream(tmp.path / "loops.tsv") << "id\tfile\tchain\tstart\tend\tsequence\n"
                                          << "ras\t" << ras << "\tA\t45\t52\t\n"
                                          << "ubq_gap\tubq_gap.pdb.gz\tA\t47\t52\tGKQLED\n";
    EXPECT_EQ(run(snakemakeCmd(tmp.path, "batch=predict outdir=pred " + fakePhysicsConfig(tmp.path) + " --cores 1"), out),
              0)
        << out;
    auto pred = readTsv(tmp.path / "pred" / "t" / "quick" / "summary.tsv");
    ASSERT_EQ(pred.size(), 2u);
    EXPECT_EQ(pred["ras"].at("rerank_index"), "12");
    EXPECT_EQ(pred["ras"].at("rerank_models"), "loops/ras/rerank.models.pdb");
    EXPECT_EQ(pred["ras"].at("rerank_frame"), "input");
    EXPECT_EQ(pred["ubq_gap"].at("status"), "ok") << pred["ubq_gap"].at("message");
    EXPECT_EQ(pred["ubq_gap"].at("rerank_frame"), "model 1");
    EXPECT_EQ(pred["ubq_gap"].at("rerank_index"), "12");
    const fs::path gap = tmp.path / "pred" / "t" / "quick" / "loops" / "ubq_gap";
    EXPECT_EQ(loopCA(gap / "physics" / "chain.pdb", 'A', 47, 52), loopCA(gap / "ubq_gap.models.pdb", 'A', 47, 52));
    EXPECT_EQ(loopCA(gap / "physics" / "chain.pdb", 'A', 47, 52).size(), 6u);
    EXPECT_EQ(loopCA(gap / "rerank.models.pdb", 'A', 47, 52).size(), 6u);
    EXPECT_TRUE(contains(slurp(tmp.path / "pred" / "t" / "quick" / "report.md"),
                         "[rerank models](loops/ras/rerank.models.pdb)"));
}
