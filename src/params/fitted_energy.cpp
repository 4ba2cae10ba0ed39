// Decoy pair table "fittedE.txt" (compare mode's -dumpdis energy): for every
// van der Waals type pair and 0.1 A distance bin from 2.0 to 8.0 A, minus the
// log-ratio of how often loop heavy atoms meet their surroundings at that
// distance in near-native decoys and in other (non-native) decoys of the same
// loops. Lower values mean more native-like contacts.
//
// Loops: maximal runs of 4..12 DSSP-coil residues of training chains, with a
// residue on each side, no chain break from the residue before the run to the
// one after it, backbone heavy atoms N CA C O present on all of those and CB
// on every non-glycine loop residue; chains of at most 1500 residues. The same
// number of loops (kTargetLoops / 9) is taken for every length, evenly spaced
// through the candidates in file order (deterministic).
//
// Decoys of a loop start..end (chain positions; the frame, including N and CA
// of start and CA, C, O of end, never moves): residues start..end-3 are grown
// one at a time with new (phi, psi) by the model's builder Structure::calBBCo
// (template bond lengths, the native N-CA-C angle and omega); a draw that
// leaves CA(end) out of reach of the residues still to come (more than 3.7 A
// per residue, or outside 4.0..7.2 A for the last one) is drawn again, up to
// kGrowTries times. The last three residues are then closed onto the fixed CA
// and C of end with the analytic tripeptide solver (native bond lengths,
// angles and the two omegas of those residues); every closure solution is
// one decoy. Carbonyl O of the closure residues follows from their new psi,
// CB from the template geometry, and the side chains are rebuilt from the
// native chi angles (near-native decoys carry near-native side chains, far
// ones the same rotamers misplaced); a residue whose native chi angles are
// not all defined keeps only its backbone and CB.
// Kinds of draws per loop: the native angles once; Gaussian noise around the
// native angles of sd 4, 8, 12 degrees (kNearAttempts attempts each) and 20,
// 30, 45, 60, 90, 120 degrees (kFarAttempts each), a noisy pair outside the
// allowed cells (below) drawn again; and each residue's pair replaced with
// probability 0.5 or 1 by a random coil pair of its class (glycine, proline,
// other) from the training set (kResampleAttempts each). Random numbers: a
// 64-bit Mersenne twister seeded with the loop's ordinal, so the table does
// not depend on the thread count.
//
// Kept decoys: every loop residue's (phi, psi) lies in a 10 x 10 degree cell
// holding at least 1/20 of the uniform share of its class in the training set
// (the decoys a torsion score would not throw out: the "low-scoring" ones),
// and no heavy-atom pair is closer than 2.0 A (the compare mode's own clash
// rule). Near-native: backbone RMSD (rmsdg, as compare mode measures it)
// below 1.0 A; other: 1.5 A and above; in between: not used. At most kMaxNear
// and kMaxOther decoys per loop and group are counted (the first ones made);
// a loop contributes when it has at least kMinGroup decoys of each group.
//
// Counts are those of dumpDistances (the compare mode's counting). Each loop
// contributes the mean count per decoy of each group, so that loops with many
// decoys do not dominate; the means are summed over loops in loop order.
// Compare-mode dumps (disout2/ files of sampled decoys of training loops) can
// be added with --dump FILE: each file counts as one loop, its two lines
// divided by their decoy counts. --loops N changes the number of training
// loops (0: dumps only).
//
// Table: E[k] = -ln((n_near[k] + a) / (n_other[k] * N_near / N_other + a)),
// with N the sums over all indices, pseudo-count a = kPseudo (in mean
// counts per decoy summed over loops), clamped to [-kCap, kCap]; indices
// never counted in either group (including every tmin > tmax layout slot)
// are 0.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "closure/tripeptide.h"
#include "evaluate/evaluate.h"
#include "growth/smc.h"
#include "model/errors.h"
#include "model/structure.h"
#include "params/commands.h"
#include "params/training_set.h"

