#pragma once
// Observation points of the sampler for measuring tools (bench/): after each
// growth step, after each selection, and for each loop written. The program
// itself installs no probe (FilterState::probe); with none installed nothing is reported and
// nothing changes.
#include <vector>

#include "filter/diverse_selection.h"

namespace lorvane {

struct StepProbe {
    virtual ~StepProbe() = default;
    // Growth step `step` placed residue pos (backward: growing towards the
    // start) over `seeds` live seeds; `deadEnds` of them had no feasible child
    // (after the retry, when one ran).
    virtual void grown(int /*step*/, int /*pos*/, bool /*backward*/, int /*seeds*/, int /*deadEnds*/) {}
    // Selection after growth step `step`: dev[id] is each child's deviation from
    // the native (12345 when the child was not scored), ranked the children
    // the ranking considered (rank order), kept the ids committed as the next
    // population, in commit order (at the last step: the order loops are tried);
    // diverse the figures of the diverse selection (null when it is off).
    virtual void selected(int /*step*/, bool /*finalStep*/, const std::vector<double>& /*dev*/, const std::vector<int>& /*ranked*/,
                          const std::vector<int>& /*kept*/, const DiverseResult* /*diverse*/) {}
    // At the last step: child id became written loop number w (from 1).
    virtual void written(int /*id*/, int /*w*/) {}
    // Whether the selection after step `step` should also hand over the kept
    // children's loop backbones (keptBackbone); costs a copy per child.
    virtual bool wantsBackbone(int /*step*/) const { return false; }
    // The kept children after step `step`, in commit order: backbone holds per
    // child id N, CA, C, O of every loop residue (x, y, z each; atoms not
    // placed yet hold whatever the working structure has there), energy the
    // step's torsion (1), distance (3), pair (5) and side-chain (6) terms.
    virtual void keptBackbone(int /*step*/, const std::vector<int>& /*kept*/, const std::vector<float>& /*backbone*/,
                              const std::vector<float>* /*energy*/) {}
};

}  // namespace lorvane
