// Parallel scoring body of the filter: every child of every live seed is
// rebuilt in the thread's private copy of the protein, its new residue's
// rotamers are combined with the seed's side-chain states, and the best
// combinations become the child's own states. Each thread writes only the
// table entries of its own seeds.

#include <algorithm>
#include <cmath>
#include <iostream>

#include "build/builders.h"
#include "build/side_chain.h"
#include "filter/filter.h"
#include "filter/path_units.h"
#include "filter/weighting.h"
#include "model/backbone_dihedrals.h"
#include "model/deviation.h"
#include "model/error.h"
#include "model/parallel.h"

namespace lorvane {

namespace {

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
    rotE.resize(MAX_ROTAMERS);
    rotDraw.resize(MAX_ROTAMERS);
    drawn.resize(MAX_ROTAMERS);
    allowed.reserve(MAX_ROTAMERS);
    chosen.resize(SC_STATES);
    combEnergy.resize(COMBINATIONS);
    clashCache.assign(CLASH_CELLS, 0.0f);
    clashStamp.assign(CLASH_CELLS, 0u);
}

namespace {

// One seed of the scoring body: its path, the residue it grows and the event
// counts added to the shared counters once at its end.
struct SeedContext {
    FilterShared& sh;
    Sampler& run;
    FilterWork& w;
    Structure& s;
    int seed = 0;
    uint32_t serial = 0;        // clash-cache stamp of this seed
    double S6 = 0, S9 = 0, S10 = 0;  // path sums of record fields 6, 9 and 10
    double wInherited = 1.0;    // the seed's own weight
    int tpos = 0, last = 0, nr = 0;  // type, last heavy slot and rotamer count of the new residue
    bool plain = false;         // the new residue has no rotamers to place
    int numStates = 1;          // side-chain states of the seed
    FilterShared::Counts n{};
};

// The child's backbone (and on the last step the closure residues, whose
// torsions add their bin energies to E1). False when a closure torsion is
// out of range: the child is skipped.
bool placeChild(SeedContext& x, const float* R, int id) {
    Sampler& run = x.run;
    const Templates& tm = run.tm;
    Structure& s = x.s;
    const int pos = x.sh.pass->pos, c = x.sh.pass->c, step = x.sh.pass->step;
    std::vector<float>* E = x.sh.pass->E;
    const double tau = run.settings.protocol.ncacPerResidue() ? R[4] * DEG2RAD : NCAC_ANGLE;
    if (!run.plan.backward[step])
        calBBCo(tm, s, pos, s[pos], s[pos + 1], R[0], R[1], R[2], tau, true);
    else
        calBBCoR(tm, s, pos, s[pos], s[pos - 1], R[0], R[1], R[2], tau, true);
    if (!x.sh.pass->finalStep) return true;
    calBBCo(tm, s, c, s[c], s[c + 1], R[11], R[12], R[13], R[14] * DEG2RAD, true);
    calBBCo(tm, s, c + 1, s[c + 1], s[c + 2], R[15], R[16], R[17], R[18] * DEG2RAD, true);
    Residue& r2 = s[c + 2];
    if (r2.type != GLY) r2.atoms[SLOT_CB].CopyPos(calCoCB(tm, r2.atoms[SLOT_N], r2.atoms[SLOT_C], r2.atoms[SLOT_CA]));
    std::vector<Point>& cp = x.sh.pass->closurePoints;
    if (!cp.empty()) {
        // The diverse selection clusters the closure too: C(c), C(c+1), CA(c+1).
        cp[static_cast<size_t>(id) * 3] = s[c].atoms[SLOT_C];
        cp[static_cast<size_t>(id) * 3 + 1] = s[c + 1].atoms[SLOT_C];
        cp[static_cast<size_t>(id) * 3 + 2] = s[c + 1].atoms[SLOT_CA];
    }
    // Closure residues' torsion statistics: the angles as single-precision products, as stored.
    const double phi0 = static_cast<float>(R[11] * 180.0f) * 0.318309886183791;
    const double psi0 = static_cast<float>(R[12] * 180.0f) * 0.318309886183791;
    const double phi1 = static_cast<float>(R[15] * 180.0f) * 0.318309886183791;
    const double psi1 = static_cast<float>(R[16] * 180.0f) * 0.318309886183791;
    const double phi2 = phiAt(s, c + 2);
    const double psi2 = psiAt(s, c + 2);
    if (std::fabs(phi2) >= 180.01 || std::fabs(psi2) >= 180.01) {
        E[1][id] = static_cast<float>(REJECTED);
        std::cerr << "skipped ";
        return false;
    }
    double e1 = E[1][id];
    // Conformation keys of c - 1, the three closure residues and c + 3 (-1: tables not in use).
    int key[5] = {-1, -1, -1, -1, -1};
    if (run.dist.usesConformation(c)) {
        key[0] = conformationKeyAt(s, c - 1);
        key[1] = conformationKey(phi0, psi0);
        key[2] = conformationKey(phi1, psi1);
        key[3] = conformationKey(phi2, psi2);
        key[4] = conformationKeyAt(s, c + 3);
    }
    e1 += torsionEnergy(run.dist, run.settings.protocol.torsionBins, s[c].type, phi0, psi0, c, key[0], key[2]);
    e1 += torsionEnergy(run.dist, run.settings.protocol.torsionBins, s[c + 1].type, phi1, psi1, c + 1, key[1], key[3]);
    e1 += torsionEnergy(run.dist, run.settings.protocol.torsionBins, r2.type, phi2, psi2, c + 2, key[2], key[4]);
    E[1][id] = static_cast<float>(e1);
    return true;
}

// Rotamers of the new residue worth combining: those below the cut, of at
// most 20 drawn when the residue has more.
void allowRotamers(SeedContext& x, const float* rowE) {
    FilterWork& w = x.w;
    const double scCut = x.run.scCut;
    const int nr = x.nr;
    w.allowed.clear();
    if (x.plain) return;
    for (int r = 0; r < nr; ++r) w.rotE[r] = rowE[r];
    if (nr <= 20) {
        for (int r = 0; r < nr; ++r)
            if (w.rotE[r] < scCut) w.allowed.push_back(r);
    } else {
        w.rotDraw.assign(w.rotE.begin(), w.rotE.begin() + nr);
        SampleEWR(w.rotDraw, 20, w.drawn.data(), w.random);
        for (int q = 0; q < 20; ++q)
            if (w.rotDraw[w.drawn[q]] < scCut) w.allowed.push_back(w.drawn[q]);
    }
}

// Side chain of rotamer r on the new residue: built once per child, then copied back.
void obtainSideChain(SeedContext& x, int r) {
    FilterWork& w = x.w;
    Residue& res = x.s[x.sh.pass->pos];
    if (!w.scBuilt[r]) {
        calSCCoHeavy(x.run.tm, res, x.run.pot.rotamers.resolved[x.tpos][r]);
        for (int a = 6; a <= x.last; ++a) w.scCoord[r][a - 6] = res.atoms[a];
        w.scBuilt[r] = 1;
    } else {
        for (int a = 6; a <= x.last; ++a) res.atoms[a].CopyPos(w.scCoord[r][a - 6]);
        res.numAtoms = static_cast<int16_t>(x.run.tm.numAtom[x.tpos]);
    }
}

// Every (seed state, allowed rotamer) combination with its energy in
// w.combIdx / w.combEnergy; returns how many (at most COMBINATIONS).
int combineStates(SeedContext& x, int bin) {
    Sampler& run = x.run;
    const Potentials& pot = run.pot;
    FilterWork& w = x.w;
    Structure& s = x.s;
    const ClashPairs& clash = x.sh.fs->clash;
    const double scCut = run.scCut;
    const int step = x.sh.pass->step, oldBuf = 1 - x.sh.pass->parity;
    const bool finalStep = x.sh.pass->finalStep;
    // The child's backbone and the CBs stay through its states: which clash
    // pairs can score is found once.
    findPairsInReach(pot, clash, s, w.clashReach);
    int M = 0;
    for (int j = 0; j < x.numStates; ++j) {
        double parentE = 0.0;
        if (step >= 1) {
            parentE = run.seeds.pathStateE(step - 1, x.seed)[j];
            if (parentE > ENERGY_CUT) continue;
            restoreSideChains(run, s, oldBuf, step, x.seed, j);
        }
        double b = 0.0;
        const double v = vdw_bbsc(pot, clash, w.clashReach, s, b);
        ++x.n[FilterShared::BBSC_EVALS];
        if (b > scCut) ++x.n[FilterShared::BBSC_B];
        if (v > scCut) ++x.n[FilterShared::BBSC_V];

        if (x.plain) {
            if (M >= COMBINATIONS) break;
            w.combIdx[M] = {j, NO_ROTAMER};
            w.combEnergy[M] = b + parentE;
            ++M;
            continue;
        }
        for (int r : w.allowed) {
            if (M >= COMBINATIONS) break;
            const size_t cell = (static_cast<size_t>(bin) * SC_STATES + j) * MAX_ROTAMERS + r;
            const bool cached = w.clashStamp[cell] == x.serial;
            if (!cached || finalStep) obtainSideChain(x, r);
            double sc;
            if (cached) {
                sc = w.clashCache[cell];
            } else {
                vdw_scsc(pot, clash, w.clashReach, s, sc);
                w.clashCache[cell] = static_cast<float>(sc);
                w.clashStamp[cell] = x.serial;
                ++x.n[FilterShared::SCSC_EVALS];
                if (sc > scCut) ++x.n[FilterShared::SCSC_HIGH];
            }
            double e = w.rotE[r] + b + sc;
            if (finalStep) {
                if (!w.oneDone[r]) {
                    w.oneVal[r] = vdw_onebbsc(pot, run.atoms, s, x.sh.pass->pos, x.sh.pass->c);
                    w.oneDone[r] = 1;
                    ++x.n[FilterShared::ONE_EVALS];
                }
                e += w.oneVal[r];
            }
            e += parentE;
            w.combIdx[M] = {j, r};
            w.combEnergy[M] = e;
            ++M;
        }
    }
    return M;
}

// The child's side-chain states: the (up to SC_STATES) best of the M
// combinations; unused states repeat the first with a rejecting energy.
// Sets E6 and E0 of the child and returns the best energy; u counts the
// combinations below the cut.
double chooseStates(SeedContext& x, int k, int M, int& u) {
    FilterWork& w = x.w;
    SeedBuffers& B = x.run.seeds;
    std::vector<float>* E = x.sh.pass->E;
    const int id = x.seed * CHILDREN + k;
    int16_t* states = B.childStates(x.seed, k);
    float* stateE = B.childStateE(x.seed, k);
    u = 0;
    if (M == 0) {
        E[6][id] = static_cast<float>(REJECTED);
        E[0][id] = static_cast<float>(REJECTED);
        // Keep the state table consistent for a commit that takes this child anyway.
        for (int t = 0; t < SC_STATES; ++t) {
            states[2 * t] = 0;
            states[2 * t + 1] = static_cast<int16_t>(x.plain || x.nr == 0 ? NO_ROTAMER : 0);
            stateE[t] = static_cast<float>(REJECTED);
        }
        return REJECTED;
    }
    for (int m = 0; m < M; ++m)
        if (w.combEnergy[m] < x.run.scCut) ++u;
    const int n = std::min(M, SC_STATES);
    SampleEWRS(w.combEnergy, n, w.chosen.data(), M, x.sh.pass->finalStep, w.ranking);
    double best = REJECTED;
    for (int t = 0; t < n; ++t) {
        const int m = w.chosen[t];
        stateE[t] = static_cast<float>(w.combEnergy[m]);
        states[2 * t] = static_cast<int16_t>(w.combIdx[m][0]);
        states[2 * t + 1] = static_cast<int16_t>(w.combIdx[m][1]);
        best = std::min(best, w.combEnergy[m]);
    }
    for (int t = n; t < SC_STATES; ++t) {
        states[2 * t] = states[0];
        states[2 * t + 1] = states[1];
        stateE[t] = static_cast<float>(REJECTED);
    }
    E[6][id] = static_cast<float>(best);
    E[0][id] = static_cast<float>(best < REJECTED ? 0.0 : REJECTED);
    return best;
}

// Last step: the side chains of the three closure residues on the child's
// best state, by rotamer scan against their environment.
void closeSideChains(SeedContext& x, int id) {
    Sampler& run = x.run;
    FilterWork& w = x.w;
    Structure& s = x.s;
    const int c = x.sh.pass->c, step = x.sh.pass->step;
    const int m0 = w.chosen[0];
    if (step >= 1) restoreSideChains(run, s, 1 - x.sh.pass->parity, step, x.seed, w.combIdx[m0][0]);
    if (!x.plain) obtainSideChain(x, w.combIdx[m0][1]);
    std::array<int, 3> rot = {ABSENT, ABSENT, ABSENT};
    closeSCprep(run, w, s, run.loopStart, run.loopEnd, c);
    for (int m = 0; m < 3; ++m) {
        Residue& cr = s[c + m];
        if (noSideChain(cr.type)) continue;
        const int a = m == 0 ? c + 1 : c;
        const int bb = m == 2 ? c + 1 : c + 2;
        double energy = 0.0;
        rot[m] = df_scfclose(run, w, s, c + m, energy, a, bb);
        if (m < 2) addCSC(run, w, s, c + m);
    }
    x.sh.pass->closeRot[id] = rot;
}

// Deviation of the child from the input (diagnostic tables).
double childDeviation(const SeedContext& x) {
    const Sampler& run = x.run;
    const int start = run.loopStart, end = run.loopEnd, pos = x.sh.pass->pos;
    if (x.sh.pass->c >= 1) return rmsdg(x.s, run.native, start, end);
    if (run.growMode == GROW_FORWARD) return rmsdg(x.s, run.native, start, pos + 1);
    if (run.growMode == GROW_ALTERNATING) return rmsdcut(x.s, run.native, start, end, x.sh.pass->step);
    return rmsdg(x.s, run.native, pos - 1, end);
}

void scoreChild(SeedContext& x, int k) {
    Sampler& run = x.run;
    SeedBuffers& B = run.seeds;
    FilterWork& w = x.w;
    Structure& s = x.s;
    std::vector<float>* E = x.sh.pass->E;
    float* R = B.childRecord(x.seed, k);
    const int id = x.seed * CHILDREN + k;
    if (R[5] > 50.0f) return;

    E[1][id] = static_cast<float>(R[6] + x.S6);
    E[0][id] = static_cast<float>(R[10] + x.S10);
    E[2][id] = R[7];
    E[3][id] = R[8];
    E[5][id] = static_cast<float>(R[9] + x.S9);
    if (!placeChild(x, R, id)) return;

    const UnitRes unit = unitOf(run.plan, x.sh.pass->step);
    Point* ub = B.unfBBAt(id);
    ub[0] = s[unit.co].atoms[2];
    ub[1] = s[unit.co].atoms[3];
    ub[2] = s[unit.nca].atoms[0];
    ub[3] = s[unit.nca].atoms[1];

    allowRotamers(x, B.childRotE(x.seed, k));
    std::fill(std::begin(w.scBuilt), std::end(w.scBuilt), 0);
    std::fill(std::begin(w.oneDone), std::end(w.oneDone), 0);
    const int M = combineStates(x, dihedralBin(run.plan.backward[x.sh.pass->step] ? R[1] : R[0]));
    int u = 0;
    const double best = chooseStates(x, k, M, u);
    if (M > 0 && x.sh.pass->finalStep && u >= 1) closeSideChains(x, id);
    B.enSelection[id] = best;

    const float weight = x.plain ? static_cast<float>(x.wInherited)
                         : M > 0 ? static_cast<float>(R[7] * x.wInherited * u / M)
                                 : 0.0f;  // no combination: no sampling mass (E6 keeps it out of the ranking)
    E[4][id] = weight;
    R[5] = weight;
    x.sh.pass->dev[id] = childDeviation(x);
    std::vector<float>& bb = x.sh.pass->backbone;
    if (!bb.empty()) {
        const int from = run.loopStart, n = run.loopEnd - from + 1;
        float* out = &bb[static_cast<size_t>(id) * n * BACKBONE_FLOATS];
        for (int r = 0; r < n; ++r)
            for (int k : {SLOT_N, SLOT_CA, SLOT_C, SLOT_O}) {
                const Point& p = s[from + r].atoms[k];
                *out++ = static_cast<float>(p.x), *out++ = static_cast<float>(p.y), *out++ = static_cast<float>(p.z);
            }
    }
}

void scoreSeed(FilterShared& sh, FilterWork& w, int i) {
    Sampler& run = *sh.run;
    SeedBuffers& B = run.seeds;
    SeedContext x{sh, run, w, w.structure};
    x.seed = i;
    w.random.reset(streamKey(run.settings.randomSeed, StreamKind::Filter, sh.passNumber, static_cast<uint64_t>(i)));
    // A new serial invalidates every clash-cache entry of earlier seeds and steps.
    if (++w.seedSerial == 0) {
        std::fill(w.clashStamp.begin(), w.clashStamp.end(), 0u);
        w.seedSerial = 1;
    }
    x.serial = w.seedSerial;
    const int step = sh.pass->step;
    for (int j = 0; j < step; ++j) {
        putUnit(run.plan, x.s, j, B.atomC(1 - sh.pass->parity, j, i));
        const float* r = B.pathRecord(B.tempFrag, j, i);
        x.S6 += r[6];
        x.S9 += r[9];
        x.S10 += r[10];
    }
    x.wInherited = step == 0 ? 1.0 : B.pathRecord(B.tempFrag, step - 1, i)[5];
    x.tpos = x.s[sh.pass->pos].type;
    x.last = LAST_HEAVY_SLOT[x.tpos];
    x.nr = run.pot.rotamers.count[x.tpos];
    x.plain = noSideChain(x.tpos);
    x.numStates = step == 0 ? 1 : SC_STATES;
    for (int k = 0; k < CHILDREN; ++k) scoreChild(x, k);
    sh.add(x.n);
}

}  // namespace

void FilterShared::add(const Counts& c) {
    std::lock_guard<std::mutex> lock(countsMutex);
    for (int k = 0; k < NUM_COUNTS; ++k) counts[k] += c[k];
}

void runFilterBody(FilterShared& sh) {
    std::vector<FilterWork>& work = sh.fs->work;
    forEachBlock(static_cast<int>(work.size()), sh.run->liveSeeds, [&](int t, int begin, int end) {
        for (int i = begin; i < end; ++i) scoreSeed(sh, work[t], i);
    });
}

}  // namespace lorvane
