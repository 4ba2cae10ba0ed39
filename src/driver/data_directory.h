#pragma once
// Where the program finds its tables, so that it runs from any directory.
#include <string>
#include <vector>

namespace lorvane {

// A directory holds the tables when it has atomProp2.txt and QUENDApair.lib
// (the sampling pair table the build expands; a source tree's data/ lacks it).
bool holdsTables(const std::string& dir);

// The data directory: option (-data) when given, else env ($LORVANE_DATA)
// when set and not empty, both taken as they are; else the first of
// candidates that holds the tables. Stops (Error, status 1) when the given
// directory does not exist, or when no candidate holds the tables, naming
// the places looked.
// A candidate holding some of the tables but not QUENDApair.lib (a source tree's
// data/, whose pair table is compressed) is passed over; *passedOver names the
// first such one when the search goes on past it (the caller says so).
std::string findDataDirectory(const std::string& option, const char* env, const std::vector<std::string>& candidates,
                              std::string* passedOver = nullptr);

// The places looked when neither -data nor LORVANE_DATA is given: ./data,
// then next to the executable ../share/lorvane/data (an installed program)
// and data (the build tree).
std::vector<std::string> defaultDataCandidates(const std::string& exeDir);

// Directory of the running executable (argv0 as a fallback), "" when unknown.
std::string executableDirectory(const char* argv0);

}  // namespace lorvane