namespace {

constexpr int kTargetLoops = 450;
constexpr int kMinLen = 4, kMaxLen = 12;
constexpr double kNearLevels[] = {4, 8, 12};
constexpr int kNearAttempts = 300;
constexpr double kFarLevels[] = {20, 30, 45, 60, 90, 120};
constexpr int kFarAttempts = 1500;
constexpr double kResampleProb[] = {0.5, 1.0};
constexpr int kResampleAttempts = 3000;
constexpr int kGrowTries = 30;      // draws per residue before the attempt is given up
constexpr double kCaStep = 3.7;     // reach of one residue, CA to CA (A)
constexpr double kCloseMin = 4.0, kCloseMax = 7.2;  // CA(end-2)-CA(end) distances the closure can span
constexpr double kNearRmsd = 1.0, kOtherRmsd = 1.5;
constexpr int kMaxNear = 100, kMaxOther = 200;  // decoys counted per loop and group
constexpr int kMinGroup = 5;
constexpr double kPseudo = 2.0;
constexpr double kCap = 3.0;
constexpr int kRamaCells = 36;          // 10-degree cells
constexpr double kRamaAllowed = 0.05;   // fraction of the uniform share
constexpr double CB_DIHEDRAL = 2.138900998319049;
constexpr int N_ = 0, CA_ = 1, C_ = 2, O_ = 3, CB_ = 5;

int ramaClass(int type) { return type == GLY ? 1 : type == PRO ? 2 : 0; }

int ramaCell(double deg) {
    int c = static_cast<int>(std::floor((deg + 180.0) / 10.0));
    return ((c % kRamaCells) + kRamaCells) % kRamaCells;
}

double wrapDeg(double d) {
    while (d >= 180.0) d -= 360.0;
    while (d < -180.0) d += 360.0;
    return d;
}

struct Rama {
    std::vector<double> hist[3];  // weighted counts per cell
    double total[3] = {0, 0, 0};
    std::vector<std::pair<float, float>> coil[3];  // coil (phi, psi) pool per class
    bool allowed(int cls, double phi, double psi) const {
        if (!(total[cls] > 0)) return true;
        const double share = total[cls] / (kRamaCells * kRamaCells);
        return hist[cls][ramaCell(phi) * kRamaCells + ramaCell(psi)] >= kRamaAllowed * share;
    }
};

bool trainPhiPsi(const TrainChain& c, size_t i, double& phi, double& psi) {
    const auto& R = c.residues;
    if (i == 0 || i + 1 >= R.size() || R[i].breakBefore || R[i + 1].breakBefore) return false;
    const TrainResidue &p = R[i - 1], &r = R[i], &n = R[i + 1];
    if (!p.has(C_) || !r.has(N_) || !r.has(CA_) || !r.has(C_) || !n.has(N_)) return false;
    phi = Torsion(p.atoms[C_], r.atoms[N_], r.atoms[CA_], r.atoms[C_]);
    psi = Torsion(r.atoms[N_], r.atoms[CA_], r.atoms[C_], n.atoms[N_]);
    return std::isfinite(phi) && std::isfinite(psi);
}

Rama buildRama(const TrainingSet& ts) {
    Rama r;
    for (auto& h : r.hist) h.assign(kRamaCells * kRamaCells, 0.0);
    for (const TrainChain& ch : ts.chains)
        for (size_t i = 0; i < ch.residues.size(); ++i) {
            const int t = ch.residues[i].type;
            if (t < 0 || t >= 20) continue;
            double phi, psi;
            if (!trainPhiPsi(ch, i, phi, psi)) continue;
            const int cls = ramaClass(t);
            r.hist[cls][ramaCell(phi) * kRamaCells + ramaCell(psi)] += ch.weight;
            r.total[cls] += ch.weight;
            if (ch.residues[i].ss == 'C') r.coil[cls].emplace_back(static_cast<float>(phi), static_cast<float>(psi));
        }
    return r;
}

struct LoopSite {
    int chain;      // index into the training set
    int first, last;  // residue indices of the loop in the chain (0-based)
};

bool usableLoop(const TrainChain& ch, int a, int b) {
    const int n = static_cast<int>(ch.residues.size());
    if (a < 1 || b > n - 2) return false;
    for (int i = a - 1; i <= b + 1; ++i) {
        const TrainResidue& r = ch.residues[i];
        if (r.type < 0 || r.type >= 20) return false;
        if (i > a - 1 && r.breakBefore) return false;
        for (int s = N_; s <= O_; ++s)
            if (!r.has(s)) return false;
        if (i >= a && i <= b && r.type != GLY && !r.has(CB_)) return false;
    }
    return true;
}

std::vector<LoopSite> selectLoops(const TrainingSet& ts, int target) {
    std::vector<LoopSite> byLen[kMaxLen + 1];
    size_t usable = 0;
    for (size_t c = 0; c < ts.chains.size(); ++c) {
        const TrainChain& ch = ts.chains[c];
        const int n = static_cast<int>(ch.residues.size());
        if (n > MAX_RESIDUES) continue;
        int i = 0;
        while (i < n) {
            if (ch.residues[i].ss != 'C') {
                ++i;
                continue;
            }
            int j = i;
            while (j + 1 < n && ch.residues[j + 1].ss == 'C' && !ch.residues[j + 1].breakBefore) ++j;
            const int len = j - i + 1;
            if (len >= kMinLen && len <= kMaxLen && usableLoop(ch, i, j)) {
                byLen[len].push_back({static_cast<int>(c), i, j});
                ++usable;
            }
            i = j + 1;
        }
    }
    // The same share for every length (short coil runs are far more common
    // but give few distant decoys), evenly spaced through the set.
    std::vector<LoopSite> out;
    const int lengths = kMaxLen - kMinLen + 1;
    const int perLen = (target + lengths - 1) / lengths;
    std::cout << "fittede: " << usable << " coil loops of " << kMinLen << ".." << kMaxLen << " residues usable; taken per length:";
    for (int len = kMinLen; len <= kMaxLen; ++len) {
        const auto& v = byLen[len];
        const int take = std::min<int>(perLen, static_cast<int>(v.size()));
        for (int k = 0; k < take; ++k) out.push_back(v[static_cast<size_t>(k) * v.size() / static_cast<size_t>(take)]);
        std::cout << " " << len << ":" << take << "/" << v.size();
    }
    std::cout << std::endl;
    return out;
}

Structure chainStructure(const TrainChain& ch) {
    const int n = static_cast<int>(ch.residues.size());
    Structure s(n);
    for (int i = 0; i < n; ++i) {
        const TrainResidue& tr = ch.residues[i];
        Residue& r = s[i + 1];
        const int t = tr.type >= 0 && tr.type < 20 ? static_cast<int>(tr.type) : static_cast<int>(ALA);
        r.type = static_cast<int16_t>(t);
        r.pdbNum = tr.pdbNum;
        r.numAtoms = static_cast<int16_t>(Residue::numAtom[t]);
        for (int j = 0; j < MAX_ATOMS; ++j) {
            Atom& a = r.atoms[j];
            a.reset();
            a.index = j;
            if (j < TRAIN_SLOTS && j < Residue::numAtom[t] && tr.has(j) && tr.type >= 0 && tr.type < 20) {
                a.x = tr.atoms[j].x, a.y = tr.atoms[j].y, a.z = tr.atoms[j].z;
                a.type = static_cast<int16_t>(Residue::vdwType[t][j]);
                a.name = Residue::cType[t][j];
            }
        }
    }
    return s;
}

struct LoopResult {
    int made = 0, ramaRejected = 0, clashes = 0, closureFailures = 0;
    int nNear = 0, nOther = 0;
    std::vector<std::pair<int, double>> near, other;  // mean counts per decoy, nonzero only
};

double uniform01(std::mt19937_64& g) { return static_cast<double>(g() >> 11) * (1.0 / 9007199254740992.0); }

double gauss(std::mt19937_64& g) {
    double u1 = uniform01(g), u2 = uniform01(g);
    if (u1 < 1e-300) u1 = 1e-300;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * PI * u2);
}

