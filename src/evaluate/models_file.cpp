// gemmi's writers are compiled here, once for the program. Debian's gemmi-dev
// leaves out the bundled stb_sprintf; the C library's snprintf formats alike
// (the program runs in the C locale).
#define GEMMI_WRITE_IMPLEMENTATION
#define USE_STD_SNPRINTF
#include "evaluate/models_file.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-truncation"  // gemmi's fixed-width records
#include <gemmi/to_cif.hpp>
#include <gemmi/to_mmcif.hpp>
#include <gemmi/to_pdb.hpp>
#pragma GCC diagnostic pop

#include "model/error.h"

namespace lorvane {

std::string modelsFilePath(const std::string& prefix, EntryFormat format) {
    return prefix + (format == EntryFormat::MmCif ? ".models.cif" : ".models.pdb");
}

namespace {

gemmi::Residue loopResidue(const gemmi::Residue& from, const LoopResidue& lr, const ResultResidue& rr) {
    gemmi::Residue res = from;
    res.atoms.clear();
    res.name = rr.name;
    res.seqid = gemmi::SeqId(lr.id.num, lr.id.icode);
    res.het_flag = 'A';
    for (const ResultAtom& ra : rr.atoms) {
        gemmi::Atom a;
        a.name = ra.name;
        // The loop's atoms are the 20 amino acids' heavy atoms: N, C, O, S.
        a.element = gemmi::Element(std::string(1, ra.name.empty() ? 'X' : ra.name[0]));
        a.pos = gemmi::Position(ra.x, ra.y, ra.z);
        a.occ = 1.0f;
        a.b_iso = 0.0f;
        res.atoms.push_back(std::move(a));
    }
    return res;
}

bool inLoop(const LoopSelection& loop, const gemmi::SeqId& id) {
    for (const LoopResidue& r : loop.residues)
        if (id.num.has_value() && *id.num == r.id.num && id.icode == r.id.icode) return true;
    return false;
}

// REMARK 465 (missing residues) and 470 (missing atoms) lines about loop
// residues: the models have them all.
bool remarkAboutLoop(const std::string& line, const std::string& chain, const LoopSelection& loop) {
    if (line.compare(0, 10, "REMARK 465") != 0 && line.compare(0, 10, "REMARK 470") != 0) return false;
    std::istringstream in(line.substr(10));
    std::string name, ch, num;
    if (!(in >> name >> ch >> num) || name.size() != 3 || ch != chain) return false;
    try {
        const ResidueId id = parseResidueId(num, "");
        return inLoop(loop, gemmi::SeqId(id.num, id.icode));
    } catch (const Error&) {
        return false;
    }
}

std::string pdbLine(const std::string& text) {
    std::string s = text.substr(0, 80);
    s.resize(80, ' ');
    return s + "\n";
}

std::string fixed(double v, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return buf;
}

// The PDB text gemmi writes, with every model opened by MODEL and its REMARK
// lines (gemmi writes no MODEL record for a single model).
std::string withModelRemarks(const std::string& text, const std::vector<std::string>& remarks) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    auto isAtomLine = [](const std::string& l) {
        return l.compare(0, 6, "ATOM  ") == 0 || l.compare(0, 6, "HETATM") == 0 || l.compare(0, 6, "ANISOU") == 0 || l.compare(0, 3, "TER") == 0;
    };
    bool hasModel = false;
    for (const std::string& l : lines) hasModel = hasModel || l.compare(0, 6, "MODEL ") == 0;
    std::string out;
    size_t model = 0;
    bool opened = false;
    size_t lastAtom = 0;
    for (size_t k = 0; k < lines.size(); ++k)
        if (isAtomLine(lines[k])) lastAtom = k;
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string& l = lines[k];
        if (!hasModel && !opened && isAtomLine(l)) {
            out += pdbLine("MODEL        1");
            out += remarks.at(model++);
            opened = true;
        }
        out += l + "\n";
        if (hasModel && l.compare(0, 6, "MODEL ") == 0) out += remarks.at(model++);
        if (!hasModel && opened && k == lastAtom) out += pdbLine("ENDMDL");
    }
    return out;
}

}  // namespace

