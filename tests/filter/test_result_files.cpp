// Result files are never destroyed and never half-written: what happens to an
// earlier file at the path, and to the temporary file beside it, when a
// writer commits, gives up, fails, is interrupted or races another writer;
// then the same for whole runs of the program.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <thread>

#include "filter/filter.h"
#include "model/atomic_file.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Runs f in a child process; returns the signal that ended it (0 when it exited).
int inChild(const std::function<void()>& f) {
    const pid_t pid = fork();
    if (pid == 0) {
        f();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

TEST(ResultFiles, AnEarlierFileStaysUntilTheNewOneIsComplete) {
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> write;
        std::string after;   // the file at the path afterwards
        int signal = 0;      // the writer ends by this signal
    };
    const std::vector<Case> cases = {
        {"committed", [](const std::string& p) {
             AtomicFile f(p);
             f.stream() << "new\n";
             EXPECT_EQ(slurp(p), "old\n") << "not replaced before the commit";
             f.commit();
         }, "new\n"},
        {"given up", [](const std::string& p) { AtomicFile f(p); f.stream() << "half"; }, "old\n"},
        {"failed while writing", [](const std::string& p) {
             try {
                 AtomicFile f(p);
                 f.stream() << "half";
                 throw std::runtime_error("a run fails");
             } catch (const std::runtime_error&) {
             }
         }, "old\n"},
        {"interrupted (SIGINT)", [](const std::string& p) {
             EXPECT_EQ(inChild([&] {
                           removeTemporariesOnSignals();
                           AtomicFile f(p);
                           f.stream() << std::string(100000, 'x') << std::flush;
                           raise(SIGINT);
                       }),
                       SIGINT);
         }, "old\n"},
        {"terminated (SIGTERM) while another file is open", [](const std::string& p) {
             EXPECT_EQ(inChild([&] {
                           removeTemporariesOnSignals();
                           AtomicFile other(p + ".second"), f(p);
                           f.stream() << "half" << std::flush;
                           raise(SIGTERM);
                       }),
                       SIGTERM);
         }, "old\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.path("r.txt");
        dir.write("r.txt", "old\n");
        c.write(path);
        EXPECT_EQ(slurp(path), c.after);
        EXPECT_EQ(entries(dir.root()), std::vector<std::string>{"r.txt"}) << "no temporary file left beside it";
    }
}

TEST(ResultFiles, UnwritableLocationsStopWithStatusOne) {
    ScratchDir dir;
    EXPECT_ERROR(AtomicFile(dir.path("none/r.txt")), 1, "Cannot create a file in \".*none\" for \".*none/r.txt\"");
    fs::create_directories(dir.path("r.txt"));  // a directory where the file should go
    EXPECT_ERROR(
        {
            AtomicFile f(dir.path("r.txt"));
            f.stream() << "x";
            f.commit();
        },
        1, "Cannot move the finished file into place as \".*r.txt\"");
    EXPECT_EQ(entries(dir.root()), std::vector<std::string>{"r.txt"});
    // The result file made like any other file (not private to its owner).
    const mode_t mask = umask(022);
    {
        AtomicFile f(dir.path("mode.txt"));
        f.commit();
    }
    umask(mask);
    struct stat st;
    ASSERT_EQ(stat(dir.path("mode.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(ResultFiles, ConcurrentWritersEachLeaveACompleteFile) {
    ScratchDir dir;
    const std::string path = dir.path("r.txt");
    std::vector<std::string> texts;
    for (int w = 0; w < 8; ++w) texts.push_back(std::string(200000, static_cast<char>('a' + w)) + "\n");
    std::vector<std::thread> writers;
    for (int w = 0; w < 8; ++w)
        writers.emplace_back([&, w] {
            AtomicFile f(path);
            for (char c : texts[w]) f.stream() << c;  // slowly, to overlap
            f.commit();
        });
    for (std::thread& t : writers) t.join();
    const std::string got = slurp(path);
    EXPECT_NE(std::find(texts.begin(), texts.end(), got), texts.end()) << "one writer's whole text, not a mixture";
    EXPECT_EQ(entries(dir.root()), std::vector<std::string>{"r.txt"});
}

// ---- the program ----

const std::string kArgs = " -start 45 -end 52 -cores 1 -rs 3";

// A failed run (a damaged table) and runs that cannot store their result
// leave an earlier result file untouched and nothing beside it.
TEST(ResultFiles, AFailedRunKeepsTheEarlierResult) {
    ScratchDir dir;
    fs::create_directories(dir.path("data"));
    for (const auto& e : fs::directory_iterator(buildDataPath()))
        if (e.path().filename() != "newsimplRot.txt") fs::create_symlink(e.path(), dir.path("data/" + e.path().filename().string()));
    dir.write("data/newsimplRot.txt", "//\n");
    dir.write("pdbout/5p21_45_52.txt", "LOOP 1 earlier\n");
    const ProgramRun r = runProgram(dir.root(), "-f '" + sourcePath("examples/5p21.pdb") + "'" + kArgs + " -seeds 100 -numloop 5");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(slurp(dir.path("pdbout/5p21_45_52.txt")), "LOOP 1 earlier\n");
    EXPECT_EQ(entries(dir.path("pdbout")), std::vector<std::string>{"5p21_45_52.txt"});
}

// Interrupts in the middle of sampling, and two runs writing the same result at once.
TEST(ResultFilesSlow, InterruptedAndConcurrentRunsNeverLeaveAPartialResult) {
    ScratchDir dir;
    dir.linkData();
    const std::string exe = LORVANE_EXE, pdb = sourcePath("examples/5p21.pdb");
    dir.write("pdbout/5p21_45_52.txt", "LOOP 1 earlier\n");
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir.root().c_str()) != 0) _exit(99);
            const std::string err = dir.path("err.txt");
            if (!freopen(err.c_str(), "w", stderr)) _exit(98);
            execl(exe.c_str(), exe.c_str(), "-f", pdb.c_str(), "-start", "45", "-end", "52", "-cores", "1", "-seeds", "2000", "-numloop",
                  "500", static_cast<char*>(nullptr));
            _exit(97);
        }
        // Wait until sampling has begun (the tables are loaded and the probe file made).
        for (int k = 0; k < 600 && slurp(dir.path("err.txt")).find("Loop length") == std::string::npos; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        kill(pid, sig);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "the run ends by the signal, not as a success";
        EXPECT_EQ(slurp(dir.path("pdbout/5p21_45_52.txt")), "LOOP 1 earlier\n");
        EXPECT_EQ(entries(dir.path("pdbout")), std::vector<std::string>{"5p21_45_52.txt"});
    }
    // Two runs at once: each writes a whole file, the last rename wins.
    std::vector<std::thread> runs;
    int status[2] = {-1, -1};
    for (int k = 0; k < 2; ++k)
        runs.emplace_back([&, k] {
            const std::string cmd = "cd '" + dir.root() + "' && '" + exe + "' -f '" + pdb +
                                    "' -start 45 -end 52 -cores 1 -seeds 300 -numloop 50 -rs " + std::to_string(5 + k) + " > /dev/null 2>&1";
            status[k] = std::system(cmd.c_str());
        });
    for (std::thread& t : runs) t.join();
    EXPECT_EQ(status[0], 0);
    EXPECT_EQ(status[1], 0);
    const std::string text = slurp(dir.path("pdbout/5p21_45_52.txt"));
    int expected = 1, ends = 0;
    for (const std::string& l : lines(text)) {
        if (l.rfind("LOOP ", 0) == 0) {
            EXPECT_EQ(std::stoi(l.substr(5)), expected++) << "loop numbers run on: no interleaving";
        }
        ends += l.rfind("END", 0) == 0;
    }
    EXPECT_GT(expected, 1);
    EXPECT_EQ(ends, expected - 1) << "every loop closed";
    EXPECT_EQ(entries(dir.path("pdbout")), (std::vector<std::string>{"5p21_45_52.models.pdb", "5p21_45_52.ranking.tsv", "5p21_45_52.txt"}))
        << "no temporary file left";
}

}  // namespace
