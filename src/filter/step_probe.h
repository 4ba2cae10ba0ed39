#pragma once
// Observation points of the sampler for measuring tools (bench/): after each
// growth step, after each selection, and for each loop written. The program
// itself installs no probe; with none installed nothing is reported and
// nothing changes.
#include <vector>

struct StepProbe {
    virtual ~StepProbe() = default;
    // Growth step `step` ran over `seeds` live seeds; `deadEnds` of them had no
    // feasible child (after the retry, when one ran).
    virtual void grown(int step, int seeds, int deadEnds) {}
    // Selection after growth step `step`: dev[id] is each child's deviation from
    // the native (12345 when the child was not scored), ranked the children
    // the ranking considered (rank order), kept the ids committed as the next
    // population, in commit order (at the last step: the order loops are tried).
    virtual void selected(int step, bool finalStep, const std::vector<double>& dev, const std::vector<int>& ranked,
                          const std::vector<int>& kept) {}
    // At the last step: child id became written loop number w (from 1).
    virtual void written(int id, int w) {}
};

// The installed probe, or null (the default).
extern StepProbe* stepProbe;
