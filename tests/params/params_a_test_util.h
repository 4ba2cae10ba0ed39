#pragma once
// Synthetic training chains for the lorvane-params tests: ideal backbones
// from chosen dihedrals, side chains from the templates with chosen chis,
// and their PDB text.
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "model/geometry.h"
#include "model/residue.h"
#include "model/strings.h"
#include "params/training_set.h"
#include "support/expect_error.h"

using namespace lorvane;

namespace patest {

// Messages of fail() go to standard output; death tests read standard error.
inline void stdoutToStderr() {
    std::fflush(stdout);
    ::dup2(2, 1);
}

inline bool templatesAvailable() {
    if (!FileExists("data/atomProp2.txt")) return false;
    loadTemplates("data/atomProp2.txt");
    return true;
}

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

// Backbone with standard bond geometry, O in the peptide plane, side chains
// built slot by slot from the templates (free dihedrals take the chis).
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
        // O anti to the next N.
        calCo(N, CA, C, 1.231, 120.5 * DEG2RAD, (s.psi + 180.0) * DEG2RAD, r.atoms[3]);
        r.present = 0b1111;
        const int last = std::min(Residue::lastDFire[s.type], TRAIN_SLOTS - 1);
        int k = 0;
        for (int j = 5; j <= last; ++j) {
            if (s.type == GLY) break;
            const int* ref = Residue::prev_atom[s.type][j];
            double tor = Residue::torsion[s.type][j];
            if (tor == FREE_CHI) tor = s.chi[std::min(k++, 3)] * DEG2RAD;
            calCo(r.atoms[ref[0]], r.atoms[ref[1]], r.atoms[ref[2]], Residue::bond_length[s.type][j], Residue::bond_angle[s.type][j], tor,
                  r.atoms[j]);
            r.present |= static_cast<uint16_t>(1u << j);
        }
        for (int j = 0; j < TRAIN_SLOTS; ++j) r.bfactor[j] = 15.0f;
        Point N2, CA2, C2;
        calCo(N, CA, C, 1.329, 116.2 * DEG2RAD, s.psi * DEG2RAD, N2);
        calCo(CA, C, N2, 1.458, 121.7 * DEG2RAD, s.omega * DEG2RAD, CA2);
        const double nextPhi = i + 1 < recipe.size() ? recipe[i + 1].phi : -60.0;
        calCo(C, N2, CA2, 1.525, 111.2 * DEG2RAD, nextPhi * DEG2RAD, C2);
        N = N2, CA = CA2, C = C2;
    }
    return out;
}

// ATOM records of the heavy atoms, template names, one chain.
inline std::string toPdb(const std::vector<TrainResidue>& res, int& serial) {
    std::string s;
    char buf[128];
    for (const TrainResidue& r : res)
        for (int j = 0; j < TRAIN_SLOTS; ++j) {
            if (!r.has(j) || j == 4) continue;
            const std::string& nm = Residue::cType[r.type][j];
            std::string field = nm.size() >= 4 ? nm : " " + nm;
            std::snprintf(buf, sizeof buf, "ATOM  %5d %-4s %3s %c%4d    %8.3f%8.3f%8.3f  1.00%6.2f           %c\n", serial++, field.c_str(),
                          Residue::Name3[r.type].c_str(), r.chain, r.pdbNum, r.atoms[j].x, r.atoms[j].y, r.atoms[j].z, r.bfactor[j], nm[0]);
            s += buf;
        }
    return s;
}

inline std::vector<ResidueRecipe> uniform(int n, int type, double phi, double psi, char ss = 'C') {
    std::vector<ResidueRecipe> v(static_cast<size_t>(n));
    for (ResidueRecipe& r : v) r.type = type, r.phi = phi, r.psi = psi, r.ss = ss;
    return v;
}

inline std::string tempDir(const std::string& name) {
    std::filesystem::path p = std::filesystem::temp_directory_path() / ("lorvane_pa_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
    return p.string();
}

inline std::string readFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    std::string s;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
}

inline void writeFile(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

}  // namespace patest
