#include "params/params_b_common.h"

#include <zlib.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <mutex>

#include <omp.h>

#include "model/error.h"
#include "model/residue.h"

using namespace lorvane;

namespace paramsb {

namespace {

bool isHeavySlot(int r, int s) {
    if (s == 4 || s >= TRAIN_SLOTS) return false;
    if (s > Residue::lastDFire[r]) return false;
    if (r == GLY && s == 5) return false;
    return true;
}

PairTypes buildPairTypes() {
    PairTypes pt;
    for (auto& row : pt.typeOf)
        for (int& v : row) v = -1;
    int n = 0;
    for (int r = 0; r < 20; ++r) {
        if (Residue::numAtom[r] <= 0)
            fail("residue templates are not loaded (no atoms for residue type " + std::to_string(r) + ")");
        for (int s = 0; s < TRAIN_SLOTS; ++s) {
            if (!isHeavySlot(r, s)) continue;
            int vdw = Residue::vdwType[r][s];
            if (vdw < 1 || vdw > NCLASSES)
                fail("template atom " + Residue::Name3[r] + " " + Residue::cType[r][s] + " has van der Waals type " +
                      std::to_string(vdw) + ", a heavy-atom class 1..20 was expected");
            if (n >= NTYPES) fail("the templates define more than 167 heavy-atom pair types");
            pt.typeOf[r][s] = n;
            pt.resName[n] = Residue::Name3[r];
            pt.atomName[n] = Residue::cType[r][s];
            pt.key[n] = pt.resName[n] + " " + pt.atomName[n];
            pt.res[n] = r;
            pt.slot[n] = s;
            pt.vdwClass[n] = vdw;
            ++n;
        }
    }
    if (n != NTYPES) fail("the templates define " + std::to_string(n) + " heavy-atom pair types, 167 expected");
    return pt;
}

Topology buildTopology() {
    Topology t;
    std::memset(t.dist, 99, sizeof t.dist);
    for (int r = 0; r < 20; ++r) {
        for (int s = 0; s < TRAIN_SLOTS; ++s) t.heavy[r][s] = isHeavySlot(r, s);
        auto bond = [&](int a, int b) {
            if (a < 0 || b < 0 || a >= TRAIN_SLOTS || b >= TRAIN_SLOTS || !t.heavy[r][a] || !t.heavy[r][b])
                fail("template bond " + std::to_string(a) + "-" + std::to_string(b) + " of " + Residue::Name3[r] +
                      " joins slots that are not heavy atoms");
            t.dist[r][a][b] = t.dist[r][b][a] = 1;
        };
        bond(0, 1);
        bond(1, 2);
        bond(2, 3);
        for (int s = 5; s < TRAIN_SLOTS; ++s)
            if (t.heavy[r][s]) bond(s, Residue::prev_atom[r][s][2]);
        // Ring closures that the build order does not express.
        if (r == PRO) bond(0, 7);
        if (r == PHE || r == TYR) bond(10, 11);
        if (r == HIS || r == TRP) bond(9, 10);
        if (r == TRP) bond(13, 14);
        for (int s = 0; s < TRAIN_SLOTS; ++s)
            if (t.heavy[r][s]) t.dist[r][s][s] = 0;
        for (int k = 0; k < TRAIN_SLOTS; ++k)
            for (int a = 0; a < TRAIN_SLOTS; ++a)
                for (int b = 0; b < TRAIN_SLOTS; ++b) {
                    int via = t.dist[r][a][k] + t.dist[r][k][b];
                    if (via < t.dist[r][a][b]) t.dist[r][a][b] = static_cast<int8_t>(via);
                }
    }
    return t;
}

}  // namespace

const PairTypes& pairTypes() {
    static const PairTypes pt = buildPairTypes();
    return pt;
}

const Topology& topology() {
    static const Topology t = buildTopology();
    return t;
}

int bondPath(const TrainChain& ch, int i, int a, int j, int b) {
    const Topology& t = topology();
    if (i > j) {
        std::swap(i, j);
        std::swap(a, b);
    }
    const TrainResidue& ri = ch.residues[i];
    if (i == j) return t.dist[ri.type][a][b];
    const TrainResidue& rj = ch.residues[j];
    if (j != i + 1 || rj.breakBefore) return 99;
    return t.dist[ri.type][a][2] + 1 + t.dist[rj.type][0][b];
}

void chainAtoms(const TrainChain& ch, std::vector<ChainAtom>& out) {
    const PairTypes& pt = pairTypes();
    out.clear();
    for (int i = 0; i < static_cast<int>(ch.residues.size()); ++i) {
        const TrainResidue& r = ch.residues[i];
        if (r.type < 0 || r.type >= 20) continue;
        for (int s = 0; s < TRAIN_SLOTS; ++s) {
            int ty = pt.typeOf[r.type][s];
            if (ty < 0 || !r.has(s)) continue;
            out.push_back({r.atoms[s], i, static_cast<int8_t>(s), static_cast<int16_t>(ty)});
        }
    }
}

void CellGrid::build(const std::vector<ChainAtom>& atoms, float cutoff) {
    cut2_ = cutoff * cutoff;
    cell_ = cutoff / 2.0f;
    reach_ = 2;
    if (atoms.empty()) {
        nx_ = ny_ = nz_ = 0;
        start_.assign(1, 0);
        items_.clear();
        return;
    }
    float lo[3] = {atoms[0].p.x, atoms[0].p.y, atoms[0].p.z}, hi[3] = {lo[0], lo[1], lo[2]};
    for (const ChainAtom& a : atoms) {
        float v[3] = {a.p.x, a.p.y, a.p.z};
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], v[k]);
            hi[k] = std::max(hi[k], v[k]);
        }
    }
    ox_ = lo[0];
    oy_ = lo[1];
    oz_ = lo[2];
    nx_ = static_cast<int>((hi[0] - lo[0]) / cell_) + 1;
    ny_ = static_cast<int>((hi[1] - lo[1]) / cell_) + 1;
    nz_ = static_cast<int>((hi[2] - lo[2]) / cell_) + 1;
    const size_t cells = static_cast<size_t>(nx_) * ny_ * nz_;
    if (cells > 50000000) fail("coordinates span too large a box for the neighbour grid");
    std::vector<int> cellOf(atoms.size());
    start_.assign(cells + 1, 0);
    for (size_t i = 0; i < atoms.size(); ++i) {
        const Point& p = atoms[i].p;
        int c = (static_cast<int>((p.x - ox_) / cell_) * ny_ + static_cast<int>((p.y - oy_) / cell_)) * nz_ +
                static_cast<int>((p.z - oz_) / cell_);
        cellOf[i] = c;
        ++start_[c + 1];
    }
    for (size_t c = 0; c < cells; ++c) start_[c + 1] += start_[c];
    items_.assign(atoms.size(), 0);
    std::vector<int> fill(start_.begin(), start_.end() - 1);
    for (size_t i = 0; i < atoms.size(); ++i) items_[fill[cellOf[i]]++] = static_cast<int>(i);
}

