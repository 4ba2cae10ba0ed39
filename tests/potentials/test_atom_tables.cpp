// Atom typing, global atom tables and the terms that use them, on a real
// protein (examples/5p21.pdb) with the repository's templates.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "pot_support.h"
#include "potentials/atom_tables.h"
#include "potentials/atom_typing.h"
#include "potentials/energy.h"
#include "potentials/pf.h"

using pot_test::InDir;
using pot_test::ScratchDir;

#define EXPECT_FATAL(stmt, regex) EXPECT_EXIT((pot_test::stdoutToStderr(), stmt), testing::ExitedWithCode(1), regex)

namespace {

constexpr int LOOP_START = 30, LOOP_END = 37;

// Every heavy template atom gets a DFIRE key, numbered in template order (167 fit exactly).
void syntheticDfireTypes() {
    PF::DFatomtype.clear();
    int n = 0;
    for (int t = 0; t < 20; ++t)
        for (int j = 0; j < Residue::numAtom[t]; ++j) {
            if (Residue::vdwType[t][j] >= 21 || n >= NUM_PAIR_TYPES) continue;
            PF::DFatomtype.emplace(Residue::Name3[t] + " " + Residue::cType[t][j], n++);
        }
}

Structure& protein() {
    static Structure s(MAX_RESIDUES);
    static bool read = false;
    if (!read) {
        testing::internal::CaptureStdout();
        const bool ok = s.readPdb(pot_test::sourcePath("examples/5p21.pdb"), {}, 0);
        testing::internal::GetCapturedStdout();
        if (!ok) throw std::runtime_error("cannot read examples/5p21.pdb");
        read = true;
    }
    return s;
}

// A typed copy of 5p21 with its tables built.
void prepared(Structure& s) {
    s = protein();
    syntheticDfireTypes();
    PF::numDipole = 0;
    typeAtoms(s, LOOP_START, LOOP_END);
    vsgb_setup(s);
}

int slotOf(const Structure& s, int i, const std::string& name) {
    auto it = Residue::AtomMap.find(Residue::Name1[s.residues[i].type] + name);
    return it == Residue::AtomMap.end() ? -1 : it->second;
}

int idx(const Structure& s, int i, const std::string& name) {
    const int k = slotOf(s, i, name);
    return k < 0 ? -1 : atomcountmap[i][k];
}

int firstOfType(const Structure& s, int type, int from = 1) {
    for (int i = from; i <= s._numRes; ++i)
        if (s.residues[i].type == type) return i;
    return -1;
}

bool bonded(int a, int b) {
    for (int j = 0; j < numconnect[a]; ++j)
        if (connect[a][j] == b) return true;
    return false;
}

class AtomTables : public testing::Test {
protected:
    void SetUp() override {
        if (!pot_test::templatesLoaded()) GTEST_SKIP() << "data/atomProp2.txt not present";
        prepared(s);
    }
    Structure s{1};
};

}  // namespace

TEST_F(AtomTables, NumberingSkipsGlycineCBAndProlineH) {
    int expected = 0, gly = 0, pro = 0;
    for (int i = 1; i <= s._numRes; ++i) {
        const Residue& r = s.residues[i];
        expected += Residue::numAtom[r.type];
        gly += r.type == GLY;
        pro += r.type == PRO;
    }
    ASSERT_GT(gly, 0);
    ASSERT_GT(pro, 0);
    // 5p21 ends with an OXT; no extra N-terminal hydrogens.
    EXPECT_EQ(numatom, expected - gly - pro + 1);
    for (int g = 0; g < numatom; ++g) ASSERT_EQ(atomcountmap[revatomcountmap[g][0]][revatomcountmap[g][1]], g);
    const int gl = firstOfType(s, GLY), p = firstOfType(s, PRO);
    EXPECT_EQ(atomcountmap[gl][5], -1);
    EXPECT_EQ(atomcountmap[p][4], -1);
    EXPECT_EQ(atomcountmap[gl + 1][0], atomcountmap[gl][4] + 1);  // no hole after the skipped slot
    EXPECT_EQ(atomcountmap[p][5], atomcountmap[p][3] + 1);
}

