// Atom typing, the atom index (buildAtomIndex) and the terms that use it, on
// a real protein (examples/5p21.pdb) with the repository's templates.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "model/pdb_reader.h"
#include "pot_support.h"
#include "potentials/atom_index.h"
#include "potentials/atom_typing.h"
#include "potentials/clash.h"
#include "potentials/oscar.h"

using namespace lorvane;
using namespace pot_test;

namespace {

constexpr int LOOP_START = 30, LOOP_END = 37;

// Every heavy template atom gets a pair-type key, numbered in template order (167 fit exactly).
const Potentials& syntheticTypes() {
    static const Potentials p = [] {
        Potentials q;
        int n = 0;
        for (int t = 0; t < 20; ++t)
            for (int j = 0; j < tmpl().numAtom[t]; ++j)
                if (tmpl().vdwType[t][j] < 21 && n < NUM_PAIR_TYPES) q.pairTypes.emplace(threeLetter(t) + " " + tmpl().atomName[t][j], n++);
        return q;
    }();
    return p;
}

int firstOfType(const Structure& s, int type, int from = 1) {
    for (int i = from; i <= s._numRes; ++i)
        if (s.residues[i].type == type) return i;
    return -1;
}

// A typed copy of 5p21 with its atom index.
class AtomTables : public testing::Test {
protected:
    void SetUp() override {
        s = ras();
        typeAtoms(tmpl(), syntheticTypes(), s, LOOP_START, LOOP_END);
        x = buildAtomIndex(tmpl(), s);
    }
    int idx(int i, const std::string& name) const { return x.index(i, tmpl().slot(s[i].type, name)); }
    // A 1-2 pair: excluded from the pair terms and within bonding distance.
    bool bonded(int a, int b) const {
        const Atom& p = s[x.atomOf[a][0]].atoms[x.atomOf[a][1]];
        const Atom& q = s[x.atomOf[b][0]].atoms[x.atomOf[b][1]];
        return x.nonBonded[a][b] == 0 && p.dis(q) < 1.9;
    }
    Structure s{1};
    AtomIndex x;
};

TEST_F(AtomTables, NumberingTypesAndNames) {
    int expected = 0;
    for (int i = 1; i <= s._numRes; ++i) expected += tmpl().numAtom[s.residues[i].type] - (s.residues[i].type == GLY || s.residues[i].type == PRO);
    EXPECT_EQ(x.numAtoms, expected + 1);  // glycine CB and proline H are not numbered; 5p21 ends with an OXT
    for (int g = 0; g < x.numAtoms; ++g) ASSERT_EQ(x.index(x.atomOf[g][0], x.atomOf[g][1]), g);
    const int gl = firstOfType(s, GLY), p = firstOfType(s, PRO), a = firstOfType(s, ALA), N = s._numRes;
    EXPECT_EQ(x.index(gl, SLOT_CB), -1);
    EXPECT_EQ(x.index(p, SLOT_H), -1);
    EXPECT_EQ(x.index(gl + 1, SLOT_N), x.index(gl, SLOT_H) + 1);  // no hole after the skipped slot
    EXPECT_EQ(x.index(p, SLOT_CB), x.index(p, SLOT_O) + 1);
    EXPECT_EQ(x.index(N, s.residues[N].numAtoms), x.numAtoms - 1);
    EXPECT_EQ(x.pairType[x.numAtoms - 1], NO_PAIR_TYPE);  // OXT never scored
    EXPECT_EQ(x.pairType[idx(a, "CB")], syntheticTypes().pairTypes.at("ALA CB"));
    EXPECT_EQ(x.pairType[idx(a, "H")], NO_PAIR_TYPE);  // hydrogens have no key
    EXPECT_EQ(x.typeOf(gl, SLOT_CB), NO_PAIR_TYPE);
    for (int k = 0; k < s.residues[LOOP_START].numAtoms; ++k) {  // loop atoms typed and named
        EXPECT_EQ(s.residues[LOOP_START].atoms[k].type, tmpl().vdwType[s.residues[LOOP_START].type][k]);
        EXPECT_EQ(s.residues[LOOP_START].atoms[k].name, tmpl().atomName[s.residues[LOOP_START].type][k]);
    }
    EXPECT_EQ(s.residues[LOOP_END + 3].atoms[SLOT_H].type, ABSENT);  // frame hydrogens missing from the input stay absent, named
    EXPECT_EQ(s.residues[LOOP_END + 3].atoms[SLOT_H].name, "H");
    Structure t = s;  // an atom without a name is reported and not scored
    t.residues[a].atoms[SLOT_CB].name.clear();
    testing::internal::CaptureStderr();
    const AtomIndex y = buildAtomIndex(tmpl(), t);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(std::to_string(a) + " 5 has no name \n"), std::string::npos);
    EXPECT_EQ(y.typeOf(a, SLOT_CB), NO_PAIR_TYPE);
}

