// validate-pairs: measures the derived pair potentials on the benchmark loops
// (measurement only; nothing here feeds back into a table).
//
// For every loop, 100 decoys are built by perturbing the phi/psi of the loop
// residues before the last three (Gaussian, sd 20, 40, 60 or 90 degrees in
// turn, narrowed by a fifth after every 25 attempts that do not close),
// rebuilding them with the residue builder (template geometry, native omega
// and N-CA-C angle) from the fixed start anchor, and closing the last three
// residues on the fixed end anchor with the tripeptide closure (random N-CA-C
// angles and peptide torsions as the sampler draws them, a random one of the
// closures). Side chains of native and decoys alike are rebuilt from the
// native chi angles with template geometry, so the comparison sees the
// backbone only. The native is scored with its own backbone.
//
// Energies, through the program's own loaders and energy terms: DFIRE
// (dfire_e), QUENDA (quenda_e, all atoms), the sampling pair table summed
// over the non-bonded loop pairs, and the OSCAR pair term (oscar_e).
// Tables are read from data/ of the working directory, as the program reads them.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <memory>
#include <random>

#include <omp.h>

#include "build/builders.h"
#include "build/side_chain.h"
#include "closure/tripeptide.h"
#include "model/backbone_dihedrals.h"
#include "model/error.h"
#include "model/pdb_reader.h"
#include "model/residue.h"
#include "model/strings.h"
#include "model/structure.h"
#include "params/benchmark_loops.h"
#include "params/commands.h"
#include "params/table_io.h"
#include "potentials/atom_index.h"
#include "potentials/atom_typing.h"
#include "potentials/dfire.h"
#include "potentials/oscar.h"
#include "potentials/potentials.h"
#include "potentials/quenda.h"