double dihedral(const Point& a, const Point& b, const Point& c, const Point& d) { return Torsion(a, b, c, d); }

void sparseMean(const std::vector<long long>& sum, int decoys, std::vector<std::pair<int, double>>& out) {
    for (int k = 0; k < DIST_SIZE; ++k)
        if (sum[k] != 0) out.emplace_back(k, static_cast<double>(sum[k]) / decoys);
}

LoopResult makeDecoys(const TrainChain& ch, const LoopSite& site, const Rama& rama, uint64_t seed) {
    LoopResult res;
    Structure nat = chainStructure(ch);
    Structure s = nat;
    const int start = site.first + 1, end = site.last + 1;  // chain positions
    const int len = end - start + 1;
    std::vector<double> phi(len), psi(len), omega(len), tau(len);
    std::vector<std::vector<double>> chi(len, std::vector<double>(5, UNDEF_DIHEDRAL));
    std::vector<bool> chiOk(len, true);
    for (int q = 0; q < len; ++q) {
        const int i = start + q;
        const Residue &p = nat[i - 1], &r = nat[i], &nx = nat[i + 1];
        phi[q] = dihedral(p.atoms[C_], r.atoms[N_], r.atoms[CA_], r.atoms[C_]);
        psi[q] = dihedral(r.atoms[N_], r.atoms[CA_], r.atoms[C_], nx.atoms[N_]);
        omega[q] = dihedral(r.atoms[CA_], r.atoms[C_], nx.atoms[N_], nx.atoms[CA_]);
        tau[q] = angle(r.atoms[N_], r.atoms[CA_], r.atoms[C_]);
        Residue copy = r;
        copy.cal_sc_angles();
        const int t = r.type;
        int need = 0;
        for (int j = 6; j <= Residue::lastDFire[t]; ++j)
            if (Residue::torsion[t][j] == FREE_CHI) ++need;
        for (int k = 0; k < need && k < 5; ++k) {
            chi[q][k] = copy.chi[k];
            if (!(std::fabs(copy.chi[k]) < 10.0)) chiOk[q] = false;
        }
    }

    // Closure geometry of the last three residues, from the native.
    const int c1 = end - 2, c2 = end - 1, c3 = end;
    double blen[6], bang[7], tors[2];
    {
        const Residue &r1 = nat[c1], &r2 = nat[c2], &r3 = nat[c3];
        blen[0] = r1.atoms[CA_].dis(r1.atoms[C_]);
        blen[1] = r1.atoms[C_].dis(r2.atoms[N_]);
        blen[2] = r2.atoms[N_].dis(r2.atoms[CA_]);
        blen[3] = r2.atoms[CA_].dis(r2.atoms[C_]);
        blen[4] = r2.atoms[C_].dis(r3.atoms[N_]);
        blen[5] = r3.atoms[N_].dis(r3.atoms[CA_]);
        bang[0] = angle(r1.atoms[N_], r1.atoms[CA_], r1.atoms[C_]) * DEG2RAD;
        bang[1] = angle(r1.atoms[CA_], r1.atoms[C_], r2.atoms[N_]) * DEG2RAD;
        bang[2] = angle(r1.atoms[C_], r2.atoms[N_], r2.atoms[CA_]) * DEG2RAD;
        bang[3] = angle(r2.atoms[N_], r2.atoms[CA_], r2.atoms[C_]) * DEG2RAD;
        bang[4] = angle(r2.atoms[CA_], r2.atoms[C_], r3.atoms[N_]) * DEG2RAD;
        bang[5] = angle(r2.atoms[C_], r3.atoms[N_], r3.atoms[CA_]) * DEG2RAD;
        bang[6] = angle(r3.atoms[N_], r3.atoms[CA_], r3.atoms[C_]) * DEG2RAD;
        tors[0] = omega[c1 - start] * DEG2RAD;
        tors[1] = omega[c2 - start] * DEG2RAD;
    }
    initialize_loop_closure(blen, bang, tors);

    // Perturbation kinds: noise sd (degrees) or the probability of replacing a
    // residue's pair from the coil pool, and the number of attempts.
    struct Kind {
        double sd;
        double resample;
        int attempts;
    };
    std::vector<Kind> kinds{{0.0, 0.0, 1}};
    for (double sd : kNearLevels) kinds.push_back({sd, 0.0, kNearAttempts});
    for (double sd : kFarLevels) kinds.push_back({sd, 0.0, kFarAttempts});
    for (double p : kResampleProb) kinds.push_back({0.0, p, kResampleAttempts});

    std::mt19937_64 rng(seed);
    std::vector<int> counts(DIST_SIZE);
    std::vector<long long> sumNear(DIST_SIZE, 0), sumOther(DIST_SIZE, 0);
    std::ostringstream sink;
    const int grown = len - 3;  // residues start..end-3 are built by calBBCo
    for (const Kind& kind : kinds) {
      const double sd = kind.sd;
      const bool resample = kind.resample > 0;
      for (int attempt = 0; attempt < kind.attempts && (res.nNear < kMaxNear || res.nOther < kMaxOther); ++attempt) {
        // Residues are grown one at a time; a residue whose new CA(i+1) leaves
        // CA(end) out of reach of the residues still to come is drawn again.
        for (int i = start; i <= end; ++i) s[i] = nat[i];
        bool grownOk = true;
        for (int q = 0; q < grown && grownOk; ++q) {
            const int i = start + q;
            const int cls = ramaClass(nat[i].type);
            const int left = end - (i + 1);  // residues between CA(i+1) and CA(end)
            bool placed = false;
            for (int tr = 0; tr < kGrowTries && !placed; ++tr) {
                double f = phi[q], y = psi[q];
                if (resample) {
                    const auto& pool = rama.coil[cls];
                    const double u = uniform01(rng);
                    const size_t pick = std::min(pool.size() - 1, static_cast<size_t>(uniform01(rng) * static_cast<double>(pool.size())));
                    if (u < kind.resample && !pool.empty()) f = pool[pick].first, y = pool[pick].second;
                } else if (sd > 0) {
                    f = wrapDeg(phi[q] + sd * gauss(rng));
                    y = wrapDeg(psi[q] + sd * gauss(rng));
                    if (!rama.allowed(cls, f, y)) continue;
                }
                s.calBBCo(i, s[i], s[i + 1], f * DEG2RAD, y * DEG2RAD, omega[q] * DEG2RAD, tau[q] * DEG2RAD, true);
                const double d = s[i + 1].atoms[CA_].dis(nat[end].atoms[CA_]);
                placed = left == 2 ? (d >= kCloseMin && d <= kCloseMax) : d <= kCaStep * left;
                if (sd == 0 && !resample) placed = true;  // the native angles, whatever they give
            }
            grownOk = placed;
        }
        if (!grownOk) {
            ++res.closureFailures;
            continue;
        }
        double n1[3] = {s[c1].atoms[N_].x, s[c1].atoms[N_].y, s[c1].atoms[N_].z};
        double a1[3] = {s[c1].atoms[CA_].x, s[c1].atoms[CA_].y, s[c1].atoms[CA_].z};
        double a3[3] = {nat[c3].atoms[CA_].x, nat[c3].atoms[CA_].y, nat[c3].atoms[CA_].z};
        double cc3[3] = {nat[c3].atoms[C_].x, nat[c3].atoms[C_].y, nat[c3].atoms[C_].z};
        double sn[16][3][3], sa[16][3][3], sc[16][3][3];
        int nsol = 0;
        solve_3pep_poly(n1, a1, a3, cc3, sn, sa, sc, &nsol);
        if (nsol <= 0) {
            ++res.closureFailures;
            continue;
        }
        for (int k = 0; k < nsol; ++k) {
            auto put = [](Atom& a, const double* v) {
                a.x = static_cast<float>(v[0]), a.y = static_cast<float>(v[1]), a.z = static_cast<float>(v[2]);
            };
            put(s[c1].atoms[C_], sc[k][0]);
            put(s[c2].atoms[N_], sn[k][1]);
            put(s[c2].atoms[CA_], sa[k][1]);
            put(s[c2].atoms[C_], sc[k][1]);
            put(s[c3].atoms[N_], sn[k][2]);
            for (int i : {c1, c2}) {
                Residue& r = s[i];
                const double p = Torsion(r.atoms[N_], r.atoms[CA_], r.atoms[C_], s[i + 1].atoms[N_]) * DEG2RAD;
                calCo(r.atoms[N_], r.atoms[CA_], r.atoms[C_], Residue::bond_length[r.type][O_], Residue::bond_angle[r.type][O_], p + PI,
                      r.atoms[O_]);
            }
            for (int i = start; i <= end; ++i) {
                Residue& r = s[i];
                const int t = r.type;
                if (t != GLY && i >= c1)
                    calCo(r.atoms[N_], r.atoms[C_], r.atoms[CA_], Residue::bond_length[t][CB_], Residue::bond_angle[t][CB_], CB_DIHEDRAL,
                          r.atoms[CB_]);
                if (Residue::lastDFire[t] < 6) continue;
                if (chiOk[i - start]) {
                    s.calSCCoHeavy(i, chi[i - start].data(), r);
                } else {
                    for (int j = 6; j < MAX_ATOMS; ++j) r.atoms[j].reset(), r.atoms[j].index = j;
                }
            }
            ++res.made;
            bool allowed = true;
            for (int i = start; i <= end && allowed; ++i) {
                const double f = Torsion(s[i - 1].atoms[C_], s[i].atoms[N_], s[i].atoms[CA_], s[i].atoms[C_]);
                const double y = Torsion(s[i].atoms[N_], s[i].atoms[CA_], s[i].atoms[C_], s[i + 1].atoms[N_]);
                allowed = rama.allowed(ramaClass(s[i].type), f, y);
            }
            if (!allowed) {
                ++res.ramaRejected;
                continue;
            }
            const double rmsd = rmsdg(s, nat, start, end);
            const bool isNear = rmsd < kNearRmsd, isOther = rmsd >= kOtherRmsd;
            if (!isNear && !isOther) continue;
            if ((isNear && res.nNear >= kMaxNear) || (isOther && res.nOther >= kMaxOther)) continue;
            std::fill(counts.begin(), counts.end(), 0);
            double e = 0;
            if (dumpDistances(s, start, end, sink, 0, counts.data(), e) == 0) {
                ++res.clashes;
                continue;
            }
            std::vector<long long>& sum = isNear ? sumNear : sumOther;
            (isNear ? res.nNear : res.nOther)++;
            for (int q = 0; q < DIST_SIZE; ++q) sum[q] += counts[q];
        }
      }
    }
    if (res.nNear >= kMinGroup && res.nOther >= kMinGroup) {
        sparseMean(sumNear, res.nNear, res.near);
        sparseMean(sumOther, res.nOther, res.other);
    }
    return res;
}

