// Structure: copying, centres and neighbours, side-chain placement, sequence files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "model/strings.h"
#include "model/structure.h"
#include "model/model_support.h"

using namespace model_test;
namespace fs = std::filesystem;

namespace {

// Places a present atom (van der Waals code t) in slot j.
void put(Residue& r, int j, float x, float y, float z, int t = 1) {
    r.atoms[j].x = x;
    r.atoms[j].y = y;
    r.atoms[j].z = z;
    r.atoms[j].type = static_cast<int16_t>(t);
}

void expectParentsConsistent(const Structure& s) {
    for (int i = 0; i <= s._numRes; ++i) {
        ASSERT_EQ(s.residues[i].parent, &s) << i;
        for (int j = 0; j < MAX_ATOMS; ++j) ASSERT_EQ(s.residues[i].atoms[j].parent, &s.residues[i]) << i << " " << j;
    }
}

std::string tempFile(const std::string& name, const std::string& text) {
    fs::path p = fs::temp_directory_path() / ("lorvane_model_" + std::to_string(::getpid()) + "_" + name);
    std::ofstream(p) << text;
    return p.string();
}

TEST(Structure, InitSetsSeedsAndIndices) {
    Structure s(5);
    EXPECT_EQ(s._numRes, 5);
    EXPECT_EQ(s.residues.size(), 6u);
    EXPECT_EQ(s.residues[0].atoms[0].x, -1.0f);
    EXPECT_EQ(s.residues[0].atoms[2].z, 0.0f);
    EXPECT_EQ(s.residues[0].atoms[2].y, 1.0f);
    EXPECT_EQ(s.residues[1].atoms[1].x, 1.458f);
    EXPECT_EQ(s.residues[1].atoms[4].y, -1.01f);
    EXPECT_FALSE(s.keepGeometry);
    EXPECT_EQ(s.chainIds, "");
    for (int i = 0; i <= 5; ++i) EXPECT_EQ(s.residues[i].index, i);
    expectParentsConsistent(s);
}

TEST(Structure, AssignmentReinitialisesAndCopiesDeeply) {
    Structure small(100);
    for (int i = 1; i <= 100; ++i) {
        small.residues[i].type = GLY;
        small.residues[i].pdbNum = 200 + i;
        put(small.residues[i], 1, float(i), 2.0f, 3.0f);
    }
    small.chainIds = "AB";
    small.chainStart[1] = 51;
    small.gapAfter[50] = true;
    small.name = "tiny";
    Structure big(1500);
    big = small;
    EXPECT_EQ(big._numRes, 100);
    EXPECT_EQ(big.residues.size(), 101u);
    EXPECT_EQ(big.residues[100].pdbNum, 300);
    EXPECT_EQ(big.residues[37].atoms[1].x, 37.0f);
    EXPECT_EQ(big.chainIds, "AB");
    EXPECT_EQ(big.chainStart[1], 51);
    EXPECT_TRUE(big.gapAfter[50]);
    EXPECT_FALSE(big.gapAfter[49]);
    EXPECT_EQ(big.name, "tiny");
    EXPECT_EQ(big.residues[0].atoms[0].x, -1.0f);  // seed residue not copied
    expectParentsConsistent(big);

    big.residues[37].atoms[1].x = -5.0f;  // deep: the source is untouched
    EXPECT_EQ(small.residues[37].atoms[1].x, 37.0f);

    Structure copy(small);
    EXPECT_EQ(copy._numRes, 100);
    EXPECT_EQ(copy.residues[100].pdbNum, 300);
    expectParentsConsistent(copy);

    Structure grow(3);
    grow = big;  // smaller target grows
    EXPECT_EQ(grow._numRes, 100);
    EXPECT_EQ(grow.residues[37].atoms[1].x, -5.0f);
    expectParentsConsistent(grow);
}

TEST(Structure, CopyStructureWholeAndFragments) {
    Structure src(10);
    for (int i = 1; i <= 10; ++i) {
        src.residues[i].type = GLY;
        src.residues[i].numAtoms = 6;
        put(src.residues[i], 1, float(10 * i), 0, 0);
        src.residues[i].pdbNum = i;
    }
    src.gapAfter[7] = true;
    src.chainIds = "Q";

    Structure other(20);
    other.copyStructure(src, 1, 10);  // whole chain into another size: re-init
    EXPECT_EQ(other._numRes, 10);
    EXPECT_EQ(other.residues[10].atoms[1].x, 100.0f);
    EXPECT_TRUE(other.gapAfter[7]);
    EXPECT_EQ(other.chainIds, "Q");
    expectParentsConsistent(other);

    Structure same(10);
    for (int i = 1; i <= 10; ++i) same.residues[i].pdbNum = -i;
    same.copyStructure(src, 4, 6);  // only the range moves, with centres recomputed
    EXPECT_EQ(same.residues[3].pdbNum, -3);
    EXPECT_EQ(same.residues[4].pdbNum, 4);
    EXPECT_EQ(same.residues[6].pdbNum, 6);
    EXPECT_EQ(same.residues[7].pdbNum, -7);
    EXPECT_FALSE(same.gapAfter[7]);
    EXPECT_EQ(same.residues[5].center.type, 0);
    EXPECT_FLOAT_EQ(same.residues[5].center.x, 50.0f);

    EXPECT_EXIT(
        {
            stdoutToStderr();
            Structure mismatch(20);
            mismatch.copyStructure(src, 5, 9);
        },
        testing::ExitedWithCode(1), "Cannot call copyStructure on fragments when _numRes incompatible");
}

TEST(Structure, CalCenterMeansAndFallbacks) {
    Structure s(3);
    Residue& g = s.residues[1];
    g.type = GLY;
    g.numAtoms = 8;
    put(g, 0, 0, 0, 0);
    put(g, 1, 3, 0, 0);
    put(g, 2, 3, 3, 0);
    put(g, 3, 6, 3, 0);
    put(g, 4, 100, 100, 100, 23);  // hydrogen: not counted
    Residue& a = s.residues[2];
    a.type = ALA;
    a.numAtoms = 8;
    for (int j = 0; j < 4; ++j) put(a, j, 10.0f + j, 0, 0);
    put(a, 5, 20, 4, 0);
    put(a, 6, 50, 50, 50, 21);  // type 21 is not below 21
    Residue& sr = s.residues[3];
    sr.type = SER;
    sr.numAtoms = 8;
    put(sr, 1, 40, 0, 0);
    put(sr, 6, 44, 0, 0);  // the only side-chain atom
    s.calCenter(1, 3);

    EXPECT_FLOAT_EQ(g.bbCenter.x, 3.0f);
    EXPECT_FLOAT_EQ(g.bbCenter.y, 1.5f);
    EXPECT_EQ(g.scCenter.x, 3.0f);  // glycine: CA
    EXPECT_EQ(g.scCenter.y, 0.0f);
    EXPECT_EQ(g.center.type, 0);
    EXPECT_FLOAT_EQ(g.center.x, 3.0f);

    EXPECT_EQ(a.scCenter.x, 20.0f);  // alanine: CB
    EXPECT_EQ(a.scCenter.y, 4.0f);
    EXPECT_FLOAT_EQ(a.bbCenter.x, (10 + 11 + 12 + 13 + 20) / 5.0f);
    EXPECT_FLOAT_EQ(a.center.y, 0.8f);

    EXPECT_EQ(sr.scCenter.x, 44.0f);
    EXPECT_FLOAT_EQ(sr.center.x, 42.0f);

    // A residue with no side-chain atom other than gly/ala has no side-chain centre,
    // and one with no atoms at all has no centre.
    Structure e(2);
    e.residues[1].type = SER;
    e.residues[1].numAtoms = 8;
    put(e.residues[1], 1, 1, 1, 1);
    e.residues[2].type = LYS;
    e.residues[2].numAtoms = 8;
    e.calCenter(1, 2);
    EXPECT_EQ(e.residues[1].scCenter.type, ABSENT);
    EXPECT_EQ(e.residues[2].center.type, ABSENT);
    EXPECT_EQ(e.residues[2].bbCenter.type, ABSENT);
}

TEST(Structure, NeighboursFollowTheSizeCutoff) {
    templatesLoaded();  // sizes may be zero without templates; the cut-off follows them either way
    Structure s(3);
    for (int i = 1; i <= 3; ++i) {
        s.residues[i].type = ALA;
        s.residues[i].numAtoms = 6;
    }
    const double cut = Residue::size[ALA] * 2 + 5.5;
    put(s.residues[1], 1, 0, 0, 0);
    put(s.residues[2], 1, float(cut - 0.05), 0, 0);
    put(s.residues[3], 1, 0, float(cut + 0.05), 0);
    s.calCenter(1, 3);
    EXPECT_EQ(s.residues[1].neighbors, (std::set<int>{2}));
    EXPECT_EQ(s.residues[2].neighbors, (std::set<int>{1}));
    EXPECT_TRUE(s.residues[3].neighbors.empty());
    // Moving residue 2 away and updating only it removes the pair from both sides.
    put(s.residues[2], 1, 0, 0, float(cut + 1.0));
    s.calCenter(2, 2);
    EXPECT_TRUE(s.residues[1].neighbors.empty());
    EXPECT_TRUE(s.residues[2].neighbors.empty());
}

class RealChain : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_TEMPLATES();
        std::string log;
        ASSERT_TRUE(readText(s, slurp(sourcePath("examples/5p21.pdb")), &log, "5p21.pdb")) << log;
    }
    Structure s{1500};
};

