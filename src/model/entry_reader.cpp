// Reading a whole entry with gemmi: format, first model, conformer choice,
// residue kinds, geometric chain breaks and what is known of missing residues.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include <gemmi/align.hpp>
#include <gemmi/cif.hpp>
#include <gemmi/gz.hpp>
#include <gemmi/mmcif.hpp>
#include <gemmi/pdb.hpp>
#include <gemmi/polyheur.hpp>
#include <gemmi/resinfo.hpp>

#include "model/entry.h"
#include "model/error.h"
#include "model/residue_names.h"

namespace lorvane {

namespace {

// Longer C-N distances are not a peptide bond.
constexpr double MAX_PEPTIDE_CN = 2.0;

// A residue the file lists as missing from the coordinates.
struct MissingRecord {
    std::string chain;
    std::string name;
    ResidueId id;
};

// What the raw text says beyond gemmi's model: REMARK 465 and the first model's number.
struct RawPdbFacts {
    std::vector<MissingRecord> missing;
    std::vector<std::string> notes;
};

std::string lowerCase(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string trim(const std::string& s) {
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

std::string field(const std::string& line, size_t from, size_t len) {
    if (from >= line.size()) return std::string(len, ' ');
    std::string f = line.substr(from, len);
    f.resize(len, ' ');
    return f;
}

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s;
}

std::string fileText(const std::string& path) {
    if (!std::ifstream(path, std::ios::binary)) fail("cannot open " + path);
    if (endsWith(lowerCase(path), ".gz")) {
        try {
            gemmi::MaybeGzipped in(path);
            gemmi::CharArray mem = in.uncompress_into_buffer();
            return std::string(mem.data(), mem.size());
        } catch (const std::exception& e) {
            fail(path + ": cannot decompress: " + oneLine(e.what()));
        }
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

EntryFormat detectFormat(const std::string& name, const std::string& text) {
    std::string base = lowerCase(name);
    if (endsWith(base, ".gz")) base.resize(base.size() - 3);
    if (endsWith(base, ".cif") || endsWith(base, ".mmcif")) return EntryFormat::MmCif;
    if (endsWith(base, ".pdb") || endsWith(base, ".ent")) return EntryFormat::Pdb;
    // Content: an mmCIF file starts (after blanks and comments) with "data_".
    size_t i = 0;
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
        } else if (text[i] == '#') {
            while (i < text.size() && text[i] != '\n') ++i;
        } else {
            break;
        }
    }
    if (i == text.size()) fail(name + " is empty");
    return text.compare(i, 5, "data_") == 0 ? EntryFormat::MmCif : EntryFormat::Pdb;
}

// Checks the residue-number field (columns 23-26) of every ATOM/HETATM line:
// decimal, or upper-case hybrid-36 (gemmi reads both); a lower-case hybrid-36
// number (above 1223055) or anything else is refused here with its line.
// Collects REMARK 465 records of the first model.
RawPdbFacts scanPdbText(const std::string& text, const std::string& name) {
    RawPdbFacts facts;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    bool inTable = false;
    std::string firstModel;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string where = name + " line " + std::to_string(lineNo);
        if (line.compare(0, 5, "MODEL") == 0 && firstModel.empty()) firstModel = trim(field(line, 6, 74));
        if (line.compare(0, 6, "ATOM  ") == 0 || line.compare(0, 6, "HETATM") == 0) {
            if (line.size() < 27) continue;  // gemmi names short lines itself
            const std::string num = field(line, 22, 4);
            const std::string t = trim(num);
            int value = 0;
            bool decimal = !t.empty();
            for (size_t i = 0; i < t.size(); ++i)
                if (!(std::isdigit(static_cast<unsigned char>(t[i])) || (i == 0 && t[i] == '-' && t.size() > 1))) decimal = false;
            if (decimal) continue;
            if (decodeHybrid36(num, value)) {
                if (num[0] >= 'a')
                    fail(where + ": residue number '" + num + "' is a lower-case hybrid-36 number (" + std::to_string(value) +
                         "), beyond what this reader supports");
                continue;
            }
            fail(where + ": residue number field '" + num + "' (columns 23-26) is not a number");
        }
        if (line.compare(0, 10, "REMARK 465") != 0) continue;
        const std::string body = line.size() > 10 ? line.substr(10) : "";
        // The table header: "M RES C SSSEQI", or "RES C SSSEQI" when the list holds for every model.
        if (body.find("RES C SSSEQI") != std::string::npos) {
            inTable = true;
            continue;
        }
        if (!inTable || trim(body).empty()) continue;
        // Columns: model 12-14, residue name 16-18, chain 20, number 22-26, insertion code 27.
        const std::string model = trim(field(line, 11, 3));
        const std::string res = trim(field(line, 15, 3));
        const std::string chain = trim(field(line, 19, 1));
        const std::string numText = trim(field(line, 21, 5));
        char* end = nullptr;
        const long n = numText.empty() ? 0 : std::strtol(numText.c_str(), &end, 10);
        if (res.empty() || numText.empty() || *end != '\0') {
            facts.notes.push_back(where + ": REMARK 465 line not understood, ignored: " + trim(line));
            continue;
        }
        if (!model.empty() && model != (firstModel.empty() ? "1" : firstModel)) continue;  // another model's residue
        MissingRecord r;
        r.chain = chain;
        r.name = res;
        r.id.num = static_cast<int>(n);
        const char ic = line.size() > 26 ? line[26] : ' ';
        r.id.icode = ic;
        facts.missing.push_back(r);
    }
    return facts;
}

std::vector<MissingRecord> unobservedFromCif(gemmi::cif::Block& block, const std::string& firstModel) {
    std::vector<MissingRecord> out;
    gemmi::cif::Table t = block.find("_pdbx_unobs_or_zero_occ_residues.", {"polymer_flag", "occupancy_flag", "auth_asym_id", "auth_comp_id",
                                                                           "auth_seq_id", "?PDB_ins_code", "?PDB_model_num"});
    for (auto row : t) {
        if (gemmi::cif::as_string(row[0]) != "Y") continue;  // polymer residues only
        if (gemmi::cif::as_string(row[1]) != "1") continue;  // 1 = unobserved, 0 = present with zero occupancy
        if (row.has(6) && !gemmi::cif::is_null(row[6]) && gemmi::cif::as_string(row[6]) != firstModel) continue;
        MissingRecord r;
        r.chain = gemmi::cif::as_string(row[2]);
        r.name = gemmi::cif::as_string(row[3]);
        r.id.num = gemmi::cif::as_int(row[4]);
        if (row.has(5) && !gemmi::cif::is_null(row[5])) {
            const std::string ic = gemmi::cif::as_string(row[5]);
            if (!ic.empty()) r.id.icode = ic[0];
        }
        out.push_back(r);
    }
    return out;
}

// The PDB format has four columns for the residue number; five-digit numbers
// spill into the insertion-code column (10005 reads as 1000 with code 5). A
// full four-digit number followed by a digit is taken as five digits.
void restoreFiveDigitNumbers(gemmi::Structure& st) {
    for (gemmi::Chain& ch : st.models[0].chains)
        for (gemmi::Residue& r : ch.residues) {
            if (!r.seqid.num.has_value() || !std::isdigit(static_cast<unsigned char>(r.seqid.icode))) continue;
            const int n = *r.seqid.num;
            const int d = r.seqid.icode - '0';
            if (n >= 1000 && n <= 9999)
                r.seqid = gemmi::SeqId(n * 10 + d, ' ');
            else if (n >= -999 && n <= -100)
                r.seqid = gemmi::SeqId(n * 10 - d, ' ');
        }
}

// Conformer kept for a residue: the alternate location with the highest total
// occupancy over its atoms; on a tie the one met first in the file.
char chooseAltloc(const gemmi::Residue& r) {
    std::vector<std::pair<char, double>> sums;
    for (const gemmi::Atom& a : r.atoms) {
        if (!a.altloc) continue;
        auto it = std::find_if(sums.begin(), sums.end(), [&](const auto& s) { return s.first == a.altloc; });
        if (it == sums.end())
            sums.emplace_back(a.altloc, a.occ);
        else
            it->second += a.occ;
    }
    if (sums.empty()) return '\0';
    auto best = sums.begin();
    for (auto it = sums.begin(); it != sums.end(); ++it)
        if (it->second > best->second + 1e-6) best = it;
    return best->first;
}

// Mean occupancy of a residue's kept conformer: decides between the residues
// of a point mutation modelled at one position (microheterogeneity).
double conformerOccupancy(const gemmi::Residue& r) {
    const char alt = chooseAltloc(r);
    double sum = 0;
    int n = 0;
    for (const gemmi::Atom& a : r.atoms)
        if (!a.altloc || a.altloc == alt) sum += a.occ, ++n;
    return n ? sum / n : 0.0;
}

std::string upperElement(const gemmi::Atom& a) { return a.element.uname(); }

std::string parentOf(const std::string& name) {
    const gemmi::ResidueInfo info = gemmi::find_tabulated_residue(name);
    if (!info.is_amino_acid()) return "";
    const char code = static_cast<char>(std::toupper(static_cast<unsigned char>(info.one_letter_code)));
    return threeLetterName(code);
}

ResidueKind classify(const gemmi::Residue& r) {
    if (r.is_water()) return ResidueKind::Water;
    if (r.entity_type == gemmi::EntityType::NonPolymer || r.entity_type == gemmi::EntityType::Branched) return ResidueKind::Hetero;
    if (isStandardAminoAcid(r.name) || r.name == "MSE") return ResidueKind::Standard;
    if (gemmi::find_tabulated_residue(r.name).is_amino_acid()) return ResidueKind::Modified;
    const bool backbone = r.find_atom("N", '*') && r.find_atom("CA", '*') && r.find_atom("C", '*');
    if (r.entity_type == gemmi::EntityType::Polymer && backbone) return ResidueKind::Modified;
    return ResidueKind::Hetero;
}

EntryResidue makeResidue(const gemmi::Residue& r, int chainIndex, int residueIndex) {
    EntryResidue out;
    out.fileName = r.name;
    out.kind = classify(r);
    const bool mse = r.name == "MSE" && out.kind == ResidueKind::Standard;
    out.name = mse ? "MET" : r.name;
    if (out.kind == ResidueKind::Modified) out.parent = parentOf(r.name);
    out.id.num = r.seqid.num.has_value() ? *r.seqid.num : 0;
    out.id.icode = r.seqid.icode;
    out.altloc = chooseAltloc(r);
    out.gemmiChain = chainIndex;
    out.gemmiResidue = residueIndex;
    for (size_t k = 0; k < r.atoms.size(); ++k) {
        const gemmi::Atom& a = r.atoms[k];
        if (a.altloc && a.altloc != out.altloc) continue;
        if (out.atom(a.name)) continue;  // a repeated name keeps its first record
        EntryAtom e;
        e.fileName = a.name;
        e.name = mse && a.name == "SE" ? "SD" : a.name;
        e.element = upperElement(a);
        e.x = a.pos.x, e.y = a.pos.y, e.z = a.pos.z;
        e.occupancy = a.occ;
        e.bFactor = a.b_iso;
        e.gemmiAtom = static_cast<int>(k);
        out.atoms.push_back(e);
    }
    return out;
}

void findBreaks(EntryChain& ch) {
    ch.breaks.clear();
    for (int i = 0; i + 1 < static_cast<int>(ch.polymer.size()); ++i) {
        const EntryResidue& a = ch.polymer[i];
        const EntryResidue& b = ch.polymer[i + 1];
        ChainBreak br;
        br.before = i;
        if (!a.atom("CA"))
            br.reason = ch.label(a.id) + " has no CA";
        else if (!a.atom("C"))
            br.reason = ch.label(a.id) + " has no C";
        else if (!b.atom("N"))
            br.reason = ch.label(b.id) + " has no N";
        else if (!b.atom("CA"))
            br.reason = ch.label(b.id) + " has no CA";
        else {
            br.cn = distance(*a.atom("C"), *b.atom("N"));
            if (br.cn <= MAX_PEPTIDE_CN) continue;
            char buf[48];
            std::snprintf(buf, sizeof buf, "C-N %.2f A", br.cn);
            br.reason = buf;
        }
        ch.breaks.push_back(br);
    }
}

// Insertion codes run A, B, C after the plain number in most entries, but
// some number backwards (thrombin's light chain: 1H, 1G, ..., 1A, 1). The
// direction of each number comes from the residues that carry it.
int icodeRank(char c) { return c == ' ' ? 0 : std::toupper(static_cast<unsigned char>(c)); }

struct IdOrder {
    std::map<int, int> direction;  // +1 ascending (default), -1 descending
    void learn(const ResidueId& a, const ResidueId& b) {
        if (a.num != b.num || icodeRank(a.icode) == icodeRank(b.icode) || direction.count(a.num)) return;
        direction[a.num] = icodeRank(b.icode) > icodeRank(a.icode) ? 1 : -1;
    }
    bool less(const ResidueId& a, const ResidueId& b) const {
        if (a.num != b.num) return a.num < b.num;
        auto it = direction.find(a.num);
        const int dir = it == direction.end() ? 1 : it->second;
        return dir > 0 ? icodeRank(a.icode) < icodeRank(b.icode) : icodeRank(a.icode) > icodeRank(b.icode);
    }
};

void sequenceFromPolymer(EntryChain& ch) {
    ch.sequence.clear();
    for (int i = 0; i < static_cast<int>(ch.polymer.size()); ++i) {
        SequenceResidue s;
        s.name = ch.polymer[i].name;
        s.id = ch.polymer[i].id;
        s.present = i;
        ch.sequence.push_back(s);
    }
}

// Places the listed missing residues among the present ones by residue number.
bool mergeMissingList(EntryChain& ch, const std::vector<MissingRecord>& records, std::vector<std::string>& notes) {
    std::vector<MissingRecord> recs;
    for (const MissingRecord& r : records) {
        const bool present = std::any_of(ch.polymer.begin(), ch.polymer.end(), [&](const EntryResidue& p) { return p.id == r.id; });
        if (present)
            notes.push_back("chain " + ch.id + ": " + ch.label(r.id) +
                            " is listed as missing but has coordinates; the coordinates are used");
        else
            recs.push_back(r);
    }
    if (recs.empty()) return false;
    IdOrder order;
    for (size_t i = 0; i + 1 < ch.polymer.size(); ++i) order.learn(ch.polymer[i].id, ch.polymer[i + 1].id);
    for (size_t i = 0; i + 1 < recs.size(); ++i) order.learn(recs[i].id, recs[i + 1].id);
    for (size_t i = 0; i + 1 < ch.polymer.size(); ++i)
        if (order.less(ch.polymer[i + 1].id, ch.polymer[i].id)) {
            notes.push_back("chain " + ch.id + ": residue numbers decrease after " + ch.label(ch.polymer[i].id) +
                            "; missing residues are placed by number and may be misplaced");
            break;
        }
    ch.sequence.clear();
    size_t j = 0;
    for (int i = 0; i <= static_cast<int>(ch.polymer.size()); ++i) {
        const bool last = i == static_cast<int>(ch.polymer.size());
        while (j < recs.size() && (last || order.less(recs[j].id, ch.polymer[i].id))) {
            SequenceResidue s;
            s.name = recs[j].name == "MSE" ? "MET" : recs[j].name;
            s.id = recs[j].id;
            ch.sequence.push_back(s);
            ++j;
        }
        if (last) break;
        SequenceResidue s;
        s.name = ch.polymer[i].name;
        s.id = ch.polymer[i].id;
        s.present = i;
        ch.sequence.push_back(s);
    }
    ch.sequenceSource = SequenceSource::MissingList;
    return true;
}

// Full sequence (SEQRES / _entity_poly_seq) laid over the present residues by
// their label_seq (from the mmCIF file, or gemmi's alignment for PDB files).
// Missing residues between two present ones get numbers when the numbering
// leaves exactly room for them; terminal ones stay unnumbered.
bool mergeFullSequence(EntryChain& ch, const std::vector<std::string>& full, const std::vector<int>& labels,
                       std::vector<std::string>& notes) {
    if (full.empty()) return false;
    if (std::none_of(labels.begin(), labels.end(), [](int l) { return l > 0; })) {
        notes.push_back("chain " + ch.id +
                        ": the full sequence could not be aligned to the coordinates; missing residues are not taken from it");
        return false;
    }
    std::vector<SequenceResidue> seq;
    int next = 1;
    auto addMissing = [&](int upTo) {
        for (; next < upTo && next <= static_cast<int>(full.size()); ++next) {
            SequenceResidue s;
            s.name = gemmi::Entity::first_mon(full[next - 1]);
            if (s.name == "MSE") s.name = "MET";
            s.idKnown = false;
            seq.push_back(s);
        }
    };
    for (int i = 0; i < static_cast<int>(ch.polymer.size()); ++i) {
        const int l = labels[i];
        if (l > 0) {
            if (l < next || l > static_cast<int>(full.size())) {
                notes.push_back("chain " + ch.id + ": the full sequence does not follow the coordinates at " + ch.label(ch.polymer[i].id) +
                                "; missing residues are not taken from it");
                return false;
            }
            addMissing(l);
            next = l + 1;
        }
        SequenceResidue s;
        s.name = ch.polymer[i].name;
        s.id = ch.polymer[i].id;
        s.present = i;
        seq.push_back(s);
    }
    addMissing(static_cast<int>(full.size()) + 1);
    // Number internal runs that fit the numbering exactly.
    for (size_t k = 0; k < seq.size(); ++k) {
        if (seq[k].present >= 0 || k == 0 || seq[k - 1].present < 0) continue;
        size_t e = k;
        while (e < seq.size() && seq[e].present < 0) ++e;
        if (e == seq.size()) break;  // C-terminal run
        const ResidueId a = seq[k - 1].id, b = seq[e].id;
        const int run = static_cast<int>(e - k);
        if (a.icode == ' ' && b.icode == ' ' && b.num - a.num - 1 == run)
            for (int m = 0; m < run; ++m) {
                seq[k + m].id.num = a.num + 1 + m;
                seq[k + m].idKnown = true;
            }
        k = e;
    }
    ch.sequence = std::move(seq);
    ch.sequenceSource = SequenceSource::FullSequence;
    return true;
}

// At a geometric break with nothing known missing, a numbering jump without
// insertion codes counts the missing residues (their names stay unknown).
void addNumberingGaps(EntryChain& ch) {
    std::vector<SequenceResidue> seq;
    for (size_t k = 0; k < ch.sequence.size(); ++k) {
        seq.push_back(ch.sequence[k]);
        if (k + 1 == ch.sequence.size()) break;
        const SequenceResidue& a = ch.sequence[k];
        const SequenceResidue& b = ch.sequence[k + 1];
        if (a.present < 0 || b.present < 0 || !ch.breakAfter(a.present)) continue;
        if (a.id.icode != ' ' || b.id.icode != ' ' || b.id.num - a.id.num < 2) continue;
        for (int n = a.id.num + 1; n < b.id.num; ++n) {
            SequenceResidue s;
            s.id.num = n;
            seq.push_back(s);
        }
    }
    ch.sequence = std::move(seq);
}

// Missing residues listed between two bonded present residues contradict the coordinates.
void checkListedAgainstGeometry(const EntryChain& ch, std::vector<std::string>& notes) {
    int prev = -1;
    bool between = false;
    for (const SequenceResidue& s : ch.sequence) {
        if (s.present < 0) {
            between = prev >= 0;
            continue;
        }
        if (between && s.present == prev + 1 && !ch.breakAfter(prev))
            notes.push_back("chain " + ch.id + ": residues are listed as missing between " + ch.label(ch.polymer[prev].id) + " and " +
                            ch.label(s.id) + ", which are bonded");
        prev = s.present;
        between = false;
    }
}

Entry buildEntry(gemmi::Structure st, const std::string& name, EntryFormat format, const std::vector<MissingRecord>& missing,
                 std::vector<std::string> notes) {
    if (st.models.empty()) fail(name + " has no atoms");
    st.models.erase(st.models.begin() + 1, st.models.end());
    bool anyAtom = false;
    for (const gemmi::Chain& ch : st.models[0].chains)
        for (const gemmi::Residue& r : ch.residues) anyAtom = anyAtom || !r.atoms.empty();
    if (!anyAtom) fail(name + " has no atoms");
    if (format == EntryFormat::Pdb) restoreFiveDigitNumbers(st);
    gemmi::setup_entities(st);
    gemmi::assign_label_seq_id(st, false);

    Entry entry;
    entry.path = name;
    entry.format = format;
    entry.notes = std::move(notes);
    std::map<std::string, size_t> byId;
    std::map<std::string, std::vector<int>> labels;  // label_seq of each polymer residue, per chain
    std::map<std::string, const gemmi::Entity*> entities;
    const gemmi::Model& model = st.models[0];
    for (int ci = 0; ci < static_cast<int>(model.chains.size()); ++ci) {
        const gemmi::Chain& gch = model.chains[ci];
        auto found = byId.find(gch.name);
        if (found == byId.end()) {
            found = byId.emplace(gch.name, entry.chains.size()).first;
            entry.chains.emplace_back();
            entry.chains.back().id = gch.name;
        }
        EntryChain& ch = entry.chains[found->second];
        if (!entities.count(gch.name))
            if (gemmi::ConstResidueSpan poly = gch.get_polymer())
                if (const gemmi::Entity* ent = st.get_entity_of(poly)) entities[gch.name] = ent;
        const int nres = static_cast<int>(gch.residues.size());
        for (int ri = 0; ri < nres;) {
            // Residues sharing one number: a point mutation modelled twice; keep the better occupied one.
            int end = ri + 1;
            while (end < nres && gch.residues[end].seqid == gch.residues[ri].seqid &&
                   gch.residues[end].seqid.icode == gch.residues[ri].seqid.icode)
                ++end;
            int pick = ri;
            for (int k = ri + 1; k < end; ++k)
                if (conformerOccupancy(gch.residues[k]) > conformerOccupancy(gch.residues[pick]) + 1e-6) pick = k;
            if (end - ri > 1)
                entry.notes.push_back("chain " + gch.name + ": " + std::to_string(end - ri) + " residues share number " +
                                      gch.residues[ri].seqid.str() + "; " + gch.residues[pick].name + " is kept");
            EntryResidue r = makeResidue(gch.residues[pick], ci, pick);
            if (r.kind == ResidueKind::Standard || r.kind == ResidueKind::Modified) {
                ch.polymer.push_back(std::move(r));
                const gemmi::Residue& g = gch.residues[pick];
                labels[gch.name].push_back(g.label_seq.has_value() ? *g.label_seq : 0);
            } else {
                ch.others.push_back(std::move(r));
            }
            ri = end;
        }
    }
    for (EntryChain& ch : entry.chains) {
        findBreaks(ch);
        sequenceFromPolymer(ch);
        std::vector<MissingRecord> mine;
        for (const MissingRecord& m : missing)
            if (m.chain == ch.id) mine.push_back(m);
        if (!mergeMissingList(ch, mine, entry.notes) && entities.count(ch.id))
            mergeFullSequence(ch, entities[ch.id]->full_sequence, labels[ch.id], entry.notes);
        if (ch.sequenceSource != SequenceSource::None) checkListedAgainstGeometry(ch, entry.notes);
        addNumberingGaps(ch);
    }
    entry.structure = std::move(st);
    return entry;
}

Entry readFromText(const std::string& text, const std::string& name) {
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) fail(name + " is empty");
    const EntryFormat format = detectFormat(name, text);
    try {
        if (format == EntryFormat::Pdb) {
            RawPdbFacts facts = scanPdbText(text, name);
            gemmi::Structure st = gemmi::read_pdb_string(text, name);
            return buildEntry(std::move(st), name, format, facts.missing, facts.notes);
        }
        gemmi::cif::Document doc = gemmi::cif::read_memory(text.data(), text.size(), name.c_str());
        gemmi::Structure st = gemmi::make_structure(doc);
        const std::string firstModel = st.models.empty() ? "1" : st.models[0].name;
        std::vector<MissingRecord> missing = unobservedFromCif(doc.blocks.at(0), firstModel);
        return buildEntry(std::move(st), name, format, missing, {});
    } catch (const Error&) {
        throw;
    } catch (const std::exception& e) {
        std::string what = oneLine(e.what());
        if (what.compare(0, name.size(), name) != 0) what = name + ": " + what;
        fail(what);
    }
}

}  // namespace

