// TEMPORARY stand-in for the filter stage until src/filter lands: it commits
// child 0 of every live seed as that seed's record for the step, so that the
// growth plan can be walked end to end. Delete when SMC::filtergrow exists.
#include <algorithm>
#include <iostream>

#include "growth/seed_buffers.h"
#include "growth/smc.h"

void SMC::filtergrow(Structure&, int, int, int step, bool) {
    std::cout << "The filter stage is not available yet: keeping child 0 of every seed." << std::endl;
    const int live = std::min(curLoops, MAXLOOP);
    // A dead seed borrows the path of the first seed that has a child.
    int donor = -1;
    for (int i = 0; i < live && donor < 0; ++i)
        if (childRecord(i, 0)[5] < 50.0f) donor = i;
    if (donor < 0) return;
    for (int i = 0; i < live; ++i) {
        const int src = childRecord(i, 0)[5] < 50.0f ? i : donor;
        if (src != i)
            for (int j = 0; j < step; ++j) std::copy_n(pathRecord(tempFrag, j, src), PATH_FIELDS, pathRecord(tempFrag, j, i));
        std::copy_n(childRecord(src, 0), PATH_FIELDS, pathRecord(tempFrag, step, i));
    }
}
