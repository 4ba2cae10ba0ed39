// Refinement of the best loops of a result file, written back in place (result_refinement.h).
#include "refine/result_refinement.h"

#include <omp.h>

#include <cmath>
#include <vector>

#include "build/side_chain.h"
#include "evaluate/decoy_reader.h"
#include "evaluate/evaluate.h"
#include "evaluate/ranking.h"
#include "filter/filter.h"
#include "model/atomic_file.h"
#include "model/error.h"
#include "model/output.h"
#include "model/parallel.h"
#include "model/table_text.h"
#include "refine/consensus_pull.h"

namespace lorvane {

namespace {

struct StoredLoop {
    std::vector<Residue> residues;  // start..end
    LoopScores scores{};            // as on the LOOP line
};

double squaredBackboneDeviation(const StoredLoop& a, const StoredLoop& b) {
    double d = 0.0;
    for (size_t i = 0; i < a.residues.size(); ++i)
        for (int x : BACKBONE_SLOTS) d += a.residues[i].atoms[x].sdis(b.residues[i].atoms[x]);
    return d / (4.0 * static_cast<double>(a.residues.size()));
}

// 1 / MAD of each score over all loops (0 for a score without spread, as the ranking treats it).
LoopScores spreadWeights(const std::vector<StoredLoop>& loops) {
    LoopScores w{};
    for (int k = 0; k < 4; ++k) {
        std::vector<double> v;
        for (const StoredLoop& l : loops) v.push_back(l.scores[k]);
        const double mad = vMAD(v);
        w[k] = mad > 0 && std::isfinite(mad) ? 1.0 / mad : 0.0;
    }
    return w;
}

void putLoop(Structure& s, int start, const StoredLoop& l) {
    for (size_t i = 0; i < l.residues.size(); ++i) s[start + static_cast<int>(i)] = l.residues[i];
}

// Scores every loop again (repack: after repacking its side chains), in the
// threads' own structures; a loop whose repacked side chains fail the check or
// touch the frame keeps its own side chains and scores. Returns the number
// scored again.
int rescoreAll(const RefineContext& c, std::vector<StoredLoop>& loops, std::vector<Structure>& ws, bool repack) {
    const int n = static_cast<int>(loops.size());
    std::vector<char> done(n, 0);
    FirstError error;
#pragma omp parallel for num_threads(static_cast<int>(ws.size())) schedule(dynamic, 4)
    for (int k = 0; k < n; ++k)
        error.run([&] {
            Structure& s = ws[omp_get_thread_num()];
            putLoop(s, c.start, loops[k]);
            calH(c.tm, s, c.start, c.end);
            if (repack && (!repackSideChains(c.tm, c.pot, c.atoms, s, c.start, c.end, c.rotamerPrior) ||
                           frameClash(c.pot, c.atoms, s, c.start, c.end, c.tolerantClash)))
                return;
            loops[k].residues.assign(s.residues.begin() + c.start, s.residues.begin() + c.end + 1);
            loops[k].scores = scoreLoop(c, s);
            done[k] = 1;
        });
    error.rethrow();
    int count = 0;
    for (char d : done) count += d;
    return count;
}

void refinePicked(const RefineContext& c, const RefineSettings& settings, const LoopScores& weights, const std::vector<int>& picked,
                  std::vector<StoredLoop>& loops, std::vector<Structure>& ws, int64_t runSeed, RefineSummary& summary) {
    const int start = c.start, end = c.end;
    const int P = static_cast<int>(ws.size());
    std::vector<RefineOutcome> outcomes(picked.size());
    FirstError error;
#pragma omp parallel for num_threads(P) schedule(dynamic, 1)
    for (int k = 0; k < static_cast<int>(picked.size()); ++k)
        error.run([&] {
            Structure& s = ws[omp_get_thread_num()];
            StoredLoop& l = loops[picked[k]];
            putLoop(s, start, l);
            calH(c.tm, s, start, end);
            RandomStream random(streamKey(runSeed, StreamKind::Refine, 0, static_cast<uint64_t>(picked[k])));
            outcomes[k] = refineLoop(c, settings, weights, s, random);
            l.residues.assign(s.residues.begin() + start, s.residues.begin() + end + 1);
            l.scores = outcomes[k].after;
        });
    error.rethrow();
    for (const RefineOutcome& o : outcomes) {
        ++summary.refined;
        summary.improved += refineEnergy(o.after, weights) < refineEnergy(o.before, weights);
        summary.moves += o.tried;
        summary.closed += o.closed;
        summary.accepted += o.accepted;
    }
}

// The consensus pull of the first loop by the ranking: its target is the mean
// backbone of the loops among the best settings.consensus that lie within
// CLUSTER_RADIUS of it, itself included.
void pullFirstLoop(const RefineContext& c, const RefineSettings& settings, const LoopScores& weights, const Ranking& ranking,
                   std::vector<StoredLoop>& loops, Structure& s, int64_t runSeed, RefineSummary& summary) {
    const int first = ranking.order.front();
    const StoredLoop& top = loops[first];
    BackboneTarget target(4 * top.residues.size(), Point(0, 0, 0));
    int members = 0;
    for (int k = 0; k < std::min(settings.consensus, static_cast<int>(ranking.order.size())); ++k) {
        const StoredLoop& l = loops[ranking.order[k]];
        if (squaredBackboneDeviation(top, l) > CLUSTER_RADIUS * CLUSTER_RADIUS) continue;
        ++members;
        for (size_t i = 0; i < l.residues.size(); ++i)
            for (int x = 0; x < 4; ++x) {
                const Point& a = l.residues[i].atoms[BACKBONE_SLOTS[x]];
                Point& t = target[4 * i + x];
                t = Point(t.x + a.x, t.y + a.y, t.z + a.z);
            }
    }
    for (Point& t : target) t = Point(t.x / members, t.y / members, t.z / members);
    putLoop(s, c.start, loops[first]);
    calH(c.tm, s, c.start, c.end);
    RandomStream random(streamKey(runSeed, StreamKind::Refine, 0, static_cast<uint64_t>(first)));
    // Below the loop ranked second, the pulled loop stays first; alone in the file, it may not rise.
    const double ceiling = ranking.order.size() > 1 ? refineEnergy(loops[ranking.order[1]].scores, weights)
                                                    : std::nextafter(refineEnergy(top.scores, weights), INFINITY);
    const PullOutcome o = pullTowardTarget(c, settings, weights, ceiling, target, s, random);
    loops[first].residues.assign(s.residues.begin() + c.start, s.residues.begin() + c.end + 1);
    loops[first].scores = o.after;
    summary.refined = 1;
    summary.consensusMembers = members;
    summary.deviationBefore = std::sqrt(o.deviationBefore);
    summary.deviationAfter = std::sqrt(o.deviationAfter);
    summary.moves += o.tried;
    summary.closed += o.closed;
    summary.accepted += o.accepted;
}

}  // namespace

RefineSummary refineResultFile(const RefineContext& c, const RefineSettings& settings, const Structure& base,
                               const std::string& input, const std::string& output, int64_t runSeed, int threads) {
    const int start = c.start, end = c.end;
    std::vector<StoredLoop> loops;
    {
        TableText in = TableText::read(input, "result file");
        DecoyReader reader(c.tm, in, base, start, end);
        Structure work(base);
        double scores[4];
        while (reader.next(work, scores)) {
            StoredLoop l;
            l.residues.assign(work.residues.begin() + start, work.residues.begin() + end + 1);
            for (int k = 0; k < 4; ++k) l.scores[k] = scores[k];
            loops.push_back(std::move(l));
        }
    }
    RefineSummary summary;
    summary.loops = static_cast<int>(loops.size());
    if (loops.empty() || (settings.top <= 0 && settings.consensus <= 0 && !settings.repack && !settings.rescore && !c.smooth))
        return summary;
    const int P = std::max(threads, 1);
    std::vector<Structure> ws(P, base);
    // The picks and the spread weights must see every loop scored alike.
    if (c.smooth || (settings.rescore && !settings.repack)) rescoreAll(c, loops, ws, false);
    if (settings.repack) summary.repacked = rescoreAll(c, loops, ws, true);

    std::vector<std::array<double, 4>> scores;
    for (const StoredLoop& l : loops) scores.push_back(l.scores);
    const Ranking ranking = rankConformations(scores);
    std::vector<int> picked;
    const double radius2 = CLUSTER_RADIUS * CLUSTER_RADIUS;
    for (int i : ranking.order) {
        if (static_cast<int>(picked.size()) >= settings.top) break;
        bool near = false;
        for (int j : picked) near = near || squaredBackboneDeviation(loops[i], loops[j]) < radius2;
        if (!near) picked.push_back(i);
    }
    const LoopScores weights = spreadWeights(loops);
    if (settings.consensus > 0) {
        pullFirstLoop(c, settings, weights, ranking, loops, ws[0], runSeed, summary);
    } else {
        refinePicked(c, settings, weights, picked, loops, ws, runSeed, summary);
    }

    AtomicFile file(output);
    std::ostream& out = file.stream();
    Structure& s = ws[0];
    for (size_t i = 0; i < loops.size(); ++i) {
        putLoop(s, start, loops[i]);
        const LoopScores& q = loops[i].scores;
        writeLoopLine(out, static_cast<int>(i) + 1, q[0], q[1], q[2], q[3]);
        writeAtomRecords(c.tm, s, start, end, out);
        out << "END \n";
    }
    if (!out) fail("Cannot write the result file \"" + output + "\"", 1);
    file.commit();
    return summary;
}

}  // namespace lorvane
