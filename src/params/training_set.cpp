// Training-set loader of lorvane-params. Every entry is read with the
// program's own PDB reader, one chain at a time (entries may hold more chains
// and residues than one Structure takes), and reduced to the compact
// TrainResidue form. Secondary structure comes from DSSP (mkdssp 4.x) run on
// the backbone of the whole entry, so that sheets between chains are seen.
#include "params/training_set.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <type_traits>

#include "model/atom.h"
#include "model/error.h"
#include "model/residue.h"
#include "model/strings.h"
#include "model/structure.h"

using namespace lorvane;

extern char** environ;

namespace fs = std::filesystem;

namespace {

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
            char id = line[21];
            if (runs.empty() || runs.back().id != id) runs.push_back({id, {}});
            runs.back().atoms.append(line);
            runs.back().atoms.push_back('\n');
        }
        p = e + 1;
    }
    return runs;
}

std::string backboneOnly(const std::string& atoms) {
    std::string out;
    out.reserve(atoms.size() / 2);
    size_t p = 0;
    while (p < atoms.size()) {
        size_t e = atoms.find('\n', p);
        if (e == std::string::npos) e = atoms.size();
        if (e - p >= 16) {
            const std::string_view name(atoms.data() + p + 12, 4);
            if (name == " N  " || name == " CA " || name == " C  " || name == " O  ") out.append(atoms, p, e - p + 1);
        }
        p = e + 1;
    }
    return out;
}

bool findOnPath(const std::string& exe) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    for (const std::string& dir : split(path, ":", true)) {
        std::string f = (dir.empty() ? std::string(".") : dir) + "/" + exe;
        if (access(f.c_str(), X_OK) == 0) return true;
    }
    return false;
}

