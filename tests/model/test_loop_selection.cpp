// Loop selection: residue ids on the command line, chain choice, missing
// loops with their sequence, and every refusal named by residue.
#include "model/entry_support.h"
#include "model/loop_selection.h"

using namespace lorvane;
using namespace entry_test;

namespace {

std::string idsOf(const LoopSelection& s) {
    std::string out;
    for (const LoopResidue& r : s.residues) out += (out.empty() ? "" : " ") + r.id.str() + (r.present < 0 ? "*" : "");
    return out;
}

LoopRequest req(const std::string& start, const std::string& end, const std::string& chain = "", const std::string& seq = "") {
    return {chain, start, end, seq};
}

}  // namespace

TEST(LoopSelection, ResidueIdsOnTheCommandLine) {
    const std::pair<std::string, ResidueId> good[] = {
        {"60", {60, ' '}},      {"60A", {60, 'A'}},       {"-3", {-3, ' '}},        {"10005", {10005, ' '}},
        {"A000", {10000, ' '}}, {"ZZZZ", {1223055, ' '}}, {"a000", {1223056, ' '}}, {"0", {0, ' '}},
    };
    for (const auto& [text, id] : good) EXPECT_EQ(parseResidueId(text, "-start"), id) << text;
    for (const std::string bad : {"", "-", "A", "6 0", "60AB", "x12", "60-", "99999999999", "A0b0"})
        EXPECT_ERROR(parseResidueId(bad, "-start"), 2, inOrder({"-start " + bad}));
}

