// Atom typing, global atom tables (vsgb_setup) and the terms that use them,
// on a real protein (examples/5p21.pdb) with the repository's templates.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "pot_support.h"
#include "potentials/atom_tables.h"
#include "potentials/atom_typing.h"
#include "potentials/energy.h"
#include "potentials/pf.h"

using namespace lorvane;

using namespace pot_test;

namespace {

constexpr int LOOP_START = 30, LOOP_END = 37;

// Every heavy template atom gets a DFIRE key, numbered in template order (167 fit exactly).
void syntheticDfireTypes() {
    PF::DFatomtype.clear();
    int n = 0;
    for (int t = 0; t < 20; ++t)
        for (int j = 0; j < Residue::numAtom[t]; ++j)
            if (Residue::vdwType[t][j] < 21 && n < NUM_PAIR_TYPES) PF::DFatomtype.emplace(Residue::Name3[t] + " " + Residue::cType[t][j], n++);
}

const Structure& protein() {
    static Structure s(MAX_RESIDUES);
    static bool read = false;
    if (!read) {
        testing::internal::CaptureStdout();
        read = s.readPdb(sourcePath("examples/5p21.pdb"), {}, 0);
        testing::internal::GetCapturedStdout();
    }
    return s;
}

int slotOf(const Structure& s, int i, const std::string& name) {
    auto it = Residue::AtomMap.find(Residue::Name1[s.residues[i].type] + name);
    return it == Residue::AtomMap.end() ? -1 : it->second;
}
int idx(const Structure& s, int i, const std::string& name) { return atomcountmap[i][slotOf(s, i, name)]; }
int firstOfType(const Structure& s, int type, int from = 1) {
    for (int i = from; i <= s._numRes; ++i)
        if (s.residues[i].type == type) return i;
    return -1;
}
bool bonded(int a, int b) { return std::count(connect[a], connect[a] + numconnect[a], b) == 1; }

// A typed copy of 5p21 with its tables built.
class AtomTables : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_TEMPLATES();
        s = protein();
        ASSERT_GT(s._numRes, 100);
        syntheticDfireTypes();
        PF::numDipole = 0;
        typeAtoms(s, LOOP_START, LOOP_END);
        vsgb_setup(s);
    }
    Structure s{1};
};

TEST_F(AtomTables, NumberingTypesAndNames) {
    int expected = 0;
    for (int i = 1; i <= s._numRes; ++i) expected += Residue::numAtom[s.residues[i].type] - (s.residues[i].type == GLY || s.residues[i].type == PRO);
    EXPECT_EQ(numatom, expected + 1);  // glycine CB and proline H are not numbered; 5p21 ends with an OXT
    for (int g = 0; g < numatom; ++g) ASSERT_EQ(atomcountmap[revatomcountmap[g][0]][revatomcountmap[g][1]], g);
    const int gl = firstOfType(s, GLY), p = firstOfType(s, PRO), a = firstOfType(s, ALA), N = s._numRes;
    EXPECT_EQ(atomcountmap[gl][5], -1);
    EXPECT_EQ(atomcountmap[p][4], -1);
    EXPECT_EQ(atomcountmap[gl + 1][0], atomcountmap[gl][4] + 1);  // no hole after the skipped slot
    EXPECT_EQ(atomcountmap[p][5], atomcountmap[p][3] + 1);
    EXPECT_EQ(atomcountmap[N][s.residues[N].numAtoms], numatom - 1);
    EXPECT_EQ(dftype[numatom - 1], NO_PAIR_TYPE);  // OXT never scored
    EXPECT_EQ(dftype[idx(s, a, "CB")], PF::DFatomtype.at("ALA CB"));
    EXPECT_EQ(dftype[idx(s, a, "H")], NO_PAIR_TYPE);  // hydrogens have no key
    EXPECT_TRUE(s.residues[a].atoms[5].hasDfireType);
    for (int k = 0; k < s.residues[LOOP_START].numAtoms; ++k) {  // loop atoms typed and named
        EXPECT_EQ(s.residues[LOOP_START].atoms[k].type, Residue::vdwType[s.residues[LOOP_START].type][k]);
        EXPECT_EQ(s.residues[LOOP_START].atoms[k].name, Residue::cType[s.residues[LOOP_START].type][k]);
    }
    EXPECT_EQ(s.residues[LOOP_END + 3].atoms[4].type, ABSENT);  // frame hydrogens missing from the input stay absent, named
    EXPECT_EQ(s.residues[LOOP_END + 3].atoms[4].name, "H");
    Structure t = s;  // an atom without a name is reported and not scored
    t.residues[a].atoms[5].name.clear();
    testing::internal::CaptureStdout();
    vsgb_setup(t);
    EXPECT_NE(testing::internal::GetCapturedStdout().find(std::to_string(a) + " 5 has no name \n"), std::string::npos);
    EXPECT_EQ(dftype[atomcountmap[a][5]], NO_PAIR_TYPE);
}