// Runs mkdssp on a temporary copy of the given ATOM records (mkdssp wants a
// HEADER and a CRYST1 line before them) and returns the class letter of
// every residue with a blank insertion code, keyed by chain and number.
bool runDssp(const std::string& atoms, const std::string& tmpBase, std::map<std::pair<char, int>, char>& ss) {
    const std::string in = tmpBase + ".pdb", out = tmpBase + ".dssp";
    {
        std::ofstream f(in);
        if (!f) return false;
        f << "HEADER    LORVANE TRAINING ENTRY\n"
          << "CRYST1    1.000    1.000    1.000  90.00  90.00  90.00 P 1           1\n"
          << atoms << "END\n";
        if (!f) return false;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::string a0 = "mkdssp", a1 = "--output-format", a2 = "dssp";
    char* argv[] = {a0.data(), a1.data(), a2.data(), const_cast<char*>(in.c_str()), const_cast<char*>(out.c_str()), nullptr};
    pid_t pid;
    int rc = posix_spawnp(&pid, "mkdssp", &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    bool ok = false;
    if (rc == 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    if (ok) {
        std::ifstream f(out);
        std::string line;
        bool body = false;
        int rows = 0;
        while (std::getline(f, line)) {
            if (!body) {
                body = line.compare(0, 12, "  #  RESIDUE") == 0;
                continue;
            }
            if (line.size() < 17 || line[13] == '!') continue;  // chain-break marker line
            if (line[10] != ' ') continue;                       // insertion code: not in our chains
            int num = static_cast<int>(std::strtol(line.substr(5, 5).c_str(), nullptr, 10));
            char c = line[16];
            char cls = (c == 'H' || c == 'G' || c == 'I') ? 'H' : (c == 'E' || c == 'B') ? 'E' : 'C';
            ss[{line[11], num}] = cls;
            ++rows;
        }
        ok = rows > 0;
    }
    std::remove(in.c_str());
    std::remove(out.c_str());
    return ok;
}

struct FileResult {
    std::vector<TrainChain> chains;
    int unread = 0;
    int dsspFailures = 0;
    long unmatched = 0;
};

// Converts chain positions 1..n of a freshly read Structure.
void convertChain(const Structure& s, const std::string& id, char chainId, const std::map<std::pair<char, int>, char>* dssp,
                  TrainChain& out, long& unmatched) {
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
        const int last = std::min(Residue::lastDFire[r.type], TRAIN_SLOTS - 1);
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
        bool found = false;
        if (dssp) {
            auto it = dssp->find({chainId, t.pdbNum});
            if (it != dssp->end()) {
                t.ss = it->second;
                found = true;
            }
        }
        if (!found) {
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
        for (const TrainResidue& r : chains[i].residues) seq[i] += Residue::Name1[r.type].empty() ? 'X' : Residue::Name1[r.type][0];
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


// ---- binary copy of a loaded set ----

static_assert(std::is_trivially_copyable_v<TrainResidue>, "TrainResidue is written as raw bytes");

std::string cacheKey(const TrainingOptions& opt) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(opt.dir, ec))
        if (e.is_regular_file()) names.push_back(e.path().filename().string() + ":" + std::to_string(e.file_size()));
    std::sort(names.begin(), names.end());
    std::string k = "lorvane-train-v1|" + opt.dir + (opt.dssp ? "|dssp" : "|phipsi");
    for (const std::string& id : opt.excludeIds) k += "|x" + id;
    for (const std::string& n : names) k += "|" + n;
    // The slot layout comes from the templates.
    for (int t = 0; t < 20; ++t)
        for (int j = 0; j < Residue::numAtom[t]; ++j) k += "|" + Residue::cType[t][j];
    return k;
}

template <class T>
void put(std::ofstream& f, const T& v) {
    f.write(reinterpret_cast<const char*>(&v), sizeof v);
}
template <class T>
bool get(std::ifstream& f, T& v) {
    return static_cast<bool>(f.read(reinterpret_cast<char*>(&v), sizeof v));
}
void putString(std::ofstream& f, const std::string& s) {
    put(f, static_cast<uint64_t>(s.size()));
    f.write(s.data(), static_cast<std::streamsize>(s.size()));
}
bool getString(std::ifstream& f, std::string& s) {
    uint64_t n;
    if (!get(f, n) || n > (1u << 30)) return false;
    s.resize(n);
    return static_cast<bool>(f.read(s.data(), static_cast<std::streamsize>(n)));
}

void saveSet(const std::string& path, const std::string& key, const TrainingSet& t) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return;
    putString(f, key);
    put(f, t.files), put(f, t.residues), put(f, t.excludedFiles), put(f, t.unreadChains), put(f, t.dsspFailures), put(f, t.dsspUnmatched);
    put(f, static_cast<uint64_t>(t.chains.size()));
    for (const TrainChain& c : t.chains) {
        putString(f, c.pdbId);
        put(f, c.chain), put(f, c.weight);
        put(f, static_cast<uint64_t>(c.residues.size()));
        f.write(reinterpret_cast<const char*>(c.residues.data()), static_cast<std::streamsize>(c.residues.size() * sizeof(TrainResidue)));
    }
}

bool loadSet(const std::string& path, const std::string& key, TrainingSet& t) {
    std::ifstream f(path, std::ios::binary);
    std::string k;
    if (!f || !getString(f, k) || k != key) return false;
    uint64_t n;
    if (!get(f, t.files) || !get(f, t.residues) || !get(f, t.excludedFiles) || !get(f, t.unreadChains) || !get(f, t.dsspFailures) ||
        !get(f, t.dsspUnmatched) || !get(f, n))
        return false;
    t.chains.resize(n);
    for (TrainChain& c : t.chains) {
        uint64_t m;
        if (!getString(f, c.pdbId) || !get(f, c.chain) || !get(f, c.weight) || !get(f, m) || m > 100000) return false;
        c.residues.resize(m);
        if (!f.read(reinterpret_cast<char*>(c.residues.data()), static_cast<std::streamsize>(m * sizeof(TrainResidue)))) return false;
    }
    return true;
}

}  // namespace

bool readWholeFile(const std::string& path, std::string& out) {
    // zlib reads plain files unchanged, so one reader serves .pdb and .pdb.gz.
    out.clear();
    gzFile f = gzopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[1 << 16];
    int n;
    while ((n = gzread(f, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    const bool ok = n == 0;
    gzclose(f);
    return ok;
}

void loadTemplates(const std::string& path) {
    static std::string loaded;
    if (!loaded.empty()) {
        if (loaded != path) fail("lorvane-params: templates already loaded from " + loaded + ", not " + path);
        return;
    }
    if (!FileExists(path)) fail("lorvane-params: cannot open templates file " + path + " (set it with --templates FILE)");
    Atom::InitPar(path.c_str(), "./");
    Residue::InitMap();
    Residue::InitPar(path.c_str(), "./", 0);
    for (int t = 0; t < 20; ++t)
        if (Residue::numAtom[t] < 4) fail("lorvane-params: templates file " + path + " has no template for residue type " + std::to_string(t));
    loaded = path;
}

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

TrainingSet loadTrainingSet(const TrainingOptions& opt) {
    if (Residue::numAtom[0] == 0) fail("lorvane-params: templates not loaded before reading the training set");
    std::error_code ec;
    if (!fs::is_directory(opt.dir, ec)) fail("lorvane-params: training folder " + opt.dir + " does not exist (set it with --train DIR)");
    TrainingSet set;
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(opt.dir)) {
        if (!e.is_regular_file()) continue;
        std::string n = e.path().filename().string();
        bool gz = n.size() > 7 && n.compare(n.size() - 7, 7, ".pdb.gz") == 0;
        bool plain = n.size() > 4 && n.compare(n.size() - 4, 4, ".pdb") == 0;
        if (!gz && !plain) continue;
        if (opt.excludeIds.count(entryId(n))) {
            ++set.excludedFiles;
            continue;
        }
        files.push_back(n);
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) fail("lorvane-params: no .pdb or .pdb.gz files in training folder " + opt.dir);
    if (opt.dssp && !findOnPath("mkdssp"))
        fail("lorvane-params: mkdssp not found on PATH (install the Debian package dssp: apt-get install dssp)");

    std::string tmpDir;
    if (opt.dssp) {
        const char* t = std::getenv("TMPDIR");
        std::string templ = std::string(t && *t ? t : "/tmp") + "/lorvane-params-XXXXXX";
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) fail("lorvane-params: cannot create a temporary folder " + templ + " for mkdssp");
        tmpDir = buf.data();
    }

    std::vector<FileResult> results(files.size());
    std::atomic<size_t> next{0};
    std::mutex readerLock;  // the PDB reader keeps the last sequence in a class-wide member
    Structure shared(MAX_RESIDUES);
    auto worker = [&](int w) {
        for (size_t k; (k = next++) < files.size();) {
            const std::string path = opt.dir + "/" + files[k];
            std::string text;
            if (!readWholeFile(path, text)) fail("lorvane-params: cannot read training file " + path);
            std::vector<ChainRun> runs = splitChains(text);
            FileResult& res = results[k];
            const std::string id = entryId(files[k]);
            std::vector<std::map<std::pair<char, int>, char>> dssp;
            std::vector<int> groupOf(runs.size(), -1);
            if (opt.dssp) {
                // The classic DSSP format holds at most 26 chains: larger entries run in groups.
                for (size_t g0 = 0; g0 < runs.size(); g0 += 26) {
                    // Only the backbone decides the classes (hydrogen bonds, bridges):
                    // leaving out the side chains makes DSSP's surface calculation cheap.
                    std::string atoms;
                    for (size_t c = g0; c < std::min(runs.size(), g0 + 26); ++c) atoms += backboneOnly(runs[c].atoms);
                    std::map<std::pair<char, int>, char> m;
                    bool ok = runDssp(atoms, tmpDir + "/w" + std::to_string(w), m);
                    if (!ok) ++res.dsspFailures;
                    dssp.push_back(std::move(m));
                    for (size_t c = g0; c < std::min(runs.size(), g0 + 26); ++c) groupOf[c] = ok ? static_cast<int>(dssp.size()) - 1 : -1;
                }
            }
            std::lock_guard<std::mutex> lock(readerLock);
            for (size_t c = 0; c < runs.size(); ++c) {
                std::istringstream in(runs[c].atoms);
                if (!shared.readPdbStream(in, path, {}, 0)) {
                    ++res.unread;
                    continue;
                }
                TrainChain tc;
                const auto* m = groupOf[c] >= 0 ? &dssp[static_cast<size_t>(groupOf[c])] : nullptr;
                convertChain(shared, id, runs[c].id, m, tc, res.unmatched);
                if (opt.dssp && !m) res.unmatched += static_cast<long>(tc.residues.size());
                if (!tc.residues.empty()) res.chains.push_back(std::move(tc));
            }
        }
    };
    const int nThreads = std::max(1, opt.threads);
    std::vector<std::thread> pool;
    for (int w = 1; w < nThreads; ++w) pool.emplace_back(worker, w);
    worker(0);
    for (std::thread& t : pool) t.join();
    if (!tmpDir.empty()) fs::remove_all(tmpDir, ec);

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

const TrainingSet& cachedTrainingSet(const TrainingOptions& opt) {
    static TrainingSet cache;
    static std::string key;
    std::string k = opt.dir + "|" + (opt.dssp ? "dssp" : "phipsi");
    for (const std::string& id : opt.excludeIds) k += "|" + id;
    if (k != key) {
        cache = TrainingSet();
        std::string diskKey;
        bool fromDisk = false;
        if (!opt.cache.empty()) {
            diskKey = cacheKey(opt);
            fromDisk = loadSet(opt.cache, diskKey, cache);
            if (!fromDisk) cache = TrainingSet();
        }
        if (!fromDisk) {
            cache = loadTrainingSet(opt);
            if (!opt.cache.empty()) saveSet(opt.cache, diskKey, cache);
        }
        key = k;
        std::cout << "training set " << opt.dir << ": " << cache.files << " files, " << cache.chains.size() << " chains, " << cache.residues
                  << " residues";
        if (cache.excludedFiles) std::cout << ", " << cache.excludedFiles << " files excluded";
        if (cache.unreadChains) std::cout << ", " << cache.unreadChains << " chains unreadable";
        if (opt.dssp) std::cout << ", DSSP failures " << cache.dsspFailures << ", residues without DSSP class " << cache.dsspUnmatched;
        std::cout << std::endl;
    }
    return cache;
}

ParamsOptions parseParamsOptions(const std::vector<std::string>& args, const std::string& command) {
    ParamsOptions o;
    auto value = [&](size_t& i) -> const std::string& {
        if (i + 1 >= args.size()) fail("lorvane-params " + command + ": option " + args[i] + " needs a value", 2);
        return args[++i];
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--train") o.train = value(i);
        else if (a == "--out") o.out = value(i);
        else if (a == "--exclude") o.exclude = value(i);
        else if (a == "--templates") o.templates = value(i);
        else if (a == "--bench") o.bench = value(i);
        else if (a == "--reference") o.reference = value(i);
        else if (a == "--report") o.report = value(i);
        else if (a == "--cache") o.cache = value(i);
        else if (a == "--no-dssp") o.dssp = false;
        else if (a == "--threads") {
            const std::string& v = value(i);
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (!end || *end || n < 1 || n > 256) fail("lorvane-params " + command + ": bad thread count \"" + v + "\"", 2);
            o.threads = static_cast<int>(n);
        } else {
            fail("lorvane-params " + command + ": unknown option \"" + a + "\"", 2);
        }
    }
    return o;
}

const TrainingSet& trainingSetFor(const ParamsOptions& o) {
    loadTemplates(o.templates);
    TrainingOptions t;
    t.dir = o.train;
    t.threads = o.threads;
    t.dssp = o.dssp;
    t.cache = o.cache;
    if (!o.exclude.empty()) t.excludeIds = readExcludeFile(o.exclude);
    return cachedTrainingSet(t);
}
