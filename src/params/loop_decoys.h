#pragma once
// Perturbed-dihedral decoys of training loops, shared by the tables that are
// fitted on native-versus-decoy statistics (fittedE.txt, QUENDA_ed4_8_V3.txt).
//
// Loops: maximal runs of minLen..maxLen DSSP-coil residues of training
// chains, with a residue on each side, no chain break from the residue before
// the run to the one after it, backbone heavy atoms N CA C O present on all
// of those and CB on every non-glycine loop residue; chains of at most 1500
// residues. The same number of loops is taken for every length, evenly
// spaced through the candidates in file order (deterministic).
//
// Decoys of a loop start..end (chain positions; the frame, including N and
// CA of start and CA, C, O of end, never moves): residues start..end-3 are
// grown one at a time with new (phi, psi) by the model's builder
// calBBCo (template bond lengths, the native N-CA-C angle and
// omega); a draw that leaves CA(end) out of reach of the residues still to
// come (more than 3.7 A per residue, or outside 4.0..7.2 A for the last one)
// is drawn again, up to 30 times. The last three residues are then closed
// onto the fixed CA and C of end with the analytic tripeptide solver (native
// bond lengths, angles and the two omegas of those residues); every closure
// solution is one decoy. Carbonyl O of the closure residues follows from
// their new psi, CB from the template geometry, and the side chains are
// rebuilt from the native chi angles (near-native decoys carry near-native
// side chains, far ones the same rotamers misplaced); a residue whose native
// chi angles are not all defined keeps only its backbone and CB. A decoy is
// handed on only when every loop residue's (phi, psi) lies in an allowed
// cell (Rama::allowed).
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "model/structure.h"
#include "params/training_set.h"

namespace lorvane::params {

constexpr int kRamaCells = 36;         // 10-degree cells
constexpr double kRamaAllowed = 0.05;  // fraction of the uniform share

// Torsion classes of the cell statistics and the coil pools: 0 other, 1 glycine, 2 proline.
int ramaClass(int type);

// (phi, psi) statistics of the training set by class: a 10 x 10 degree cell is
// allowed when it holds at least 1/20 of the uniform share of its class (the
// conformations a torsion score keeps), and the pool of coil pairs to resample from.
struct Rama {
    std::vector<double> hist[3];  // weighted counts per cell
    double total[3] = {0, 0, 0};
    std::vector<std::pair<float, float>> coil[3];  // coil (phi, psi) pool per class
    bool allowed(int cls, double phi, double psi) const;
};
Rama buildRama(const TrainingSet& ts);

struct LoopSite {
    int chain;        // index into the training set
    int first, last;  // residue indices of the loop in the chain (0-based)
};

// Whether residues a..b of the chain form a usable loop (see above).
bool usableLoop(const TrainChain& ch, int a, int b);
// `target` loops spread evenly over the lengths minLen..maxLen; prints one
// line, prefixed with tag, on what was usable and taken.
std::vector<LoopSite> selectLoops(const TrainingSet& ts, int target, int minLen, int maxLen, const std::string& tag);

// The chain as a Structure (positions 1..n), heavy atoms as read.
Structure chainStructure(const Templates& t, const TrainChain& ch);

// One kind of draw: Gaussian noise of sd degrees around the native (phi, psi)
// (a noisy pair outside the allowed cells drawn again), or each residue's pair
// replaced with probability `resample` by a random coil pair of its class; sd
// 0 and resample 0 is the native angles.
struct DecoyKind {
    double sd;
    double resample;
    int attempts;
};

// The draws of the fittedE table: the native angles once; noise of sd 4, 8,
// 12 degrees (300 attempts each) and 20, 30, 45, 60, 90, 120 degrees (1500
// each); resampling with probability 0.5 and 1 (3000 each).
std::vector<DecoyKind> standardKinds();

struct DecoyStats {
    int made = 0;             // closed decoys
    int ramaRejected = 0;     // of those, outside the allowed cells
    int closureFailures = 0;  // attempts that could not be grown or closed
};

// Makes the decoys of one loop: for every closed decoy in the allowed cells,
// take(decoy, native, start, end) is called with the decoy in a copy of the
// chain (positions 1..n; native is the chain as read). wantMore() is asked
// before every attempt; the kinds are tried in order. Random numbers: a 64-bit
// Mersenne twister seeded with `seed`, so that results do not depend on which
// thread makes which loop.
DecoyStats makeLoopDecoys(const Templates& t, const TrainChain& ch, const LoopSite& site, const Rama& rama, uint64_t seed, const std::vector<DecoyKind>& kinds,
                          const std::function<bool()>& wantMore,
                          const std::function<void(Structure& decoy, Structure& native, int start, int end)>& take);

// The native loop treated as the decoys are: CB of every non-glycine loop
// residue from the template geometry, side chains rebuilt from the native chi
// angles (backbone and CB only where a chi is undefined). Positions as above.
Structure nativeWithRebuiltSideChains(const Templates& t, const TrainChain& ch, const LoopSite& site);

}  // namespace lorvane::params
