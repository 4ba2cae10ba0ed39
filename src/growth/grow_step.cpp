// The parallel growth step: every seed of the population is rebuilt from its
// path records, all 72 x 72 backbone torsion bins of the residue being placed
// are tested (candidate_scan.cpp), side chains are placed on the survivors
// (side_chain_scan.cpp), and up to 100 distinct feasible bins become the
// seed's children.
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
#include "growth/step_math.h"
#include "model/deviation.h"
#include "model/parallel.h"

namespace lorvane {

namespace {

double threadCpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + 1e-9 * ts.tv_nsec;
}

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
        g.ensureCapacity(environmentCapacity(run.atoms, s));
    }

    std::vector<std::string> lines(diag ? std::max(run.liveSeeds, 0) : 0);
    int deadEnds = 0, partial = 0;
    if (diag) std::cerr << " Seed RMSD Feas  MD1  MD2  CD1  CD2  CD3  BBE  SCE  BBN mRMS Sel" << std::endl;

    const GrowStepArgs a{&run, &lines, &deadEnds, &partial, pos, rpos, step, gap, c, numRot, backward, retry, diag, run.nextPass()};
    const int L = std::min(run.liveSeeds, run.seeds.capacity);
    forEachBlock(threads, L, [&](int t, int begin, int end) {
        GrowOne& g = run.workspaces[t];
        const double cpu0 = threadCpuSeconds();
        for (int seed = begin; seed < end; ++seed) g.growSeed(a, seed, t);
        g.busySeconds += threadCpuSeconds() - cpu0;
    });

    if (diag) {
        for (int i = 0; i < L; ++i) std::cerr << lines[i] << "\n";
        std::cerr << "Deadends: " << deadEnds << ", Partial: " << partial << std::endl;
    }
    return deadEnds;
}

void GrowOne::growSeed(const GrowStepArgs& a, int seed, int thread) {
    random.reset(streamKey(a.run->settings.randomSeed, StreamKind::Growth, a.pass, static_cast<uint64_t>(seed)));
    SeedScan sc = beginSeed(a, seed);
    placeFarSide(sc);
    scanBins(sc);
    filterSideChains(sc);
    rankEntries(sc.closure);
    std::ostringstream line;
    if (a.diag) line << diagnosticColumns(sc);
    const int nChild = writeChildren(sc);
    if (a.diag) {
        line << std::setw(5) << (nChild - 1) << std::setw(3) << thread;
        (*a.diagLines)[seed] = line.str();
    }
}

void GrowOne::rebuildPath(const Sampler& m, int seed, int step) {
    Structure& s = structure;
    const SeedBuffers& B = m.seeds;
    for (int j = 0; j < step; ++j) {
        const float* r = B.pathRecord(B.tempFrag, j, seed);
        const int i = m.plan.order[j];
        const double tau = r[4] * DEG2RAD;
        if (!m.plan.backward[j])
            calBBCo(tm, s, i, s[i], s[i + 1], r[0], r[1], r[2], tau, true);
        else
            calBBCoR(tm, s, i, s[i], s[i - 1], r[0], r[1], r[2], tau, true);
    }
}