// 1-2 and 1-3 (excluded) and 1-4 relations across peptide bonds, around
// five- and six-rings, at a chain break and at the termini.
TEST_F(AtomTables, ExcludedAndOneFourPairs) {
    const int i = 50;
    const int c = idx(i, "C"), n1 = idx(i + 1, "N"), ca = idx(i, "CA"), ca1 = idx(i + 1, "CA"), o = idx(i, "O");
    EXPECT_TRUE(bonded(c, n1) && bonded(n1, c));
    EXPECT_EQ(x.nonBonded[c][n1] + x.nonBonded[ca][n1] + x.nonBonded[o][n1], 0);
    EXPECT_EQ(x.nonBonded[ca][ca1], 1);  // 1-4 pairs interact
    EXPECT_EQ(x.oneFour[ca][ca1] + x.oneFour[ca1][ca] + x.oneFour[o][ca1], 3);
    EXPECT_EQ(x.oneFour[ca][idx(i + 2, "CA")], 0);
    EXPECT_EQ(x.nonBonded.n, x.numAtoms);
    for (int a = 0; a < x.numAtoms; a += 7)
        for (int b = 0; b < x.numAtoms; b += 5) ASSERT_EQ(x.nonBonded[a][b], x.nonBonded[b][a]) << a << " " << b;

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
        const int a = idx(r, q.a), b = idx(r, q.b);
        SCOPED_TRACE(threeLetter(q.type) + " " + q.a + "-" + q.b);
        EXPECT_EQ(bonded(a, b), q.bond == 1);
        EXPECT_EQ(x.nonBonded[a][b], q.pair);
        EXPECT_EQ(x.oneFour[a][b], q.onefour);
    }

    Structure t = s;  // a chain break: no bond, no exclusions across it
    t.gapAfter[60] = true;
    const AtomIndex y = buildAtomIndex(tmpl(), t);
    const int c60 = y.index(60, SLOT_C), n61 = y.index(61, SLOT_N);
    EXPECT_EQ(y.nonBonded[c60][n61] + y.nonBonded[y.index(60, SLOT_CA)][n61], 2);
    EXPECT_EQ(y.oneFour[y.index(60, SLOT_CA)][y.index(61, SLOT_CA)], 0);
    EXPECT_EQ(y.nonBonded[y.index(59, SLOT_C)][y.index(60, SLOT_N)], 0);  // the bond before stays

    const int N = s._numRes, oxt = x.numAtoms - 1;
    EXPECT_TRUE(bonded(oxt, idx(N, "C")));
    EXPECT_EQ(x.nonBonded[oxt][idx(N, "O")], 0);
    EXPECT_EQ(x.oneFour[oxt][idx(N, "N")], 1);

    ScratchDir d;  // 5p21 has no Trp: its two ring closures on a chain read from a sequence
    d.write("w.seq", "GWG\n");
    Structure w(MAX_RESIDUES);
    readSeq(tmpl(), d.path("w.seq"), w);
    const AtomIndex z = buildAtomIndex(tmpl(), w);
    auto wi = [&](const char* name) { return z.index(2, tmpl().slot(TRP, name)); };
    EXPECT_EQ(z.nonBonded[wi("NE1")][wi("CE2")] + z.nonBonded[wi("CZ3")][wi("CH2")], 0);
    EXPECT_EQ(z.oneFour[wi("CD1")][wi("CZ2")], 1);  // across the closing bond NE1-CE2
}

