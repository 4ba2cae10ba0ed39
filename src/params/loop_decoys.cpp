// Perturbed-dihedral decoys of training loops (see loop_decoys.h).
#include "params/loop_decoys.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <random>

#include "build/builders.h"
#include "build/side_chain.h"
#include "closure/tripeptide.h"
#include "model/backbone_dihedrals.h"
#include "model/error.h"
#include "params/chain_geometry.h"

namespace lorvane::params {

namespace {

constexpr double kNearLevels[] = {4, 8, 12};
constexpr int kNearAttempts = 300;
constexpr double kFarLevels[] = {20, 30, 45, 60, 90, 120};
constexpr int kFarAttempts = 1500;
constexpr double kResampleProb[] = {0.5, 1.0};
constexpr int kResampleAttempts = 3000;
constexpr int kGrowTries = 30;      // draws per residue before the attempt is given up
constexpr double kCaStep = 3.7;     // reach of one residue, CA to CA (A)
constexpr double kCloseMin = 4.0, kCloseMax = 7.2;  // CA(end-2)-CA(end) distances the closure can span
constexpr double CB_DIHEDRAL = 2.138900998319049;
constexpr int N_ = 0, CA_ = 1, C_ = 2, O_ = 3, CB_ = 5;

int ramaCell(double deg) {
    int c = static_cast<int>(std::floor((deg + 180.0) / 10.0));
    return ((c % kRamaCells) + kRamaCells) % kRamaCells;
}

double wrapDeg(double d) {
    while (d >= 180.0) d -= 360.0;
    while (d < -180.0) d += 360.0;
    return d;
}

double uniform01(std::mt19937_64& g) { return static_cast<double>(g() >> 11) * (1.0 / 9007199254740992.0); }

double gauss(std::mt19937_64& g) {
    double u1 = uniform01(g), u2 = uniform01(g);
    if (u1 < 1e-300) u1 = 1e-300;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * PI * u2);
}

double dihedral(const Point& a, const Point& b, const Point& c, const Point& d) { return Torsion(a, b, c, d); }

// The native chi angles of each loop residue; chiOk false where one is undefined.
void nativeChis(const Templates& tm, const Structure& nat, int start, int end, std::vector<std::vector<double>>& chi, std::vector<bool>& chiOk) {
    const int len = end - start + 1;
    chi.assign(len, std::vector<double>(5, UNDEF_DIHEDRAL));
    chiOk.assign(len, true);
    for (int q = 0; q < len; ++q) {
        Residue copy = nat[start + q];
        measureChis(tm, copy, DEG2RAD);
        const int t = copy.type;
        int need = 0;
        for (int j = 6; j <= LAST_HEAVY_SLOT[t]; ++j)
            if (tm.torsion[t][j] == FREE_CHI) ++need;
        for (int k = 0; k < need && k < 5; ++k) {
            chi[q][k] = copy.chi[k];
            if (!(std::fabs(copy.chi[k]) < 10.0)) chiOk[q] = false;
        }
    }
}

// Side chain of loop residue i from its native chis, or none beyond CB.
void rebuildSideChain(const Templates& tm, Structure& s, int i, const std::vector<double>& chi, bool ok) {
    Residue& r = s[i];
    if (LAST_HEAVY_SLOT[r.type] < 6) return;
    if (ok) {
        calSCCoHeavy(tm, r, chi.data());
    } else {
        for (int j = 6; j < MAX_ATOMS; ++j) r.atoms[j].reset();
    }
}

void placeCB(const Templates& tm, Residue& r) {
    calCo(r.atoms[N_], r.atoms[C_], r.atoms[CA_], tm.bondLength[r.type][CB_], tm.bondAngle[r.type][CB_], CB_DIHEDRAL,
          r.atoms[CB_]);
}

}  // namespace

int ramaClass(int type) { return type == GLY ? 1 : type == PRO ? 2 : 0; }

bool Rama::allowed(int cls, double phi, double psi) const {
    if (!(total[cls] > 0)) return true;
    const double share = total[cls] / (kRamaCells * kRamaCells);
    return hist[cls][ramaCell(phi) * kRamaCells + ramaCell(psi)] >= kRamaAllowed * share;
}

