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
#include <array>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "build/builders.h"
#include "closure/tripeptide.h"
#include "growth/sampler.h"
#include "growth/step_math.h"
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

// 5-degree bin of a dihedral given in radians (-1 for NaN). The grid is
// periodic: +180 deg is the bin of -180 deg, not a 73rd bin. Degrees to
// radians and back scales by 1 + 2e-16, so a measured -180 deg comes back a
// hair below -180; it stays in bin 0 instead of becoming bin -1.
int closureTorsionBin(double radians) {
    const double deg = radians * RAD2DEG;
    if (!std::isfinite(deg)) return -1;
    double x = (deg + 180.0) * 0.2;
    if (x < 0.0 && x > -1e-9) x = 0.0;
    int b = static_cast<int>(std::floor(x));
    b %= NUM_BINS;
    if (b < 0) b += NUM_BINS;
    return b;
}

int GrowOne::closeCandidate(Structure& s, int c, int k, double E, bool retry) {
    std::vector<double>& weights = closureW;
    const size_t first = static_cast<size_t>(k) * CLOSURE_SLOTS;
    if (k < 0 || first + CLOSURE_SLOTS > weights.size() || first + CLOSURE_SLOTS > closureData.size() ||
        first + CLOSURE_SLOTS > closureAtoms.size())
        fail("closure: candidate " + std::to_string(k) + " lies outside the closure record area of " + std::to_string(weights.size()) +
             " entries");
    if (c < 2 || c + 3 > s._numRes)
        fail("closure: residues " + std::to_string(c) + ".." + std::to_string(c + 2) + " need both neighbours");

    const int t[3] = {s[c].type, s[c + 1].type, s[c + 2].type};
    for (int i = 0; i < 3; ++i)
        if (t[i] < 0 || t[i] >= 20) fail("closure: residue " + std::to_string(c + i) + " has no amino-acid type");

    // 1. Geometry of the tripeptide; the free angles are drawn in this order.
    const double theta1 = random.normal(THETA_MEAN, THETA_SD);
    const double theta2 = random.normal(THETA_MEAN, THETA_SD);
    const double omega1 = random.normal(OMEGA_MEAN, OMEGA_SD);
    const double omega2 = random.normal(OMEGA_MEAN, OMEGA_SD);
    const double len[6] = {tm.bondLength[t[0]][SLOT_C], tm.bondLength[t[1]][SLOT_N], tm.bondLength[t[1]][SLOT_CA],
                           tm.bondLength[t[1]][SLOT_C], tm.bondLength[t[2]][SLOT_N], tm.bondLength[t[2]][SLOT_CA]};
    const double ang[7] = {theta1, tm.bondAngle[t[1]][SLOT_N], tm.bondAngle[t[1]][SLOT_CA], theta2,
                           tm.bondAngle[t[2]][SLOT_N], tm.bondAngle[t[2]][SLOT_CA], tm.bondAngle[t[2]][SLOT_C]};
    const double tor[2] = {omega1, omega2};
    tripeptide.initialize(len, ang, tor);

    // 2. Every closure of the anchors.
    double n1[3], ca1[3], ca3[3], c3[3];
    toArray(s[c].atoms[SLOT_N], n1);
    toArray(s[c].atoms[SLOT_CA], ca1);
    toArray(s[c + 2].atoms[SLOT_CA], ca3);
    toArray(s[c + 2].atoms[SLOT_C], c3);
    double solN[16][3][3], solA[16][3][3], solC[16][3][3];
    int numSoln = 0;
    if (solver)
        solver(tripeptide, n1, ca1, ca3, c3, solN, solA, solC, &numSoln);
    else
        tripeptide.solve(n1, ca1, ca3, c3, solN, solA, solC, &numSoln);
    if (numSoln <= 0) return 0;
    if (numSoln > 16) numSoln = 16;

    // 3. Complete, screen, score and record, in the solver's order. The record
    // area holds CLOSURE_SLOTS entries per candidate; further closures would
    // belong to the next candidate, so the scan stops once it is full.
    int accepted = 0;
    for (int j = 0; j < numSoln && accepted < CLOSURE_SLOTS; ++j) {
        for (int i = 0; i < 3; ++i) {
            Residue& r = s[c + i];
            r.atoms[SLOT_N] = toPoint(solN[j][i]);
            r.atoms[SLOT_CA] = toPoint(solA[j][i]);
            r.atoms[SLOT_C] = toPoint(solC[j][i]);
        }
        double phi[3], psi[3], omega[3];
        double eTor = 0.0;
        for (int i = 0; i < 3; ++i) {
            const int q = c + i;
            Residue& r = s[q];
            const Residue& prev = s[q - 1];
            const Residue& next = s[q + 1];
            psi[i] = Torsion(r.atoms[SLOT_N], r.atoms[SLOT_CA], r.atoms[SLOT_C], next.atoms[SLOT_N]) * DEG2RAD;
            phi[i] = Torsion(prev.atoms[SLOT_C], r.atoms[SLOT_N], r.atoms[SLOT_CA], r.atoms[SLOT_C]) * DEG2RAD;
            omega[i] = Torsion(r.atoms[SLOT_CA], r.atoms[SLOT_C], next.atoms[SLOT_N], next.atoms[SLOT_CA]) * DEG2RAD;
            const int a = closureTorsionBin(phi[i]), b = closureTorsionBin(psi[i]);
            const double p = (a < 0 || b < 0) ? 0.0 : torsionBinProb(dist, t[i], a, b);
            eTor -= std::log(p);
            calCo(r.atoms[SLOT_N], r.atoms[SLOT_CA], r.atoms[SLOT_C], tm.bondLength[t[i]][SLOT_O], tm.bondAngle[t[i]][SLOT_O], psi[i] + PI, r.atoms[SLOT_O]);
            if (t[i] == GLY) {
                r.numAtoms = 5;
            } else {
                calCo(r.atoms[SLOT_N], r.atoms[SLOT_C], r.atoms[SLOT_CA], tm.bondLength[t[i]][SLOT_CB], tm.bondAngle[t[i]][SLOT_CB], CB_DIHEDRAL, r.atoms[SLOT_CB]);
                r.numAtoms = 6;
            }
        }
        if (!(eTor < TOR_LIMIT)) continue;  // also drops an infinite energy (a bin of probability 0)

        const double score = closureScore(s, c);
        if (!(score < ENERGY_CUT) && !retry) continue;

        const size_t e = first + static_cast<size_t>(accepted);
        weights[e] = score + E;
        std::array<float, 8>& d = closureData[e];
        d[0] = static_cast<float>(phi[0]);
        d[1] = static_cast<float>(psi[0]);
        d[2] = static_cast<float>(omega[0]);
        d[3] = static_cast<float>(theta1 * RAD2DEG);
        d[4] = static_cast<float>(phi[1]);
        d[5] = static_cast<float>(psi[1]);
        d[6] = static_cast<float>(omega[1]);
        d[7] = static_cast<float>(theta2 * RAD2DEG);
        std::array<Point, 8>& at = closureAtoms[e];
        at[0] = s[c].atoms[SLOT_C];
        at[1] = s[c].atoms[SLOT_O];
        at[2] = s[c + 1].atoms[SLOT_N];
        at[3] = s[c + 1].atoms[SLOT_CA];
        at[4] = s[c + 1].atoms[SLOT_C];
        at[5] = s[c + 1].atoms[SLOT_O];
        at[6] = s[c + 2].atoms[SLOT_N];
        at[7] = s[c + 2].atoms[SLOT_CA];
        ++accepted;
    }
    return accepted;
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
    const int nEnv = closeEnvCount;
    for (int m = 0; m < nEnv; ++m) {
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
        for (int m = 0; m < nEnv; ++m) {
            const double d2 = sqDist(cb, closeEnvPos[m]);
            if (d2 < maxd2) sum += value(tc, closeEnvType[m], d2);
        }
    }
    return sum;
}

}  // namespace lorvane