// 1-2 (bonded), 1-3 (pairmap 0) and 1-4 (onefourmap 1) relations across
// peptide bonds, around five- and six-rings and at a chain break.
TEST_F(AtomTables, BondedOneThreeAndOneFourRelations) {
    const int i = 50;
    const int c = idx(s, i, "C"), n1 = idx(s, i + 1, "N"), ca = idx(s, i, "CA"), ca1 = idx(s, i + 1, "CA"), o = idx(s, i, "O");
    EXPECT_TRUE(bonded(c, n1) && bonded(n1, c));
    EXPECT_EQ(connect[n1][0], c);  // the previous C comes first
    EXPECT_EQ(pairmap[c][n1] + pairmap[ca][n1] + pairmap[o][n1], 0);
    EXPECT_EQ(pairmap[ca][ca1], 1);  // 1-4 pairs interact
    EXPECT_EQ(onefourmap[ca][ca1] + onefourmap[ca1][ca] + onefourmap[o][ca1], 3);
    EXPECT_EQ(onefourmap[ca][idx(s, i + 2, "CA")], 0);
    for (int a = 0; a < numatom; ++a)
        for (int j = 0; j < numconnect[a]; ++j) ASSERT_TRUE(bonded(connect[a][j], a)) << a;
    EXPECT_EQ(pairmap.n, numatom);

    struct Pair {
        int type;
        const char *a, *b;
        int bond, pair, onefour;
    };
    for (const Pair& q : {Pair{PRO, "N", "CD", 1, 0, 0}, Pair{PRO, "N", "CG", 0, 0, 1},  // five-ring: 1-3 one way, 1-4 the other
                          Pair{PRO, "CB", "CD", 0, 0, 1}, Pair{HIS, "CE1", "NE2", 1, 0, 0}, Pair{HIS, "CG", "CE1", 0, 0, 1},
                          Pair{HIS, "ND1", "NE2", 0, 0, 1}, Pair{PHE, "CE2", "CZ", 1, 0, 0},  // six-ring: meta 1-3 only, para 1-4
                          Pair{PHE, "CD1", "CZ", 0, 0, 0}, Pair{PHE, "CG", "CZ", 0, 1, 1}, Pair{PHE, "CD1", "CE2", 0, 1, 1},
                          Pair{TYR, "CE2", "CZ", 1, 0, 0}}) {
        const int r = firstOfType(s, q.type);
        ASSERT_GT(r, 0);
        const int x = idx(s, r, q.a), y = idx(s, r, q.b);
        EXPECT_EQ(int(bonded(x, y)) * 10 + int(bonded(y, x)), q.bond * 11) << Residue::Name3[q.type] << " " << q.a << "-" << q.b;
        EXPECT_EQ(pairmap[x][y], q.pair) << Residue::Name3[q.type] << " " << q.a << "-" << q.b;
        EXPECT_EQ(onefourmap[x][y], q.onefour) << Residue::Name3[q.type] << " " << q.a << "-" << q.b;
    }
    EXPECT_EQ(numconnect[idx(s, firstOfType(s, PRO), "N")], 3);  // C(prev), CA, CD: no amide H

    const int before = numconnect[idx(s, 61, "N")];
    Structure t = s;
    t.gapAfter[60] = true;
    vsgb_setup(t);
    const int c60 = idx(t, 60, "C"), n61 = idx(t, 61, "N");
    EXPECT_FALSE(bonded(c60, n61));
    EXPECT_EQ(numconnect[n61], before - 1);
    EXPECT_EQ(pairmap[c60][n61] + pairmap[idx(t, 60, "CA")][n61], 2);
    EXPECT_EQ(onefourmap[idx(t, 60, "CA")][idx(t, 61, "CA")], 0);
    EXPECT_EQ(pairmap[idx(t, 59, "C")][idx(t, 60, "N")], 0);  // the bond before stays

    ScratchDir d;  // 5p21 has no Trp: its two ring closures on a chain read from a sequence
    d.write("w.seq", "GWG\n");
    Structure w(MAX_RESIDUES);
    w.readSeq(d.path("w.seq").c_str());
    vsgb_setup(w);
    EXPECT_TRUE(bonded(idx(w, 2, "NE1"), idx(w, 2, "CE2")) && bonded(idx(w, 2, "CE2"), idx(w, 2, "NE1")));
    EXPECT_TRUE(bonded(idx(w, 2, "CZ3"), idx(w, 2, "CH2")) && bonded(idx(w, 2, "CH2"), idx(w, 2, "CZ3")));
}

