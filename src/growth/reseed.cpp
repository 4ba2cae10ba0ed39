#include "growth/reseed.h"

#include <algorithm>

#include "growth/seed_buffers.h"
#include "model/errors.h"

int reseedSlots(int step, int survivors, int target) {
    if (survivors <= 0) return 0;
    if (target > MAXLOOP) target = MAXLOOP;
    if (step < 0 || step >= numGrowSteps) fatal("re-seeding: step " + std::to_string(step) + " outside the growth plan");
    const int buffer = step % 2;  // the generation the filter has just committed
    for (int slot = survivors; slot < target; ++slot) {
        const int from = (slot - survivors) % survivors;
        for (int j = 0; j <= step; ++j) {
            std::copy_n(pathRecord(tempFrag, j, from), PATH_FIELDS, pathRecord(tempFrag, j, slot));
            std::copy_n(pathRot(scRot, j, from), SC_STATES, pathRot(scRot, j, slot));
            std::copy_n(pathStateE(j, from), SC_STATES, pathStateE(j, slot));
            std::copy_n(pathRestE(scEWithRest, j, from), 108, pathRestE(scEWithRest, j, slot));
            std::copy_n(atomC(buffer, j, from), ATOMC_POINTS, atomC(buffer, j, slot));
        }
    }
    return std::max(target, survivors);
}
