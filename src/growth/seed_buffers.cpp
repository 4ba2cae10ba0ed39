#include "growth/seed_buffers.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

double SeedBuffers::bytesFor(int maxLoop, int numSteps) {
    const double m = maxLoop, steps = numSteps, plan = MAX_PLAN;
    const double perChild = sizeof(double) + 4 * sizeof(Point) + CHILD_FIELDS * sizeof(float) + MAX_ROTAMERS * sizeof(float) +
                            SC_STATES * 2 * sizeof(int16_t) + SC_STATES * sizeof(float) + CHILDREN * sizeof(float);
    const double perSeed = 2 * steps * ATOMC_POINTS * sizeof(Point) +
                           plan * (2 * PATH_FIELDS * sizeof(float) + 2 * SC_STATES * sizeof(int16_t) + SC_STATES * sizeof(float) +
                                   2 * MAX_ROTAMERS * sizeof(float));
    return m * (CHILDREN * perChild + perSeed);
}

double memoryLimitBytes() {
    double limit = static_cast<double>(sysconf(_SC_PHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGE_SIZE));
    // A container or batch job may allow less than the machine has.
    std::ifstream cgroup("/sys/fs/cgroup/memory.max");
    std::string word;
    if (cgroup >> word && word != "max") {
        char* endp = nullptr;
        const double v = std::strtod(word.c_str(), &endp);
        if (endp && *endp == '\0' && v > 0) limit = std::min(limit, v);
    }
    rlimit rl;
    if (getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) limit = std::min(limit, static_cast<double>(rl.rlim_cur));
    return limit;
}

std::string formatBytes(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    int u = 0;
    while (bytes >= 1024.0 && u < 5) bytes /= 1024.0, ++u;
    char buf[32];
    std::snprintf(buf, sizeof buf, bytes >= 100 || u == 0 ? "%.0f %s" : bytes >= 10 ? "%.1f %s" : "%.2f %s", bytes, units[u]);
    return buf;
}

}  // namespace lorvane