TEST_F(RealChain, SideChainPseudoAtomAndChiUnits) {
    int checked = 0;
    for (int i = 1; i <= s._numRes; ++i) {
        const Residue& r = s.residues[i];
        if (r.missingHeavy) continue;
        if (r.type == GLY) {
            EXPECT_EQ(r.sc.x, r.atoms[1].x);
        } else if (r.type == ALA) {
            EXPECT_EQ(r.sc.z, r.atoms[5].z);
        } else {
            EXPECT_NEAR(r.sc.dis(r.atoms[1]), Atom::R_SC[r.type], 1e-4) << i;
            EXPECT_EQ(r.sc.type, 5);
            ++checked;
        }
        EXPECT_EQ(r.sc.name, "SC");
    }
    EXPECT_GT(checked, 100);
    Structure deg(s);
    cal_sc_angles(deg, 1, deg._numRes);
    for (int i = 1; i <= s._numRes; ++i) {
        Residue rad = s.residues[i];
        cal_sc_angles(rad);
        for (int k = 0; k < Residue::numTorAng[rad.type]; ++k) {
            if (rad.chi[k] == UNDEF_DIHEDRAL) {
                EXPECT_EQ(deg.residues[i].chi[k], UNDEF_DIHEDRAL);
                continue;
            }
            EXPECT_NEAR(rad.chi[k], deg.residues[i].chi[k] * DEG2RAD, 1e-9);
            EXPECT_LE(std::fabs(rad.chi[k]), 3.1416);
        }
    }
}