SeedScan GrowOne::beginSeed(const GrowStepArgs& a, int seed) {
    const Sampler& m = *a.run;
    Structure& s = structure;
    SeedScan sc(a);
    sc.seed = seed;
    sc.closure = a.gap == 3;
    const int pos = a.pos, loopStart = m.loopStart, loopEnd = m.loopEnd;
    const bool backward = a.backward;

    // The seed's path so far, and its deviation from the input (diagnostics).
    rebuildPath(m, seed, a.step);
    if (a.diag && a.step > 0) {
        if (m.growMode == GROW_FORWARD)
            sc.seedRmsd = rmsdg(s, m.native, loopStart, pos);
        else if (m.growMode == GROW_BACKWARD)
            sc.seedRmsd = rmsdg(s, m.native, pos, loopEnd);
        else
            sc.seedRmsd = rmsdcut(s, m.native, loopStart, loopEnd, a.step - 1);
    }

    // Anchors of this step. The scored candidate is laid into the scratch
    // residue cur slot by slot (the scoring terms read positions only). Omega
    // is trans unless the peptide bond pos / pos+1 involves a proline and a
    // cis draw succeeds.
    sc.type = s[pos].type;
    sc.next = backward ? pos - 1 : pos + 1;
    sc.prolineBond = sc.type == PRO || s[pos + 1].type == PRO;
    if (dist.usesConformation(pos)) (backward ? sc.keyNext : sc.keyPrev) = conformationKeyAt(s, backward ? pos + 1 : pos - 1);
    if (!backward && a.step == 0) {
        calCo(s[loopEnd + 1].atoms[SLOT_CA], s[loopEnd + 1].atoms[SLOT_N], s[loopEnd].atoms[SLOT_C], tm.bondLength[sc.type][SLOT_C],
              tm.bondAngle[s[pos + 1].type][SLOT_N], PI, s[loopEnd].atoms[SLOT_CA]);
    }
    if (backward) {
        if (sc.prolineBond && random.uniform() < 0.1) sc.seedOmega = 0.0;
        calCo(s[pos + 1].atoms[SLOT_CA], s[pos + 1].atoms[SLOT_N], s[pos].atoms[SLOT_C], tm.bondLength[sc.type][SLOT_C],
              tm.bondAngle[s[pos + 1].type][SLOT_N], sc.seedOmega, s[pos].atoms[SLOT_CA]);
    }

    // Environment lists, and the closure environment on the closing step.
    if (!backward)
        prepGrow(s, pos, loopStart, loopEnd, pos - 1, a.rpos);
    else
        prepGrow(s, pos, loopStart, loopEnd, a.rpos, pos + 1);
    if (sc.closure) {
        df_closure_prep(s, loopStart, loopEnd, a.c, s[pos].atoms[SLOT_CA], backward);
        std::fill(closureW.begin(), closureW.end(), REJECTED);
        std::fill(closureCount.begin(), closureCount.end(), 0);
    }

    // Backbone atoms of all 5184 candidates, and the reach of each moving atom.
    // With drawn angles the N-CA-C of the residue comes from its type's
    // distribution, one draw per seed.
    // By conformation, each candidate takes the angle of its own (phi, psi).
    if (m.settings.protocol.ncacByConformation) {
        const float* tau = dist.ncacConformation.byBin[sc.type].data();
        if (!backward)
            calBBCoNextAngles(tm, s[pos - 1].atoms[SLOT_C], s[pos].atoms[SLOT_N], s[pos].atoms[SLOT_CA], tau, candPts.data());
        else
            calBBCoNextAnglesR(tm, s[pos + 1].atoms[SLOT_N], s[pos].atoms[SLOT_C], s[pos].atoms[SLOT_CA], tau, candPts.data());
    } else if (m.settings.protocol.drawNCAC) {
        sc.tauDeg = ncacQuantile(dist.backboneAngles, sc.type, random.uniform());
        if (!backward)
            calBBCoNext(tm, s, pos, candPts.data(), 1, sc.tauDeg * DEG2RAD);
        else
            calBBCoNextR(tm, s, pos, candPts.data(), 1, sc.tauDeg * DEG2RAD);
    } else if (!backward) {
        calBBCoNext(tm, s, pos, candPts.data(), 1);
    } else {
        calBBCoNextR(tm, s, pos, candPts.data(), 1);
    }
    pruneToReach(backward);

    sc.caR = s[a.rpos].atoms[SLOT_CA];
    sc.caP = s[pos].atoms[SLOT_CA];
    sc.d0 = floatDistance(sc.caP, sc.caR);
    sc.r0 = endDistanceRow(sc.d0);
    sc.condDegenerate = condRowDegenerate(dist, backward, a.gap, sc.r0);
    return sc;
}

// Reach of each moving atom from CA(pos) over all candidates: the long-range
// terms need only the mid-shell atoms within reach of the cut-off.
void GrowOne::pruneToReach(bool backward) {
    float reach[6] = {0, 0, 0, 0, 0, 0};
    const Point ca = structure[pos_].atoms[SLOT_CA];
    for (int k = 0; k < NUM_CAND; ++k) {
        const Point* P = &candPts[static_cast<size_t>(k) * BB_CAND_SLOTS];
        reach[SLOT_N] = std::max(reach[SLOT_N], static_cast<float>(floatDistance(P[0], ca)));
        reach[SLOT_C] = std::max(reach[SLOT_C], static_cast<float>(floatDistance(P[2], ca)));
        reach[SLOT_CB] = std::max(reach[SLOT_CB], static_cast<float>(floatDistance(P[5], ca)));
        if (!backward) reach[SLOT_O] = std::max(reach[SLOT_O], static_cast<float>(floatDistance(P[3], ca)));
    }
    if (!backward) {
        // CA(pos+1) hangs on N(pos+1).
        reach[SLOT_CA] = reach[SLOT_N] + static_cast<float>(tm.bondLength[0][SLOT_CA]) + 0.01f;
    } else {
        // O(pos-1) hangs on C(pos-1); the CA scored backward is CA(pos) itself.
        reach[SLOT_O] = reach[SLOT_C] + static_cast<float>(tm.bondLength[0][SLOT_O]) + 0.01f;
        reach[SLOT_CA] = 0.0f;
    }
    pruneLongRange(structure, reach);
}