int cmdFittedE(const std::vector<std::string>& argsIn) {
    // Own options first; the rest are the common ones.
    std::vector<std::string> args, dumps;
    int target = kTargetLoops;
    bool useTraining = true;
    for (size_t i = 0; i < argsIn.size(); ++i) {
        if (argsIn[i] == "--dump" && i + 1 < argsIn.size()) {
            dumps.push_back(argsIn[++i]);
        } else if (argsIn[i] == "--loops" && i + 1 < argsIn.size()) {
            char* endp = nullptr;
            const long v = std::strtol(argsIn[++i].c_str(), &endp, 10);
            if (!endp || *endp || v < 0 || v > 100000) fatal("lorvane-params fittede: bad loop count \"" + argsIn[i] + "\"", 2);
            target = static_cast<int>(v);
            useTraining = v > 0;
        } else {
            args.push_back(argsIn[i]);
        }
    }
    const ParamsOptions o = parseParamsOptions(args, "fittede");
    std::vector<double> nearSum(DIST_SIZE, 0.0), otherSum(DIST_SIZE, 0.0);
    long totalNear = 0, totalOther = 0;
    int loopsUsed = 0;

    if (useTraining) {
        const TrainingSet& ts = trainingSetFor(o);
        const Rama rama = buildRama(ts);
        const std::vector<LoopSite> sites = selectLoops(ts, target);
        std::vector<LoopResult> results(sites.size());
        const double t0 = omp_get_wtime();
#pragma omp parallel for schedule(dynamic, 1) num_threads(o.threads)
        for (int k = 0; k < static_cast<int>(sites.size()); ++k)
            results[k] = makeDecoys(ts.chains[sites[k].chain], sites[k], rama, 20261206ULL + static_cast<uint64_t>(k));
        long made = 0, rama_ = 0, clash = 0, fail = 0;
        for (const LoopResult& r : results) {
            made += r.made, rama_ += r.ramaRejected, clash += r.clashes, fail += r.closureFailures;
            if (r.near.empty() && r.other.empty()) continue;
            ++loopsUsed;
            totalNear += r.nNear, totalOther += r.nOther;
            for (const auto& [k, v] : r.near) nearSum[k] += v;
            for (const auto& [k, v] : r.other) otherSum[k] += v;
        }
        char buf[256];
        std::snprintf(buf, sizeof buf, "fittede: %ld closed decoys in %.1f s: %ld outside allowed torsions, %ld clashing; %ld perturbations "
                      "without closure", made, omp_get_wtime() - t0, rama_, clash, fail);
        std::cout << buf << std::endl;
        std::cout << "fittede: " << loopsUsed << " of " << sites.size() << " loops with >= " << kMinGroup << " decoys per group: " << totalNear
                  << " near-native (RMSD < " << kNearRmsd << " A), " << totalOther << " other (RMSD >= " << kOtherRmsd << " A)" << std::endl;
    }
    for (const std::string& path : dumps) {
        DistanceCounts nearD, otherD;
        readDistanceDump(path, nearD, otherD);
        if (nearD.decoys <= 0 || otherD.decoys <= 0) {
            std::cout << "fittede: " << path << " skipped (no decoys in one group)" << std::endl;
            continue;
        }
        ++loopsUsed;
        totalNear += static_cast<long>(nearD.decoys), totalOther += static_cast<long>(otherD.decoys);
        for (int k = 0; k < DIST_SIZE; ++k) {
            nearSum[k] += nearD.counts[k] / nearD.decoys;
            otherSum[k] += otherD.counts[k] / otherD.decoys;
        }
    }
    if (loopsUsed == 0) fatal("lorvane-params fittede: no loop gave both near-native and other decoys; nothing to derive from");

    const std::vector<double> e = fittedLogRatio(nearSum, otherSum, kPseudo, kCap);
    double tn = 0, to = 0;
    int nonzero = 0, capped = 0;
    for (int k = 0; k < DIST_SIZE; ++k) {
        tn += nearSum[k], to += otherSum[k];
        if (e[k] != 0) ++nonzero;
        if (std::fabs(e[k]) >= kCap) ++capped;
    }
    const std::string path = o.out + "/fittedE.txt";
    std::ofstream f(path, std::ios::trunc);
    if (!f) fatal("lorvane-params fittede: cannot write " + path);
    f << formatFittedTable(e) << "\n";
    f.close();
    if (!f) fatal("lorvane-params fittede: could not finish writing " + path);
    char buf[256];
    std::snprintf(buf, sizeof buf, "fittede: mean pair counts per decoy summed over loops: near %.1f, other %.1f; %d nonzero entries, %d at the cap",
                  tn, to, nonzero, capped);
    std::cout << buf << std::endl << "fittede: wrote " << path << std::endl;
    return 0;
}

}  // namespace

LORVANE_PARAMS_COMMAND("fittede", "decoy pair table fittedE.txt (compare mode -dumpdis)", cmdFittedE, 20);
