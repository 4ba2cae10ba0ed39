// The scan of one seed's growth step: every 5-degree (phi, psi) bin of the
// residue being placed is tested in turn (bin probability, reach of the far
// anchor by the distance distributions, growth energy, closure or look-ahead
// of the next residue, far-side check). A candidate that passes gets weight 0.
#include <algorithm>
#include <cmath>
#include <limits>

#include "build/builders.h"
#include "distributions/distributions.h"
#include "growth/sampler.h"
#include "growth/step_math.h"

namespace lorvane {

namespace {

// The smallest float not below v: for every float x, x < floatAbove(v) exactly
// when x < v, so a clash test can run in single precision without changing.
inline float floatAbove(double v) {
    float f = static_cast<float>(v);
    if (static_cast<double>(f) < v) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
}

}  // namespace

void GrowOne::scanBins(SeedScan& sc) {
    lastLah_ = -1;
    std::fill(std::begin(shortSet_), std::end(shortSet_), false);
    std::fill(std::begin(long1Set_), std::end(long1Set_), false);
    std::fill(std::begin(long2Set_), std::end(long2Set_), false);
    std::fill(reachable.begin(), reachable.end(), 0);
    std::fill(validSC.begin(), validSC.end(), 0);
    prepareLookAheadGrid(structure[sc.next].type);
    for (int pa = 0; pa < NUM_BINS; ++pa)
        for (int pb = 0; pb < NUM_BINS; ++pb) scanCandidate(sc, pa, pb);
}

// Coarse bins of the look-ahead residue worth placing, by row and column.
void GrowOne::prepareLookAheadGrid(int qType) {
    for (int i = 0; i < COARSE_BINS; ++i) coarseRow_[i] = coarseCol_[i] = false;
    for (int i = 0; i < COARSE_BINS; ++i)
        for (int j = 0; j < COARSE_BINS; ++j) {
            coarseOk_[i][j] = torsionBinAllowed(torsionBinProb(dist, qType, i * COARSE_STEP, j * COARSE_STEP));
            coarseRow_[i] = coarseRow_[i] || coarseOk_[i][j];
            coarseCol_[j] = coarseCol_[j] || coarseOk_[i][j];
        }
}

void GrowOne::scanCandidate(SeedScan& sc, int pa, int pb) {
    const int k = NUM_BINS * pa + pb;
    weight[k] = REJECTED;
    cisCand[k] = 0;
    const double pbb = torsionBinProb(dist, sc.type, pa, pb);
    if (!torsionBinAllowed(pbb)) return;
    const int firstBin = sc.backward ? pb : pa;
    if (shortSet_[firstBin] && shortCache_[firstBin] > 100.0) {
        ++sc.tally.bbe;
        return;
    }
    // Candidate atoms: forward N(pos+1), CA(pos+1), C(pos), O(pos), CB(pos);
    // backward N(pos), CA(pos-1), C(pos-1), O(pos-1), CB(pos).
    const Point* P = &candPts[candPointIndex(pa, pb, 0)];
    std::array<Point, 5> at;
    at[0] = P[0];
    at[2] = P[2];
    at[4] = P[5];
    if (!sc.backward) {
        at[3] = P[3];
        if (sc.prolineBond && random.uniform() < 0.1) {
            cisCand[k] = 1;
            at[1] = calCoCA0(tm, sc.caP, at[2], at[0]);
        } else {
            at[1] = calCoCA(tm, sc.caP, at[2], at[0]);
        }
    } else {
        calCoCAOR(tm, sc.caP, at[0], at[2], at[1], at[3]);
    }
    double pm = 0.0, pc = 0.0;
    if (!reachesFarAnchor(sc, at, pm, pc)) return;
    const double E = candidateEnergy(sc, at, pa, pb);
    placeCandidate(sc, at);  // the closure reads the candidate from the structure
    if (sc.diag) estRmsd[k] = candidateDeviation(sc, at);
    lnPbb[k] = -std::log(torsionScoreProb(dist, sc.pos, sc.type, pa, pb, sc.keyPrev, sc.keyNext));
    lnPdist[k] = -std::log(pc * pm);
    energyE[k] = E;
    if (E > 100.0) {
        ++sc.tally.bbe;
        return;
    }
    candAtoms[k] = at;
    validSC[k] = 1;
    const bool feasible = candidateFeasible(sc, at, pa, pb, k, E);
    if (farSidePasses(sc, at[1], feasible))
        weight[k] = 0.0;
    else
        ++sc.tally.bbn;
}

// The distance distributions of the gap: can the far anchor still be reached
// from the candidate's end atoms? pm and pc are the marginal and conditional
// probabilities; a rejection is counted in the tally.
bool GrowOne::reachesFarAnchor(SeedScan& sc, const std::array<Point, 5>& at, double& pm, double& pc) const {
    const double d1 = sc.backward ? floatDistance(at[0], sc.caR) : floatDistance(at[2], sc.caR);
    const double d2 = floatDistance(at[1], sc.caR);
    ScanTally& t = sc.tally;
    if (!marginalProb(dist, sc.backward, sc.gap, d1, d2, pm)) return ++t.md1, false;
    if (pm < MIN_DIST_PROB) return ++t.md2, false;
    if (sc.condDegenerate) return ++t.cd1, false;
    if (!condProb(dist, sc.backward, sc.gap, sc.r0, d1 - sc.d0, d2 - sc.d0, pc)) return ++t.cd2, false;
    if (pc < MIN_DIST_PROB) return ++t.cd3, false;
    return true;
}

// Growth energy of the candidate, from the cached parts where they exist.
double GrowOne::candidateEnergy(const SeedScan& sc, const std::array<Point, 5>& at, int pa, int pb) {
    const bool backward = sc.backward;
    cur.atoms[SLOT_N] = at[0];
    cur.atoms[SLOT_C] = at[2];
    cur.atoms[SLOT_O] = at[3];
    if (resType_ != GLY) cur.atoms[SLOT_CB] = at[4];
    cur.atoms[SLOT_CA] = backward ? sc.caP : at[1];
    const int firstBin = backward ? pb : pa;
    const int h1 = firstBin / 2, h2 = (pa / 2) * HALF_BINS + pb / 2;
    if (!shortSet_[firstBin]) shortCache_[firstBin] = shortRangeEnergy(cur, backward, MovedBy::First), shortSet_[firstBin] = true;
    if (!long1Set_[h1]) long1Cache_[h1] = longRangeEnergy(cur, backward, MovedBy::First), long1Set_[h1] = true;
    if (!long2Set_[h2]) long2Cache_[h2] = longRangeEnergy(cur, backward, MovedBy::Both), long2Set_[h2] = true;
    return shortCache_[firstBin] + long1Cache_[h1] + long2Cache_[h2] + shortRangeEnergy(cur, backward, MovedBy::Both);
}

void GrowOne::placeCandidate(const SeedScan& sc, const std::array<Point, 5>& at) {
    Structure& s = structure;
    const int pos = sc.pos;
    if (!sc.backward) {
        s[pos].atoms[SLOT_C] = at[2];
        s[pos].atoms[SLOT_O] = at[3];
        if (sc.type != GLY) s[pos].atoms[SLOT_CB] = at[4];
        s[pos + 1].atoms[SLOT_N] = at[0];
        s[pos + 1].atoms[SLOT_CA] = at[1];
    } else {
        s[pos].atoms[SLOT_N] = at[0];
        if (sc.type != GLY) s[pos].atoms[SLOT_CB] = at[4];
        s[pos - 1].atoms[SLOT_C] = at[2];
        s[pos - 1].atoms[SLOT_O] = at[3];
        s[pos - 1].atoms[SLOT_CA] = at[1];
    }
}

// Estimated deviation of the seed with this candidate from the input (diagnostics).
float GrowOne::candidateDeviation(const SeedScan& sc, const std::array<Point, 5>& at) const {
    const Sampler& m = *sc.run;
    const int pos = sc.pos, step = sc.step;
    const double seedRmsd = sc.seedRmsd;
    const Residue& np = m.native[pos];
    double dev;
    if (!sc.backward) {
        const Residue& nn = m.native[pos + 1];
        dev = sqDist(at[2], np.atoms[SLOT_C]) + sqDist(at[3], np.atoms[SLOT_O]) + sqDist(at[0], nn.atoms[SLOT_N]) +
              sqDist(at[1], nn.atoms[SLOT_CA]);
        dev = (dev + 4.0 * step * seedRmsd * seedRmsd) / (4.0 * (step + 1));
    } else {
        const Residue& nn = m.native[pos - 1];
        dev = sqDist(sc.caP, np.atoms[SLOT_CA]) + sqDist(at[0], np.atoms[SLOT_N]) + sqDist(at[3], nn.atoms[SLOT_O]) +
              sqDist(at[2], nn.atoms[SLOT_C]) + sqDist(at[1], nn.atoms[SLOT_CA]);
        dev = (dev + 4.0 * step * seedRmsd * seedRmsd) / (4.0 * step + 5.0);
    }
    return static_cast<float>(std::sqrt(dev));
}

// Feasibility: the closure on the closing step, otherwise a look-ahead
// placement of the next residue (a success makes the neighbouring bins
// feasible too).
bool GrowOne::candidateFeasible(const SeedScan& sc, const std::array<Point, 5>& at, int pa, int pb, int k, double E) {
    if (sc.closure) {
        const int recorded = closeCandidate(structure, sc.c, k, E, sc.retry);
        closureCount[k] = static_cast<uint8_t>(recorded);
        return recorded > 0;
    }
    if (reachable[k]) return true;
    prepLah(structure, at[1], sc.next, sc.backward);
    if (!lookAhead(at[0], at[1], at[2], sc.caR, sc.backward, sc.gap)) return false;
    for (int x = std::max(0, pa - 1); x <= std::min(NUM_BINS - 1, pa + 1); ++x)
        for (int y = std::max(0, pb - 1); y <= std::min(NUM_BINS - 1, pb + 1); ++y) reachable[NUM_BINS * x + y] = 1;
    return true;
}

// Far-side check: can the far anchor still grow towards the new end a1?
bool GrowOne::farSidePasses(SeedScan& sc, const Point& a1, bool feasible) const {
    if (sc.gap < 4) return feasible;
    const bool opposite = !sc.backward;
    const double D = floatDistance(sc.caR, a1);
    const int r1 = endDistanceRow(D);
    if (condRowDegenerate(dist, opposite, sc.gap - 1, r1)) return true;
    if (!feasible) return false;
    // Any one placement suffices; the one that served the last candidate (a
    // neighbouring bin, mostly) is tried first.
    for (int i = 0; i < farCount; ++i) {
        const int f = i == 0 ? sc.lastFar : (i <= sc.lastFar ? i - 1 : i);
        const double e1 = floatDistance(farSet[f][0], a1), e2 = floatDistance(farSet[f][1], a1);
        double p = 0.0;
        if (!marginalProb(dist, opposite, sc.gap - 1, e1, e2, p) || !(p > MIN_DIST_PROB)) continue;
        if (!condProb(dist, opposite, sc.gap - 1, r1, e1 - D, e2 - D, p) || !(p > MIN_DIST_PROB)) continue;
        sc.lastFar = f;
        return true;
    }
    return false;
}

// Look-ahead: is there a coarse placement of the next residue q
// that keeps the far anchor within reach (marginal table of gap g - 1) and
// does not clash? Only existence matters, so the placements are built lazily,
// the one that succeeded last is tried first, and each clash test is made at
// the level its atom depends on: once per candidate (backward: CA(q), which is
// the candidate's own CA(pos-1)), once per row of the coarse grid (the atoms
// fixed by the one dihedral the first distance depends on), or per placement.
bool GrowOne::lookAhead(const Point& a0, const Point& a1, const Point& a2, const Point& caR, bool backward, int g) {
    enum { LN = 0, LCA = 1, LC = 2, LO = 3, LCB = 4 };
    const bool hasCB = lahTypeCount == 5;
    if (backward && lahClashes(a1, LCA)) return false;
    const double* lim = marginalLimits(dist, backward, g - 1);
    Point set1[NUM_BINS], tmpA[NUM_BINS], tmpB[NUM_BINS];
    // Per row of the lazily built grid (forward: phi' of q; backward: psi' of q):
    // 0 not built, 1 built, 2 unusable (first distance out of range, or a clash).
    uint8_t state[COARSE_BINS] = {};
    double e1[COARSE_BINS];
    Point inner[COARSE_BINS][COARSE_BINS], innerO[COARSE_BINS][COARSE_BINS];
    if (!backward)
        calCoCSet(tm, a2, a0, a1, set1, COARSE_STEP);  // C(q) per phi' from (C(pos), N(q), CA(q))
    else
        calCoNSetR(tm, a0, a2, a1, set1, COARSE_STEP);  // N(q) per psi' from (N(pos), C(q), CA(q))

    auto buildRow = [&](int row) -> bool {
        if (state[row] != 0) return state[row] == 1;
        state[row] = 2;
        const Point& R = set1[row * COARSE_STEP];
        e1[row] = floatDistance(R, caR);
        if (!distCoordInRange(distBinCoord(e1[row], lim[0], lim[1]))) return false;
        // Row atoms: forward C(q) and CB(q); backward N(q) and CB(q).
        if (lahClashes(R, backward ? LN : LC)) return false;
        const Point cb = backward ? calCoCB(tm, R, a2, a1) : calCoCB(tm, a0, R, a1);
        if (hasCB && lahClashes(cb, LCB)) return false;
        if (!backward)
            calCoONSet(tm, a0, a1, R, tmpA, tmpB, COARSE_STEP);  // N(q+1), O(q) per psi'
        else
            calCoCSetR(tm, a2, a1, R, tmpA, COARSE_STEP);  // C(q-1) per phi'
        for (int c = 0; c < COARSE_BINS; ++c) {
            inner[row][c] = tmpA[c * COARSE_STEP];
            if (!backward) innerO[row][c] = tmpB[c * COARSE_STEP];
        }
        state[row] = 1;
        return true;
    };
    auto tryBin = [&](int row, int col) -> bool {
        const bool ok = backward ? coarseOk_[col][row] : coarseOk_[row][col];
        if (!ok || !buildRow(row)) return false;
        const Point& R = set1[row * COARSE_STEP];
        double p = 0.0;
        if (!backward) {
            const Point CAn = calCoCA(tm, a1, R, inner[row][col]);  // CA(q+1)
            if (!marginalProb(dist, false, g - 1, e1[row], floatDistance(CAn, caR), p) || !(p > MIN_DIST_PROB)) return false;
            return !lahClashes(inner[row][col], LN) && !lahClashes(CAn, LCA) && !lahClashes(innerO[row][col], LO);
        }
        Point CAq, Oq;
        calCoCAOR(tm, a1, R, inner[row][col], CAq, Oq);  // CA(q-1), O(q-1)
        if (!marginalProb(dist, true, g - 1, e1[row], floatDistance(CAq, caR), p) || !(p > MIN_DIST_PROB)) return false;
        return !lahClashes(inner[row][col], LC) && !lahClashes(Oq, LO);
    };
    if (lastLah_ >= 0 && tryBin(lastLah_ / COARSE_BINS, lastLah_ % COARSE_BINS)) return true;
    for (int row = 0; row < COARSE_BINS; ++row) {
        if (!(backward ? coarseCol_[row] : coarseRow_[row])) continue;
        for (int col = 0; col < COARSE_BINS; ++col) {
            if (row * COARSE_BINS + col == lastLah_) continue;
            if (tryBin(row, col)) {
                lastLah_ = row * COARSE_BINS + col;
                return true;
            }
        }
    }
    return false;
}

void GrowOne::prepLah(Structure& s, const Point& p, int q, bool backward) {
    const bool gly = s[q].type == GLY;
    auto typeOf = [&](int r, int slot) { return atoms.pairType[atoms.slotIndex[r][slot]]; };
    if (!backward) {
        lahType[0] = typeOf(q + 1, SLOT_N);
        lahType[1] = typeOf(q + 1, SLOT_CA);
        lahType[2] = typeOf(q, SLOT_C);
        lahType[3] = typeOf(q, SLOT_O);
    } else {
        lahType[0] = typeOf(q, SLOT_N);
        lahType[1] = typeOf(q, SLOT_CA);
        lahType[2] = typeOf(q - 1, SLOT_C);
        lahType[3] = typeOf(q - 1, SLOT_O);
    }
    lahTypeCount = 4;
    if (!gly) lahType[lahTypeCount++] = typeOf(q, SLOT_CB);
    // Clash distances of every near atom against the look-ahead atoms: the
    // same for all candidates of the seed (one residue q per step).
    const size_t nearCap = nearEnv.x.size();
    if (nearLahQ_ != q || nearLahN_ != nearEnv.n) {
        for (int i = 0; i < nearEnv.n; ++i) {
            const double* clash = pot.ljClash[nearEnv.type[i]];
            for (int m = 0; m < lahTypeCount; ++m) nearLahThr_[m * nearCap + i] = floatAbove(clash[lahType[m]]);
        }
        nearLahQ_ = q;
        nearLahN_ = nearEnv.n;
    }
    lahCount = 0;
    // The look-ahead is evaluated for up to 144 placements per candidate:
    // positions and clash distances are laid out once here.
    for (int i = 0; i < nearEnv.n; ++i) {
        if (!(sqDist(nearEnv.x[i], nearEnv.y[i], nearEnv.z[i], p) < 36.0f)) continue;
        const int l = lahCount++;
        lahX[l] = nearEnv.x[i];
        lahY[l] = nearEnv.y[i];
        lahZ[l] = nearEnv.z[i];
        for (int m = 0; m < lahTypeCount; ++m) lahClash[m * lahStride() + l] = nearLahThr_[m * nearCap + i];
    }
}

bool GrowOne::lahClashes(const Point& a, int m) const {
    const int n = lahCount;
    const float* xs = lahX.data();
    const float* ys = lahY.data();
    const float* zs = lahZ.data();
    const float* thr = &lahClash[m * lahStride()];
    const float ax = a.x, ay = a.y, az = a.z;
    int hit = 0;
    // Branch-free over the list so that the compiler can vectorise it.
#pragma omp simd reduction(| : hit)
    for (int l = 0; l < n; ++l) {
        const float dx = xs[l] - ax, dy = ys[l] - ay, dz = zs[l] - az;
        hit |= (dx * dx + dy * dy + dz * dz) < thr[l];
    }
    return hit != 0;
}

}  // namespace lorvane
