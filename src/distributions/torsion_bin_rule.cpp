#include "distributions/torsion_bin_rule.h"

#include <cmath>

namespace lorvane {

int torsionBinOf(double degrees, TorsionBinRule rule) {
    if (!std::isfinite(degrees)) return -1;
    // Degrees to radians and back scales by 1 + 2e-16, so a measured -180 can come back a hair
    // below it; under the floor rule it must stay in bin 0, not wrap to 71.
    double x = (degrees + (rule == TorsionBinRule::Centred ? 182.5 : 180.0)) * 0.2;
    if (rule == TorsionBinRule::Floor && x < 0.0 && x > -1e-9) x = 0.0;
    int b = static_cast<int>(std::floor(x)) % 72;
    if (b < 0) b += 72;
    return b;
}

}  // namespace lorvane