Rama buildRama(const TrainingSet& ts) {
    Rama r;
    for (auto& h : r.hist) h.assign(kRamaCells * kRamaCells, 0.0);
    for (const TrainChain& ch : ts.chains)
        for (size_t i = 0; i < ch.residues.size(); ++i) {
            const int t = ch.residues[i].type;
            if (t < 0 || t >= 20) continue;
            double phi, psi;
            if (!phiPsi(ch, i, phi, psi)) continue;
            const int cls = ramaClass(t);
            r.hist[cls][ramaCell(phi) * kRamaCells + ramaCell(psi)] += ch.weight;
            r.total[cls] += ch.weight;
            if (ch.residues[i].ss == 'C') r.coil[cls].emplace_back(static_cast<float>(phi), static_cast<float>(psi));
        }
    return r;
}

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

std::vector<LoopSite> selectLoops(const TrainingSet& ts, int target, int minLen, int maxLen, const std::string& tag) {
    if (minLen < 4 || maxLen < minLen) fail(tag + ": loop lengths " + std::to_string(minLen) + ".." + std::to_string(maxLen) + " (at least 4)");
    std::vector<std::vector<LoopSite>> byLen(static_cast<size_t>(maxLen) + 1);
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
            if (len >= minLen && len <= maxLen && usableLoop(ch, i, j)) {
                byLen[len].push_back({static_cast<int>(c), i, j});
                ++usable;
            }
            i = j + 1;
        }
    }
    // The same share for every length (short coil runs are far more common
    // but give few distant decoys), evenly spaced through the set.
    std::vector<LoopSite> out;
    const int lengths = maxLen - minLen + 1;
    const int perLen = (target + lengths - 1) / lengths;
    std::cout << tag << ": " << usable << " coil loops of " << minLen << ".." << maxLen << " residues usable; taken per length:";
    for (int len = minLen; len <= maxLen; ++len) {
        const auto& v = byLen[len];
        const int take = std::min<int>(perLen, static_cast<int>(v.size()));
        for (int k = 0; k < take; ++k) out.push_back(v[static_cast<size_t>(k) * v.size() / static_cast<size_t>(take)]);
        std::cout << " " << len << ":" << take << "/" << v.size();
    }
    std::cout << std::endl;
    return out;
}

Structure chainStructure(const Templates& tm, const TrainChain& ch) {
    const int n = static_cast<int>(ch.residues.size());
    Structure s(n);
    for (int i = 0; i < n; ++i) {
        const TrainResidue& tr = ch.residues[i];
        Residue& r = s[i + 1];
        const int t = tr.type >= 0 && tr.type < 20 ? static_cast<int>(tr.type) : static_cast<int>(ALA);
        r.type = static_cast<int16_t>(t);
        r.pdbNum = tr.pdbNum;
        r.numAtoms = static_cast<int16_t>(tm.numAtom[t]);
        for (int j = 0; j < MAX_ATOMS; ++j) {
            Atom& a = r.atoms[j];
            a.reset();
            if (j < TRAIN_SLOTS && j < tm.numAtom[t] && tr.has(j) && tr.type >= 0 && tr.type < 20) {
                a.x = tr.atoms[j].x, a.y = tr.atoms[j].y, a.z = tr.atoms[j].z;
                a.type = static_cast<int16_t>(tm.vdwType[t][j]);
                a.name = tm.atomName[t][j];
            }
        }
    }
    return s;
}

std::vector<DecoyKind> standardKinds() {
    std::vector<DecoyKind> kinds{{0.0, 0.0, 1}};
    for (double sd : kNearLevels) kinds.push_back({sd, 0.0, kNearAttempts});
    for (double sd : kFarLevels) kinds.push_back({sd, 0.0, kFarAttempts});
    for (double p : kResampleProb) kinds.push_back({0.0, p, kResampleAttempts});
    return kinds;
}

Structure nativeWithRebuiltSideChains(const Templates& tm, const TrainChain& ch, const LoopSite& site) {
    Structure s = chainStructure(tm, ch);
    const int start = site.first + 1, end = site.last + 1;
    std::vector<std::vector<double>> chi;
    std::vector<bool> chiOk;
    nativeChis(tm, s, start, end, chi, chiOk);
    for (int i = start; i <= end; ++i) {
        if (s[i].type != GLY) placeCB(tm, s[i]);
        rebuildSideChain(tm, s, i, chi[i - start], chiOk[i - start]);
    }
    return s;
}

