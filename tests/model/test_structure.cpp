// Structure: copying, centres and neighbours, side-chain placement, sequence files.
#include <cmath>

#include "model/geometry.h"
#include "model/model_support.h"

using namespace lorvane;

using namespace model_test;

namespace {

// Places a present atom (van der Waals code t) in slot j.
void put(Residue& r, int j, float x, float y, float z, int t = 1) {
    r.atoms[j].x = x, r.atoms[j].y = y, r.atoms[j].z = z;
    r.atoms[j].type = static_cast<int16_t>(t);
}

void expectParentsConsistent(const Structure& s) {
    for (int i = 0; i <= s._numRes; ++i) {
        ASSERT_EQ(s.residues[i].parent, &s) << i;
        for (int j = 0; j < MAX_ATOMS; ++j) ASSERT_EQ(s.residues[i].atoms[j].parent, &s.residues[i]) << i << " " << j;
    }
}

TEST(Structure, CopiesAreDeepAndKeepChainData) {
    Structure small(100);
    for (int i = 1; i <= 100; ++i) {
        small.residues[i].type = GLY, small.residues[i].numAtoms = 6, small.residues[i].pdbNum = 200 + i;
        put(small.residues[i], 1, float(i), 2.0f, 3.0f);
    }
    small.chainIds = "AB", small.chainStart[1] = 51, small.gapAfter[50] = true;
    Structure big(1500), grow(3), other(20), same(100);
    big = small;   // a larger target shrinks
    grow = small;  // a smaller one grows
    Structure copy(small);
    other.copyStructure(small, 1, 100);  // the whole chain into another size re-initialises
    for (Structure* c : {&big, &grow, &copy, &other}) {
        EXPECT_EQ(c->residues.size(), 101u);
        EXPECT_EQ(c->residues[100].pdbNum, 300);
        EXPECT_EQ(c->residues[37].atoms[1].x, 37.0f);
        EXPECT_EQ(c->chainIds + std::to_string(c->chainStart[1]), "AB51");
        EXPECT_TRUE(c->gapAfter[50] && !c->gapAfter[49]);
        expectParentsConsistent(*c);
    }
    big.residues[37].atoms[1].x = -5.0f;
    EXPECT_EQ(small.residues[37].atoms[1].x, 37.0f);
    for (int i = 1; i <= 100; ++i) same.residues[i].pdbNum = -i;
    same.copyStructure(small, 4, 6);  // only the range moves, with centres recomputed
    EXPECT_EQ(same.residues[3].pdbNum, -3);
    EXPECT_EQ(same.residues[4].pdbNum, 204);
    EXPECT_EQ(same.residues[6].pdbNum, 206);
    EXPECT_EQ(same.residues[7].pdbNum, -7);
    EXPECT_FLOAT_EQ(same.residues[5].center.x, 5.0f);
    EXPECT_FATAL(Structure(20).copyStructure(small, 5, 9), "Cannot call copyStructure on fragments when _numRes incompatible");
}

TEST(Structure, CentresAndNeighbours) {
    templatesLoaded();  // sizes may be zero without templates; the cut-off follows them either way
    Structure s(4);
    for (int i = 1; i <= 4; ++i) s.residues[i].numAtoms = 8;
    Residue &g = s.residues[1], &a = s.residues[2], &sr = s.residues[3], &k = s.residues[4];
    g.type = GLY, a.type = ALA, sr.type = SER, k.type = LYS;
    put(g, 0, 0, 0, 0), put(g, 1, 3, 0, 0), put(g, 2, 3, 3, 0), put(g, 3, 6, 3, 0);
    put(g, 4, 100, 100, 100, 23);  // hydrogen: not counted
    for (int j = 0; j < 4; ++j) put(a, j, 10.0f + j, 0, 0);
    put(a, 5, 20, 4, 0);
    put(a, 6, 50, 50, 50, 21);  // code 21 is not counted either
    put(sr, 1, 40, 0, 0);
    put(sr, 6, 44, 0, 0);  // the only side-chain atom
    s.calCenter(1, 4);
    EXPECT_FLOAT_EQ(g.bbCenter.x, 3.0f);
    EXPECT_FLOAT_EQ(g.bbCenter.y, 1.5f);
    EXPECT_EQ(g.scCenter.x, 3.0f);  // glycine: CA
    EXPECT_FLOAT_EQ(g.center.x, 3.0f);
    EXPECT_EQ(g.center.type, 0);
    EXPECT_EQ(a.scCenter.x, 20.0f);  // alanine: CB
    EXPECT_FLOAT_EQ(a.bbCenter.x, (10 + 11 + 12 + 13 + 20) / 5.0f);
    EXPECT_FLOAT_EQ(a.center.y, 0.8f);
    EXPECT_EQ(sr.scCenter.x, 44.0f);
    EXPECT_FLOAT_EQ(sr.center.x, 42.0f);
    EXPECT_EQ(k.center.type, ABSENT);  // no atoms: no centres
    EXPECT_EQ(k.bbCenter.type, ABSENT);
    sr.atoms[6].type = ABSENT;
    s.calCenter(3, 3);
    EXPECT_EQ(sr.scCenter.type, ABSENT);

    Structure n(3);
    for (int i = 1; i <= 3; ++i) n.residues[i].type = ALA, n.residues[i].numAtoms = 6;
    const double cut = Residue::size[ALA] * 2 + 5.5;
    put(n.residues[1], 1, 0, 0, 0);
    put(n.residues[2], 1, float(cut - 0.05), 0, 0);
    put(n.residues[3], 1, 0, float(cut + 0.05), 0);
    n.calCenter(1, 3);
    EXPECT_EQ(n.residues[1].neighbors, (std::set<int>{2}));
    EXPECT_EQ(n.residues[2].neighbors, (std::set<int>{1}));
    EXPECT_TRUE(n.residues[3].neighbors.empty());
    put(n.residues[2], 1, 0, 0, float(cut + 1.0));  // moved away and updated alone: gone from both sides
    n.calCenter(2, 2);
    EXPECT_TRUE(n.residues[1].neighbors.empty());
    EXPECT_TRUE(n.residues[2].neighbors.empty());
}

TEST(ReadSeq, FillsTypesAndStopsOnBadFiles) {
    REQUIRE_TEMPLATES();
    ScratchDir d;
    d.write("ok.seq", "ACDEFGHIKLMNPQRSTVWY\r\n");
    d.write("full.seq", std::string(1500, 'G') + "\n");
    d.write("bad.seq", "XACD\n");
    d.write("long.seq", std::string(1501, 'A') + "\n");
    Structure s(1500);
    s.readSeq(d.path("ok.seq").c_str());
    ASSERT_EQ(s._numRes, 20);
    EXPECT_EQ(Structure::_sequence, "ACDEFGHIKLMNPQRSTVWY");
    for (int t = 0; t < 20; ++t) {
        const Residue& r = s.residues[t + 1];
        EXPECT_EQ(r.type, t);
        EXPECT_EQ(r.numAtoms, Residue::numAtom[t]);
        for (int j = 0; j < Residue::numAtom[t]; ++j) {
            EXPECT_EQ(r.atoms[j].type, Residue::vdwType[t][j]);
            EXPECT_EQ(r.atoms[j].name, Residue::cType[t][j]);
        }
    }
    s.readSeq(d.path("full.seq").c_str());  // the capacity itself fits
    EXPECT_EQ(s._numRes, 1500);
    EXPECT_FATAL(s.readSeq(d.path("bad.seq").c_str()), "Residue type error! X");
    EXPECT_FATAL(s.readSeq("/nonexistent/x.seq"), "cannot open pdb file /nonexistent/x.seq");
    EXPECT_FATAL(s.readSeq(d.path("long.seq").c_str()), "1501 residues");
}

}  // namespace