TEST_F(AtomTables, PairTypesAndTerminalAtomsNeverScored) {
    const int N = s._numRes;
    const int oxt = atomcountmap[N][s.residues[N].numAtoms];
    EXPECT_EQ(oxt, numatom - 1);
    EXPECT_EQ(dftype[oxt], NO_PAIR_TYPE);
    const int a = firstOfType(s, ALA);
    EXPECT_EQ(dftype[idx(s, a, "CB")], PF::DFatomtype.at("ALA CB"));
    EXPECT_EQ(dftype[idx(s, a, "H")], NO_PAIR_TYPE);  // hydrogens have no key
    // An atom without a name is reported and not scored.
    Structure t = s;
    t.residues[a].atoms[5].name.clear();
    testing::internal::CaptureStdout();
    vsgb_setup(t);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(std::to_string(a) + " 5 has no name \n"), std::string::npos);
    EXPECT_EQ(dftype[atomcountmap[a][5]], NO_PAIR_TYPE);
}

TEST_F(AtomTables, BackboneBondsAndPeptideRelations) {
    const int i = 50;
    const int c = idx(s, i, "C"), n1 = idx(s, i + 1, "N"), ca = idx(s, i, "CA"), ca1 = idx(s, i + 1, "CA"), o = idx(s, i, "O");
    EXPECT_TRUE(bonded(c, n1));
    EXPECT_TRUE(bonded(n1, c));
    EXPECT_EQ(connect[n1][0], c);  // the previous C comes first
    EXPECT_EQ(pairmap[c][n1], 0);
    EXPECT_EQ(pairmap[ca][n1], 0);  // 1-3
    EXPECT_EQ(pairmap[o][n1], 0);
    EXPECT_EQ(pairmap[ca][ca1], 1);  // 1-4 pairs interact
    EXPECT_EQ(onefourmap[ca][ca1], 1);
    EXPECT_EQ(onefourmap[ca1][ca], 1);
    EXPECT_EQ(onefourmap[o][ca1], 1);
    EXPECT_EQ(pairmap[ca][ca], 1);
    EXPECT_EQ(onefourmap[ca][idx(s, i + 2, "CA")], 0);
    for (int a = 0; a < numatom; ++a) {
        ASSERT_LE(numconnect[a], MAX_BONDED);
        for (int j = 0; j < numconnect[a]; ++j) ASSERT_TRUE(bonded(connect[a][j], a)) << a;
    }
    EXPECT_EQ(pairmap.n, numatom);
    EXPECT_EQ(onefourmap.n, numatom);
}

TEST_F(AtomTables, RingClosures) {
    const int p = firstOfType(s, PRO);
    ASSERT_GT(p, 0);
    const int pn = idx(s, p, "N"), cd = idx(s, p, "CD"), cg = idx(s, p, "CG"), cb = idx(s, p, "CB");
    EXPECT_TRUE(bonded(pn, cd));
    EXPECT_TRUE(bonded(cd, pn));
    EXPECT_EQ(numconnect[pn], 3);  // C(prev), CA, CD: no amide H
    // Around a five-ring a pair can be 1-3 one way and 1-4 the other.
    EXPECT_EQ(pairmap[pn][cg], 0);
    EXPECT_EQ(onefourmap[pn][cg], 1);
    EXPECT_EQ(pairmap[cb][cd], 0);
    EXPECT_EQ(onefourmap[cb][cd], 1);

    const int h = firstOfType(s, HIS);
    ASSERT_GT(h, 0);
    const int hcg = idx(s, h, "CG"), ce1 = idx(s, h, "CE1"), ne2 = idx(s, h, "NE2"), nd1 = idx(s, h, "ND1");
    EXPECT_TRUE(bonded(ce1, ne2));
    EXPECT_EQ(pairmap[hcg][ce1], 0);
    EXPECT_EQ(onefourmap[hcg][ce1], 1);
    EXPECT_EQ(pairmap[nd1][ne2], 0);
    EXPECT_EQ(onefourmap[nd1][ne2], 1);

    // Six-ring: ortho bonded, meta 1-3 only, para 1-4 along both sides.
    const int f = firstOfType(s, PHE);
    ASSERT_GT(f, 0);
    const int fcg = idx(s, f, "CG"), cd1 = idx(s, f, "CD1"), ce2 = idx(s, f, "CE2"), cz = idx(s, f, "CZ");
    EXPECT_TRUE(bonded(ce2, cz));
    EXPECT_TRUE(bonded(cz, ce2));
    EXPECT_EQ(pairmap[cd1][cz], 0);
    EXPECT_EQ(onefourmap[cd1][cz], 0);
    EXPECT_EQ(pairmap[fcg][cz], 1);
    EXPECT_EQ(onefourmap[fcg][cz], 1);
    EXPECT_EQ(pairmap[cd1][ce2], 1);
    EXPECT_EQ(onefourmap[cd1][ce2], 1);
}

