#pragma once
// Random draws of the sampler. All come from the C library's rand, seeded
// once by the driver.
#include <vector>

namespace lorvane {

constexpr double RAND_SCALE = 2147483647.0;

// Normal deviates by the polar method. The method yields deviates in pairs;
// the second waits in the object for the next draw, so each growth thread
// keeps its own (in its workspace) and never interleaves with another's.
class NormalDeviates {
public:
    double draw(double mean, double sd);

private:
    bool haveStored_ = false;
    float stored_ = 0.0f;
};

// Gumbel-key ordering of weights below 200: the first n indices by ascending
// perturbed weight (w is perturbed in place).
void SampleEWR(std::vector<double>& w, int n, int* out);

}  // namespace lorvane
