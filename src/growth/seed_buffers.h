#pragma once
// Per-seed tables of one sampling run, sized for the population and the
// loop's growth steps. Flat storage with row accessors; all rows of one seed
// are written by the one thread that owns that seed.
#include <cstdint>
#include <string>
#include <vector>

#include "model/geometry.h"
#include "growth/plan.h"
#include "potentials/potentials.h"

namespace lorvane {

constexpr int CHILDREN = 100;      // children per seed
constexpr int CHILD_FIELDS = 19;   // floats per child record
constexpr int PATH_FIELDS = 11;    // floats of a child record kept per committed step
constexpr int SC_STATES = 25;      // side-chain states per seed
constexpr int ATOMC_POINTS = 375;  // stored points per (buffer, step, seed): 0-5 backbone unit, 15 t + 6.. side-chain state t

// Fields of a child record (tempResD) and of a path record (tempFrag, its first 11).
enum ChildField {
    REC_PHI = 0, REC_PSI = 1, REC_OMEGA = 2, REC_TAU = 4, REC_WEIGHT = 5, REC_LN_PBB = 6, REC_SC_BELOW = 7, REC_LN_PDIST = 8,
    REC_ENERGY = 9, REC_ONE = 10, REC_CLOSURE = 11  // 11..18: phi, psi, omega, theta of closure residues c and c+1
};

class SeedBuffers {
public:
    int capacity = 0;  // seeds (MAXLOOP)
    int steps = 0;     // growth steps of the plan; sizes the per-step tables

    std::vector<double> enSelection;  // capacity * 100: best side-chain combination energy per child
    std::vector<Point> AtomC;         // capacity * 2 * steps * 375: stored points, two generations
    std::vector<Point> unfBB;         // capacity * 100 * 4: backbone unit of each child
    std::vector<float> tempResD;      // capacity * 100 * 19: child records
    std::vector<float> dtempscRotE;   // capacity * 100 * 108: rotamer energies of each child
    std::vector<int16_t> sctmp1;      // capacity * 100 * 25 * 2: side-chain states of each child (parent state, rotamer)
    std::vector<float> dsctmp2;       // capacity * 100 * 25: their energies
    std::vector<float> tempFrag, tempFrag2;        // 22 * capacity * 11: path records (now and of the parents)
    std::vector<float> dscRotE;                    // 22 * capacity * 25: state energies per step
    std::vector<float> scEWithRest, scEWithRest2;  // 22 * capacity * 108: rotamer energies per step
    std::vector<float> rmsdWithin;                 // capacity * 100 * 100: squared deviations between siblings

    // Sizes every table for maxLoop seeds and the given number of growth
    // steps (1..MAX_PLAN); contents zero, enSelection REJECTED.
    void allocate(int maxLoop, int numSteps);
    // Bytes allocate(maxLoop, numSteps) takes (exact, without the vectors' own headers).
    static double bytesFor(int maxLoop, int numSteps);

    float* childRecord(int seed, int child) { return &tempResD[(static_cast<size_t>(seed) * CHILDREN + child) * CHILD_FIELDS]; }
    float* childRotE(int seed, int child) { return &dtempscRotE[(static_cast<size_t>(seed) * CHILDREN + child) * MAX_ROTAMERS]; }
    int16_t* childStates(int seed, int child) { return &sctmp1[(static_cast<size_t>(seed) * CHILDREN + child) * SC_STATES * 2]; }
    float* childStateE(int seed, int child) { return &dsctmp2[(static_cast<size_t>(seed) * CHILDREN + child) * SC_STATES]; }
    float* pathRecord(std::vector<float>& t, int step, int seed) { return &t[(static_cast<size_t>(step) * capacity + seed) * PATH_FIELDS]; }
    const float* pathRecord(const std::vector<float>& t, int step, int seed) const {
        return &t[(static_cast<size_t>(step) * capacity + seed) * PATH_FIELDS];
    }
    float* pathStateE(int step, int seed) { return &dscRotE[(static_cast<size_t>(step) * capacity + seed) * SC_STATES]; }
    float* pathRestE(std::vector<float>& t, int step, int seed) { return &t[(static_cast<size_t>(step) * capacity + seed) * MAX_ROTAMERS]; }
    float* siblingDist(int seed, int j) { return &rmsdWithin[(static_cast<size_t>(seed) * CHILDREN + j) * CHILDREN]; }
    Point* atomC(int buffer, int step, int seed) {
        return &AtomC[((static_cast<size_t>(seed) * 2 + buffer) * steps + step) * ATOMC_POINTS];
    }
    Point* unfBBAt(int id) { return &unfBB[static_cast<size_t>(id) * 4]; }
};

// Bytes a run may use: the machine's physical memory, or the limit of the
// control group or address space the process runs in when that is lower.
double memoryLimitBytes();
// "812 GiB", "3.4 MiB": a byte count in binary units, three significant digits.
std::string formatBytes(double bytes);

}  // namespace lorvane
