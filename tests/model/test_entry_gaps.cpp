// Gaps of real and derived entries, the loop chosen for each and the table of `-mode gaps`.
#include <array>
#include <cmath>
#include <map>

#include "model/entry_gaps.h"
#include "model/entry_support.h"

using namespace lorvane;
using namespace entry_test;

namespace {

// The table without its header, with the entry's path shortened to FILE.
std::string rows(const Entry& e) {
    std::string t = gapsTable(findGaps(e));
    t = t.substr(t.find('\n') + 1);
    for (size_t p; (p = t.find(e.path)) != std::string::npos;) t.replace(p, e.path.size(), "FILE");
    return t;
}

}  // namespace

TEST(EntryGaps, TableOfDerivedAndRealEntries) {
    const std::string del = fileText(entryPath("5p21_del46-51.pdb.gz"));
    const std::string header = "chain\tfirst\tlast\tlength\tsequence\tmodellable\tcommand\n";
    EXPECT_EQ(gapsTable(findGaps(readEntry(repoPath("examples/5p21.pdb")))), header);
    struct Case {
        std::string what;
        Entry entry;
        std::string rows;
    };
    const Case cases[] = {
        {"REMARK 465", readEntry(entryPath("5p21_del46-51.pdb.gz")),
         "A\t46\t51\t6\tIDGETC\tyes\tlorvane -f FILE -chain A -start 45 -end 52\n"},
        {"mmCIF", readEntry(entryPath("5p21_del46-51.cif.gz")), "A\t46\t51\t6\tIDGETC\tyes\tlorvane -f FILE -chain A -start 45 -end 52\n"},
        {"numbering only", readEntryText(withoutRecords(withoutRecords(del, "REMARK 465"), "SEQRES"), "bare.pdb"),
         "A\t46\t51\t6\t??????\tyes\tlorvane -f FILE -chain A -start 45 -end 52 -seq V??????L\n"},
        // Real training entries (tests/data/train_subset): eight missing, three missing.
        {"5fbm", readEntry(repoPath("tests/data/train_subset/5fbm.pdb.gz")),
         "A\t61\t68\t8\t????????\tyes\tlorvane -f FILE -chain A -start 60 -end 69 -seq K????????E\n"},
        {"2xv6", readEntry(repoPath("tests/data/train_subset/2xv6.pdb.gz")),
         "C\t206\t208\t3\t???\tyes\tlorvane -f FILE -chain C -start 205 -end 209 -seq L???A\n"},
        // One missing residue: the loop is widened to four on the right; two gaps one residue apart make one loop.
        {"4xvv", readEntry(repoPath("tests/data/train_subset/4xvv.pdb.gz")),
         "A\t34\t34\t1\t?\tyes\tlorvane -f FILE -chain A -start 33 -end 36 -seq N?TC\n"
         "A\t40\t40\t1\t?\tyes\tlorvane -f FILE -chain A -start 39 -end 43 -seq F?D?N\n"
         "A\t42\t42\t1\t?\tyes\tlorvane -f FILE -chain A -start 39 -end 43 -seq F?D?N\n"
         "A\t47\t47\t1\t?\tyes\tlorvane -f FILE -chain A -start 46 -end 49 -seq S?TP\n"
         "A\t80\t80\t1\t?\tyes\tlorvane -f FILE -chain A -start 79 -end 82 -seq K?LQ\n"},
        // Next to the first residue there is no anchor; near the last one the loop widens to the left.
        {"3u97", readEntry(repoPath("tests/data/train_subset/3u97.pdb.gz")),
         "A\t1\t1\t1\t?\tno (no residue before A0 to anchor the loop)\t-\n"
         "A\t43\t43\t1\t?\tyes\tlorvane -f FILE -chain A -start 42 -end 45 -seq L?AI\n"
         "A\t71\t71\t1\t?\tyes\tlorvane -f FILE -chain A -start 70 -end 73 -seq S?RS\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rows(c.entry), c.rows);
    }
    const std::vector<Gap> g = findGaps(readEntry(repoPath("tests/data/train_subset/2zpm.pdb.gz")));
    ASSERT_EQ(g.size(), 7u);
    EXPECT_NE(g.back().command.find("-start 305 -end 308"), std::string::npos) << g.back().command;  // A309 ends the chain
}

TEST(EntryGaps, TailsBreaksAndLimits) {
    const std::string t = p21Text();
    // Residues 1-2 and 165-166 missing, announced by REMARK 465: tails.
    const std::string tails =
        "REMARK 465   M RES C SSSEQI\nREMARK 465     MET A     1\nREMARK 465     THR A     2\n"
        "REMARK 465     GLY A   165\nREMARK 465     HIS A   166\n" +
        editLines(t, [](std::string& l) {
            if (l.compare(0, 4, "ATOM") == 0 && (resNum(l) <= 2 || resNum(l) >= 165)) l.clear();
        });
    // Thirty residues missing (SEQRES gives them): too long.
    const std::string longGap = editLines(t, [](std::string& l) {
        if (l.compare(0, 4, "ATOM") == 0 && resNum(l) >= 60 && resNum(l) <= 89) l.clear();
    });
    // A break with consecutive numbers: nothing missing. The C-N distances, measured on the text.
    const std::string stretched = shifted(t, 100, 5.0);
    std::map<std::string, std::array<double, 3>> at;
    editLines(stretched, [&](std::string& l) {
        if (l.compare(0, 4, "ATOM") == 0 && (resNum(l) >= 99 && resNum(l) <= 101))
            at[std::to_string(resNum(l)) + atomName(l)] = {std::atof(l.substr(30, 8).c_str()), std::atof(l.substr(38, 8).c_str()),
                                                           std::atof(l.substr(46, 8).c_str())};
    });
    auto cn = [&](int r) {
        const auto& c = at[std::to_string(r) + "C"];
        const auto& n = at[std::to_string(r + 1) + "N"];
        char buf[64];
        std::snprintf(buf, sizeof buf, "C-N %.2f A",
                      std::sqrt(std::pow(c[0] - n[0], 2) + std::pow(c[1] - n[1], 2) + std::pow(c[2] - n[2], 2)));
        return std::string(buf);
    };
    // A break between insertion codes: how many are missing is unknown.
    const std::string codes = editLines(fileText(entryPath("1eb1.pdb.gz")), [](std::string& l) {
        if (isAtom(l) && resNum(l) == 60 && l[26] >= 'B' && l[26] <= 'H') l.clear();
    });
    struct Case {
        std::string what, text, rows;
    };
    const Case cases[] = {
        {"tails", tails, "A\t1\t2\t2\tMT\tno (terminal)\t-\nA\t165\t166\t2\tGH\tno (terminal)\t-\n"},
        {"too long", longGap, "A\t60\t89\t30\tGQEEYSAMRDQYMRTGEGFLCVFAINNTKS\tno (loop of 32 residues; the program models 4 to 22)\t-\n"},
        {"stretched", stretched,
         "A\t-\t-\t0\t-\tno (chain break without missing residues: " + cn(99) + ")\t-\n" +
             "A\t-\t-\t0\t-\tno (chain break without missing residues: " + cn(100) + ")\t-\n"},
        {"insertion codes", codes, "H\t?\t?\t?\t?\tno (number of missing residues unknown)\t-\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rows(readEntryText(c.text, c.what == "insertion codes" ? "x.pdb" : "5p21.pdb")), c.rows);
    }
}
