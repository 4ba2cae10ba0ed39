#include "growth/seed_buffers.h"

#include <string>

#include "model/error.h"

namespace lorvane {

void SeedBuffers::allocate(int maxLoop, int numSteps) {
    if (maxLoop < 1) fail("seed buffers: population size " + std::to_string(maxLoop) + " is not positive");
    if (numSteps < 1 || numSteps > MAX_PLAN)
        fail("seed buffers: " + std::to_string(numSteps) + " growth steps is outside 1.." + std::to_string(MAX_PLAN));
    const size_t m = static_cast<size_t>(maxLoop);
    capacity = maxLoop;
    steps = numSteps;
    enSelection.assign(m * CHILDREN, REJECTED);
    AtomC.assign(m * 2 * static_cast<size_t>(numSteps) * ATOMC_POINTS, Point());
    unfBB.assign(m * CHILDREN * 4, Point());
    tempResD.assign(m * CHILDREN * CHILD_FIELDS, 0.0f);
    dtempscRotE.assign(m * CHILDREN * MAX_ROTAMERS, 0.0f);
    sctmp1.assign(m * CHILDREN * SC_STATES * 2, 0);
    dsctmp2.assign(m * CHILDREN * SC_STATES, 0.0f);
    tempFrag.assign(static_cast<size_t>(MAX_PLAN) * m * PATH_FIELDS, 0.0f);
    tempFrag2.assign(static_cast<size_t>(MAX_PLAN) * m * PATH_FIELDS, 0.0f);
    dscRotE.assign(static_cast<size_t>(MAX_PLAN) * m * SC_STATES, 0.0f);
    scEWithRest.assign(static_cast<size_t>(MAX_PLAN) * m * MAX_ROTAMERS, 0.0f);
    scEWithRest2.assign(static_cast<size_t>(MAX_PLAN) * m * MAX_ROTAMERS, 0.0f);
    rmsdWithin.assign(m * CHILDREN * CHILDREN, 0.0f);
}

}  // namespace lorvane
