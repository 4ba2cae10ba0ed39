#pragma once
#include "driver/driver.h"

namespace lorvane {

// Each mode returns the process exit status.
int runSamplingMode(const RunOptions& opt);
int runEnergyMode(const RunOptions& opt);
int runCompareMode(const RunOptions& opt);

}  // namespace lorvane
