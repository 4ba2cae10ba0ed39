#pragma once
// The backbone unit a growth step stores for a seed: C and O of one residue,
// N and CA of the next, CB of the grown residue (points 2, 3, 0, 1, 5).
#include "growth/plan.h"
#include "model/structure.h"

namespace lorvane {

struct UnitRes {
    int co, nca, cb;
};

inline UnitRes unitOf(const GrowthPlan& plan, int j) {
    const int d = plan.backward[j] ? 1 : 0;
    return {plan.order[j] - d, plan.order[j] + 1 - d, plan.order[j]};
}

// Stored unit of step j into the structure.
inline void putUnit(const GrowthPlan& plan, Structure& s, int j, const Point* pts) {
    const UnitRes u = unitOf(plan, j);
    s[u.co].atoms[SLOT_C].CopyPos(pts[SLOT_C]);
    s[u.co].atoms[SLOT_O].CopyPos(pts[SLOT_O]);
    s[u.nca].atoms[SLOT_N].CopyPos(pts[SLOT_N]);
    s[u.nca].atoms[SLOT_CA].CopyPos(pts[SLOT_CA]);
    if (s[u.cb].type != GLY) s[u.cb].atoms[SLOT_CB].CopyPos(pts[SLOT_CB]);
}

// Unit of step j from the structure into stored points.
inline void getUnit(const GrowthPlan& plan, const Structure& s, int j, Point* pts) {
    const UnitRes u = unitOf(plan, j);
    pts[SLOT_C] = s[u.co].atoms[SLOT_C];
    pts[SLOT_O] = s[u.co].atoms[SLOT_O];
    pts[SLOT_N] = s[u.nca].atoms[SLOT_N];
    pts[SLOT_CA] = s[u.nca].atoms[SLOT_CA];
    pts[SLOT_CB] = s[u.cb].atoms[SLOT_CB];
}

}  // namespace lorvane
