#pragma once
// The backbone unit a growth step stores for a seed: C and O of one residue,
// N and CA of the next, CB of the grown residue (points 2, 3, 0, 1, 5).
#include "growth/smc.h"
#include "model/structure.h"

namespace lorvane {

inline bool noSideChain(int type) { return type == GLY || type == ALA; }

struct UnitRes {
    int co, nca, cb;
};

inline UnitRes unitOf(int j) {
    const int d = growDir[j] ? 1 : 0;
    return {growOrder[j] - d, growOrder[j] + 1 - d, growOrder[j]};
}

// Stored unit of step j into the structure.
inline void putUnit(Structure& s, int j, const Point* pts) {
    const UnitRes u = unitOf(j);
    s[u.co].atoms[2].CopyPos(pts[2]);
    s[u.co].atoms[3].CopyPos(pts[3]);
    s[u.nca].atoms[0].CopyPos(pts[0]);
    s[u.nca].atoms[1].CopyPos(pts[1]);
    if (s[u.cb].type != GLY) s[u.cb].atoms[5].CopyPos(pts[5]);
}

// Unit of step j from the structure into stored points.
inline void getUnit(const Structure& s, int j, Point* pts) {
    const UnitRes u = unitOf(j);
    pts[2] = s[u.co].atoms[2];
    pts[3] = s[u.co].atoms[3];
    pts[0] = s[u.nca].atoms[0];
    pts[1] = s[u.nca].atoms[1];
    pts[5] = s[u.cb].atoms[5];
}

}  // namespace lorvane
