// Monte Carlo refinement of one closed loop (loop_refinement.h).
#include "refine/loop_refinement.h"

#include <cmath>
#include <vector>

#include "build/side_chain.h"
#include "filter/filter.h"
#include "model/geometry.h"
#include "potentials/dfire.h"
#include "potentials/oscar.h"
#include "potentials/quenda.h"
#include "refine/closure_move.h"

namespace lorvane {

double loopTorsionEnergy(const RefineContext& c, const Structure& s) {
    double e = 0.0;
    for (int i = c.start; i <= c.end; ++i) {
        const double phi = Torsion(s[i - 1].atoms[SLOT_C], s[i].atoms[SLOT_N], s[i].atoms[SLOT_CA], s[i].atoms[SLOT_C]);
        const double psi = Torsion(s[i].atoms[SLOT_N], s[i].atoms[SLOT_CA], s[i].atoms[SLOT_C], s[i + 1].atoms[SLOT_N]);
        e += torsionEnergy(c.dist, c.bins, s[i].type, phi, psi);
    }
    return e;
}

LoopScores scoreLoop(const RefineContext& c, Structure& s) {
    double d1 = 0, d2 = 0, q1 = 0, q2 = 0, q3 = 0, q4 = 0;
    dfire_e(c.pot, c.atoms, s, c.start, c.end, d1, d2);
    const double side = oscar_e(c.pot, s, c.start, c.end) + scto_e(c.pot, c.tm, s, c.start, c.end);
    const double q = quenda_e(c.pot, s, c.start, c.end, true, q1, q2, q3, q4);
    return {d1 + d2, side, q, loopTorsionEnergy(c, s)};
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
    double eCurrent = refineEnergy(out.before, weights), eBest = eCurrent;
    TripeptideClosure solver;
    const double sd = settings.turnDeg * DEG2RAD;
    for (int m = 0; m < settings.moves; ++m) {
        ++out.tried;
        // Window p..p+2 with at least one residue before it inside the loop.
        const int p = start + 1 + random.below(n - 3);
        const WindowGeometry g = measureWindow(s, p);
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
            ok = refineSideChains(c.tm, c.pot, c.atoms, s, start, end) &&
                 !frameClash(c.pot, c.atoms, s, start, end, c.tolerantClash);
        }
        double e = 0.0;
        LoopScores sc{};
        if (ok) {
            sc = scoreLoop(c, s);
            e = refineEnergy(sc, weights);
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
        }
    }
    restore(best);
    return out;
}

}  // namespace lorvane
