// Batch workflow (workflow/Snakefile): planning for a SLURM cluster and a local run
// end to end with the stand-in program workflow/scripts/fake_lorvane.py.
//
// The stand-in writes, for loop S-E, min(numloop, 24) conformations; conformation k
// is the native loop moved by 0.25 k Å, and the one of lowest z is k0 = 1 + (S+E) % 5.
// So the workflow's RMSDs are known exactly: best 0.25 Å, prediction 0.25 k0 Å.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/support.h"


namespace {

namespace fs = std::filesystem;
const std::string kRepo = LORVANE_SOURCE_DIR;

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

// A scratch directory as a path.
struct TempDir {
    lorvane_test::ScratchDir dir;
    fs::path path{dir.root()};
};

using Row = std::map<std::string, std::string>;

std::vector<Row> readTsv(const fs::path& p) {
    std::ifstream in(p);
    std::string line;
    std::vector<std::string> header;
    std::vector<Row> rows;
    auto split = [](const std::string& s) {
        std::vector<std::string> f;
        std::stringstream ss(s);
        std::string x;
        while (std::getline(ss, x, '\t')) f.push_back(x);
        return f;
    };
    if (!std::getline(in, line)) return rows;
    header = split(line);
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        auto f = split(line);
        Row r;
        for (size_t i = 0; i < header.size(); ++i) r[header[i]] = i < f.size() ? f[i] : "";
        rows.push_back(r);
    }
    return rows;
}

// ATOM records of one chain of a PDB file, with the chain letter replaced.
std::string chainRecords(const fs::path& pdb, char from, char to) {
    std::ifstream in(pdb);
    std::string line, out;
    while (std::getline(in, line)) {
        if (line.rfind("ENDMDL", 0) == 0) break;
        if (line.rfind("ATOM  ", 0) == 0 && line.size() > 21 && line[21] == from) {
            line[21] = to;
            out += line + "\n";
        }
    }
    return out;
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

}  // namespace

TEST(WorkflowSlow, SlurmProfilePlansOneClusterJobPerLoop) {
    if (!haveSnakemake()) GTEST_SKIP() << "snakemake not installed";
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    // Two loops that share start and end: as lorvane names its result file after
    // the input file's name and the loop, each needs a directory of its own.
    std::ofstream(tmp.path / "loops.tsv")
        << "case_id\tfile\tchain\tstart_pdbnum\tend_pdbnum\tset\n"
        << "ras\t" << kRepo << "/examples/5p21.pdb\tA\t45\t52\tx\n"
        << "ubq\t" << kRepo << "/examples/1ubq.pdb\tA\t45\t52\tx\n";
    std::string out;
    int rc = run(snakemakeCmd(tmp.path, "'rules={sample: {threads: 3, mem_mb: 1234, runtime: 77}}'"
                                        " --profile '" + kRepo + "/workflow/profiles/slurm' -n --cores 8"),
                 out);
    ASSERT_EQ(rc, 0) << out;

    // sampling is the only rule sent to the cluster, once per loop
    auto sample = jobBlocks(out, "rule sample");
    ASSERT_EQ(sample.size(), 2u) << out;
    std::vector<std::string> rundirs;
    for (const auto& b : sample) {
        EXPECT_NE(b.find("threads: 3"), std::string::npos) << b;
        EXPECT_NE(b.find("mem_mb=1234"), std::string::npos) << b;
        EXPECT_NE(b.find("runtime=77"), std::string::npos) << b;
        EXPECT_NE(b.find("--threads 3"), std::string::npos) << b;
        EXPECT_NE(b.find("-seeds 2000 -numloop 500"), std::string::npos) << b;
        size_t r = b.find("--rundir ");
        ASSERT_NE(r, std::string::npos);
        rundirs.push_back(b.substr(r, b.find(' ', r + 9) - r));
    }
    EXPECT_NE(rundirs[0], rundirs[1]);
    EXPECT_TRUE(jobBlocks(out, "rule compare").empty());
    EXPECT_TRUE(jobBlocks(out, "rule summary").empty());
    EXPECT_EQ(jobBlocks(out, "localrule compare").size(), 2u);
    EXPECT_EQ(jobBlocks(out, "localrule analyse").size(), 2u);
    EXPECT_EQ(jobBlocks(out, "localrule chain").size(), 2u);
    EXPECT_EQ(jobBlocks(out, "localrule summary").size(), 1u);

    // the default sampling profile passes no sampling options
    rc = run(snakemakeCmd(tmp.path, "sampling=default -n --cores 2"), out);
    ASSERT_EQ(rc, 0) << out;
    sample = jobBlocks(out, "rule sample");
    ASSERT_EQ(sample.size(), 2u) << out;
    for (const auto& b : sample) {
        EXPECT_EQ(b.find("-seeds"), std::string::npos) << b;
        EXPECT_NE(b.find("/t/default/loops/"), std::string::npos) << b;
    }
}

