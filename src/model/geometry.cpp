#include "model/geometry.h"

#include <cmath>

namespace lorvane {

double angle(const Point& a, const Point& b, const Point& c) {
    double d1 = b.dis(a), d2 = b.dis(c);
    Point u(a.x - b.x, a.y - b.y, a.z - b.z);
    Point v(b.x - c.x, b.y - c.y, b.z - c.z);
    double s = u ^ v;
    return 180.0 - std::acos(s / (d1 * d2)) * 180.0 / PI;
}

double Torsion(const Point& a, const Point& b, const Point& c, const Point& d) {
    double A[3] = {double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z};
    double B[3] = {double(c.x) - b.x, double(c.y) - b.y, double(c.z) - b.z};
    double C[3] = {double(c.x) - d.x, double(c.y) - d.y, double(c.z) - d.z};
    double n1[3] = {A[1] * B[2] - A[2] * B[1], A[2] * B[0] - A[0] * B[2], A[0] * B[1] - A[1] * B[0]};
    double n2[3] = {C[1] * B[2] - C[2] * B[1], C[2] * B[0] - C[0] * B[2], C[0] * B[1] - C[1] * B[0]};
    double l1 = std::sqrt(n1[0] * n1[0] + n1[1] * n1[1] + n1[2] * n1[2]);
    double l2 = std::sqrt(n2[0] * n2[0] + n2[1] * n2[1] + n2[2] * n2[2]);
    double cs = (n1[0] * n2[0] + n1[1] * n2[1] + n1[2] * n2[2]) / (l1 * l2);
    if (cs > 1.0) cs = 1.0;
    if (cs < -1.0) cs = -1.0;
    double phi = std::acos(cs);
    double n3[3] = {n1[1] * n2[2] - n1[2] * n2[1], n1[2] * n2[0] - n1[0] * n2[2], n1[0] * n2[1] - n1[1] * n2[0]};
    double t = n3[0] * B[0] + n3[1] * B[1] + n3[2] * B[2];
    if (-t < 0) phi = -phi;
    if (phi > 0) return (PI - phi) / PI * 180.0;
    return -(phi + PI) / PI * 180.0;
}

void cross(const Point& a, const Point& b, Point& out) {
    float ox = a.y * b.z - b.y * a.z;
    float oy = a.z * b.x - a.x * b.z;
    float oz = a.x * b.y - b.x * a.y;
    out.x = ox;
    out.y = oy;
    out.z = oz;
}

void calCo(const Point& A, const Point& B, const Point& C, double d, double theta, double tau, Point& out) {
    calCoTrig(A, B, C, d, std::sin(PI - theta), std::cos(PI - theta), std::sin(tau), std::cos(tau), out);
}

void calCoTrig(const Point& A, const Point& B, const Point& C, double d, double sinA, double cosA, double sinT, double cosT,
               Point& out) {
    const double st = sinT, ct = cosT;
    Point cb(C.x - B.x, C.y - B.y, C.z - B.z);
    float lcb = static_cast<float>(cb.pabs());
    Point e(static_cast<float>(cb.x / static_cast<double>(lcb)), static_cast<float>(cb.y / static_cast<double>(lcb)),
            static_cast<float>(cb.z / static_cast<double>(lcb)));
    Point u(A.x - B.x, A.y - B.y, A.z - B.z);
    float ue = static_cast<float>(u ^ e);
    Point p(ue * e.x, ue * e.y, ue * e.z);
    Point w(u.x - p.x, u.y - p.y, u.z - p.z);
    float lw = static_cast<float>(w.pabs());
    Point n(static_cast<float>(w.x / static_cast<double>(lw)), static_cast<float>(w.y / static_cast<double>(lw)),
            static_cast<float>(w.z / static_cast<double>(lw)));
    Point m;
    cross(e, n, m);
    const double cp = cosA, sp = sinA;
    double a1 = d * cp, a2 = d * sp * ct, a3 = d * sp * st;
    float ox = C.x + static_cast<float>(a1 * e.x);
    ox += static_cast<float>(a2 * n.x);
    ox += static_cast<float>(a3 * m.x);
    float oy = C.y + static_cast<float>(a1 * e.y);
    oy += static_cast<float>(a2 * n.y);
    oy += static_cast<float>(a3 * m.y);
    float oz = C.z + static_cast<float>(a1 * e.z);
    oz += static_cast<float>(a2 * n.z);
    oz += static_cast<float>(a3 * m.z);
    out.x = ox;
    out.y = oy;
    out.z = oz;
}

}  // namespace lorvane