TEST_F(RealChain, HeavySideChainRebuildFromMeasuredChis) {
    int serines = 0, rebuilt = 0;
    double sum2 = 0.0;
    for (int i = 1; i <= s._numRes; ++i) {
        const Residue orig = s.residues[i];
        if (orig.missingHeavy) continue;
        Residue r = orig;
        cal_sc_angles(r);
        const int t = r.type;
        for (int j = 6; j < MAX_ATOMS; ++j) r.atoms[j].CopyPos(Point(50, 50, 50));
        const Atom cb = r.atoms[5];
        s.calSCCoHeavy(i, r.chi, r);
        SCOPED_TRACE(Residue::Name3[t] + " " + std::to_string(orig.pdbNum));
        EXPECT_EQ(r.numAtoms, Residue::numAtom[t]);
        EXPECT_EQ(r.scCenter.type, ABSENT);
        EXPECT_EQ(r.atoms[5].x, cb.x);
        int k = 0;
        for (int j = 6; j < MAX_ATOMS; ++j) {
            if (j > Residue::lastDFire[t]) {
                EXPECT_EQ(r.atoms[j].x, 50.0f) << "slot " << j << " must stay untouched";
                continue;
            }
            // Each heavy atom sits at the template's internal coordinates, chis taken in order.
            const int* ref = Residue::prev_atom[t][j];
            const Atom &A = r.atoms[ref[0]], &B = r.atoms[ref[1]], &C = r.atoms[ref[2]], &D = r.atoms[j];
            double dih = Residue::torsion[t][j] == FREE_CHI ? r.chi[k++] : Residue::torsion[t][j];
            EXPECT_NEAR(C.dis(D), Residue::bond_length[t][j], 1e-4) << "slot " << j;
            EXPECT_NEAR(angle(B, C, D), Residue::bond_angle[t][j] * RAD2DEG, 0.02) << "slot " << j;
            EXPECT_NEAR(std::remainder(Torsion(A, B, C, D) - dih * RAD2DEG, 360.0), 0.0, 0.02) << "slot " << j;
            const double d = D.dis(orig.atoms[j]);
            if (j == 6) {
                EXPECT_LT(d, 0.35) << "first side-chain atom far from the input";
            }
            // Old files may name Arg NH1/NH2 the other way round; the template follows IUPAC.
            if (!(t == ARG && j >= 10)) {
                sum2 += d * d;
                ++rebuilt;
            }
        }
        if (t == SER) {
            ++serines;
            EXPECT_EQ(Residue::lastDFire[SER], 6);
            EXPECT_LT(r.atoms[6].dis(orig.atoms[6]), 0.3);
        }
    }
    EXPECT_GT(serines, 0);
    ASSERT_GT(rebuilt, 300);
    const double rms = std::sqrt(sum2 / rebuilt);
    EXPECT_LT(rms, 0.35) << "rebuilt side chains drift from the input";
    RecordProperty("rebuild_rms_A", std::to_string(rms));
}

