// Monte Carlo refinement of one closed loop (loop_refinement.h).
#include "refine/loop_refinement.h"

#include <cmath>
#include <vector>

#include "build/side_chain.h"
#include "filter/filter.h"
#include "refine/backbone_restraint.h"
#include "refine/closure_move.h"

namespace lorvane {

LoopScores scoreLoop(const RefineContext& c, Structure& s) {
    const FinalTerms f = finalTerms(c.tm, c.pot, c.atoms, s, c.start, c.end);
    return {f.dfire(), f.sideChain(), f.q, loopTorsionEnergy(c.dist, c.bins, s, c.start, c.end)};
}

double refineEnergy(const LoopScores& scores, const LoopScores& weights) {
    double e = 0.0;
    for (int k = 0; k < 4; ++k) e += weights[k] * scores[k];
    return e;
}

RefineOutcome refineLoop(const RefineContext& c, const RefineSettings& settings, const LoopScores& weights, Structure& s,
                         RandomStream& random) {
    const int start = c.start, end = c.end;
    const int n = end - start + 1;
    RefineOutcome out;
    out.before = out.after = scoreLoop(c, s);
    const BackboneAngleTable& angles = c.dist.backboneAngles;
    auto restraint = [&] { return settings.geometry ? settings.temperature * backboneRestraint(angles, s, start, end) : 0.0; };
    out.restraintBefore = out.restraintAfter = restraint();
    // A window needs a residue before it to turn: loops of fewer than four residues have no move.
    if (n < 4 || settings.moves <= 0) return out;
    auto save = [&](std::vector<Residue>& to) {
        to.assign(s.residues.begin() + start, s.residues.begin() + end + 1);
    };
    auto restore = [&](const std::vector<Residue>& from) {
        for (int i = 0; i < n; ++i) s[start + i] = from[i];
    };
    std::vector<Residue> current, best;
    save(current);
    best = current;
    double eCurrent = refineEnergy(out.before, weights) + out.restraintBefore, eBest = eCurrent;
    TripeptideClosure solver;
    const double sd = settings.turnDeg * DEG2RAD;
    for (int m = 0; m < settings.moves; ++m) {
        ++out.tried;
        // Window p..p+2 with at least one residue before it inside the loop.
        const int p = start + 1 + random.below(n - 3);
        WindowGeometry g = measureWindow(s, p);
        if (settings.geometry) bendWindow(g, angles, s, p, settings.bendStep, random);
        const int turns = 1 + random.below(2);
        for (int t = 0; t < turns; ++t) {
            const int r = start + random.below(p - start);
            turnDihedral(s, r, false, random.normal(0.0, sd), p);
            turnDihedral(s, r, true, random.normal(0.0, sd), p);
        }
        bool ok = closeWindow(solver, s, p, g);
        if (ok) {
            ++out.closed;
            calH(c.tm, s, start, end);
            ok = (settings.repack ? repackSideChains(c.tm, c.pot, c.atoms, s, start, end)
                                  : refineSideChains(c.tm, c.pot, c.atoms, s, start, end)) &&
                 !frameClash(c.pot, c.atoms, s, start, end, c.tolerantClash);
        }
        double e = 0.0, r = 0.0;
        LoopScores sc{};
        if (ok) {
            sc = scoreLoop(c, s);
            r = restraint();
            e = refineEnergy(sc, weights) + r;
            ok = std::isfinite(e) && (e <= eCurrent || random.uniform() < std::exp(-(e - eCurrent) / settings.temperature));
        }
        if (!ok) {
            restore(current);
            continue;
        }
        ++out.accepted;
        save(current);
        eCurrent = e;
        if (e < eBest) {
            eBest = e;
            best = current;
            out.after = sc;
            out.restraintAfter = r;
        }
    }
    restore(best);
    return out;
}

}  // namespace lorvane
