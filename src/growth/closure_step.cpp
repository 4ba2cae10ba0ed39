// Analytic closure of the last three loop residues inside chain growth.
//
// For one candidate placement of the residue before the gap, the free angles
// of the tripeptide (the N-CA-C angles of its first two residues and its two
// peptide torsions) are drawn at random, every exact closure of the anchors
// N(c), CA(c), CA(c+2), C(c+2) is computed (tripeptide.h), each closure is
// completed with O and CB, screened by the backbone torsion-bin probabilities
// and by the sampling pair table, and the accepted ones are recorded in the
// thread's workspace for the growth step to draw children from.
//
// Numbers used here:
// - N-CA-C angle drawn as N(1.92 rad, 0.06 rad), i.e. about 110.0 +- 3.4 deg;
//   compare 111.2 +- 2.8 deg of Engh & Huber, Acta Cryst. A47:392-400 (1991).
// - Peptide torsion drawn as N(3.129375 rad, 0.0541 rad), about 179.3 +- 3.1 deg;
//   compare the spread of omega about planarity in MacArthur & Thornton,
//   J. Mol. Biol. 264:1180-1195 (1996).
// - CB placed at the dihedral N-C-CA-CB = 2.138900998319049 rad (122.55 deg),
//   the L-residue chirality of the Engh & Huber geometry above.
// - Screening limits: torsion-bin energy -sum ln P below 50, pair score below
//   200 (internal pairs: any value above 10 is a clash, sum above 200 fails;
//   frame: running sum above 1000 fails). These are the sampler's own cut-offs.
//
// Everything lives in the thread's GrowOne workspace (with its solver) or on
// the stack: no allocation on this hot path.
#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "build/builders.h"
#include "closure/tripeptide.h"
#include "distributions/torsion_bin_rule.h"
#include "growth/sampler.h"
#include "growth/step_math.h"
#include "model/backbone_dihedrals.h"
#include "model/error.h"

namespace lorvane {

namespace {

constexpr double TOR_LIMIT = 50.0;        // torsion-bin energy at which a closure is dropped
constexpr double CLASH_VALUE = 10.0;      // an internal pair value above this is a clash
constexpr double FRAME_LIMIT = 1000.0;    // running frame sum above this fails
constexpr double THETA_MEAN = 1.92, THETA_SD = 0.06;
constexpr double OMEGA_MEAN = 3.129375, OMEGA_SD = 0.0541;

inline Point toPoint(const double v[3]) { return Point(static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])); }

inline void toArray(const Point& p, double v[3]) {
    v[0] = p.x;
    v[1] = p.y;
    v[2] = p.z;
}

}  // namespace

int closureTorsionBin(double radians, TorsionBinRule rule) { return torsionBinOf(radians * RAD2DEG, rule); }

namespace {

// The closure atoms of one completed solution: C(c), O(c), N(c+1), CA(c+1),
// C(c+1), O(c+1), N(c+2), CA(c+2).
std::array<Point, 8> closureAtomsOf(const Structure& s, int c) {
    return {s[c].atoms[SLOT_C],      s[c].atoms[SLOT_O],      s[c + 1].atoms[SLOT_N], s[c + 1].atoms[SLOT_CA],
            s[c + 1].atoms[SLOT_C],  s[c + 1].atoms[SLOT_O],  s[c + 2].atoms[SLOT_N], s[c + 2].atoms[SLOT_CA]};
}

}  // namespace

double closureAtomDistance2(const ClosureSolution& a, const ClosureSolution& b) {
    double d = 0.0;
    for (int i = 0; i < 8; ++i) d += sqDist(a.atoms[i], b.atoms[i]);
    return d;
}

std::vector<int> keepDistinctClosures(const std::vector<ClosureSolution>& sols, int cap, double distinct) {
    std::vector<int> order(sols.size());
    for (size_t i = 0; i < sols.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return sols[a].score < sols[b].score; });
    const double limit = 8.0 * distinct * distinct;
    std::vector<int> kept;
    for (int i : order) {
        if (static_cast<int>(kept.size()) >= cap) break;
        bool same = false;
        for (int j : kept)
            if (closureAtomDistance2(sols[i], sols[j]) < limit) {
                same = true;
                break;
            }
        if (!same) kept.push_back(i);
    }
    return kept;
}