TEST_F(AtomTables, TerminalAtomsAndSolvationRadii) {
    const int N = s._numRes, oxt = numatom - 1, cN = idx(s, N, "C");
    ASSERT_EQ(numconnect[oxt], 1);
    EXPECT_EQ(connect[oxt][0], cN);
    EXPECT_EQ(connect[cN][numconnect[cN] - 1], oxt);
    EXPECT_EQ(pairmap[oxt][idx(s, N, "O")], 0);
    EXPECT_EQ(onefourmap[oxt][idx(s, N, "N")], 1);
    // By element and bond count (hydrogens by their heavy atom).
    const int a = 50, g = firstOfType(s, GLY, 2);
    ASSERT_TRUE(s.residues[a].type != GLY && s.residues[a].type != PRO);
    EXPECT_DOUBLE_EQ(rsolv[oxt], 1.48);
    EXPECT_DOUBLE_EQ(rsolv[idx(s, a, "CA")], 1.875);  // N, C, CB
    EXPECT_DOUBLE_EQ(rsolv[idx(s, a, "O")], 1.48);
    EXPECT_DOUBLE_EQ(rsolv[idx(s, a, "N")], 1.7063);  // C(prev), CA, H
    EXPECT_DOUBLE_EQ(rsolv[idx(s, g, "CA")], 1.825);  // no CB
    EXPECT_DOUBLE_EQ(rsolv[idx(s, firstOfType(s, LYS), "NZ")], 1.625);  // CE and three H
    EXPECT_DOUBLE_EQ(rsolv[idx(s, firstOfType(s, CYS), "SG")], 1.775);
    EXPECT_DOUBLE_EQ(rsolv[idx(s, firstOfType(s, SER), "OG")], 1.535);

    // Two extra N-terminal hydrogens are numbered before the OXT and bonded to N(1).
    Structure t = s;
    const int n1 = t.residues[1].numAtoms;
    for (int k : {n1, n1 + 1}) put(t, 1, k, 23, 1.0f, 2.0f, 3.0f), t.residues[1].atoms[k].name = k == n1 ? "1H" : "2H";
    vsgb_setup(t);
    const int h1 = atomcountmap[1][n1], h2 = atomcountmap[1][n1 + 1], n = idx(t, 1, "N");
    EXPECT_EQ(h2, h1 + 1);
    EXPECT_EQ(numatom - 1, h2 + 1);
    EXPECT_EQ(dftype[h1] + dftype[h2], 2 * NO_PAIR_TYPE);
    EXPECT_TRUE(bonded(n, h1) && bonded(n, h2));
    EXPECT_EQ(numconnect[n], 4);
    EXPECT_EQ(pairmap[h1][h2], 0);
    EXPECT_DOUBLE_EQ(rsolv[h1], 1.15);
    Structure u = s;  // without the extras and the OXT the count is the template-slot count
    u.residues[N].atoms[u.residues[N].numAtoms].type = ABSENT;
    vsgb_setup(u);
    EXPECT_EQ(numatom, oxt);
}

