// The filter pass after every growth step: score all children (parallel),
// rank them, thin out siblings and near-duplicates, cap the children per
// parent, truncate, cluster, and commit the survivors as the next
// population; at the last step also refine, score and write every loop.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>

#include "build/builders.h"
#include "build/side_chain.h"
#include "filter/filter.h"
#include "filter/final_safeguards.h"
#include "filter/path_units.h"
#include "filter/weighting.h"
#include "filter/written_choice.h"
#include "model/atomic_file.h"
#include "model/error.h"
#include "model/output.h"
#include "model/strings.h"
#include "potentials/dfire.h"
#include "potentials/oscar.h"
#include "potentials/quenda.h"

namespace lorvane {

namespace {


std::string tablePath(const std::string& loopId, const char* suffix, int step) {
    return "output/" + loopId + suffix + itozeropad(step, 3) + ".txt";
}

// Rows "E0 .. E6 deviation id" of a diagnostic table (default stream format).
void writeTable(const std::string& loopId, const char* suffix, int step, const std::vector<int>& ids, int n, const std::vector<float>* E,
                const std::vector<double>& dev) {
    std::ofstream out(tablePath(loopId, suffix, step), std::ios::app);
    for (int k = 0; k < n && k < static_cast<int>(ids.size()); ++k) {
        const int id = ids[k];
        for (int c = 0; c < 7; ++c) out << E[c][id] << " ";
        out << dev[id] << " " << id << "\n";
    }
}

void printBest(const std::vector<double>& dev, const std::vector<float>* E) {
    int top[100];
    checkRMSD(dev, top);
    const int m = std::min<int>(100, static_cast<int>(dev.size()));
    for (int k = 0; k < m; ++k) {
        const int id = top[k];
        std::cerr << id << " " << dev[id] << " " << E[5][id] << " " << E[6][id] << " " << E[1][id] << "\n";
    }
    std::cerr.flush();
}

// A finished loop at the last step, built and refined in a thread's own copy of the protein.
struct LoopResult {
    bool accepted = false;
    bool backboneClear = false;  // with force: backbone and CB clear of the frame (fallback candidate)
    Point unit[6];
    FinalTerms terms;
    std::string records;
};

struct FinalContext {
    Sampler* run;
    int step, pos, c, oldBuf;
    const std::vector<std::array<int, 3>>* closeRot;
};

void buildSideChain(const Sampler& run, Structure& s, int r, int rot) {
    Residue& res = s[r];
    const int t = res.type;
    const int count = run.pot.rotamers.count[t];
    if (noSideChain(t) || count <= 0) return;
    if (rot < 0 || rot >= count) rot = 0;  // no rotamer recorded: start the refinement from the first
    calSCCoHeavy(run.tm, res, run.pot.rotamers.resolved[t][rot]);
}

// Builds candidate id completely (backbone, side chains, hydrogens), refines its side chains and scores it.
// With force a loop that fails the refinement is scored too, when its backbone keeps clear of the frame.
void finishLoop(const FinalContext& fc, Structure& ws, int id, LoopResult& out, bool force = false) {
    Sampler& run = *fc.run;
    const Templates& tm = run.tm;
    const Potentials& pot = run.pot;
    SeedBuffers& B = run.seeds;
    const int p = id / CHILDREN, q = id % CHILDREN;
    const int step = fc.step, pos = fc.pos, c = fc.c;
    const int start = run.loopStart, end = run.loopEnd;
    const float* R = B.childRecord(p, q);
    for (int j = 0; j < step; ++j) putUnit(run.plan, ws, j, B.atomC(fc.oldBuf, j, p));
    if (!run.plan.backward[step])
        calBBCo(tm, ws, pos, ws[pos], ws[pos + 1], R[0], R[1], R[2], R[4] * DEG2RAD, true);
    else
        calBBCoR(tm, ws, pos, ws[pos], ws[pos - 1], R[0], R[1], R[2], R[4] * DEG2RAD, true);
    getUnit(run.plan, ws, step, out.unit);
    calBBCo(tm, ws, c, ws[c], ws[c + 1], R[11], R[12], R[13], R[14] * DEG2RAD, true);
    calBBCo(tm, ws, c + 1, ws[c + 1], ws[c + 2], R[15], R[16], R[17], R[18] * DEG2RAD, true);
    Residue& r2 = ws[c + 2];
    if (r2.type != GLY) r2.atoms[SLOT_CB].CopyPos(calCoCB(tm, r2.atoms[SLOT_N], r2.atoms[SLOT_C], r2.atoms[SLOT_CA]));

    const int16_t* states = B.childStates(p, q);
    const int ps0 = std::clamp<int>(states[0], 0, SC_STATES - 1);
    for (int j = 0; j < step; ++j) {
        const int g = run.plan.order[j];
        const int last = LAST_HEAVY_SLOT[ws[g].type];
        if (last <= SLOT_CB) continue;
        const Point* pts = B.atomC(fc.oldBuf, j, p);
        for (int x = FIRST_SIDE_CHAIN_SLOT; x <= last; ++x) ws[g].atoms[x].CopyPos(pts[15 * ps0 + x]);
        ws[g].numAtoms = static_cast<int16_t>(tm.numAtom[ws[g].type]);
    }
    buildSideChain(run, ws, pos, states[1]);
    const std::array<int, 3>& rot = (*fc.closeRot)[id];
    for (int m = 0; m < 3; ++m) buildSideChain(run, ws, c + m, rot[m]);
    calH(tm, ws, start, end);
    refineSideChains(tm, pot, run.atoms, ws, start, end);
    const bool tolerant = run.settings.protocol.clashTolerance;
    out.accepted = refineSideChains(tm, pot, run.atoms, ws, start, end) && !frameClash(pot, run.atoms, ws, start, end, tolerant);
    if (!out.accepted) {
        if (!force) return;
        out.backboneClear = !frameClash(pot, run.atoms, ws, start, end, true, true);
        if (!out.backboneClear) return;
    }
    out.terms = finalTerms(tm, pot, run.atoms, ws, start, end);
    std::ostringstream rec;
    writeAtomRecords(tm, ws, start, end, rec);
    out.records = rec.str();
}

// Nothing passed the final refinement: the best closed loops whose backbone keeps clear of
// the frame, in rank order, numbered from first + 1 and listed beside the result (in the
// flagged file, or in hold when the loops are held). Returns the number written.
int writeFallback(const FinalContext& fc, Structure& ws, const std::vector<int>& rejected, const std::vector<float>& E1,
                  std::ostream& result, const std::string& resultPath, int first, HeldLoops* hold) {
    const Sampler& run = *fc.run;
    const std::string flagged = flaggedFilePath(resultPath);
    std::vector<int> numbers;
    for (int id : rejected) {
        if (static_cast<int>(numbers.size()) >= run.settings.numLoops) break;
        LoopResult lr;
        finishLoop(fc, ws, id, lr, true);
        if (!lr.backboneClear) continue;
        numbers.push_back(first + static_cast<int>(numbers.size()) + 1);
        writeLoopLine(result, numbers.back(), lr.terms.dfire(), lr.terms.sideChain(), lr.terms.q, E1[id]);
        result << lr.records << "END \n";
    }
    if (numbers.empty()) return 0;
    if (hold)
        hold->flagged.insert(hold->flagged.end(), numbers.begin(), numbers.end());
    else
        writeFlaggedFile(flagged, numbers);
    std::cerr << "Warning: no loop conformation passed the final refinement: wrote the " << numbers.size()
              << " best closed loops whose backbone clears the frame, flagged in " << flagged << std::endl;
    return static_cast<int>(numbers.size());
}

struct CommitArgs {
    Sampler* run;
    Structure* s;
    int step, pos, parity;
    bool finalStep;
};

// Everything of committing candidate id into slot n except the final-step
// loop itself. Away from the last step the structure is rebuilt as well
// (the next growth step starts from it); at the last step the loop's unit
// points come from the thread that built it (finalUnit).
void commitSlot(const CommitArgs& a, int n, int id, const Point* finalUnit) {
    Sampler& run = *a.run;
    SeedBuffers& B = run.seeds;
    const GrowthPlan& plan = run.plan;
    Structure& s = *a.s;
    const int p = id / CHILDREN, q = id % CHILDREN;
    const int step = a.step, pos = a.pos;
    const int oldBuf = 1 - a.parity, newBuf = a.parity;
    for (int j = 0; j < step; ++j) {
        std::copy_n(B.pathRecord(B.tempFrag2, j, p), PATH_FIELDS, B.pathRecord(B.tempFrag, j, n));
        if (!a.finalStep) {
            putUnit(plan, s, j, B.atomC(oldBuf, j, p));
            getUnit(plan, s, j, B.atomC(newBuf, j, n));
        } else {
            std::copy_n(B.atomC(oldBuf, j, p), 6, B.atomC(newBuf, j, n));
        }
    }
    const float* R = B.childRecord(p, q);
    std::copy_n(R, PATH_FIELDS, B.pathRecord(B.tempFrag, step, n));
    if (!a.finalStep) {
        if (!plan.backward[step])
            calBBCo(run.tm, s, pos, s[pos], s[pos + 1], R[0], R[1], R[2], R[4] * DEG2RAD, true);
        else
            calBBCoR(run.tm, s, pos, s[pos], s[pos - 1], R[0], R[1], R[2], R[4] * DEG2RAD, true);
        getUnit(plan, s, step, B.atomC(newBuf, step, n));
    } else {
        std::copy_n(finalUnit, 6, B.atomC(newBuf, step, n));
    }

    const int tpos = s[pos].type;
    for (int j = 0; j < step; ++j) std::copy_n(B.pathRestE(B.scEWithRest2, j, p), MAX_ROTAMERS, B.pathRestE(B.scEWithRest, j, n));
    const int nr = std::clamp(run.pot.rotamers.count[tpos], 0, MAX_ROTAMERS);
    std::copy_n(B.childRotE(p, q), nr, B.pathRestE(B.scEWithRest, step, n));

    const int16_t* states = B.childStates(p, q);
    const float* stateE = B.childStateE(p, q);
    for (int j = 0; j < step; ++j) {
        const int last = LAST_HEAVY_SLOT[s[plan.order[j]].type];
        const Point* from = B.atomC(oldBuf, j, p);
        Point* to = B.atomC(newBuf, j, n);
        for (int t = 0; t < SC_STATES; ++t) {
            const int ps = std::clamp<int>(states[2 * t], 0, SC_STATES - 1);
            for (int x = 6; x <= last; ++x) to[15 * t + x] = from[15 * ps + x];
        }
    }
    float* rotE = B.pathStateE(step, n);
    Point* to = B.atomC(newBuf, step, n);
    const int last = LAST_HEAVY_SLOT[tpos];
    for (int t = 0; t < SC_STATES; ++t) {
        const int r = states[2 * t + 1];
        rotE[t] = stateE[t];
        // Nothing reads the stored side chains after the last step.
        if (a.finalStep || noSideChain(tpos) || r < 0 || r >= run.pot.rotamers.count[tpos]) continue;
        calSCCoHeavy(run.tm, s[pos], run.pot.rotamers.resolved[tpos][r]);
        for (int x = 6; x <= last; ++x) to[15 * t + x] = s[pos].atoms[x];
    }
}

void writeRow(std::ofstream& out, int id, const std::vector<float>* E, const std::vector<double>& dev) {
    if (!out.is_open()) return;
    for (int c = 0; c < 7; ++c) out << E[c][id] << " ";
    out << dev[id] << "\n";
}

// Native loop energies for comparison (diagnostics of the last step).
void nativeReport(Sampler& run, Structure& s) {
    const Potentials& pot = run.pot;
    const int start = run.loopStart, end = run.loopEnd;
    for (int i = start; i <= end; ++i)
        for (int k = 0; k < MAX_ATOMS; ++k) s[i].atoms[k].CopyPos(run.native[i].atoms[k]);
    const double etor = loopTorsionEnergy(run.dist, run.settings.protocol.torsionBins, s, start, end);
    const FinalTerms f = finalTerms(run.tm, pot, run.atoms, s, start, end);
    // The last column: what the side chains add to QUENDA over the backbone alone.
    double a1 = 0, a2 = 0, a3 = 0, a4 = 0;
    const double qa = quenda_e(pot, s, start, end, false, a1, a2, a3, a4);
    if (f.d1 > 0 || f.d2 > 0) std::cerr << "DFERROR" << std::endl;
    std::cerr << "START LOOP NATIVE 0.00 " << f.d1 << " " << f.d2 << " " << f.o << " " << f.t << " 0 0 " << f.q << " NA " << etor << " "
              << f.q1 << " " << f.q2 << " " << f.q3 << " " << f.q4 << " " << f.q - qa << std::endl;
}

FilterPass beginPass(Sampler& run, int step) {
    FilterPass f;
    f.step = step;
    f.pos = run.plan.order[step];
    f.capacity = run.seeds.capacity;
    const int L = run.loopEnd - run.loopStart;
    f.finalStep = step == L - 3;
    f.extra = f.finalStep ? 3 : 1;
    f.c = f.finalStep ? run.plan.closure : -1;
    f.parity = step % 2;
    if (f.capacity < 1 || run.liveSeeds > f.capacity)
        fail("filter: " + std::to_string(run.liveSeeds) + " live seeds exceed the population capacity " + std::to_string(f.capacity));
    f.children = static_cast<size_t>(f.capacity) * CHILDREN;
    for (auto& col : f.E) col.assign(f.children, static_cast<float>(REJECTED));
    f.dev.assign(f.children, REJECTED);
    if (f.finalStep) f.closeRot.assign(f.children, {ABSENT, ABSENT, ABSENT});
    if (f.finalStep && run.settings.protocol.diverse) f.closurePoints.assign(f.children * 3, Point());
    run.seeds.enSelection.assign(f.children, REJECTED);
    return f;
}

// Stage 1: every child scored on all threads (filter_body.cpp), with the
// diagnostic counts and best deviations.
void scoreChildren(Sampler& run, FilterState& fs, FilterPass& f) {
    Structure& s = run.work;
    SeedBuffers& B = run.seeds;
    vdw_bbsc_prep(fs.clash, run.tm, run.atoms, s, f.step, run.plan.order, run.plan.backward, f.c);
    vdw_scsc_prep(fs.clash, run.tm, run.atoms, s, f.step, run.plan.order);
    const int P = std::max(run.settings.threads, 1);
    if (static_cast<int>(fs.work.size()) < P) fs.work.resize(P);
    for (int t = 0; t < P; ++t) fs.work[t].structure = s;
    FilterShared sh;
    sh.run = &run;
    sh.fs = &fs;
    sh.pass = &f;
    sh.passNumber = run.nextPass();
    std::cerr << std::setprecision(0);
    const double clock0 = omp_get_wtime();
    runFilterBody(sh);
    fs.times.scoring += omp_get_wtime() - clock0;
    B.tempFrag2 = B.tempFrag;
    B.scEWithRest2 = B.scEWithRest;
    if (run.settings.diag) {
        const FilterShared::Counts& n = sh.counts;
        std::cerr << "Bad SCs " << f.step << " " << threeLetter(s[f.pos].type) << ": onebbsc 0/" << n[FilterShared::ONE_EVALS]
                  << ", bbsc " << n[FilterShared::BBSC_B] << "/" << n[FilterShared::BBSC_V] << "/" << n[FilterShared::BBSC_EVALS]
                  << ", scsc " << n[FilterShared::SCSC_HIGH] << "/0/" << n[FilterShared::SCSC_EVALS] << std::endl;
        std::cerr << std::setprecision(2);
        std::cerr << "Best RMSDs in growth: " << std::endl;
        printBest(f.dev, f.E);
    }
}

// Stage 3: ranking. Returns the ranked child ids.
std::vector<int> rankChildren(Sampler& run, const FilterPass& f) {
    SeedBuffers& B = run.seeds;
    const bool diag = run.settings.diag;
    const std::vector<float>* E = f.E;
    std::vector<int> A(f.children);
    // Energy-window sample (a report only).
    if (diag) {
        const int n = SampleEWRT(B.enSelection, static_cast<int>(f.children), run.scCut, A.data());
        std::cerr << "Selected " << n << std::endl;
        writeTable(run.loopId, "_S", f.step, A, n, E, f.dev);
    }

    // Ranking. Children that were never scored (empty slots, seeds beyond the
    // population) carry no values and are never ranked.
    const StepWeights& given = run.settings.protocol.stepWeights;
    const StepWeights weights = f.finalStep && !given.atClosure ? StepWeights{} : given;
    int n = weights.programWeights() ? WeightZ(E[6], E[5], E[1], A.data(), run.scCut, REJECTED, run.settings.useBBT)
                                     : WeightStep(E[6], E[5], E[1], E[3], A.data(), run.scCut, REJECTED, weights, run.settings.useBBT);
    {
        int m = 0;
        const int live = run.liveSeeds * CHILDREN;
        for (int k = 0; k < n; ++k)
            if (A[k] < live && E[2][A[k]] != static_cast<float>(REJECTED)) A[m++] = A[k];
        n = m;
    }
    A.resize(n);
    return A;
}

// Stages 4-7: sibling filter, per-seed cap, shuffle of the tail and
// truncation. Returns the surviving child ids in rank order.
std::vector<int> thinChildren(Sampler& run, const FilterPass& f, std::vector<int> A) {
    SeedBuffers& B = run.seeds;
    const bool diag = run.settings.diag;
    const int MAXLOOP = f.capacity;
    const std::vector<float>* E = f.E;
    const int n = static_cast<int>(A.size());

    // Sibling filter.
    const double r5 = n >= MAXLOOP ? 0.25 : 0.0;
    A = siblingFilter(B, A, 4.0 * (f.step + f.extra) * r5 * r5);
    const int m = static_cast<int>(A.size());
    if (diag) std::cerr << "Within cut: " << n << " " << m << std::endl;

    // Per-seed cap.
    int cap = 106;
    A = perSeedCap(A, MAXLOOP, run.settings.nrep, cap);
    int kept = static_cast<int>(A.size());
    if (diag) {
        std::cerr << "maxPaths: " << cap << std::endl;
        std::cerr << "Before pre-filtering: " << m << std::endl;
        writeTable(run.loopId, "_P", f.step, A, kept, E, f.dev);
        std::cerr << "After pre-filtering: " << kept << std::endl;
    }

    // Shuffle the tail, truncate.
    if (kept > MAXLOOP) {
        const int from = std::max(0, static_cast<int>(std::floor(MAXLOOP * run.settings.topFrac)));
        for (int i = from + 1; i < kept; ++i) std::swap(A[i], A[from + run.random.below(i - from + 1)]);
    }
    kept = std::min(kept, static_cast<int>(std::floor(MAXLOOP * (f.finalStep ? 1.5 : 1.25))));
    A.resize(kept);
    if (diag) {
        std::cerr << "Selected " << kept << std::endl;
        writeTable(run.loopId, "_T", f.step, A, kept, E, f.dev);
    }
    return A;
}

// Stages 8-9: greedy leader clustering of the survivors over their path
// backbones (C, O, N, CA of every step) within the diversity radius.
std::vector<int> clusterSurvivors(Sampler& run, const FilterPass& f, const std::vector<int>& A) {
    SeedBuffers& B = run.seeds;
    const int kept = static_cast<int>(A.size()), step = f.step;
    const double r = f.finalStep ? (kept >= run.settings.numLoops ? 0.25 : 0.0) : (kept >= f.capacity ? 0.25 : 0.0);
    const int dim = 12 * (step + 1);
    std::vector<float> vecs(static_cast<size_t>(kept) * dim);
    const int oldBuf = 1 - f.parity;
    for (int i = 0; i < kept; ++i) {
        const int id = A[i], p = id / CHILDREN;
        float* v = &vecs[static_cast<size_t>(i) * dim];
        for (int j = 0; j < step; ++j) {
            const Point* pts = B.atomC(oldBuf, j, p);
            for (int idx : {2, 3, 0, 1}) {
                *v++ = pts[idx].x;
                *v++ = pts[idx].y;
                *v++ = pts[idx].z;
            }
        }
        const Point* ub = B.unfBBAt(id);
        for (int idx = 0; idx < 4; ++idx) {
            *v++ = ub[idx].x;
            *v++ = ub[idx].y;
            *v++ = ub[idx].z;
        }
    }
    const std::vector<int> leaders = leaderCluster(vecs, kept, dim, 4.0 * (step + 1) * r * r, 4e8, run.settings.diag, r);
    std::vector<int> K;
    K.reserve(leaders.size());
    for (int x : leaders) K.push_back(A[x]);
    return K;
}

// Last step: loops are built and refined on all threads in rank order, ahead
// of the writer, which takes them in order until enough are written.
void writeFinalLoops(Sampler& run, const FilterPass& f, const std::vector<int>& K, std::ofstream& ftab, StepProbe* probe,
                     HeldLoops* hold) {
    Structure& s = run.work;
    const bool diag = run.settings.diag;
    const std::vector<float>* E = f.E;
    const int P = std::max(run.settings.threads, 1);
    const int limit = std::min<int>(static_cast<int>(K.size()), f.capacity);
    const CommitArgs ca{&run, &s, f.step, f.pos, f.parity, true};
    const std::string path = resultFilePath(run);
    // Written to the result file, which replaces an earlier result only once
    // complete, or held for the caller, numbered after the loops held before.
    std::optional<AtomicFile> resultFile;
    std::ostringstream heldText;
    if (!hold) resultFile.emplace(path);
    std::ostream& result = hold ? static_cast<std::ostream&>(heldText) : resultFile->stream();
    const int first = hold ? hold->count : 0;
    std::vector<Structure> ws(P, s);
    FinalContext fc{&run, f.step, f.pos, f.c, 1 - f.parity, &f.closeRot};
    const int chunk = 8 * P;
    std::vector<LoopResult> results(chunk);
    int written = 0, lastTried = -1;
    std::vector<int> rejected;  // in rank order, for the fallback
    auto write = [&](int k, int id, const LoopResult& lr) {
        ++written;
        if (probe) probe->written(id, written);
        if (diag)
            std::cerr << "START LOOP " << k << " " << f.dev[id] << " " << lr.terms.d1 << " " << lr.terms.d2 << " " << lr.terms.o << " "
                      << lr.terms.t << " 0 0 " << lr.terms.q << " " << E[0][id] << " " << E[1][id] << " " << lr.terms.q1 << " "
                      << lr.terms.q2 << " " << lr.terms.q3 << " " << lr.terms.q4 << " 0" << std::endl;
        writeLoopLine(result, first + written, lr.terms.dfire(), lr.terms.sideChain(), lr.terms.q, E[1][id]);
        result << lr.records << "END \n";
        if (!result) fail("Cannot write the result file \"" + path + "\"", 1);
    };
    // By backbone score every kept loop is finished before any is written.
    const bool byBackbone = run.settings.protocol.writeByBackbone;
    struct Finished {
        int k, id;
        LoopResult lr;
    };
    std::vector<Finished> pool;
    for (int n0 = 0; n0 < limit && (byBackbone || written < run.settings.numLoops); n0 += chunk) {
        const int cnt = std::min(chunk, limit - n0);
        FirstError error;
#pragma omp parallel for num_threads(P) schedule(dynamic, 1)
        for (int x = 0; x < cnt; ++x) error.run([&] { finishLoop(fc, ws[omp_get_thread_num()], K[n0 + x], results[x]); });
        error.rethrow();
        for (int x = 0; x < cnt && (byBackbone || written < run.settings.numLoops); ++x) {
            const int k = n0 + x, id = K[k];
            LoopResult& lr = results[x];
            if (diag) writeRow(ftab, id, E, f.dev);
            run.liveSeeds = k + 1;
            commitSlot(ca, k, id, lr.unit);
            lastTried = id;
            if (!lr.accepted) {
                if (run.settings.protocol.fallback) rejected.push_back(id);
                continue;
            }
            if (byBackbone)
                pool.push_back({k, id, std::move(lr)});
            else
                write(k, id, lr);
        }
    }
    if (byBackbone) {
        std::vector<double> d1, torsion;
        for (const Finished& x : pool) {
            d1.push_back(x.lr.terms.d1);
            // As the result file holds it (capped), so that the choice can be checked from the file.
            const double g = E[1][x.id];
            torsion.push_back(g <= WRITTEN_SCORE_CAP ? g : WRITTEN_SCORE_CAP);
        }
        for (int q : lowestBackboneScore(d1, torsion, run.settings.numLoops)) write(pool[q].k, pool[q].id, pool[q].lr);
    }
    if (written == 0 && run.settings.protocol.fallback) written = writeFallback(fc, ws[0], rejected, E[1], result, path, first, hold);
    // The working structure ends with the last loop tried.
    if (lastTried >= 0) {
        LoopResult tmp;
        finishLoop(fc, s, lastTried, tmp);
    }
    if (diag) nativeReport(run, s);
    if (hold) {
        hold->text += heldText.str();
        hold->count += written;
        return;
    }
    if (written == 0) fail(nothingWrittenMessage(path), 1);
    resultFile->commit();
}

}  // namespace

FinalTerms finalTerms(const Templates& tm, const Potentials& p, const AtomIndex& x, Structure& s, int start, int end,
                      bool smooth) {
    FinalTerms f;
    f.q = quenda_e(p, s, start, end, true, f.q1, f.q2, f.q3, f.q4);
    dfire_e(p, x, s, start, end, f.d1, f.d2, smooth);
    f.o = oscar_e(p, s, start, end);
    f.t = scto_e(p, tm, s, start, end);
    return f;
}

void filterStep(Sampler& run, FilterState& fs, int step) {
    const bool diag = run.settings.diag;
    filterLibrariesInit();
    if (step == 0) prepareOutputFiles(resultFilePath(run), diag);
    FilterPass f = beginPass(run, step);
    if (fs.probe && fs.probe->wantsBackbone(step))
        f.backbone.assign(f.children * static_cast<size_t>(run.loopEnd - run.loopStart + 1) * BACKBONE_FLOATS, 0.0f);
    scoreChildren(run, fs, f);

    double clock0 = omp_get_wtime();
    const std::vector<int> ranked = rankChildren(run, f);
    std::vector<int> K;
    if (run.settings.protocol.diverse) {
        // Clusters of the children decide between, energy within; no thinning by rank.
        K = diverseKeep(run, f, ranked, fs.diverse);
        fs.times.selection += omp_get_wtime() - clock0;
    } else {
        const std::vector<int> A = thinChildren(run, f, ranked);
        fs.times.selection += omp_get_wtime() - clock0;
        clock0 = omp_get_wtime();
        K = clusterSurvivors(run, f, A);
        fs.times.clustering += omp_get_wtime() - clock0;
    }
    if (fs.probe) {
        const size_t limit = std::min<size_t>(K.size(), static_cast<size_t>(f.capacity));
        const std::vector<int> kept(K.begin(), K.begin() + limit);
        fs.probe->selected(step, f.finalStep, f.dev, ranked, kept, run.settings.protocol.diverse ? &fs.diverse.last : nullptr);
        if (!f.backbone.empty()) fs.probe->keptBackbone(step, kept, f.backbone, f.E);
    }

    // Report and commit.
    clock0 = omp_get_wtime();
    std::ofstream ftab;
    if (diag) {
        std::vector<double> dev2(f.children, REJECTED);
        for (int id : K) dev2[id] = f.dev[id];
        std::cerr << "Best RMSDs after filter: " << std::endl;
        printBest(dev2, f.E);
        ftab.open(tablePath(run.loopId, "_F", step), std::ios::app);
        std::cerr << "Using " << K.size() << " seeds" << std::endl;
    }
    if (f.finalStep) {
        writeFinalLoops(run, f, K, ftab, fs.probe, fs.hold);
        fs.times.finalLoops += omp_get_wtime() - clock0;
        return;
    }
    const int limit = std::min<int>(static_cast<int>(K.size()), f.capacity);
    const CommitArgs ca{&run, &run.work, step, f.pos, f.parity, false};
    run.liveSeeds = 0;
    for (int k = 0; k < limit; ++k) {
        if (diag) writeRow(ftab, K[k], f.E, f.dev);
        run.liveSeeds = k + 1;
        commitSlot(ca, k, K[k], nullptr);
    }
    fs.times.commit += omp_get_wtime() - clock0;
}

}  // namespace lorvane
