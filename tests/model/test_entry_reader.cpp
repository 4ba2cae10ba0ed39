// Entry reader: formats, insertion codes, chains, residue kinds, MSE, conformer
// choice, residue numbers past 9999, chain breaks and missing residues.
#include <cmath>
#include <random>

#include "model/entry_gaps.h"
#include "model/entry_support.h"
#include "model/hetero_atoms.h"
#include "model/loop_selection.h"

using namespace lorvane;
using namespace entry_test;

namespace {

// One ATOM/HETATM record; num5 is columns 23-27 (number and insertion code) as written.
std::string record(const char* rec, const std::string& name4, const std::string& res, const std::string& num5, double x, double y,
                   char alt = ' ', double occ = 1.0, const std::string& element = "") {
    static int serial = 0;  // record numbers play no part in reading
    char buf[96];
    std::snprintf(buf, sizeof buf, "%-6s%5d %-4s%c%-3s A%-5s   %8.3f%8.3f%8.3f%6.2f%6.2f          %2s", rec, ++serial % 100000,
                  name4.c_str(), alt, res.c_str(), num5.c_str(), x, y, 0.0, occ, 20.0,
                  (element.empty() ? name4.substr(1, 1) : element).c_str());
    return std::string(buf) + "\n";
}

// A bonded backbone N, CA, C, O of one residue, k-th along x (C-N 1.39 A to the next).
std::string backbone(const std::string& res, const std::string& num5, int k, char alt = ' ', double occ = 1.0) {
    const double x = 3.8 * k;
    return record("ATOM", " N  ", res, num5, x, 0, alt, occ) + record("ATOM", " CA ", res, num5, x + 1.46, 0, alt, occ) +
           record("ATOM", " C  ", res, num5, x + 2.5, 0.5, alt, occ) + record("ATOM", " O  ", res, num5, x + 2.5, 1.7, alt, occ);
}

std::vector<std::string> ids(const EntryChain& ch) {
    std::vector<std::string> out;
    for (const SequenceResidue& s : ch.sequence) out.push_back(s.idKnown ? s.id.str() : "?");
    return out;
}

std::string names(const EntryChain& ch, int from, int to) {
    std::string out;
    for (int k = from; k <= to; ++k) out += (k > from ? " " : "") + ch.sequence[k].name;
    return out;
}

void expectSameEntry(const Entry& a, const Entry& b) {
    ASSERT_EQ(a.chains.size(), b.chains.size());
    for (size_t c = 0; c < a.chains.size(); ++c) {
        const EntryChain& x = a.chains[c];
        const EntryChain& y = b.chains[c];
        EXPECT_EQ(x.id, y.id);
        EXPECT_EQ(x.sequenceSource, y.sequenceSource);
        ASSERT_EQ(x.sequence.size(), y.sequence.size());
        for (size_t k = 0; k < x.sequence.size(); ++k) {
            EXPECT_EQ(x.sequence[k].name, y.sequence[k].name) << k;
            EXPECT_EQ(x.sequence[k].id, y.sequence[k].id) << k;
            EXPECT_EQ(x.sequence[k].present, y.sequence[k].present) << k;
        }
        ASSERT_EQ(x.breaks.size(), y.breaks.size());
        for (size_t k = 0; k < x.breaks.size(); ++k) EXPECT_EQ(x.breaks[k].reason, y.breaks[k].reason);
        for (auto lists : {std::make_pair(&x.polymer, &y.polymer), std::make_pair(&x.others, &y.others)}) {
            ASSERT_EQ(lists.first->size(), lists.second->size());
            for (size_t r = 0; r < lists.first->size(); ++r) {
                const EntryResidue& p = (*lists.first)[r];
                const EntryResidue& q = (*lists.second)[r];
                EXPECT_EQ(p.name, q.name);
                EXPECT_EQ(p.id, q.id);
                EXPECT_EQ(p.kind, q.kind);
                ASSERT_EQ(p.atoms.size(), q.atoms.size()) << x.label(p.id);
                for (size_t i = 0; i < p.atoms.size(); ++i) {
                    EXPECT_EQ(p.atoms[i].name, q.atoms[i].name);
                    EXPECT_EQ(p.atoms[i].element, q.atoms[i].element);
                    EXPECT_NEAR(p.atoms[i].x, q.atoms[i].x, 5e-4);
                    EXPECT_NEAR(p.atoms[i].y, q.atoms[i].y, 5e-4);
                    EXPECT_NEAR(p.atoms[i].z, q.atoms[i].z, 5e-4);
                    EXPECT_NEAR(p.atoms[i].occupancy, q.atoms[i].occupancy, 5e-3);
                    EXPECT_NEAR(p.atoms[i].bFactor, q.atoms[i].bFactor, 5e-3);
                }
            }
        }
    }
}

}  // namespace