int GrowOne::solveClosure(Structure& s, int c, const double theta[3], const double omega[2], double solN[16][3][3],
                          double solA[16][3][3], double solC[16][3][3]) {
    const int t[3] = {s[c].type, s[c + 1].type, s[c + 2].type};
    const double len[6] = {tm.bondLength[t[0]][SLOT_C], tm.bondLength[t[1]][SLOT_N], tm.bondLength[t[1]][SLOT_CA],
                           tm.bondLength[t[1]][SLOT_C], tm.bondLength[t[2]][SLOT_N], tm.bondLength[t[2]][SLOT_CA]};
    const double ang[7] = {theta[0], tm.bondAngle[t[1]][SLOT_N], tm.bondAngle[t[1]][SLOT_CA], theta[1],
                           tm.bondAngle[t[2]][SLOT_N], tm.bondAngle[t[2]][SLOT_CA], theta[2]};
    tripeptide.initialize(len, ang, omega);
    double n1[3], ca1[3], ca3[3], c3[3];
    toArray(s[c].atoms[SLOT_N], n1);
    toArray(s[c].atoms[SLOT_CA], ca1);
    toArray(s[c + 2].atoms[SLOT_CA], ca3);
    toArray(s[c + 2].atoms[SLOT_C], c3);
    int numSoln = 0;
    if (solver)
        solver(tripeptide, n1, ca1, ca3, c3, solN, solA, solC, &numSoln);
    else
        tripeptide.solve(n1, ca1, ca3, c3, solN, solA, solC, &numSoln);
    return std::clamp(numSoln, 0, 16);
}

bool GrowOne::acceptClosure(Structure& s, int c, const double n[3][3], const double ca[3][3], const double cc[3][3],
                            const double theta[3], bool retry, ClosureSolution& sol) const {
    const int t[3] = {s[c].type, s[c + 1].type, s[c + 2].type};
    for (int i = 0; i < 3; ++i) {
        Residue& r = s[c + i];
        r.atoms[SLOT_N] = toPoint(n[i]);
        r.atoms[SLOT_CA] = toPoint(ca[i]);
        r.atoms[SLOT_C] = toPoint(cc[i]);
    }
    double eTor = 0.0;
    // Every closure residue's N, CA, C is placed, so both neighbours' conformations are known.
    const bool byConformation = dist.usesConformation(c);
    for (int i = 0; i < 3; ++i) {
        const int q = c + i;
        Residue& r = s[q];
        sol.psi[i] = psiAt(s, q) * DEG2RAD;
        sol.phi[i] = phiAt(s, q) * DEG2RAD;
        sol.omega[i] = omegaAt(s, q) * DEG2RAD;
        const TorsionBinRule binRule = run.settings.protocol.torsionBins;
        const int a = closureTorsionBin(sol.phi[i], binRule), b = closureTorsionBin(sol.psi[i], binRule);
        const int kp = byConformation ? conformationKeyAt(s, q - 1) : -1, kn = byConformation ? conformationKeyAt(s, q + 1) : -1;
        const double p = (a < 0 || b < 0) ? 0.0 : torsionScoreProb(dist, q, t[i], a, b, kp, kn);
        eTor -= std::log(p);
        calCo(r.atoms[SLOT_N], r.atoms[SLOT_CA], r.atoms[SLOT_C], tm.bondLength[t[i]][SLOT_O], tm.bondAngle[t[i]][SLOT_O], sol.psi[i] + PI,
              r.atoms[SLOT_O]);
        if (t[i] == GLY) {
            r.numAtoms = 5;
        } else {
            calCo(r.atoms[SLOT_N], r.atoms[SLOT_C], r.atoms[SLOT_CA], tm.bondLength[t[i]][SLOT_CB], tm.bondAngle[t[i]][SLOT_CB],
                  CB_DIHEDRAL, r.atoms[SLOT_CB]);
            r.numAtoms = 6;
        }
    }
    if (!(eTor < TOR_LIMIT)) return false;  // also drops an infinite energy (a bin of probability 0)
    sol.atoms = closureAtomsOf(s, c);
    sol.score = closureScore(s, c);
    if (!(sol.score < ENERGY_CUT) && !retry) return false;
    sol.thetaDeg[0] = theta[0] * RAD2DEG;
    sol.thetaDeg[1] = theta[1] * RAD2DEG;
    return true;
}