const EntryAtom* EntryResidue::atom(const std::string& atomName) const {
    for (const EntryAtom& a : atoms)
        if (a.name == atomName) return &a;
    return nullptr;
}

const ChainBreak* EntryChain::breakAfter(int i) const {
    for (const ChainBreak& b : breaks)
        if (b.before == i) return &b;
    return nullptr;
}

const EntryChain* Entry::chain(const std::string& id) const {
    for (const EntryChain& c : chains)
        if (c.id == id) return &c;
    return nullptr;
}

double distance(const EntryAtom& a, const EntryAtom& b) {
    const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

bool isStandardAminoAcid(const std::string& name) {
    return std::any_of(std::begin(THREE_LETTER), std::end(THREE_LETTER), [&](const char* s) { return name == s; });
}

char oneLetterCode(const std::string& name) {
    if (name == "MSE") return 'M';
    for (int i = 0; i < NUM_AMINO_ACIDS; ++i)
        if (name == THREE_LETTER[i]) return ONE_LETTER[i][0];
    return 'X';
}

std::string threeLetterName(char code) {
    for (int i = 0; i < NUM_AMINO_ACIDS; ++i)
        if (code == ONE_LETTER[i][0]) return THREE_LETTER[i];
    return "";
}

Entry readEntry(const std::string& path) { return readFromText(fileText(path), path); }

Entry readEntryText(const std::string& text, const std::string& name) { return readFromText(text, name); }

}  // namespace lorvane