TEST_F(RealChain, SequenceIsStoredFromTheChain) {
    std::string expect;
    for (int i = 1; i <= s._numRes; ++i) expect += Residue::Name1[s.residues[i].type];
    EXPECT_EQ(Structure::_sequence, expect);
    EXPECT_EQ(expect.substr(0, 10), "MTEYKLVVVG");
    s.StoreSequence();
    EXPECT_EQ(Structure::_sequence, expect);
}

TEST(ReadSeq, Errors) {
    Residue::InitMap();
    EXPECT_EXIT(
        {
            stdoutToStderr();
            Structure s(1500);
            s.readSeq(tempFile("bad.seq", "XACD\n").c_str());
        },
        testing::ExitedWithCode(1), "Residue type error! X");
    EXPECT_EXIT(
        {
            stdoutToStderr();
            Structure s(1500);
            s.readSeq("/nonexistent/x.seq");
        },
        testing::ExitedWithCode(1), "cannot open pdb file /nonexistent/x.seq");
    std::string tooLong = tempFile("long.seq", std::string(1501, 'A') + "\n");
    EXPECT_EXIT(
        {
            stdoutToStderr();
            Structure s(1500);
            s.readSeq(tooLong.c_str());
        },
        testing::ExitedWithCode(1), "1501 residues");
    std::remove(tooLong.c_str());
}

TEST(ReadSeq, FillsTypesAndNames) {
    REQUIRE_TEMPLATES();
    const std::string seq = "ACDEFGHIKLMNPQRSTVWY";
    std::string path = tempFile("ok.seq", seq + "\r\n");
    Structure s(1500);
    s.readSeq(path.c_str());
    ASSERT_EQ(s._numRes, 20);
    EXPECT_EQ(Structure::_sequence, seq);
    for (int k = 0; k < 20; ++k) {
        const Residue& r = s.residues[k + 1];
        EXPECT_EQ(r.type, k);
        EXPECT_EQ(r.index, k + 1);
        EXPECT_EQ(r.numAtoms, Residue::numAtom[k]);
        for (int j = 0; j < Residue::numAtom[k]; ++j) {
            EXPECT_EQ(r.atoms[j].type, Residue::vdwType[k][j]);
            EXPECT_EQ(r.atoms[j].name, Residue::cType[k][j]);
        }
    }
    std::ofstream(path) << std::string(1500, 'G') << "\n";  // the capacity itself fits
    Structure full(1500);
    full.readSeq(path.c_str());
    EXPECT_EQ(full._numRes, 1500);
    std::remove(path.c_str());
}

}  // namespace