void GrowOne::recordClosure(size_t e, const ClosureSolution& sol, double E) {
    closureW[e] = sol.score + E;
    std::array<float, 8>& d = closureData[e];
    d[0] = static_cast<float>(sol.phi[0]);
    d[1] = static_cast<float>(sol.psi[0]);
    d[2] = static_cast<float>(sol.omega[0]);
    d[3] = static_cast<float>(sol.thetaDeg[0]);
    d[4] = static_cast<float>(sol.phi[1]);
    d[5] = static_cast<float>(sol.psi[1]);
    d[6] = static_cast<float>(sol.omega[1]);
    d[7] = static_cast<float>(sol.thetaDeg[1]);
    closureAtoms[e] = sol.atoms;
}

int GrowOne::closeCandidate(Structure& s, int c, int k, double E, bool retry) {
    const size_t first = static_cast<size_t>(k) * CLOSURE_SLOTS;
    if (k < 0 || first + CLOSURE_SLOTS > closureW.size() || first + CLOSURE_SLOTS > closureData.size() ||
        first + CLOSURE_SLOTS > closureAtoms.size())
        fail("closure: candidate " + std::to_string(k) + " lies outside the closure record area of " + std::to_string(closureW.size()) +
             " entries");
    if (c < 2 || c + 3 > s._numRes)
        fail("closure: residues " + std::to_string(c) + ".." + std::to_string(c + 2) + " need both neighbours");

    const int t[3] = {s[c].type, s[c + 1].type, s[c + 2].type};
    for (int i = 0; i < 3; ++i)
        if (t[i] < 0 || t[i] >= 20) fail("closure: residue " + std::to_string(c + i) + " has no amino-acid type");

    const int draws = run.settings.protocol.closeDraws;
    if (draws > 0) return closeCandidateFlexible(s, c, k, E, retry, draws);

    // 1. Geometry of the tripeptide; the free angles are drawn in this order.
    double theta[3], omega[2];
    theta[0] = random.normal(THETA_MEAN, THETA_SD);
    theta[1] = random.normal(THETA_MEAN, THETA_SD);
    omega[0] = random.normal(OMEGA_MEAN, OMEGA_SD);
    omega[1] = random.normal(OMEGA_MEAN, OMEGA_SD);
    theta[2] = tm.bondAngle[t[2]][SLOT_C];

    // 2. Every closure of the anchors.
    double solN[16][3][3], solA[16][3][3], solC[16][3][3];
    const int numSoln = solveClosure(s, c, theta, omega, solN, solA, solC);

    // 3. Complete, screen, score and record, in the solver's order. The record
    // area holds CLOSURE_SLOTS entries per candidate; further closures would
    // belong to the next candidate, so the scan stops once it is full.
    int accepted = 0;
    for (int j = 0; j < numSoln && accepted < CLOSURE_SLOTS; ++j) {
        ClosureSolution sol;
        if (!acceptClosure(s, c, solN[j], solA[j], solC[j], theta, retry, sol)) continue;
        recordClosure(first + static_cast<size_t>(accepted), sol, E);
        ++accepted;
    }
    return accepted;
}

// Closure with more freedom: the classic closure draws one set of N-CA-C
// angles and peptide torsions per candidate, so a candidate whose anchors
// need a slightly wider angle gets no closure or a distorted one. Here each
// candidate tries `draws` geometries from the train-derived backbone angles
// (N-CA-C of c, c+1, c+2 by residue type, both peptide torsions by the type
// after the bond) and keeps its distinct solutions by score.
int GrowOne::closeCandidateFlexible(Structure& s, int c, int k, double E, bool retry, int draws) {
    const BackboneAngleTable& tab = dist.backboneAngles;
    if (!tab.loaded) fail("closure: the flexible closure needs the backbone angle table (data/backbone_angles.txt)");
    const int t[3] = {s[c].type, s[c + 1].type, s[c + 2].type};
    flexibleFound.clear();
    double solN[16][3][3], solA[16][3][3], solC[16][3][3];
    for (int d = 0; d < draws; ++d) {
        double theta[3], omega[2];
        for (int i = 0; i < 3; ++i) theta[i] = ncacQuantile(tab, t[i], random.uniform()) * DEG2RAD;
        omega[0] = random.normal(tab.omegaMean[t[1]], tab.omegaSd[t[1]]) * DEG2RAD;
        omega[1] = random.normal(tab.omegaMean[t[2]], tab.omegaSd[t[2]]) * DEG2RAD;
        const int numSoln = solveClosure(s, c, theta, omega, solN, solA, solC);
        for (int j = 0; j < numSoln; ++j) {
            ClosureSolution sol;
            if (acceptClosure(s, c, solN[j], solA[j], solC[j], theta, retry, sol)) flexibleFound.push_back(sol);
        }
    }
    const std::vector<int> kept = keepDistinctClosures(flexibleFound, CLOSURE_SLOTS, DISTINCT_CLOSURE_RMSD);
    const size_t first = static_cast<size_t>(k) * CLOSURE_SLOTS;
    for (size_t i = 0; i < kept.size(); ++i) recordClosure(first + i, flexibleFound[kept[i]], E);
    return static_cast<int>(kept.size());
}