TEST(EntryReader, FormatsChainsAndKinds) {
    struct Case {
        std::string file;
        std::string chains;  // chain: polymer/others, ...
        SequenceSource source;
    };
    const Case cases[] = {
        {repoPath("examples/5p21.pdb"), "A:166/213", SequenceSource::FullSequence},  // 211 waters, GNP, MG
        {entryPath("5p21.ent.gz"), "A:166/213", SequenceSource::FullSequence},
        {entryPath("5p21.cif.gz"), "A:166/213", SequenceSource::FullSequence},
        {entryPath("5p21_mse.pdb.gz"), "A:166/213", SequenceSource::FullSequence},
        {entryPath("5p21_del46-51.pdb.gz"), "A:160/213", SequenceSource::MissingList},
        {entryPath("5p21_del46-51.cif.gz"), "A:160/213", SequenceSource::MissingList},
        {entryPath("1eb1.pdb.gz"), "H:257/0", SequenceSource::None},
        {entryPath("1gou.pdb.gz"), "A:109/0 B:109/0", SequenceSource::None},
        {entryPath("1uyw_HL.pdb.gz"), "H:218/0 L:212/0", SequenceSource::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Entry e = readEntry(c.file);
        std::string got;
        for (const EntryChain& ch : e.chains) {
            got += (got.empty() ? "" : " ") + ch.id + ":" + std::to_string(ch.polymer.size()) + "/" + std::to_string(ch.others.size());
            EXPECT_EQ(ch.sequenceSource, c.source);
            for (const EntryResidue& r : ch.polymer) EXPECT_EQ(r.kind, ResidueKind::Standard) << ch.label(r.id);
        }
        EXPECT_EQ(got, c.chains);
        EXPECT_EQ(e.structure.models.size(), 1u);
        // Every residue and atom points at its record in the kept gemmi structure (for writing back).
        for (const EntryChain& ch : e.chains)
            for (const auto* list : {&ch.polymer, &ch.others})
                for (const EntryResidue& r : *list) {
                    const gemmi::Residue& g = e.structure.models[0].chains.at(r.gemmiChain).residues.at(r.gemmiResidue);
                    EXPECT_EQ(g.name, r.fileName);
                    EXPECT_EQ(*g.seqid.num, r.id.num);
                    EXPECT_EQ(g.seqid.icode, r.id.icode);
                    for (const EntryAtom& a : r.atoms) EXPECT_EQ(g.atoms.at(a.gemmiAtom).name, a.fileName);
                }
    }
    const Entry p21 = readEntry(repoPath("examples/5p21.pdb"));
    int water = 0;
    for (const EntryResidue& r : p21.chains[0].others) water += r.kind == ResidueKind::Water;
    EXPECT_EQ(water, 211);
    EXPECT_EQ(p21.chains[0].others[0].name, "MG");  // file order: MG 168 comes before GNP 167
    EXPECT_EQ(p21.chains[0].others[1].name, "GNP");
    EXPECT_EQ(p21.chains[0].others[1].atoms.size(), 32u);
    EXPECT_EQ(p21.chains[0].others[1].kind, ResidueKind::Hetero);
}

TEST(EntryReader, InsertionCodeResiduesAreResiduesInFileOrder) {
    const Entry e = readEntry(entryPath("1eb1.pdb.gz"));
    const EntryChain& h = e.chains[0];
    int withCode = 0;
    for (const EntryResidue& r : h.polymer) withCode += r.id.icode != ' ';
    EXPECT_EQ(withCode, 28);
    const std::vector<std::string> all = ids(h);
    const auto from = std::find(all.begin(), all.end(), "57"), to = std::find(all.begin(), all.end(), "64");
    const std::vector<std::string> loop(from, to + 1);
    EXPECT_EQ(loop, (std::vector<std::string>{"57", "58", "59", "60", "60A", "60B", "60C", "60D", "60E", "60F", "60G", "60H", "60I", "61",
                                              "62", "63", "64"}));
    // 217 is followed by 219 (chymotrypsin numbering) but the backbone is bonded: no break, nothing missing.
    EXPECT_TRUE(h.breaks.empty());
    EXPECT_EQ(h.sequence.size(), h.polymer.size());
}

TEST(EntryReader, PdbAndMmcifOfOneEntryGiveTheSameEntry) {
    expectSameEntry(readEntry(repoPath("examples/5p21.pdb")), readEntry(entryPath("5p21.cif.gz")));
    expectSameEntry(readEntry(repoPath("examples/5p21.pdb")), readEntry(entryPath("5p21.ent.gz")));
    expectSameEntry(readEntry(entryPath("5p21_del46-51.pdb.gz")), readEntry(entryPath("5p21_del46-51.cif.gz")));
}

TEST(EntryReader, SelenomethionineReadsAsMethionine) {
    const Entry plain = readEntry(repoPath("examples/5p21.pdb"));
    const Entry mse = readEntry(entryPath("5p21_mse.pdb.gz"));
    const EntryChain& a = plain.chains[0];
    const EntryChain& b = mse.chains[0];
    ASSERT_EQ(a.polymer.size(), b.polymer.size());
    int count = 0;
    for (size_t i = 0; i < a.polymer.size(); ++i) {
        const EntryResidue& r = b.polymer[i];
        EXPECT_EQ(r.name, a.polymer[i].name);
        if (r.fileName != "MSE") continue;
        ++count;
        EXPECT_EQ(r.name, "MET");
        EXPECT_EQ(r.kind, ResidueKind::Standard);
        const EntryAtom* sd = r.atom("SD");
        ASSERT_NE(sd, nullptr) << b.label(r.id);
        EXPECT_EQ(sd->fileName, "SE");
        EXPECT_EQ(sd->element, "SE");
        EXPECT_DOUBLE_EQ(sd->x, a.polymer[i].atom("SD")->x);
        EXPECT_EQ(r.atoms.size(), a.polymer[i].atoms.size());
    }
    EXPECT_EQ(count, 4);  // M1, M67, M72, M111
    EXPECT_EQ(names(b, 0, 0), "MET");
}

TEST(EntryReader, OneConformerPerResidue) {
    std::string t = backbone("SER", "1", 0);
    // Residue 1: B has the higher occupancy.
    t += record("ATOM", " CB ", "SER", "1", 1.0, -1.0, 'A', 0.40) + record("ATOM", " CB ", "SER", "1", 1.2, -1.2, 'B', 0.60);
    t += record("ATOM", " OG ", "SER", "1", 0.5, -2.0, 'A', 0.40) + record("ATOM", " OG ", "SER", "1", 2.0, -2.0, 'B', 0.60);
    // Residue 2: a tie keeps the conformer met first (A); residue 3 lists B first.
    t += backbone("SER", "2", 1) + record("ATOM", " CB ", "SER", "2", 4.8, -1.0, 'A', 0.5) +
         record("ATOM", " CB ", "SER", "2", 5.0, -1.2, 'B', 0.5);
    t += backbone("SER", "3", 2) + record("ATOM", " CB ", "SER", "3", 8.6, -1.2, 'B', 0.5) +
         record("ATOM", " CB ", "SER", "3", 8.8, -1.0, 'A', 0.5);
    // Residue 4: two amino acids at one position; THR is better occupied.
    t += backbone("SER", "4", 3, 'A', 0.3) + backbone("THR", "4", 3, 'B', 0.7) + "TER\nEND\n";
    const Entry e = readEntryText(t, "altloc.pdb");
    const EntryChain& ch = e.chains[0];
    ASSERT_EQ(ch.polymer.size(), 4u);
    EXPECT_EQ(ch.polymer[0].altloc, 'B');
    EXPECT_DOUBLE_EQ(ch.polymer[0].atom("CB")->x, 1.2);
    EXPECT_DOUBLE_EQ(ch.polymer[0].atom("OG")->x, 2.0);
    EXPECT_EQ(ch.polymer[0].atoms.size(), 6u);  // blank-location backbone kept
    EXPECT_EQ(ch.polymer[1].altloc, 'A');
    EXPECT_EQ(ch.polymer[2].altloc, 'B');
    EXPECT_EQ(ch.polymer[3].name, "THR");
    EXPECT_EQ(ch.polymer[3].atoms.size(), 4u);
    ASSERT_EQ(e.notes.size(), 1u);
    EXPECT_NE(e.notes[0].find("THR is kept"), std::string::npos) << e.notes[0];
    EXPECT_TRUE(ch.breaks.empty());
}

TEST(EntryReader, ResidueNumbersPastFourDigits) {
    struct Case {
        std::vector<std::string> fields;  // columns 23-27 of consecutive residues
        std::vector<std::string> ids;
    };
    const Case cases[] = {
        {{"9998 ", "9999 ", "10000", "10001"}, {"9998", "9999", "10000", "10001"}},    // five digits spill into column 27
        {{"9999 ", "A000 ", "A001 ", "A00AB"}, {"9999", "10000", "10001", "10010B"}},  // hybrid-36, then with an insertion code
        {{"-1000", " -999", " -998"}, {"-1000", "-999", "-998"}},
        {{"1000A", "1000B", " 999 "}, {"1000A", "1000B", "999"}},  // letters stay insertion codes
    };
    for (const Case& c : cases) {
        std::string t;
        for (size_t k = 0; k < c.fields.size(); ++k) t += backbone("GLY", c.fields[k], static_cast<int>(k));
        const Entry e = readEntryText(t, "numbers.pdb");
        EXPECT_EQ(ids(e.chains[0]), c.ids) << c.fields[0];
        EXPECT_EQ(e.structure.models[0].chains[0].residues.back().seqid.str(), c.ids.back());  // the kept structure agrees
        EXPECT_TRUE(e.chains[0].breaks.empty());
    }
    const std::string ok = backbone("GLY", "9999 ", 0);
    EXPECT_ERROR(readEntryText(ok + backbone("GLY", "a000 ", 1), "x.pdb"), 1, inOrder({"x.pdb line 5", "'a000'", "hybrid-36"}));
    EXPECT_ERROR(readEntryText(ok + backbone("GLY", "12-4 ", 1), "x.pdb"), 1, inOrder({"x.pdb line 5", "'12-4'", "not a number"}));
    EXPECT_ERROR(readEntryText(ok + backbone("GLY", "     ", 1), "x.pdb"), 1, inOrder({"line 5", "not a number"}));
}

TEST(EntryReader, ChainBreaksByGeometry) {
    const std::string p21 = p21Text();
    struct Case {
        std::string text;
        std::vector<std::string> breaks;  // "after: reason"
    };
    const Case cases[] = {
        {p21, {}},
        {withoutAtom(p21, 100, "CA"), {"A99: A100 has no CA", "A100: A100 has no CA"}},
        {withoutAtom(p21, 100, "N"), {"A99: A100 has no N"}},
        {withoutAtom(p21, 100, "C"), {"A100: A100 has no C"}},
        {shifted(p21, 100, 5.0), {"A99: C-N", "A100: C-N"}},  // bonds stretched past 2.0 A on both sides
        {shifted(p21, 100, 0.3), {}},                         // 1.33 A moved by 0.3 A stays a bond
        {fileText(entryPath("5p21_del46-51.pdb.gz")), {"A45: C-N 8.19 A"}},
    };
    for (const Case& c : cases) {
        const Entry chEntry = readEntryText(c.text, "5p21.pdb");
        const EntryChain& ch = chEntry.chains[0];
        std::vector<std::string> got;
        for (const ChainBreak& b : ch.breaks) {
            const std::string s = ch.label(ch.polymer[b.before].id) + ": " + b.reason;
            got.push_back(s.substr(0, s.find("C-N") == std::string::npos ? s.size() : s.find("C-N") + 3));
        }
        std::vector<std::string> want;
        for (const std::string& w : c.breaks)
            want.push_back(w.substr(0, w.find("C-N") == std::string::npos ? w.size() : w.find("C-N") + 3));
        EXPECT_EQ(got, want);
    }
    const Entry delEntry = readEntry(entryPath("5p21_del46-51.pdb.gz"));
    const EntryChain& del = delEntry.chains[0];
    ASSERT_EQ(del.breaks.size(), 1u);
    EXPECT_NEAR(del.breaks[0].cn, 8.19, 0.005);
    EXPECT_EQ(del.breakAfter(44), &del.breaks[0]);
    EXPECT_EQ(del.breakAfter(45), nullptr);
}

TEST(EntryReader, MissingResiduesFromEachSource) {
    const std::string pdb = fileText(entryPath("5p21_del46-51.pdb.gz"));
    const std::string cif = fileText(entryPath("5p21_del46-51.cif.gz"));
    const std::string noUnobs = cif.substr(0, cif.find("loop_\n_pdbx_unobs_or_zero_occ_residues"));
    struct Case {
        std::string what, text, name;
        SequenceSource source;
        std::string missingNames;
    };
    const Case cases[] = {
        {"REMARK 465", pdb, "x.pdb", SequenceSource::MissingList, "ILE ASP GLY GLU THR CYS"},
        {"_pdbx_unobs_or_zero_occ_residues", cif, "x.cif", SequenceSource::MissingList, "ILE ASP GLY GLU THR CYS"},
        {"SEQRES aligned", withoutRecords(pdb, "REMARK 465"), "x.pdb", SequenceSource::FullSequence, "ILE ASP GLY GLU THR CYS"},
        {"_entity_poly_seq", noUnobs, "x.cif", SequenceSource::FullSequence, "ILE ASP GLY GLU THR CYS"},
        {"numbering only", withoutRecords(withoutRecords(pdb, "REMARK 465"), "SEQRES"), "x.pdb", SequenceSource::None, "     "},
        {"REMARK 465 of model 1 of 2", editLines(pdb, [](std::string& l) {
             if (l.compare(0, 15, "REMARK 465     ") == 0 && l.size() > 18 && l[15] != ' ') l = "REMARK 465   1" + l.substr(14) + "\nREMARK 465   2 GLY A    60";
         }), "x.pdb", SequenceSource::MissingList, "ILE ASP GLY GLU THR CYS"},
        {"REMARK 465 for every model", editLines(pdb, [](std::string& l) {
             if (l.compare(0, 27, "REMARK 465   M RES C SSSEQI") == 0) l = "REMARK 465     RES C SSSEQI";
         }), "x.pdb", SequenceSource::MissingList, "ILE ASP GLY GLU THR CYS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Entry chEntry = readEntryText(c.text, c.name);
        const EntryChain& ch = chEntry.chains[0];
        EXPECT_TRUE(chEntry.notes.empty()) << chEntry.notes[0];  // model 2's residue A60 is not taken
        EXPECT_EQ(ch.sequenceSource, c.source);
        ASSERT_EQ(ch.sequence.size(), 166u);
        EXPECT_EQ(names(ch, 45, 50), c.missingNames);
        for (int k = 0; k < 166; ++k) {
            EXPECT_EQ(ch.sequence[k].present < 0, k >= 45 && k <= 50) << k;
            EXPECT_TRUE(ch.sequence[k].idKnown);
            EXPECT_EQ(ch.sequence[k].id, (ResidueId{k + 1, ' '})) << k;
        }
    }
    // SEQRES whose gap does not fit the numbering: names known, numbers not.
    const std::string renumbered = editLines(withoutRecords(pdb, "REMARK 465"), [](std::string& l) {
        if (isAtom(l) && resNum(l) >= 52 && resNum(l) < 167) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%4d", resNum(l) + 10);
            l.replace(22, 4, buf);
        }
    });
    const Entry chEntry = readEntryText(renumbered, "x.pdb");
    const EntryChain& ch = chEntry.chains[0];
    EXPECT_EQ(names(ch, 45, 50), "ILE ASP GLY GLU THR CYS");
    EXPECT_FALSE(ch.sequence[45].idKnown);
    EXPECT_EQ(ch.sequence[51].id.num, 62);
}

TEST(EntryReader, ListedResiduesFollowTheInsertionCodeDirection) {
    // Thrombin-like numbering 1C 1B 1A 1 2: missing 1E 1D belong before 1C, missing 3 after 2.
    std::string t = "REMARK 465   M RES C SSSEQI\nREMARK 465     GLY A     1E\nREMARK 465     ALA A     1D\nREMARK 465     SER A     3 \n";
    int k = 0;
    for (const char* f : {"   1C", "   1B", "   1A", "   1 ", "   2 "}) t += backbone("GLY", f, k++);
    const Entry chEntry = readEntryText(t, "t.pdb");
    const EntryChain& ch = chEntry.chains[0];
    EXPECT_EQ(ids(ch), (std::vector<std::string>{"1E", "1D", "1C", "1B", "1A", "1", "2", "3"}));
    EXPECT_EQ(names(ch, 0, 1), "GLY ALA");
    EXPECT_EQ(ch.sequence[7].present, -1);
}

TEST(EntryReader, BadInputsAreNamed) {
    EXPECT_ERROR(readEntry("/nonexistent/x.pdb"), 1, inOrder({"cannot open /nonexistent/x.pdb"}));
    EXPECT_ERROR(readEntryText("", "e.pdb"), 1, inOrder({"e.pdb is empty"}));
    EXPECT_ERROR(readEntryText("HEADER    NOTHING\nEND\n", "h.pdb"), 1, inOrder({"h.pdb has no atoms"}));
    EXPECT_ERROR(readEntryText("data_x\nloop_\n_atom_site.id\n'unterminated\n", "bad.cif"), 1, inOrder({"bad.cif"}));
    // A listed residue that has coordinates is a note, not a duplicate.
    const Entry e = readEntryText("REMARK 465   M RES C SSSEQI\nREMARK 465     VAL A    45\n" + p21Text(), "5p21.pdb");
    EXPECT_EQ(e.chains[0].sequence.size(), 166u);
    ASSERT_FALSE(e.notes.empty());
    EXPECT_NE(e.notes[0].find("A45 is listed as missing but has coordinates"), std::string::npos) << e.notes[0];
}

TEST(EntryReader, DamagedFilesFailCleanly) {
    // Random damage to the records of a real entry: reading either succeeds or
    // names the problem; what was read can be listed, selected and typed.
    const std::string base = p21Text().substr(0, 60000);  // header, SEQRES and the first residues
    std::mt19937 rng(20261206);
    int failures = 0;
    for (int trial = 0; trial < 150; ++trial) {
        std::string t = base;
        for (int k = 0; k < 6; ++k) {
            const size_t at = rng() % t.size();
            switch (rng() % 4) {
                case 0: t[at] = static_cast<char>(32 + rng() % 95); break;      // a printable character
                case 1: t.erase(at, rng() % 40); break;                         // a cut
                case 2: t.insert(at, std::string(1 + rng() % 3, '\n')); break;  // broken lines
                default: t[at] = "0123456789ABab-"[rng() % 15]; break;          // number-like damage
            }
        }
        try {
            const Entry e = readEntryText(t, trial % 2 ? "damaged.pdb" : "damaged.ent");
            findGaps(e);
            environmentAtoms(e, true);
            try {
                selectLoop(e, {"", "45", "52", ""});
            } catch (const Error&) {
            }
        } catch (const Error& e) {
            ++failures;
            EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("damaged"), std::string::npos) << e.what();
        }
    }
    EXPECT_LT(failures, 150);
}