TEST(LoopSelection, ResolvesChainsInsertionCodesAndModifiedNames) {
    const Entry eb1 = readEntry(entryPath("1eb1.pdb.gz"));
    const Entry uyw = readEntry(entryPath("1uyw_HL.pdb.gz"));
    const Entry gou = readEntry(entryPath("1gou.pdb.gz"));
    const Entry p21 = readEntry(repoPath("examples/5p21.pdb"));
    const Entry mse = readEntry(entryPath("5p21_mse.pdb.gz"));
    struct Case {
        const Entry* entry;
        LoopRequest request;
        std::string chain, ids, sequence;
    };
    const Case cases[] = {
        {&eb1, req("57", "64"), "H", "57 58 59 60 60A 60B 60C 60D 60E 60F 60G 60H 60I 61 62 63 64", "HCLLYPPWDKNFTENDL"},
        {&eb1, req("60B", "60F", "H"), "H", "60B 60C 60D 60E 60F", "PPWDK"},
        {&uyw, req("97", "104", "H"), "H", "97 98 99 100 100A 100B 101 102 103 104", "HYDGYFDVWG"},
        {&uyw, req("97", "104", "L"), "L", "97 98 99 100 101 102 103 104", "TFGGGTKL"},
        {&gou, req("10", "15", "B"), "B", "10 11 12 13 14 15", "ADYLIR"},
        {&p21, req("45", "52"), "A", "45 46 47 48 49 50 51 52", "VIDGETCL"},
        {&mse, req("65", "72"), "A", "65 66 67 68 69 70 71 72", "SAMRDQYM"},  // MSE 67 and 72 as MET
        {&p21, req("45", "52", "A", "VIDGETCL"), "A", "45 46 47 48 49 50 51 52", "VIDGETCL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.start + "-" + c.request.end + " " + c.entry->path);
        const LoopSelection s = selectLoop(*c.entry, c.request);
        const EntryChain& ch = c.entry->chains[s.chain];
        EXPECT_EQ(ch.id, c.chain);
        EXPECT_EQ(idsOf(s), c.ids);
        EXPECT_EQ(s.sequence(), c.sequence);
        EXPECT_FALSE(s.hasMissing());
        // Anchors: the residues right outside the loop.
        EXPECT_EQ(s.anchorBefore + 1, s.residues.front().present);
        EXPECT_EQ(s.anchorAfter - 1, s.residues.back().present);
    }
}

TEST(LoopSelection, MissingLoopsTakeTheirSequenceFromTheEntryOrFromSeq) {
    const std::string pdb = fileText(entryPath("5p21_del46-51.pdb.gz"));
    const std::string bare = withoutRecords(withoutRecords(pdb, "REMARK 465"), "SEQRES");
    const Entry fromRemark = readEntryText(pdb, "del.pdb");
    const Entry fromCif = readEntry(entryPath("5p21_del46-51.cif.gz"));
    const Entry noSequence = readEntryText(bare, "bare.pdb");
    for (const Entry* e : {&fromRemark, &fromCif}) {
        const LoopSelection s = selectLoop(*e, req("45", "52"));
        EXPECT_EQ(idsOf(s), "45 46* 47* 48* 49* 50* 51* 52");
        EXPECT_EQ(s.sequence(), "VIDGETCL");
        EXPECT_TRUE(s.hasMissing());
        EXPECT_EQ(e->chains[0].polymer[s.anchorBefore].id.num, 44);
        EXPECT_EQ(e->chains[0].polymer[s.anchorAfter].id.num, 53);
    }
    const LoopSelection given = selectLoop(noSequence, req("45", "52", "A", "VIDGETCL"));
    EXPECT_EQ(idsOf(given), "45 46* 47* 48* 49* 50* 51* 52");
    EXPECT_EQ(given.residues[3].name, "GLY");
    EXPECT_ERROR(selectLoop(noSequence, req("45", "52")), 1,
                 inOrder({"A45-A52", "missing from the coordinates", "give the loop's 8 residues with -seq"}));
    EXPECT_ERROR(selectLoop(fromRemark, req("45", "52", "", "VIDAETCL")), 2, inOrder({"letter 4 is A", "A48 is GLY", "entry's sequence"}));
    EXPECT_ERROR(selectLoop(fromRemark, req("45", "52", "", "AIDGETCL")), 2, inOrder({"letter 1 is A", "A45 is VAL", "coordinates"}));
}

TEST(LoopSelection, RefusalsNameTheResidue) {
    const Entry uyw = readEntry(entryPath("1uyw_HL.pdb.gz"));
    const Entry gou = readEntry(entryPath("1gou.pdb.gz"));
    const Entry p21 = readEntry(repoPath("examples/5p21.pdb"));
    const Entry del = readEntry(entryPath("5p21_del46-51.pdb.gz"));
    const std::string t = p21Text();
    const Entry noCA48 = readEntryText(withoutAtom(t, 48, "CA"), "noca.pdb");
    const Entry noCA53 = readEntryText(withoutAtom(t, 53, "CA"), "noca53.pdb");
    const Entry moved44 = readEntryText(shifted(t, 44, 5.0), "moved.pdb");
    const Entry sep48 = readEntryText(editLines(t,
                                                [](std::string& l) {
                                                    if (isAtom(l) && resNum(l) == 48) l = "HETATM" + l.substr(6, 11) + "SEP" + l.substr(20);
                                                }),
                                      "sep.pdb");
    struct Case {
        const Entry* entry;
        LoopRequest request;
        int status;
        std::vector<std::string> parts;
    };
    const Case cases[] = {
        {&uyw, req("97", "104"), 2, {"-start 97", "chains H, L", "-chain"}},
        {&gou, req("10", "15"), 2, {"chains A, B"}},
        {&gou, req("10", "15", "C"), 2, {"-chain C", "(chains: A, B)"}},
        {&gou, req("200", "205", "A"), 2, {"-start 200", "chain A has no residue 200"}},
        {&uyw, req("1", "213"), 2, {"different chains", "L1", "H213"}},
        {&p21, req("300", "305"), 2, {"-start 300", "no residue 300"}},
        {&p21, req("52", "45"), 2, {"A52 comes after A45"}},
        {&p21, req("45", "47"), 2, {"A45-A47 has 3 residues", "4 to 22"}},
        {&p21, req("10", "40"), 2, {"31 residues"}},
        {&p21, req("45", "52", "", "VIDGETC"), 2, {"-seq has 7 letters", "8 residues"}},
        {&p21, req("45", "52", "", "VIDGETCB"), 2, {"'B' (letter 8)"}},
        {&del, req("46", "51"), 1, {"loop start A46 (ILE) is missing"}},
        {&del, req("40", "48"), 1, {"loop end A48 (GLY) is missing"}},
        {&noCA48, req("45", "52"), 1, {"chain break inside the loop", "A47-A48", "A48 has no CA"}},
        {&noCA53, req("45", "52"), 1, {"anchor A53 has no CA"}},
        {&moved44, req("45", "52"), 1, {"chain break between the anchor and the loop start", "A44-A45", "C-N"}},
        {&moved44, req("40", "43"), 1, {"chain break between the loop end and the anchor", "A43-A44"}},
        {&sep48, req("45", "52"), 1, {"A48 (SEP) inside the loop is a modified amino acid"}},
        {&sep48, req("49", "55"), 1, {"anchor A48 (SEP) is a modified amino acid"}},
        {&sep48, req("41", "47"), 1, {"anchor A48 (SEP) is a modified amino acid"}},
        {&p21, req("1", "6"), 1, {"no residue before A1"}},
        {&p21, req("161", "166"), 1, {"no residue after A166"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.start + "-" + c.request.end + " " + c.entry->path);
        EXPECT_ERROR(selectLoop(*c.entry, c.request), c.status, inOrder(c.parts));
    }
    // Outside the loop a modified amino acid is only environment.
    EXPECT_EQ(selectLoop(sep48, req("55", "62")).residues.size(), 8u);
}