TEST_F(AtomTables, ChainBreakRemovesPeptideBond) {
    const int i = 60;
    const int before = numconnect[idx(s, i + 1, "N")];
    Structure t = s;
    t.gapAfter[i] = true;
    vsgb_setup(t);
    const int c = idx(t, i, "C"), n1 = idx(t, i + 1, "N"), ca = idx(t, i, "CA"), ca1 = idx(t, i + 1, "CA");
    EXPECT_FALSE(bonded(c, n1));
    EXPECT_EQ(numconnect[n1], before - 1);
    EXPECT_EQ(pairmap[c][n1], 1);
    EXPECT_EQ(pairmap[ca][n1], 1);
    EXPECT_EQ(onefourmap[ca][ca1], 0);
    EXPECT_EQ(pairmap[idx(t, i - 1, "C")][idx(t, i, "N")], 0);  // the bond before stays
}

TEST_F(AtomTables, TerminalAtomsBondsAndRadii) {
    const int N = s._numRes;
    const int oxt = atomcountmap[N][s.residues[N].numAtoms];
    const int cN = idx(s, N, "C");
    EXPECT_DOUBLE_EQ(rsolv[oxt], 1.48);
    ASSERT_EQ(numconnect[oxt], 1);
    EXPECT_EQ(connect[oxt][0], cN);
    EXPECT_EQ(connect[cN][numconnect[cN] - 1], oxt);
    EXPECT_EQ(pairmap[oxt][idx(s, N, "O")], 0);
    EXPECT_EQ(onefourmap[oxt][idx(s, N, "N")], 1);

    // Two extra N-terminal hydrogens are numbered before the OXT and bonded to N(1).
    Structure t = s;
    const int n1 = t.residues[1].numAtoms;
    for (int k : {n1, n1 + 1}) {
        pot_test::put(t, 1, k, 23, 1.0f, 2.0f, 3.0f);
        t.residues[1].atoms[k].name = k == n1 ? "1H" : "2H";
    }
    vsgb_setup(t);
    const int h1 = atomcountmap[1][n1], h2 = atomcountmap[1][n1 + 1], n = idx(t, 1, "N");
    const int oxt2 = atomcountmap[N][t.residues[N].numAtoms];
    EXPECT_EQ(oxt2, numatom - 1);
    EXPECT_EQ(h2, h1 + 1);
    EXPECT_EQ(oxt2, h2 + 1);
    EXPECT_EQ(dftype[h1], NO_PAIR_TYPE);
    EXPECT_EQ(dftype[h2], NO_PAIR_TYPE);
    EXPECT_TRUE(bonded(n, h1));
    EXPECT_TRUE(bonded(n, h2));
    EXPECT_EQ(numconnect[n], 4);
    EXPECT_EQ(pairmap[h1][h2], 0);
    const int nType = t.residues[1].atoms[0].type;
    const double hRadius = (nType == 7 || nType == 9 || nType == 10 || nType == 11 || nType == 12 || nType == 17) ? 1.15
                           : (nType == 13 || nType == 14 || nType == 15 || nType == 20)                          ? 1.05
                                                                                                                 : 1.25;
    EXPECT_DOUBLE_EQ(rsolv[h1], hRadius);

    // Without the extras and the OXT the count is the template-slot count.
    Structure u = s;
    u.residues[N].atoms[u.residues[N].numAtoms].type = ABSENT;
    vsgb_setup(u);
    EXPECT_EQ(numatom, oxt);
}

TEST_F(AtomTables, SolvationRadiiByElementAndBondCount) {
    const int a = 50;  // an interior residue
    ASSERT_NE(s.residues[a].type, GLY);
    ASSERT_NE(s.residues[a].type, PRO);
    EXPECT_DOUBLE_EQ(rsolv[idx(s, a, "CA")], 1.875);  // N, C, CB
    EXPECT_DOUBLE_EQ(rsolv[idx(s, a, "O")], 1.48);
    EXPECT_DOUBLE_EQ(rsolv[idx(s, a, "N")], 1.7063);  // C(prev), CA, H
    const int g = firstOfType(s, GLY, 2);
    EXPECT_DOUBLE_EQ(rsolv[idx(s, g, "CA")], 1.825);  // no CB
    const int k = firstOfType(s, LYS);
    EXPECT_DOUBLE_EQ(rsolv[idx(s, k, "NZ")], 1.625);  // CE and three H
    const int c = firstOfType(s, CYS);
    EXPECT_DOUBLE_EQ(rsolv[idx(s, c, "SG")], 1.775);
    const int sr = firstOfType(s, SER);
    EXPECT_DOUBLE_EQ(rsolv[idx(s, sr, "CB")], 1.825);  // CA, OG
}

