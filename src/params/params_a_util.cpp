#include "params/params_a_util.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "model/error.h"
#include "model/residue.h"

using namespace lorvane;

namespace paramsa {

int torsionBin(double deg) {
    int k = static_cast<int>(std::floor((deg + 182.5) / 5.0));
    k %= TBINS;
    if (k < 0) k += TBINS;
    return k;
}

bool phiPsi(const TrainChain& c, size_t i, double& phi, double& psi) {
    const auto& R = c.residues;
    if (i == 0 || i + 1 >= R.size() || R[i].breakBefore || R[i + 1].breakBefore) return false;
    const TrainResidue &p = R[i - 1], &r = R[i], &n = R[i + 1];
    if (!p.has(2) || !r.has(0) || !r.has(1) || !r.has(2) || !n.has(0)) return false;
    phi = Torsion(p.atoms[2], r.atoms[0], r.atoms[1], r.atoms[2]);
    psi = Torsion(r.atoms[0], r.atoms[1], r.atoms[2], n.atoms[0]);
    return std::isfinite(phi) && std::isfinite(psi);
}

bool omegaAfter(const TrainChain& c, size_t i, double& omega) {
    const auto& R = c.residues;
    if (i + 1 >= R.size() || R[i + 1].breakBefore) return false;
    const TrainResidue &r = R[i], &n = R[i + 1];
    if (!r.has(1) || !r.has(2) || !n.has(0) || !n.has(1)) return false;
    omega = Torsion(r.atoms[1], r.atoms[2], n.atoms[0], n.atoms[1]);
    return std::isfinite(omega);
}

int chiAngles(int type, const Point* atoms, uint16_t present, double chi[5]) {
    int k = 0;
    const int last = std::min(Residue::lastDFire[type], TRAIN_SLOTS - 1);
    for (int j = 6; j <= last && k < 5; ++j) {
        if (Residue::torsion[type][j] != FREE_CHI) continue;
        const int* ref = Residue::prev_atom[type][j];
        for (int s : {ref[0], ref[1], ref[2], j})
            if (s < 0 || s >= TRAIN_SLOTS || !((present >> s) & 1u)) return -1;
        chi[k++] = Torsion(atoms[ref[0]], atoms[ref[1]], atoms[ref[2]], atoms[j]);
    }
    return k;
}

int numChis(int type) { return type >= 0 && type < 20 ? Residue::numTorAng[type] : 0; }

double chiPeriod(int type, int k) {
    if ((type == PHE || type == TYR) && k == 1) return 180.0;
    if (type == ASP && k == 1) return 180.0;
    if (type == GLU && k == 2) return 180.0;
    return 360.0;
}

double wrapAngle(double a, double period) {
    double h = period / 2.0;
    a = std::fmod(a + h, period);
    if (a < 0) a += period;
    return a - h;
}

double angDiff(double a, double b, double period) { return std::fabs(wrapAngle(a - b, period)); }

double weightedQuantile(std::vector<std::pair<float, float>>& v, double q) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    double total = 0;
    for (const auto& x : v) total += x.second;
    const double target = q * total;
    double acc = 0;
    for (const auto& x : v) {
        acc += x.second;
        if (acc >= target) return x.first;
    }
    return v.back().first;
}

void vonMisesSmooth(const double* in, double* out, double sigmaDeg) {
    const double s = sigmaDeg * DEG2RAD;
    const double kappa = 1.0 / (s * s);
    double k[TBINS];
    double sum = 0;
    for (int d = 0; d < TBINS; ++d) {
        k[d] = std::exp(kappa * (std::cos(d * 5.0 * DEG2RAD) - 1.0));
        sum += k[d];
    }
    for (double& x : k) x /= sum;
    std::vector<double> tmp(TBINS * TBINS, 0.0);
    // along psi (second index)
    for (int a = 0; a < TBINS; ++a)
        for (int b = 0; b < TBINS; ++b) {
            double v = 0;
            for (int c = 0; c < TBINS; ++c) v += in[a * TBINS + c] * k[(b - c + TBINS) % TBINS];
            tmp[a * TBINS + b] = v;
        }
    // along phi (first index)
    for (int a = 0; a < TBINS; ++a)
        for (int b = 0; b < TBINS; ++b) {
            double v = 0;
            for (int c = 0; c < TBINS; ++c) v += tmp[c * TBINS + b] * k[(a - c + TBINS) % TBINS];
            out[a * TBINS + b] = v;
        }
}

void gaussBlur16(const double* in, double* out, double sigmaCells, int reach) {
    std::vector<double> k(2 * reach + 1);
    for (int d = -reach; d <= reach; ++d) k[d + reach] = std::exp(-0.5 * d * d / (sigmaCells * sigmaCells));
    double sum = 0;
    for (double x : k) sum += x;
    for (double& x : k) x /= sum;
    double tmp[DBINS * DBINS] = {};
    for (int i = 0; i < DBINS; ++i)
        for (int j = 0; j < DBINS; ++j) {
            double v = 0;
            for (int d = -reach; d <= reach; ++d)
                if (j + d >= 0 && j + d < DBINS) v += in[i * DBINS + j + d] * k[d + reach];
            tmp[i * DBINS + j] = v;
        }
    for (int i = 0; i < DBINS; ++i)
        for (int j = 0; j < DBINS; ++j) {
            double v = 0;
            for (int d = -reach; d <= reach; ++d)
                if (i + d >= 0 && i + d < DBINS) v += tmp[(i + d) * DBINS + j] * k[d + reach];
            out[i * DBINS + j] = v;
        }
}

std::string fmtProb(double p) {
    if (p <= 0.0) return "0";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4e", p);
    return buf;
}

std::string fmtFixed(double v, int decimals) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string s = buf;
    // no "-0.0"
    bool zero = true;
    for (char c : s)
        if (c >= '1' && c <= '9') zero = false;
    if (zero && !s.empty() && s[0] == '-') s.erase(0, 1);
    return s;
}

void writeTable(const std::string& path, const std::string& text) {
    std::error_code ec;
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) fail("lorvane-params: cannot write " + path);
    out << text;
    out.close();
    if (!out) fail("lorvane-params: error writing " + path);
}

std::string outPath(const std::string& dir, const std::string& name) { return dir.empty() ? name : dir + "/" + name; }

}  // namespace paramsa
