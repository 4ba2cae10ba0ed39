// Training-set loader of lorvane-params. Every entry is read with the
// program's own PDB reader, one chain at a time (entries may hold more chains
// and residues than one Structure takes), and reduced to the compact
// TrainResidue form. Secondary structure comes from DSSP run on the backbone
// of the whole entry, so that sheets between chains are seen.
#include "params/training_set.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "model/error.h"
#include "model/pdb_reader.h"
#include "model/residue.h"
#include "model/strings.h"
#include "model/structure.h"
#include "params/dssp_classes.h"
#include "model/text_scan.h"

namespace fs = std::filesystem;

namespace lorvane::params {

namespace {

constexpr size_t kDsspChains = 26;  // the classic DSSP format holds at most 26 chains

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Entry id of a file name: the text before the first '.', lower-cased.
std::string entryId(const std::string& fileName) { return lower(fileName.substr(0, fileName.find('.'))); }

// Consecutive ATOM records of one chain identifier.
struct ChainRun {
    char id = ' ';
    std::string atoms;  // ATOM lines, newline-terminated
};

std::vector<ChainRun> splitChains(const std::string& text) {
    std::vector<ChainRun> runs;
    size_t p = 0;
    while (p < text.size()) {
        size_t e = text.find('\n', p);
        if (e == std::string::npos) e = text.size();
        std::string_view line(text.data() + p, e - p);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() >= 22 && line.substr(0, 6) == "ATOM  ") {
            const char id = line[21];
            if (runs.empty() || runs.back().id != id) runs.push_back({id, {}});
            runs.back().atoms.append(line);
            runs.back().atoms.push_back('\n');
        }
        p = e + 1;
    }
    return runs;
}

struct FileResult {
    std::vector<TrainChain> chains;
    int unread = 0;
    int dsspFailures = 0;
    long unmatched = 0;
};

// Converts chain positions 1..n of a freshly read Structure.
void convertChain(const Structure& s, const std::string& id, char chainId, const DsspClasses* dssp, TrainChain& out, long& unmatched) {
    out.pdbId = id;
    out.chain = chainId;
    out.residues.reserve(static_cast<size_t>(s._numRes));
    for (int i = 1; i <= s._numRes; ++i) {
        const Residue& r = s[i];
        if (r.type < 0 || r.type >= 20) continue;
        TrainResidue t;
        t.type = static_cast<int8_t>(r.type);
        t.chain = chainId;
        t.pdbNum = r.pdbNum;
        const int last = std::min(LAST_HEAVY_SLOT[r.type], TRAIN_SLOTS - 1);
        for (int j = 0; j <= last; ++j) {
            const Atom& a = r.atoms[j];
            if (a.type == ABSENT) continue;
            t.present |= static_cast<uint16_t>(1u << j);
            t.atoms[j] = Point(a.x, a.y, a.z);
            t.bfactor[j] = static_cast<float>(a.bfactor);
        }
        if (out.residues.empty()) {
            t.breakBefore = true;
        } else {
            const TrainResidue& p = out.residues.back();
            t.breakBefore = p.pdbNum + 1 != t.pdbNum || !p.has(2) || !t.has(0) || p.atoms[2].dis(t.atoms[0]) > 2.0;
        }
        const auto it = dssp ? dssp->find({chainId, t.pdbNum}) : DsspClasses::const_iterator();
        if (dssp && it != dssp->end()) {
            t.ss = it->second;
        } else {
            // No DSSP line (or DSSP not used): the reader's phi/psi class.
            t.ss = r.ss == 0 ? 'H' : r.ss == 1 ? 'E' : 'C';
            if (dssp) ++unmatched;
        }
        out.residues.push_back(t);
    }
}

// Weights: chains with the same sequence share a total weight of one.
void assignWeights(std::vector<TrainChain>& chains) {
    std::vector<std::string> seq(chains.size());
    for (size_t i = 0; i < chains.size(); ++i)
        for (const TrainResidue& r : chains[i].residues) seq[i] += oneLetter(r.type)[0];
    std::vector<size_t> parent(chains.size());
    for (size_t i = 0; i < parent.size(); ++i) parent[i] = i;
    auto find = [&](size_t x) {
        while (parent[x] != x) x = parent[x] = parent[parent[x]];
        return x;
    };
    auto unite = [&](size_t a, size_t b) {
        a = find(a), b = find(b);
        if (a != b) parent[std::max(a, b)] = std::min(a, b);
    };
    std::map<std::string, size_t> firstWithSeq;
    for (size_t i = 0; i < chains.size(); ++i) {
        auto [it, isNew] = firstWithSeq.emplace(seq[i], i);
        if (!isNew) unite(i, it->second);
    }
    // Within an entry a copy may miss a few disordered residues at its ends.
    for (size_t i = 0; i < chains.size();) {
        size_t j = i;
        while (j < chains.size() && chains[j].pdbId == chains[i].pdbId) ++j;
        for (size_t a = i; a < j; ++a)
            for (size_t b = a + 1; b < j; ++b) {
                const std::string &sa = seq[a], &sb = seq[b];
                if (sa.empty() || sb.empty()) continue;
                if (sa.find(sb) != std::string::npos || sb.find(sa) != std::string::npos) unite(a, b);
            }
        i = j;
    }
    std::map<size_t, int> groupSize;
    for (size_t i = 0; i < chains.size(); ++i) groupSize[find(i)]++;
    for (size_t i = 0; i < chains.size(); ++i) chains[i].weight = 1.0 / groupSize[find(i)];
}

// The structure files of the folder in name order, without the excluded entries.
std::vector<std::string> trainingFiles(const TrainingOptions& opt, int& excluded) {
    std::error_code ec;
    if (!fs::is_directory(opt.dir, ec)) fail("lorvane-params: training folder " + opt.dir + " does not exist (set it with --train DIR)");
    std::vector<std::string> files;
    excluded = 0;
    for (const auto& e : fs::directory_iterator(opt.dir)) {
        if (!e.is_regular_file()) continue;
        const std::string n = e.path().filename().string();
        const bool gz = n.size() > 7 && n.compare(n.size() - 7, 7, ".pdb.gz") == 0;
        const bool plain = n.size() > 4 && n.compare(n.size() - 4, 4, ".pdb") == 0;
        if (!gz && !plain) continue;
        if (opt.excludeIds.count(entryId(n))) {
            ++excluded;
            continue;
        }
        files.push_back(n);
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) fail("lorvane-params: no .pdb or .pdb.gz files in training folder " + opt.dir);
    return files;
}

std::string makeTemporaryFolder() {
    const char* t = std::getenv("TMPDIR");
    const std::string templ = std::string(t && *t ? t : "/tmp") + "/lorvane-params-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) fail("lorvane-params: cannot create a temporary folder " + templ + " for mkdssp");
    return buf.data();
}

// DSSP classes of the chain runs of one entry, by groups of 26 chains;
// groupOf[c] is the group of run c, -1 where DSSP failed.
std::vector<DsspClasses> entryClasses(const std::vector<ChainRun>& runs, const std::string& tmpBase, std::vector<int>& groupOf,
                                      int& failures) {
    std::vector<DsspClasses> groups;
    groupOf.assign(runs.size(), -1);
    for (size_t g0 = 0; g0 < runs.size(); g0 += kDsspChains) {
        const size_t g1 = std::min(runs.size(), g0 + kDsspChains);
        std::string atoms;
        for (size_t c = g0; c < g1; ++c) atoms += backboneRecords(runs[c].atoms);
        DsspClasses m;
        const bool ok = runDssp(atoms, tmpBase, m);
        if (!ok) ++failures;
        groups.push_back(std::move(m));
        for (size_t c = g0; c < g1; ++c) groupOf[c] = ok ? static_cast<int>(groups.size()) - 1 : -1;
    }
    return groups;
}

// One entry: its chains read one at a time into the worker's `reader`.
void readEntry(const Templates& tmpl, const TrainingOptions& opt, const std::string& file, const std::string& tmpBase, Structure& reader,
               FileResult& res) {
    const std::string path = opt.dir + "/" + file;
    std::string text;
    if (!textscan::readWholeFile(path, text)) fail("lorvane-params: cannot read training file " + path);
    const std::vector<ChainRun> runs = splitChains(text);
    const std::string id = entryId(file);
    std::vector<int> groupOf(runs.size(), -1);
    std::vector<DsspClasses> dssp;
    if (opt.dssp) dssp = entryClasses(runs, tmpBase, groupOf, res.dsspFailures);
    for (size_t c = 0; c < runs.size(); ++c) {
        std::istringstream in(runs[c].atoms);
        if (!readPdbStream(tmpl, in, path, reader)) {
            ++res.unread;
            continue;
        }
        TrainChain tc;
        const DsspClasses* m = groupOf[c] >= 0 ? &dssp[static_cast<size_t>(groupOf[c])] : nullptr;
        convertChain(reader, id, runs[c].id, m, tc, res.unmatched);
        if (opt.dssp && !m) res.unmatched += static_cast<long>(tc.residues.size());
        if (!tc.residues.empty()) res.chains.push_back(std::move(tc));
    }
}

}  // namespace