TEST_F(AtomTables, TypingMarksLoopAtomsAndNamesAll) {
    for (int k = 0; k < s.residues[LOOP_START].numAtoms; ++k) {
        const Atom& at = s.residues[LOOP_START].atoms[k];
        EXPECT_EQ(at.type, Residue::vdwType[s.residues[LOOP_START].type][k]);
        EXPECT_EQ(at.name, Residue::cType[s.residues[LOOP_START].type][k]);
    }
    // Frame hydrogens missing from the input stay absent but are named.
    const Atom& h = s.residues[LOOP_END + 3].atoms[4];
    EXPECT_EQ(h.type, ABSENT);
    EXPECT_EQ(h.name, "H");
    const int a = firstOfType(s, ALA);
    EXPECT_TRUE(s.residues[a].atoms[5].hasDfireType);
    EXPECT_FALSE(s.residues[a].atoms[4].hasDfireType);
}

TEST_F(AtomTables, RealDipoleRecordsTypeEveryGroupAndOrientationPointsBuild) {
    const std::string dip = pot_test::sourcePath("data/dipole.fress");
    if (!std::ifstream(dip)) GTEST_SKIP() << "data/dipole.fress not present";
    ScratchDir d;
    d.write("data/dipole.fress", pot_test::slurp(dip));
    d.write("data/QUENDApair.lib", "");
    {
        InDir in(d.root());
        testing::internal::CaptureStdout();
        PF::InitPar("", "./", 0, 1);
        testing::internal::GetCapturedStdout();
    }
    ASSERT_EQ(PF::numDipole, 20);
    for (int t = 0; t < 20; ++t) EXPECT_EQ(Residue::Name3[t], PF::dipoletype[t].resName);
    Structure t = protein();
    typeAtoms(t, LOOP_START, LOOP_END);
    const int sr = firstOfType(t, SER);
    const Atom& og = t.residues[sr].atoms[slotOf(t, sr, "OG")];
    ASSERT_NE(og.fgIndex, ABSENT);
    EXPECT_EQ(PF::dipoletype[SER].atomId[og.fgIndex], slotOf(t, sr, "OG"));
    EXPECT_STREQ(PF::atomtype[og.oscarType], "OG");
    EXPECT_STREQ(PF::atomtype[t.residues[sr].atoms[3].oscarType], "O");
    // Every group atom of the whole protein gets an orientation point from present neighbours.
    testing::internal::CaptureStdout();
    oscar_e(t, 1, t._numRes);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("error."), std::string::npos);
    // Planar backbone C: C + (CA - C) x (O - C), |.| = |CA-C| |O-C| sin(CA-C-O).
    const Residue& r = t.residues[40];
    const Atom& c = r.atoms[2];
    ASSERT_STREQ(PF::atomtype[c.oscarType], "C");
    Point op(c.orientPoint[0], c.orientPoint[1], c.orientPoint[2]);
    const double expect = r.atoms[1].dis(c) * r.atoms[3].dis(c) * std::sin(angle(r.atoms[1], c, r.atoms[3]) * DEG2RAD);
    EXPECT_NEAR(op.dis(c), expect, 1e-3);
    EXPECT_NEAR(angle(op, c, r.atoms[1]), 90.0, 0.01);
    // A dipole file listed in another residue order is refused.
    std::strcpy(PF::dipoletype[1].resName, "ASP");
    EXPECT_FATAL(typeAtoms(t, 1, 1), "dipole.fress: record 2 is for ASP, but residue type 1 is CYS");
}

TEST_F(AtomTables, QuendaPartialSumsOnARealLoop) {
    for (int p = 0; p < 20; ++p)
        for (int q = 0; q < 20; ++q)
            for (int k = 0; k < 80; ++k) PF::QUENDA[p][q][k] = std::sin(p + q + 0.1 * k) - 0.01 * k;
    double e[4] = {0, 0, 0, 0};
    const double total = quenda_e(s, LOOP_START, LOOP_END, true, e[0], e[1], e[2], e[3]);
    EXPECT_NE(total, 0.0);
    EXPECT_NEAR(e[0] + e[1] + e[2] + e[3], total, 1e-9 * std::max(1.0, std::fabs(total)));
    for (double v : e) EXPECT_NE(v, 0.0);
}