// The real polar-group records: one per residue type in type order, classes
// that agree with the atoms' codes, neighbours bonded (or, for the second
// point of a planar group, two bonds away) in a real chain, and orientation
// points built for every group atom of the protein.
TEST_F(AtomTables, RealDipoleRecords) {
    const std::string dip = sourcePath("data/dipole.fress");
    if (!std::ifstream(dip)) GTEST_SKIP() << "data/dipole.fress not present";
    ScratchDir d;
    d.write("data/dipole.fress", slurp(dip));
    d.write("data/QUENDApair.lib", "");
    {
        InDir in(d.root());
        testing::internal::CaptureStdout();
        PF::InitPar("", "./", 0, 1);
        testing::internal::GetCapturedStdout();
    }
    ASSERT_EQ(PF::numDipole, 20);
    const std::map<std::string, std::set<int>> codes = {
        {"C3", {5}}, {"C2", {4}},  {"C1", {3}},  {"CR", {2, 6}},          {"C", {1, 18}}, {"CG", {18}}, {"O", {14, 15}},
        {"OC", {20}}, {"OG", {13}}, {"N2", {10, 12}}, {"NE", {7, 9, 12, 17}}, {"N3", {11}},   {"SG", {16}}, {"SD", {8}}};
    Structure t = protein();
    typeAtoms(t, LOOP_START, LOOP_END);
    for (int type = 0; type < 20; ++type) {
        const DipoleRecord& r = PF::dipoletype[type];
        EXPECT_EQ(Residue::Name3[type], r.resName);
        const int i = firstOfType(t, type);  // coordinates checked where 5p21 has the type
        const Residue& res = t.residues[std::max(i, 1)];
        std::set<int> ids, want{0, 2, 3};
        for (int j = 5; j <= Residue::lastDFire[type]; ++j)
            if (!(type == GLY && j == 5)) want.insert(j);
        for (int g = 0; g < r.atomCount; ++g) {
            const int id = r.atomId[g];
            const std::string where = Residue::Name3[type] + " " + Residue::cType[type][id] + " " + r.atomLabel[g];
            EXPECT_TRUE(ids.insert(id).second) << where;
            ASSERT_TRUE(codes.count(r.atomLabel[g])) << where;
            EXPECT_TRUE(codes.at(r.atomLabel[g]).count(Residue::vdwType[type][id])) << where;
            const bool planar = std::string(r.atomLabel[g]) == "C" || std::string(r.atomLabel[g]) == "CG" || std::string(r.atomLabel[g]) == "N2";
            for (int q = 0; q < r.neighbourCount[g] && i > 0; ++q)
                EXPECT_LT(res.atoms[id].dis(res.atoms[r.neighbourId[g][q]]), planar ? 2.6 : 1.9) << where << " neighbour " << q;
            if (i > 0 && id == slotOf(t, i, "OG")) {
                EXPECT_EQ(res.atoms[id].fgIndex, g);
            }
        }
        EXPECT_EQ(ids, want) << Residue::Name3[type];
    }
    EXPECT_STREQ(PF::atomtype[t.residues[firstOfType(t, SER)].atoms[3].oscarType], "O");
    testing::internal::CaptureStdout();
    oscar_e(t, 1, t._numRes);
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("error."), std::string::npos);
    // Planar backbone C: C + (CA - C) x (O - C), perpendicular to C-CA, |.| = |CA-C| |O-C| sin(CA-C-O).
    const Residue& r = t.residues[40];
    const Atom& c = r.atoms[2];
    const Point op(c.orientPoint[0], c.orientPoint[1], c.orientPoint[2]);
    EXPECT_NEAR(op.dis(c), r.atoms[1].dis(c) * r.atoms[3].dis(c) * std::sin(angle(r.atoms[1], c, r.atoms[3]) * DEG2RAD), 1e-3);
    EXPECT_NEAR(angle(op, c, r.atoms[1]), 90.0, 0.01);
    std::strcpy(PF::dipoletype[1].resName, "ASP");  // a file in another residue order is refused
    EXPECT_FATAL(typeAtoms(t, 1, 1), "dipole.fress: record 2 is for ASP, but residue type 1 is CYS");
}