void forEachChain(int nChains, int threads, const std::function<void(int, int)>& body) {
    if (threads < 1) threads = 1;
#pragma omp parallel for schedule(dynamic, 4) num_threads(threads)
    for (int c = 0; c < nChains; ++c) body(c, omp_get_thread_num());
}

std::string fmt(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string s(buf);
    if (s[0] == '-') {
        bool zero = true;
        for (size_t k = 1; k < s.size(); ++k)
            if (s[k] != '0' && s[k] != '.') zero = false;
        if (zero) s.erase(0, 1);
    }
    return s;
}

void writeTextFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) fail("cannot write " + path);
    f.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!f) fail("error while writing " + path);
}

void writeGzipFile(const std::string& path, const std::string& text) {
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    // windowBits 15 + 16: gzip wrapper with zlib's fixed header (no name, time 0).
    if (deflateInit2(&zs, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) fail("zlib initialisation failed for " + path);
    std::string out;
    out.resize(deflateBound(&zs, text.size()) + 64);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    zs.avail_in = static_cast<uInt>(text.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&zs, Z_FINISH);
    if (rc != Z_STREAM_END) fail("zlib compression failed for " + path);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    writeTextFile(path, out);
}

bool weightedLeastSquares(const std::vector<double>& X, const std::vector<double>& y, const std::vector<double>& w, int k,
                          std::vector<double>& beta) {
    const size_t rows = y.size();
    beta.assign(static_cast<size_t>(k), 0.0);
    if (rows == 0 || k <= 0) return false;
    std::vector<double> scale(static_cast<size_t>(k), 0.0);
    for (size_t r = 0; r < rows; ++r)
        for (int c = 0; c < k; ++c) scale[c] = std::max(scale[c], std::fabs(X[r * k + c]));
    for (double& s : scale)
        if (s == 0) s = 1;
    std::vector<double> A(static_cast<size_t>(k) * (k + 1), 0.0);
    double trace = 0;
    for (size_t r = 0; r < rows; ++r) {
        if (w[r] <= 0) continue;
        for (int a = 0; a < k; ++a) {
            const double xa = X[r * k + a] / scale[a];
            for (int b = 0; b < k; ++b) A[a * (k + 1) + b] += w[r] * xa * X[r * k + b] / scale[b];
            A[a * (k + 1) + k] += w[r] * xa * y[r];
        }
    }
    for (int a = 0; a < k; ++a) trace += A[a * (k + 1) + a];
    if (trace <= 0) return false;
    for (int a = 0; a < k; ++a) A[a * (k + 1) + a] += 1e-12 * trace;
    // Gaussian elimination with partial pivoting.
    for (int c = 0; c < k; ++c) {
        int piv = c;
        for (int r = c + 1; r < k; ++r)
            if (std::fabs(A[r * (k + 1) + c]) > std::fabs(A[piv * (k + 1) + c])) piv = r;
        if (piv != c)
            for (int m = 0; m <= k; ++m) std::swap(A[c * (k + 1) + m], A[piv * (k + 1) + m]);
        const double d = A[c * (k + 1) + c];
        if (d == 0) return false;
        for (int r = 0; r < k; ++r) {
            if (r == c) continue;
            const double f = A[r * (k + 1) + c] / d;
            if (f == 0) continue;
            for (int m = c; m <= k; ++m) A[r * (k + 1) + m] -= f * A[c * (k + 1) + m];
        }
    }
    for (int c = 0; c < k; ++c) beta[c] = A[c * (k + 1) + k] / A[c * (k + 1) + c] / scale[c];
    return true;
}

}  // namespace paramsb
