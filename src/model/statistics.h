#pragma once
// Robust normalisation and summary statistics of scores: the ranking's z and
// the choice of the written loops use the same rule.
#include <vector>

namespace lorvane {

// Replaces every value v by (v - median) / MAD, MAD being the median of
// |v - median| (the mean of the two middle values for an even count). When
// the MAD is zero (more than half the values equal) every value becomes 0.
void vMedMAD(std::vector<double>& v);
// Mean and sample standard deviation (divisor n - 1). Empty: both NaN; one value: sd NaN.
void vMeanSd(const std::vector<double>& v, double& mean, double& sd);
// Median by the rule above (NaN for an empty vector).
double vMedian(std::vector<double> v);
// The MAD of that rule, median of |v - median| (NaN for an empty vector).
double vMAD(const std::vector<double>& v);

}  // namespace lorvane
