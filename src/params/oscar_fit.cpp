// OSCAR-style side-chain parameters (data/oscarparams.txt) from the training chains:
//  - per residue type and side-chain dihedral, a three-term Fourier series
//    fitted by least squares to -ln P(chi);
//  - per pair of the 16 side-chain atom classes, the energy
//    e = f(c1, c2, c3) * (P0 u + P1 u^2 + P2 u^3 + P3 u^4), u = 1/r^2, where the
//    distance part is fitted to the distance-dependent statistical potential of
//    the class pair (finite ideal-gas reference, as DFIRE) and the orientation
//    factor f to the orientation preference of contacts (observed against all
//    class pairs pooled), scaled into a bounded range.
// The counts: oscar_counts.cpp.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>

#include "model/residue_names.h"
#include "params/chain_geometry.h"
#include "params/commands.h"
#include "params/oscar_parameters.h"
#include "params/statistics.h"
#include "params/table_io.h"
#include "potentials/potentials.h"

namespace lorvane::params {

void fourierFit(const double* y, int n, double c[6]) {
    // On equally spaced angles the harmonics are orthogonal: the least-squares
    // coefficients are the discrete Fourier projections.
    for (int m = 0; m < 6; ++m) c[m] = 0;
    for (int k = 0; k < n; ++k) {
        const double x = (-180.0 + (k + 0.5) * 360.0 / n) * DEG2RAD;
        for (int h = 1; h <= 3; ++h) {
            c[2 * (h - 1)] += y[k] * std::cos(h * x);
            c[2 * (h - 1) + 1] += y[k] * std::sin(h * x);
        }
    }
    for (int m = 0; m < 6; ++m) c[m] *= 2.0 / n;
}

namespace {

double fourierValue(const double c[6], double x) {
    return c[0] * std::cos(x) + c[1] * std::sin(x) + c[2] * std::cos(2 * x) + c[3] * std::sin(2 * x) + c[4] * std::cos(3 * x) +
           c[5] * std::sin(3 * x);
}

void fitTorsions(const OscarCounts& c, const OscarParams& p, OscarFit& fit) {
    for (int t = 0; t < 20; ++t) {
        const int heavy = numChis(t);
        for (int k = 0; k < NUM_SC_DIHEDRALS[t] && k < 5; ++k) {
            if (k >= heavy) continue;  // the hydroxyl-H dihedral is not observed: zero coefficients
            const int64_t* h = &c.chi[(static_cast<size_t>(t) * 5 + k) * CHI_BINS];
            double n = 0, y[CHI_BINS], prob[CHI_BINS];
            for (int b = 0; b < CHI_BINS; ++b) n += toCount(h[b]);
            if (n <= 0) continue;
            for (int b = 0; b < CHI_BINS; ++b) {
                prob[b] = (1.0 - p.chiEpsilon) * toCount(h[b]) / n + p.chiEpsilon / CHI_BINS;
                y[b] = -std::log(prob[b]);
            }
            fourierFit(y, CHI_BINS, fit.pcs[t][k]);
            // Quality, weighted by P(chi): the fit is meant to be right where side chains are.
            double mean = 0, ss = 0, res = 0;
            double yc[CHI_BINS], f[CHI_BINS];
            for (int b = 0; b < CHI_BINS; ++b) {
                f[b] = fourierValue(fit.pcs[t][k], (-180.0 + (b + 0.5) * 10.0) * DEG2RAD);
                mean += y[b] / CHI_BINS;
            }
            double fm = 0;
            for (int b = 0; b < CHI_BINS; ++b) fm += f[b] / CHI_BINS;
            for (int b = 0; b < CHI_BINS; ++b) {
                yc[b] = y[b] - mean;
                const double d = yc[b] - (f[b] - fm);
                ss += prob[b] * yc[b] * yc[b];
                res += prob[b] * d * d;
            }
            fit.chiR2[t][k] = ss > 0 ? 1.0 - res / ss : 1.0;
        }
    }
}

// Distance part of one class pair: P0 u + P1 u^2 + P2 u^3 + P3 u^4 (u = 1/r^2) fitted to the
// distance-dependent statistical potential. A free four-term fit of inverse powers is unstable
// (it readily turns attractive inside the closest contacts), so the fit is made of shapes that
// cannot: a Lennard-Jones (8,m) well of depth a >= 0 at the first-shell minimum r0 (m = 6, 4 or
// 2, whichever fits best), a pure r^-8 wall b >= 0 and a free r^-2 term for the slowly varying
// level. Candidates whose wall does not rise inside the closest contacts are rejected.
void fitDistance(const double* obs, const double* rPrior, const OscarParams& p, double P[4], double& r2, double& depth,
                 double& rmin) {
    const int B = OSCAR_DBINS;
    double g[OSCAR_DBINS];
    for (int b = 0; b < B; ++b) g[b] = std::pow((b + 0.5) * 0.1 / 10.0, p.alpha);
    const int tail = static_cast<int>(std::lround(p.tailFrom * 10.0));
    double tn = 0, tg = 0, total = 0;
    for (int b = tail; b < B; ++b) {
        tn += obs[b];
        tg += g[b];
    }
    for (int b = 0; b < B; ++b) total += obs[b];
    P[0] = P[1] = P[2] = P[3] = 0;
    r2 = depth = rmin = 0;
    if (tn <= 0 || total <= 0) return;
    const double rho = tn / tg;
    // Closest contacts that are not stray outliers.
    int first = -1;
    for (int b = 0; b < B && first < 0; ++b)
        if (obs[b] >= std::max(3.0, 1e-4 * total)) first = b;
    if (first < 0) return;
    double E[OSCAR_DBINS] = {};
    std::vector<double> u, y, w;
    for (int b = first; b < B; ++b) {
        const double ratio = shrinkRatio(obs[b], rho * g[b], rPrior[b], p.pseudo);
        E[b] = std::min(p.cap, -std::log(std::max(ratio, std::exp(-p.cap))));
        const double r = (b + 0.5) * 0.1;
        u.push_back(1.0 / (r * r));
        y.push_back(E[b]);
        w.push_back(obs[b] / (obs[b] + 20.0) * (r <= 6.0 ? 1.0 : std::exp(-(r - 6.0))));
    }
    // Well position: the lowest (3-bin mean) energy of the first 1.5 A of well-sampled contacts.
    int bmin = -1;
    double emin = 1e300;
    for (int b = first + 1; b < first + 15 && b + 1 < B; ++b) {
        if (obs[b] < 20) continue;
        const double es = (E[b - 1] + E[b] + E[b + 1]) / 3.0;
        if (es < emin) {
            emin = es;
            bmin = b;
        }
    }
    const double r0 = bmin < 0 ? (first + 0.5) * 0.1 + 0.8 : (bmin + 0.5) * 0.1;
    const double rFirst = (first + 0.5) * 0.1;
    const size_t rows = y.size();
    double best = 1e300;
    for (int m : {6, 4, 2}) {
        // Columns: well (LJ (8,m), depth 1 at r0), wall (r0/r)^8, level (r0/r)^2.
        std::vector<double> col[3];
        for (auto& c : col) c.resize(rows);
        for (size_t k = 0; k < rows; ++k) {
            const double x2 = r0 * r0 * u[k], x8 = x2 * x2 * x2 * x2;
            col[0][k] = (m * x8 - 8.0 * std::pow(x2, m / 2.0)) / (8.0 - m);
            col[1][k] = x8;
            col[2][k] = x2;
        }
        for (int mask = 1; mask < 8; ++mask) {
            std::vector<int> which;
            for (int q = 0; q < 3; ++q)
                if (mask >> q & 1) which.push_back(q);
            const int kk = static_cast<int>(which.size());
            std::vector<double> X(rows * kk), beta;
            for (size_t k = 0; k < rows; ++k)
                for (int q = 0; q < kk; ++q) X[k * kk + q] = col[which[q]][k];
            if (!weightedLeastSquares(X, y, w, kk, beta)) continue;
            double co[3] = {0, 0, 0};
            bool ok = true;
            for (int q = 0; q < kk; ++q) {
                co[which[q]] = beta[q];
                if (which[q] < 2 && beta[q] < 0) ok = false;  // well depth and wall are not negative
            }
            if (!ok) continue;
            double cand[4] = {0, 0, 0, 0};
            const double r08 = std::pow(r0, 8.0);
            cand[3] = co[0] * m * r08 / (8.0 - m) + co[1] * r08;
            cand[m / 2 - 1] += -co[0] * 8.0 * std::pow(r0, m) / (8.0 - m);
            cand[0] += co[2] * r0 * r0;
            auto G = [&](double r) {
                const double v = 1.0 / (r * r);
                return cand[0] * v + cand[1] * v * v + cand[2] * v * v * v + cand[3] * v * v * v * v;
            };
            // The wall must rise steadily inside the closest contacts.
            for (double r = rFirst; r > 0.8 && ok; r -= 0.1) ok = G(r - 0.1) > G(r);
            if (!ok) continue;
            double s = 0;
            for (size_t k = 0; k < rows; ++k) {
                const double d = y[k] - co[0] * col[0][k] - co[1] * col[1][k] - co[2] * col[2][k];
                s += w[k] * d * d;
            }
            if (s < best) {
                best = s;
                for (int q = 0; q < 4; ++q) P[q] = cand[q];
            }
        }
    }
    // Quality over the contact range (bins up to 6 A, unweighted), and the fitted well.
    double ym = 0;
    int n = 0;
    for (int b = first; b < 60; ++b) {
        ym += E[b];
        ++n;
    }
    if (n > 0) {
        ym /= n;
        double ss = 0, res = 0;
        for (int b = first; b < 60; ++b) {
            const double r = (b + 0.5) * 0.1, v = 1.0 / (r * r);
            const double f = P[0] * v + P[1] * v * v + P[2] * v * v * v + P[3] * v * v * v * v;
            ss += (E[b] - ym) * (E[b] - ym);
            res += (E[b] - f) * (E[b] - f);
        }
        r2 = ss > 0 ? 1.0 - res / ss : 0.0;
    }
    for (int b = first; b < B; ++b) {
        const double r = (b + 0.5) * 0.1, v = 1.0 / (r * r);
        const double f = P[0] * v + P[1] * v * v + P[2] * v * v * v + P[3] * v * v * v * v;
        if (f < depth) {
            depth = f;
            rmin = r;
        }
    }
}

const double OCELL_CENTRE[OSCAR_OBINS] = {-0.875, -0.625, -0.375, -0.125, 0.125, 0.375, 0.625, 0.875};

void orientFeatures(double c1, double c2, double c3, double* x) {
    x[0] = c1 * c1;
    x[1] = c2 * c2;
    x[2] = c3 * c3;
    x[3] = c1 * c2;
    x[4] = c1 * c3;
    x[5] = c2 * c3;
    x[6] = c1;
    x[7] = c2;
    x[8] = c3;
    x[9] = 1.0;
}

// Orientation energy h(c1, c2, c3) of one class pair (quadratic form, 10 coefficients in the
// order of pb[4..13]), centred on the pooled orientation distribution.
void fitOrientation(const double* obs, const double* ref, const OscarParams& p, double h[10], double& r2) {
    double no = 0, nr = 0;
    for (int k = 0; k < OSCAR_OCELLS; ++k) {
        no += obs[k];
        nr += ref[k];
    }
    for (int m = 0; m < 10; ++m) h[m] = 0;
    r2 = 0;
    if (no <= 0 || nr <= 0) return;
    std::vector<double> X, y, w;
    for (int k = 0; k < OSCAR_OCELLS; ++k) {
        if (ref[k] <= 0) continue;
        const double expct = no * ref[k] / nr;
        const double e = -std::log(shrinkRatio(obs[k], expct, 1.0, p.orientPseudo));
        double x[10];
        orientFeatures(OCELL_CENTRE[k / (OSCAR_OBINS * OSCAR_OBINS)], OCELL_CENTRE[(k / OSCAR_OBINS) % OSCAR_OBINS],
                       OCELL_CENTRE[k % OSCAR_OBINS], x);
        X.insert(X.end(), x, x + 10);
        y.push_back(e);
        w.push_back(expct);
    }
    std::vector<double> beta;
    if (!weightedLeastSquares(X, y, w, 10, beta)) return;
    // Centre: zero mean over the pooled orientations.
    double mean = 0, ws = 0, ym = 0;
    for (size_t k = 0; k < y.size(); ++k) {
        double f = 0;
        for (int m = 0; m < 10; ++m) f += beta[m] * X[k * 10 + m];
        mean += w[k] * f;
        ym += w[k] * y[k];
        ws += w[k];
    }
    mean /= ws;
    ym /= ws;
    double ss = 0, res = 0;
    for (size_t k = 0; k < y.size(); ++k) {
        double f = 0;
        for (int m = 0; m < 10; ++m) f += beta[m] * X[k * 10 + m];
        ss += w[k] * (y[k] - ym) * (y[k] - ym);
        res += w[k] * (y[k] - f) * (y[k] - f);
    }
    r2 = ss > 0 ? 1.0 - res / ss : 0.0;
    beta[9] -= mean;
    for (int m = 0; m < 10; ++m) h[m] = beta[m];
}

// pb[j][i] scores the same contact seen from the other atom: c1 and c2 trade places.
void swapOrientation(const double* in, double* out) {
    static const int perm[14] = {0, 1, 2, 3, 5, 4, 6, 7, 9, 8, 11, 10, 12, 13};
    for (int m = 0; m < 14; ++m) out[m] = in[perm[m]];
}

}  // namespace

void fitOscar(const OscarCounts& c, const OscarParams& p, OscarFit& fit) {
    fit = OscarFit();
    fitTorsions(c, p, fit);
    // Pooled distance ratio and orientation reference.
    const int B = OSCAR_DBINS;
    std::vector<double> all(B, 0.0), ref(OSCAR_OCELLS, 0.0);
    for (int pi = 0; pi < OSCAR_NPAIRS; ++pi) {
        for (int b = 0; b < B; ++b) all[b] += toCount(c.dist[static_cast<size_t>(pi) * B + b]);
        for (int k = 0; k < OSCAR_OCELLS; ++k) ref[k] += toCount(c.orient[static_cast<size_t>(pi) * OSCAR_OCELLS + k]);
    }
    std::vector<double> rAll(B, 1.0);
    {
        double g[OSCAR_DBINS], tn = 0, tg = 0;
        const int tail = static_cast<int>(std::lround(p.tailFrom * 10.0));
        for (int b = 0; b < B; ++b) g[b] = std::pow((b + 0.5) * 0.1 / 10.0, p.alpha);
        for (int b = tail; b < B; ++b) {
            tn += all[b];
            tg += g[b];
        }
        for (int b = 0; b < B; ++b) rAll[b] = tn > 0 ? all[b] / (tn / tg * g[b]) : 1.0;
    }
    std::vector<double> obs(B), ob(OSCAR_OCELLS);
    for (int i = 0; i < OSCAR_CLASSES; ++i)
        for (int j = i; j < OSCAR_CLASSES; ++j) {
            const int pi = oscarPairIndex(i, j);
            double total = 0;
            for (int b = 0; b < B; ++b) total += (obs[b] = toCount(c.dist[static_cast<size_t>(pi) * B + b]));
            for (int k = 0; k < OSCAR_OCELLS; ++k) ob[k] = toCount(c.orient[static_cast<size_t>(pi) * OSCAR_OCELLS + k]);
            fit.pairCount[pi] = total;
            double P[14] = {};
            double dist[4];
            fitDistance(obs.data(), rAll.data(), p, dist, fit.pairR2[pi], fit.pairDepth[pi], fit.pairRmin[pi]);
            for (int m = 0; m < 4; ++m) P[m] = dist[m];
            double h[10];
            fitOrientation(ob.data(), ref.data(), p, h, fit.orientR2[pi]);
            // f = 1 + h / depth: at the well bottom the contact energy is depth + h. A pair with
            // no well gets no orientation dependence.
            double f[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0};
            double scale = 0;
            if (fit.pairDepth[pi] < -0.05) {
                double lo = 0, hi = 0;
                for (double c1 = -1; c1 <= 1.0001; c1 += 0.25)
                    for (double c2 = -1; c2 <= 1.0001; c2 += 0.25)
                        for (double c3 = -1; c3 <= 1.0001; c3 += 0.25) {
                            double x[10], v = 0;
                            orientFeatures(c1, c2, c3, x);
                            for (int m = 0; m < 10; ++m) v += h[m] * x[m];
                            v /= fit.pairDepth[pi];
                            lo = std::min(lo, v);
                            hi = std::max(hi, v);
                        }
                scale = 1.0;
                if (lo < 0) scale = std::min(scale, (1.0 - p.fMin) / -lo);
                if (hi > 0) scale = std::min(scale, (p.fMax - 1.0) / hi);
                for (int m = 0; m < 10; ++m) f[m] += scale * h[m] / fit.pairDepth[pi];
            }
            fit.orientScale[pi] = scale;
            if (total <= 0) {
                for (int m = 0; m < 4; ++m) P[m] = 0;
            }
            for (int m = 0; m < 10; ++m) P[4 + m] = f[m];
            std::memcpy(fit.pb[i][j], P, sizeof P);
            swapOrientation(P, fit.pb[j][i]);
        }
}

std::string formatOscar(const OscarFit& fit) {
    std::string out;
    char buf[64];
    auto num = [&](double v) {
        std::snprintf(buf, sizeof buf, "%.8g", v);
        if (std::strcmp(buf, "-0") == 0) return std::string("0");
        return std::string(buf);
    };
    for (int t = 0; t < 20; ++t)
        for (int k = 0; k < NUM_SC_DIHEDRALS[t]; ++k) {
            out += threeLetter(t) + " chi" + std::to_string(k + 1);
            for (int m = 0; m < 6; ++m) out += " " + num(fit.pcs[t][k][m]);
            out += "\n";
        }
    for (int i = 0; i < OSCAR_CLASSES; ++i)
        for (int j = 0; j < OSCAR_CLASSES; ++j) {
            out += std::string(OSCAR_CLASS_NAMES[i]) + " " + OSCAR_CLASS_NAMES[j];
            for (int m = 4; m < 14; ++m) out += " " + num(fit.pb[i][j][m]);
            for (int m = 0; m < 4; ++m) out += " " + num(fit.pb[i][j][m]);
            out += "\n";
        }
    return out;
}

std::string describeOscarFit(const OscarCounts& c, const OscarFit& fit) {
    std::ostringstream s;
    double r2min = 1, r2sum = 0;
    int n = 0;
    std::string worst;
    for (int t = 0; t < 20; ++t)
        for (int k = 0; k < numChis(t) && k < NUM_SC_DIHEDRALS[t]; ++k) {
            r2sum += fit.chiR2[t][k];
            ++n;
            if (fit.chiR2[t][k] < r2min) {
                r2min = fit.chiR2[t][k];
                worst = threeLetter(t) + " chi" + std::to_string(k + 1);
            }
        }
    s << "OSCAR torsion fits: " << n << " side-chain dihedrals from " << c.residuesWithChis << " residues; P-weighted R^2 of -ln P(chi): mean "
      << formatFixed(n ? r2sum / n : 0, 3) << ", lowest " << formatFixed(r2min, 3) << " (" << worst << ")\n";
    s << "OSCAR pair fits (" << c.pairs << " scored contacts): class pair, contacts, distance R^2, well depth (kT) at r (A), orientation R^2, orientation scale\n";
    for (int i = 0; i < OSCAR_CLASSES; ++i)
        for (int j = i; j < OSCAR_CLASSES; ++j) {
            const int pi = oscarPairIndex(i, j);
            if (fit.pairCount[pi] <= 0) continue;
            s << "  " << OSCAR_CLASS_NAMES[i] << "-" << OSCAR_CLASS_NAMES[j] << " " << formatFixed(fit.pairCount[pi], 0) << " " << formatFixed(fit.pairR2[pi], 3) << " "
              << formatFixed(fit.pairDepth[pi], 3) << " " << formatFixed(fit.pairRmin[pi], 2) << " " << formatFixed(fit.orientR2[pi], 3) << " "
              << formatFixed(fit.orientScale[pi], 3) << "\n";
        }
    return s.str();
}

namespace {

std::string dirOf(const std::string& path) {
    size_t k = path.find_last_of('/');
    return k == std::string::npos ? std::string(".") : path.substr(0, k);
}

}  // namespace

void cmdOscar(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "oscar");
    const TrainingSet& ts = session.trainingSet(o);
    const double t0 = omp_get_wtime();
    const std::string dipPath = dirOf(o.templates) + "/dipole.fress";
    const DipoleTable dip = readDipole(dipPath);
    OscarParams p;
    OscarCounts counts;
    countOscar(session.templates(o.templates), ts, dip, p, o.threads, counts);
    OscarFit fit;
    fitOscar(counts, p, fit);
    writeTextFile(outPath(o.out, "oscarparams.txt"), formatOscar(fit));
    std::cout << describeOscarFit(counts, fit);
    std::cout << "oscar: wrote oscarparams.txt to " << o.out << " (group atoms from " << dipPath << ", " << formatFixed(omp_get_wtime() - t0, 1)
              << " s)" << std::endl;
}

}  // namespace lorvane::params