TEST_F(AtomTables, SctoStopsAtTheFirstUndefinedDihedral) {
    const int y = firstOfType(s, TYR);
    std::vector<int> chiSlots;
    for (int j = 6; j < Residue::numAtom[TYR]; ++j)
        if (Residue::torsion[TYR][j] == FREE_CHI) chiSlots.push_back(j);
    ASSERT_EQ(chiSlots.size(), 3u);
    // Hydroxyl H present (placed off-axis), chi2 atom removed: chi3 is defined, chi2 not.
    Structure t = s;
    Residue& r = t.residues[y];
    const Atom& oh = r.atoms[Residue::prev_atom[TYR][chiSlots[2]][2]];
    put(t, y, chiSlots[2], Residue::vdwType[TYR][chiSlots[2]], oh.x + 0.5f, oh.y + 0.7f, oh.z - 0.2f);
    r.atoms[chiSlots[1]].type = ABSENT;
    std::memset(PF::pcs, 0, sizeof PF::pcs);
    for (int k = 0; k < 3; ++k) PF::pcs[TYR][k][0] = 1.0;  // cos(chi_k)
    const double e = scto_e(t, y, y);
    ASSERT_TRUE(r.chi[0] != UNDEF_DIHEDRAL && r.chi[1] == UNDEF_DIHEDRAL && r.chi[2] != UNDEF_DIHEDRAL);
    EXPECT_DOUBLE_EQ(e, std::cos(r.chi[0] * DEG2RAD));
    r.atoms[chiSlots[1]].type = Residue::vdwType[TYR][chiSlots[1]];  // every dihedral defined: all three count
    const double all = scto_e(t, y, y);  // measures the chis it uses
    EXPECT_NEAR(all, std::cos(r.chi[0] * DEG2RAD) + std::cos(r.chi[1] * DEG2RAD) + std::cos(r.chi[2] * DEG2RAD), 1e-12);
}

