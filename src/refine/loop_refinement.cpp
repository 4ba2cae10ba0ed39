// Monte Carlo refinement of one closed loop (loop_refinement.h).
#include "refine/loop_refinement.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "build/side_chain.h"
#include "filter/filter.h"
#include "model/backbone_dihedrals.h"
#include "refine/backbone_restraint.h"
#include "refine/closure_move.h"

namespace lorvane {

namespace {

// Cumulative coil torsion-bin probabilities of each loop residue's type, for
// drawing a whole new phi/psi pair (jump moves).
std::vector<std::vector<double>> torsionCumulative(const RefineContext& c, const Structure& s) {
    std::vector<std::vector<double>> cum;
    for (int r = c.start; r <= c.end; ++r) {
        std::vector<double> row(static_cast<size_t>(NUM_BINS) * NUM_BINS, 0.0);
        double total = 0.0;
        const int type = s[r].type;
        for (int a = 0; a < NUM_BINS; ++a)
            for (int b = 0; b < NUM_BINS; ++b) {
                const double p = type >= 0 && type < NUM_TYPES ? torsionBinProb(c.dist, type, a, b) : 1.0;
                if (torsionBinAllowed(p)) total += p;
                row[static_cast<size_t>(NUM_BINS) * a + b] = total;
            }
        cum.push_back(std::move(row));
    }
    return cum;
}

// The turns that set phi and psi of residue r to a pair drawn from its table:
// bin by probability, angle uniform within the bin (bin k centred on -180 + 5k).
void jumpResidue(const std::vector<double>& cum, Structure& s, int r, int last, RandomStream& random) {
    if (!(cum.back() > 0.0)) return;
    const double u = random.uniform() * cum.back();
    const size_t k = std::min(static_cast<size_t>(std::upper_bound(cum.begin(), cum.end(), u) - cum.begin()), cum.size() - 1);
    const double width = 360.0 / NUM_BINS;
    const double phi = -180.0 + width * static_cast<double>(k / NUM_BINS) + width * (random.uniform() - 0.5);
    const double psi = -180.0 + width * static_cast<double>(k % NUM_BINS) + width * (random.uniform() - 0.5);
    turnDihedral(s, r, false, (phi - phiAt(s, r)) * DEG2RAD, last);
    turnDihedral(s, r, true, (psi - psiAt(s, r)) * DEG2RAD, last);
}

}  // namespace

MoveResult moveLoop(const RefineContext& c, const RefineSettings& settings, const std::vector<std::vector<double>>& cum, Structure& s,
                    TripeptideClosure& solver, RandomStream& random) {
    const int start = c.start, n = c.end - c.start + 1;
    const double sd = settings.turnDeg * DEG2RAD;
    // Window p..p+2 with at least one residue before it inside the loop.
    const int p = start + 1 + random.below(n - 3);
    WindowGeometry g = measureWindow(s, p);
    if (settings.geometry) bendWindow(g, c.dist.backboneAngles, s, p, settings.bendStep, random);
    const int turns = 1 + random.below(2);
    // With jump moves, a third of the moves jump and the rest turn as usual.
    const bool jump = settings.jump && random.below(3) == 0;
    for (int t = 0; t < turns; ++t) {
        // A jump turns one of the two residues next to the window: a whole new
        // pair moves far, and a short lever keeps the window closable.
        const int r = jump ? std::max(start, p - 1 - random.below(2)) : start + random.below(p - start);
        if (jump) {
            jumpResidue(cum[r - start], s, r, p, random);
        } else {
            turnDihedral(s, r, false, random.normal(0.0, sd), p);
            turnDihedral(s, r, true, random.normal(0.0, sd), p);
        }
    }
    MoveResult out;
    out.closed = closeWindow(solver, s, p, g);
    if (out.closed) {
        calH(c.tm, s, start, c.end);
        out.clear = (settings.repack ? repackSideChains(c.tm, c.pot, c.atoms, s, start, c.end, c.rotamerPrior)
                                     : refineSideChains(c.tm, c.pot, c.atoms, s, start, c.end)) &&
                    !frameClash(c.pot, c.atoms, s, start, c.end, c.tolerantClash);
    }
    return out;
}

LoopScores scoreLoop(const RefineContext& c, Structure& s) {
    const FinalTerms f = finalTerms(c.tm, c.pot, c.atoms, s, c.start, c.end, c.smooth);
    return {f.dfire(), f.sideChain(), f.q, loopTorsionEnergy(c.dist, c.bins, s, c.start, c.end, c.smooth)};
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
    const std::vector<std::vector<double>> cum = settings.jump ? torsionCumulative(c, s) : std::vector<std::vector<double>>();
    const double cooling = settings.moves > 1 ? std::log(settings.temperature / settings.startTemperature) / (settings.moves - 1) : 0.0;
    for (int m = 0; m < settings.moves; ++m) {
        const double T = settings.jump ? settings.startTemperature * std::exp(cooling * m) : settings.temperature;
        ++out.tried;
        const MoveResult moved = moveLoop(c, settings, cum, s, solver, random);
        out.closed += moved.closed;
        bool ok = moved.clear;
        double e = 0.0, r = 0.0;
        LoopScores sc{};
        if (ok) {
            sc = scoreLoop(c, s);
            r = restraint();
            e = refineEnergy(sc, weights) + r;
            ok = std::isfinite(e) && (e <= eCurrent || random.uniform() < std::exp(-(e - eCurrent) / T));
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
