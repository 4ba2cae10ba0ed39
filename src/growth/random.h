#pragma once
// Random draws of the sampler. Every draw comes from a counter-based stream:
// draw n of a stream is a fixed function of the stream's key and n, so a
// stream gives the same numbers on whichever thread runs it. Each unit of
// parallel work (one seed in one growth or filter pass) draws from its own
// stream, keyed by the run's seed (-rs), the pass and the seed index; what
// the main thread draws comes from one stream of its own, in program order.
// The result of a run therefore does not depend on the number of threads.
#include <cstdint>
#include <vector>

namespace lorvane {

// What a stream draws for (part of its key).
enum class StreamKind : uint64_t { Main = 1, Growth = 2, Filter = 3, Refine = 4 };

// Key of a stream: the run's seed, what the stream draws for, the pass and
// the index of the unit of work (seed) within the pass.
uint64_t streamKey(int64_t runSeed, StreamKind kind, uint64_t pass, uint64_t index);

class RandomStream {
public:
    explicit RandomStream(uint64_t key = 0) { reset(key); }
    // Starts the stream of another key from its first draw.
    void reset(uint64_t key) {
        key_ = key;
        counter_ = 0;
        haveStored_ = false;
    }
    // 64 random bits: SplitMix64's output function of key + counter * gamma.
    uint64_t bits();
    // Uniform in (0, 1), never 0 or 1 (53 bits).
    double uniform();
    // Uniform integer in [0, n), n >= 1.
    int below(int n);
    // Normal deviate by the polar method. The method yields deviates in
    // pairs; the second waits in the stream for its next normal draw.
    double normal(double mean, double sd);

private:
    uint64_t key_ = 0, counter_ = 0;
    bool haveStored_ = false;
    double stored_ = 0.0;
};

// Gumbel-key ordering of weights below 200: the first n indices by ascending
// perturbed weight (w is perturbed in place).
void SampleEWR(std::vector<double>& w, int n, int* out, RandomStream& random);

}  // namespace lorvane
