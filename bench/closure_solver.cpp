// Throughput of the tripeptide closure solver on one core, used as in growth:
// initialize_loop_closure with freshly drawn geometry before every
// solve_3pep_poly. Anchors N(c), CA(c), CA(c+2), C(c+2) come from every
// consecutive residue triple of a real backbone (examples/5p21.pdb by default,
// or the PDB file given as the first argument).
//
// Fixed geometry: Engh & Huber, Acta Cryst. A47:392-400 (1991): C-N 1.329,
// N-CA 1.458, CA-C 1.525 A; CA-C-N 116.2, C-N-CA 121.7, N-CA-C 111.2 deg.
// Drawn as in growth: the two free N-CA-C angles ~ N(1.92, 0.06) rad and both
// peptide torsions ~ N(3.129375, 0.0541) rad.
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "closure/tripeptide.h"

using namespace lorvane;

namespace {

struct Res {
    int num = 0;
    char chain = ' ';
    double n[3], ca[3], c[3];
    int have = 0;  // bit 0 N, 1 CA, 2 C
};

std::vector<Res> read_backbone(const std::string& path) {
    std::vector<Res> res;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "ATOM  ") != 0 || line.size() < 54) continue;
        if (line[16] != ' ' && line[16] != 'A') continue;  // first alternate location only
        const std::string name = line.substr(12, 4);
        const int bit = name == " N  " ? 0 : name == " CA " ? 1 : name == " C  " ? 2 : -1;
        if (bit < 0) continue;
        const int num = std::atoi(line.substr(22, 4).c_str());
        const char chain = line[21];
        if (res.empty() || res.back().num != num || res.back().chain != chain) {
            res.push_back(Res{});
            res.back().num = num;
            res.back().chain = chain;
        }
        double* x = bit == 0 ? res.back().n : bit == 1 ? res.back().ca : res.back().c;
        for (int k = 0; k < 3; ++k) x[k] = std::atof(line.substr(30 + 8 * k, 8).c_str());
        res.back().have |= 1 << bit;
    }
    return res;
}

double dist(const double* a, const double* b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

struct Anchors {
    double n1[3], ca1[3], ca3[3], c3[3];
};

struct Draw {
    double len[6], ang[7], tor[2];
};

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : std::string(LORVANE_SOURCE_DIR) + "/examples/5p21.pdb";
    const double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
    const std::vector<Res> res = read_backbone(path);

    std::vector<Anchors> anchors;
    for (size_t i = 0; i + 2 < res.size(); ++i) {
        const Res &a = res[i], &b = res[i + 1], &c = res[i + 2];
        if ((a.have & b.have & c.have) != 7 || a.chain != c.chain) continue;
        if (dist(a.c, b.n) > 1.5 || dist(b.c, c.n) > 1.5) continue;  // chain break
        Anchors an;
        for (int k = 0; k < 3; ++k) {
            an.n1[k] = a.n[k];
            an.ca1[k] = a.ca[k];
            an.ca3[k] = c.ca[k];
            an.c3[k] = c.c[k];
        }
        anchors.push_back(an);
    }
    if (anchors.empty()) {
        std::printf("closure_solver: no consecutive N/CA/C residue triples in %s\n", path.c_str());
        return 1;
    }

    std::mt19937 rng(42);
    std::normal_distribution<double> theta(1.92, 0.06), omega(3.129375, 0.0541);
    const double d2r = 3.141592653589793 / 180.0;
    std::vector<Draw> draws(4093);  // prime, so draws and triples pair up differently each round
    for (Draw& d : draws) {
        const double len[6] = {1.525, 1.329, 1.458, 1.525, 1.329, 1.458};
        for (int k = 0; k < 6; ++k) d.len[k] = len[k];
        d.ang[0] = theta(rng);
        d.ang[1] = 116.2 * d2r;
        d.ang[2] = 121.7 * d2r;
        d.ang[3] = theta(rng);
        d.ang[4] = 116.2 * d2r;
        d.ang[5] = 121.7 * d2r;
        d.ang[6] = 111.2 * d2r;
        d.tor[0] = omega(rng);
        d.tor[1] = omega(rng);
    }

    static double sn[16][3][3], sa[16][3][3], sc[16][3][3];
    long solves = 0, solutions = 0, closed = 0;
    double checksum = 0.0;
    size_t di = 0;
    // The machine may be shared: rate per core from this thread's CPU time,
    // wall time shown alongside.
    auto cpu_now = [] {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return ts.tv_sec + 1e-9 * ts.tv_nsec;
    };
    using clock = std::chrono::steady_clock;
    const auto t0 = clock::now();
    const double c0 = cpu_now();
    double elapsed = 0.0;
    while (elapsed < seconds) {
        for (const Anchors& an : anchors) {
            const Draw& d = draws[di];
            di = di + 1 == draws.size() ? 0 : di + 1;
            initialize_loop_closure(d.len, d.ang, d.tor);
            int n = 0;
            solve_3pep_poly(an.n1, an.ca1, an.ca3, an.c3, sn, sa, sc, &n);
            ++solves;
            solutions += n;
            closed += n > 0;
            if (n > 0) checksum += sa[n - 1][1][0];
        }
        elapsed = std::chrono::duration<double>(clock::now() - t0).count();
    }
    const double cpu = cpu_now() - c0;

    std::printf("closure_solver: %s, %zu residue triples\n", path.c_str(), anchors.size());
    std::printf("solves: %ld in %.3f s wall, %.3f s CPU (one thread)\n", solves, elapsed, cpu);
    std::printf("solves/s/core: %.0f\n", solves / cpu);
    std::printf("mean solutions per solve: %.3f\n", static_cast<double>(solutions) / solves);
    std::printf("fraction with >= 1 solution: %.4f\n", static_cast<double>(closed) / solves);
    std::printf("checksum: %.6f\n", checksum);
    return 0;
}