// Coarse placements of the residue next to the far anchor (far-side check).
void GrowOne::placeFarSide(const SeedScan& sc) {
    Structure& s = structure;
    const int rpos = sc.rpos;
    const int ft = s[rpos].type;
    farCount = 0;
    if (!sc.backward) {
        for (int fa = 0; fa < NUM_BINS; fa += COARSE_STEP)
            for (int fb = 0; fb < NUM_BINS; fb += COARSE_STEP) {
                if (!torsionBinAllowed(torsionBinProb(dist, ft, fa, fb))) continue;
                calBBCoR(tm, s, rpos, scratchA, scratchB, binAngle(fa), binAngle(fb), PI, NCAC_ANGLE, false);
                std::array<Point, 5>& f = farSet[farCount++];
                f[0] = scratchA.atoms[SLOT_N];   // N(rpos)
                f[1] = scratchB.atoms[SLOT_CA];  // CA(rpos-1)
                f[2] = scratchA.atoms[SLOT_C];   // C(rpos-1)
            }
        return;
    }
    Point Cset[NUM_BINS], Nset[NUM_BINS];
    const Point Nr = s[rpos].atoms[SLOT_N], CAr = s[rpos].atoms[SLOT_CA];
    calCoCSet(tm, s[rpos - 1].atoms[SLOT_C], Nr, CAr, Cset, COARSE_STEP);
    for (int fa = 0; fa < NUM_BINS; fa += COARSE_STEP) {
        calCoNSet(tm, Nr, CAr, Cset[fa], Nset, COARSE_STEP);
        for (int fb = 0; fb < NUM_BINS; fb += COARSE_STEP) {
            if (!torsionBinAllowed(torsionBinProb(dist, ft, fa, fb))) continue;
            std::array<Point, 5>& f = farSet[farCount++];
            f[0] = Cset[fa];                              // C(rpos)
            f[1] = calCoCA(tm, CAr, Cset[fa], Nset[fb]);  // CA(rpos+1)
            f[2] = Nset[fb];                              // N(rpos+1)
        }
    }
}

// Side chains of the survivors, one row at a time, then the side-chain filter:
// a candidate whose best rotamer is above the cut is rejected.
void GrowOne::filterSideChains(SeedScan& sc) {
    const int numRot = sc.numRot;
    const bool plain = sc.type == GLY || sc.type == ALA;
    if (!plain) {
        std::memset(rotamerVeto, 0, sizeof rotamerVeto);
        for (int row = 0; row < NUM_BINS; ++row) df_scf(structure[sc.pos], scE, row, candAtoms, sc.backward, validSC);
    }
    for (int k = 0; k < NUM_CAND; ++k) {
        if (weight[k] > 1000.0) continue;
        double mn = plain ? 0.0 : REJECTED;
        int below = 0;
        const float* e = &scE[static_cast<size_t>(k) * numRot];
        for (int r = 0; r < numRot; ++r) {
            const double v = plain ? 0.0 : e[r];
            if (!plain && v < mn) mn = v;
            if (v < ENERGY_CUT) ++below;
        }
        scBelow[k] = below;
        if (mn > run.scCut) {
            weight[k] = REJECTED;
            ++sc.tally.sce;
            if (sc.closure) {
                std::fill(closureW.begin() + CLOSURE_SLOTS * k, closureW.begin() + CLOSURE_SLOTS * (k + 1), REJECTED);
                closureCount[k] = 0;
            }
        }
    }
}

// Random order of the feasible entries (candidates, or closure entries).
void GrowOne::rankEntries(bool closure) {
    if (closure) {
        keys.resize(CLOSURE_ENTRIES);
        for (int e = 0; e < CLOSURE_ENTRIES; ++e) keys[e] = closureW[e] < 0.0 ? 0.0 : closureW[e];
    } else {
        keys.assign(weight.begin(), weight.end());
    }
    SampleEWR(keys, 1000, rank.data(), random);
}

