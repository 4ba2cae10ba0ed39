#include "model/backbone_dihedrals.h"

#include "model/geometry.h"

namespace lorvane {

double phiAt(const Structure& s, int i) {
    return Torsion(s[i - 1].atoms[SLOT_C], s[i].atoms[SLOT_N], s[i].atoms[SLOT_CA], s[i].atoms[SLOT_C]);
}

double psiAt(const Structure& s, int i) {
    return Torsion(s[i].atoms[SLOT_N], s[i].atoms[SLOT_CA], s[i].atoms[SLOT_C], s[i + 1].atoms[SLOT_N]);
}

double omegaAt(const Structure& s, int i) {
    return Torsion(s[i].atoms[SLOT_CA], s[i].atoms[SLOT_C], s[i + 1].atoms[SLOT_N], s[i + 1].atoms[SLOT_CA]);
}

}  // namespace lorvane
