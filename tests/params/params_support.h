#pragma once
// Shared set-up of the lorvane-params tests: synthetic training chains (ideal
// backbones from chosen dihedrals, side chains from the repository's templates
// with chosen chis, and their PDB text).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "model/geometry.h"
#include "model/residue.h"
#include "params/training_set.h"
#include "support/support.h"

namespace params_test {

using namespace lorvane;
using namespace lorvane::params;
using lorvane_test::tmpl;

// Reproducible uniform noise in [-width/2, width/2) from a linear congruential
// generator, so synthetic training data are the same on every platform.
struct Jitter {
    unsigned state;
    double width;
    Jitter(unsigned seed, double w) : state(seed), width(w) {}
    double operator()() {
        state = state * 1103515245u + 12345u;
        return (((state >> 8) & 0xffff) / 65536.0 - 0.5) * width;
    }
};

struct ResidueRecipe {
    int type = 0;
    double phi = -60, psi = -45, omega = 180;  // degrees; omega of the bond to the next residue
    double chi[4] = {-60, 180, 180, 180};       // degrees
    char ss = 'C';
};

inline std::vector<ResidueRecipe> uniform(int n, int type, double phi, double psi, char ss = 'C') {
    std::vector<ResidueRecipe> v(static_cast<size_t>(n));
    for (ResidueRecipe& r : v) r.type = type, r.phi = phi, r.psi = psi, r.ss = ss;
    return v;
}

// Side chain of r from the templates, free dihedrals taking the recipe's chis.
inline void buildSideChain(const ResidueRecipe& s, TrainResidue& r) {
    const int last = std::min(LAST_HEAVY_SLOT[s.type], TRAIN_SLOTS - 1);
    int k = 0;
    for (int j = 5; j <= last && s.type != GLY; ++j) {
        const int* ref = tmpl().refAtoms[s.type][j];
        double tor = tmpl().torsion[s.type][j];
        if (tor == FREE_CHI) tor = s.chi[std::min(k++, 3)] * DEG2RAD;
        calCo(r.atoms[ref[0]], r.atoms[ref[1]], r.atoms[ref[2]], tmpl().bondLength[s.type][j], tmpl().bondAngle[s.type][j], tor, r.atoms[j]);
        r.present |= static_cast<uint16_t>(1u << j);
    }
}

// Backbone with standard bond geometry, O in the peptide plane, side chains
// built slot by slot from the templates.
inline std::vector<TrainResidue> buildChain(const std::vector<ResidueRecipe>& recipe, char chain = 'A', int firstNum = 1, Point shift = {}) {
    std::vector<TrainResidue> out(recipe.size());
    Point N(shift.x, shift.y, shift.z), CA(shift.x + 1.458f, shift.y, shift.z), C;
    calCo(Point(shift.x, shift.y + 1.0f, shift.z), N, CA, 1.525, 111.2 * DEG2RAD, recipe[0].phi * DEG2RAD, C);
    for (size_t i = 0; i < recipe.size(); ++i) {
        const ResidueRecipe& s = recipe[i];
        TrainResidue& r = out[i];
        r.type = static_cast<int8_t>(s.type);
        r.chain = chain;
        r.ss = s.ss;
        r.pdbNum = firstNum + static_cast<int>(i);
        r.breakBefore = i == 0;
        r.atoms[0] = N, r.atoms[1] = CA, r.atoms[2] = C;
        calCo(N, CA, C, 1.231, 120.5 * DEG2RAD, (s.psi + 180.0) * DEG2RAD, r.atoms[3]);  // O anti to the next N
        r.present = 0b1111;
        buildSideChain(s, r);
        for (float& b : r.bfactor) b = 15.0f;
        Point N2, CA2, C2;
        calCo(N, CA, C, 1.329, 116.2 * DEG2RAD, s.psi * DEG2RAD, N2);
        calCo(CA, C, N2, 1.458, 121.7 * DEG2RAD, s.omega * DEG2RAD, CA2);
        const double nextPhi = i + 1 < recipe.size() ? recipe[i + 1].phi : -60.0;
        calCo(C, N2, CA2, 1.525, 111.2 * DEG2RAD, nextPhi * DEG2RAD, C2);
        N = N2, CA = CA2, C = C2;
    }
    return out;
}

inline TrainChain chainOf(std::vector<TrainResidue> res, const std::string& id, double weight = 1.0) {
    TrainChain c;
    c.pdbId = id;
    c.chain = res.empty() ? 'A' : res[0].chain;
    c.weight = weight;
    c.residues = std::move(res);
    return c;
}

// ATOM records of the heavy atoms, template names, one chain.
inline std::string toPdb(const std::vector<TrainResidue>& res, int& serial) {
    std::string s;
    char buf[128];
    for (const TrainResidue& r : res)
        for (int j = 0; j < TRAIN_SLOTS; ++j) {
            if (!r.has(j) || j == 4) continue;
            const std::string& nm = tmpl().atomName[r.type][j];
            const std::string field = nm.size() >= 4 ? nm : " " + nm;
            std::snprintf(buf, sizeof buf, "ATOM  %5d %-4s %3s %c%4d    %8.3f%8.3f%8.3f  1.00%6.2f           %c\n", serial++, field.c_str(),
                          threeLetter(r.type).c_str(), r.chain, r.pdbNum, r.atoms[j].x, r.atoms[j].y, r.atoms[j].z, r.bfactor[j], nm[0]);
            s += buf;
        }
    return s;
}

}  // namespace params_test
