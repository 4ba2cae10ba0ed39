// Runs the sampling mode in-process with the given command line and prints
// wall time, CPU time, peak resident memory and the time of the filter's
// stages; the rest of the sampling time is growth (with closure) and the
// loading of tables.
//
//   bench_sampling_run -f examples/5p21.pdb -start 45 -end 52 [options]
//
// Run from the repository root; the tables are the build tree's (LORVANE_DATA when set).
#include <omp.h>
#include <sys/resource.h>

#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <vector>

#include "driver/driver.h"
#include "filter/filter.h"

using namespace lorvane;

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    setenv("LORVANE_DATA", LORVANE_BINARY_DIR "/data", 0);
    const double t0 = omp_get_wtime();
    FilterTimes f;
    const int status = runLorvane(static_cast<int>(args.size()), args.data(), &f);
    const double wall = omp_get_wtime() - t0;
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    const double cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec * 1e-6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec * 1e-6;
    const double filter = f.scoring + f.selection + f.clustering + f.commit + f.finalLoops;
    std::cout << std::fixed << std::setprecision(1);
    std::cout << "\n== sampling run ==\n"
              << "status            " << status << "\n"
              << "wall time         " << wall << " s\n"
              << "CPU time          " << cpu << " s\n"
              << "peak RSS          " << ru.ru_maxrss / 1024.0 << " MiB\n"
              << "filter scoring    " << f.scoring << " s\n"
              << "filter selection  " << f.selection << " s\n"
              << "clustering        " << f.clustering << " s\n"
              << "commit            " << f.commit << " s\n"
              << "final refinement  " << f.finalLoops << " s (side chains, scoring, writing)\n"
              << "growth and rest   " << wall - filter << " s\n";
    return status;
}