TEST_F(AtomTables, ExtraTerminalHydrogensAreNumberedLast) {
    Structure t = s;
    const int n1 = t.residues[1].numAtoms;
    for (int k : {n1, n1 + 1}) put(t, 1, k, 23, 1.0f, 2.0f, 3.0f), t.residues[1].atoms[k].name = k == n1 ? "1H" : "2H";
    const AtomIndex y = buildAtomIndex(tmpl(), t);
    const int h1 = y.index(1, n1), h2 = y.index(1, n1 + 1), n = y.index(1, SLOT_N);
    EXPECT_EQ(h2, h1 + 1);
    EXPECT_EQ(y.numAtoms - 1, h2 + 1);  // the OXT after them
    EXPECT_EQ(y.pairType[h1] + y.pairType[h2], 2 * NO_PAIR_TYPE);
    EXPECT_EQ(y.nonBonded[n][h1] + y.nonBonded[n][h2] + y.nonBonded[h1][h2], 0);
    Structure u = s;  // without the extras and the OXT the count is the template-slot count
    u.residues[s._numRes].atoms[u.residues[s._numRes].numAtoms].type = ABSENT;
    EXPECT_EQ(buildAtomIndex(tmpl(), u).numAtoms, x.numAtoms - 1);
}

// The real polar-group records: one per residue type in type order, classes
// that agree with the atoms' codes, neighbours bonded (or, for the second
// point of a planar group, two bonds away) in a real chain, and orientation
// points built for every group atom of the protein.
TEST_F(AtomTables, RealDipoleRecords) {
    Potentials p;
    p.pairTypes = syntheticTypes().pairTypes;
    p.numDipoles = repoPotentials().numDipoles;
    std::copy(std::begin(repoPotentials().dipoles), std::end(repoPotentials().dipoles), std::begin(p.dipoles));
    ASSERT_EQ(p.numDipoles, 20);
    const std::map<std::string, std::set<int>> codes = {
        {"C3", {5}}, {"C2", {4}},  {"C1", {3}},  {"CR", {2, 6}},          {"C", {1, 18}}, {"CG", {18}}, {"O", {14, 15}},
        {"OC", {20}}, {"OG", {13}}, {"N2", {10, 12}}, {"NE", {7, 9, 12, 17}}, {"N3", {11}},   {"SG", {16}}, {"SD", {8}}};
    Structure t = ras();
    typeAtoms(tmpl(), p, t, LOOP_START, LOOP_END);
    for (int type = 0; type < 20; ++type) {
        const DipoleRecord& r = p.dipoles[type];
        EXPECT_EQ(threeLetter(type), r.resName);
        const int i = firstOfType(t, type);  // coordinates checked where 5p21 has the type
        const Residue& res = t.residues[std::max(i, 1)];
        std::set<int> ids, want{0, 2, 3};
        for (int j = 5; j <= LAST_HEAVY_SLOT[type]; ++j)
            if (!(type == GLY && j == 5)) want.insert(j);
        for (int g = 0; g < r.atomCount; ++g) {
            const int id = r.atomId[g];
            const std::string where = threeLetter(type) + " " + tmpl().atomName[type][id] + " " + r.atomLabel[g];
            EXPECT_TRUE(ids.insert(id).second) << where;
            ASSERT_TRUE(codes.count(r.atomLabel[g])) << where;
            EXPECT_TRUE(codes.at(r.atomLabel[g]).count(tmpl().vdwType[type][id])) << where;
            const bool planar = std::string(r.atomLabel[g]) == "C" || std::string(r.atomLabel[g]) == "CG" || std::string(r.atomLabel[g]) == "N2";
            for (int q = 0; q < r.neighbourCount[g] && i > 0; ++q)
                EXPECT_LT(res.atoms[id].dis(res.atoms[r.neighbourId[g][q]]), planar ? 2.6 : 1.9) << where << " neighbour " << q;
            if (i > 0 && id == tmpl().slot(type, "OG")) { EXPECT_EQ(res.atoms[id].fgIndex, g); }
        }
        EXPECT_EQ(ids, want) << threeLetter(type);
    }
    EXPECT_STREQ(OSCAR_CLASS_NAMES[t.residues[firstOfType(t, SER)].atoms[SLOT_O].oscarType], "O");
    testing::internal::CaptureStderr();
    oscar_e(p, t, 1, t._numRes);
    EXPECT_EQ(testing::internal::GetCapturedStderr().find("error."), std::string::npos);
    // Planar backbone C: C + (CA - C) x (O - C), perpendicular to C-CA, |.| = |CA-C| |O-C| sin(CA-C-O).
    const Residue& r = t.residues[40];
    const Atom& c = r.atoms[SLOT_C];
    const Point op(c.orientPoint[0], c.orientPoint[1], c.orientPoint[2]);
    EXPECT_NEAR(op.dis(c), r.atoms[1].dis(c) * r.atoms[3].dis(c) * std::sin(angle(r.atoms[1], c, r.atoms[3]) * DEG2RAD), 1e-3);
    EXPECT_NEAR(angle(op, c, r.atoms[1]), 90.0, 0.01);
    std::strcpy(p.dipoles[1].resName, "ASP");  // a file in another residue order is refused
    EXPECT_ERROR(typeAtoms(tmpl(), p, t, 1, 1), 1, "dipole.fress: record 2 is for ASP, but residue type 1 is CYS");
}