TEST_F(AtomTables, SctoStopsAtTheFirstUndefinedDihedral) {
    const int y = firstOfType(s, TYR);
    ASSERT_GT(y, 0);
    Structure t = s;
    std::vector<int> chiSlots;
    for (int j = 6; j < Residue::numAtom[TYR]; ++j)
        if (Residue::torsion[TYR][j] == FREE_CHI) chiSlots.push_back(j);
    ASSERT_EQ(static_cast<int>(chiSlots.size()), PF::numChi[TYR]);
    ASSERT_EQ(chiSlots.size(), 3u);
    // Hydroxyl H present (placed off-axis), chi2 atom removed: chi3 is defined, chi2 not.
    Residue& r = t.residues[y];
    const Atom& oh = r.atoms[Residue::prev_atom[TYR][chiSlots[2]][2]];
    pot_test::put(t, y, chiSlots[2], Residue::vdwType[TYR][chiSlots[2]], oh.x + 0.5f, oh.y + 0.7f, oh.z - 0.2f);
    r.atoms[chiSlots[1]].type = ABSENT;
    std::memset(PF::pcs, 0, sizeof PF::pcs);
    for (int k = 0; k < 3; ++k) PF::pcs[TYR][k][0] = 1.0;  // cos(chi_k)
    const double e = scto_e(t, y, y);
    ASSERT_NE(r.chi[0], UNDEF_DIHEDRAL);
    ASSERT_EQ(r.chi[1], UNDEF_DIHEDRAL);
    ASSERT_NE(r.chi[2], UNDEF_DIHEDRAL);
    EXPECT_DOUBLE_EQ(e, std::cos(r.chi[0] * DEG2RAD));
    // With every dihedral defined all three count.
    pot_test::put(t, y, chiSlots[1], Residue::vdwType[TYR][chiSlots[1]], s.residues[y].atoms[chiSlots[1]].x,
                  s.residues[y].atoms[chiSlots[1]].y, s.residues[y].atoms[chiSlots[1]].z);
    const double all = scto_e(t, y, y);
    EXPECT_NEAR(all, std::cos(r.chi[0] * DEG2RAD) + std::cos(r.chi[1] * DEG2RAD) + std::cos(r.chi[2] * DEG2RAD), 1e-12);
}

// ---- neighbour list and clash lists on the real protein ----

TEST_F(AtomTables, GetNeighShellAndTypes) {
    const int r = 45;
    std::vector<int> out(3 * 2000);
    const int n = getNeigh(s, r, out.data());
    ASSERT_GT(n, 20);
    const Atom& cb = s.residues[r].atoms[5];
    for (int m = 0; m < n; ++m) {
        const int j = out[3 * m], k = out[3 * m + 1], t = out[3 * m + 2];
        EXPECT_GT(std::abs(j - r), 1);
        EXPECT_LE(k, Residue::lastDFire[s.residues[j].type]);
        EXPECT_LT(cb.sdis(s.residues[j].atoms[k]), 225.0);
        const bool unnumbered = (s.residues[j].type == GLY && k == 5) || (s.residues[j].type == PRO && k == 4);
        if (unnumbered || !s.residues[j].atoms[k].present())
            EXPECT_EQ(t, NO_PAIR_TYPE);
        else
            EXPECT_EQ(t, dftype[atomcountmap[j][k]]);
    }
    EXPECT_FATAL(getNeigh(s, r, out.data(), 5), "more than 5 atoms within 15 A of the CB of residue 45");
}

