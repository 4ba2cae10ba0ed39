#include "growth/plan.h"

#include <algorithm>
#include <string>

#include "model/error.h"

namespace lorvane {

GrowthPlan makeGrowthPlan(int growMode, int loopStart, int loopEnd) {
    const int n = loopEnd - loopStart;
    if (n < MIN_LOOP_N || n > MAX_LOOP_N)
        fail("growth plan: a loop of " + std::to_string(n + 1) + " residues is outside 4.." + std::to_string(MAX_LOOP_N + 1));
    GrowthPlan p;
    for (int i = 0; i <= n - 3; ++i) {
        if (growMode == GROW_FORWARD) {
            p.order[i] = loopStart + i, p.backward[i] = false, p.farPos[i] = loopEnd;
        } else if (growMode == GROW_BACKWARD) {
            p.order[i] = loopEnd - i, p.backward[i] = true, p.farPos[i] = loopStart;
        } else if (i % 2 == 0) {
            p.order[i] = loopStart + i / 2, p.backward[i] = false, p.farPos[i] = loopEnd - i / 2;
        } else {
            p.order[i] = loopEnd - (i - 1) / 2, p.backward[i] = true, p.farPos[i] = loopStart + (i + 1) / 2;
        }
    }
    int c;
    if (growMode == GROW_FORWARD)
        c = loopEnd - 2;
    else if (growMode == GROW_BACKWARD)
        c = loopStart;
    else if (n == 3)
        c = loopEnd - 2;
    else
        c = std::min(p.order[n - 4], p.order[n - 3]) + 1;
    for (int k = 0; k < 3; ++k) {
        p.order[n - 2 + k] = c + k;
        p.backward[n - 2 + k] = false;
        p.farPos[n - 2 + k] = -1;
    }
    p.closure = c;
    p.steps = n - 2;
    return p;
}

void checkLoopBounds(const Structure& s, int loopStart, int loopEnd) {
    const int n = loopEnd - loopStart;
    const std::string range = "positions " + std::to_string(loopStart) + ".." + std::to_string(loopEnd);
    if (n < MIN_LOOP_N)
        fail("Loop " + range + " has " + std::to_string(std::max(n + 1, 0)) + " residues; at least " + std::to_string(MIN_LOOP_N + 1) +
             " are needed (three of them are closed analytically)");
    if (n > MAX_LOOP_N)
        fail("Loop " + range + " has " + std::to_string(n + 1) + " residues; at most " + std::to_string(MAX_LOOP_N + 1) + " can be sampled");
    if (loopStart < 2 || loopEnd > s._numRes - 1)
        fail("Loop " + range + " needs a fixed residue on each side, in a chain of " + std::to_string(s._numRes) + " residues");
}

}  // namespace lorvane
