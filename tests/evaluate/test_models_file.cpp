// The models file read back with gemmi: one model per conformation in rank
// order with its REMARK (PDB) or _lorvane_model row (mmCIF), each model's
// loop atom for atom the conformation its rank names, and everything else of
// the entry as read: other chains, ligands, waters, chain IDs, insertion codes.
#include <gemmi/cif.hpp>
#include <gemmi/mmcif.hpp>
#include <gemmi/pdb.hpp>

#include <cmath>
#include <map>

#include "evaluate/models_file.h"
#include "evaluate/ranking.h"
#include "model/entry.h"
#include "model/loop_selection.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

std::string entryPath(const std::string& name) { return sourcePath("tests/data/entries/" + name); }

// Conformation k of the loop: present residues moved by 0.2 k A along x (heavy
// atoms, as the program names them); missing ones get a backbone on the line
// between the anchors' C and N.
ResultConformation conformation(const Entry& entry, const LoopSelection& sel, int k) {
    const EntryChain& ch = entry.chains[sel.chain];
    const EntryAtom* c0 = ch.polymer[sel.anchorBefore].atom("C");
    const EntryAtom* n1 = ch.polymer[sel.anchorAfter].atom("N");
    ResultConformation c;
    c.scores = {double(-k), double(k % 3), 0.5 * k, 1.0};
    const int n = static_cast<int>(sel.residues.size());
    for (int i = 0; i < n; ++i) {
        const LoopResidue& lr = sel.residues[i];
        ResultResidue r{lr.name, lr.id.num, {}};
        if (lr.present >= 0) {
            for (const EntryAtom& a : ch.polymer[lr.present].atoms)
                if (!a.isHydrogen()) r.atoms.push_back({a.name, float(a.x + 0.2 * k), float(a.y), float(a.z)});
        } else {
            const char* names[] = {"N", "CA", "C", "O"};
            for (int j = 0; j < 4; ++j) {
                const double t = (i + (j + 1) / 5.0) / n;
                r.atoms.push_back({names[j], float(c0->x + t * (n1->x - c0->x) + 0.2 * k), float(c0->y + t * (n1->y - c0->y)),
                                   float(c0->z + t * (n1->z - c0->z))});
            }
        }
        c.residues.push_back(std::move(r));
    }
    return c;
}

gemmi::Structure readBack(const std::string& path, bool cif) {
    if (cif) return gemmi::make_structure(gemmi::cif::read_file(path));
    return gemmi::read_pdb_file(path);
}

bool inLoop(const LoopSelection& sel, const gemmi::SeqId& id) {
    for (const LoopResidue& r : sel.residues)
        if (*id.num == r.id.num && id.icode == r.id.icode) return true;
    return false;
}

// Atoms per chain outside the loop: (chain, residue, atom, altloc) -> position.
std::map<std::string, gemmi::Position> outside(const gemmi::Model& m, const std::string& loopChain, const LoopSelection& sel) {
    std::map<std::string, gemmi::Position> out;
    for (const gemmi::Chain& ch : m.chains)
        for (const gemmi::Residue& r : ch.residues) {
            if (ch.name == loopChain && r.het_flag != 'H' && inLoop(sel, r.seqid)) continue;
            for (const gemmi::Atom& a : r.atoms) out[ch.name + "/" + r.name + r.seqid.str() + "/" + a.name + a.altloc_or(' ')] = a.pos;
        }
    return out;
}

