// Turns and re-closure of the refinement's moves (closure_move.h).
#include "refine/closure_move.h"

#include <cmath>
#include <limits>

#include <gemmi/math.hpp>

#include "model/error.h"
#include "model/residue_names.h"

namespace lorvane {

namespace {

using Vec = gemmi::Vec3;
Vec vec(const Point& p) { return {p.x, p.y, p.z}; }
void put(Point& p, const Vec& v) {
    p.x = static_cast<float>(v.x);
    p.y = static_cast<float>(v.y);
    p.z = static_cast<float>(v.z);
}

// An orthonormal frame at b from the points a, b, c.
struct Frame {
    Vec origin, e[3];
};
Frame frameOf(const Vec& a, const Vec& b, const Vec& c) {
    Frame f;
    f.origin = b;
    f.e[0] = (a - b).normalized();
    const Vec w = c - b;
    f.e[1] = (w - f.e[0] * w.dot(f.e[0])).normalized();
    f.e[2] = f.e[0].cross(f.e[1]);
    return f;
}
// Coordinates of p in frame f, and back.
void toLocal(const Frame& f, const Point& p, double local[3]) {
    const Vec d = vec(p) - f.origin;
    for (int i = 0; i < 3; ++i) local[i] = d.dot(f.e[i]);
}
void fromLocal(const Frame& f, const double local[3], Point& p) {
    Vec out = f.origin;
    for (int i = 0; i < 3; ++i) out = out + f.e[i] * local[i];
    put(p, out);
}
// Moves p from frame `from` to frame `to` rigidly.
void carry(const Frame& from, const Frame& to, Point& p) {
    double local[3];
    toLocal(from, p, local);
    fromLocal(to, local, p);
}

double bondAngle(const Point& a, const Point& b, const Point& c) {
    const Vec u = (vec(a) - vec(b)).normalized(), v = (vec(c) - vec(b)).normalized();
    return std::acos(std::fmax(-1.0, std::fmin(1.0, u.dot(v))));
}
double dihedral(const Point& a, const Point& b, const Point& c, const Point& d) {
    const Vec b1 = vec(b) - vec(a), b2 = vec(c) - vec(b), b3 = vec(d) - vec(c);
    const Vec n1 = b1.cross(b2), n2 = b2.cross(b3);
    return std::atan2(n1.cross(n2).dot(b2.normalized()), n1.dot(n2));
}
double dist(const Point& a, const Point& b) { return vec(a).dist(vec(b)); }

// Rotation of p about the axis through a with unit direction k by angle t (Rodrigues).
void rotate(const Vec& a, const Vec& k, double c, double sn, Point& p) {
    const Vec v = vec(p) - a;
    const Vec kxv = k.cross(v);
    const double kv = k.dot(v) * (1.0 - c);
    put(p, a + v * c + kxv * sn + k * kv);
}

}  // namespace

WindowGeometry measureWindow(const Structure& s, int p) {
    const Atom* a[3] = {s[p].atoms, s[p + 1].atoms, s[p + 2].atoms};
    // The chain N1 CA1 C1 N2 CA2 C2 N3 CA3 C3 in order.
    const Point* chain[9] = {&a[0][SLOT_N], &a[0][SLOT_CA], &a[0][SLOT_C], &a[1][SLOT_N], &a[1][SLOT_CA],
                             &a[1][SLOT_C], &a[2][SLOT_N],  &a[2][SLOT_CA], &a[2][SLOT_C]};
    WindowGeometry g;
    for (int i = 0; i < 6; ++i) g.length[i] = dist(*chain[i + 1], *chain[i + 2]);
    for (int i = 0; i < 7; ++i) g.angle[i] = bondAngle(*chain[i], *chain[i + 1], *chain[i + 2]);
    g.omega[0] = dihedral(*chain[1], *chain[2], *chain[3], *chain[4]);
    g.omega[1] = dihedral(*chain[4], *chain[5], *chain[6], *chain[7]);
    toLocal(frameOf(vec(*chain[1]), vec(*chain[2]), vec(*chain[3])), a[0][SLOT_O], g.oxygen[0]);
    toLocal(frameOf(vec(*chain[4]), vec(*chain[5]), vec(*chain[6])), a[1][SLOT_O], g.oxygen[1]);
    return g;
}

void bendWindow(WindowGeometry& g, const BackboneAngleTable& table, const Structure& s, int p, double step, RandomStream& random) {
    if (!table.loaded) fail("bending the backbone needs the backbone angle table");
    for (int i = 0; i < 3; ++i) {
        const int t = s[p + i].type;
        if (!isAminoAcid(t)) fail("bending the backbone: residue " + residueLabel(s, p + i) + " has no standard type");
        g.angle[3 * i] += random.normal(0.0, step * table.ncacSd[t] * DEG2RAD);
        if (i > 0) g.omega[i - 1] += random.normal(0.0, step * table.omegaSd[t] * DEG2RAD);
    }
}

void turnDihedral(Structure& s, int r, bool psi, double delta, int last) {
    const Point& from = s[r].atoms[psi ? SLOT_CA : SLOT_N];
    const Point& to = s[r].atoms[psi ? SLOT_C : SLOT_CA];
    const Vec a = vec(from), k = (vec(to) - a).normalized();
    const double c = std::cos(delta), sn = std::sin(delta);
    // Within residue r: psi moves O only; phi moves everything but N, CA and the amide H.
    Residue& res = s[r];
    if (psi) {
        rotate(a, k, c, sn, res.atoms[SLOT_O]);
    } else {
        for (int x = 0; x < res.numAtoms; ++x)
            if (x != SLOT_N && x != SLOT_CA && x != SLOT_H) rotate(a, k, c, sn, res.atoms[x]);
    }
    for (int i = r + 1; i <= last; ++i)
        for (int x = 0; x < s[i].numAtoms; ++x) rotate(a, k, c, sn, s[i].atoms[x]);
}

bool closeWindow(TripeptideClosure& solver, Structure& s, int p, const WindowGeometry& g) {
    solver.initialize(g.length, g.angle, g.omega);
    Atom* r0 = s[p].atoms;
    Atom* r1 = s[p + 1].atoms;
    Atom* r2 = s[p + 2].atoms;
    const double n1[3] = {r0[SLOT_N].x, r0[SLOT_N].y, r0[SLOT_N].z};
    const double ca1[3] = {r0[SLOT_CA].x, r0[SLOT_CA].y, r0[SLOT_CA].z};
    const double ca3[3] = {r2[SLOT_CA].x, r2[SLOT_CA].y, r2[SLOT_CA].z};
    const double c3[3] = {r2[SLOT_C].x, r2[SLOT_C].y, r2[SLOT_C].z};
    double sn[16][3][3], sa[16][3][3], sc[16][3][3];
    int count = 0;
    solver.solve(n1, ca1, ca3, c3, sn, sa, sc, &count);
    if (count <= 0) return false;
    // The moving atoms of each solution: C1, N2, CA2, C2, N3.
    auto moved = [&](int k, int m) -> const double* {
        switch (m) {
            case 0: return sc[k][0];
            case 1: return sn[k][1];
            case 2: return sa[k][1];
            case 3: return sc[k][1];
            default: return sn[k][2];
        }
    };
    const Point* now[5] = {&r0[SLOT_C], &r1[SLOT_N], &r1[SLOT_CA], &r1[SLOT_C], &r2[SLOT_N]};
    int best = -1;
    double bestD = std::numeric_limits<double>::infinity();
    for (int k = 0; k < count; ++k) {
        double d = 0;
        for (int m = 0; m < 5; ++m) {
            const double* q = moved(k, m);
            d += (q[0] - now[m]->x) * (q[0] - now[m]->x) + (q[1] - now[m]->y) * (q[1] - now[m]->y) +
                 (q[2] - now[m]->z) * (q[2] - now[m]->z);
        }
        if (d < bestD) bestD = d, best = k;
    }
    auto point = [](const double* q) { return Vec(q[0], q[1], q[2]); };
    // Each residue's frame (N, CA, C) before and after.
    const Frame old0 = frameOf(vec(r0[SLOT_N]), vec(r0[SLOT_CA]), vec(r0[SLOT_C]));
    const Frame old1 = frameOf(vec(r1[SLOT_N]), vec(r1[SLOT_CA]), vec(r1[SLOT_C]));
    const Frame old2 = frameOf(vec(r2[SLOT_N]), vec(r2[SLOT_CA]), vec(r2[SLOT_C]));
    const Vec c1 = point(moved(best, 0)), n2 = point(moved(best, 1)), ca2 = point(moved(best, 2)), c2 = point(moved(best, 3)),
              n3 = point(moved(best, 4));
    const Frame new0 = frameOf(vec(r0[SLOT_N]), vec(r0[SLOT_CA]), c1);
    const Frame new1 = frameOf(n2, ca2, c2);
    const Frame new2 = frameOf(n3, vec(r2[SLOT_CA]), vec(r2[SLOT_C]));
    fromLocal(frameOf(vec(r0[SLOT_CA]), c1, n2), g.oxygen[0], r0[SLOT_O]);
    fromLocal(frameOf(ca2, c2, n3), g.oxygen[1], r1[SLOT_O]);
    const Frame* from[3] = {&old0, &old1, &old2};
    const Frame* to[3] = {&new0, &new1, &new2};
    Atom* res[3] = {r0, r1, r2};
    const int counts[3] = {s[p].numAtoms, s[p + 1].numAtoms, s[p + 2].numAtoms};
    for (int i = 0; i < 3; ++i)
        for (int x = SLOT_H; x < counts[i]; ++x) carry(*from[i], *to[i], res[i][x]);
    put(r0[SLOT_C], c1);
    put(r1[SLOT_N], n2);
    put(r1[SLOT_CA], ca2);
    put(r1[SLOT_C], c2);
    put(r2[SLOT_N], n3);
    return true;
}

}  // namespace lorvane
