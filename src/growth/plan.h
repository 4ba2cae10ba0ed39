#pragma once
// The growth plan of a loop: which residue each growth step places, from
// which side, towards which far position, and where the three residues
// closed analytically at the last step sit.
#include "model/structure.h"

namespace lorvane {

constexpr int MAX_PLAN = 22;    // plan slots; loops of at most 22 residues
constexpr int MIN_LOOP_N = 3;   // n = loopEnd - loopStart: at least 4 residues (the closure tripeptide and one grown)
constexpr int MAX_LOOP_N = 21;  // at most 22 residues: plan slots and distance tables end there

enum GrowMode { GROW_FORWARD = 0, GROW_ALTERNATING = 1, GROW_BACKWARD = 2 };

struct GrowthPlan {
    // Slots 0..n-3 are growth steps, slots n-2..n the closure residues c, c+1, c+2.
    int order[MAX_PLAN] = {};      // residue placed
    bool backward[MAX_PLAN] = {};  // grown from the end anchor towards the start
    int farPos[MAX_PLAN] = {};     // far position the step must still reach (-1 for closure slots)
    int closure = -1;              // c, the first closure residue
    int steps = 0;                 // growth steps, n - 2; the last one closes the loop
};

// Plan of a loop loopStart..loopEnd (n = loopEnd - loopStart, 3..21); growMode
// GROW_FORWARD, GROW_BACKWARD, anything else alternating (from the start first).
GrowthPlan makeGrowthPlan(int growMode, int loopStart, int loopEnd);
// Stops (status 1) unless positions loopStart..loopEnd of s form a loop the
// sampler can grow: 4..22 residues with a fixed residue on each side.
void checkLoopBounds(const Structure& s, int loopStart, int loopEnd);

}  // namespace lorvane
