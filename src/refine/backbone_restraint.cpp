// Restraints on N-CA-C and omega of a loop (backbone_restraint.h).
#include "refine/backbone_restraint.h"

#include <cmath>

#include "model/backbone_dihedrals.h"
#include "model/error.h"
#include "model/geometry.h"
#include "model/residue_names.h"

namespace lorvane {

namespace {

double squared(double deviation, double sd) {
    if (!(sd > 0.0)) fail("backbone restraints need a positive spread of every angle in the backbone angle table");
    return deviation * deviation / (sd * sd);
}

// a - b in degrees, wrapped to [-180, 180).
double angleDifference(double a, double b) {
    double d = std::fmod(a - b + 180.0, 360.0);
    if (d < 0) d += 360.0;
    return d - 180.0;
}

}  // namespace

double backboneRestraint(const BackboneAngleTable& table, const Structure& s, int start, int end) {
    if (!table.loaded) fail("backbone restraints need the backbone angle table");
    double sum = 0.0;
    for (int i = start; i <= end; ++i) {
        const int t = s[i].type;
        if (!isAminoAcid(t)) fail("backbone restraints: residue " + residueLabel(s, i) + " has no standard type");
        const Atom* a = s[i].atoms;
        sum += squared(angle(a[SLOT_N], a[SLOT_CA], a[SLOT_C]) - table.ncacMean[t], table.ncacSd[t]);
        if (i == end) continue;
        const int u = s[i + 1].type;
        if (!isAminoAcid(u)) fail("backbone restraints: residue " + residueLabel(s, i + 1) + " has no standard type");
        sum += squared(angleDifference(omegaAt(s, i), table.omegaMean[u]), table.omegaSd[u]);
    }
    return 0.5 * sum;
}

}  // namespace lorvane