namespace lorvane::params {

namespace {

constexpr int NDECOYS = 100;
constexpr int NTERMS = 4;
const char* const TERM_NAME[NTERMS] = {"DFIRE", "QUENDA", "sampling table", "OSCAR pair"};
const double SIGMAS[4] = {20.0, 40.0, 60.0, 90.0};

// Deterministic normal deviates (Box-Muller on the standard 64-bit Mersenne twister).
class Rng {
public:
    explicit Rng(uint64_t seed) : g_(seed) {}
    double uniform() { return (static_cast<double>(g_() >> 11) + 0.5) * (1.0 / 9007199254740992.0); }
    double normal(double mean, double sd) {
        if (has_) {
            has_ = false;
            return mean + sd * spare_;
        }
        double u = uniform(), v = uniform();
        double r = std::sqrt(-2.0 * std::log(u));
        spare_ = r * std::sin(2.0 * PI * v);
        has_ = true;
        return mean + sd * r * std::cos(2.0 * PI * v);
    }

private:
    std::mt19937_64 g_;
    double spare_ = 0;
    bool has_ = false;
};

// Sampling-table energy of the loop as the sampler uses the table: pairs two or more residues
// apart are summed; a non-bonded pair within a residue or between neighbours whose table value
// exceeds 10 is a clash and costs 100. Every pair with a loop atom, once.
double samplingEnergy(const Potentials& pot, const AtomIndex& x, const Structure& s, int p0, int p1) {
    double e = 0;
    const int N = s._numRes;
    auto atomsOf = [&](int i, int& n) {
        const int t = s[i].type;
        n = (t >= 0 && t < 20) ? LAST_HEAVY_SLOT[t] + 1 : 0;
    };
    for (int i = p0; i <= p1; ++i) {
        int na;
        atomsOf(i, na);
        for (int j = 1; j <= N; ++j) {
            if (j < i && j >= p0) continue;  // loop-loop pairs once
            if (!(s[i].atoms[1].dis(s[j].atoms[1]) < 25.0)) continue;
            int nb;
            atomsOf(j, nb);
            for (int a = 0; a < na; ++a) {
                if ((a == 4) || (a == 5 && s[i].type == GLY)) continue;
                const int ga = x.index(i, a);
                if (ga < 0 || x.pairType[ga] == NO_PAIR_TYPE) continue;
                for (int b = (j == i ? a + 1 : 0); b < nb; ++b) {
                    if ((b == 4) || (b == 5 && s[j].type == GLY)) continue;
                    const int gb = x.index(j, b);
                    if (gb < 0 || x.pairType[gb] == NO_PAIR_TYPE || !x.nonBonded[ga][gb]) continue;
                    const double d2 = s[i].atoms[a].sdis(s[j].atoms[b]);
                    if (!(d2 < pot.maxDis2)) continue;
                    const double v = pot.pairEnergy(x.pairType[ga], x.pairType[gb], d2);
                    if (std::abs(j - i) >= 2) e += v;
                    else if (v > 10.0) e += 100.0;
                }
            }
        }
    }
    return e;
}

void scoreLoop(const Potentials& pot, const AtomIndex& x, Structure& s, int p0, int p1, double* out) {
    double bb = 0, sc = 0;
    dfire_e(pot, x, s, p0, p1, bb, sc);
    out[0] = bb + sc;
    double q1 = 0, q2 = 0, q3 = 0, q4 = 0;
    out[1] = quenda_e(pot, s, p0, p1, true, q1, q2, q3, q4);
    out[2] = samplingEnergy(pot, x, s, p0, p1);
    out[3] = oscar_e(pot, s, p0, p1);
}

// Side chains of residues p0..p1 from chi angles (radians) with template geometry.
void rebuildSideChains(const Templates& tm, Structure& s, int p0, int p1, const std::vector<std::array<double, 5>>& chi) {
    for (int i = p0; i <= p1; ++i) {
        Residue& r = s[i];
        const int t = r.type;
        if (t != GLY)
            calCo(r.atoms[0], r.atoms[2], r.atoms[1], tm.bondLength[t][5], tm.bondAngle[t][5], 2.138900998319049,
                  r.atoms[5]);
        calSCCoHeavy(tm, r, chi[i - p0].data());
    }
}

double backboneRmsd(const Structure& a, const Structure& b, int p0, int p1) {
    double s = 0;
    int n = 0;
    for (int i = p0; i <= p1; ++i)
        for (int k = 0; k < 4; ++k) {
            s += a[i].atoms[k].sdis(b[i].atoms[k]);
            ++n;
        }
    return n ? std::sqrt(s / n) : 0.0;
}

struct CaseResult {
    std::string id;
    int length = 0, decoys = 0;
    double native[NTERMS] = {}, raw[NTERMS] = {};
    int lower[NTERMS] = {}, lowerRaw[NTERMS] = {};  // decoys scoring below the native
    double medianRmsd = 0;
    bool ok = false;
};

// The native loop's backbone angles (radians) and side-chain chis, measured
// before typing marks every loop atom present.
struct NativeAngles {
    std::vector<double> phi, psi, omega, tau;
    std::vector<std::array<double, 5>> chi;
};

NativeAngles nativeAngles(const Templates& tm, const Structure& S, int p0, int p1) {
    const int n = p1 - p0 + 1;
    NativeAngles g{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n), std::vector<double>(n),
                   std::vector<std::array<double, 5>>(n)};
    for (int i = p0; i <= p1; ++i) {
        const Residue& r = S[i];
        g.phi[i - p0] = phiAt(S, i) * DEG2RAD;
        g.psi[i - p0] = psiAt(S, i) * DEG2RAD;
        g.omega[i - p0] = omegaAt(S, i) * DEG2RAD;
        g.tau[i - p0] = angle(r.atoms[0], r.atoms[1], r.atoms[2]) * DEG2RAD;
        Residue copy = r;
        measureChis(tm, copy, DEG2RAD);
        // A side chain the file lacks is built at -60 degrees, the same in the native and every decoy.
        for (int k = 0; k < 5; ++k) g.chi[i - p0][k] = copy.chi[k] == UNDEF_DIHEDRAL ? -60.0 * DEG2RAD : copy.chi[k];
    }
    return g;
}

// One attempt at a decoy of residues p0..p1 of S: the residues before the last
// three perturbed by sd and rebuilt, the last three closed with random
// closure geometry (one solution at random). False when nothing closes.
bool perturbAndClose(const Templates& tm, Structure& S, int p0, int p1, const NativeAngles& g, double sd, Rng& rng) {
    const int c = p1 - 2;
    for (int i = p0; i < c; ++i) {
        const int k = i - p0;
        calBBCo(tm, S, i, S[i], S[i + 1], g.phi[k] + rng.normal(0, sd), g.psi[k] + rng.normal(0, sd), g.omega[k], g.tau[k], true);
    }
    const int t0 = S[c].type, t1 = S[c + 1].type, t2 = S[c + 2].type;
    const auto& bl = tm.bondLength;
    const auto& ba = tm.bondAngle;
    const double th1 = rng.normal(1.92, 0.06), th2 = rng.normal(1.92, 0.06);
    const double w1 = rng.normal(3.129375, 0.0541), w2 = rng.normal(3.129375, 0.0541);
    const double len[6] = {bl[t0][2], bl[t1][0], bl[t1][1], bl[t1][2], bl[t2][0], bl[t2][1]};
    const double ang[7] = {th1, ba[t1][0], ba[t1][1], th2, ba[t2][0], ba[t2][1], ba[t2][2]};
    const double tor[2] = {w1, w2};
    TripeptideClosure closure;
    closure.initialize(len, ang, tor);
    auto P = [&](int i, int k, double* v) {
        v[0] = S[i].atoms[k].x;
        v[1] = S[i].atoms[k].y;
        v[2] = S[i].atoms[k].z;
    };
    double n1[3], a1[3], a3[3], c3[3];
    P(c, 0, n1);
    P(c, 1, a1);
    P(c + 2, 1, a3);
    P(c + 2, 2, c3);
    double sn[16][3][3], sa[16][3][3], scc[16][3][3];
    int ns = 0;
    closure.solve(n1, a1, a3, c3, sn, sa, scc, &ns);
    if (ns <= 0) return false;
    const int pick = std::min(ns - 1, static_cast<int>(rng.uniform() * ns));
    for (int q = 0; q < 3; ++q) {
        Residue& r = S[c + q];
        r.atoms[0] = Point(static_cast<float>(sn[pick][q][0]), static_cast<float>(sn[pick][q][1]), static_cast<float>(sn[pick][q][2]));
        r.atoms[1] = Point(static_cast<float>(sa[pick][q][0]), static_cast<float>(sa[pick][q][1]), static_cast<float>(sa[pick][q][2]));
        r.atoms[2] = Point(static_cast<float>(scc[pick][q][0]), static_cast<float>(scc[pick][q][1]), static_cast<float>(scc[pick][q][2]));
    }
    for (int q = c; q <= c + 2; ++q) {
        Residue& r = S[q];
        const int t = r.type;
        const double ps = psiAt(S, q) * DEG2RAD;
        calCo(r.atoms[0], r.atoms[1], r.atoms[2], bl[t][3], ba[t][3], ps + PI, r.atoms[3]);
    }
    return true;
}

CaseResult runCase(const Templates& tm, const Potentials& pot, const std::string& file, const BenchmarkLoop& lc, int caseIndex) {
    CaseResult res;
    res.id = lc.id;
    res.length = lc.length;
    auto s = std::make_unique<Structure>();
    if (!readPdb(tm, file, *s)) return res;
    int p0 = -1, p1 = -1;
    for (int i = 1; i <= s->_numRes; ++i) {
        if ((*s)[i].pdbNum == lc.start && p0 < 0) p0 = i;
        if ((*s)[i].pdbNum == lc.end) p1 = i;
    }
    if (p0 < 2 || p1 < p0 + 3 || p1 >= s->_numRes) return res;
    Structure& S = *s;
    const NativeAngles g = nativeAngles(tm, S, p0, p1);
    typeAtoms(tm, pot, S, p0, p1);
    const AtomIndex x = buildAtomIndex(tm, S);
    oscar_e(pot, S, 1, S._numRes);  // orientation points of every group atom, as production does
    scoreLoop(pot, x, S, p0, p1, res.raw);
    rebuildSideChains(tm, S, p0, p1, g.chi);
    scoreLoop(pot, x, S, p0, p1, res.native);
    const auto native = std::make_unique<Structure>(S);
    std::vector<Residue> saved(S.residues.begin() + p0 - 1, S.residues.begin() + p1 + 2);
    auto restore = [&]() {
        for (int i = p0 - 1; i <= p1 + 1; ++i) S[i] = saved[i - p0 + 1];
    };
    Rng rng(0x9e3779b97f4a7c15ULL ^ static_cast<uint64_t>(caseIndex + 1) * 1000003ULL);
    std::vector<double> rmsds;
    for (int d = 0; d < NDECOYS; ++d) {
        double sd = SIGMAS[d % 4] * DEG2RAD;
        bool built = false;
        for (int attempt = 0; attempt < 200 && !built; ++attempt) {
            if (attempt > 0 && attempt % 25 == 0) sd *= 0.8;  // far-off perturbations rarely close
            restore();
            built = perturbAndClose(tm, S, p0, p1, g, sd, rng);
        }
        if (!built) continue;
        rebuildSideChains(tm, S, p0, p1, g.chi);
        double e[NTERMS];
        scoreLoop(pot, x, S, p0, p1, e);
        for (int k = 0; k < NTERMS; ++k) {
            if (e[k] <= res.native[k]) ++res.lower[k];
            if (e[k] <= res.raw[k]) ++res.lowerRaw[k];
        }
        rmsds.push_back(backboneRmsd(S, *native, p0, p1));
        ++res.decoys;
    }
    restore();
    if (!rmsds.empty()) {
        std::sort(rmsds.begin(), rmsds.end());
        res.medianRmsd = rmsds[rmsds.size() / 2];
    }
    res.ok = res.decoys > 0;
    return res;
}

}  // namespace

