#include "params/training_cache.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <type_traits>
#include <vector>


namespace lorvane::params {

namespace {

static_assert(std::is_trivially_copyable_v<TrainResidue>, "TrainResidue is written as raw bytes");

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

}  // namespace

std::string trainingCacheKey(const Templates& tmpl, const TrainingOptions& opt) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(opt.dir, ec))
        if (e.is_regular_file()) names.push_back(e.path().filename().string() + ":" + std::to_string(e.file_size()));
    std::sort(names.begin(), names.end());
    std::string k = "lorvane-train-v1|" + opt.dir + (opt.dssp ? "|dssp" : "|phipsi");
    for (const std::string& id : opt.excludeIds) k += "|x" + id;
    for (const std::string& n : names) k += "|" + n;
    // The slot layout comes from the templates.
    for (int t = 0; t < 20; ++t)
        for (int j = 0; j < tmpl.numAtom[t]; ++j) k += "|" + tmpl.atomName[t][j];
    return k;
}

void saveTrainingCache(const std::string& path, const std::string& key, const TrainingSet& t) {
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

bool loadTrainingCache(const std::string& path, const std::string& key, TrainingSet& t) {
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

}  // namespace lorvane::params
