// The working structure built from a whole entry: on plain files the same
// structure as the ATOM-record reader; on real entries every residue (all
// chains, insertion codes, selenomethionine), breaks from the geometry, the
// loop's missing residues in place and the hetero atoms of the environment.
#include <cmath>

#include "model/entry_structure.h"
#include "model/entry_support.h"
#include "model/model_support.h"

using namespace lorvane;
using namespace entry_test;
using namespace model_test;

namespace {

LoopRequest req(const std::string& start, const std::string& end, const std::string& chain = "", const std::string& seq = "") {
    return {chain, start, end, seq};
}

EntryStructure built(const Entry& e, const LoopRequest* r = nullptr, bool keepWater = false) {
    if (!r) return structureFromEntry(tmpl(), e, nullptr, keepWater);
    const LoopSelection sel = selectLoop(e, *r);
    return structureFromEntry(tmpl(), e, &sel, keepWater);
}

bool same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// Field by field: every slot, flag and derived value the sampler reads.
void expectSameStructure(const Structure& a, const Structure& b) {
    ASSERT_EQ(a._numRes, b._numRes);
    EXPECT_EQ(a.chainIds, b.chainIds);
    for (int c = 0; c < MAX_CHAINS; ++c) EXPECT_EQ(a.chainStart[c], b.chainStart[c]) << "chain " << c;
    EXPECT_EQ(a.hasGap, b.hasGap);
    EXPECT_EQ(a.incomplete, b.incomplete);
    EXPECT_EQ(a.name, b.name);
    for (int i = 1; i <= a._numRes; ++i) {
        SCOPED_TRACE("position " + std::to_string(i));
        const Residue &r = a[i], &q = b[i];
        EXPECT_EQ(a.gapAfter[i], b.gapAfter[i]);
        EXPECT_EQ(r.type, q.type);
        EXPECT_EQ(r.pdbNum, q.pdbNum);
        EXPECT_EQ(r.icode, q.icode);
        EXPECT_EQ(r.numAtoms, q.numAtoms);
        EXPECT_EQ(r.missingHeavy, q.missingHeavy);
        EXPECT_EQ(r.ss, q.ss);
        EXPECT_TRUE(same(r.phi, q.phi) && same(r.psi, q.psi) && same(r.omega, q.omega));
        for (int k = 0; k < MAX_ATOMS; ++k) {
            const Atom &x = r.atoms[k], &y = q.atoms[k];
            EXPECT_TRUE(x.type == y.type && x.name == y.name && x.missing == y.missing && x.oscarType == y.oscarType) << "slot " << k;
            EXPECT_TRUE(x.x == y.x && x.y == y.y && x.z == y.z) << "slot " << k;
        }
    }
}

}  // namespace

// A plain file (one chain, no HETATM that counts, no insertion codes) gives
// the structure the ATOM-record reader gives, bit for bit.
TEST(EntryStructure, PlainFilesAsTheAtomReaderReadsThem) {
    for (const std::string file : {"tests/golden/inputs/5p21.pdb", "examples/1crn.pdb", "examples/1ubq.pdb"}) {
        SCOPED_TRACE(file);
        Structure old(MAX_RESIDUES);
        ASSERT_TRUE(readText(old, fileText(repoPath(file)), nullptr, repoPath(file)));
        const EntryStructure b = built(readEntry(repoPath(file)));
        expectSameStructure(b.protein, old);
        EXPECT_TRUE(b.protein.hetero.empty());  // no HETATM, or waters only (1ubq)
    }
    // Two chains: chain starts, a break between them, positions in file order.
    int serial = 1;
    std::string two;
    for (int n = 1; n <= 3; ++n) two += residueLines("GLY", 'A', n, 3.0 * n, serial);  // C-N 1.74 A: bonded
    for (int n = 1; n <= 2; ++n) two += residueLines("SER", 'B', n, 40.0 + 3.0 * n, serial);
    Structure old(MAX_RESIDUES);
    ASSERT_TRUE(readText(old, two, nullptr, "two.pdb"));
    expectSameStructure(built(readEntryText(two, "two.pdb")).protein, old);
}

