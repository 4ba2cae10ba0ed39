#include "params/session.h"

#include <iostream>

#include "model/error.h"
#include "params/training_cache.h"

namespace lorvane::params {

void Session::loadTemplates(const std::string& path) {
    if (!templates_.empty()) {
        if (templates_ != path) fail("lorvane-params: templates already loaded from " + templates_ + ", not " + path);
        return;
    }
    params::loadTemplates(path);
    templates_ = path;
}

const TrainingSet& Session::trainingSet(const Options& o) {
    loadTemplates(o.templates);
    TrainingOptions t;
    t.dir = o.train;
    t.threads = o.threads;
    t.dssp = o.dssp;
    t.cache = o.cache;
    if (!o.exclude.empty()) t.excludeIds = readExcludeFile(o.exclude);
    std::string key = t.dir + "|" + (t.dssp ? "dssp" : "phipsi");
    for (const std::string& id : t.excludeIds) key += "|" + id;
    if (set_ && key == key_) return *set_;

    auto loaded = std::make_unique<TrainingSet>();
    const std::string diskKey = t.cache.empty() ? std::string() : trainingCacheKey(t);
    if (t.cache.empty() || !loadTrainingCache(t.cache, diskKey, *loaded)) {
        *loaded = loadTrainingSet(t);
        if (!t.cache.empty()) saveTrainingCache(t.cache, diskKey, *loaded);
    }
    set_ = std::move(loaded);
    key_ = key;
    const TrainingSet& s = *set_;
    std::cout << "training set " << t.dir << ": " << s.files << " files, " << s.chains.size() << " chains, " << s.residues << " residues";
    if (s.excludedFiles) std::cout << ", " << s.excludedFiles << " files excluded";
    if (s.unreadChains) std::cout << ", " << s.unreadChains << " chains unreadable";
    if (t.dssp) std::cout << ", DSSP failures " << s.dsspFailures << ", residues without DSSP class " << s.dsspUnmatched;
    std::cout << std::endl;
    return s;
}

}  // namespace lorvane::params
