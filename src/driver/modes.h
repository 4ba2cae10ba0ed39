#pragma once
#include "driver/driver.h"
#include "model/templates.h"

namespace lorvane {

// Each mode returns the process exit status.
int runSamplingMode(const RunOptions& opt, const Templates& templates, FilterTimes* filterTimes = nullptr, StepProbe* probe = nullptr);
int runEnergyMode(const RunOptions& opt, const Templates& templates);
int runCompareMode(const RunOptions& opt, const Templates& templates);
// Lists the gaps of every chain of the input with the command that models each.
int runGapsMode(const RunOptions& opt);

}  // namespace lorvane