TEST_F(AtomTables, SctoStopsAtTheFirstUndefinedDihedral) {
    const int y = firstOfType(s, TYR);
    std::vector<int> chiSlots;
    for (int j = 6; j < tmpl().numAtom[TYR]; ++j)
        if (tmpl().torsion[TYR][j] == FREE_CHI) chiSlots.push_back(j);
    ASSERT_EQ(chiSlots.size(), 3u);
    // Hydroxyl H present (placed off-axis), chi2 atom removed: chi3 is defined, chi2 not.
    Structure t = s;
    Residue& r = t.residues[y];
    const Atom& oh = r.atoms[tmpl().refAtoms[TYR][chiSlots[2]][2]];
    put(t, y, chiSlots[2], tmpl().vdwType[TYR][chiSlots[2]], oh.x + 0.5f, oh.y + 0.7f, oh.z - 0.2f);
    r.atoms[chiSlots[1]].type = ABSENT;
    Potentials p;
    for (int k = 0; k < 3; ++k) p.pcs[TYR][k][0] = 1.0;  // cos(chi_k)
    const double e = scto_e(p, tmpl(), t, y, y);
    ASSERT_TRUE(r.chi[0] != UNDEF_DIHEDRAL && r.chi[1] == UNDEF_DIHEDRAL && r.chi[2] != UNDEF_DIHEDRAL);
    EXPECT_DOUBLE_EQ(e, std::cos(r.chi[0] * DEG2RAD));
    r.atoms[chiSlots[1]].type = static_cast<int16_t>(tmpl().vdwType[TYR][chiSlots[1]]);  // every dihedral defined: all three count
    const double all = scto_e(p, tmpl(), t, y, y);  // measures the chis it uses
    EXPECT_NEAR(all, std::cos(r.chi[0] * DEG2RAD) + std::cos(r.chi[1] * DEG2RAD) + std::cos(r.chi[2] * DEG2RAD), 1e-12);
}

