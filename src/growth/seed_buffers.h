#pragma once
// Per-seed tables of the sampler, created by production for MAXLOOP seeds
// and kept until exit. Flat storage with row accessors; all rows of one seed
// are written by the one thread that owns that seed.
#include <cstdint>
#include <vector>

#include "growth/smc.h"

namespace lorvane {

// AtomC is sized by the loop's own number of growth steps (n - 2 for a loop of
// n + 1 residues), not by a fixed 15 per generation buffer: 15 is too few for
// loops of more than 17 residues.
extern int numGrowSteps;               // steps of the plan; sizes the per-step tables
extern std::vector<double> enSelection;  // MAXLOOP * 100
extern std::vector<Point> AtomC;         // MAXLOOP * 2 * numGrowSteps * 375
extern std::vector<Point> unfBB;         // MAXLOOP * 100 * 4
extern std::vector<float> tempResD;      // MAXLOOP * 100 * 19
extern std::vector<float> dtempscRotE;   // MAXLOOP * 100 * 108
extern std::vector<int16_t> sctmp1;      // MAXLOOP * 100 * 25 * 2
extern std::vector<float> dsctmp2;       // MAXLOOP * 100 * 25
extern std::vector<float> tempFrag, tempFrag2;        // 22 * MAXLOOP * 11
extern std::vector<int16_t> scRot, scRot2;            // 22 * MAXLOOP * 25
extern std::vector<float> dscRotE;                    // 22 * MAXLOOP * 25
extern std::vector<float> scEWithRest, scEWithRest2;  // 22 * MAXLOOP * 108
extern std::vector<float> rmsdWithin;                 // MAXLOOP * 100 * 100

// Sizes every table above for MAXLOOP seeds and the given number of growth
// steps (1..MAX_PLAN); contents zero, enSelection 12345.
void allocateSeedBuffers(int maxLoop, int steps);

inline float* childRecord(int seed, int child) { return &tempResD[(static_cast<size_t>(seed) * CHILDREN + child) * CHILD_FIELDS]; }
inline float* childRotE(int seed, int child) { return &dtempscRotE[(static_cast<size_t>(seed) * CHILDREN + child) * 108]; }
inline int16_t* childStates(int seed, int child) { return &sctmp1[(static_cast<size_t>(seed) * CHILDREN + child) * SC_STATES * 2]; }
inline float* childStateE(int seed, int child) { return &dsctmp2[(static_cast<size_t>(seed) * CHILDREN + child) * SC_STATES]; }
inline float* pathRecord(std::vector<float>& t, int step, int seed) { return &t[(static_cast<size_t>(step) * MAXLOOP + seed) * PATH_FIELDS]; }
inline int16_t* pathRot(std::vector<int16_t>& t, int step, int seed) { return &t[(static_cast<size_t>(step) * MAXLOOP + seed) * SC_STATES]; }
inline float* pathStateE(int step, int seed) { return &dscRotE[(static_cast<size_t>(step) * MAXLOOP + seed) * SC_STATES]; }
inline float* pathRestE(std::vector<float>& t, int step, int seed) { return &t[(static_cast<size_t>(step) * MAXLOOP + seed) * 108]; }
inline float* siblingDist(int seed, int j) { return &rmsdWithin[(static_cast<size_t>(seed) * CHILDREN + j) * CHILDREN]; }
// Stored points of (generation buffer, step, seed): 0-5 backbone unit, 15*t+6.. side-chain state t.
inline Point* atomC(int buffer, int step, int seed) {
    return &AtomC[((static_cast<size_t>(seed) * 2 + buffer) * numGrowSteps + step) * ATOMC_POINTS];
}
inline Point* unfBBAt(int id) { return &unfBB[static_cast<size_t>(id) * 4]; }

}  // namespace lorvane
