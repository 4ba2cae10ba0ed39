#pragma once
// One run of lorvane-params: the residue templates and the training set,
// each loaded at most once and shared by every derivation the run makes
// ("derive" runs them all on one loading).
#include <memory>
#include <string>

#include "params/options.h"
#include "params/training_set.h"

namespace lorvane::params {

class Session {
public:
    // The templates, loaded on first use; a second file in the same run throws Error.
    const Templates& templates(const std::string& path);
    // Templates loaded, exclusion list read, training set loaded (or taken from
    // the --cache copy) unless this run already holds it for the same folder,
    // exclusion list and DSSP setting (another setting replaces the set held,
    // ending references to it). Prints one line on what was read.
    const TrainingSet& trainingSet(const Options& o);

private:
    std::string templatesPath_;
    std::unique_ptr<Templates> templates_;
    std::string key_;
    std::unique_ptr<TrainingSet> set_;
};

}  // namespace lorvane::params