TEST(WorkflowSlow, RejectsTablesItCannotRun) {
    if (!haveSnakemake()) GTEST_SKIP() << "snakemake not installed";
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    std::string out;
    std::ofstream(tmp.path / "loops.tsv") << "case_id\tfile\tchain\tstart_pdbnum\n"
                                          << "a\tx.pdb\tA\t3\n";
    EXPECT_NE(run(snakemakeCmd(tmp.path, "-n --cores 1"), out), 0);
    EXPECT_NE(out.find("end_pdbnum"), std::string::npos) << out;

    std::ofstream(tmp.path / "loops.tsv", std::ios::trunc)
        << "case_id\tfile\tchain\tstart_pdbnum\tend_pdbnum\n"
        << "a\tx.pdb\tA\t3\t9\n"
        << "a\ty.pdb\tA\t3\t9\n";
    EXPECT_NE(run(snakemakeCmd(tmp.path, "-n --cores 1"), out), 0);
    EXPECT_NE(out.find("appears twice"), std::string::npos) << out;
}

TEST(WorkflowSlow, LocalRunMeasuresEveryLoop) {
    if (!haveSnakemake()) GTEST_SKIP() << "snakemake not installed";
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    // A two-chain file: crambin as chain A, ubiquitin as chain B. Both have residues
    // 45 and 46, so a loop of chain B only comes out right if chain A is dropped.
    std::ofstream(tmp.path / "two_chains.pdb")
        << chainRecords(kRepo + "/examples/1crn.pdb", 'A', 'A') << "TER\n"
        << chainRecords(kRepo + "/examples/1ubq.pdb", 'A', 'B') << "TER\nEND\n";
    std::ofstream(tmp.path / "loops.tsv")
        << "case_id\tfile\tchain\tstart_pdbnum\tend_pdbnum\tset\tlength\n"
        << "ubq_B\ttwo_chains.pdb\tB\t45\t52\tdemo\t8\n"
        << "ras\t" << kRepo << "/examples/5p21.pdb\tA\t45\t52\tdemo\t8\n"
        << "crn\ttwo_chains.pdb\tA\t32\t37\tdemo\t6\n";
    std::string out;
    int rc = run(snakemakeCmd(tmp.path, "'rules={sample: {threads: 1}}' --cores 2"), out);
    ASSERT_EQ(rc, 0) << out;

    const fs::path base = tmp.path / "res" / "t" / "quick";
    auto rows = readTsv(base / "summary.tsv");
    ASSERT_EQ(rows.size(), 3u);
    const std::map<std::string, std::string> sequence = {
        {"ubq_B", "FAGKQLED"}, {"ras", "VIDGETCL"}, {"crn", "CIIIPG"}};
    const std::map<std::string, int> k0 = {{"ubq_B", 1 + 97 % 5}, {"ras", 1 + 97 % 5},
                                           {"crn", 1 + 69 % 5}};
    for (const auto& r : rows) {
        const std::string c = r.at("case_id");
        ASSERT_TRUE(sequence.count(c)) << c;
        SCOPED_TRACE(c);
        EXPECT_EQ(r.at("sequence"), sequence.at(c));
        EXPECT_EQ(r.at("status"), "ok");
        EXPECT_EQ(r.at("n_conf"), "24");
        EXPECT_EQ(std::stoi(r.at("length")), static_cast<int>(sequence.at(c).size()));
        EXPECT_EQ(r.at("group"), c == "crn" ? "6" : "8-10");
        EXPECT_NEAR(std::stod(r.at("best_rmsd")), 0.25, 0.002);
        EXPECT_EQ(r.at("best_index"), "1");
        EXPECT_EQ(std::stoi(r.at("pred_index")), k0.at(c));
        EXPECT_NEAR(std::stod(r.at("pred_rmsd")), 0.25 * k0.at(c), 0.002);
        EXPECT_NEAR(std::stod(r.at("mean_rmsd")), 0.25 * 12.5, 0.002);
        // the compare mode's numbers, read back from its summary line
        EXPECT_EQ(r.at("cmp_n"), "24");
        EXPECT_EQ(r.at("check_best"), "ok");
        EXPECT_EQ(r.at("check_pred"), "ok");
        EXPECT_GT(std::stod(r.at("wall_s")), 0.0);
        EXPECT_GE(std::stod(r.at("cpu_s")), 0.0);
        EXPECT_GT(std::stod(r.at("peak_rss_mb")), 1.0);
        EXPECT_EQ(r.at("threads"), "1");
        EXPECT_TRUE(fs::exists(base / "loops" / c / "funnel.svg"));
        EXPECT_EQ(readTsv(base / "loops" / c / "conformations.tsv").size(), 24u);
    }
    // the chain file handed to the program holds chain B only
    const std::string chain = lorvane_test::slurp(base / "loops" / "ubq_B" / "chain.pdb");
    EXPECT_EQ(chain.find(" A  "), std::string::npos);
    EXPECT_NE(chain.find("GLY B  47"), std::string::npos);

    const std::string report = lorvane_test::slurp(base / "report.md");
    EXPECT_NE(report.find("| 8-10 | 2 | 2 | 24 | 0.75 | 0.75 |"), std::string::npos) << report;
    EXPECT_NE(report.find("| 6 | 1 | 1 | 24 | 1.25 | 1.25 | 0/1 (0%) | 0.25 | 1/1 (100%) |"),
              std::string::npos) << report;
    EXPECT_NE(report.find("0.56"), std::string::npos);
    EXPECT_GT(fs::file_size(base / "rmsd_per_loop.png"), 1000u);

    // nothing left to do on a second run: all outputs are complete
    rc = run(snakemakeCmd(tmp.path, "'rules={sample: {threads: 1}}' --cores 2 -n"), out);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("Nothing to be done"), std::string::npos) << out;
}