double GrowOne::closureScore(const Structure& s, int c) const {
    const double maxd2 = pot.maxDis2, binsPerA = pot.binsPerA;
    // The squared-distance cut-off decides the largest bin read.
    if (!(maxd2 * binsPerA <= ETABLE_BINS))
        fail("closure score: pair-table cut-off " + std::to_string(maxd2) + " A^2 at " + std::to_string(binsPerA) +
             " bins per A^2 exceeds the table's " + std::to_string(ETABLE_BINS) + " bins");
    auto value = [&](int ta, int tb, double d2) { return pot.pairEnergy(ta, tb, d2); };

    // 1. Pairs inside the closure region: a clash ends it; only (i, i+2)
    // pairs count towards the sum.
    double sum = 0.0;
    for (const ClosurePair& rec : run.closurePairs) {
        const double d2 = sqDist(s[rec[0]].atoms[rec[1]], s[rec[2]].atoms[rec[3]]);
        if (!(d2 < maxd2)) continue;
        const double v = value(rec[4], rec[5], d2);
        if (v > CLASH_VALUE) return REJECTED;
        if (rec[6] == 2) sum += v;
    }
    if (sum > ENERGY_CUT) return REJECTED;

    // 2. Backbone of the closure against the frame.
    const Point bb[8] = {s[c].atoms[SLOT_C],      s[c].atoms[SLOT_O],     s[c + 1].atoms[SLOT_C], s[c + 1].atoms[SLOT_O],
                         s[c + 1].atoms[SLOT_CA], s[c + 1].atoms[SLOT_N], s[c + 2].atoms[SLOT_N], s[c + 2].atoms[SLOT_CA]};
    const int bbType[8] = {closeAtomType[0], closeAtomType[1], closeAtomType[2], closeAtomType[3],
                           closeAtomType[4], closeAtomType[5], closeAtomType[6], closeAtomType[10]};
    // Environment atoms farther than the cut-off from every closure atom add
    // nothing: one distance to the middle CA leaves them out, in their order,
    // so the sums and the early exit stay exactly those over the whole list.
    const Point mid = s[c + 1].atoms[SLOT_CA];
    double spread2 = 0.0;
    for (const Point& a : bb) spread2 = std::max(spread2, static_cast<double>(sqDist(a, mid)));
    for (int i = 0; i < 3; ++i)
        if (s[c + i].type != GLY) spread2 = std::max(spread2, static_cast<double>(sqDist(s[c + i].atoms[SLOT_CB], mid)));
    // 0.05 A covers the rounding of the float distances.
    const double lim = std::sqrt(spread2) + std::sqrt(maxd2) + 0.05;
    const double lim2 = lim * lim;
    if (closeNear_.size() < static_cast<size_t>(closeEnvCount)) closeNear_.resize(closeEnvCount);
    int nEnv = 0;
    for (int m = 0; m < closeEnvCount; ++m)
        if (sqDist(closeEnvPos[m], mid) <= lim2) closeNear_[nEnv++] = m;

    for (int j = 0; j < nEnv; ++j) {
        const int m = closeNear_[j];
        const Point& p = closeEnvPos[m];
        const int te = closeEnvType[m];
        for (int a = 0; a < 8; ++a) {
            const double d2 = sqDist(bb[a], p);
            if (d2 < maxd2) sum += value(bbType[a], te, d2);
        }
        if (sum > FRAME_LIMIT) return REJECTED;
    }

    // 3. CB atoms against the frame (glycine has none).
    for (int i = 0; i < 3; ++i) {
        if (s[c + i].type == GLY) continue;
        const Point cb = s[c + i].atoms[SLOT_CB];
        const int tc = closeAtomType[7 + i];
        for (int j = 0; j < nEnv; ++j) {
            const int m = closeNear_[j];
            const double d2 = sqDist(cb, closeEnvPos[m]);
            if (d2 < maxd2) sum += value(tc, closeEnvType[m], d2);
        }
    }
    return sum;
}

}  // namespace lorvane
