#include "model/loop_selection.h"

#include <cctype>

#include "model/error.h"

namespace lorvane {

namespace {

std::string join(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
    return out;
}

std::string chainList(const Entry& entry) {
    std::vector<std::string> ids;
    for (const EntryChain& c : entry.chains)
        if (!c.polymer.empty()) ids.push_back(c.id);
    return join(ids);
}

// Positions of the residue in the chain's sequence (more than one only in a damaged file).
std::vector<int> positionsOf(const EntryChain& ch, const ResidueId& id) {
    std::vector<int> out;
    for (int k = 0; k < static_cast<int>(ch.sequence.size()); ++k)
        if (ch.sequence[k].idKnown && ch.sequence[k].id == id) out.push_back(k);
    return out;
}

std::string named(const EntryChain& ch, const SequenceResidue& s) {
    std::string label = s.idKnown ? ch.label(s.id) : "a residue of chain " + ch.id + " without number";
    return s.name.empty() ? label : label + " (" + s.name + ")";
}

std::string atomsMissing(const EntryResidue& r) {
    for (const char* a : {"N", "CA", "C"})
        if (!r.atom(a)) return a;
    return "";
}

// The chain the loop lies in: the one named by -chain, else the only chain
// holding both residues.
int resolveChain(const Entry& entry, const LoopRequest& req, const ResidueId& start, const ResidueId& end) {
    if (!req.chain.empty()) {
        for (int c = 0; c < static_cast<int>(entry.chains.size()); ++c)
            if (entry.chains[c].id == req.chain && !entry.chains[c].polymer.empty()) return c;
        fail("-chain " + req.chain + ": " + entry.path + " has no amino-acid chain " + req.chain + " (chains: " + chainList(entry) + ")",
             STATUS_USAGE);
    }
    auto holders = [&](const ResidueId& id, const std::string& option, const std::string& text) {
        std::vector<int> found;
        std::vector<std::string> ids;
        for (int c = 0; c < static_cast<int>(entry.chains.size()); ++c)
            if (!positionsOf(entry.chains[c], id).empty()) {
                found.push_back(c);
                ids.push_back(entry.chains[c].id);
            }
        if (found.empty()) fail(option + " " + text + ": " + entry.path + " has no residue " + id.str(), STATUS_USAGE);
        if (found.size() > 1)
            fail(option + " " + text + ": residue " + id.str() + " is in chains " + join(ids) + " of " + entry.path +
                     "; choose one with -chain",
                 STATUS_USAGE);
        return found[0];
    };
    const int cs = holders(start, "-start", req.start);
    const int ce = holders(end, "-end", req.end);
    if (cs != ce)
        fail("the loop's ends lie in different chains: " + residueLabel(entry.chains[cs].id, start) + " and " +
                 residueLabel(entry.chains[ce].id, end),
             STATUS_USAGE);
    return cs;
}

int positionIn(const EntryChain& ch, const ResidueId& id, const std::string& option, const std::string& text) {
    const std::vector<int> pos = positionsOf(ch, id);
    if (pos.empty()) fail(option + " " + text + ": chain " + ch.id + " has no residue " + id.str(), STATUS_USAGE);
    if (pos.size() > 1) fail(option + " " + text + ": residue " + ch.label(id) + " occurs more than once in chain " + ch.id);
    return pos[0];
}

// The loop's residue names: from the entry, with -seq filling the unknown ones
// and having to agree with the known ones.
void applySequence(const EntryChain& ch, const LoopRequest& req, LoopSelection& sel) {
    const int n = static_cast<int>(sel.residues.size());
    if (!req.seq.empty()) {
        if (static_cast<int>(req.seq.size()) != n)
            fail("-seq has " + std::to_string(req.seq.size()) + " letters, but the loop " + ch.label(sel.residues.front().id) + "-" +
                     ch.label(sel.residues.back().id) + " has " + std::to_string(n) + " residues",
                 STATUS_USAGE);
        for (int k = 0; k < n; ++k) {
            const char c = req.seq[k];
            const std::string name = threeLetterName(c);
            if (name.empty())
                fail("-seq " + req.seq + ": '" + std::string(1, c) + "' (letter " + std::to_string(k + 1) +
                         ") is not the one-letter code of one of the 20 amino acids",
                     STATUS_USAGE);
            LoopResidue& r = sel.residues[k];
            if (!r.name.empty() && oneLetterCode(r.name) != c)
                fail("-seq " + req.seq + ": letter " + std::to_string(k + 1) + " is " + std::string(1, c) + ", but " + ch.label(r.id) +
                         " is " + r.name + " in " + (r.present >= 0 ? "the coordinates" : "the entry's sequence"),
                     STATUS_USAGE);
            r.name = name;
        }
    }
    for (const LoopResidue& r : sel.residues)
        if (r.name.empty())
            fail("the loop " + ch.label(sel.residues.front().id) + "-" + ch.label(sel.residues.back().id) + " has residues (" +
                 ch.label(r.id) + ") missing from the coordinates whose sequence the entry does not give: give the loop's " +
                 std::to_string(n) + " residues with -seq");
}

}  // namespace

bool LoopSelection::hasMissing() const {
    for (const LoopResidue& r : residues)
        if (r.present < 0) return true;
    return false;
}

std::string LoopSelection::sequence() const {
    std::string s;
    for (const LoopResidue& r : residues) s += oneLetterCode(r.name);
    return s;
}

std::string loopProblem(const EntryChain& ch, int first, int last) {
    const int n = last - first + 1;
    const auto& seq = ch.sequence;
    if (n < MIN_LOOP_RESIDUES || n > MAX_LOOP_RESIDUES)
        return "loop of " + std::to_string(n) + " residues; the program models " + std::to_string(MIN_LOOP_RESIDUES) + " to " +
               std::to_string(MAX_LOOP_RESIDUES);
    for (int k : {first, last})
        if (seq[k].present < 0)
            return "loop " + std::string(k == first ? "start " : "end ") + named(ch, seq[k]) +
                   " is missing from the coordinates; a loop begins and ends at present residues";
    if (first == 0) return "no residue before " + ch.label(seq[first].id) + " to anchor the loop";
    if (last + 1 >= static_cast<int>(seq.size())) return "no residue after " + ch.label(seq[last].id) + " to anchor the loop";
    if (seq[first - 1].present < 0) return "the anchor before the loop, " + named(ch, seq[first - 1]) + ", is missing from the coordinates";
    if (seq[last + 1].present < 0) return "the anchor after the loop, " + named(ch, seq[last + 1]) + ", is missing from the coordinates";
    for (int k : {first - 1, last + 1}) {
        const EntryResidue& anchor = ch.polymer[seq[k].present];
        const std::string lacks = atomsMissing(anchor);
        if (!lacks.empty()) return "anchor " + ch.label(anchor.id) + " has no " + lacks;
        // The anchors are residues of the working chain, which holds the 20 amino acids only.
        if (anchor.kind == ResidueKind::Modified)
            return "anchor " + ch.label(anchor.id) + " (" + anchor.fileName + ") is a modified amino acid; the anchors must be standard residues";
    }
    for (int k = first - 1; k <= last; ++k) {
        const SequenceResidue& a = seq[k];
        const SequenceResidue& b = seq[k + 1];
        if (a.present < 0 || b.present < 0) continue;
        if (const ChainBreak* br = ch.breakAfter(a.present)) {
            const bool inside = k >= first && k < last;
            return std::string(inside      ? "chain break inside the loop"
                               : k < first ? "chain break between the anchor and the loop start"
                                           : "chain break between the loop end and the anchor") +
                   " (" + ch.label(a.id) + "-" + ch.label(b.id) + ": " + br->reason + ")";
        }
    }
    for (int k = first; k <= last; ++k) {
        const SequenceResidue& s = seq[k];
        if (!s.idKnown) {
            int p = k;
            while (seq[p].present < 0) --p;  // the loop starts at a present residue
            return "the residues missing after " + ch.label(seq[p].id) + " have no residue numbers in the entry";
        }
        if (s.present >= 0) {
            const EntryResidue& r = ch.polymer[s.present];
            if (r.kind == ResidueKind::Modified)
                return ch.label(r.id) + " (" + r.fileName + ") inside the loop is a modified amino acid, which the program cannot model";
        } else if (!s.name.empty() && !isStandardAminoAcid(s.name)) {
            return ch.label(s.id) + " (" + s.name + ") inside the loop is not one of the 20 amino acids, which the program cannot model";
        }
    }
    return "";
}

LoopSelection selectLoop(const Entry& entry, const LoopRequest& req) {
    const ResidueId start = parseResidueId(req.start, "-start");
    const ResidueId end = parseResidueId(req.end, "-end");
    LoopSelection sel;
    sel.chain = resolveChain(entry, req, start, end);
    const EntryChain& ch = entry.chains[sel.chain];
    sel.first = positionIn(ch, start, "-start", req.start);
    sel.last = positionIn(ch, end, "-end", req.end);
    if (sel.first > sel.last)
        fail("-start " + req.start + " and -end " + req.end + ": " + ch.label(start) + " comes after " + ch.label(end) + " in chain " +
                 ch.id,
             STATUS_USAGE);
    const int n = sel.last - sel.first + 1;
    if (n < MIN_LOOP_RESIDUES || n > MAX_LOOP_RESIDUES)
        fail("the loop " + ch.label(start) + "-" + ch.label(end) + " has " + std::to_string(n) + " residues; the program models " +
                 std::to_string(MIN_LOOP_RESIDUES) + " to " + std::to_string(MAX_LOOP_RESIDUES),
             STATUS_USAGE);
    for (int k = sel.first; k <= sel.last; ++k) {
        const SequenceResidue& s = ch.sequence[k];
        sel.residues.push_back({s.name, s.id, s.present});
    }
    const std::string problem = loopProblem(ch, sel.first, sel.last);
    if (!problem.empty()) fail(entry.path + ": cannot model " + ch.label(start) + "-" + ch.label(end) + ": " + problem);
    applySequence(ch, req, sel);
    sel.anchorBefore = ch.sequence[sel.first - 1].present;
    sel.anchorAfter = ch.sequence[sel.last + 1].present;
    return sel;
}

}  // namespace lorvane
