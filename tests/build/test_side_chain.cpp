// Side-chain placement for the rotamer scans, and the reach of a side chain
// from CB: the closure residues' scan leaves out environment atoms beyond it,
// so an atom of any rotamer placed farther out would silently change their
// energies.
#include <gtest/gtest.h>

#include <algorithm>

#include "build/side_chain.h"
#include "model/geometry.h"
#include "support/support.h"

using namespace lorvane;
using lorvane_test::repoPotentials;
using lorvane_test::tmpl;

namespace {

// A real backbone with CB to hang side chains on (Thr 50 of the example),
// typed as t.
Residue onExampleBackbone(int t) {
    const Structure& s = lorvane_test::ras();
    Residue res = s[lorvane_test::positionOf(s, 50)];
    res.type = static_cast<int16_t>(t);
    return res;
}

}  // namespace

TEST(SideChainReach, EveryRotamerOfEveryTypeLiesWithinIt) {
    const Potentials& pot = repoPotentials();
    ASSERT_EQ(lorvane_test::ras()[lorvane_test::positionOf(lorvane_test::ras(), 50)].type, THR);
    int scanned = 0;
    for (int t = 0; t < NUM_AMINO_ACIDS; ++t) {
        const double reach = sideChainReach(tmpl(), t);
        if (LAST_HEAVY_SLOT[t] < FIRST_SIDE_CHAIN_SLOT) {
            EXPECT_EQ(reach, 0.0) << ONE_LETTER[t];
            continue;
        }
        ASSERT_GT(reach, 1.0) << ONE_LETTER[t] << ": every side chain is bounded";
        double farthest = 0.0;
        for (int r = 0; r < pot.rotamers.count[t]; ++r) {
            Residue res = onExampleBackbone(t);
            calSCCoHeavy(tmpl(), res, pot.rotamers.resolved[t][r]);
            for (int k = FIRST_SIDE_CHAIN_SLOT; k <= LAST_HEAVY_SLOT[t]; ++k)
                farthest = std::max(farthest, res.atoms[k].dis(res.atoms[SLOT_CB]));
            ++scanned;
        }
        EXPECT_LE(farthest, reach + 1e-4) << ONE_LETTER[t];
    }
    EXPECT_GT(scanned, 100);
}

TEST(SideChainReach, KnownAnswers) {
    // One atom beyond CB: its bond; none: zero; not an amino acid: no bound.
    EXPECT_DOUBLE_EQ(sideChainReach(tmpl(), SER), tmpl().bondLength[SER][FIRST_SIDE_CHAIN_SLOT]);
    EXPECT_EQ(sideChainReach(tmpl(), ALA), 0.0);
    EXPECT_EQ(sideChainReach(tmpl(), GLY), 0.0);
    EXPECT_LT(sideChainReach(tmpl(), NUM_AMINO_ACIDS), 0.0);
    // Arginine: CB-CG-CD-NE-CZ-NH, five bonds, the longest path.
    EXPECT_GT(sideChainReach(tmpl(), ARG), 6.5);
    EXPECT_LT(sideChainReach(tmpl(), ARG), 7.5);
}

TEST(SideChainPlacement, TheSamePointAsCalCoBitForBit) {
    // The side-chain scans place atoms with the template's own sines and
    // cosines: any difference from calCo would change every sampled energy.
    const Potentials& pot = repoPotentials();
    int compared = 0;
    for (int t = 0; t < NUM_AMINO_ACIDS; ++t) {
        for (int r = 0; r < pot.rotamers.count[t]; ++r) {
            Residue res = onExampleBackbone(t);
            int h = 0;
            for (int k = FIRST_SIDE_CHAIN_SLOT; k <= LAST_HEAVY_SLOT[t]; ++k) {
                double dih = tmpl().torsion[t][k];
                if (dih == FREE_CHI) dih = pot.rotamers.resolved[t][r][h++];
                const int* ref = tmpl().refAtoms[t][k];
                Point viaCalCo, placed;
                calCo(res.atoms[ref[0]], res.atoms[ref[1]], res.atoms[ref[2]], tmpl().bondLength[t][k], tmpl().bondAngle[t][k], dih,
                      viaCalCo);
                placeSideChainAtom(tmpl(), res, k, dih, placed);
                EXPECT_EQ(placed.x, viaCalCo.x) << ONE_LETTER[t] << " rotamer " << r << " slot " << k;
                EXPECT_EQ(placed.y, viaCalCo.y) << ONE_LETTER[t] << " rotamer " << r << " slot " << k;
                EXPECT_EQ(placed.z, viaCalCo.z) << ONE_LETTER[t] << " rotamer " << r << " slot " << k;
                res.atoms[k] = placed;
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 500);
}