TEST(EntryStructure, EveryResidueOfRealEntries) {
    // Thrombin heavy chain: 57-64 holds 17 residues in file order; 217 -> 219 is bonded.
    const Entry eb1 = readEntry(entryPath("1eb1.pdb.gz"));
    const LoopRequest r57 = req("57", "64", "H");
    const EntryStructure t = built(eb1, &r57);
    ASSERT_EQ(t.loopEnd - t.loopStart + 1, 17);
    std::string labels;
    for (int i = t.loopStart; i <= t.loopEnd; ++i) labels += residueLabel(t.protein, i) + " ";
    EXPECT_EQ(labels, "H57 H58 H59 H60 H60A H60B H60C H60D H60E H60F H60G H60H H60I H61 H62 H63 H64 ");
    for (int i = t.loopStart - 1; i <= t.loopEnd; ++i) EXPECT_FALSE(t.protein.gapAfter[i]) << residueLabel(t.protein, i);
    int p217 = -1;
    for (int i = 1; i <= t.protein._numRes; ++i)
        if (residueLabel(t.protein, i) == "H217") p217 = i;
    ASSERT_GT(p217, 0);
    EXPECT_EQ(residueLabel(t.protein, p217 + 1), "H219");
    EXPECT_FALSE(t.protein.gapAfter[p217]) << "bonded by geometry despite the numbering";

    // Two chains numbered alike: the loop lies in the chain asked for.
    const Entry gou = readEntry(entryPath("1gou.pdb.gz"));
    const LoopRequest b10 = req("10", "15", "B");
    const EntryStructure g = built(gou, &b10);
    EXPECT_EQ(g.protein.chainIds, "AB");
    EXPECT_EQ(g.protein.chainNames, (std::vector<std::string>{"A", "B"}));
    EXPECT_GE(g.loopStart, g.protein.chainStart[1]);
    EXPECT_EQ(residueLabel(g.protein, g.loopStart), "B10");
    EXPECT_TRUE(g.protein.gapAfter[g.protein.chainStart[1] - 1]) << "no bond across chains";
    const EntryChain& chainB = gou.chains[1];
    EXPECT_EQ(g.protein[g.loopStart].atoms[SLOT_N].x, static_cast<float>(chainB.polymer[9].atom("N")->x));

    // Selenomethionine: MET 67 with SD where the file has SE, as in the MET entry.
    const EntryStructure mse = built(readEntry(entryPath("5p21_mse.pdb.gz")));
    const EntryStructure met = built(readEntry(repoPath("examples/5p21.pdb")));
    ASSERT_EQ(mse.protein._numRes, met.protein._numRes);
    for (int i = 1; i <= met.protein._numRes; ++i) {
        if (met.protein[i].pdbNum != 67) continue;
        EXPECT_EQ(mse.protein[i].type, MET);
        const int sd = tmpl().slot(MET, "SD");
        EXPECT_TRUE(mse.protein[i].atoms[sd].present());
        EXPECT_EQ(mse.protein[i].atoms[sd].x, met.protein[i].atoms[sd].x);
    }
}

// The loop's missing residues sit between its present ends, bonded, without
// coordinates; everything else is the intact structure.
TEST(EntryStructure, MissingLoopResiduesTakeTheirPlaces) {
    const EntryStructure intact = built(readEntry(repoPath("examples/5p21.pdb")));
    const std::string pdb = fileText(entryPath("5p21_del46-51.pdb.gz"));
    const std::string bare = withoutRecords(withoutRecords(pdb, "REMARK 465"), "SEQRES");
    const Entry fromRemark = readEntryText(pdb, "del.pdb");
    const Entry fromCif = readEntry(entryPath("5p21_del46-51.cif.gz"));
    const Entry fromSeq = readEntryText(bare, "bare.pdb");
    const LoopRequest plain = req("45", "52"), withSeq = req("45", "52", "A", "VIDGETCL");
    for (const auto& [entry, request] : {std::pair{&fromRemark, &plain}, {&fromCif, &plain}, {&fromSeq, &withSeq}}) {
        SCOPED_TRACE(entry->path);
        const EntryStructure b = built(*entry, request);
        const Structure& s = b.protein;
        ASSERT_EQ(s._numRes, intact.protein._numRes);
        EXPECT_EQ(b.loopStart, 45);
        EXPECT_EQ(b.loopEnd, 52);
        for (int i = 44; i <= 52; ++i) EXPECT_FALSE(s.gapAfter[i]) << i;
        for (int i = 1; i <= s._numRes; ++i) {
            EXPECT_EQ(s[i].type, intact.protein[i].type) << i;
            EXPECT_EQ(s[i].pdbNum, i);
            const bool missing = i >= 46 && i <= 51;
            for (int k = 0; k < tmpl().numAtom[s[i].type]; ++k) {
                if (missing) {
                    EXPECT_FALSE(s[i].atoms[k].present()) << i << " " << k;
                    EXPECT_EQ(s[i].atoms[k].name, tmpl().atomName[s[i].type][k]);
                } else {
                    EXPECT_EQ(s[i].atoms[k].x, intact.protein[i].atoms[k].x) << i << " " << k;
                }
            }
        }
        EXPECT_EQ(s.hetero.size(), 33u) << "GNP and Mg";
    }
    // Without the loop the gap is a break: 45 is followed by 52.
    const EntryStructure none = built(fromRemark);
    EXPECT_EQ(none.protein._numRes, 160);
    EXPECT_EQ(none.protein[46].pdbNum, 52);
    EXPECT_TRUE(none.protein.gapAfter[45]);
}