std::set<std::string> readExcludeFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) fail("lorvane-params: cannot read exclusion list " + path);
    std::set<std::string> ids;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        std::istringstream ls(line);
        std::string tok;
        if (!(ls >> tok) || tok[0] == '#') continue;
        if (tok.size() < 4) fail("lorvane-params: " + path + " line " + std::to_string(lineNo) + ": \"" + tok + "\" is not a PDB id");
        ids.insert(lower(tok.substr(0, 4)));
    }
    return ids;
}

TrainingSet loadTrainingSet(const Templates& tmpl, const TrainingOptions& opt) {
    TrainingSet set;
    const std::vector<std::string> files = trainingFiles(opt, set.excludedFiles);
    if (opt.dssp && !mkdsspAvailable())
        fail("lorvane-params: mkdssp not found on PATH (install the Debian package dssp: apt-get install dssp)");
    const std::string tmpDir = opt.dssp ? makeTemporaryFolder() : std::string();

    std::vector<FileResult> results(files.size());
    std::atomic<size_t> next{0};
    FirstError errors;
    auto worker = [&](int w) {
        auto reader = std::make_unique<Structure>(MAX_RESIDUES);
        for (size_t k; (k = next++) < files.size();)
            errors.run([&] { readEntry(tmpl, opt, files[k], tmpDir + "/w" + std::to_string(w), *reader, results[k]); });
    };
    const int nThreads = std::max(1, opt.threads);
    std::vector<std::thread> pool;
    for (int w = 1; w < nThreads; ++w) pool.emplace_back(worker, w);
    worker(0);
    for (std::thread& t : pool) t.join();
    std::error_code ec;
    if (!tmpDir.empty()) fs::remove_all(tmpDir, ec);
    errors.rethrow();

    for (FileResult& r : results) {
        set.unreadChains += r.unread;
        set.dsspFailures += r.dsspFailures;
        set.dsspUnmatched += r.unmatched;
        for (TrainChain& c : r.chains) {
            set.residues += static_cast<long>(c.residues.size());
            set.chains.push_back(std::move(c));
        }
    }
    set.files = static_cast<int>(files.size());
    assignWeights(set.chains);
    return set;
}

void forEachChain(int nChains, int threads, const std::function<void(int, int)>& body) {
    if (threads < 1) threads = 1;
    FirstError errors;
#pragma omp parallel for schedule(dynamic, 4) num_threads(threads)
    for (int c = 0; c < nChains; ++c) errors.run([&] { body(c, omp_get_thread_num()); });
    errors.rethrow();
}

}  // namespace lorvane::params
