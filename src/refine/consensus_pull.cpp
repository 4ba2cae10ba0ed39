// Pull of a loop toward a target backbone without raising its energy (consensus_pull.h).
#include "refine/consensus_pull.h"

#include <cmath>

#include "model/error.h"
#include "model/residue_names.h"

namespace lorvane {

double targetDeviation(const Structure& s, int start, int end, const BackboneTarget& target) {
    const size_t n = static_cast<size_t>(end - start + 1);
    if (target.size() != 4 * n) fail("consensus target has " + std::to_string(target.size()) + " atoms, the loop " + std::to_string(4 * n));
    double d = 0.0;
    for (size_t i = 0; i < n; ++i)
        for (int k = 0; k < 4; ++k) d += s[start + static_cast<int>(i)].atoms[BACKBONE_SLOTS[k]].sdis(target[4 * i + k]);
    return d / static_cast<double>(target.size());
}

PullOutcome pullTowardTarget(const RefineContext& c, const RefineSettings& settings, const LoopScores& weights, double ceiling,
                             const BackboneTarget& target, Structure& s, RandomStream& random) {
    const int start = c.start, end = c.end, n = end - start + 1;
    PullOutcome out;
    out.before = out.after = scoreLoop(c, s);
    out.deviationBefore = out.deviationAfter = targetDeviation(s, start, end, target);
    if (n < 4 || settings.pullMoves <= 0) return out;
    std::vector<Residue> current(s.residues.begin() + start, s.residues.begin() + end + 1), best = current;
    auto restore = [&](const std::vector<Residue>& from) {
        for (int i = 0; i < n; ++i) s[start + i] = from[i];
    };
    double dCurrent = out.deviationBefore;
    RefineSettings moves = settings;
    moves.jump = false;
    moves.turnDeg = settings.pullTurnDeg;
    TripeptideClosure solver;
    for (int m = 0; m < settings.pullMoves; ++m) {
        ++out.tried;
        const MoveResult moved = moveLoop(c, moves, {}, s, solver, random);
        out.closed += moved.closed;
        bool ok = moved.clear;
        double d = 0.0;
        LoopScores sc{};
        if (ok) {
            d = targetDeviation(s, start, end, target);
            ok = d <= dCurrent || random.uniform() < std::exp(-(d - dCurrent) / settings.pullTemperature);
        }
        if (ok) {
            // Scored only once the deviation lets the move through: scoring costs most.
            sc = scoreLoop(c, s);
            const double e = refineEnergy(sc, weights);
            ok = std::isfinite(e) && e < ceiling;
        }
        if (!ok) {
            restore(current);
            continue;
        }
        ++out.accepted;
        current.assign(s.residues.begin() + start, s.residues.begin() + end + 1);
        dCurrent = d;
        if (d < out.deviationAfter) {
            out.deviationAfter = d;
            out.after = sc;
            best = current;
        }
    }
    restore(best);
    return out;
}

}  // namespace lorvane
