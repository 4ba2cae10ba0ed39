// Closure with more freedom (-xclose N): the classic closure draws one set of
// N-CA-C angles and peptide torsions per candidate, so a candidate whose
// anchors need a slightly wider angle gets no closure or a distorted one.
// Here every candidate tries N geometries drawn from the train-derived
// distributions and keeps its distinct solutions.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "closure/closure_solutions.h"
#include "closure/tripeptide.h"
#include "distributions/backbone_angles.h"
#include "growth/grow_one.h"
#include "growth/smc.h"
#include "model/errors.h"

namespace closure_detail {

// The solver (analytic_closure.cpp): tests may substitute it.
using SolveFn = void (*)(const double[3], const double[3], const double[3], const double[3], double[16][3][3], double[16][3][3],
                         double[16][3][3], int*);
extern SolveFn solver;

double atomDistance2(const Solution& a, const Solution& b) {
    double d = 0.0;
    for (int i = 0; i < 8; ++i) {
        const double dx = a.atoms[i].x - b.atoms[i].x, dy = a.atoms[i].y - b.atoms[i].y, dz = a.atoms[i].z - b.atoms[i].z;
        d += dx * dx + dy * dy + dz * dz;
    }
    return d;
}

std::vector<int> keepDistinct(const std::vector<Solution>& sols, int cap, double distinct) {
    std::vector<int> order(sols.size());
    for (size_t i = 0; i < sols.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return sols[a].score < sols[b].score; });
    const double limit = 8.0 * distinct * distinct;
    std::vector<int> kept;
    for (int i : order) {
        if (static_cast<int>(kept.size()) >= cap) break;
        bool same = false;
        for (int j : kept)
            if (atomDistance2(sols[i], sols[j]) < limit) {
                same = true;
                break;
            }
        if (!same) kept.push_back(i);
    }
    return kept;
}

}  // namespace closure_detail

namespace {

constexpr double ACCEPT_LIMIT = 200.0;  // as the classic closure
constexpr double DISTINCT_RMSD = 0.25;  // A over the eight closure atoms: the filter's own duplicate radius
constexpr int N_ = 0, CA_ = 1, C_ = 2;

inline double uniformDraw() { return (std::rand() + 0.5) * (1.0 / 2147483648.0); }

inline void toArray(const Point& p, double v[3]) {
    v[0] = p.x;
    v[1] = p.y;
    v[2] = p.z;
}

}  // namespace

int flexibleClosureOne(Structure& s, int c, int k, std::vector<double>& weights, double E, GrowOne& g, std::stringstream& diag,
                       bool retry, int loopStart, int loopEnd, int draws) {
    using namespace closure_detail;
    const BackboneAngleTable& tab = backboneAngles;
    if (!tab.loaded) fatal("closure: -xclose needs the backbone angle table");
    const int t[3] = {s[c].type, s[c + 1].type, s[c + 2].type};
    const double len[6] = {Residue::bond_length[t[0]][C_], Residue::bond_length[t[1]][N_], Residue::bond_length[t[1]][CA_],
                           Residue::bond_length[t[1]][C_], Residue::bond_length[t[2]][N_], Residue::bond_length[t[2]][CA_]};
    double n1[3], ca1[3], ca3[3], c3[3];
    toArray(s[c].atoms[N_], n1);
    toArray(s[c].atoms[CA_], ca1);
    toArray(s[c + 2].atoms[CA_], ca3);
    toArray(s[c + 2].atoms[C_], c3);

    static thread_local std::vector<Solution> found;
    found.clear();
    for (int d = 0; d < draws; ++d) {
        const double theta1 = ncacQuantile(tab, t[0], uniformDraw()) * DEG2RAD;
        const double theta2 = ncacQuantile(tab, t[1], uniformDraw()) * DEG2RAD;
        const double theta3 = ncacQuantile(tab, t[2], uniformDraw()) * DEG2RAD;
        const double omega1 = randn(tab.omegaMean[t[1]], tab.omegaSd[t[1]]) * DEG2RAD;
        const double omega2 = randn(tab.omegaMean[t[2]], tab.omegaSd[t[2]]) * DEG2RAD;
        const double ang[7] = {theta1, Residue::bond_angle[t[1]][N_], Residue::bond_angle[t[1]][CA_], theta2,
                               Residue::bond_angle[t[2]][N_], Residue::bond_angle[t[2]][CA_], theta3};
        const double tor[2] = {omega1, omega2};
        initialize_loop_closure(len, ang, tor);
        double solN[16][3][3], solA[16][3][3], solC[16][3][3];
        int numSoln = 0;
        solver(n1, ca1, ca3, c3, solN, solA, solC, &numSoln);
        numSoln = std::min(numSoln, 16);
        for (int j = 0; j < numSoln; ++j) {
            Solution sol;
            if (!completeSolution(s, c, solN[j], solA[j], solC[j], sol)) continue;
            sol.score = g.quendaClosure(s, loopStart, loopEnd, c, diag);
            if (!(sol.score < ACCEPT_LIMIT) && !retry) continue;
            sol.theta1Deg = theta1 * RAD2DEG;
            sol.theta2Deg = theta2 * RAD2DEG;
            found.push_back(sol);
        }
    }
    const std::vector<int> kept = keepDistinct(found, CLOSURE_SLOTS, DISTINCT_RMSD);
    const size_t first = static_cast<size_t>(k) * CLOSURE_SLOTS;
    for (size_t i = 0; i < kept.size(); ++i) record(g, weights, first + i, found[kept[i]], E);
    return static_cast<int>(kept.size());
}