gemmi::Model modelWithLoop(const Entry& entry, const LoopSelection& loop, const ResultConformation& c) {
    const EntryChain& ch = entry.chains.at(loop.chain);
    const std::string what = "the loop " + ch.label(loop.residues.front().id) + "-" + ch.label(loop.residues.back().id);
    if (c.residues.size() != loop.residues.size())
        fail("a conformation of " + std::to_string(c.residues.size()) + " residues does not fit " + what + " of " +
             std::to_string(loop.residues.size()));
    const EntryResidue& before = ch.polymer.at(loop.anchorBefore);
    const EntryResidue& after = ch.polymer.at(loop.anchorAfter);
    if (before.gemmiChain != after.gemmiChain || after.gemmiResidue <= before.gemmiResidue)
        fail("cannot place " + what + " in " + entry.path + ": its anchors are not in order in one chain");
    gemmi::Model m = entry.structure.models.at(0);
    std::vector<gemmi::Residue>& residues = m.chains.at(before.gemmiChain).residues;
    for (int k = before.gemmiResidue + 1; k < after.gemmiResidue; ++k)
        if (!inLoop(loop, residues[k].seqid))
            fail("cannot place " + what + " in " + entry.path + ": residue " + residues[k].seqid.str() + " lies between its anchors");
    const gemmi::Residue& anchor = residues[before.gemmiResidue];
    std::vector<gemmi::Residue> built;
    for (size_t i = 0; i < loop.residues.size(); ++i) {
        const LoopResidue& lr = loop.residues[i];
        const ResultResidue& rr = c.residues[i];
        if (rr.name != lr.name)
            fail("residue " + std::to_string(i + 1) + " of a conformation is " + rr.name + ", but " + ch.label(lr.id) + " of " + what + " is " +
                 lr.name);
        if (lr.present >= 0) {
            built.push_back(loopResidue(residues.at(ch.polymer.at(lr.present).gemmiResidue), lr, rr));
        } else {
            built.push_back(loopResidue(anchor, lr, rr));
            // A residue missing from the coordinates still has its place in the sequence.
            if (anchor.label_seq.has_value()) built.back().label_seq = *anchor.label_seq + static_cast<int>(i) + 1;
        }
    }
    residues.erase(residues.begin() + before.gemmiResidue + 1, residues.begin() + after.gemmiResidue);
    residues.insert(residues.begin() + before.gemmiResidue + 1, built.begin(), built.end());
    return m;
}

void writeModelsFile(const std::string& path, const Entry& entry, const LoopSelection& loop, const std::vector<ResultConformation>& confs,
                     const std::vector<RankedConformation>& ranked, int count) {
    const size_t n = std::min(ranked.size(), static_cast<size_t>(std::max(count, 0)));
    gemmi::Structure out = entry.structure;
    out.models.clear();
    const std::string chainId = entry.chains.at(loop.chain).id;
    std::vector<std::string> kept;
    for (const std::string& r : out.raw_remarks)
        if (!remarkAboutLoop(r, chainId, loop)) kept.push_back(r);
    out.raw_remarks = kept;
    std::vector<std::string> remarks;
    for (size_t r = 0; r < n; ++r) {
        const RankedConformation& row = ranked[r];
        out.models.push_back(modelWithLoop(entry, loop, confs.at(row.index - 1)));
        out.models.back().name = std::to_string(r + 1);
        remarks.push_back(pdbLine("REMARK   6 LORVANE RANK " + std::to_string(row.rank) + " INDEX " + std::to_string(row.index) + " COMBINED " +
                                  fixed(row.combined, 4)) +
                          pdbLine("REMARK   6 DFIRE " + fixed(row.scores[0], 2) + " SIDECHAIN " + fixed(row.scores[1], 2) + " QUENDA " +
                                  fixed(row.scores[2], 2) + " TORSION " + fixed(row.scores[3], 2)));
    }
    std::ostringstream text;
    try {
        if (entry.format == EntryFormat::MmCif) {
            gemmi::cif::Document doc = gemmi::make_mmcif_document(out);
            gemmi::cif::Loop& table = doc.blocks.at(0).init_loop(
                "_lorvane_model.", {"pdbx_PDB_model_num", "rank", "result_index", "dfire", "sidechain", "quenda", "torsion", "combined"});
            for (size_t r = 0; r < n; ++r) {
                const RankedConformation& row = ranked[r];
                table.add_row({std::to_string(r + 1), std::to_string(row.rank), std::to_string(row.index), fixed(row.scores[0], 2),
                               fixed(row.scores[1], 2), fixed(row.scores[2], 2), fixed(row.scores[3], 2), fixed(row.combined, 4)});
            }
            gemmi::cif::write_cif_to_stream(text, doc, gemmi::cif::Style::Pdbx);
        } else {
            std::ostringstream pdb;
            gemmi::write_pdb(out, pdb);
            text << withModelRemarks(pdb.str(), remarks);
        }
    } catch (const std::exception& e) {
        fail("cannot write the models of " + entry.path + " to " + path + ": " + e.what());
    }
    writeTextOutput(path, text.str());
}

}  // namespace lorvane