namespace {

// What the decoys of one loop keep from the native: backbone angles of the
// grown residues, chis of the side chains, the closure geometry.
struct LoopGeometry {
    int start, end;                          // chain positions of the loop
    std::vector<double> phi, psi, omega, tau;  // degrees, per loop residue
    std::vector<std::vector<double>> chi;
    std::vector<bool> chiOk;
};

LoopGeometry nativeGeometry(const Templates& tm, const Structure& nat, int start, int end) {
    LoopGeometry g{start, end, {}, {}, {}, {}, {}, {}};
    const int len = end - start + 1;
    g.phi.resize(len), g.psi.resize(len), g.omega.resize(len), g.tau.resize(len);
    for (int q = 0; q < len; ++q) {
        const int i = start + q;
        const Residue &p = nat[i - 1], &r = nat[i], &nx = nat[i + 1];
        g.phi[q] = dihedral(p.atoms[C_], r.atoms[N_], r.atoms[CA_], r.atoms[C_]);
        g.psi[q] = dihedral(r.atoms[N_], r.atoms[CA_], r.atoms[C_], nx.atoms[N_]);
        g.omega[q] = dihedral(r.atoms[CA_], r.atoms[C_], nx.atoms[N_], nx.atoms[CA_]);
        g.tau[q] = angle(r.atoms[N_], r.atoms[CA_], r.atoms[C_]);
    }
    nativeChis(tm, nat, start, end, g.chi, g.chiOk);
    return g;
}

// The tripeptide closure of the last three residues takes their native bond
// lengths, angles and the two omegas.
void initialiseClosure(const Structure& nat, const LoopGeometry& g, TripeptideClosure& closure) {
    const int c1 = g.end - 2, c2 = g.end - 1, c3 = g.end;
    const Residue &r1 = nat[c1], &r2 = nat[c2], &r3 = nat[c3];
    double blen[6], bang[7], tors[2];
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
    tors[0] = g.omega[c1 - g.start] * DEG2RAD;
    tors[1] = g.omega[c2 - g.start] * DEG2RAD;
    closure.initialize(blen, bang, tors);
}

// Grows residues start..end-3 of s one at a time with angles of the given
// kind; a residue whose new CA(i+1) leaves CA(end) out of reach of the
// residues still to come is drawn again. False when one could not be placed.
bool growLoop(const Templates& tm, Structure& s, const Structure& nat, const LoopGeometry& g, const DecoyKind& kind, const Rama& rama,
              std::mt19937_64& rng) {
    const double sd = kind.sd;
    const bool resample = kind.resample > 0;
    const int grown = g.end - g.start + 1 - 3;  // residues start..end-3 are built by calBBCo
    for (int q = 0; q < grown; ++q) {
        const int i = g.start + q;
        const int cls = ramaClass(nat[i].type);
        const int left = g.end - (i + 1);  // residues between CA(i+1) and CA(end)
        bool placed = false;
        for (int tr = 0; tr < kGrowTries && !placed; ++tr) {
            double f = g.phi[q], y = g.psi[q];
            if (resample) {
                const auto& pool = rama.coil[cls];
                const double u = uniform01(rng);
                const size_t pick = std::min(pool.size() - 1, static_cast<size_t>(uniform01(rng) * static_cast<double>(pool.size())));
                if (u < kind.resample && !pool.empty()) f = pool[pick].first, y = pool[pick].second;
            } else if (sd > 0) {
                f = wrapDeg(g.phi[q] + sd * gauss(rng));
                y = wrapDeg(g.psi[q] + sd * gauss(rng));
                if (!rama.allowed(cls, f, y)) continue;
            }
            calBBCo(tm, s, i, s[i], s[i + 1], f * DEG2RAD, y * DEG2RAD, g.omega[q] * DEG2RAD, g.tau[q] * DEG2RAD, true);
            const double d = s[i + 1].atoms[CA_].dis(nat[g.end].atoms[CA_]);
            placed = left == 2 ? (d >= kCloseMin && d <= kCloseMax) : d <= kCaStep * left;
            if (sd == 0 && !resample) placed = true;  // the native angles, whatever they give
        }
        if (!placed) return false;
    }
    return true;
}

// Closure solution k in the last three residues, their O and CB, and every
// loop side chain rebuilt from the native chis.
void placeClosure(const Templates& tm, Structure& s, const LoopGeometry& g, const double (*sn)[3][3], const double (*sa)[3][3],
                  const double (*sc)[3][3], int k) {
    const int c1 = g.end - 2, c2 = g.end - 1, c3 = g.end;
    auto put = [](Atom& a, const double* v) { a.x = static_cast<float>(v[0]), a.y = static_cast<float>(v[1]), a.z = static_cast<float>(v[2]); };
    put(s[c1].atoms[C_], sc[k][0]);
    put(s[c2].atoms[N_], sn[k][1]);
    put(s[c2].atoms[CA_], sa[k][1]);
    put(s[c2].atoms[C_], sc[k][1]);
    put(s[c3].atoms[N_], sn[k][2]);
    for (int i : {c1, c2}) {
        Residue& r = s[i];
        const double p = psiAt(s, i) * DEG2RAD;
        calCo(r.atoms[N_], r.atoms[CA_], r.atoms[C_], tm.bondLength[r.type][O_], tm.bondAngle[r.type][O_], p + PI, r.atoms[O_]);
    }
    for (int i = g.start; i <= g.end; ++i) {
        if (s[i].type != GLY && i >= c1) placeCB(tm, s[i]);
        rebuildSideChain(tm, s, i, g.chi[i - g.start], g.chiOk[i - g.start]);
    }
}

bool inAllowedCells(const Structure& s, const LoopGeometry& g, const Rama& rama) {
    for (int i = g.start; i <= g.end; ++i) {
        if (!rama.allowed(ramaClass(s[i].type), phiAt(s, i), psiAt(s, i))) return false;
    }
    return true;
}

}  // namespace

