// Rotamer library: chi measurement against the templates, clustering of
// synthetic side chains, the ordering/placeholder rule and the file read
// back through the potential loader.
#include <gtest/gtest.h>

#include "params/chain_geometry.h"
#include "params/rotamer_library.h"
#include "params_support.h"
#include "potentials/potentials.h"
#include "support/expect_error.h"

using namespace params_test;


namespace {

// A rotamer with its four chis (degrees) and cluster nodes.
Rotamer rot(double a, double b, double c, double d, int n0, int n1, int n2, int n3) {
    Rotamer r;
    r.chi[0] = a, r.chi[1] = b, r.chi[2] = c, r.chi[3] = d;
    r.node[0] = n0, r.node[1] = n1, r.node[2] = n2, r.node[3] = n3;
    return r;
}

}  // namespace

TEST(ParamsRotamers, ChiMeasuredAsTheTemplatesBuild) {
    const double want[4] = {-65.0, 175.0, 62.0, -170.0};
    for (int t = 0; t < 20; ++t) {
        ResidueRecipe s;
        s.type = t;
        for (int k = 0; k < 4; ++k) s.chi[k] = want[k];
        auto res = buildChain({s});
        double chi[5];
        const int n = chiAngles(tmpl(), t, res[0].atoms, res[0].present, chi);
        ASSERT_EQ(n, numChis(t)) << "type " << t;
        for (int k = 0; k < n; ++k) EXPECT_NEAR(angDiff(chi[k], want[k], 360.0), 0.0, 1e-3) << "type " << t << " chi " << k;
        // A missing chi atom (here the one of the last chi) makes the side chain unmeasurable.
        int lastChiAtom = -1;
        for (int j = 6; j <= LAST_HEAVY_SLOT[t]; ++j)
            if (tmpl().torsion[t][j] == FREE_CHI) lastChiAtom = j;
        if (n > 0) {
            ASSERT_GT(lastChiAtom, 0);
            uint16_t p = res[0].present;
            p &= static_cast<uint16_t>(~(1u << lastChiAtom));
            EXPECT_EQ(chiAngles(tmpl(), t, res[0].atoms, p, chi), -1) << "type " << t;
        }
    }
}

TEST(ParamsRotamers, ClustersFindModesAndFoldSymmetricChis) {
    TrainingSet ts;
    TrainChain ch;
    ch.pdbId = "rot1";
    Jitter noise(7, 16.0);  // +-8 degrees
    std::vector<ResidueRecipe> residues;
    // Valine: chi1 modes 175 (60 %), -60 (30 %), 65 (10 %).
    for (int i = 0; i < 100; ++i) {
        ResidueRecipe r;
        r.type = VAL;
        r.chi[0] = (i < 60 ? 175.0 : i < 90 ? -60.0 : 65.0) + noise();
        residues.push_back(r);
    }
    // Phenylalanine: chi1 -65, chi2 at +90 or -90 (the same ring): one rotamer.
    for (int i = 0; i < 100; ++i) {
        ResidueRecipe r;
        r.type = PHE;
        r.chi[0] = -65.0 + noise();
        r.chi[1] = (i % 2 ? 90.0 : -90.0) + noise();
        residues.push_back(r);
    }
    // Each residue in its own chain fragment: side chains do not depend on neighbours.
    for (const ResidueRecipe& r : residues) {
        auto one = buildChain({r});
        ch.residues.push_back(one[0]);
    }
    ts.chains.push_back(ch);
    RotamerParams p;
    p.expandWeight = 2.0;  // cluster centres only
    RotamerLibrary lib;
    buildRotamers(tmpl(), ts, p, lib);
    EXPECT_EQ(lib.used[VAL], 100);
    ASSERT_EQ(lib.rot[VAL].size(), 3u);
    // Heaviest first, centred on the modes.
    EXPECT_LT(angDiff(lib.rot[VAL][0].chi[0], 175.0, 360.0), 3.0);
    EXPECT_LT(angDiff(lib.rot[VAL][1].chi[0], -60.0, 360.0), 3.0);
    EXPECT_LT(angDiff(lib.rot[VAL][2].chi[0], 65.0, 360.0), 3.0);
    ASSERT_EQ(lib.rot[PHE].size(), 1u);
    EXPECT_LT(angDiff(lib.rot[PHE][0].chi[1], 90.0, 180.0), 3.0);
    EXPECT_GE(lib.rot[PHE][0].chi[1], -90.0);
    EXPECT_LT(lib.rot[PHE][0].chi[1], 90.0);
    // Every input side chain is covered within 40 degrees.
    for (const TrainResidue& r : ch.residues) {
        double chi[5];
        ASSERT_EQ(chiAngles(tmpl(), r.type, r.atoms, r.present, chi), numChis(r.type));
        EXPECT_TRUE(rotamerCovered(lib, r.type, chi, 40.0));
    }
    // Folding is symmetric-aware only where the ring is symmetric.
    double phe[2] = {-65.0, -85.0};
    EXPECT_TRUE(rotamerCovered(lib, PHE, phe, 40.0));
    for (int t = 0; t < 20; ++t) {
        if (t != VAL && t != PHE) {
            EXPECT_TRUE(lib.rot[t].empty()) << "type " << t;
        }
    }
}

