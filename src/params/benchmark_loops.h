#pragma once
// The benchmark loop list (loops.tsv of the benchmark folder), read by the
// validation commands; measurement only, nothing is derived from it.
#include <string>
#include <vector>

namespace lorvane::params {

struct BenchmarkLoop {
    std::string id;
    std::string file;  // structure file, relative to the benchmark folder
    int start = 0, end = 0, length = 0;
};

// Rows of benchDir/loops.tsv after its header: id, file, chain, start, end, length.
// Throws Error when the list is missing, malformed or empty.
std::vector<BenchmarkLoop> readBenchmarkLoops(const std::string& benchDir);

}  // namespace lorvane::params