TEST_F(AtomTables, ClashListsGrowPastTwoThousandRecords) {
    std::vector<int> order;
    for (int i = 10; i <= 149; ++i) order.push_back(i);
    int last = 151;  // the growing residue: one with a long side chain
    while (Residue::numAtom[s.residues[last].type] < 9) ++last;
    order.push_back(last);
    std::vector<char> back(order.size(), 0);
    const int k = static_cast<int>(order.size()) - 1;
    vdw_bbsc_prep(s, k, 0, 0, order.data(), reinterpret_cast<bool*>(back.data()), 60);
    EXPECT_GT(numpairs, MAX_PAIRS);
    EXPECT_EQ(numpairs, static_cast<int>(pairlist.size()));
    std::set<int> earlier(order.begin(), order.end() - 1);
    for (const PairRecord& p : pairlist) {
        ASSERT_GT(p[3], 5);
        ASSERT_TRUE(earlier.count(p[2]));
        const int ga = atomcountmap[p[0]][p[1]], gb = atomcountmap[p[2]][p[3]];
        ASSERT_NE(dftype[gb], NO_PAIR_TYPE);
        EXPECT_EQ(p[4], dftype[ga]);
        EXPECT_EQ(p[5], dftype[gb]);
        EXPECT_EQ(p[6], std::abs(p[0] - p[2]));
        EXPECT_EQ(pairmap[ga][gb], 1);
        EXPECT_LT(p[3], Residue::numAtom[s.residues[p[2]].type] - 1);  // the last template slot is left out
    }
    vdw_scsc_prep(s, k, 0, 0, order.data(), reinterpret_cast<bool*>(back.data()));
    EXPECT_EQ(numpairsSC, static_cast<int>(pairlistSC.size()));
    EXPECT_GT(numpairsSC, 0);
    for (const PairRecord& p : pairlistSC) {
        ASSERT_EQ(p[0], order[k]);
        ASSERT_GT(p[1], 5);
        ASSERT_NE(s.residues[p[2]].type, GLY);
        ASSERT_NE(s.residues[p[2]].type, ALA);
        ASSERT_NE(p[4], NO_PAIR_TYPE);
    }
    // A step whose residues bond to each other never lists the bonded pair.
    std::vector<int> two = {61, 62};
    bool bw[2] = {false, true};
    vdw_bbsc_prep(s, 1, 0, 0, two.data(), bw, 0);
    for (const PairRecord& p : pairlist) EXPECT_EQ(pairmap[atomcountmap[p[0]][p[1]]][atomcountmap[p[2]][p[3]]], 1);
}

TEST_F(AtomTables, OneBackboneSideChainTerm) {
    std::memset(PF::Etable, 0, sizeof PF::Etable);
    PF::MAXDIS2 = 64.0;
    PF::BINSPERA = 10.0;
    for (int a = 0; a < NUM_PAIR_TYPES; ++a)
        for (int b = 0; b < NUM_PAIR_TYPES; ++b)
            for (int k = 0; k < ETABLE_BINS; ++k) PF::Etable[a][b][k] = 1.0;  // counts the pairs in range
    const int a = firstOfType(s, ALA);
    EXPECT_EQ(vdw_onebbsc(s, a, 20), 0.0);
    // Residues 11-13 are Ala, Gly, Gly: only the CB of 11 joins the eight backbone probes.
    ASSERT_EQ(s.residues[12].type, GLY);
    ASSERT_EQ(s.residues[13].type, GLY);
    const int r = 16;  // Lys16 reaches into the P-loop
    ASSERT_EQ(s.residues[r].type, LYS);
    int count = 0;
    const int probes[9][2] = {{11, 2}, {11, 3}, {12, 0}, {12, 1}, {12, 2}, {12, 3}, {13, 0}, {13, 1}, {11, 5}};
    for (const auto& p : probes)
        for (int k = 6; k <= Residue::lastDFire[LYS]; ++k)
            count += s.residues[p[0]].atoms[p[1]].sdis(s.residues[r].atoms[k]) < 64.0;
    ASSERT_GT(count, 0);
    EXPECT_EQ(vdw_onebbsc(s, r, 11), count);
}

// ---- capacities ----

TEST(AtomTablesDeath, MoreThanTwentyThousandAtoms) {
    REQUIRE_TEMPLATES();
    ASSERT_GT(Residue::numAtom[TRP] * MAX_RESIDUES, MAX_GLOBAL_ATOMS);
    static Structure s(MAX_RESIDUES);
    s.init(MAX_RESIDUES);
    for (int i = 1; i <= MAX_RESIDUES; ++i) {
        Residue& r = s.residues[i];
        r.type = TRP;
        r.numAtoms = static_cast<int16_t>(Residue::numAtom[TRP]);
        for (int k = 0; k < r.numAtoms; ++k) r.atoms[k].name = Residue::cType[TRP][k];
    }
    EXPECT_FATAL(vsgb_setup(s), "more than 20000 atoms");
}

TEST(AtomTablesDeath, MoreThanFourBondedNeighbours) {
    REQUIRE_TEMPLATES();
    Structure s = protein();
    typeAtoms(s, 1, 0);
    // In the child only: hang O and H of alanine on CA as well.
    EXPECT_FATAL((Residue::prev_atom[ALA][3][2] = 1, Residue::prev_atom[ALA][4][2] = 1, vsgb_setup(s)),
                 "atom CA of residue [0-9]+ \\(PDB [0-9]+\\) has more than 4 bonded neighbours");
}
