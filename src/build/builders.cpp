#include "build/builders.h"

#include <cmath>


namespace lorvane {

namespace {

// (cos, sin) of pi minus the fixed angles the builders use directly:
// the N-C=O angle 2.145 rad of calCoCAOR and the CB dihedral 2.138900998319049 rad (122.55 deg).
constexpr double COS_PI_MINUS_NCO = 0.5431663;
constexpr double SIN_PI_MINUS_NCO = 0.8396251;
constexpr double COS_CB_DIHEDRAL = -0.5380354;  // cos(2.138900998319049) = -cos(pi - it)
constexpr double SIN_CB_DIHEDRAL = 0.8429222;

// Reference frame at C, built once per call and reused for every torsion.
struct Frame {
    double c[3];
    double u[3];  // along B->C
    double p[3];  // in the plane A, B, C, perpendicular to u, towards A
    double n[3];  // u x p
};

Frame makeFrame(const Point& A, const Point& B, const Point& C, double lenBC) {
    Frame f;
    f.c[0] = C.x;
    f.c[1] = C.y;
    f.c[2] = C.z;
    double inv = 1.0 / lenBC;
    f.u[0] = (static_cast<double>(C.x) - B.x) * inv;
    f.u[1] = (static_cast<double>(C.y) - B.y) * inv;
    f.u[2] = (static_cast<double>(C.z) - B.z) * inv;
    double a[3] = {static_cast<double>(A.x) - B.x, static_cast<double>(A.y) - B.y, static_cast<double>(A.z) - B.z};
    double au = a[0] * f.u[0] + a[1] * f.u[1] + a[2] * f.u[2];
    double w[3] = {a[0] - au * f.u[0], a[1] - au * f.u[1], a[2] - au * f.u[2]};
    double lw = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    for (int d = 0; d < 3; ++d) f.p[d] = w[d] / lw;
    f.n[0] = f.u[1] * f.p[2] - f.u[2] * f.p[1];
    f.n[1] = f.u[2] * f.p[0] - f.u[0] * f.p[2];
    f.n[2] = f.u[0] * f.p[1] - f.u[1] * f.p[0];
    return f;
}

// D = C + L*(cb*u + sb*(ct*p + st*n)); (sb, cb) belong to pi - theta, (st, ct) to the dihedral.
inline Point place(const Frame& f, double L, double sb, double cb, double st, double ct) {
    double along = L * cb;
    double radial = L * sb;
    double kp = radial * ct, kn = radial * st;
    return Point(static_cast<float>(f.c[0] + along * f.u[0] + kp * f.p[0] + kn * f.n[0]),
                 static_cast<float>(f.c[1] + along * f.u[1] + kp * f.p[1] + kn * f.n[1]),
                 static_cast<float>(f.c[2] + along * f.u[2] + kp * f.p[2] + kn * f.n[2]));
}

inline int validStep(int step) { return step < 1 ? 1 : step; }

// One atom for every torsion bin k = 0, s, 2s, ... < 72.
void placeSet(const Templates& t, const Frame& f, double L, int angleSlot, Point* out, int step) {
    const double sb = t.sinCosBond[angleSlot][0];
    const double cb = t.sinCosBond[angleSlot][1];
    for (int k = 0; k < NUM_BINS; k += validStep(step)) out[k] = place(f, L, sb, cb, t.sinCosTorsion[k][0], t.sinCosTorsion[k][1]);
}

// The same with the bond angle theta (radians) given instead of a template slot.
void placeSetAngle(const Templates& t, const Frame& f, double L, double theta, Point* out, int step) {
    const double sb = std::sin(PI - theta), cb = std::cos(PI - theta);
    for (int k = 0; k < NUM_BINS; k += validStep(step)) out[k] = place(f, L, sb, cb, t.sinCosTorsion[k][0], t.sinCosTorsion[k][1]);
}

double measured(const Point& B, const Point& C) {
    double dx = static_cast<double>(C.x) - B.x, dy = static_cast<double>(C.y) - B.y, dz = static_cast<double>(C.z) - B.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

void calCoCSet(const Templates& t, const Point& A, const Point& B, const Point& C, Point* out, int step) {
    // N(i)-CA(i) may come from an input structure: use its real length.
    Frame f = makeFrame(A, B, C, measured(B, C));
    placeSet(t, f, t.bondLength[0][2], 2, out, step);
}

void calCoCSetAngle(const Templates& t, const Point& A, const Point& B, const Point& C, double theta, Point* out, int step) {
    Frame f = makeFrame(A, B, C, measured(B, C));
    placeSetAngle(t, f, t.bondLength[0][2], theta, out, step);
}

void calCoCSetR(const Templates& t, const Point& A, const Point& B, const Point& C, Point* out, int step) {
    Frame f = makeFrame(A, B, C, t.bondLength[0][1]);  // CA(i)->N(i)
    placeSet(t, f, t.bondLength[0][0], 1, out, step);
}

void calCoNSet(const Templates& t, const Point& A, const Point& B, const Point& C, Point* out, int step) {
    Frame f = makeFrame(A, B, C, t.bondLength[0][2]);  // CA(i)->C(i)
    placeSet(t, f, t.bondLength[0][0], 0, out, step);
}

void calCoNSetR(const Templates& t, const Point& A, const Point& B, const Point& C, Point* out, int step) {
    Frame f = makeFrame(A, B, C, t.bondLength[0][2]);  // C(i)->CA(i)
    placeSet(t, f, t.bondLength[0][1], 2, out, step);
}

void calCoNSetRAngle(const Templates& t, const Point& A, const Point& B, const Point& C, double theta, Point* out, int step) {
    Frame f = makeFrame(A, B, C, t.bondLength[0][2]);  // C(i)->CA(i)
    placeSetAngle(t, f, t.bondLength[0][1], theta, out, step);
}

void calCoONSet(const Templates& t, const Point& A, const Point& B, const Point& C, Point* outN, Point* outO, int step) {
    Frame f = makeFrame(A, B, C, t.bondLength[0][2]);  // CA(i)->C(i)
    const double sbN = t.sinCosBond[0][0], cbN = t.sinCosBond[0][1];
    const double sbO = t.sinCosBond[3][0], cbO = t.sinCosBond[3][1];
    for (int k = 0; k < NUM_BINS; k += validStep(step)) {
        outN[k] = place(f, t.bondLength[0][0], sbN, cbN, t.sinCosTorsion[k][0], t.sinCosTorsion[k][1]);
        // O lies opposite N(i+1): psi + 180 deg is bin k + 36 (the table runs to 107 for this).
        outO[k] = place(f, t.bondLength[0][3], sbO, cbO, t.sinCosTorsion[k + 36][0], t.sinCosTorsion[k + 36][1]);
    }
}

Point calCoCA(const Templates& t, const Point& A, const Point& B, const Point& C) {
    Frame f = makeFrame(A, B, C, t.bondLength[0][0]);  // C(i)->N(i+1)
    return place(f, t.bondLength[0][1], t.sinCosBond[1][0], t.sinCosBond[1][1], 0.0, -1.0);
}

Point calCoCA0(const Templates& t, const Point& A, const Point& B, const Point& C) {
    Frame f = makeFrame(A, B, C, t.bondLength[0][0]);
    return place(f, t.bondLength[0][1], t.sinCosBond[1][0], t.sinCosBond[1][1], 0.0, 1.0);
}

void calCoCAOR(const Templates& t, const Point& A, const Point& B, const Point& C, Point& outCA, Point& outO) {
    Frame f = makeFrame(A, B, C, t.bondLength[0][0]);  // N(i)->C(i-1)
    outCA = place(f, t.bondLength[0][2], t.sinCosBond[0][0], t.sinCosBond[0][1], 0.0, -1.0);
    outO = place(f, t.bondLength[0][3], SIN_PI_MINUS_NCO, COS_PI_MINUS_NCO, 0.0, 1.0);
}

void calBBCoNextAngles(const Templates& t, const Point& prevC, const Point& N, const Point& CA, const float* tauDeg, Point* out) {
    const Frame f = makeFrame(prevC, N, CA, measured(N, CA));
    const double sbN = t.sinCosBond[0][0], cbN = t.sinCosBond[0][1];
    const double sbO = t.sinCosBond[3][0], cbO = t.sinCosBond[3][1];
    for (int k = 0; k < NUM_BINS; ++k)
        for (int j = 0; j < NUM_BINS; ++j) {
            const double theta = tauDeg[NUM_BINS * k + j] * DEG2RAD;
            const Point C = place(f, t.bondLength[0][2], std::sin(PI - theta), std::cos(PI - theta), t.sinCosTorsion[k][0], t.sinCosTorsion[k][1]);
            const Frame g = makeFrame(N, CA, C, t.bondLength[0][2]);
            Point* cand = out + (static_cast<size_t>(NUM_BINS) * j + k) * BB_CAND_SLOTS;
            cand[0] = place(g, t.bondLength[0][0], sbN, cbN, t.sinCosTorsion[j][0], t.sinCosTorsion[j][1]);
            cand[2] = C;
            cand[3] = place(g, t.bondLength[0][3], sbO, cbO, t.sinCosTorsion[j + 36][0], t.sinCosTorsion[j + 36][1]);
            cand[5] = calCoCB(t, N, C, CA);
        }
}

void calBBCoNextAnglesR(const Templates& t, const Point& nextN, const Point& C, const Point& CA, const float* tauDeg, Point* out) {
    const Frame f = makeFrame(nextN, C, CA, t.bondLength[0][2]);  // C(i)->CA(i)
    const double sbC = t.sinCosBond[1][0], cbC = t.sinCosBond[1][1];
    for (int j = 0; j < NUM_BINS; ++j)
        for (int k = 0; k < NUM_BINS; ++k) {
            const double theta = tauDeg[NUM_BINS * k + j] * DEG2RAD;
            const Point N = place(f, t.bondLength[0][1], std::sin(PI - theta), std::cos(PI - theta), t.sinCosTorsion[j][0], t.sinCosTorsion[j][1]);
            const Frame g = makeFrame(C, CA, N, t.bondLength[0][1]);  // CA(i)->N(i)
            Point* cand = out + (static_cast<size_t>(NUM_BINS) * j + k) * BB_CAND_SLOTS;
            cand[0] = N;
            cand[2] = place(g, t.bondLength[0][0], sbC, cbC, t.sinCosTorsion[k][0], t.sinCosTorsion[k][1]);
            cand[5] = calCoCB(t, N, C, CA);
        }
}

Point calCoCB(const Templates& t, const Point& N, const Point& C, const Point& CA) {
    Frame f = makeFrame(N, C, CA, t.bondLength[0][2]);  // C(i)->CA(i)
    return place(f, t.bondLength[0][5], t.sinCosBond[5][0], t.sinCosBond[5][1], SIN_CB_DIHEDRAL, COS_CB_DIHEDRAL);
}

}  // namespace lorvane
