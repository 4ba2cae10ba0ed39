#include "model/entry_gaps.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "model/loop_selection.h"

namespace lorvane {

namespace {

// Quotes a path for a POSIX shell when it holds anything but plain characters.
std::string shellWord(const std::string& s) {
    bool plain = !s.empty();
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || std::string("/._-+:,=").find(c) != std::string::npos)) plain = false;
    if (plain) return s;
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Grows the loop around a gap over neighbouring gaps, so that both anchors
// are present residues (gaps one residue apart are modelled as one loop).
void spanNeighbours(const EntryChain& ch, int& lf, int& ll) {
    const auto& seq = ch.sequence;
    const int n = static_cast<int>(seq.size());
    while (ll + 1 < n && seq[ll + 1].present < 0) {
        ll += 1;
        while (ll + 1 < n && seq[ll].present < 0) ++ll;
    }
    while (lf > 0 && seq[lf - 1].present < 0) {
        lf -= 1;
        while (lf > 0 && seq[lf].present < 0) --lf;
    }
}

// Widens lf..ll to the shortest loop the sampler takes with present
// neighbours, as evenly as possible and the right side first; the first
// widening that leaves a modellable loop wins. Returns the problem of the
// preferred widening when none does.
std::string widen(const EntryChain& ch, int& lf, int& ll) {
    const int extra = std::max(0, MIN_LOOP_RESIDUES - (ll - lf + 1));
    std::string firstProblem;
    std::vector<int> rights;  // residues added on the right, most even split first, right before left
    for (int r = 0; r <= extra; ++r) rights.push_back(r);
    std::sort(rights.begin(), rights.end(), [&](int x, int y) {
        const int ux = std::abs(2 * x - extra), uy = std::abs(2 * y - extra);
        return ux != uy ? ux < uy : x > y;
    });
    for (int right : rights) {
        const int a = lf - (extra - right), b = ll + right;
        if (a < 0 || b >= static_cast<int>(ch.sequence.size())) continue;
        std::string problem = loopProblem(ch, a, b);
        if (problem.empty()) {
            lf = a;
            ll = b;
            return "";
        }
        if (firstProblem.empty()) firstProblem = problem;
    }
    return firstProblem.empty() ? "no residues around it to widen the loop to " + std::to_string(MIN_LOOP_RESIDUES) : firstProblem;
}

void planLoop(const Entry& entry, const EntryChain& ch, Gap& g, const std::string& program) {
    if (g.place != GapPlace::Internal) {
        g.reason = "terminal";
        return;
    }
    if (g.length < 0) {
        g.reason = "number of missing residues unknown";
        return;
    }
    if (g.length == 0) {
        const ChainBreak* br = ch.breakAfter(ch.sequence[g.missingFirst - 1].present);
        g.reason = "chain break without missing residues: " + (br ? br->reason : std::string("?"));
        return;
    }
    int lf = g.missingFirst - 1, ll = g.missingLast + 1;
    spanNeighbours(ch, lf, ll);
    g.reason = widen(ch, lf, ll);
    if (!g.reason.empty()) return;
    g.loopFirst = lf;
    g.loopLast = ll;
    g.modellable = true;
    std::string seq;
    bool unknown = false;
    for (int k = lf; k <= ll; ++k) {
        const std::string& name = ch.sequence[k].name;
        unknown = unknown || name.empty();
        seq += name.empty() ? '?' : oneLetterCode(name);
    }
    g.command = program + " -f " + shellWord(entry.path) + " -chain " + shellWord(ch.id) + " -start " + ch.sequence[lf].id.str() +
                " -end " + ch.sequence[ll].id.str();
    if (unknown) g.command += " -seq " + seq;  // the '?' are for the user to replace
}

Gap missingRun(const EntryChain& ch, int a, int b) {
    Gap g;
    g.chain = ch.id;
    g.missingFirst = a;
    g.missingLast = b;
    g.length = b - a + 1;
    g.place = a == 0 ? GapPlace::NTerminal : b + 1 == static_cast<int>(ch.sequence.size()) ? GapPlace::CTerminal : GapPlace::Internal;
    const SequenceResidue& f = ch.sequence[a];
    const SequenceResidue& l = ch.sequence[b];
    g.first = f.idKnown ? f.id.str() : "?";
    g.last = l.idKnown ? l.id.str() : "?";
    g.sequence.clear();
    for (int k = a; k <= b; ++k) g.sequence += ch.sequence[k].name.empty() ? '?' : oneLetterCode(ch.sequence[k].name);
    return g;
}

// A break between two present residues with nothing known missing there:
// consecutive numbers mean nothing is missing; otherwise (insertion codes,
// numbers running backwards) the count is unknown.
Gap bareBreak(const EntryChain& ch, int k) {
    Gap g;
    g.chain = ch.id;
    g.missingFirst = k + 1;
    g.missingLast = k;
    const ResidueId a = ch.sequence[k].id, b = ch.sequence[k + 1].id;
    const bool consecutive = a.icode == ' ' && b.icode == ' ' && b.num == a.num + 1;
    g.length = consecutive ? 0 : -1;
    g.sequence = consecutive ? "-" : "?";
    if (!consecutive) g.first = g.last = "?";
    return g;
}

}  // namespace

std::vector<Gap> findGaps(const Entry& entry, const std::string& program) {
    std::vector<Gap> gaps;
    for (const EntryChain& ch : entry.chains) {
        if (ch.polymer.empty()) continue;
        const int n = static_cast<int>(ch.sequence.size());
        for (int k = 0; k < n; ++k) {
            Gap g;
            if (ch.sequence[k].present < 0) {
                int e = k;
                while (e + 1 < n && ch.sequence[e + 1].present < 0) ++e;
                g = missingRun(ch, k, e);
                k = e;
            } else if (k + 1 < n && ch.sequence[k + 1].present >= 0 && ch.breakAfter(ch.sequence[k].present)) {
                g = bareBreak(ch, k);
            } else {
                continue;
            }
            planLoop(entry, ch, g, program);
            if (!g.modellable) g.command = "-";
            gaps.push_back(g);
        }
    }
    return gaps;
}

std::string gapsTable(const std::vector<Gap>& gaps) {
    std::string out = "chain\tfirst\tlast\tlength\tsequence\tmodellable\tcommand\n";
    for (const Gap& g : gaps) {
        out += g.chain + '\t' + g.first + '\t' + g.last + '\t' + (g.length < 0 ? "?" : std::to_string(g.length)) + '\t' + g.sequence +
               '\t' + (g.modellable ? "yes" : "no (" + g.reason + ")") + '\t' + g.command + '\n';
    }
    return out;
}

}  // namespace lorvane
