// Atom-pair potentials derived from the training chains in one pass over all
// intra-chain heavy-atom pairs:
//   data/dfire_pair.lib        DFIRE, 167 types, 0.5 A bins to 15 A
//   data/QUENDApair.lib(.gz)   sampling pair table, 0.1 A^2 bins to 64 A^2,
//                              with a clash wall derived from observed pairs
//   data/QUENDA_ed4_8_V3.txt   loop distance potential by van der Waals class
//                              (native loops against their decoys,
//                              quenda_decoys.cpp; from here only its
//                              short-range wall)
// Reference state of the pair statistics here: the distance-scaled finite
// ideal gas of Zhou & Zhou (2002) Protein Sci 11:2714, N_exp(r) ~ r^alpha dr,
// alpha = 1.61.
#include <cmath>
#include <cstring>
#include <iostream>
#include <omp.h>
#include <sstream>

#include "model/error.h"
#include "model/residue.h"
#include "params/commands.h"
#include "params/params_a_util.h"
#include "params/params_b.h"

using namespace lorvane;

namespace paramsb {

const char* const CATEGORY_NAME[NCAT] = {"same residue", "neighbours 1-4", "neighbours >1-4", "i,i+2", "i,i+3 and beyond"};

void PairCounts::reset() {
    dfire.assign(static_cast<size_t>(NPAIRS) * DFIRE_NBINS, 0);
    samp.assign(static_cast<size_t>(NPAIRS) * SAMP_NBINS, 0);
    sampShell.assign(NPAIRS, 0);
    quenda.assign(static_cast<size_t>(NCLASSES) * NCLASSES * QUENDA_CBINS, 0);
    clashHist.assign(static_cast<size_t>(NCAT) * NPAIRS * CLASH_NBINS, 0);
    clashTot.assign(static_cast<size_t>(NCAT) * NPAIRS, 0);
    chains = residues = atoms = 0;
}

namespace {

constexpr float DFIRE_CUT = 15.0f;

int sampBin(float d2) {
    int b = static_cast<int>(d2 * 10.0f);
    return b < SAMP_NBINS ? b : SAMP_NBINS - 1;
}

}  // namespace

void countChain(const TrainChain& ch, PairCounts& c) {
    const PairTypes& pt = pairTypes();
    const Topology& topo = topology();
    std::vector<ChainAtom> atoms;
    chainAtoms(ch, atoms);
    c.chains += 1;
    c.residues += static_cast<long>(ch.residues.size());
    c.atoms += static_cast<long>(atoms.size());
    if (atoms.size() < 2) return;
    const int64_t w = fixedWeight(ch.weight);
    // Intra-residue pairs: few, taken directly.
    for (size_t i = 0; i < atoms.size(); ++i)
        for (size_t j = i + 1; j < atoms.size() && atoms[j].res == atoms[i].res; ++j) {
            const ChainAtom& a = atoms[i];
            const ChainAtom& b = atoms[j];
            if (a.slot > 3 && b.slot > 3) continue;
            if (topo.dist[ch.residues[a.res].type][a.slot][b.slot] < 3) continue;
            float d2 = static_cast<float>(a.p.sdis(b.p));
            if (d2 >= 64.0f) continue;
            const int p = pairIndex(a.type, b.type);
            ++c.clashTot[static_cast<size_t>(CAT_INTRA) * NPAIRS + p];
            int bin = sampBin(d2);
            if (bin < CLASH_NBINS) ++c.clashHist[(static_cast<size_t>(CAT_INTRA) * NPAIRS + p) * CLASH_NBINS + bin];
        }
    CellGrid grid;
    grid.build(atoms, DFIRE_CUT);
    grid.forEachPair(atoms, [&](int i, int j, float d2) {
        const ChainAtom& a = atoms[i];
        const ChainAtom& b = atoms[j];
        const int sep = b.res - a.res;  // atoms are in residue order
        if (sep == 0) return;
        const int p = pairIndex(a.type, b.type);
        const float d = std::sqrt(d2);
        int db = static_cast<int>(d * 2.0f);
        if (db < DFIRE_NBINS) c.dfire[static_cast<size_t>(p) * DFIRE_NBINS + db] += w;
        const bool loopContact = sep >= 2 && (ch.residues[a.res].ss == 'C' || ch.residues[b.res].ss == 'C');
        if (loopContact) {
            const int qb = static_cast<int>(d * 10.0f);
            if (qb < QUENDA_CBINS) {
                const int c1 = pt.vdwClass[a.type] - 1, c2 = pt.vdwClass[b.type] - 1;
                c.quenda[(static_cast<size_t>(c1) * NCLASSES + c2) * QUENDA_CBINS + qb] += w;
                if (c1 != c2) c.quenda[(static_cast<size_t>(c2) * NCLASSES + c1) * QUENDA_CBINS + qb] += w;
            }
            if (d >= 14.5f) c.sampShell[p] += w;
        }
        if (d2 >= 64.0f) return;
        int cat;
        if (sep == 1 && !ch.residues[b.res].breakBefore) {
            int path = bondPath(ch, a.res, a.slot, b.res, b.slot);
            if (path < 3) return;  // covalent geometry, not a contact
            cat = path == 3 ? CAT_ADJ14 : CAT_ADJFAR;
        } else {
            cat = sep == 2 ? CAT_SEP2 : CAT_FAR;
        }
        const int bin = sampBin(d2);
        ++c.clashTot[static_cast<size_t>(cat) * NPAIRS + p];
        if (bin < CLASH_NBINS) ++c.clashHist[(static_cast<size_t>(cat) * NPAIRS + p) * CLASH_NBINS + bin];
        if (loopContact) c.samp[static_cast<size_t>(p) * SAMP_NBINS + bin] += w;
    });
}

void countPairs(const TrainingSet& ts, int threads, PairCounts& c) {
    pairTypes();
    topology();
    if (threads < 1) threads = 1;
    std::vector<PairCounts> local(static_cast<size_t>(threads));
    for (PairCounts& l : local) l.reset();
    forEachChain(static_cast<int>(ts.chains.size()), threads, [&](int k, int t) { countChain(ts.chains[k], local[t]); });
    c.reset();
    for (const PairCounts& l : local) {
        for (size_t k = 0; k < c.dfire.size(); ++k) c.dfire[k] += l.dfire[k];
        for (size_t k = 0; k < c.samp.size(); ++k) c.samp[k] += l.samp[k];
        for (size_t k = 0; k < c.quenda.size(); ++k) c.quenda[k] += l.quenda[k];
        for (size_t k = 0; k < c.sampShell.size(); ++k) c.sampShell[k] += l.sampShell[k];
        for (size_t k = 0; k < c.clashHist.size(); ++k) c.clashHist[k] += l.clashHist[k];
        for (size_t k = 0; k < c.clashTot.size(); ++k) c.clashTot[k] += l.clashTot[k];
        c.chains += l.chains;
        c.residues += l.residues;
        c.atoms += l.atoms;
    }
}

// ---------------- DFIRE ----------------

namespace {

int classPair(int c1, int c2) { return c1 < c2 ? c1 * NCLASSES + c2 : c2 * NCLASSES + c1; }

double toCount(int64_t v) { return static_cast<double>(v) / WEIGHT_SCALE; }

}  // namespace

void dfireEnergies(const PairCounts& c, const DfireParams& p, std::vector<double>& e) {
    const PairTypes& pt = pairTypes();
    const int B = DFIRE_NBINS;
    double g[DFIRE_NBINS];
    const double rcut = (B - 0.5) * 0.5;
    for (int b = 0; b < B; ++b) g[b] = std::pow((b + 0.5) * 0.5 / rcut, p.alpha);  // dr / dr_cut = 1
    std::vector<double> n(static_cast<size_t>(NPAIRS) * B), pool(static_cast<size_t>(NCLASSES) * NCLASSES * B, 0.0), all(B, 0.0);
    for (int a = 0; a < NTYPES; ++a)
        for (int b2 = a; b2 < NTYPES; ++b2) {
            int pi = pairIndex(a, b2), cp = classPair(pt.vdwClass[a] - 1, pt.vdwClass[b2] - 1);
            for (int b = 0; b < B; ++b) {
                double v = toCount(c.dfire[static_cast<size_t>(pi) * B + b]);
                n[static_cast<size_t>(pi) * B + b] = v;
                pool[static_cast<size_t>(cp) * B + b] += v;
                all[b] += v;
            }
        }
    // Observed / expected with expected = N(r_cut) (r / r_cut)^alpha, shrunk towards a prior ratio.
    auto ratios = [&](const double* cnt, const double* prior, double* out) {
        const double ncut = cnt[B - 1];
        for (int b = 0; b < B; ++b) {
            double expct = ncut * g[b];
            if (!prior) out[b] = expct > 0 ? cnt[b] / expct : 1.0;
            else out[b] = shrinkRatio(cnt[b], expct, prior[b], p.pseudo);
        }
    };
    std::vector<double> rAll(B), rPool(static_cast<size_t>(NCLASSES) * NCLASSES * B, 1.0);
    ratios(all.data(), nullptr, rAll.data());
    for (int c1 = 0; c1 < NCLASSES; ++c1)
        for (int c2 = c1; c2 < NCLASSES; ++c2) {
            int cp = classPair(c1, c2);
            ratios(&pool[static_cast<size_t>(cp) * B], rAll.data(), &rPool[static_cast<size_t>(cp) * B]);
        }
    e.assign(static_cast<size_t>(NPAIRS) * B, 0.0);
    std::vector<double> r(B);
    for (int a = 0; a < NTYPES; ++a)
        for (int b2 = a; b2 < NTYPES; ++b2) {
            int pi = pairIndex(a, b2), cp = classPair(pt.vdwClass[a] - 1, pt.vdwClass[b2] - 1);
            ratios(&n[static_cast<size_t>(pi) * B], &rPool[static_cast<size_t>(cp) * B], r.data());
            for (int b = 0; b < B; ++b) e[static_cast<size_t>(pi) * B + b] = -p.rt * std::log(std::max(r[b], p.minRatio));
        }
}

std::string formatDfire(const std::vector<double>& e, const DfireParams& p) {
    const PairTypes& pt = pairTypes();
    std::string out;
    out.reserve(static_cast<size_t>(NPAIRS) * 260);
    out += "# DFIRE pair energies (kcal/mol), 167 residue-specific heavy-atom types, 30 bins of 0.5 A (0-15 A)\n";
    out += "# derived by lorvane-params from the training chains: distance-scaled finite ideal-gas reference,\n";
    out += "# alpha = " + fmt(p.alpha, 2) + ", RT = " + fmt(p.rt, 3) + ", pseudo-count " + fmt(p.pseudo, 1) +
           " expected counts towards the van der Waals class-pair ratio\n";
    for (int a = 0; a < NTYPES; ++a)
        for (int b2 = a; b2 < NTYPES; ++b2) {
            out += pt.key[a];
            out += ' ';
            out += pt.key[b2];
            const double* v = &e[static_cast<size_t>(pairIndex(a, b2)) * DFIRE_NBINS];
            for (int b = 0; b < DFIRE_NBINS; ++b) {
                out += ' ';
                out += fmt(v[b], 4);
            }
            out += '\n';
        }
    return out;
}

// ---------------- sampling pair table ----------------

namespace {

struct SampGeometry {
    double r[SAMP_NBINS], g[SAMP_NBINS], gs[SAMP_NBINS];
    std::vector<int> kStart, kBin;  // kernel rows: bins and weights contributing to bin b
    std::vector<double> kW;
    double shellG = 0;  // reference mass of the normalisation shell