std::string GrowOne::diagnosticColumns(const SeedScan& sc) const {
    int feas = 0;
    double best = 9.99;
    bool any = false;
    for (int k = 0; k < NUM_CAND; ++k)
        if (weight[k] < 20.0) {
            ++feas;
            if (!any || estRmsd[k] < best) best = estRmsd[k];
            any = true;
        }
    const ScanTally& t = sc.tally;
    std::ostringstream line;
    line << std::fixed << std::setw(5) << sc.seed << std::setw(5) << std::setprecision(2) << sc.seedRmsd << std::setw(5) << feas
         << std::setw(5) << t.md1 << std::setw(5) << t.md2 << std::setw(5) << t.cd1 << std::setw(5) << t.cd2 << std::setw(5) << t.cd3
         << std::setw(5) << t.bbe << std::setw(5) << t.sce << std::setw(5) << t.bbn << std::setw(5) << std::setprecision(2)
         << (any ? best : 9.99);
    if (t.cd1 > 0) line << " ALERT " << sc.d0 << " ";
    if ((t.cd3 > 0 || t.cd2 > 0) && t.bbn == 0 && t.sce == 0 && feas == 0) line << " BADCD ";
    if ((t.md2 > 0 || t.md1 > 0) && t.bbe == 0 && t.bbn == 0 && t.cd1 == 0 && t.cd2 == 0 && t.cd3 == 0 && t.sce == 0 && feas == 0)
        line << " BADMD ";
    if (t.sce == 0 && t.bbn == 0 && feas == 0 && t.cd1 == 0 && t.cd2 == 0 && t.cd3 == 0 && !(t.md1 == 0 && t.md2 == 0 && t.bbe == 0))
        line << " BADLH " << sc.d0 << " ";
    return line.str();
}

// Up to CHILDREN children from the ranked entries, with their records, side
// chain energies and distances to their siblings. Returns how many.
int GrowOne::writeChildren(const SeedScan& sc) {
    const GrowStepArgs& a = sc;
    SeedBuffers& B = a.run->seeds;
    const int seed = sc.seed, numRot = a.numRot;
    const bool closure = sc.closure, backward = sc.backward;
    const bool plain = sc.type == GLY || sc.type == ALA;
    int nChild = 0;
    const int points = closure ? 12 : 4;
    for (int rk = 0; rk < 1000 && nChild < CHILDREN; ++rk) {
        const int e = rank[rk];
        const int k = closure ? e / CLOSURE_SLOTS : e;
        const double centre = backward ? sc.seedOmega : (cisCand[k] ? 0.0 : PI);
        const double omega = random.normal(centre, 0.048);
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
            for (int p = 0; p < points; ++p) d += sqDist(ch[p], childAtoms[i][p]);
            B.siblingDist(seed, j)[i] = d;
            B.siblingDist(seed, i)[j] = d;
        }
        float* rec = B.childRecord(seed, j);
        if (!closure) {
            double psi = (pb - 0.5 + random.uniform()) * BIN_WIDTH - PI;
            double phi = (pa - 0.5 + random.uniform()) * BIN_WIDTH - PI;
            double om = omega;
            if (nextToRejected(pa, pb)) {
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
        rec[4] = run.settings.protocol.ncacByConformation ? dist.ncacConformation.byBin[sc.type][k] : static_cast<float>(sc.tauDeg);
        rec[5] = 0.0f;
        rec[6] = static_cast<float>(lnPbb[k]);
        rec[7] = static_cast<float>(scBelow[k]);
        rec[8] = static_cast<float>(lnPdist[k]);
        rec[10] = 1.0f;
        float* rotE = B.childRotE(seed, j);
        if (plain)
            std::fill(rotE, rotE + numRot, 0.0f);
        else
            std::copy(&scE[static_cast<size_t>(k) * numRot], &scE[static_cast<size_t>(k) * numRot] + numRot, rotE);
        ++nChild;
    }
    for (int j = nChild; j < CHILDREN; ++j) B.childRecord(seed, j)[5] = static_cast<float>(REJECTED);
    return nChild;
}

// Whether a bin next to (pa, pb) holds a rejected candidate: such a child
// keeps the bin's corner angles instead of a jittered point inside it.
bool GrowOne::nextToRejected(int pa, int pb) const {
    for (int x = std::max(0, pa - 1); x <= std::min(NUM_BINS - 1, pa + 1); ++x)
        for (int y = std::max(0, pb - 1); y <= std::min(NUM_BINS - 1, pb + 1); ++y)
            if ((x != pa || y != pb) && weight[NUM_BINS * x + y] > 100.0) return true;
    return false;
}

}  // namespace lorvane