TEST(EntryStructure, HeteroAtomsOfTheEnvironment) {
    const std::string t = p21Text();
    const Entry p21 = readEntryText(t, "5p21.pdb");
    const EntryStructure b = built(p21);
    ASSERT_EQ(b.protein.hetero.size(), 33u);
    EXPECT_EQ(built(p21, nullptr, true).protein.hetero.size(), 33u + 211u);
    int metals = 0;
    for (size_t k = 0; k < b.protein.hetero.size(); ++k) {
        const HeteroAtom& h = b.protein.hetero[k];
        EXPECT_EQ(h.type, tmpl().vdwType[h.templateType][h.templateSlot]);
        for (int n : h.bonded) {
            ASSERT_LT(n, static_cast<int>(b.protein.hetero.size()));
            const std::vector<int>& back = b.protein.hetero[n].bonded;
            EXPECT_NE(std::find(back.begin(), back.end(), static_cast<int>(k)), back.end()) << "bonds go both ways";
            EXPECT_EQ(b.protein.hetero[n].residue, h.residue);
        }
        if (!h.metal) continue;
        ++metals;
        EXPECT_EQ(h.residue, "MG A168");
        EXPECT_DOUBLE_EQ(h.radius, 0.72);
        EXPECT_TRUE(h.bonded.empty());
    }
    EXPECT_EQ(metals, 1);

    // A modified residue is hetero atoms, and its neighbours are not bonded through it.
    const std::string sep = editLines(t, [](std::string& l) {
        if (isAtom(l) && resNum(l) == 48) l = "HETATM" + l.substr(6, 11) + "SEP" + l.substr(20);
    });
    const EntryStructure s = built(readEntryText(sep, "sep.pdb"));
    EXPECT_EQ(s.protein._numRes, 165);
    EXPECT_EQ(s.protein[48].pdbNum, 49);
    EXPECT_TRUE(s.protein.gapAfter[47]);
    int sepAtoms = 0;
    for (const HeteroAtom& h : s.protein.hetero) sepAtoms += h.residue == "SEP A48";
    EXPECT_EQ(sepAtoms, 4);  // glycine's N, CA, C, O

    // A ligand bonded to a loop residue would move with the loop: left out, with a note.
    char lig[96];
    const EntryResidue& asp47 = p21.chains[0].polymer[46];
    const EntryAtom& od1 = *asp47.atom("OD1");
    std::snprintf(lig, sizeof lig, "HETATM 9999  C1  LIG A 900    %8.3f%8.3f%8.3f  1.00 20.00           C\n", od1.x + 1.45, od1.y, od1.z);
    const Entry ligand = readEntryText(withoutRecords(t, "END") + lig, "lig.pdb");
    const LoopRequest loop = req("45", "52"), far = req("55", "62");
    const EntryStructure near = built(ligand, &loop);
    EXPECT_EQ(near.protein.hetero.size(), 33u);
    ASSERT_EQ(near.notes.size(), 1u);
    EXPECT_NE(near.notes[0].find("LIG A900 is bonded to loop residue ASP A47 (C1-"), std::string::npos) << near.notes[0];
    EXPECT_EQ(built(ligand, &far).protein.hetero.size(), 34u);
}

TEST(EntryStructure, CapacitiesAreChecked) {
    std::string many;
    int serial = 1;
    for (int n = 1; n <= MAX_RESIDUES + 1; ++n)
        many += atomLine(serial++ % 100000, " CA ", "GLY", 'A', n, 3.8 * (n % 100), 3.8 * (n / 100), 0.0) + "\n";
    EXPECT_ERROR(built(readEntryText(many, "many.pdb")), 1, "many.pdb has 1501 residues, but the most allowed is 1500");
    std::string chains;
    for (int c = 0; c <= MAX_CHAINS; ++c) chains += atomLine(c + 1, " CA ", "GLY", static_cast<char>('A' + c), 1, 3.8 * c, 0, 0) + "\n";
    EXPECT_ERROR(built(readEntryText(chains, "chains.pdb")), 1, "chains.pdb has more than 20 chains \\(chain U at residue U1\\)");
}
