// The last check before a loop is written: no loop atom inside the clash
// distance of a ligand atom or a metal ion.
#include "filter/filter.h"
#include "potentials/pot_support.h"

using namespace lorvane;
using namespace pot_test;

TEST(FrameClash, LigandsAndIons) {
    Structure s(10);
    emptyChain(s, 3, ALA, 6);
    const AtomIndex x = numberByHand(s, typeBySlot);
    put(s, 2, 1, 3, 0.0f, 0.0f, 0.0f);
    put(s, 2, 3, 15, 0.0f, 3.0f, 0.0f);
    s.residues[2].atoms[1].name = "CA";
    s.residues[2].atoms[3].name = "O";
    Potentials p;  // no clash walls: only the hetero rules count
    struct Case {
        HeteroAtom h;
        bool clash;
    };
    const Case cases[] = {
        {heteroAt(2.45f, 0, 0, 5, 1), true},             // a ligand atom 2.45 A from CA
        {heteroAt(2.55f, 0, 0, 5, 1), false},            // 2.55 A
        {heteroAt(0, 3.0f + 1.90f, 0, 11, 3, true, 0.72), false},  // Mg 1.90 A from O: coordination
        {heteroAt(0, 3.0f + 1.80f, 0, 11, 3, true, 0.72), true},   // 1.80 A: inside 1.84
        {heteroAt(-2.40f, 0, 0, 11, 1, true, 0.72), true},         // Mg 2.40 A from CA: inside 2.42
        {heteroAt(-2.45f, 0, 0, 11, 1, true, 0.72), false},
    };
    for (const Case& c : cases) {
        s.hetero = {c.h};
        EXPECT_EQ(frameClash(p, x, s, 2, 2), c.clash) << c.h.x << " " << c.h.y << (c.h.metal ? " metal" : "");
        EXPECT_FALSE(frameClash(p, x, s, 1, 1)) << "residue 1 has no atoms";
    }
}