void cmdValidatePairs(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "validate-pairs");
    const Templates& tm = session.templates(o.templates);
    for (const char* f : {"data/dfire_pair.lib", "data/QUENDApair.lib", "data/QUENDA_ed4_8_V3.txt", "data/oscarparams.txt", "data/dipole.fress"})
        if (!FileExists(f)) fail(std::string("validate-pairs reads the tables from data/ of the working directory: ") + f + " is missing");
    const double t0 = omp_get_wtime();
    const auto pot = std::make_unique<Potentials>();
    loadPairTables(*pot, 1);
    loadQuenda(*pot, "data/QUENDA_ed4_8_V3.txt");
    const std::vector<BenchmarkLoop> loops = readBenchmarkLoops(o.bench);
    std::vector<CaseResult> results;
    for (size_t k = 0; k < loops.size(); ++k) results.push_back(runCase(tm, *pot, o.bench + "/" + loops[k].file, loops[k], static_cast<int>(k)));
    int used = 0, best[NTERMS] = {}, bestRaw[NTERMS] = {};
    double shareBelow[NTERMS] = {};  // summed fraction of decoys scoring at or below the native
    std::vector<double> rm;
    std::cout << "case length decoys median_rmsd";
    for (int k = 0; k < NTERMS; ++k) std::cout << " | " << TERM_NAME[k] << " native decoys_below";
    std::cout << "\n";
    for (const CaseResult& r : results) {
        if (!r.ok) {
            std::cout << r.id << " skipped (structure or loop unusable)\n";
            continue;
        }
        ++used;
        rm.push_back(r.medianRmsd);
        std::cout << r.id << " " << r.length << " " << r.decoys << " " << formatFixed(r.medianRmsd, 2);
        for (int k = 0; k < NTERMS; ++k) {
            std::cout << " | " << formatFixed(r.native[k], 2) << " " << r.lower[k];
            if (r.lower[k] == 0) ++best[k];
            shareBelow[k] += static_cast<double>(r.lower[k]) / r.decoys;
            if (r.lowerRaw[k] == 0) ++bestRaw[k];
        }
        std::cout << "\n";
    }
    std::sort(rm.begin(), rm.end());
    std::cout << "validate-pairs: " << used << " of " << loops.size() << " loops, " << NDECOYS
              << " decoys each (median decoy backbone RMSD " << (rm.empty() ? std::string("-") : formatFixed(rm[rm.size() / 2], 2)) << " A)\n";
    for (int k = 0; k < NTERMS; ++k)
        std::cout << "  " << TERM_NAME[k] << ": native lowest in " << best[k] << " (" << formatFixed(used ? 100.0 * best[k] / used : 0, 1)
                  << "%), decoys at or below the native " << formatFixed(used ? 100.0 * shareBelow[k] / used : 0, 2)
                  << "% on average; crystal side chains: native lowest in " << bestRaw[k] << " ("
                  << formatFixed(used ? 100.0 * bestRaw[k] / used : 0, 1) << "%)\n";
    std::cout << "validate-pairs: " << formatFixed(omp_get_wtime() - t0, 1) << " s" << std::endl;
}

}  // namespace lorvane::params
