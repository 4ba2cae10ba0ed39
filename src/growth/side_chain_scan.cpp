// Side chains of the growing residue, rotamer by rotamer, one candidate row
// at a time: chi levels shared by consecutive rotamers are scored once, and a
// rotamer too costly on one row is vetoed on the rows next to it.
#include <algorithm>
#include <cmath>

#include "build/side_chain.h"
#include "growth/sampler.h"
#include "growth/step_math.h"

namespace lorvane {

void GrowOne::df_scf(Residue& res, std::vector<float>& scEnergy, int row, const std::vector<std::array<Point, 5>>& cand, bool backward,
                     const std::vector<uint8_t>& valid) {
    int ks[NUM_BINS];
    int nk = 0;
    for (int i = 0; i < NUM_BINS; ++i) {
        const int k = backward ? NUM_BINS * i + row : NUM_BINS * row + i;
        if (valid[k]) ks[nk++] = k;
    }
    if (nk == 0) return;
    const int type = res.type;
    const int numRot = numRot_;
    // Every candidate of the row shares the atoms the side chain hangs on.
    const std::array<Point, 5>& first = cand[ks[0]];
    res.atoms[SLOT_CB] = first[4];
    if (backward)
        res.atoms[SLOT_N] = first[0];
    else
        res.atoms[SLOT_C] = first[2];

    // The row candidates' own atoms the side chain must not hit.
    int nTest = 3;
    int testIdx[3], testType[3];
    if (!backward) {
        testIdx[0] = 0, testType[0] = nextType[0];  // N(pos+1)
        testIdx[1] = 1, testType[1] = nextType[1];  // CA(pos+1)
        testIdx[2] = 3, testType[2] = nextType[3];  // O(pos)
    } else {
        testIdx[0] = 1, testType[0] = nextType[1];  // CA(pos-1)
        testIdx[1] = 3, testType[1] = nextType[3];  // O(pos-1)
        testIdx[2] = 2, testType[2] = nextType[2];  // C(pos-1)
        if (type == PRO) nTest = 2;
    }

    const int last = std::min(LAST_HEAVY_SLOT[type], 6 + MAX_SC_ATOMS - 1);
    const double farSkip = std::sqrt(pot.maxDis2) + 0.01;
    // Chi levels: level h holds the energy (and the candidates' clash flags)
    // of the side chain up to chi h; level 0 is the empty side chain.
    double levelE[6] = {0, 0, 0, 0, 0, 0};
    bool levelValid[6] = {true, false, false, false, false, false};
    float flags[6][NUM_BINS];
    std::fill(flags[0], flags[0] + nk, 0.0f);
    bool prevSkipped = false;

    auto veto = [&](int r) {
        for (int rr = std::max(0, row - 2); rr <= std::min(NUM_BINS - 1, row + 2); ++rr) rotamerVeto[rr][r] = 1;
    };
    auto setAll = [&](int r, float v) {
        for (int c = 0; c < nk; ++c) scEnergy[static_cast<size_t>(ks[c]) * numRot + r] = v;
    };

    for (int r = 0; r < numRot; ++r) {
        if (rotamerVeto[row][r]) {
            setAll(r, 201.0f);
            prevSkipped = true;
            for (int h = 1; h < 6; ++h) levelValid[h] = false;
            continue;
        }
        int h = 0;
        bool sharing = true;    // every chi so far was taken from the previous rotamer
        bool skipAtoms = false;  // atoms of a shared chi keep their places
        bool abandoned = false;
        for (int i = 6; i <= last; ++i) {
            double tor = tm.torsion[type][i];
            if (tor == FREE_CHI) {
                ++h;
                double chi = pot.rotamers.chi[type][r][h - 1];
                if (chi > 10.0 && r > 0 && !prevSkipped && sharing && levelValid[h]) {
                    skipAtoms = true;
                    if (levelE[h] > ENERGY_CUT) {
                        abandoned = true;
                        break;
                    }
                    continue;
                }
                sharing = false;
                skipAtoms = false;
                if (chi > 10.0) chi = pot.rotamers.resolved[type][r][h - 1];
                tor = chi;
                levelE[h] = levelE[h - 1];
                std::copy(flags[h - 1], flags[h - 1] + nk, flags[h]);
                levelValid[h] = true;
                for (int l = h + 1; l < 6; ++l) levelValid[l] = false;
            } else if (skipAtoms) {
                continue;
            }
            if (i == 6) tor = random.normal(tor, run.chi1SD);
            Point placed;
            placeSideChainAtom(tm, res, i, tor, placed);
            res.atoms[i] = placed;
            const int at = scType[i - 6];
            if (clashesWith(pot, adjEnv, placed, at)) {
                levelE[h] = REJECTED;
            } else {
                // The far shell (12-15 A from CA) is out of the cut-off of an atom close to CA.
                const bool farReach = std::sqrt(sqDist(placed, res.atoms[SLOT_CA])) + farSkip >= 12.0;
                levelE[h] += pairSum(nearEnv, placed, at) + pairSum(midEnv, placed, at) + (farReach ? pairSum(farEnv, placed, at) : 0.0);
            }
            if (levelE[h] <= ENERGY_CUT) {
                for (int c = 0; c < nk; ++c) {
                    if (flags[h][c] != 0.0f) continue;
                    const std::array<Point, 5>& ca = cand[ks[c]];
                    for (int t = 0; t < nTest; ++t)
                        if (static_cast<double>(sqDist(ca[testIdx[t]], placed)) < pot.ljClash[testType[t]][at]) {
                            flags[h][c] = static_cast<float>(REJECTED);
                            break;
                        }
                }
            } else {
                abandoned = true;
                break;
            }
        }
        prevSkipped = false;
        if (abandoned) {
            setAll(r, 201.0f);
            veto(r);
            continue;
        }
        const double e = levelE[h];
        if (e > ENERGY_CUT) veto(r);
        for (int c = 0; c < nk; ++c) scEnergy[static_cast<size_t>(ks[c]) * numRot + r] = static_cast<float>(flags[h][c] + e);
    }
}

}  // namespace lorvane
