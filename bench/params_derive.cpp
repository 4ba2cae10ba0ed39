// Wall-clock time of the parameter derivation on the real training set.
//
//   bench_params_derive [--threads N] [--train DIR] [--in-process]
//
// By default runs "lorvane-params derive" (every table, written to a
// temporary folder) and prints the total; the executable is looked for next
// to this program and one folder up. With --in-process (or when the
// executable is not found) it times, inside this process, the loading of
// the training set and the torsion-bin, distance and rotamer derivations
// step by step. Run from the repository root (templates in data/).
#include <omp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "params/joint_distances.h"
#include "params/rotamer_library.h"
#include "params/session.h"
#include "params/torsion_bins.h"

using namespace lorvane;

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    int threads = 2;
    std::string train = "../shared/structures/train";
    bool inProcess = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--threads" && i + 1 < argc) threads = std::atoi(argv[++i]);
        else if (a == "--train" && i + 1 < argc) train = argv[++i];
        else if (a == "--in-process") inProcess = true;
        else {
            std::printf("usage: bench_params_derive [--threads N] [--train DIR] [--in-process]\n");
            return 2;
        }
    }
    if (!fs::exists(std::string(LORVANE_SOURCE_DIR) + "/data/atomProp2.txt")) {
        std::printf("templates %s/data/atomProp2.txt missing\n", LORVANE_SOURCE_DIR);
        return 1;
    }
    if (fs::current_path() != fs::path(LORVANE_SOURCE_DIR)) fs::current_path(LORVANE_SOURCE_DIR);
    if (!fs::is_directory(train)) {
        std::printf("training folder %s not found; nothing to time\n", train.c_str());
        return 0;
    }
    const fs::path self = fs::canonical("/proc/self/exe");
    std::string exe;
    for (const fs::path& c : {self.parent_path() / "lorvane-params", self.parent_path().parent_path() / "lorvane-params"})
        if (fs::exists(c)) exe = c.string();

    const std::string tmp = (fs::temp_directory_path() / ("lorvane_bench_params_" + std::to_string(getpid()))).string();
    fs::create_directories(tmp);
    if (!inProcess && !exe.empty()) {
        const std::string cmd = exe + " derive --train " + train + " --out " + tmp + " --threads " + std::to_string(threads) + " > " + tmp +
                                "/derive.log 2>&1";
        const double t0 = omp_get_wtime();
        const int rc = std::system(cmd.c_str());
        const double t = omp_get_wtime() - t0;
        std::printf("lorvane-params derive, %d threads: %.1f s wall (exit %d; log %s/derive.log)\n", threads, t, rc, tmp.c_str());
        std::printf("limit: 900 s on 2 cores -> %s\n", t < 900 ? "within" : "EXCEEDED");
        // Keep the log, drop the tables.
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(tmp, ec))
            if (e.path().filename() != "derive.log") fs::remove_all(e.path(), ec);
        return rc == 0 ? 0 : 1;
    }
    using namespace lorvane::params;
    Options o;
    o.train = train;
    o.out = tmp;
    o.threads = threads;
    double t0 = omp_get_wtime();
    Session session;
    const TrainingSet& ts = session.trainingSet(o);
    const double tLoad = omp_get_wtime() - t0;
    t0 = omp_get_wtime();
    PhipsiParams pp;
    PhipsiCounts pc;
    collectPhipsi(ts, pp, nullptr, pc);
    std::vector<double> tables;
    buildPhipsi(pc, pp, tables);
    const std::string phipsi = formatPhipsi(tables);
    const double tPhipsi = omp_get_wtime() - t0;
    t0 = omp_get_wtime();
    auto fw = std::make_unique<DistanceTables>(), bw = std::make_unique<DistanceTables>();
    buildDistances(ts, DistanceParams(), *fw, *bw);
    const std::string c1 = formatConditional(*fw), c2 = formatConditional(*bw);
    const double tDist = omp_get_wtime() - t0;
    t0 = omp_get_wtime();
    RotamerLibrary lib;
    buildRotamers(session.templates(o.templates), ts, RotamerParams(), lib);
    const double tRot = omp_get_wtime() - t0;
    std::printf("training set: %zu chains, %ld residues, loaded with %d threads in %.1f s\n", ts.chains.size(), ts.residues, threads, tLoad);
    std::printf("phipsi %.1f s, distances %.1f s, rotamers %.1f s; part A total %.1f s\n", tPhipsi, tDist, tRot,
                tLoad + tPhipsi + tDist + tRot);
    fs::remove_all(tmp);
    return 0;
}
