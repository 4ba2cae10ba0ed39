// Structure: copying and sequence files.
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
    }
    big.residues[37].atoms[1].x = -5.0f;
    EXPECT_EQ(small.residues[37].atoms[1].x, 37.0f);
    for (int i = 1; i <= 100; ++i) same.residues[i].pdbNum = -i;
    same.copyStructure(small, 4, 6);  // only the range moves
    EXPECT_EQ(same.residues[3].pdbNum, -3);
    EXPECT_EQ(same.residues[4].pdbNum, 204);
    EXPECT_EQ(same.residues[6].pdbNum, 206);
    EXPECT_EQ(same.residues[7].pdbNum, -7);
    EXPECT_ERROR(Structure(20).copyStructure(small, 5, 9), 1, "Cannot call copyStructure on fragments when _numRes incompatible");
}

TEST(ReadSeq, FillsTypesAndStopsOnBadFiles) {
    ScratchDir d;
    d.write("ok.seq", "ACDEFGHIKLMNPQRSTVWY\r\n");
    d.write("full.seq", std::string(1500, 'G') + "\n");
    d.write("bad.seq", "XACD\n");
    d.write("long.seq", std::string(1501, 'A') + "\n");
    Structure s(1500);
    readSeq(tmpl(), d.path("ok.seq"), s);
    ASSERT_EQ(s._numRes, 20);
    for (int t = 0; t < 20; ++t) {
        const Residue& r = s.residues[t + 1];
        EXPECT_EQ(r.type, t);
        EXPECT_EQ(r.numAtoms, tmpl().numAtom[t]);
        for (int j = 0; j < tmpl().numAtom[t]; ++j) {
            EXPECT_EQ(r.atoms[j].type, tmpl().vdwType[t][j]);
            EXPECT_EQ(r.atoms[j].name, tmpl().atomName[t][j]);
        }
    }
    readSeq(tmpl(), d.path("full.seq"), s);  // the capacity itself fits
    EXPECT_EQ(s._numRes, 1500);
    EXPECT_ERROR(readSeq(tmpl(), d.path("bad.seq"), s), 1, "Residue type error! X");
    EXPECT_ERROR(readSeq(tmpl(), "/nonexistent/x.seq", s), 1, "cannot open pdb file /nonexistent/x.seq");
    EXPECT_ERROR(readSeq(tmpl(), d.path("long.seq"), s), 1, "1501 residues");
}

}  // namespace