TEST_F(AtomTables, ClashTermsPassOverSideChainsOutOfReachWithoutChangingTheSum) {
    // The clash lists are evaluated block by block, and a side chain out of
    // reach of the atom is passed over: the sums must be bit for bit those of
    // the whole list, on a real protein with the real pair table.
    std::vector<int> order;
    for (int i = 10; i <= 149; ++i) order.push_back(i);
    int last = 151;
    while (tmpl().numAtom[s.residues[last].type] < 9) ++last;
    order.push_back(last);
    bool back[MAX_RESIDUES] = {};
    const int k = static_cast<int>(order.size()) - 1;
    const Potentials& pot = repoPotentials();
    ClashPairs pairs;
    vdw_bbsc_prep(pairs, tmpl(), x, s, k, order.data(), back, 60);
    vdw_scsc_prep(pairs, tmpl(), x, s, k, order.data());
    ASSERT_FALSE(pairs.bbscBlocks.empty());
    ASSERT_FALSE(pairs.scscBlocks.empty());
    // The blocks tile the lists in order, and some are out of reach.
    for (const auto* b : {&pairs.bbscBlocks, &pairs.scscBlocks}) {
        int at = 0;
        for (const PairBlock& q : *b) {
            EXPECT_EQ(q.begin, at);
            EXPECT_GT(q.end, q.begin);
            at = q.end;
        }
    }
    EXPECT_EQ(pairs.bbscBlocks.back().end, static_cast<int>(pairs.bbsc.size()));
    EXPECT_EQ(pairs.scscBlocks.back().end, static_cast<int>(pairs.scsc.size()));
    int far = 0;
    for (const PairBlock& q : pairs.bbscBlocks) {
        const double lim = std::sqrt(pot.maxDis2) + q.reach + 0.25;
        far += s.residues[q.residue].atoms[q.at].sdis(s.residues[q.other].atoms[SLOT_CB]) > lim * lim;
    }
    EXPECT_GT(far, static_cast<int>(pairs.bbscBlocks.size()) / 2);
    ClashPairs whole = pairs;
    whole.bbscBlocks.clear();
    whole.scscBlocks.clear();
    double e1 = 0.0, e2 = 0.0;
    EXPECT_EQ(bbscHere(pot, pairs, s, e1), bbscHere(pot, whole, s, e2));
    EXPECT_EQ(e1, e2);
    EXPECT_NE(e1, 0.0);
    EXPECT_EQ(scscHere(pot, pairs, s, e1), scscHere(pot, whole, s, e2));
    EXPECT_EQ(e1, e2);

    // Found once for the backbone, the pairs in reach hold while the side
    // chains change, as the filter's states change them: here the growing
    // residue's and the one before it, turned about their CA-CB axes.
    PairsInReach reach;
    findPairsInReach(pot, pairs, s, reach);
    EXPECT_LT(reach.bbsc.size(), pairs.bbsc.size());
    EXPECT_LT(reach.scsc.size(), pairs.scsc.size());
    auto turn = [](Residue& r, double angle) {
        const Point ca = r.atoms[SLOT_CA], cb = r.atoms[SLOT_CB];
        double u[3] = {cb.x - ca.x, cb.y - ca.y, cb.z - ca.z};
        const double n = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
        for (double& c : u) c /= n;
        const double co = std::cos(angle), si = std::sin(angle);
        for (int k = FIRST_SIDE_CHAIN_SLOT; k <= LAST_HEAVY_SLOT[r.type]; ++k) {
            const double v[3] = {r.atoms[k].x - cb.x, r.atoms[k].y - cb.y, r.atoms[k].z - cb.z};
            const double d = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
            const double w[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
            r.atoms[k].x = static_cast<float>(cb.x + v[0] * co + w[0] * si + u[0] * d * (1 - co));
            r.atoms[k].y = static_cast<float>(cb.y + v[1] * co + w[1] * si + u[1] * d * (1 - co));
            r.atoms[k].z = static_cast<float>(cb.z + v[2] * co + w[2] * si + u[2] * d * (1 - co));
        }
    };
    int changed = 0;
    for (int a = 1; a <= 11; ++a) {
        Structure t = s;
        turn(t.residues[last], a * 0.5);
        turn(t.residues[order[k - 1]], -a * 0.5);
        const double vb = vdw_bbsc(pot, pairs, reach, t, e1);
        EXPECT_EQ(vb, bbscHere(pot, whole, t, e2)) << "turn " << a;
        EXPECT_EQ(e1, e2) << "turn " << a;
        const double vs = vdw_scsc(pot, pairs, reach, t, e1);
        EXPECT_EQ(vs, scscHere(pot, whole, t, e2)) << "turn " << a;
        EXPECT_EQ(e1, e2) << "turn " << a;
        changed += e1 != 0.0;
    }
    EXPECT_GT(changed, 10);
}

TEST_F(AtomTables, ClashListsAndOneBackboneSideChainTerm) {
    std::vector<int> order;
    for (int i = 10; i <= 149; ++i) order.push_back(i);
    int last = 151;  // the growing residue: one with a long side chain
    while (tmpl().numAtom[s.residues[last].type] < 9) ++last;
    order.push_back(last);
    bool back[MAX_RESIDUES] = {};
    const int k = static_cast<int>(order.size()) - 1;
    ClashPairs pairs;
    vdw_bbsc_prep(pairs, tmpl(), x, s, k, order.data(), back, 60);
    EXPECT_GT(static_cast<int>(pairs.bbsc.size()), MAX_PAIRS);  // the lists grow past their first capacity
    const std::set<int> earlier(order.begin(), order.end() - 1);
    for (const PairRecord& p : pairs.bbsc) {
        const int ga = x.index(p[0], p[1]), gb = x.index(p[2], p[3]);
        ASSERT_TRUE(p[3] > 5 && earlier.count(p[2]) && x.pairType[gb] != NO_PAIR_TYPE);
        EXPECT_EQ(p[4], x.pairType[ga]);
        EXPECT_EQ(p[5], x.pairType[gb]);
        EXPECT_EQ(p[6], std::abs(p[0] - p[2]));
        EXPECT_EQ(x.nonBonded[ga][gb], 1);
        EXPECT_LT(p[3], tmpl().numAtom[s.residues[p[2]].type] - 1);  // the last template slot is left out
    }
    vdw_scsc_prep(pairs, tmpl(), x, s, k, order.data());
    EXPECT_GT(pairs.scsc.size(), 0u);
    for (const PairRecord& p : pairs.scsc)
        ASSERT_TRUE(p[0] == order[k] && p[1] > 5 && !noSideChain(s.residues[p[2]].type) && p[4] != NO_PAIR_TYPE);
    std::vector<int> two = {61, 62};  // residues bonded to each other never list the bonded pair
    bool bw[2] = {false, true};
    vdw_bbsc_prep(pairs, tmpl(), x, s, 1, two.data(), bw, 0);
    for (const PairRecord& p : pairs.bbsc) EXPECT_EQ(x.nonBonded[x.index(p[0], p[1])][x.index(p[2], p[3])], 1);

    // vdw_onebbsc with a table of ones counts side-chain atoms of r within 8 A of the
    // backbone of 11-13 and the CB of 11 (Ala 11, Gly 12, Gly 13).
    Potentials ones;
    std::fill_n(&ones.etable[0][0][0], PAIR_TABLE_TYPES * PAIR_TABLE_TYPES * ETABLE_BINS, 1.0);
    EXPECT_EQ(vdw_onebbsc(ones, x, s, firstOfType(s, ALA), 20), 0.0);
    const int r = 16;  // Lys16 reaches into the P-loop
    ASSERT_EQ(s.residues[r].type, LYS);
    int count = 0;
    const int probes[9][2] = {{11, 2}, {11, 3}, {12, 0}, {12, 1}, {12, 2}, {12, 3}, {13, 0}, {13, 1}, {11, 5}};
    for (const auto& p : probes)
        for (int j = 6; j <= LAST_HEAVY_SLOT[LYS]; ++j) count += s.residues[p[0]].atoms[p[1]].sdis(s.residues[r].atoms[j]) < 64.0;
    ASSERT_GT(count, 0);
    EXPECT_EQ(vdw_onebbsc(ones, x, s, r, 11), count);
}

TEST(AtomIndex, Capacities) {
    Structure s(MAX_RESIDUES);
    ASSERT_GT(tmpl().numAtom[TRP] * MAX_RESIDUES, MAX_GLOBAL_ATOMS);
    for (int i = 1; i <= MAX_RESIDUES; ++i) {
        Residue& r = s.residues[i];
        r.type = TRP;
        r.numAtoms = static_cast<int16_t>(tmpl().numAtom[TRP]);
        for (int k = 0; k < r.numAtoms; ++k) r.atoms[k].name = tmpl().atomName[TRP][k];
    }
    EXPECT_ERROR(buildAtomIndex(tmpl(), s), 1, "more than 20000 atoms");
    Structure p = ras();
    typeAtoms(tmpl(), syntheticTypes(), p, 1, 0);
    Templates crowded = tmpl();  // O and H of alanine hung on CA as well
    crowded.refAtoms[ALA][3][2] = 1;
    crowded.refAtoms[ALA][4][2] = 1;
    EXPECT_ERROR(buildAtomIndex(crowded, p), 1, "atom CA of residue A[0-9]+ has more than 4 bonded neighbours");
}

}  // namespace
