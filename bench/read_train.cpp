// Reads every training structure (*.pdb.gz) through the PDB reader and prints
// files, chains, residues, failures and time. Every file must read.
//
// usage: bench_read_train [directory] [templates file]
//   defaults: <source>/../shared/structures/train and <source>/data/atomProp2.txt
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "model/atom.h"
#include "model/residue.h"
#include "model/structure.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

bool gunzip(const std::string& path, std::string& out) {
    gzFile f = gzopen(path.c_str(), "rb");
    if (!f) return false;
    out.clear();
    char buf[1 << 16];
    int n;
    while ((n = gzread(f, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    bool ok = n == 0;
    gzclose(f);
    return ok;
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
    Atom::vdw_adj = 1.0;
    Atom::InitPar(templates.c_str(), "./");
    Residue::InitMap();
    Residue::InitPar(templates.c_str(), "./", 0);

    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string p = e.path().string();
        if (p.size() > 7 && p.compare(p.size() - 7, 7, ".pdb.gz") == 0) files.push_back(p);
    }
    std::sort(files.begin(), files.end());

    long chains = 0, residues = 0, gaps = 0, warnings = 0, missingHeavy = 0;
    int failures = 0, maxChains = 0, maxResidues = 0;
    double unzipSec = 0.0, parseSec = 0.0;
    Structure s(MAX_RESIDUES);
    std::string text;
    std::ostringstream sink;
    const auto start = Clock::now();
    for (const std::string& path : files) {
        auto t = Clock::now();
        if (!gunzip(path, text)) {
            std::cout << "FAILED " << path << ": cannot decompress" << std::endl;
            ++failures;
            continue;
        }
        unzipSec += since(t);
        std::istringstream in(text);
        sink.str("");
        std::streambuf* old = std::cout.rdbuf(sink.rdbuf());  // the reader's warnings are counted, not shown
        t = Clock::now();
        bool ok = s.readPdbStream(in, path, {}, 0);
        parseSec += since(t);
        std::cout.rdbuf(old);
        const std::string msg = sink.str();
        for (size_t p = msg.find("Warning:"); p != std::string::npos; p = msg.find("Warning:", p + 1)) ++warnings;
        if (!ok) {
            ++failures;
            std::cout << "FAILED " << msg;
            continue;
        }
        chains += static_cast<long>(s.chainIds.size());
        residues += s._numRes;
        maxChains = std::max(maxChains, static_cast<int>(s.chainIds.size()));
        maxResidues = std::max(maxResidues, s._numRes);
        for (int i = 1; i <= s._numRes; ++i) {
            gaps += s.gapAfter[i];
            missingHeavy += s.residues[i].missingHeavy;
        }
    }
    const double total = since(start);
    std::printf("files %zu\nchains %ld\nresidues %ld\nfailures %d\nseconds %.2f (decompress %.2f, parse %.2f)\n", files.size(), chains,
                residues, failures, total, unzipSec, parseSec);
    std::printf("largest file: %d chains, %d residues; gap flags %ld; residues missing heavy atoms %ld; skipped-residue warnings %ld\n",
                maxChains, maxResidues, gaps, missingHeavy, warnings);
    return failures == 0 ? 0 : 1;
}
