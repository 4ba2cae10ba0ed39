#pragma once
// Binary copy of a loaded training set (--cache FILE, development only): reused
// while it was written for the same folder contents (file names and sizes),
// exclusion list, DSSP setting and templates, rewritten otherwise. Saves the
// minutes of reading and DSSP while derivations are being developed.
#include <string>

#include "params/training_set.h"

namespace lorvane::params {

// What the copy must match: the folder contents, options and the templates' slot layout.
std::string trainingCacheKey(const Templates& t, const TrainingOptions& opt);
// Writes the copy; a file that cannot be written is left alone (the cache is optional).
void saveTrainingCache(const std::string& path, const std::string& key, const TrainingSet& set);
// Reads the copy; false when it is absent, unreadable or written for another key.
bool loadTrainingCache(const std::string& path, const std::string& key, TrainingSet& set);

}  // namespace lorvane::params