TEST(ModelsFile, ReadBackInRankOrderWithTheEntryKept) {
    struct Case {
        std::string file, chain, start, end, seq;
        int conformations, count;
        bool cif;
    };
    const std::vector<Case> cases = {
        {"1uyw_HL.pdb.gz", "H", "97", "104", "", 5, 3, false},     // two chains, insertion codes 100A-B in the loop
        {"1eb1.pdb.gz", "H", "57", "64", "", 4, 1, false},         // 60A-60I; one model is still MODEL 1 ... ENDMDL
        {"5p21.cif.gz", "A", "45", "52", "", 6, 4, true},          // mmCIF with GNP, Mg and waters
        {"5p21_del46-51.pdb.gz", "A", "45", "52", "", 3, 10, false},  // 46-51 missing: inserted; more asked than there are
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ScratchDir dir(true);
        const Entry entry = readEntry(entryPath(c.file));
        const LoopSelection sel = selectLoop(entry, {c.chain, c.start, c.end, c.seq});
        std::vector<ResultConformation> confs;
        for (int k = 0; k < c.conformations; ++k) confs.push_back(conformation(entry, sel, k));
        const std::vector<RankedConformation> ranked = rankResults(confs);
        const std::string path = modelsFilePath("run/m", entry.format);
        EXPECT_EQ(path, c.cif ? "run/m.models.cif" : "run/m.models.pdb");
        std::filesystem::create_directories("run");
        writeModelsFile(path, entry, sel, confs, ranked, c.count);

        const gemmi::Structure st = readBack(path, c.cif);
        const int n = std::min(c.count, c.conformations);
        ASSERT_EQ(static_cast<int>(st.models.size()), n);
        const std::string text = slurp(path);
        const std::map<std::string, gemmi::Position> before = outside(entry.structure.models[0], c.chain, sel);
        for (int r = 0; r < n; ++r) {
            const gemmi::Model& m = st.models[r];
            EXPECT_EQ(m.name, std::to_string(r + 1));
            const ResultConformation& want = confs[ranked[r].index - 1];
            // The loop: residues in order with their numbers and insertion codes, atoms as the conformation has them.
            const gemmi::Chain* ch = m.find_chain(c.chain);
            ASSERT_NE(ch, nullptr);
            std::vector<const gemmi::Residue*> loop;
            for (const gemmi::Residue& res : ch->residues)
                if (res.het_flag != 'H' && inLoop(sel, res.seqid)) loop.push_back(&res);
            ASSERT_EQ(loop.size(), sel.residues.size());
            for (size_t i = 0; i < loop.size(); ++i) {
                EXPECT_EQ(*loop[i]->seqid.num, sel.residues[i].id.num);
                EXPECT_EQ(loop[i]->seqid.icode, sel.residues[i].id.icode);
                EXPECT_EQ(loop[i]->name, want.residues[i].name);
                ASSERT_EQ(loop[i]->atoms.size(), want.residues[i].atoms.size()) << sel.residues[i].id.str();
                for (size_t j = 0; j < loop[i]->atoms.size(); ++j) {
                    const gemmi::Atom& got = loop[i]->atoms[j];
                    const ResultAtom& w = want.residues[i].atoms[j];
                    EXPECT_EQ(got.name, w.name);
                    EXPECT_EQ(got.element.uname(), std::string(1, w.name[0]));
                    EXPECT_LT(got.pos.dist(gemmi::Position(w.x, w.y, w.z)), 1e-3) << sel.residues[i].id.str() << " " << w.name;
                }
            }
            // Everything else as read.
            const std::map<std::string, gemmi::Position> after = outside(m, c.chain, sel);
            ASSERT_EQ(after.size(), before.size());
            for (const auto& [key, pos] : before) {
                auto it = after.find(key);
                ASSERT_NE(it, after.end()) << key;
                EXPECT_LT(it->second.dist(pos), 1e-3) << key;
            }
            // The model's rank, result-file index and scores.
            const std::string remark = "RANK " + std::to_string(r + 1) + " INDEX " + std::to_string(ranked[r].index) + " ";
            if (!c.cif) {
                const size_t model = text.find("MODEL " + std::string(8 - std::to_string(r + 1).size(), ' ') + std::to_string(r + 1));
                ASSERT_NE(model, std::string::npos);
                EXPECT_EQ(text.find("REMARK   6 LORVANE " + remark, model), text.find("\nREMARK", model) + 1) << "right after MODEL";
            }
        }
        if (c.cif) {
            const gemmi::cif::Document doc = gemmi::cif::read_file(path);
            gemmi::cif::Table t = const_cast<gemmi::cif::Block&>(doc.blocks[0]).find("_lorvane_model.", {"pdbx_PDB_model_num", "rank", "result_index"});
            ASSERT_EQ(static_cast<int>(t.length()), n);
            for (int r = 0; r < n; ++r) {
                EXPECT_EQ(t[r][0], std::to_string(r + 1));
                EXPECT_EQ(t[r][2], std::to_string(ranked[r].index));
            }
        } else {
            EXPECT_EQ(text.find("REMARK 465     GLY A    48"), std::string::npos) << "no residue of the loop is listed as missing";
            for (const std::string& l : lines(text)) {  // full records, element symbols included
                if (l.rfind("ATOM", 0) == 0 || l.rfind("HETATM", 0) == 0 || l.rfind("MODEL", 0) == 0 || l.rfind("REMARK   6", 0) == 0) {
                    EXPECT_EQ(l.size(), 80u) << l;
                }
            }
        }
    }
}

TEST(ModelsFile, AConformationOfAnotherLoopIsRefused) {
    const Entry entry = readEntry(entryPath("5p21.ent.gz"));
    const LoopSelection sel = selectLoop(entry, {"A", "45", "52", ""});
    ResultConformation c = conformation(entry, sel, 1);
    ResultConformation shorter = c;
    shorter.residues.pop_back();
    EXPECT_ERROR(modelWithLoop(entry, sel, shorter), 1, "7 residues does not fit the loop A45-A52 of 8");
    c.residues[2].name = "ALA";
    EXPECT_ERROR(modelWithLoop(entry, sel, c), 1, "residue 3 of a conformation is ALA, but A47 .* is ASP");
}

}  // namespace
