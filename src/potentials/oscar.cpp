// OSCAR-style side-chain terms: an orientation-dependent pair energy between
// polar/functional atoms and a Fourier side-chain torsion energy. All
// coefficients come from data/oscarparams.txt and data/dipole.fress.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <string>

#include "model/error.h"
#include "potentials/oscar.h"

namespace lorvane {

void orient(const float* o, const float* p1, const float* p2, float* out) {
    const float a0 = p1[0] - o[0], a1 = p1[1] - o[1], a2 = p1[2] - o[2];
    const float b0 = p2[0] - o[0], b1 = p2[1] - o[1], b2 = p2[2] - o[2];
    out[0] = o[0] + (a1 * b2 - a2 * b1);
    out[1] = o[1] + (a2 * b0 - a0 * b2);
    out[2] = o[2] + (a0 * b1 - a1 * b0);
}

namespace {

float sq3(const float* a, const float* b) {
    const float d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
    return d0 * d0 + d1 * d1 + d2 * d2;
}

bool validClass(int c) { return c >= 0 && c < 16; }

}  // namespace

bool planarOscarClass(int c) {
    return validClass(c) && (std::strcmp(OSCAR_CLASS_NAMES[c], "C") == 0 || std::strcmp(OSCAR_CLASS_NAMES[c], "CG") == 0 ||
                             std::strcmp(OSCAR_CLASS_NAMES[c], "N2") == 0);
}

namespace {

// Orientation point of group atom a of residue i from its record's neighbour slots.
void orientationPoint(const Potentials& p, Residue& r, int i, int a) {
    Atom& at = r.atoms[a];
    const int t = r.type;
    const int f = at.fgIndex;
    const DipoleRecord* rec = t >= 0 && t < p.numDipoles ? &p.dipoles[t] : nullptr;
    const int c = rec && f >= 0 && f < rec->atomCount ? rec->neighbourCount[f] : 0;
    if (c < 1)
        fail("no required atoms for dipole found. (residue " + std::to_string(i) + ", atom " + at.name + ")");
    const float* pos[3];
    int n = 0;
    for (int m = 0; m < c; ++m) {
        const int slot = rec->neighbourId[f][m];
        if (slot >= 0 && slot < r.numAtoms && slot < MAX_ATOMS) pos[n++] = &r.atoms[slot].x;
    }
    if (n < c) {
        std::cerr << "couldn't find all required atoms for dipole: " << i << " " << a << " found: " << n << " expected: " << c
                  << "\n";
        if (n == 0) fail("no required atoms for dipole found. (residue " + std::to_string(i) + ", atom " + at.name + ")");
    }
    if (planarOscarClass(at.oscarType) && n >= 2) {
        orient(&at.x, pos[0], pos[1], at.orientPoint);
    } else {
        for (int k = 0; k < 3; ++k) {
            float sum = 0.0f;
            for (int m = 0; m < n; ++m) sum += pos[m][k];
            at.orientPoint[k] = sum / static_cast<float>(n);
        }
    }
    for (int k = 0; k < 3; ++k)
        if (at.orientPoint[k] == ABSENT) std::cerr << "error.";
}

bool groupAtom(const Atom& a) { return a.present() && a.fgIndex != ABSENT && validClass(a.oscarType); }

// Which pairs (a side-chain atom of i, b of j) are scored; bonded geometry fixes the others.
bool pairScored(const Residue& ri, int i, int a, int j, int b) {
    if (b >= 5 && i > j) return false;  // side chain-side chain pairs once
    if (j == i - 1) {
        if (b == 2 && a == 5) return false;
        if (ri.type == PRO && (a == 7 || (b == 2 && a == 6))) return false;
    } else if (j == i + 1) {
        if (b == 0 && a == 5) return false;
    } else if (j == i) {
        const int t = ri.type;
        if (t == PRO) return (a == 6 || a == 7) && b == 3;
        const int nChi = t >= 0 && t < NUM_TYPES ? NUM_SC_DIHEDRALS[t] : 0;
        switch (b) {
            case 0:
            case 2:
                return a >= 7 && nChi >= 2;
            case 1:
                return a >= 8 && nChi >= 3;
            case 3:
            case 4:
                return a >= 6;
            case 5:
                return a == 9 && t == LYS;
            default:
                return false;
        }
    }
    return true;
}

}  // namespace

float coss(const float* a, const float* b, const float* c) {
    const float ab = sq3(a, b), bc = sq3(b, c), ac = sq3(a, c);
    return (ab + bc - ac) / (2.0f * std::sqrt(ab) * std::sqrt(bc));
}

float cosv(const float* a, const float* b, const float* c, const float* d) {
    const float u0 = b[0] - a[0], u1 = b[1] - a[1], u2 = b[2] - a[2];
    const float v0 = d[0] - c[0], v1 = d[1] - c[1], v2 = d[2] - c[2];
    const float dot = u0 * v0 + u1 * v1 + u2 * v2;
    return dot / (std::sqrt(u0 * u0 + u1 * u1 + u2 * u2) * std::sqrt(v0 * v0 + v1 * v1 + v2 * v2));
}

float getori(const Potentials& p, const float* oa, const float* pa, const float* ob, const float* pb, int ca, int cb) {
    const float c1 = coss(oa, pa, pb);
    const float c2 = coss(ob, pb, pa);
    const float c3 = cosv(oa, pa, ob, pb);
    const double* P = p.pb[ca][cb];
    const float c11 = c1 * c1, c22 = c2 * c2, c33 = c3 * c3, c12 = c1 * c2, c13 = c1 * c3, c23 = c2 * c3;
    double f = 0.0;
    f += P[4] * c11;
    f += P[5] * c22;
    f += P[6] * c33;
    f += P[7] * c12;
    f += P[8] * c13;
    f += P[9] * c23;
    f += P[10] * c1;
    f += P[11] * c2;
    f += P[12] * c3;
    f += P[13];
    return static_cast<float>(f);
}

namespace {

// Orientation-dependent energy of group atoms A and B at squared distance r2.
double pairTerm(const Potentials& p, const Atom& A, const Atom& B, double r2) {
    const double f = getori(p, A.orientPoint, &A.x, B.orientPoint, &B.x, A.oscarType, B.oscarType);
    const double* P = p.pb[A.oscarType][B.oscarType];
    const double u = 1.0 / r2;
    const double e = f * (P[0] * u + P[1] * u * u + P[2] * u * u * u + P[3] * u * u * u * u);
    // An orientation point on its own atom (Tyr CZ: its three neighbours average onto it once
    // coordinates are rounded) leaves the factor undefined; such a pair adds nothing rather than
    // making the whole energy NaN. Every finite sum is unchanged.
    return std::isnan(e) ? 0.0 : e;
}

}  // namespace

double oscar_e(const Potentials& p, Structure& s, int start, int end) {
    for (int i = start; i <= end; ++i) {
        Residue& r = s.residues[i];
        for (int a = 0; a < r.numAtoms && a < MAX_ATOMS; ++a)
            if (r.atoms[a].fgIndex != ABSENT) orientationPoint(p, r, i, a);
    }
    const int N = s._numRes;
    double E = 0.0;
    for (int i = 1; i <= N; ++i) {
        const bool iLoop = start <= i && i <= end;
        const Residue& ri = s.residues[i];
        for (int j = 1; j <= N; ++j) {
            if (!iLoop && !(start <= j && j <= end)) continue;
            const Residue& rj = s.residues[j];
            for (int a = 5; a < ri.numAtoms && a < MAX_ATOMS; ++a) {
                const Atom& A = ri.atoms[a];
                if (!groupAtom(A)) continue;
                for (int b = 0; b < rj.numAtoms && b < MAX_ATOMS; ++b) {
                    const Atom& B = rj.atoms[b];
                    if (!groupAtom(B) || !pairScored(ri, i, a, j, b)) continue;
                    const double r2 = A.sdis(B);
                    if (!(r2 < 100.0)) continue;
                    E += std::min(pairTerm(p, A, B, r2), 10.0);
                }
            }
        }
    }
    // Loop group atoms against the hetero group atoms, which pair as frame side chains do.
    for (int j = start; j <= end; ++j) {
        const Residue& rj = s.residues[j];
        for (int b = 0; b < rj.numAtoms && b < MAX_ATOMS; ++b) {
            const Atom& B = rj.atoms[b];
            if (!groupAtom(B)) continue;
            for (const HeteroAtom& H : s.hetero) {
                if (!groupAtom(H)) continue;
                const double r2 = H.sdis(B);
                if (!(r2 < 100.0)) continue;
                E += std::min(pairTerm(p, H, B, r2), 10.0);
            }
        }
    }
    return E;
}

double scto_e(const Potentials& p, const Templates& tm, Structure& s, int start, int end) {
    measureChis(tm, s, start, end);
    double E = 0.0;
    for (int i = start; i <= end; ++i) {
        const Residue& r = s.residues[i];
        const int t = r.type;
        if (t < 0 || t >= 20 || t == GLY || t == ALA) continue;
        for (int k = 0; k < NUM_SC_DIHEDRALS[t] && k < 5; ++k) {
            const double d = r.chi[k];
            if (d == UNDEF_DIHEDRAL) break;
            const double x = d * DEG2RAD;
            const double* C = p.pcs[t][k];
            E += C[0] * std::cos(x) + C[1] * std::sin(x) + C[2] * std::cos(2 * x) + C[3] * std::sin(2 * x) +
                 C[4] * std::cos(3 * x) + C[5] * std::sin(3 * x);
        }
    }
    return E;
}

}  // namespace lorvane
