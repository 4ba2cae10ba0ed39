// Reads every training structure (*.pdb.gz) through the PDB reader and prints
// files, chains, residues, failures and time. Every file must read. A file
// beyond the reader's whole-file limits (1500 residues, 20 chains) is read
// again one chain at a time, as the parameter derivations read it; it counts
// as a failure only when a single chain fails.
//
// usage: bench_read_train [directory] [templates file]
//   defaults: <source>/../shared/structures/train and <source>/data/atomProp2.txt
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "model/atom.h"
#include "model/pdb_reader.h"
#include "model/residue.h"
#include "model/structure.h"
#include "model/text_scan.h"

using namespace lorvane;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Consecutive ATOM records of one chain identifier, each run as its own text.
std::vector<std::string> splitChains(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    char current = 0;
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "ATOM  ") != 0 || line.size() < 22) continue;
        if (out.empty() || line[21] != current) {
            out.emplace_back();
            current = line[21];
        }
        out.back() += line;
        out.back() += '\n';
    }
    return out;
}

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

}  // namespace

int main(int argc, char** argv) {
    const std::string source = LORVANE_SOURCE_DIR;
    const std::string dir = argc > 1 ? argv[1] : source + "/../shared/structures/train";
    const std::string templates = argc > 2 ? argv[2] : source + "/data/atomProp2.txt";
    if (!fs::is_directory(dir)) {
        std::cout << "no training directory " << dir << std::endl;
        return 1;
    }
    if (!std::ifstream(templates)) {
        std::cout << "cannot open templates " << templates << std::endl;
        return 1;
    }
    const Templates tm = loadTemplates(templates);

    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string p = e.path().string();
        if (p.size() > 7 && p.compare(p.size() - 7, 7, ".pdb.gz") == 0) files.push_back(p);
    }
    std::sort(files.begin(), files.end());

    long chains = 0, residues = 0, gaps = 0, warnings = 0, missingHeavy = 0;
    int failures = 0, perChainFiles = 0, maxChains = 0, maxResidues = 0;
    double unzipSec = 0.0, parseSec = 0.0;
    Structure s(MAX_RESIDUES);
    std::string text;
    std::ostringstream sink;
    const auto start = Clock::now();
    const std::clock_t cpu0 = std::clock();
    for (const std::string& path : files) {
        auto t = Clock::now();
        if (!lorvane::textscan::readWholeFile(path, text)) {
            std::cout << "FAILED " << path << ": cannot decompress" << std::endl;
            ++failures;
            continue;
        }
        unzipSec += since(t);
        auto readOne = [&](const std::string& body, std::string& msg) {
            std::istringstream in(body);
            sink.str("");
            std::streambuf* old = std::cout.rdbuf(sink.rdbuf());  // the reader's messages are counted, not shown
            const auto t0 = Clock::now();
            bool ok = readPdbStream(tm, in, path, s);
            parseSec += since(t0);
            std::cout.rdbuf(old);
            msg = sink.str();
            for (size_t p = msg.find("Warning:"); p != std::string::npos; p = msg.find("Warning:", p + 1)) ++warnings;
            if (ok) {
                chains += static_cast<long>(s.chainIds.size());
                residues += s._numRes;
                maxChains = std::max(maxChains, static_cast<int>(s.chainIds.size()));
                maxResidues = std::max(maxResidues, s._numRes);
                for (int i = 1; i <= s._numRes; ++i) {
                    gaps += s.gapAfter[i];
                    missingHeavy += s.residues[i].missingHeavy;
                }
            }
            return ok;
        };
        std::string msg;
        if (readOne(text, msg)) continue;
        const bool overLimit = msg.find("residues, but the most allowed") != std::string::npos || msg.find("more than 20 chains") != std::string::npos;
        if (!overLimit) {
            ++failures;
            std::cout << "FAILED " << msg;
            continue;
        }
        ++perChainFiles;
        std::cout << "per chain: " << msg;
        for (const std::string& chain : splitChains(text)) {
            if (readOne(chain, msg)) continue;
            ++failures;
            std::cout << "FAILED (one chain) " << msg;
        }
    }
    const double total = since(start);
    const double cpu = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
    std::printf("files %zu\nchains %ld\nresidues %ld\nfailures %d\nseconds %.2f (decompress %.2f, parse %.2f; cpu %.2f)\n", files.size(),
                chains, residues, failures, total, unzipSec, parseSec, cpu);
    std::printf("files over the whole-file limits, read per chain: %d\n", perChainFiles);
    std::printf("largest read: %d chains, %d residues; gap flags %ld; residues missing heavy atoms %ld; skipped-residue warnings %ld\n",
                maxChains, maxResidues, gaps, missingHeavy, warnings);
    return failures == 0 ? 0 : 1;
}
