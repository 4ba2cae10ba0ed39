// The parallel growth step: every seed of the population is rebuilt from its
// path records, all 72 x 72 backbone torsion bins of the residue being placed
// are tested (bin probability, reach of the far anchor by the distance
// distributions, growth energy, look-ahead or closure, far-side check), side
// chains are placed on the survivors, and up to 100 distinct feasible bins
// become the seed's children.
#include <omp.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "build/builders.h"
#include "distributions/distributions.h"
#include "growth/sampler.h"
#include "model/deviation.h"
#include "model/error.h"

namespace lorvane {

namespace {

constexpr int N_ = SLOT_N, CA_ = SLOT_CA, C_ = SLOT_C, O_ = SLOT_O, CB_ = SLOT_CB;
constexpr double REJECT = REJECTED;
constexpr double NCAC_DEG = 111.2;
constexpr double NCAC_RAD = NCAC_DEG * DEG2RAD;
constexpr int HALF = NUM_BINS / 2;

inline double binAngle(int bin) { return -PI + bin * BIN_WIDTH; }
inline double uniformDraw() { return (std::rand() + 0.5) * (1.0 / 2147483648.0); }
// |a - b| with the precision of Point::dis (float differences, sum and root), inlined.
inline double fdis(const Point& a, const Point& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    const float s = dx * dx + dy * dy + dz * dz;
    return std::sqrt(s);
}
inline float sq(const Point& a, const Point& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

double threadCpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + 1e-9 * ts.tv_nsec;
}

// Per-seed rejection counters (the columns of the diagnostic line).
struct Tally {
    int md1 = 0, md2 = 0, cd1 = 0, cd2 = 0, cd3 = 0, bbe = 0, sce = 0, bbn = 0;
};

}  // namespace

int growStep(Sampler& run, int step, bool retry) {
    const int pos = run.plan.order[step], rpos = run.plan.farPos[step];
    const bool backward = run.plan.backward[step];
    const bool diag = run.settings.diag;
    Structure& s = run.work;
    const int gap = std::abs(rpos - pos);
    int c = -1;
    if (gap == 3) {
        c = run.plan.closure;
        buildClosurePairs(run, c, run.plan.backward[run.plan.steps - 1]);
    }
    const int type = s[pos].type;
    const int numRot = isAminoAcid(type) ? run.pot.rotamers.count[type] : 0;

    const int threads = static_cast<int>(run.workspaces.size());
    for (GrowOne& g : run.workspaces) {
        g.structure = s;
        g.ensureCapacity(run.atoms.numAtoms);
    }

    std::vector<std::string> lines(diag ? std::max(run.liveSeeds, 0) : 0);
    int deadEnds = 0, partial = 0;
    if (diag) std::cerr << " Seed RMSD Feas  MD1  MD2  CD1  CD2  CD3  BBE  SCE  BBN mRMS Sel" << std::endl;

    GrowStepArgs a;
    a.run = &run;
    a.diagLines = &lines;
    a.deadEnds = &deadEnds;
    a.partial = &partial;
    a.pos = pos;
    a.rpos = rpos;
    a.step = step;
    a.gap = gap;
    a.c = c;
    a.numRot = numRot;
    a.backward = backward;
    a.retry = retry;
    a.diag = diag;

    const int L = std::min(run.liveSeeds, run.seeds.capacity);
    FirstError error;
#pragma omp parallel num_threads(threads)
    error.run([&] {
        const int t = omp_get_thread_num();
        const int T = omp_get_num_threads();
        // Static contiguous split: the first L mod T threads take one seed more.
        const int q = L / T, rem = L % T;
        const int begin = t < rem ? t * (q + 1) : rem + t * q;
        const int count = q + (t < rem ? 1 : 0);
        GrowOne& g = run.workspaces[t];
        const double cpu0 = threadCpuSeconds();
        for (int seed = begin; seed < begin + count; ++seed) g.growSeed(a, seed, t);
        g.busySeconds += threadCpuSeconds() - cpu0;
    });
    error.rethrow();

    if (diag) {
        for (int i = 0; i < L; ++i) std::cerr << lines[i] << "\n";
        std::cerr << "Deadends: " << deadEnds << ", Partial: " << partial << std::endl;
    }
    return deadEnds;
}

void GrowOne::growSeed(const GrowStepArgs& a, int seed, int thread) {
    Sampler& m = *a.run;
    SeedBuffers& B = m.seeds;
    Structure& s = structure;
    const int pos = a.pos, rpos = a.rpos, step = a.step, g = a.gap, c = a.c;
    const bool backward = a.backward;
    const int loopStart = m.loopStart, loopEnd = m.loopEnd;
    const bool closure = g == 3;

    // 1. Rebuild the seed's path from its records.
    for (int j = 0; j < step; ++j) {
        const float* r = B.pathRecord(B.tempFrag, j, seed);
        const int i = m.plan.order[j];
        const double tau = r[4] * DEG2RAD;
        if (!m.plan.backward[j])
            calBBCo(tm, s, i, s[i], s[i + 1], r[0], r[1], r[2], tau, true);
        else
            calBBCoR(tm, s, i, s[i], s[i - 1], r[0], r[1], r[2], tau, true);
    }

    // 2. Diagnostic deviation of the seed so far.
    double seedRmsd = 0.0;
    if (a.diag && step > 0) {
        if (m.growMode == 0)
            seedRmsd = rmsdg(s, m.native, loopStart, pos);
        else if (m.growMode == 2)
            seedRmsd = rmsdg(s, m.native, pos, loopEnd);
        else
            seedRmsd = rmsdcut(s, m.native, loopStart, loopEnd, step - 1);
    }

    // 3. The scored candidate is laid into the scratch residue cur slot by
    // slot (the scoring terms read positions only). Omega is trans unless the
    // peptide bond pos / pos+1 involves a proline and a cis draw succeeds.
    double seedOmega = PI;
    const int type = s[pos].type;
    const int nextRes = backward ? pos - 1 : pos + 1;
    const bool prolineBond = type == PRO || s[pos + 1].type == PRO;

    // 4. Anchors of this step.
    if (!backward && step == 0) {
        calCo(s[loopEnd + 1].atoms[CA_], s[loopEnd + 1].atoms[N_], s[loopEnd].atoms[C_], tm.bondLength[type][C_],
              tm.bondAngle[s[pos + 1].type][N_], PI, s[loopEnd].atoms[CA_]);
    }
    if (backward) {
        if (prolineBond && uniformDraw() < 0.1) seedOmega = 0.0;
        calCo(s[pos + 1].atoms[CA_], s[pos + 1].atoms[N_], s[pos].atoms[C_], tm.bondLength[type][C_],
              tm.bondAngle[s[pos + 1].type][N_], seedOmega, s[pos].atoms[CA_]);
    }
    if (!backward)
        prepGrow(s, pos, loopStart, loopEnd, pos - 1, rpos);
    else
        prepGrow(s, pos, loopStart, loopEnd, rpos, pos + 1);
    if (closure) {
        df_closure_prep(s, loopStart, loopEnd, c, s[pos].atoms[CA_], backward);
        std::fill(closureW.begin(), closureW.end(), REJECT);
        std::fill(closureCount.begin(), closureCount.end(), 0);
    }

    // 5. Backbone atoms of all 5184 candidates.
    if (!backward)
        calBBCoNext(tm, s, pos, candPts.data(), 1);
    else
        calBBCoNextR(tm, s, pos, candPts.data(), 1);

    // Reach of each moving atom from CA(pos) over all candidates: the
    // long-range terms need only the mid-shell atoms within reach of the cut-off.
    {
        float reach[6] = {0, 0, 0, 0, 0, 0};
        const Point ca = s[pos].atoms[CA_];
        for (int k = 0; k < NUM_CAND; ++k) {
            const Point* P = &candPts[static_cast<size_t>(k) * BB_CAND_SLOTS];
            reach[N_] = std::max(reach[N_], static_cast<float>(fdis(P[0], ca)));
            reach[C_] = std::max(reach[C_], static_cast<float>(fdis(P[2], ca)));
            reach[CB_] = std::max(reach[CB_], static_cast<float>(fdis(P[5], ca)));
            if (!backward) reach[O_] = std::max(reach[O_], static_cast<float>(fdis(P[3], ca)));
        }
        if (!backward) {
            // CA(pos+1) hangs on N(pos+1).
            reach[CA_] = reach[N_] + static_cast<float>(tm.bondLength[0][CA_]) + 0.01f;
        } else {
            // O(pos-1) hangs on C(pos-1); the CA scored backward is CA(pos) itself.
            reach[O_] = reach[C_] + static_cast<float>(tm.bondLength[0][O_]) + 0.01f;
            reach[CA_] = 0.0f;
        }
        pruneLongRange(s, reach);
    }

    // 6. Coarse placements of the residue next to the far anchor.
    farCount = 0;
    {
        const int ft = s[rpos].type;
        if (!backward) {
            for (int fa = 0; fa < NUM_BINS; fa += COARSE_STEP)
                for (int fb = 0; fb < NUM_BINS; fb += COARSE_STEP) {
                    if (!torsionBinAllowed(torsionBinProb(dist, ft, fa, fb))) continue;
                    calBBCoR(tm, s, rpos, scratchA, scratchB, binAngle(fa), binAngle(fb), PI, NCAC_RAD, false);
                    std::array<Point, 5>& f = farSet[farCount++];
                    f[0] = scratchA.atoms[N_];   // N(rpos)
                    f[1] = scratchB.atoms[CA_];  // CA(rpos-1)
                    f[2] = scratchA.atoms[C_];   // C(rpos-1)
                }
        } else {
            Point Cset[NUM_BINS], Nset[NUM_BINS];
            const Point Nr = s[rpos].atoms[N_], CAr = s[rpos].atoms[CA_];
            calCoCSet(tm, s[rpos - 1].atoms[C_], Nr, CAr, Cset, COARSE_STEP);
            for (int fa = 0; fa < NUM_BINS; fa += COARSE_STEP) {
                calCoNSet(tm, Nr, CAr, Cset[fa], Nset, COARSE_STEP);
                for (int fb = 0; fb < NUM_BINS; fb += COARSE_STEP) {
                    if (!torsionBinAllowed(torsionBinProb(dist, ft, fa, fb))) continue;
                    std::array<Point, 5>& f = farSet[farCount++];
                    f[0] = Cset[fa];                          // C(rpos)
                    f[1] = calCoCA(tm, CAr, Cset[fa], Nset[fb]);  // CA(rpos+1)
                    f[2] = Nset[fb];                          // N(rpos+1)
                }
            }
        }
    }

    // 7. Scan of the 72 x 72 bins.
    Tally tally;
    int lastFar = 0;
    lastLah_ = -1;
    double shortCache[NUM_BINS], long1Cache[HALF], long2Cache[HALF * HALF];
    bool shortSet[NUM_BINS] = {}, long1Set[HALF] = {}, long2Set[HALF * HALF] = {};
    std::fill(reachable.begin(), reachable.end(), 0);
    std::fill(validSC.begin(), validSC.end(), 0);
    const Point caR = s[rpos].atoms[CA_];
    const Point caP = s[pos].atoms[CA_];
    const double d0 = fdis(caP, caR);
    const int r0 = endDistanceRow(d0);
    const bool condDegenerate = condRowDegenerate(dist, backward, g, r0);
    const bool oppBackward = !backward;
    const int qRes = nextRes;  // the look-ahead residue
    const int qType = s[qRes].type;
    for (int i = 0; i < COARSE_BINS; ++i) coarseRow_[i] = coarseCol_[i] = false;
    for (int i = 0; i < COARSE_BINS; ++i)
        for (int j = 0; j < COARSE_BINS; ++j) {
            coarseOk_[i][j] = torsionBinAllowed(torsionBinProb(dist, qType, i * COARSE_STEP, j * COARSE_STEP));
            coarseRow_[i] = coarseRow_[i] || coarseOk_[i][j];
            coarseCol_[j] = coarseCol_[j] || coarseOk_[i][j];
        }
    const bool proRow = !backward && prolineBond;

    for (int pa = 0; pa < NUM_BINS; ++pa) {
        for (int pb = 0; pb < NUM_BINS; ++pb) {
            const int k = NUM_BINS * pa + pb;
            weight[k] = REJECT;
            cisCand[k] = 0;
            const double pbb = torsionBinProb(dist, type, pa, pb);
            if (!torsionBinAllowed(pbb)) continue;
            const int rowIdx = backward ? pb : pa;
            if (shortSet[rowIdx] && shortCache[rowIdx] > 100.0) {
                ++tally.bbe;
                continue;
            }
            // Candidate atoms.
            const Point* P = &candPts[candPointIndex(pa, pb, 0)];
            Point a0, a1, a2, a3, a4;  // candAtoms order
            if (!backward) {
                a0 = P[0];  // N(pos+1)
                a2 = P[2];  // C(pos)
                a3 = P[3];  // O(pos)
                a4 = P[5];  // CB(pos)
                if (proRow && uniformDraw() < 0.1) {
                    cisCand[k] = 1;
                    a1 = calCoCA0(tm, caP, a2, a0);
                } else {
                    a1 = calCoCA(tm, caP, a2, a0);
                }
            } else {
                a0 = P[0];  // N(pos)
                a2 = P[2];  // C(pos-1)
                a4 = P[5];  // CB(pos)
                calCoCAOR(tm, caP, a0, a2, a1, a3);
            }
            // Distances to the far anchor.
            const double d1 = backward ? fdis(a0, caR) : fdis(a2, caR);
            const double d2 = fdis(a1, caR);
            double pm = 0.0;
            if (!marginalProb(dist, backward, g, d1, d2, pm)) {
                ++tally.md1;
                continue;
            }
            if (pm < MIN_DIST_PROB) {
                ++tally.md2;
                continue;
            }
            if (condDegenerate) {
                ++tally.cd1;
                continue;
            }
            double pc = 0.0;
            if (!condProb(dist, backward, g, r0, d1 - d0, d2 - d0, pc)) {
                ++tally.cd2;
                continue;
            }
            if (pc < MIN_DIST_PROB) {
                ++tally.cd3;
                continue;
            }
            // Growth energy.
            cur.atoms[N_] = a0;
            cur.atoms[C_] = a2;
            cur.atoms[O_] = a3;
            if (type != GLY) cur.atoms[CB_] = a4;
            cur.atoms[CA_] = backward ? caP : a1;
            double E;
            if (!backward) {
                if (!shortSet[pa]) shortCache[pa] = dfire_part_phi_short(cur), shortSet[pa] = true;
                const int h1 = pa / 2, h2 = h1 * HALF + pb / 2;
                if (!long1Set[h1]) long1Cache[h1] = dfire_part_phi_long(cur), long1Set[h1] = true;
                if (!long2Set[h2]) long2Cache[h2] = dfire_part_phipsi_long(cur), long2Set[h2] = true;
                E = shortCache[pa] + long1Cache[h1] + long2Cache[h2] + dfire_part_phipsi_short(cur);
            } else {
                if (!shortSet[pb]) shortCache[pb] = dfire_part_backward_psi_short(cur), shortSet[pb] = true;
                const int h1 = pb / 2, h2 = (pa / 2) * HALF + pb / 2;
                if (!long1Set[h1]) long1Cache[h1] = dfire_part_backward_psi_long(cur), long1Set[h1] = true;
                if (!long2Set[h2]) long2Cache[h2] = dfire_part_backward_phipsi_long(cur), long2Set[h2] = true;
                E = shortCache[pb] + long1Cache[h1] + long2Cache[h2] + dfire_part_backward_phipsi_short(cur);
            }
            // The candidate goes into the structure (the closure reads it there).
            if (!backward) {
                s[pos].atoms[C_] = a2;
                s[pos].atoms[O_] = a3;
                if (type != GLY) s[pos].atoms[CB_] = a4;
                s[pos + 1].atoms[N_] = a0;
                s[pos + 1].atoms[CA_] = a1;
            } else {
                s[pos].atoms[N_] = a0;
                if (type != GLY) s[pos].atoms[CB_] = a4;
                s[pos - 1].atoms[C_] = a2;
                s[pos - 1].atoms[O_] = a3;
                s[pos - 1].atoms[CA_] = a1;
            }
            if (a.diag) {
                const Residue& np = m.native[pos];
                double dev;
                if (!backward) {
                    const Residue& nn = m.native[pos + 1];
                    dev = sq(a2, np.atoms[C_]) + sq(a3, np.atoms[O_]) + sq(a0, nn.atoms[N_]) + sq(a1, nn.atoms[CA_]);
                    dev = (dev + 4.0 * step * seedRmsd * seedRmsd) / (4.0 * (step + 1));
                } else {
                    const Residue& nn = m.native[pos - 1];
                    dev = sq(caP, np.atoms[CA_]) + sq(a0, np.atoms[N_]) + sq(a3, nn.atoms[O_]) + sq(a2, nn.atoms[C_]) +
                          sq(a1, nn.atoms[CA_]);
                    dev = (dev + 4.0 * step * seedRmsd * seedRmsd) / (4.0 * step + 5.0);
                }
                estRmsd[k] = static_cast<float>(std::sqrt(dev));
            }
            lnPbb[k] = -std::log(pbb);
            lnPdist[k] = -std::log(pc * pm);
            energyE[k] = E;
            if (E > 100.0) {
                ++tally.bbe;
                continue;
            }
            std::array<Point, 5>& ca = candAtoms[k];
            ca[0] = a0;
            ca[1] = a1;
            ca[2] = a2;
            ca[3] = a3;
            ca[4] = a4;
            validSC[k] = 1;

            // Feasibility: closure, or a look-ahead placement of the next residue.
            bool feasible = false;
            if (closure) {
                const int recorded = closeCandidate(s, c, k, E, a.retry);
                closureCount[k] = static_cast<uint8_t>(recorded);
                feasible = recorded > 0;
            } else if (reachable[k]) {
                feasible = true;
            } else {
                prepLah(s, a1, qRes, backward);
                feasible = lookAhead(a0, a1, a2, caR, backward, g);
                if (feasible) {
                    for (int x = std::max(0, pa - 1); x <= std::min(NUM_BINS - 1, pa + 1); ++x)
                        for (int y = std::max(0, pb - 1); y <= std::min(NUM_BINS - 1, pb + 1); ++y) reachable[NUM_BINS * x + y] = 1;
                }
            }

            // Far-side check: can the far anchor still grow towards the new end?
            bool pass = feasible;
            if (g >= 4) {
                const double D = fdis(caR, a1);
                const int r1 = endDistanceRow(D);
                if (condRowDegenerate(dist, oppBackward, g - 1, r1)) {
                    pass = true;
                } else if (feasible) {
                    pass = false;
                    // Any one placement suffices; the one that served the last
                    // candidate (a neighbouring bin, mostly) is tried first.
                    for (int i = 0; i < farCount && !pass; ++i) {
                        const int f = i == 0 ? lastFar : (i <= lastFar ? i - 1 : i);
                        const double e1 = fdis(farSet[f][0], a1), e2 = fdis(farSet[f][1], a1);
                        double p = 0.0;
                        if (!marginalProb(dist, oppBackward, g - 1, e1, e2, p) || !(p > MIN_DIST_PROB)) continue;
                        if (!condProb(dist, oppBackward, g - 1, r1, e1 - D, e2 - D, p) || !(p > MIN_DIST_PROB)) continue;
                        pass = true;
                        lastFar = f;
                    }
                }
            }
            if (pass)
                weight[k] = 0.0;
            else
                ++tally.bbn;
        }
    }

    // 8. Side chains of the survivors, one row at a time.
    const int numRot = a.numRot;
    const bool noSideChain = type == GLY || type == ALA;
    if (!noSideChain) {
        std::memset(rotamerVeto, 0, sizeof rotamerVeto);
        for (int row = 0; row < NUM_BINS; ++row) df_scf(s[pos], scE, row, candAtoms, backward, validSC);
    }

    // 9. Side-chain filter.
    for (int k = 0; k < NUM_CAND; ++k) {
        if (weight[k] > 1000.0) continue;
        double mn = noSideChain ? 0.0 : REJECT;
        int below = 0;
        const float* e = &scE[static_cast<size_t>(k) * numRot];
        for (int r = 0; r < numRot; ++r) {
            const double v = noSideChain ? 0.0 : e[r];
            if (!noSideChain && v < mn) mn = v;
            if (v < 200.0) ++below;
        }
        scBelow[k] = below;
        if (mn > m.scCut) {
            weight[k] = REJECT;
            ++tally.sce;
            if (closure) {
                std::fill(closureW.begin() + CLOSURE_SLOTS * k, closureW.begin() + CLOSURE_SLOTS * (k + 1), REJECT);
                closureCount[k] = 0;
            }
        }
    }

    // 10. Random order of the feasible entries.
    if (closure) {
        keys.resize(CLOSURE_ENTRIES);
        for (int e = 0; e < CLOSURE_ENTRIES; ++e) keys[e] = closureW[e] < 0.0 ? 0.0 : closureW[e];
    } else {
        keys.assign(weight.begin(), weight.end());
    }
    SampleEWR(keys, 1000, rank.data());

    // 11. Diagnostic line.
    std::ostringstream line;
    if (a.diag) {
        int feas = 0;
        double best = 9.99;
        bool any = false;
        for (int k = 0; k < NUM_CAND; ++k)
            if (weight[k] < 20.0) {
                ++feas;
                if (!any || estRmsd[k] < best) best = estRmsd[k];
                any = true;
            }
        line << std::fixed << std::setw(5) << seed << std::setw(5) << std::setprecision(2) << seedRmsd << std::setw(5) << feas
             << std::setw(5) << tally.md1 << std::setw(5) << tally.md2 << std::setw(5) << tally.cd1 << std::setw(5) << tally.cd2
             << std::setw(5) << tally.cd3 << std::setw(5) << tally.bbe << std::setw(5) << tally.sce << std::setw(5) << tally.bbn
             << std::setw(5) << std::setprecision(2) << (any ? best : 9.99);
        if (tally.cd1 > 0) line << " ALERT " << d0 << " ";
        if ((tally.cd3 > 0 || tally.cd2 > 0) && tally.bbn == 0 && tally.sce == 0 && feas == 0) line << " BADCD ";
        if ((tally.md2 > 0 || tally.md1 > 0) && tally.bbe == 0 && tally.bbn == 0 && tally.cd1 == 0 && tally.cd2 == 0 && tally.cd3 == 0 &&
            tally.sce == 0 && feas == 0)
            line << " BADMD ";
        if (tally.sce == 0 && tally.bbn == 0 && feas == 0 && tally.cd1 == 0 && tally.cd2 == 0 && tally.cd3 == 0 &&
            !(tally.md1 == 0 && tally.md2 == 0 && tally.bbe == 0))
            line << " BADLH " << d0 << " ";
    }

    // 12. Children.
    int nChild = 0;
    const int points = closure ? 12 : 4;
    for (int rk = 0; rk < 1000 && nChild < CHILDREN; ++rk) {
        const int e = rank[rk];
        const int k = closure ? e / CLOSURE_SLOTS : e;
        const double centre = backward ? seedOmega : (cisCand[k] ? 0.0 : PI);
        const double omega = normal.draw(centre, 0.048);
        const int pa = k / NUM_BINS, pb = k % NUM_BINS;
        const int j = nChild;
        // A closure slot the solver never filled is as exhausted as a rejected
        // bin: it holds no conformation, only the initial weight.
        if (weight[k] > 1000.0 || (closure && e % CLOSURE_SLOTS >= closureCount[k])) {
            int* counter = j == 0 ? a.deadEnds : a.partial;
#pragma omp atomic
            ++(*counter);
            break;
        }
        std::array<Point, 12>& ch = childAtoms[j];
        for (int p = 0; p < 4; ++p) ch[p] = candAtoms[k][p];
        if (closure)
            for (int p = 0; p < 8; ++p) ch[4 + p] = closureAtoms[e][p];
        for (int i = 0; i < j; ++i) {
            float d = 0.0f;
            for (int p = 0; p < points; ++p) d += sq(ch[p], childAtoms[i][p]);
            B.siblingDist(seed, j)[i] = d;
            B.siblingDist(seed, i)[j] = d;
        }
        float* rec = B.childRecord(seed, j);
        if (!closure) {
            double psi = (pb - 0.5 + uniformDraw()) * BIN_WIDTH - PI;
            double phi = (pa - 0.5 + uniformDraw()) * BIN_WIDTH - PI;
            double om = omega;
            bool edge = false;
            for (int x = std::max(0, pa - 1); x <= std::min(NUM_BINS - 1, pa + 1) && !edge; ++x)
                for (int y = std::max(0, pb - 1); y <= std::min(NUM_BINS - 1, pb + 1); ++y)
                    if ((x != pa || y != pb) && weight[NUM_BINS * x + y] > 100.0) {
                        edge = true;
                        break;
                    }
            if (edge) {
                phi = binAngle(pa);
                psi = binAngle(pb);
                om = PI;
            }
            rec[0] = static_cast<float>(phi);
            rec[1] = static_cast<float>(psi);
            rec[2] = static_cast<float>(om);
            rec[9] = static_cast<float>(energyE[k]);
        } else {
            rec[0] = static_cast<float>(binAngle(pa));
            rec[1] = static_cast<float>(binAngle(pb));
            rec[2] = static_cast<float>(PI);
            rec[9] = static_cast<float>(closureW[e]);
            for (int f = 0; f < 8; ++f) rec[11 + f] = closureData[e][f];
        }
        rec[4] = static_cast<float>(NCAC_DEG);
        rec[5] = 0.0f;
        rec[6] = static_cast<float>(lnPbb[k]);
        rec[7] = static_cast<float>(scBelow[k]);
        rec[8] = static_cast<float>(lnPdist[k]);
        rec[10] = 1.0f;
        float* rotE = B.childRotE(seed, j);
        if (noSideChain)
            std::fill(rotE, rotE + numRot, 0.0f);
        else
            std::copy(&scE[static_cast<size_t>(k) * numRot], &scE[static_cast<size_t>(k) * numRot] + numRot, rotE);
        ++nChild;
    }
    for (int j = nChild; j < CHILDREN; ++j) B.childRecord(seed, j)[5] = static_cast<float>(REJECT);

    // 13. Diagnostic line, finished.
    if (a.diag) {
        line << std::setw(5) << (nChild - 1) << std::setw(3) << thread;
        (*a.diagLines)[seed] = line.str();
    }
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
        e1[row] = fdis(R, caR);
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
            if (!marginalProb(dist, false, g - 1, e1[row], fdis(CAn, caR), p) || !(p > MIN_DIST_PROB)) return false;
            return !lahClashes(inner[row][col], LN) && !lahClashes(CAn, LCA) && !lahClashes(innerO[row][col], LO);
        }
        Point CAq, Oq;
        calCoCAOR(tm, a1, R, inner[row][col], CAq, Oq);  // CA(q-1), O(q-1)
        if (!marginalProb(dist, true, g - 1, e1[row], fdis(CAq, caR), p) || !(p > MIN_DIST_PROB)) return false;
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

}  // namespace lorvane
