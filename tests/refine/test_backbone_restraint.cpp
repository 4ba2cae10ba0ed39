// Backbone restraints of the refinement's geometry moves: known answers on
// two residues of H-Ras (46-47), with a table whose means are set to the
// measured angles and then moved by whole spreads; the peptide torsion's
// deviation is taken across the +-180 degree seam.
#include <gtest/gtest.h>

#include <cmath>

#include "model/error.h"
#include "model/geometry.h"
#include "refine/backbone_restraint.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

struct TwoResidues {
    const Structure& s = ras();
    int a = positionOf(ras(), 46), b = positionOf(ras(), 47);
    double ncacA = angle(s[a].atoms[SLOT_N], s[a].atoms[SLOT_CA], s[a].atoms[SLOT_C]);
    double ncacB = angle(s[b].atoms[SLOT_N], s[b].atoms[SLOT_CA], s[b].atoms[SLOT_C]);
    double omega = Torsion(s[a].atoms[SLOT_CA], s[a].atoms[SLOT_C], s[b].atoms[SLOT_N], s[b].atoms[SLOT_CA]);
    // Every type at the measured values of residue a (N-CA-C) and of the bond (omega, in 0..360).
    BackboneAngleTable exact() const {
        BackboneAngleTable t;
        t.loaded = true;
        for (int k = 0; k < 20; ++k) {
            t.ncacMean[k] = ncacA, t.ncacSd[k] = 2.0;
            t.omegaMean[k] = omega < 0 ? omega + 360.0 : omega, t.omegaSd[k] = 5.0;
        }
        t.ncacMean[s[b].type] = ncacB;
        return t;
    }
};

}  // namespace

TEST(BackboneRestraint, KnownAnswers) {
    TwoResidues r;
    ASSERT_NE(r.s[r.a].type, r.s[r.b].type) << "the cases need two residue types";
    struct Case {
        const char* what;
        double ncacShiftA, ncacShiftB, omegaShift;  // in spreads
        double expected;
    };
    const Case cases[] = {
        {"all at their means", 0, 0, 0, 0.0},
        {"first N-CA-C two spreads off", 2, 0, 0, 2.0},
        {"second N-CA-C one spread below", 0, -1, 0, 0.5},
        {"omega three spreads off", 0, 0, 3, 4.5},
        {"all together", 1, 1, -2, 0.5 + 0.5 + 2.0},
    };
    for (const Case& c : cases) {
        BackboneAngleTable t = r.exact();
        t.ncacMean[r.s[r.a].type] += c.ncacShiftA * 2.0;
        t.ncacMean[r.s[r.b].type] += c.ncacShiftB * 2.0;
        t.omegaMean[r.s[r.b].type] += c.omegaShift * 5.0;
        EXPECT_NEAR(backboneRestraint(t, r.s, r.a, r.b), c.expected, 1e-6) << c.what;
    }
    // The torsion's mean written as an angle just past the seam on the other side.
    BackboneAngleTable t = r.exact();
    const double m = t.omegaMean[r.s[r.b].type];
    t.omegaMean[r.s[r.b].type] = m + 10.0 >= 360.0 ? m + 10.0 - 360.0 : m + 10.0;
    EXPECT_NEAR(backboneRestraint(t, r.s, r.a, r.b), 0.5 * 4.0, 1e-6);
    // One residue: its N-CA-C only, no torsion.
    EXPECT_NEAR(backboneRestraint(t, r.s, r.a, r.a), 0.0, 1e-9);
}

TEST(BackboneRestraint, RefusesAnUnloadedTableOrNoSpread) {
    TwoResidues r;
    BackboneAngleTable t = r.exact();
    t.loaded = false;
    EXPECT_THROW(backboneRestraint(t, r.s, r.a, r.b), Error);
    t = r.exact();
    t.omegaSd[r.s[r.b].type] = 0.0;
    EXPECT_THROW(backboneRestraint(t, r.s, r.a, r.b), Error);
}
