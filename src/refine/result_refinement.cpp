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

namespace lorvane {

namespace {

struct StoredLoop {
    std::vector<Residue> residues;  // start..end
    LoopScores scores{};            // as on the LOOP line
};

double squaredBackboneDeviation(const StoredLoop& a, const StoredLoop& b) {
    double d = 0.0;
    for (size_t i = 0; i < a.residues.size(); ++i)
        for (int x : {SLOT_N, SLOT_CA, SLOT_C, SLOT_O}) d += a.residues[i].atoms[x].sdis(b.residues[i].atoms[x]);
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
            if (repack && (!repackSideChains(c.tm, c.pot, c.atoms, s, c.start, c.end) ||
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
    if (loops.empty() || (settings.top <= 0 && !settings.repack && !c.smooth)) return summary;
    const int P = std::max(threads, 1);
    std::vector<Structure> ws(P, base);
    // The picks and the spread weights must see every loop scored alike.
    if (c.smooth) rescoreAll(c, loops, ws, false);
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
