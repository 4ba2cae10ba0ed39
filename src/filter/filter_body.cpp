// Parallel scoring body of the filter: every child of every live seed is
// rebuilt in the thread's private copy of the protein, its new residue's
// rotamers are combined with the seed's side-chain states, and the best
// combinations become the child's own states. Each thread writes only the
// table entries of its own seeds.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <iostream>

#include "build/builders.h"
#include "build/side_chain.h"
#include "filter/filter.h"
#include "filter/path_units.h"
#include "filter/weighting.h"
#include "model/deviation.h"
#include "model/error.h"

namespace lorvane {

namespace {

constexpr double SENTINEL = REJECTED;
constexpr double TAU_111_2 = 1.9408061282176925;  // N-CA-C angle of every grown residue, 111.2 degrees
constexpr int CLASH_CELLS = NUM_BINS * SC_STATES * MAX_ROTAMERS;

// Side-chain atoms 6..LAST_HEAVY_SLOT of every residue grown before `step`, from state t of a seed's stored points.
void restoreSideChains(Sampler& run, Structure& s, int buffer, int step, int seed, int t) {
    for (int j = 0; j < step; ++j) {
        const int q = run.plan.order[j];
        const int last = LAST_HEAVY_SLOT[s[q].type];
        if (last <= SLOT_CB) continue;
        const Point* pts = run.seeds.atomC(buffer, j, seed);
        for (int x = FIRST_SIDE_CHAIN_SLOT; x <= last; ++x) s[q].atoms[x].CopyPos(pts[15 * t + x]);
    }
}

}  // namespace

FilterWork::FilterWork() {
    combIdx.resize(COMBINATIONS);
    combined.resize(COMBINATIONS);
    rotE.resize(MAX_ROTAMERS);
    rotDraw.resize(MAX_ROTAMERS);
    drawn.resize(MAX_ROTAMERS);
    allowed.reserve(MAX_ROTAMERS);
    chosen.resize(SC_STATES);
    combFirst.resize(COMBINATIONS);
    combSecond.resize(COMBINATIONS);
    clashCache.assign(CLASH_CELLS, 0.0f);
    clashStamp.assign(CLASH_CELLS, 0u);
}

namespace {

void scoreSeed(FilterShared& sh, FilterWork& w, int i) {
    Sampler& run = *sh.run;
    const Templates& tm = run.tm;
    const Potentials& pot = run.pot;
    SeedBuffers& B = run.seeds;
    const ClashPairs& clash = sh.fs->clash;
    const double scCut = run.scCut;
    Structure& s = w.structure;
    const int step = sh.step, pos = sh.pos, c = sh.c;
    const int start = run.loopStart, end = run.loopEnd;
    const int oldBuf = 1 - sh.parity;
    const bool finalStep = sh.finalStep;
    std::vector<float>* E = sh.E;

    // A new serial invalidates every clash-cache entry of earlier seeds and steps.
    if (++w.seedSerial == 0) {
        std::fill(w.clashStamp.begin(), w.clashStamp.end(), 0u);
        w.seedSerial = 1;
    }
    const uint32_t serial = w.seedSerial;
    // Event counts of this seed, added to the shared counters once at its end.
    long nb1 = 0, nb2 = 0, nc1 = 0, ne1 = 0, ne2 = 0, ne3 = 0;

    double S6 = 0, S9 = 0, S10 = 0;
    for (int j = 0; j < step; ++j) {
        putUnit(run.plan, s, j, B.atomC(oldBuf, j, i));
        const float* r = B.pathRecord(B.tempFrag, j, i);
        S6 += r[6];
        S9 += r[9];
        S10 += r[10];
    }
    const double wInherited = step == 0 ? 1.0 : B.pathRecord(B.tempFrag, step - 1, i)[5];

    Residue& res = s[pos];
    const int tpos = res.type;
    const int last = LAST_HEAVY_SLOT[tpos];
    const int nr = pot.rotamers.count[tpos];
    const bool plain = noSideChain(tpos);
    const int numStates = step == 0 ? 1 : SC_STATES;
    const UnitRes unit = unitOf(run.plan, step);

    for (int k = 0; k < CHILDREN; ++k) {
        float* R = B.childRecord(i, k);
        const int id = i * CHILDREN + k;
        if (R[5] > 50.0f) continue;

        E[1][id] = static_cast<float>(R[6] + S6);
        E[0][id] = static_cast<float>(R[10] + S10);
        E[2][id] = R[7];
        E[3][id] = R[8];
        E[5][id] = static_cast<float>(R[9] + S9);

        if (!run.plan.backward[step])
            calBBCo(tm, s, pos, s[pos], s[pos + 1], R[0], R[1], R[2], TAU_111_2, true);
        else
            calBBCoR(tm, s, pos, s[pos], s[pos - 1], R[0], R[1], R[2], TAU_111_2, true);

        if (finalStep) {
            calBBCo(tm, s, c, s[c], s[c + 1], R[11], R[12], R[13], R[14] * DEG2RAD, true);
            calBBCo(tm, s, c + 1, s[c + 1], s[c + 2], R[15], R[16], R[17], R[18] * DEG2RAD, true);
            Residue& r2 = s[c + 2];
            if (r2.type != GLY) r2.atoms[SLOT_CB].CopyPos(calCoCB(tm, r2.atoms[SLOT_N], r2.atoms[SLOT_C], r2.atoms[SLOT_CA]));
            // Closure residues' torsion statistics: the angles as single-precision products, as stored.
            const double phi0 = static_cast<float>(R[11] * 180.0f) * 0.318309886183791;
            const double psi0 = static_cast<float>(R[12] * 180.0f) * 0.318309886183791;
            const double phi1 = static_cast<float>(R[15] * 180.0f) * 0.318309886183791;
            const double psi1 = static_cast<float>(R[16] * 180.0f) * 0.318309886183791;
            const double phi2 = Torsion(s[c + 1].atoms[2], r2.atoms[0], r2.atoms[1], r2.atoms[2]);
            const double psi2 = Torsion(r2.atoms[0], r2.atoms[1], r2.atoms[2], s[c + 3].atoms[0]);
            if (std::fabs(phi2) >= 180.01 || std::fabs(psi2) >= 180.01) {
                E[1][id] = static_cast<float>(SENTINEL);
                std::cerr << "skipped ";
                continue;
            }
            double e1 = E[1][id];
            e1 += torsionEnergy(run.dist, s[c].type, phi0, psi0);
            e1 += torsionEnergy(run.dist, s[c + 1].type, phi1, psi1);
            e1 += torsionEnergy(run.dist, r2.type, phi2, psi2);
            E[1][id] = static_cast<float>(e1);
        }

        Point* ub = B.unfBBAt(id);
        ub[0] = s[unit.co].atoms[2];
        ub[1] = s[unit.co].atoms[3];
        ub[2] = s[unit.nca].atoms[0];
        ub[3] = s[unit.nca].atoms[1];

        const int bin = dihedralBin(run.plan.backward[step] ? R[1] : R[0]);

        // Rotamers of the new residue worth combining.
        const float* rowE = B.childRotE(i, k);
        w.allowed.clear();
        if (!plain) {
            for (int r = 0; r < nr; ++r) w.rotE[r] = rowE[r];
            if (nr <= 20) {
                for (int r = 0; r < nr; ++r)
                    if (w.rotE[r] < scCut) w.allowed.push_back(r);
            } else {
                w.rotDraw.assign(w.rotE.begin(), w.rotE.begin() + nr);
                SampleEWR(w.rotDraw, 20, w.drawn.data());
                for (int q = 0; q < 20; ++q)
                    if (w.rotDraw[w.drawn[q]] < scCut) w.allowed.push_back(w.drawn[q]);
            }
        }
        std::fill(std::begin(w.scBuilt), std::end(w.scBuilt), 0);
        std::fill(std::begin(w.oneDone), std::end(w.oneDone), 0);
        auto obtainSideChain = [&](int r) {
            if (!w.scBuilt[r]) {
                calSCCoHeavy(tm, res, pot.rotamers.resolved[tpos][r]);
                for (int x = 6; x <= last; ++x) w.scCoord[r][x - 6] = res.atoms[x];
                w.scBuilt[r] = 1;
            } else {
                for (int x = 6; x <= last; ++x) res.atoms[x].CopyPos(w.scCoord[r][x - 6]);
                res.numAtoms = static_cast<int16_t>(tm.numAtom[tpos]);
            }
        };

        int M = 0;
        for (int j = 0; j < numStates; ++j) {
            double parentE = 0.0;
            if (step >= 1) {
                parentE = B.pathStateE(step - 1, i)[j];
                if (parentE > 200.0) continue;
                restoreSideChains(run, s, oldBuf, step, i, j);
            }
            double b = 0.0;
            const double v = vdw_bbsc(pot, clash, s, b);
            ++ne2;
            if (b > scCut) ++nb1;
            if (v > scCut) ++nb2;

            if (plain) {
                if (M >= COMBINATIONS) break;
                w.combIdx[M] = {j, NO_ROTAMER};
                w.combFirst[M] = b + parentE;
                w.combSecond[M] = 0.0;
                ++M;
                continue;
            }
            for (int r : w.allowed) {
                if (M >= COMBINATIONS) break;
                const size_t cell = (static_cast<size_t>(bin) * SC_STATES + j) * MAX_ROTAMERS + r;
                const bool cached = w.clashStamp[cell] == serial;
                if (!cached || finalStep) obtainSideChain(r);
                double sc;
                if (cached) {
                    sc = w.clashCache[cell];
                } else {
                    vdw_scsc(pot, clash, s, sc);
                    w.clashCache[cell] = static_cast<float>(sc);
                    w.clashStamp[cell] = serial;
                    ++ne3;
                    if (sc > scCut) ++nc1;
                }
                double e = w.rotE[r] + b + sc;
                if (finalStep) {
                    if (!w.oneDone[r]) {
                        w.oneVal[r] = vdw_onebbsc(pot, run.atoms, s, pos, c);
                        w.oneDone[r] = 1;
                        ++ne1;
                    }
                    e += w.oneVal[r];
                }
                e += parentE;
                w.combIdx[M] = {j, r};
                w.combFirst[M] = e;
                w.combSecond[M] = 0.0;
                ++M;
            }
        }

        int16_t* states = B.childStates(i, k);
        float* stateE = B.childStateE(i, k);
        double best = SENTINEL;
        int u = 0;
        if (M == 0) {
            E[6][id] = static_cast<float>(SENTINEL);
            E[0][id] = static_cast<float>(SENTINEL);
            // Keep the state table consistent for a commit that takes this child anyway.
            for (int t = 0; t < SC_STATES; ++t) {
                states[2 * t] = 0;
                states[2 * t + 1] = static_cast<int16_t>(plain || nr == 0 ? NO_ROTAMER : 0);
                stateE[t] = static_cast<float>(SENTINEL);
            }
        } else {
            for (int x = 0; x < M; ++x) {
                w.combined[x] = w.combFirst[x] + w.combSecond[x];
                if (w.combFirst[x] < scCut) ++u;
            }
            const int n = std::min(M, SC_STATES);
            SampleEWRS(w.combined, n, w.chosen.data(), M, finalStep);
            double secondary = SENTINEL;
            for (int t = 0; t < n; ++t) {
                const int x = w.chosen[t];
                stateE[t] = static_cast<float>(w.combFirst[x]);
                states[2 * t] = static_cast<int16_t>(w.combIdx[x][0]);
                states[2 * t + 1] = static_cast<int16_t>(w.combIdx[x][1]);
                if (w.combFirst[x] < best) {
                    best = w.combFirst[x];
                    secondary = w.combSecond[x];
                }
            }
            // Unused states repeat the first one with a rejecting energy.
            for (int t = n; t < SC_STATES; ++t) {
                states[2 * t] = states[0];
                states[2 * t + 1] = states[1];
                stateE[t] = static_cast<float>(SENTINEL);
            }
            E[6][id] = static_cast<float>(best);
            E[0][id] = static_cast<float>(best < SENTINEL ? secondary : SENTINEL);

            if (finalStep && u >= 1) {
                const int x0 = w.chosen[0];
                if (step >= 1) restoreSideChains(run, s, oldBuf, step, i, w.combIdx[x0][0]);
                if (!plain) obtainSideChain(w.combIdx[x0][1]);
                std::array<int, 3> rot = {ABSENT, ABSENT, ABSENT};
                closeSCprep(run, w, s, start, end, c);
                for (int m = 0; m < 3; ++m) {
                    Residue& cr = s[c + m];
                    if (noSideChain(cr.type)) continue;
                    const int a = m == 0 ? c + 1 : c;
                    const int bb = m == 2 ? c + 1 : c + 2;
                    double energy = 0.0;
                    rot[m] = df_scfclose(run, w, s, c + m, energy, a, bb);
                    if (m < 2) addCSC(run, w, s, c + m);
                }
                (*sh.closeRot)[id] = rot;
            }
        }
        B.enSelection[id] = best;

        const float weight = plain ? static_cast<float>(wInherited)
                             : M > 0 ? static_cast<float>(R[7] * wInherited * u / M)
                                     : 0.0f;  // no combination: no sampling mass (E6 keeps it out of the ranking)
        E[4][id] = weight;
        R[5] = weight;

        double dev;
        if (c < 1) {
            if (run.growMode == GROW_FORWARD)
                dev = rmsdg(s, run.native, start, pos + 1);
            else if (run.growMode == GROW_ALTERNATING)
                dev = rmsdcut(s, run.native, start, end, step);
            else
                dev = rmsdg(s, run.native, pos - 1, end);
        } else {
            dev = rmsdg(s, run.native, start, end);
        }
        (*sh.dev)[id] = dev;
    }
    sh.b1 += nb1;
    sh.b2 += nb2;
    sh.c1 += nc1;
    sh.e1 += ne1;
    sh.e2 += ne2;
    sh.e3 += ne3;
}

}  // namespace

void runFilterBody(FilterShared& sh) {
    std::vector<FilterWork>& work = sh.fs->work;
    const int P = static_cast<int>(work.size());
    const int N = sh.run->liveSeeds;
    FirstError error;
#pragma omp parallel num_threads(P)
    error.run([&] {
        const int T = omp_get_num_threads();
        const int t = omp_get_thread_num();
        const int q = N / T, r = N % T;
        const int first = t < r ? t * (q + 1) : r + t * q;
        const int count = t < r ? q + 1 : q;
        for (int i = first; i < first + count; ++i) scoreSeed(sh, work[t], i);
    });
    error.rethrow();
}

}  // namespace lorvane