TEST(ParamsRotamers, FrequentRotamersGetNeighboursInSharingOrder) {
    TrainingSet ts;
    TrainChain ch;
    ch.pdbId = "rot2";
    Jitter noise(11, 36.0);  // +-18 degrees, s.d. about 10
    for (int i = 0; i < 200; ++i) {
        ResidueRecipe r;
        r.type = LEU;
        r.chi[0] = -65.0 + noise();
        r.chi[1] = 175.0 + noise();
        ch.residues.push_back(buildChain({r})[0]);
    }
    ts.chains.push_back(ch);
    RotamerLibrary lib;
    buildRotamers(tmpl(), ts, RotamerParams(), lib);
    const auto& L = lib.rot[LEU];
    ASSERT_EQ(L.size(), 5u);
    // Centre, its two chi2 neighbours (sharing chi1), then the two chi1 neighbours.
    EXPECT_NEAR(L[0].sd[0], 10.4, 1.5);
    EXPECT_EQ(L[1].node[0], L[0].node[0]);
    EXPECT_EQ(L[2].node[0], L[0].node[0]);
    EXPECT_NEAR(angDiff(L[1].chi[1], L[0].chi[1] - L[0].sd[1], 360.0), 0.0, 1e-9);
    EXPECT_NEAR(angDiff(L[2].chi[1], L[0].chi[1] + L[0].sd[1], 360.0), 0.0, 1e-9);
    EXPECT_NE(L[3].node[0], L[0].node[0]);
    EXPECT_NEAR(angDiff(L[3].chi[0], L[0].chi[0] - L[0].sd[0], 360.0), 0.0, 1e-9);
    EXPECT_DOUBLE_EQ(L[3].chi[1], L[0].chi[1]);
    const std::string text = formatRotamers(lib);
    // Written: chi1 placeholders on rotamers 2 and 3 only; the loader resolves them.
    size_t placeholders = 0;
    for (size_t at = text.find("9999"); at != std::string::npos; at = text.find("9999", at + 4)) ++placeholders;
    EXPECT_EQ(placeholders, 2u);
    // The loader needs a rotamer for every type with chis; one plain one each for the others.
    for (int t = 0; t < 20; ++t)
        if (NUM_CHI[t] > 0 && lib.rot[t].empty()) lib.rot[t] = {rot(60, 60, 60, 60, 0, 1, 2, 3)};
    lorvane_test::ScratchDir dir;
    dir.write("newsimplRot.txt", formatRotamers(lib));
    Potentials pot;
    loadRotamers(pot, dir.path("newsimplRot.txt"));
    ASSERT_EQ(pot.rotamers.count[LEU], 5);
    for (size_t k = 0; k < L.size(); ++k)
        for (int m = 0; m < 2; ++m) EXPECT_NEAR(pot.rotamers.resolved[LEU][k][m] * RAD2DEG, L[k].chi[m], 0.051) << k << " " << m;
}

TEST(ParamsRotamers, PlaceholdersOnlyForSharedLeadingChis) {
    RotamerLibrary lib;
    // Lysine: three rotamers; the second shares chi1 and chi2 with the first,
    // the third shares chi1 only; its chi3 equals the second's by value but
    // not by cluster, so it is written out.
    lib.rot[LYS] = {rot(-65, 180, 180, 180, 0, 1, 2, 3), rot(-65, 180, 65, 180, 0, 1, 4, 5), rot(-65, 70, 65, 180, 0, 6, 7, 8)};
    lib.rot[SER] = {rot(62.3, 0, 0, 0, 0, -1, -1, -1), rot(-64.9, 0, 0, 0, 1, -1, -1, -1)};
    const std::string text = formatRotamers(lib);
    // 21 separators, empty blocks for A and G (and every type without rotamers here).
    EXPECT_EQ(std::count(text.begin(), text.end(), '/'), 42);
    EXPECT_EQ(text.substr(text.size() - 3), "//\n");
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
    EXPECT_NE(text.find("-65.0 180.0 180.0 180.0\n9999 9999 65.0 180.0\n9999 70.0 65.0 180.0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("62.3\n-64.9\n"), std::string::npos);

    lorvane_test::ScratchDir dir;
    dir.write("newsimplRot.txt", text);
    Potentials pot;
    // The program needs a rotamer for every type with chis: this library has none for Cys.
    EXPECT_ERROR(loadRotamers(pot, dir.path("newsimplRot.txt")), 1, "newsimplRot.txt line 3: no rotamer for CYS");
    for (int t = 0; t < 20; ++t)
        if (NUM_CHI[t] > 0 && lib.rot[t].empty()) lib.rot[t] = {rot(60, 60, 60, 60, 0, 1, 2, 3)};
    dir.write("newsimplRot.txt", formatRotamers(lib));
    loadRotamers(pot, dir.path("newsimplRot.txt"));
    EXPECT_EQ(pot.rotamers.count[ALA], 0);
    EXPECT_EQ(pot.rotamers.count[GLY], 0);
    EXPECT_EQ(pot.rotamers.count[LYS], 3);
    EXPECT_EQ(pot.rotamers.count[SER], 2);
    EXPECT_EQ(pot.rotamers.count[TYR], 1);
    // The growth code sees > 10 rad for a shared chi; the resolved angles are the intended ones.
    EXPECT_GT(pot.rotamers.chi[LYS][1][0], 10.0);
    EXPECT_GT(pot.rotamers.chi[LYS][1][1], 10.0);
    EXPECT_LT(pot.rotamers.chi[LYS][1][2], 10.0);
    for (int k = 0; k < 3; ++k)
        for (int m = 0; m < 4; ++m) EXPECT_NEAR(pot.rotamers.resolved[LYS][k][m] * RAD2DEG, lib.rot[LYS][k].chi[m], 1e-9) << k << " " << m;
}
