#include "model/deviation.h"

#include <cmath>

namespace lorvane {

namespace {

double sq(const Point& a, const Point& b) {
    const double dx = static_cast<double>(a.x) - b.x, dy = static_cast<double>(a.y) - b.y, dz = static_cast<double>(a.z) - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// Squared deviations of the backbone atoms grown between from and to: C, O of
// from; N, CA, C, O of every residue in between; N, CA of to. Adds the number
// of atom pairs to count. An empty range (to <= from) adds nothing.
double segmentSum(const Structure& A, const Structure& B, int from, int to, int& count) {
    if (to <= from) return 0.0;
    double sum = sq(A[from].atoms[2], B[from].atoms[2]) + sq(A[from].atoms[3], B[from].atoms[3]);
    for (int i = from + 1; i < to; ++i)
        for (int k = 0; k < 4; ++k) sum += sq(A[i].atoms[k], B[i].atoms[k]);
    sum += sq(A[to].atoms[0], B[to].atoms[0]) + sq(A[to].atoms[1], B[to].atoms[1]);
    count += 4 * (to - from);
    return sum;
}

int floorDiv2(int k) { return k >= 0 ? k / 2 : -((-k + 1) / 2); }

}  // namespace

double rmsdg(const Structure& A, const Structure& B, int from, int to) {
    int count = 0;
    const double sum = segmentSum(A, B, from, to, count);
    return count > 0 ? std::sqrt(sum / count) : 0.0;
}

double rmsdcut(const Structure& A, const Structure& B, int start, int end, int k) {
    int count = 0;
    double sum = segmentSum(A, B, start, start + 1 + floorDiv2(k), count);
    sum += segmentSum(A, B, end - floorDiv2(k + 1), end, count);
    return count > 0 ? std::sqrt(sum / count) : 0.0;
}

}  // namespace lorvane
