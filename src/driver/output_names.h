#pragma once
// Names of a sampling run's output files.
#include <string>

#include "driver/driver.h"

namespace lorvane {

// "name_start_end": name is at most six characters of the input file name,
// the ends as typed (-1 when not given).
std::string loopIdOf(const RunOptions& opt);
// The output path prefix: -o when given, else "pdbout/" + loopIdOf(opt).
std::string outputPrefix(const RunOptions& opt);

// Without -o, the default result name keeps only six characters of the input
// name, so runs on protein_chainA.pdb and protein_chainB.pdb share one file.
// When the file this run would write exists and the last sampling run of the
// command log (logPath, the working directory's command.log) that wrote it
// had another input, says so on standard error. Returns the warning ("" when none).
std::string warnOfReplacedResult(const RunOptions& opt, const std::string& logPath);

}  // namespace lorvane
