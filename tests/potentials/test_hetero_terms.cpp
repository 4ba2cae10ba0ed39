// Hetero atoms (ligands, ions) in the potentials: their clash distances, their
// types and orientation, and their place in every pair score.
#include <cmath>

#include "pot_support.h"
#include "potentials/atom_index.h"
#include "potentials/atom_typing.h"
#include "potentials/clash.h"
#include "potentials/dfire.h"
#include "potentials/oscar.h"
#include "potentials/quenda.h"

using namespace lorvane;
using namespace pot_test;

namespace {

int oscarClass(const char* name) {
    for (int c = 0; c < OSCAR_CLASSES; ++c)
        if (std::string(OSCAR_CLASS_NAMES[c]) == name) return c;
    return -1;
}

}  // namespace

TEST(HeteroTerms, ClashDistances) {
    Potentials p;
    p.ljClash[7][3] = 2.0 * 2.0;
    p.ljClash[7][5] = 3.1 * 3.1;
    const HeteroAtom lig = heteroAt(0, 0, 0, 15, 7);
    EXPECT_DOUBLE_EQ(heteroClash2(p, lig, 3, "O"), 2.5 * 2.5) << "never below 2.5 A";
    EXPECT_DOUBLE_EQ(heteroClash2(p, lig, 5, "CB"), 3.1 * 3.1) << "the borrowed clash distance when longer";
    EXPECT_DOUBLE_EQ(heteroClash2(p, heteroAt(0, 0, 0, 15, -1), 5, "CB"), 2.5 * 2.5) << "untyped";
    // Mg2+ (ionic radius 0.72 A): oxygens, nitrogens and sulfurs coordinate, carbons touch.
    const HeteroAtom mg = heteroAt(0, 0, 0, 11, 7, true, 0.72);
    const std::pair<const char*, double> metal[] = {{"O", 0.72 + 1.52 - 0.4}, {"OG1", 0.72 + 1.52 - 0.4}, {"N", 0.72 + 1.55 - 0.4},
                                                    {"SG", 0.72 + 1.80 - 0.4}, {"CB", 0.72 + 1.70}, {"C", 0.72 + 1.70}};
    for (const auto& [name, d] : metal) EXPECT_NEAR(heteroClash2(p, mg, 5, name), d * d, 1e-12) << name;
    EXPECT_LT(std::sqrt(heteroClash2(p, mg, 3, "OG1")), 2.07) << "Mg-O coordination (2.07 A) is allowed";
}

// Loop atoms score hetero atoms as frame atoms; frame residues never do.
TEST(HeteroTerms, ScoredAsFrameAtoms) {
    Structure s(10);
    emptyChain(s, 3, ALA, 8);
    const AtomIndex x = numberByHand(s, typeBySlot);
    put(s, 1, 1, 3, 1.0f, 1.0f, 1.0f);  // loop CA, class 3, pair type 1
    put(s, 1, 6, 9, 1.0f, 3.0f, 1.0f);  // loop side-chain atom, class 9, pair type 6
    s.hetero.push_back(heteroAt(4.0f, 1.0f, 1.0f, 5, 4));  // 3.0 A from the CA, 3.61 A from slot 6

    Potentials q;
    for (int a = 0; a < 20; ++a)
        for (int b = 0; b < 20; ++b)
            for (int k = 0; k < 80; ++k) q.quenda[a][b][k] = 100.0 * a + 10.0 * b + 0.001 * k;
    double e[4] = {0, 0, 0, 0};
    const double total = quenda_e(q, s, 1, 1, true, e[0], e[1], e[2], e[3]);
    EXPECT_DOUBLE_EQ(e[0], q.quenda[2][4][30]) << "backbone against the frame";
    EXPECT_DOUBLE_EQ(e[1], q.quenda[8][4][36]) << "side chain against the frame";
    EXPECT_DOUBLE_EQ(total, e[0] + e[1]);
    EXPECT_EQ(quenda_e(q, s, 2, 2, true, e[0], e[1], e[2], e[3]), 0.0) << "residue 2 has no atoms: nothing";

    Potentials d;
    for (int k = 0; k < DFIRE_BINS; ++k) {
        d.edfire[1][4][k] = d.edfire[4][1][k] = 0.1 * k;
        d.edfire[6][4][k] = d.edfire[4][6][k] = 20.0;  // capped at 10
    }
    double bb = 0, sc = 0;
    dfire_e(d, x, s, 1, 1, bb, sc);
    EXPECT_EQ(bb, 0.0);
    EXPECT_DOUBLE_EQ(sc, 0.1 * 6 + 10.0);  // 3.0 A: bin 6
    s.hetero[0].hasDfireType = false;
    bb = sc = 0;
    dfire_e(d, x, s, 1, 1, bb, sc);
    EXPECT_EQ(sc, 0.0) << "no pair type, no term";
    s.hetero[0].hasDfireType = true;

    // Side-chain neighbours of residue 2's CB: the hetero atom as (0, index, type), last.
    put(s, 2, 5, 6, 4.0f, 10.0f, 1.0f);  // 9 A away
    s.hetero.push_back(heteroAt(4.0f, 30.0f, 1.0f, 5, 4));  // 20 A away
    int out[60];
    const int n = getNeigh(x, s, 2, out, 20);
    ASSERT_GE(n, 1);
    EXPECT_EQ(out[3 * (n - 1)], HETERO_NEIGHBOUR);
    EXPECT_EQ(out[3 * (n - 1) + 1], 0);
    EXPECT_EQ(out[3 * (n - 1) + 2], 4);
    for (int m = 0; m + 1 < n; ++m) EXPECT_NE(out[3 * m], HETERO_NEIGHBOUR) << "only the near one";
}