    explicit SampGeometry(const SamplingParams& p) {
        for (int b = 0; b < SAMP_NBINS; ++b) {
            r[b] = std::sqrt((b + 0.5) * 0.1);
            double dr = std::sqrt((b + 1) * 0.1) - std::sqrt(b * 0.1);
            g[b] = std::pow(r[b] / 8.0, p.alpha) * dr;
        }
        kStart.push_back(0);
        for (int b = 0; b < SAMP_NBINS; ++b) {
            for (int b2 = 0; b2 < SAMP_NBINS; ++b2) {
                double x = (r[b] - r[b2]) / p.sigma;
                if (std::fabs(x) > 3.0) continue;
                kBin.push_back(b2);
                kW.push_back(std::exp(-0.5 * x * x));
            }
            kStart.push_back(static_cast<int>(kBin.size()));
        }
        smooth(g, gs);
        // integral of (r/8)^alpha dr over the shell, in the units of g
        auto prim = [&](double r) { return 8.0 / (p.alpha + 1.0) * std::pow(r / 8.0, p.alpha + 1.0); };
        shellG = prim(15.0) - prim(p.shellFrom);
    }
    void smooth(const double* in, double* out) const {
        for (int b = 0; b < SAMP_NBINS; ++b) {
            double s = 0;
            for (int k = kStart[b]; k < kStart[b + 1]; ++k) s += kW[k] * in[kBin[k]];
            out[b] = s;
        }
    }
    // Smoothed observed / expected, the expected counts normalised on the 14.5-15 A shell; shrunk
    // towards prior when given.
    void ratios(const double* cnt, double shell, const double* prior, double pseudo, double* out) const {
        double ns[SAMP_NBINS];
        bool any = false;
        for (int b = 0; b < SAMP_NBINS && !any; ++b) any = cnt[b] != 0;
        if (!any) {  // nothing observed: the prior (or 1)
            for (int b = 0; b < SAMP_NBINS; ++b) out[b] = prior ? prior[b] : 1.0;
            return;
        }
        smooth(cnt, ns);
        const double rho = shell / shellG;
        for (int b = 0; b < SAMP_NBINS; ++b) {
            double expct = rho * gs[b];
            if (!prior) out[b] = expct > 0 ? ns[b] / expct : 1.0;
            else out[b] = shrinkRatio(ns[b], expct, prior[b], pseudo);
        }
    }
};

// d^2 (A^2, lower bin edge) below which a fraction q of the histogram lies.
double lowQuantile(const uint32_t* h, uint64_t n, double q) {
    double target = q * static_cast<double>(n);
    double cum = 0;
    for (int b = 0; b < CLASH_NBINS; ++b) {
        cum += h[b];
        if (cum > target) return b * 0.1;
    }
    return CLASH_NBINS * 0.1;
}

}  // namespace

double ljclashOf(const double* e) {
    double lj = 0.0;
    for (int k = 1; k < SAMP_NBINS; ++k)
        if (e[k] < 100.0 && e[k - 1] > 100.0) lj = (k - 1) * 0.1;
    return lj;
}

void samplingTable(const PairCounts& c, const SamplingParams& p, SamplingTable& t) {
    const PairTypes& pt = pairTypes();
    const SampGeometry geo(p);
    const int B = SAMP_NBINS;
    const int NCP = NCLASSES * NCLASSES;
    // Class-pair and global pools.
    std::vector<double> pool(static_cast<size_t>(NCP) * B, 0.0), all(B, 0.0), poolShell(NCP, 0.0);
    double allShell = 0;
    std::vector<uint32_t> poolHist(static_cast<size_t>(NCAT) * NCP * CLASH_NBINS, 0);
    std::vector<uint64_t> poolTot(static_cast<size_t>(NCAT) * NCP, 0);
    for (int a = 0; a < NTYPES; ++a)
        for (int b2 = a; b2 < NTYPES; ++b2) {
            int pi = pairIndex(a, b2), cp = classPair(pt.vdwClass[a] - 1, pt.vdwClass[b2] - 1);
            for (int b = 0; b < B; ++b) {
                double v = toCount(c.samp[static_cast<size_t>(pi) * B + b]);
                pool[static_cast<size_t>(cp) * B + b] += v;
                all[b] += v;
            }
            poolShell[cp] += toCount(c.sampShell[pi]);
            allShell += toCount(c.sampShell[pi]);
            for (int k = 0; k < NCAT; ++k) {
                const uint32_t* h = &c.clashHist[(static_cast<size_t>(k) * NPAIRS + pi) * CLASH_NBINS];
                uint32_t* ph = &poolHist[(static_cast<size_t>(k) * NCP + cp) * CLASH_NBINS];
                for (int b = 0; b < CLASH_NBINS; ++b) {
                    ph[b] += h[b];
                    poolTot[static_cast<size_t>(k) * NCP + cp] += h[b];
                }
            }
        }
    std::vector<double> rAll(B), rPool(static_cast<size_t>(NCP) * B, 1.0);
    geo.ratios(all.data(), allShell, nullptr, p.pseudo, rAll.data());
    for (int c1 = 0; c1 < NCLASSES; ++c1)
        for (int c2 = c1; c2 < NCLASSES; ++c2) {
            int cp = classPair(c1, c2);
            geo.ratios(&pool[static_cast<size_t>(cp) * B], poolShell[cp], rAll.data(), p.pseudo, &rPool[static_cast<size_t>(cp) * B]);
        }
    t.e.assign(static_cast<size_t>(NPAIRS) * B, 0.0);
    t.wall.assign(NPAIRS, 0);
    t.source.assign(NPAIRS, -1);
    std::vector<double> cnt(B), r(B);
    for (int a = 0; a < NTYPES; ++a)
        for (int b2 = a; b2 < NTYPES; ++b2) {
            int pi = pairIndex(a, b2), cp = classPair(pt.vdwClass[a] - 1, pt.vdwClass[b2] - 1);
            for (int b = 0; b < B; ++b) cnt[b] = toCount(c.samp[static_cast<size_t>(pi) * B + b]);
            geo.ratios(cnt.data(), toCount(c.sampShell[pi]), &rPool[static_cast<size_t>(cp) * B], p.pseudo, r.data());
            // Clash distance: the lowest per-category quantile, less the margin.
            double best = 1e9;
            int src = -1;
            for (int k = 0; k < NCAT; ++k) {
                const uint32_t* h = &c.clashHist[(static_cast<size_t>(k) * NPAIRS + pi) * CLASH_NBINS];
                const uint32_t* ph = &poolHist[(static_cast<size_t>(k) * NCP + cp) * CLASH_NBINS];
                const uint64_t pn = poolTot[static_cast<size_t>(k) * NCP + cp];
                uint64_t n = 0;
                for (int b = 0; b < CLASH_NBINS; ++b) n += h[b];
                double q;
                int s = k;
                if (n >= static_cast<uint64_t>(p.minCount)) {
                    q = lowQuantile(h, n, p.quantile);
                } else if (pn >= static_cast<uint64_t>(p.minCount)) {
                    // Too few pairs of this type pair: the class pair's quantile, unless the
                    // pair's own closest observation lies further in.
                    q = std::min(lowQuantile(ph, pn, p.quantile), lowQuantile(h, n, 0.0));
                    s = k + NCAT;
                } else if (n > 0) {
                    q = lowQuantile(h, n, 0.0);  // the closest observation
                } else {
                    continue;
                }
                double d = std::sqrt(q) - p.margin;
                if (d < best) {
                    best = d;
                    src = s;
                }
            }
            if (src < 0) best = 2.5;  // no statistics at all: a plain heavy-atom contact
            best = std::max(best, p.minClash);
            double d2 = std::min(best * best, (CLASH_NBINS - 2) * 0.1);
            int k = static_cast<int>(std::floor(d2 * 10.0 + 1e-9)) + 1;  // LJclash = (k - 1) * 0.1 <= d2
            t.wall[pi] = k;
            t.source[pi] = src;
            double* e = &t.e[static_cast<size_t>(pi) * B];
            for (int b = 0; b < B; ++b) {
                if (b < k) {
                    e[b] = p.wallBase + p.wallSlope * (k - b);
                } else {
                    double v = -std::log(std::max(r[b], std::exp(-p.cap)));
                    e[b] = std::min(v, p.cap);
                }
            }
        }
}

std::string formatSampling(const SamplingTable& t, const SamplingParams& p) {
    const PairTypes& pt = pairTypes();
    std::string out;
    out.reserve(static_cast<size_t>(NPAIRS) * 4800);
    out += "# Sampling pair table (kT), 167 residue-specific heavy-atom types, 640 bins of 0.1 A^2 (d^2 0-64 A^2)\n";
    out += "# derived by lorvane-params from loop contacts (|i-j| >= 2, a DSSP coil residue on either side):\n";
    out += "# distance-scaled finite ideal-gas reference (alpha = " + fmt(p.alpha, 2) + ", normalised on the " + fmt(p.shellFrom, 1) +
           "-15 A shell), Gaussian smoothing sd " +
           fmt(p.sigma, 2) + " A, pseudo-count " + fmt(p.pseudo, 1) + " towards the class-pair ratio, energies capped at " +
           fmt(p.cap, 1) + ";\n";
    out += "# values above 100 mark the clash wall: below the " + fmt(p.quantile * 100, 3) +
           "% quantile of observed non-bonded distances (per pair category) less " + fmt(p.margin, 2) + " A\n";
    for (int a = 0; a < NTYPES; ++a)
        for (int b2 = a; b2 < NTYPES; ++b2) {
            out += pt.key[a];
            out += ' ';
            out += pt.key[b2];
            const double* v = &t.e[static_cast<size_t>(pairIndex(a, b2)) * SAMP_NBINS];
            for (int b = 0; b < SAMP_NBINS; ++b) {
                out += ' ';
                out += fmt(v[b], 3);
            }
            out += '\n';
        }
    return out;
}

void checkClashes(const TrainingSet& ts, const PairCounts& c, const SamplingTable& t, int threads, ClashCheck& out) {
    out = ClashCheck();
    for (int k = 0; k < NCAT; ++k)
        for (int pi = 0; pi < NPAIRS; ++pi) {
            out.pairs[k] += c.clashTot[static_cast<size_t>(k) * NPAIRS + pi];
            const uint32_t* h = &c.clashHist[(static_cast<size_t>(k) * NPAIRS + pi) * CLASH_NBINS];
            const int w = t.wall[pi];
            for (int b = 0; b < CLASH_NBINS && b < w; ++b) {
                if (b < w - 1) out.insideClash[k] += h[b];
                out.aboveTen[k] += h[b];
            }
        }
    const PairTypes& pt = pairTypes();
    const Topology& topo = topology();
    if (threads < 1) threads = 1;
    std::vector<ClashCheck> local(static_cast<size_t>(threads));
    forEachChain(static_cast<int>(ts.chains.size()), threads, [&](int ci, int th) {
        const TrainChain& ch = ts.chains[ci];
        ClashCheck& L = local[th];
        const int n = static_cast<int>(ch.residues.size());
        // Flags of the pairs within residue i (intra) and between i and i+1 (next): bit 0 backbone+CB
        // pair inside LJclash, bit 1 backbone+CB pair where the table exceeds 10, bits 2 and 3 the same
        // for any heavy-atom pair.
        std::vector<int> intra(n, 0), next(n, 0);
        auto test = [&](int i, int a, int j, int b, int& flags) {
            const TrainResidue& ri = ch.residues[i];
            const TrainResidue& rj = ch.residues[j];
            int ta = pt.typeOf[ri.type][a], tb = pt.typeOf[rj.type][b];
            if (ta < 0 || tb < 0 || !ri.has(a) || !rj.has(b)) return;
            if (bondPath(ch, i, a, j, b) < 3) return;
            float d2 = static_cast<float>(ri.atoms[a].sdis(rj.atoms[b]));
            if (d2 >= 64.0f) return;
            int bin = static_cast<int>(d2 * 10.0f), w = t.wall[pairIndex(ta, tb)];
            bool bb = a <= 5 && b <= 5;
            if (bin < w - 1) flags |= 4 | (bb ? 1 : 0);
            if (bin < w) flags |= 8 | (bb ? 2 : 0);
        };
        for (int i = 0; i < n; ++i) {
            const int ty = ch.residues[i].type;
            if (ty < 0) continue;
            for (int a = 0; a < TRAIN_SLOTS; ++a)
                for (int b = a + 1; b < TRAIN_SLOTS; ++b)
                    if ((a <= 3 || b <= 3) && topo.heavy[ty][a] && topo.heavy[ty][b]) test(i, a, i, b, intra[i]);
            if (i + 1 < n && !ch.residues[i + 1].breakBefore && ch.residues[i + 1].type >= 0)
                for (int a = 0; a < TRAIN_SLOTS; ++a)
                    for (int b = 0; b < TRAIN_SLOTS; ++b) test(i, a, i + 1, b, next[i]);
        }
        int i = 0;
        while (i < n) {
            if (ch.residues[i].ss != 'C' || ch.residues[i].type < 0) {
                ++i;
                continue;
            }
            int j = i;
            while (j + 1 < n && ch.residues[j + 1].ss == 'C' && ch.residues[j + 1].type >= 0 && !ch.residues[j + 1].breakBefore) ++j;
            if (j - i + 1 >= 3) {
                // The segment's residues and its peptide bonds, including those to the flanking residues.
                int f = 0;
                for (int k = i; k <= j; ++k) {
                    int fk = intra[k] | next[k] | (k > 0 ? next[k - 1] : 0);
                    f |= fk;
                    ++L.residues;
                    if (fk & 2) ++L.resBackboneTen;
                    if (fk & 8) ++L.resAllTen;
                }
                ++L.segments;
                if (f & 1) ++L.segBackboneClash;
                if (f & 2) ++L.segBackboneTen;
                if (f & 4) ++L.segAllClash;
                if (f & 8) ++L.segAllTen;
            }
            i = j + 1;
        }
    });
    for (const ClashCheck& L : local) {
        out.segments += L.segments;
        out.segBackboneClash += L.segBackboneClash;
        out.segBackboneTen += L.segBackboneTen;
        out.segAllClash += L.segAllClash;
        out.segAllTen += L.segAllTen;
        out.residues += L.residues;
        out.resBackboneTen += L.resBackboneTen;
        out.resAllTen += L.resAllTen;
    }
}

std::string describeClashCheck(const ClashCheck& k) {
    std::ostringstream s;
    uint64_t tp = 0, tc = 0, tt = 0;
    auto pct = [](double a, double b) { return b > 0 ? fmt(100.0 * a / b, 4) : std::string("-"); };
    s << "non-bonded training pairs (d < 8 A) inside LJclash / where the table exceeds 10:\n";
    for (int c = 0; c < NCAT; ++c) {
        s << "  " << CATEGORY_NAME[c] << ": " << k.pairs[c] << " pairs, " << pct(k.insideClash[c], k.pairs[c]) << "% / "
          << pct(k.aboveTen[c], k.pairs[c]) << "%\n";
        tp += k.pairs[c];
        tc += k.insideClash[c];
        tt += k.aboveTen[c];
    }
    s << "  all: " << tp << " pairs, " << pct(tc, tp) << "% / " << pct(tt, tp) << "%\n";
    s << "native loop segments (>= 3 coil residues) with a flagged adjacent- or same-residue pair: " << k.segments << " segments\n";
    s << "  backbone+CB pairs: inside LJclash " << pct(k.segBackboneClash, k.segments) << "%, above 10 "
      << pct(k.segBackboneTen, k.segments) << "%\n";
    s << "  all heavy-atom pairs: inside LJclash " << pct(k.segAllClash, k.segments) << "%, above 10 " << pct(k.segAllTen, k.segments)
      << "%\n";
    s << "  per loop residue: backbone+CB above 10 " << pct(k.resBackboneTen, k.residues) << "%, all above 10 "
      << pct(k.resAllTen, k.residues) << "% of " << k.residues << " residues\n";
    return s.str();
}

// ---------------- QUENDA, ideal-gas reference ----------------
// The table this wrote before is now the short-range wall of the decoy-based
// QUENDA (quenda_decoys.cpp): where even this reference finds (almost) no
// native contacts, no decoy statistic can say anything either.

void quendaEnergies(const PairCounts& c, const QuendaParams& p, std::vector<double>& e, std::vector<double>& expected) {
    const int B = QUENDA_CBINS;  // counted to 15 A; the table keeps the first QUENDA_NBINS
    const PairTypes& pt = pairTypes();
    auto cnt = [&](int c1, int c2, int b) { return toCount(c.quenda[(static_cast<size_t>(c1) * NCLASSES + c2) * B + b]); };
    // Classes without observations of their own borrow a chemically equivalent class.
    int borrow[NCLASSES];
    double total[NCLASSES] = {};
    for (int c1 = 0; c1 < NCLASSES; ++c1) {
        borrow[c1] = c1;
        for (int c2 = 0; c2 < NCLASSES; ++c2)
            for (int b = 0; b < B; ++b) total[c1] += cnt(c1, c2, b);
    }
    int carboxylO = -1;
    for (int s = 0; s < TRAIN_SLOTS; ++s)
        if (pt.typeOf[ASP][s] >= 0 && pt.atomName[pt.typeOf[ASP][s]] == "OD1") carboxylO = pt.vdwClass[pt.typeOf[ASP][s]] - 1;
    if (total[NCLASSES - 1] == 0 && carboxylO >= 0) borrow[NCLASSES - 1] = carboxylO;  // OXT
    std::vector<double> n(static_cast<size_t>(NCLASSES) * NCLASSES * B), all(B, 0.0);
    for (int c1 = 0; c1 < NCLASSES; ++c1)
        for (int c2 = 0; c2 < NCLASSES; ++c2)
            for (int b = 0; b < B; ++b) {
                double v = cnt(borrow[c1], borrow[c2], b);
                n[(static_cast<size_t>(c1) * NCLASSES + c2) * B + b] = v;
                if (borrow[c1] == c1 && borrow[c2] == c2) all[b] += v;
            }
    double g[QUENDA_CBINS];
    for (int b = 0; b < B; ++b) g[b] = std::pow((b + 0.5) * 0.1 / 8.0, p.alpha);
    const int tail = static_cast<int>(std::lround(p.tailFrom * 10.0));
    auto ratios = [&](const double* x, const double* prior, double* out, double* ex) {
        double tn = 0, tg = 0;
        for (int b = tail; b < B; ++b) {
            tn += x[b];
            tg += g[b];
        }
        const double rho = tn / tg;
        for (int b = 0; b < B; ++b) {
            double expct = rho * g[b];
            if (ex) ex[b] = expct;
            if (!prior) out[b] = expct > 0 ? x[b] / expct : 1.0;
            else out[b] = shrinkRatio(x[b], expct, prior[b], p.pseudo);
        }
    };
    std::vector<double> rAll(B), r(B), ex(B);
    ratios(all.data(), nullptr, rAll.data(), nullptr);
    const int T = QUENDA_NBINS;
    e.assign(static_cast<size_t>(NCLASSES) * NCLASSES * T, 0.0);
    expected.assign(e.size(), 0.0);
    for (int c1 = 0; c1 < NCLASSES; ++c1)
        for (int c2 = 0; c2 < NCLASSES; ++c2) {
            ratios(&n[(static_cast<size_t>(c1) * NCLASSES + c2) * B], rAll.data(), r.data(), ex.data());
            for (int b = 0; b < T; ++b) {
                e[(static_cast<size_t>(c1) * NCLASSES + c2) * T + b] = -std::log(std::max(r[b], std::exp(-p.maxEnergy)));
                expected[(static_cast<size_t>(c1) * NCLASSES + c2) * T + b] = ex[b];
            }
        }
}

std::string formatQuenda(const PairCounts& c, const std::vector<double>& e, const std::vector<double>& expected,
                         const QuendaParams& p) {
    std::string out;
    out += "# QUENDA loop distance potential (kT) by heavy-atom van der Waals class; fields: bin p q observed expected energy\n";
    out += "# bin k = distance [0.1 k, 0.1 k + 0.1) A; p, q = class - 1; pairs as quenda_e visits them (a coil residue\n";
    out += "# with any residue two or more positions away); distance-scaled finite ideal-gas reference, alpha = " + fmt(p.alpha, 2) +
           ", normalised over " + fmt(p.tailFrom, 1) + "-15 A;\n";
    out += "# pseudo-count " + fmt(p.pseudo, 1) + " towards the all-class ratio; energies at most " + fmt(p.maxEnergy, 1) + "\n";
    const int B = QUENDA_NBINS;
    for (int c1 = 0; c1 < NCLASSES; ++c1)
        for (int c2 = c1; c2 < NCLASSES; ++c2)
            for (int b = 0; b < B; ++b) {
                double obs = toCount(c.quenda[(static_cast<size_t>(c1) * NCLASSES + c2) * QUENDA_CBINS + b]);
                double ev = e[(static_cast<size_t>(c1) * NCLASSES + c2) * B + b];
                double ex = expected[(static_cast<size_t>(c1) * NCLASSES + c2) * B + b];
                out += std::to_string(b) + " " + std::to_string(c1) + " " + std::to_string(c2) + " " + fmt(obs, 1) + " " +
                       fmt(ex, 1) + " " + fmt(ev, 4) + "\n";
            }
    return out;
}

// ---------------- command ----------------

namespace {

int runPairs(const std::vector<std::string>& args) {
    const ParamsOptions o = parseParamsOptions(args, "pairs");
    double t0 = omp_get_wtime();
    const TrainingSet& ts = trainingSetFor(o);
    double t1 = omp_get_wtime();
    PairCounts counts;
    countPairs(ts, o.threads, counts);
    std::cout << "pairs: training set " << fmt(t1 - t0, 1) << " s, counting " << fmt(omp_get_wtime() - t1, 1) << " s" << std::endl;
    std::cout << "pairs: " << counts.chains << " chains, " << counts.residues << " residues, " << counts.atoms << " heavy atoms with a pair type"
              << std::endl;

    DfireParams dp;
    std::vector<double> dfire;
    dfireEnergies(counts, dp, dfire);
    paramsa::writeTable(paramsa::outPath(o.out, "dfire_pair.lib"), formatDfire(dfire, dp));

    SamplingParams sp;
    SamplingTable table;
    samplingTable(counts, sp, table);
    const std::string text = formatSampling(table, sp);
    paramsa::writeTable(paramsa::outPath(o.out, "QUENDApair.lib"), text);
    writeGzipFile(paramsa::outPath(o.out, "QUENDApair.lib.gz"), text);

    ClashCheck check;
    checkClashes(ts, counts, table, o.threads, check);
    std::cout << describeClashCheck(check);

    // QUENDA: native loops against their decoys, with the ideal-gas wall of these counts.
    deriveQuendaTable(ts, counts, o, QuendaDecoyParams());
    std::cout << "pairs: wrote dfire_pair.lib, QUENDApair.lib(.gz), QUENDA_ed4_8_V3.txt to " << o.out << std::endl;
    return 0;
}

}  // namespace

LORVANE_PARAMS_COMMAND("pairs", "DFIRE, sampling pair table and QUENDA loop potential", runPairs, 10);

}  // namespace paramsb
