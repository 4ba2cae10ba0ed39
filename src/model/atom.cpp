#include "model/atom.h"

#include <cstdio>
#include <fstream>
#include <iostream>

#include "model/error.h"
#include "model/strings.h"

namespace lorvane {

double Atom::radius[30] = {};
double Atom::welldepth[30] = {};
double Atom::s_volume[30] = {};
double Atom::s_lambda[30] = {};
double Atom::s_dgfree[30] = {};
int16_t Atom::acceptor[30] = {};
int16_t Atom::donor[30] = {};
int16_t Atom::hbondH[30] = {};
double Atom::vdw_adj = 1.0;
// Residue order A C D E F G H I K L M N P Q R S T V W Y.
const double Atom::R_SC[30] = {1.53, 2.14, 2.49, 3.16, 3.42, 0.0, 3.17, 2.35, 3.57, 2.65,
                               3.0,  2.52, 1.88, 3.15, 4.17, 1.95, 1.95, 1.97, 3.89, 3.78};

Atom::Atom(double px, double py, double pz, int t)
    : Point(static_cast<float>(px), static_cast<float>(py), static_cast<float>(pz)), type(static_cast<int16_t>(t)) {}

Atom::Atom(const Point& p) : Point(p) {}

Atom::Atom(const Atom& o) : Point(o) { *this = o; }

Atom& Atom::operator=(const Atom& o) {
    if (this == &o) return *this;
    x = o.x;
    y = o.y;
    z = o.z;
    type = o.type;
    name = o.name;
    bfactor = o.bfactor;
    index = o.index;
    missing = o.missing;
    dfireType = o.dfireType;
    hasDfireType = o.hasDfireType;
    oscarType = o.oscarType;
    fgIndex = o.fgIndex;
    orientPoint[0] = o.orientPoint[0];
    orientPoint[1] = o.orientPoint[1];
    orientPoint[2] = o.orientPoint[2];
    return *this;
}

Atom& Atom::operator=(const Point& p) {
    x = p.x;
    y = p.y;
    z = p.z;
    return *this;
}

void Atom::CopyPos(const Point& p) {
    x = p.x;
    y = p.y;
    z = p.z;
}

void Atom::init(double px, double py, double pz, int t) {
    Residue* keep = parent;
    *this = Atom();
    parent = keep;
    x = static_cast<float>(px);
    y = static_cast<float>(py);
    z = static_cast<float>(pz);
    type = static_cast<int16_t>(t);
}

void Atom::reset() { init(0.0, 0.0, 0.0, ABSENT); }

void Atom::out() const { std::cout << x << " " << y << " " << z << " "; }

void Atom::InitPar(const char* path, const std::string& prefix) {
    std::ifstream in;
    const std::string used = openParameterFile(path, prefix, in);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        char section[64];
        int n = 0;
        if (std::sscanf(line.c_str(), "%*s %63s %d", section, &n) != 2) continue;
        if (std::string(section) != "vdw_par") continue;
        if (n > 29) fail(used + " line " + std::to_string(lineNo) + ": vdw_par has " + std::to_string(n) + " rows, at most 29 fit");
        for (int k = 1; k <= n; ++k) {
            if (!std::getline(in, line)) fail(used + ": vdw_par section ends after " + std::to_string(k - 1) + " rows");
            ++lineNo;
            double r = 0, w = 0, v = 0, l = 0, g = 0;
            int a = 0, d = 0, h = 0;
            std::sscanf(line.c_str(), "%lf, %lf, %lf, %lf, %lf, %d %d %d", &r, &w, &v, &l, &g, &a, &d, &h);
            radius[k] = r * vdw_adj;
            welldepth[k] = w;
            s_volume[k] = v;
            s_lambda[k] = l;
            s_dgfree[k] = g;
            acceptor[k] = static_cast<int16_t>(a);
            donor[k] = static_cast<int16_t>(d);
            hbondH[k] = static_cast<int16_t>(h);
        }
    }
}

}  // namespace lorvane