DecoyStats makeLoopDecoys(const Templates& tm, const TrainChain& ch, const LoopSite& site, const Rama& rama, uint64_t seed, const std::vector<DecoyKind>& kinds,
                          const std::function<bool()>& wantMore,
                          const std::function<void(Structure& decoy, Structure& native, int start, int end)>& take) {
    DecoyStats res;
    Structure nat = chainStructure(tm, ch);
    Structure s = nat;
    const LoopGeometry g = nativeGeometry(tm, nat, site.first + 1, site.last + 1);
    TripeptideClosure closure;
    initialiseClosure(nat, g, closure);
    const int c1 = g.end - 2, c3 = g.end;
    std::mt19937_64 rng(seed);
    for (const DecoyKind& kind : kinds) {
        for (int attempt = 0; attempt < kind.attempts && wantMore(); ++attempt) {
            for (int i = g.start; i <= g.end; ++i) s[i] = nat[i];
            if (!growLoop(tm, s, nat, g, kind, rama, rng)) {
                ++res.closureFailures;
                continue;
            }
            double n1[3] = {s[c1].atoms[N_].x, s[c1].atoms[N_].y, s[c1].atoms[N_].z};
            double a1[3] = {s[c1].atoms[CA_].x, s[c1].atoms[CA_].y, s[c1].atoms[CA_].z};
            double a3[3] = {nat[c3].atoms[CA_].x, nat[c3].atoms[CA_].y, nat[c3].atoms[CA_].z};
            double cc3[3] = {nat[c3].atoms[C_].x, nat[c3].atoms[C_].y, nat[c3].atoms[C_].z};
            double sn[16][3][3], sa[16][3][3], sc[16][3][3];
            int nsol = 0;
            closure.solve(n1, a1, a3, cc3, sn, sa, sc, &nsol);
            if (nsol <= 0) {
                ++res.closureFailures;
                continue;
            }
            for (int k = 0; k < nsol; ++k) {
                placeClosure(tm, s, g, sn, sa, sc, k);
                ++res.made;
                if (!inAllowedCells(s, g, rama)) {
                    ++res.ramaRejected;
                    continue;
                }
                take(s, nat, g.start, g.end);
            }
        }
    }
    return res;
}

}  // namespace lorvane::params