TEST(HeteroTerms, TypesAndOrientationOfLigandGroups) {
    Structure s(1);
    s.init(0);
    // A carboxylate: C borrows ASP CG (planar class CG), its oxygens ASP OD1 (class OC); and an ion.
    const int cg = tmpl().slot(ASP, "CG"), od1 = tmpl().slot(ASP, "OD1"), nz = tmpl().slot(LYS, "NZ");
    const float pos[3][3] = {{0, 0, 0}, {1.25f, 0, 0}, {-0.6f, 1.1f, 0}};
    for (int k = 0; k < 3; ++k) {
        HeteroAtom h = heteroAt(pos[k][0], pos[k][1], pos[k][2], 18, -1);
        h.templateType = ASP;
        h.templateSlot = k == 0 ? cg : od1;
        h.bonded = k == 0 ? std::vector<int>{1, 2} : std::vector<int>{0};
        s.hetero.push_back(h);
    }
    HeteroAtom ion = heteroAt(5, 5, 5, 11, -1, true, 0.72);
    ion.templateType = LYS;
    ion.templateSlot = nz;
    s.hetero.push_back(ion);
    typeAtoms(tmpl(), repoPotentials(), s, 1, 0);
    const auto& keys = repoPotentials().pairTypes;
    EXPECT_EQ(s.hetero[0].dfireType, keys.at("ASP CG"));
    EXPECT_EQ(s.hetero[1].dfireType, keys.at("ASP OD1"));
    EXPECT_EQ(s.hetero[3].dfireType, keys.at("LYS NZ"));
    EXPECT_EQ(s.hetero[0].oscarType, oscarClass("CG"));
    EXPECT_EQ(s.hetero[1].oscarType, oscarClass("OC"));
    EXPECT_EQ(s.hetero[3].oscarType, ABSENT) << "no neighbours to orient an ion by";
    // Planar class: the normal of the plane through its two neighbours (cross product, here along z).
    EXPECT_FLOAT_EQ(s.hetero[0].orientPoint[0], 0.0f);
    EXPECT_FLOAT_EQ(s.hetero[0].orientPoint[1], 0.0f);
    EXPECT_FLOAT_EQ(s.hetero[0].orientPoint[2], 1.25f * 1.1f);
    // Other classes: the centre of the neighbours (the one C).
    EXPECT_FLOAT_EQ(s.hetero[1].orientPoint[0], 0.0f);
    EXPECT_FLOAT_EQ(s.hetero[2].orientPoint[1], 0.0f);
}

// OSCAR sees a ligand group near a loop group atom, and nothing beyond 10 A.
TEST(HeteroTerms, OscarPairsWithLoopGroups) {
    Structure s = ras();
    int a = -1;
    for (int i = 1; i <= s._numRes; ++i)
        if (s[i].pdbNum == 47) a = i;  // ASP 47
    ASSERT_GT(a, 0);
    typeAtoms(tmpl(), repoPotentials(), s, a - 2, a + 5);
    const double base = oscar_e(repoPotentials(), s, a - 2, a + 5);
    const Atom& o = s[a].atoms[tmpl().slot(ASP, "OD1")];
    auto withGroupAt = [&](float dx) {
        Structure t = s;
        for (int k = 0; k < 2; ++k) {
            HeteroAtom h = heteroAt(o.x + dx + 1.25f * k, o.y, o.z, 18, -1);
            h.templateType = ASP;
            h.templateSlot = tmpl().slot(ASP, k == 0 ? "OD1" : "CG");
            h.bonded = {1 - k};
            t.hetero.push_back(h);
        }
        typeAtoms(tmpl(), repoPotentials(), t, a - 2, a + 5);
        return oscar_e(repoPotentials(), t, a - 2, a + 5);
    };
    EXPECT_NE(withGroupAt(3.5f), base);
    EXPECT_EQ(withGroupAt(40.0f), base);
}