TEST_F(AtomTables, ClashListsAndOneBackboneSideChainTerm) {
    std::vector<int> order;
    for (int i = 10; i <= 149; ++i) order.push_back(i);
    int last = 151;  // the growing residue: one with a long side chain
    while (Residue::numAtom[s.residues[last].type] < 9) ++last;
    order.push_back(last);
    std::vector<char> back(order.size(), 0);
    const int k = static_cast<int>(order.size()) - 1;
    vdw_bbsc_prep(s, k, 0, 0, order.data(), reinterpret_cast<bool*>(back.data()), 60);
    EXPECT_GT(numpairs, MAX_PAIRS);  // the lists grow past their first capacity
    EXPECT_EQ(numpairs, static_cast<int>(pairlist.size()));
    const std::set<int> earlier(order.begin(), order.end() - 1);
    for (const PairRecord& p : pairlist) {
        const int ga = atomcountmap[p[0]][p[1]], gb = atomcountmap[p[2]][p[3]];
        ASSERT_TRUE(p[3] > 5 && earlier.count(p[2]) && dftype[gb] != NO_PAIR_TYPE);
        EXPECT_EQ(p[4], dftype[ga]);
        EXPECT_EQ(p[5], dftype[gb]);
        EXPECT_EQ(p[6], std::abs(p[0] - p[2]));
        EXPECT_EQ(pairmap[ga][gb], 1);
        EXPECT_LT(p[3], Residue::numAtom[s.residues[p[2]].type] - 1);  // the last template slot is left out
    }
    vdw_scsc_prep(s, k, 0, 0, order.data(), reinterpret_cast<bool*>(back.data()));
    EXPECT_EQ(numpairsSC, static_cast<int>(pairlistSC.size()));
    EXPECT_GT(numpairsSC, 0);
    for (const PairRecord& p : pairlistSC)
        ASSERT_TRUE(p[0] == order[k] && p[1] > 5 && s.residues[p[2]].type != GLY && s.residues[p[2]].type != ALA && p[4] != NO_PAIR_TYPE);
    std::vector<int> two = {61, 62};  // residues bonded to each other never list the bonded pair
    bool bw[2] = {false, true};
    vdw_bbsc_prep(s, 1, 0, 0, two.data(), bw, 0);
    for (const PairRecord& p : pairlist) EXPECT_EQ(pairmap[atomcountmap[p[0]][p[1]]][atomcountmap[p[2]][p[3]]], 1);

    // vdw_onebbsc with a table of ones counts side-chain atoms of r within 8 A of the
    // backbone of 11-13 and the CB of 11 (Ala 11, Gly 12, Gly 13).
    std::fill(&PF::Etable[0][0][0], &PF::Etable[0][0][0] + 168 * 168 * ETABLE_BINS, 1.0);
    PF::MAXDIS2 = 64.0;
    PF::BINSPERA = 10.0;
    EXPECT_EQ(vdw_onebbsc(s, firstOfType(s, ALA), 20), 0.0);
    const int r = 16;  // Lys16 reaches into the P-loop
    ASSERT_EQ(s.residues[r].type, LYS);
    int count = 0;
    const int probes[9][2] = {{11, 2}, {11, 3}, {12, 0}, {12, 1}, {12, 2}, {12, 3}, {13, 0}, {13, 1}, {11, 5}};
    for (const auto& p : probes)
        for (int j = 6; j <= Residue::lastDFire[LYS]; ++j) count += s.residues[p[0]].atoms[p[1]].sdis(s.residues[r].atoms[j]) < 64.0;
    ASSERT_GT(count, 0);
    EXPECT_EQ(vdw_onebbsc(s, r, 11), count);
}

TEST(AtomTablesDeath, Capacities) {
    REQUIRE_TEMPLATES();
    static Structure s(MAX_RESIDUES);
    s.init(MAX_RESIDUES);
    ASSERT_GT(Residue::numAtom[TRP] * MAX_RESIDUES, MAX_GLOBAL_ATOMS);
    for (int i = 1; i <= MAX_RESIDUES; ++i) {
        Residue& r = s.residues[i];
        r.type = TRP;
        r.numAtoms = static_cast<int16_t>(Residue::numAtom[TRP]);
        for (int k = 0; k < r.numAtoms; ++k) r.atoms[k].name = Residue::cType[TRP][k];
    }
    EXPECT_FATAL(vsgb_setup(s), "more than 20000 atoms");
    Structure p = protein();
    typeAtoms(p, 1, 0);
    // In the child only: hang O and H of alanine on CA as well.
    EXPECT_FATAL((Residue::prev_atom[ALA][3][2] = 1, Residue::prev_atom[ALA][4][2] = 1, vsgb_setup(p)),
                 "atom CA of residue [0-9]+ \\(PDB [0-9]+\\) has more than 4 bonded neighbours");
}

}  // namespace
