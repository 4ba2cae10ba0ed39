#include "params/session.h"

#include <iostream>

#include "model/error.h"
#include "model/strings.h"
#include "params/training_cache.h"

namespace lorvane::params {

const Templates& Session::templates(const std::string& path) {
    if (templates_) {
        if (templatesPath_ != path) fail("lorvane-params: templates already loaded from " + templatesPath_ + ", not " + path);
        return *templates_;
    }
    if (!FileExists(path)) fail("lorvane-params: cannot open templates file " + path + " (set it with --templates FILE)");
    auto t = std::make_unique<Templates>(loadTemplates(path));
    for (int type = 0; type < NUM_AMINO_ACIDS; ++type)
        if (t->numAtom[type] < 4)
            fail("lorvane-params: templates file " + path + " has no template for residue type " + std::to_string(type));
    templates_ = std::move(t);
    templatesPath_ = path;
    return *templates_;
}

const TrainingSet& Session::trainingSet(const Options& o) {
    const Templates& tmpl = templates(o.templates);
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
    const std::string diskKey = t.cache.empty() ? std::string() : trainingCacheKey(tmpl, t);
    if (t.cache.empty() || !loadTrainingCache(t.cache, diskKey, *loaded)) {
        *loaded = loadTrainingSet(tmpl, t);
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
