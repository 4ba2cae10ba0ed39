#include "params/benchmark_loops.h"

#include <fstream>

#include "model/error.h"
#include "model/strings.h"

namespace lorvane::params {

std::vector<BenchmarkLoop> readBenchmarkLoops(const std::string& benchDir) {
    const std::string path = benchDir + "/loops.tsv";
    std::ifstream in(path);
    if (!in) fail("lorvane-params: cannot read the benchmark loop list " + path + " (set the benchmark folder with --bench DIR)");
    std::vector<BenchmarkLoop> loops;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        if (++lineNo == 1 || line.empty()) continue;
        const std::vector<std::string> f = split(line, "\t", true);
        if (f.size() < 6) fail("lorvane-params: " + path + " line " + std::to_string(lineNo) + " has fewer than 6 tab-separated fields");
        BenchmarkLoop l;
        l.id = f[0];
        l.file = f[1];
        l.start = static_cast<int>(toLong(f[3]));
        l.end = static_cast<int>(toLong(f[4]));
        l.length = static_cast<int>(toLong(f[5]));
        loops.push_back(l);
    }
    if (loops.empty()) fail("lorvane-params: no loops in " + path);
    return loops;
}

}  // namespace lorvane::params
