#include "growth/reseed.h"

#include <algorithm>
#include <string>

#include "model/error.h"

namespace lorvane {

int reseedSlots(SeedBuffers& B, int step, int survivors, int target) {
    if (survivors <= 0) return 0;
    target = std::min(target, B.capacity);
    if (step < 0 || step >= B.steps) fail("re-seeding: step " + std::to_string(step) + " outside the growth plan");
    const int buffer = step % 2;  // the generation the filter has just committed
    for (int slot = survivors; slot < target; ++slot) {
        const int from = (slot - survivors) % survivors;
        for (int j = 0; j <= step; ++j) {
            std::copy_n(B.pathRecord(B.tempFrag, j, from), PATH_FIELDS, B.pathRecord(B.tempFrag, j, slot));
            std::copy_n(B.pathStateE(j, from), SC_STATES, B.pathStateE(j, slot));
            std::copy_n(B.pathRestE(B.scEWithRest, j, from), MAX_ROTAMERS, B.pathRestE(B.scEWithRest, j, slot));
            std::copy_n(B.atomC(buffer, j, from), ATOMC_POINTS, B.atomC(buffer, j, slot));
        }
    }
    return std::max(target, survivors);
}

}  // namespace lorvane
