#pragma once
// Selection routines of the filter: ranking of the scored candidates of a
// growth step, choice of a candidate's side-chain states, and the orderings
// behind the diagnostic reports. None of the sorts is stable: the order
// among equal values is not defined.
#include <cstdint>
#include <vector>

#include "growth/protocol.h"

namespace lorvane {

struct sortdata {
    double value;
    int64_t index;
};
inline bool by_number(const sortdata& a, const sortdata& b) { return a.value < b.value; }

struct rank2data {
    double num1, num2, num3, num4, num5, num6;
    int64_t index;
};
inline bool by_num5(const rank2data& a, const rank2data& b) { return a.num5 < b.num5; }

// Keeps i with a[i] < min(a) + cut and b[i] < min(b) + widthB, ordered by
// ascending (a[i] + b[i]) + w * 10 * c[i]; writes the indices to out and
// returns their number.
int WeightZ(const std::vector<float>& a, const std::vector<float>& b, const std::vector<float>& c, int* out, double cut, double widthB,
            double w);

// WeightZ's windows, ordered by ascending sideChain a[i] + pair b[i] +
// torsion w c[i] + distance d[i] (in double precision).
int WeightStep(const std::vector<float>& a, const std::vector<float>& b, const std::vector<float>& c, const std::vector<float>& d, int* out,
               double cut, double widthB, const StepWeights& weights, double w);

// The n lowest of v[0..count) (values above 200 count as 10000); ascending
// when sorted is set, otherwise in no particular order (index order when
// n >= count). scratch is a reusable buffer (called once per candidate).
void SampleEWRS(const std::vector<double>& v, int n, int* out, int count, bool sorted, std::vector<sortdata>& scratch);

// Ascending order of v (values above 200 count as REJECTED); with p entries at
// or below cut, writes min(p - 1, n) indices and returns that count (-1 when
// none is within the cut).
int SampleEWRT(const std::vector<double>& v, int n, double cut, int* out);

// The indices of the (up to) 100 smallest entries of v, ascending.
void checkRMSD(const std::vector<double>& v, int* out);

}  // namespace lorvane
