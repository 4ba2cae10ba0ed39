#include "growth/seed_buffers.h"

#include <string>

#include "model/error.h"
#include "potentials/pf.h"

namespace lorvane {

int numGrowSteps = 0;
std::vector<double> enSelection;
std::vector<Point> AtomC;
std::vector<Point> unfBB;
std::vector<float> tempResD;
std::vector<float> dtempscRotE;
std::vector<int16_t> sctmp1;
std::vector<float> dsctmp2;
std::vector<float> tempFrag, tempFrag2;
std::vector<int16_t> scRot, scRot2;
std::vector<float> dscRotE;
std::vector<float> scEWithRest, scEWithRest2;
std::vector<float> rmsdWithin;

void allocateSeedBuffers(int maxLoop, int steps) {
    if (maxLoop < 1) fail("seed buffers: population size " + std::to_string(maxLoop) + " is not positive");
    if (steps < 1 || steps > MAX_PLAN)
        fail("seed buffers: " + std::to_string(steps) + " growth steps is outside 1.." + std::to_string(MAX_PLAN));
    const size_t m = static_cast<size_t>(maxLoop);
    numGrowSteps = steps;
    enSelection.assign(m * CHILDREN, 12345.0);
    AtomC.assign(m * 2 * static_cast<size_t>(steps) * ATOMC_POINTS, Point());
    unfBB.assign(m * CHILDREN * 4, Point());
    tempResD.assign(m * CHILDREN * CHILD_FIELDS, 0.0f);
    dtempscRotE.assign(m * CHILDREN * MAX_ROTAMERS, 0.0f);
    sctmp1.assign(m * CHILDREN * SC_STATES * 2, 0);
    dsctmp2.assign(m * CHILDREN * SC_STATES, 0.0f);
    tempFrag.assign(static_cast<size_t>(MAX_PLAN) * m * PATH_FIELDS, 0.0f);
    tempFrag2.assign(static_cast<size_t>(MAX_PLAN) * m * PATH_FIELDS, 0.0f);
    scRot.assign(static_cast<size_t>(MAX_PLAN) * m * SC_STATES, 0);
    scRot2.assign(static_cast<size_t>(MAX_PLAN) * m * SC_STATES, 0);
    dscRotE.assign(static_cast<size_t>(MAX_PLAN) * m * SC_STATES, 0.0f);
    scEWithRest.assign(static_cast<size_t>(MAX_PLAN) * m * MAX_ROTAMERS, 0.0f);
    scEWithRest2.assign(static_cast<size_t>(MAX_PLAN) * m * MAX_ROTAMERS, 0.0f);
    rmsdWithin.assign(m * CHILDREN * CHILDREN, 0.0f);
}

}  // namespace lorvane
