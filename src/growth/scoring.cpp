// Growth-time scoring: the environment of the growing residue is sorted once
// per seed into short lists by distance, and every candidate placement is
// then scored only for the atoms it moves, with the sampling pair table
// and its clash distances.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "build/builders.h"
#include "growth/sampler.h"
#include "growth/step_math.h"
#include "model/error.h"

namespace lorvane {

namespace {

constexpr double EARLY_EXIT = 1000.0;


// Pair-table row block of a scored atom type: row(envType)[bin].
inline const double* etableOf(const Potentials& pot, int type) { return &pot.etable[type][0][0]; }

inline bool isLoop(int r, int loopStart, int loopEnd) { return r >= loopStart && r <= loopEnd; }

}  // namespace

void EnvList::reserve(int cap) {
    if (cap <= capacity()) return;
    x.resize(cap);
    y.resize(cap);
    z.resize(cap);
    type.resize(cap);
}

void EnvList::push(const Point& p, int t) {
    if (n >= capacity()) fail("growth environment list overflow at " + std::to_string(n) + " atoms");
    x[n] = p.x;
    y[n] = p.y;
    z[n] = p.z;
    type[n] = t;
    ++n;
}

GrowOne::GrowOne(const Sampler& r)
    : run(r), tm(r.tm), dist(r.dist), pot(r.pot), atoms(r.atoms) {
    candAtoms.resize(NUM_CAND);
    closureData.resize(CLOSURE_ENTRIES);
    closureAtoms.resize(CLOSURE_ENTRIES);
    candPts.resize(static_cast<size_t>(BB_CAND_POINTS));
    weight.resize(NUM_CAND);
    closureW.resize(CLOSURE_ENTRIES);
    closureCount.assign(NUM_CAND, 0);
    lnPbb.resize(NUM_CAND);
    lnPdist.resize(NUM_CAND);
    energyE.resize(NUM_CAND);
    scE.resize(static_cast<size_t>(NUM_CAND) * MAX_ROTAMERS);
    scBelow.resize(NUM_CAND);
    estRmsd.resize(NUM_CAND);
    validSC.resize(NUM_CAND);
    reachable.resize(NUM_CAND);
    cisCand.resize(NUM_CAND);
    rank.resize(1000);
    keys.reserve(CLOSURE_ENTRIES);
    ensureCapacity(1);
}

void GrowOne::ensureCapacity(int numAtoms) {
    const int cap = std::max(numAtoms, 1);
    nearEnv.reserve(cap);
    midEnv.reserve(cap);
    for (EnvList& m : midFor) m.reserve(cap);
    farEnv.reserve(cap);
    adjEnv.reserve(cap);
    if (static_cast<int>(lahX.size()) < cap) {
        lahX.resize(cap);
        lahY.resize(cap);
        lahZ.resize(cap);
        lahClash.resize(static_cast<size_t>(cap) * 5);
    }
    if (nearLahThr_.size() < static_cast<size_t>(nearEnv.capacity()) * 5) nearLahThr_.resize(static_cast<size_t>(nearEnv.capacity()) * 5);
    if (static_cast<int>(closeEnvType.size()) < cap) {
        closeEnvType.resize(cap);
        closeEnvPos.resize(cap);
    }
    if (static_cast<int>(farRes_.size()) < MAX_RESIDUES + 2) farRes_.resize(MAX_RESIDUES + 2);
}

// ---------------------------------------------------------------------------
// Environment lists

void GrowOne::prepGrow(Structure& s, int pos, int loopStart, int loopEnd, int prev, int next) {
    nearEnv.clear();
    midEnv.clear();
    farEnv.clear();
    adjEnv.clear();
    midPruned = false;
    nearLahQ_ = -1;  // the near list changes: its look-ahead clash distances are redone
    ensureCapacity(environmentCapacity(atoms, s));

    const bool backward = pos != prev + 1;  // forward growth is recognised by pos = prev + 1
    pos_ = pos;
    resType_ = s[pos].type;
    numRot_ = isAminoAcid(resType_) ? pot.rotamers.count[resType_] : 0;

    const Point ref = s[pos].atoms[SLOT_CA];
    const Point farRef = backward ? s[pos].atoms[SLOT_C] : s[pos].atoms[SLOT_CA];
    const int slotRef = backward ? SLOT_C : SLOT_CA;
    const int nres = s._numRes;
    for (int r = 1; r <= nres; ++r) {
        farRes_[r] = 0;
        if (isLoop(r, loopStart, loopEnd)) continue;
        if (sqDist(s[r].atoms[slotRef], farRef) > 900.0f) farRes_[r] = 1;
    }
    const bool proline = resType_ == PRO;
    const double maxd2 = pot.maxDis2;

    for (int g = 0; g < atoms.numAtoms; ++g) {
        const int r = atoms.atomOf[g][0], t = atoms.atomOf[g][1];
        if (r < 1 || r > nres || farRes_[r]) continue;
        const int dt = atoms.pairType[g];
        if (dt == NO_PAIR_TYPE) continue;
        if (isLoop(r, loopStart, loopEnd) && t > 5) continue;
        const Atom& a = s[r].atoms[t];
        if (a.type == ABSENT) continue;  // a slot the input never filled has no position
        const double d2 = sqDist(a, ref);
        if (d2 > 225.0) continue;
        if (r == pos) continue;  // the growing residue itself is never environment
        if (!backward) {
            if (r > pos && r < next) continue;
            if (r == next && t != SLOT_C && t != SLOT_O) continue;
            if (proline && r == pos - 1 && t == SLOT_C) continue;
        } else {
            if (r > prev && r < pos) continue;
            if (r == prev && t != SLOT_N && t != SLOT_CA) continue;
            if (r == pos + 1 && t == SLOT_N) continue;
        }
        if (r == pos - 1 || r == pos + 1)
            adjEnv.push(a, dt);
        else if (d2 < maxd2)
            nearEnv.push(a, dt);
        else if (d2 < 144.0)
            midEnv.push(a, dt);
        else
            farEnv.push(a, dt);
    }
    // Ligands, ions and modified residues: fixed frame atoms, sorted by distance as the others.
    for (const HeteroAtom& h : s.hetero) {
        if (!h.hasDfireType) continue;
        const double d2 = sqDist(h, ref);
        if (d2 > 225.0) continue;
        if (d2 < maxd2)
            nearEnv.push(h, h.dfireType);
        else if (d2 < 144.0)
            midEnv.push(h, h.dfireType);
        else
            farEnv.push(h, h.dfireType);
    }

    auto typeOf = [&](int r, int slot) { return atoms.pairType[atoms.slotIndex[r][slot]]; };
    if (!backward) {
        fixedPos[1] = s[pos].atoms[SLOT_N];
        fixedType[1] = typeOf(pos, SLOT_N);
        fixedPos[2] = s[pos].atoms[SLOT_CA];
        fixedType[2] = typeOf(pos, SLOT_CA);
    } else {
        fixedPos[0] = s[pos + 1].atoms[SLOT_N];
        fixedType[0] = typeOf(pos + 1, SLOT_N);
        fixedPos[2] = s[pos].atoms[SLOT_C];
        fixedType[2] = typeOf(pos, SLOT_C);
        fixedPos[3] = s[pos].atoms[SLOT_O];
        fixedType[3] = typeOf(pos, SLOT_O);
    }

    // Moving atoms: forward N, CA of pos+1 and C, O, CB of pos; backward N, CA,
    // CB of pos and C, O of pos-1. Each sits in the scratch residue at its slot.
    const int other = backward ? pos - 1 : pos + 1;
    const int list[5][2] = {{backward ? pos : other, SLOT_N},
                            {backward ? pos : other, SLOT_CA},
                            {backward ? other : pos, SLOT_C},
                            {backward ? other : pos, SLOT_O},
                            {pos, SLOT_CB}};
    for (int m = 0; m < 5; ++m) {
        if (m == 4 && resType_ == GLY) break;
        const int r = list[m][0], slot = list[m][1];
        moveType[slot] = atoms.pairType[atoms.slotIndex[r][slot]];
    }
    for (int m = 0; m < 4; ++m) nextType[m] = moveType[list[m][1]];

    scCount = 0;
    if (resType_ != GLY && resType_ != ALA && resType_ >= 0 && resType_ < 20) {
        const int last = LAST_HEAVY_SLOT[resType_];
        for (int i = 6; i <= last && scCount < MAX_SC_ATOMS; ++i) scType[scCount++] = typeOf(pos, i);
    }
}

// ---------------------------------------------------------------------------
// Pair-energy terms

double GrowOne::pairSum(const EnvList& env, const Point& p, int type) const {
    const double* et = etableOf(pot, type);
    const float maxd2 = static_cast<float>(pot.maxDis2);
    const double bins = pot.binsPerA;
    double sum = 0.0;
    const float* xs = env.x.data();
    const float* ys = env.y.data();
    const float* zs = env.z.data();
    const int* ts = env.type.data();
    for (int i = 0; i < env.n; ++i) {
        const float d2 = sqDist(xs[i], ys[i], zs[i], p);
        if (d2 < maxd2) sum += et[ts[i] * ETABLE_BINS + static_cast<int>(d2 * bins)];
    }
    return sum;
}

namespace {

inline bool clashPair(const Potentials& pot, const Point& fixed, int fixedType, const Point& p, int type) {
    return static_cast<double>(sqDist(fixed, p)) < pot.ljClash[fixedType][type];
}

}  // namespace

void GrowOne::pruneLongRange(Structure& s, const float reach[6]) {
    const Point ca = s[pos_].atoms[SLOT_CA];
    const double cut = std::sqrt(pot.maxDis2);
    for (int slot = 0; slot < 6; ++slot) {
        EnvList& m = midFor[slot];
        m.clear();
        if (reach[slot] < 0.0f) {
            for (int i = 0; i < midEnv.n; ++i) m.push(midEnv.at(i), midEnv.type[i]);
            continue;
        }
        // 0.01 A covers the rounding of the float distances.
        const double lim = cut + reach[slot] + 0.01;
        const float lim2 = static_cast<float>(lim * lim);
        for (int i = 0; i < midEnv.n; ++i)
            if (sqDist(midEnv.x[i], midEnv.y[i], midEnv.z[i], ca) < lim2) m.push(midEnv.at(i), midEnv.type[i]);
    }
    midPruned = true;
}

namespace {

// How the growth energy of one part of a candidate runs (GrowOne::MovedBy).
struct SlotList {
    int n;
    int slot[3];
};
// The atoms one torsion move places, and how each is tested and scored.
struct MovingAtoms {
    int numFixed;
    int fixed[5][2];  // (fixed atom, moving slot) pairs tested for a clash
    SlotList adjClash;  // moving slots tested for a clash with the adjacent list
    SlotList adjSum;    // moving slots summed over the adjacent list ...
    bool adjExit;       // ... with the early exit
    SlotList near;      // moving slots summed over the near list (early exit); the long-range slots
    bool withCB;        // CB (not glycine): adjacent clash test, then its own near sum; also long range
};

// [backward][MovedBy]: forward phi moves C, CB of pos and phi with psi N, CA of
// pos+1 and O of pos; backward psi moves N, CA, CB of pos and psi with phi C,
// O of pos-1.
constexpr MovingAtoms PARTS[2][2] = {
    {{0, {}, {1, {SLOT_C}}, {0, {}}, false, {1, {SLOT_C}}, true},
     {4, {{1, SLOT_N}, {1, SLOT_CA}, {2, SLOT_CA}, {1, SLOT_O}}, {1, {SLOT_O}}, {2, {SLOT_N, SLOT_CA}}, false,
      {3, {SLOT_N, SLOT_CA, SLOT_O}}, false}},
    {{2, {{3, SLOT_N}, {0, SLOT_N}}, {2, {SLOT_N, SLOT_CA}}, {0, {}}, false, {2, {SLOT_N, SLOT_CA}}, true},
     {5, {{3, SLOT_C}, {2, SLOT_C}, {0, SLOT_C}, {2, SLOT_O}, {3, SLOT_O}}, {0, {}}, {2, {SLOT_C, SLOT_O}}, true,
      {2, {SLOT_C, SLOT_O}}, false}},
};

const MovingAtoms& movingAtoms(bool backward, GrowOne::MovedBy part) { return PARTS[backward ? 1 : 0][part == GrowOne::MovedBy::Both ? 1 : 0]; }

// Pair terms of N moving atoms of r against env added to sum, every moving
// atom per environment atom in slot order; with exit, false as soon as the sum
// passes the early-exit level after an environment atom.
template <int N>
bool sumPairs(const Potentials& pot, const EnvList& env, const Residue& r, const int* slots, const int* moveType, bool exit, double& sum) {
    const float maxd2 = static_cast<float>(pot.maxDis2);
    const double bins = pot.binsPerA;
    Point p[N];
    const double* e[N];
    for (int m = 0; m < N; ++m) {
        p[m] = r.atoms[slots[m]];
        e[m] = etableOf(pot, moveType[slots[m]]);
    }
    for (int i = 0; i < env.n; ++i) {
        const float x = env.x[i], y = env.y[i], z = env.z[i];
        const int et = env.type[i] * ETABLE_BINS;
        for (int m = 0; m < N; ++m) {
            const float d = sqDist(x, y, z, p[m]);
            if (d < maxd2) sum += e[m][et + static_cast<int>(d * bins)];
        }
        if (exit && sum > EARLY_EXIT) return false;
    }
    return true;
}

bool sumPairs(const Potentials& pot, const EnvList& env, const Residue& r, const SlotList& slots, const int* moveType, bool exit,
              double& sum) {
    switch (slots.n) {
        case 1: return sumPairs<1>(pot, env, r, slots.slot, moveType, exit, sum);
        case 2: return sumPairs<2>(pot, env, r, slots.slot, moveType, exit, sum);
        case 3: return sumPairs<3>(pot, env, r, slots.slot, moveType, exit, sum);
        default: return true;
    }
}

}  // namespace

double GrowOne::shortRangeEnergy(const Residue& r, bool backward, MovedBy part) const {
    const MovingAtoms& moving = movingAtoms(backward, part);
    for (int f = 0; f < moving.numFixed; ++f) {
        const int fixed = moving.fixed[f][0], slot = moving.fixed[f][1];
        if (clashPair(pot, fixedPos[fixed], fixedType[fixed], r.atoms[slot], moveType[slot])) return REJECTED;
    }
    for (int m = 0; m < moving.adjClash.n; ++m) {
        const int slot = moving.adjClash.slot[m];
        if (clashesWith(pot, adjEnv, r.atoms[slot], moveType[slot])) return REJECTED;
    }
    const bool cb = moving.withCB && resType_ != GLY;
    if (cb && clashesWith(pot, adjEnv, r.atoms[SLOT_CB], moveType[SLOT_CB])) return REJECTED;
    double sum = 0.0;
    if (!sumPairs(pot, adjEnv, r, moving.adjSum, moveType, moving.adjExit, sum)) return REJECTED;
    if (!sumPairs(pot, nearEnv, r, moving.near, moveType, true, sum)) return REJECTED;
    if (cb) sum += pairSum(nearEnv, r.atoms[SLOT_CB], moveType[SLOT_CB]);
    return sum;
}

double GrowOne::longRangeEnergy(const Residue& r, bool backward, MovedBy part) const {
    const MovingAtoms& moving = movingAtoms(backward, part);
    double sum = 0.0;
    for (int m = 0; m < moving.near.n; ++m) {
        const int slot = moving.near.slot[m];
        sum += pairSum(mid(slot), r.atoms[slot], moveType[slot]);
    }
    if (moving.withCB && resType_ != GLY) sum += pairSum(mid(SLOT_CB), r.atoms[SLOT_CB], moveType[SLOT_CB]);
    return sum;
}

// ---------------------------------------------------------------------------
// Closure environment

void GrowOne::df_closure_prep(Structure& s, int loopStart, int loopEnd, int c, const Point& p, bool backward) {
    closeEnvCount = 0;
    ensureCapacity(environmentCapacity(atoms, s));
    const int nres = s._numRes;
    for (int r = 1; r <= nres; ++r) {
        farRes_[r] = 0;
        if (isLoop(r, loopStart, loopEnd)) continue;
        if (sqDist(s[r].atoms[SLOT_CA], p) > 400.0f) farRes_[r] = 1;
    }
    for (int g = 0; g < atoms.numAtoms; ++g) {
        const int r = atoms.atomOf[g][0], t = atoms.atomOf[g][1];
        if (r < 1 || r > nres || farRes_[r]) continue;
        const int dt = atoms.pairType[g];
        if (dt == NO_PAIR_TYPE) continue;
        if (isLoop(r, loopStart, loopEnd) && t >= 6) continue;
        const Atom& a = s[r].atoms[t];
        if (a.type == ABSENT) continue;
        if (sqDist(a, p) > 225.0f) continue;
        if (r >= c && r <= c + 2) continue;
        if (r == c + 3 && t == SLOT_N) continue;
        if (backward) {
            if (r == c + 3) continue;
            if (r == c + 4 && (t == SLOT_N || t == SLOT_CA)) continue;
        } else if (r == c - 1 && t > 1) {
            continue;
        }
        if (closeEnvCount >= static_cast<int>(closeEnvType.size())) fail("closure environment overflow");
        closeEnvType[closeEnvCount] = dt;
        closeEnvPos[closeEnvCount] = a;
        ++closeEnvCount;
    }
    for (const HeteroAtom& h : s.hetero) {
        if (!h.hasDfireType || sqDist(h, p) > 225.0f) continue;
        if (closeEnvCount >= static_cast<int>(closeEnvType.size())) fail("closure environment overflow");
        closeEnvType[closeEnvCount] = h.dfireType;
        closeEnvPos[closeEnvCount] = h;
        ++closeEnvCount;
    }
    const int closeAtoms[11][2] = {{c, SLOT_C},     {c, SLOT_O},      {c + 1, SLOT_C},  {c + 1, SLOT_O},  {c + 1, SLOT_CA}, {c + 1, SLOT_N},
                                   {c + 2, SLOT_N}, {c, SLOT_CB},     {c + 1, SLOT_CB}, {c + 2, SLOT_CB}, {c + 2, SLOT_CA}};
    for (int m = 0; m < 11; ++m) {
        const int r = closeAtoms[m][0], slot = closeAtoms[m][1];
        if (slot == SLOT_CB && s[r].type == GLY) {
            closeAtomType[m] = NO_PAIR_TYPE;
            continue;
        }
        closeAtomType[m] = atoms.pairType[atoms.slotIndex[r][slot]];
    }
}

}  // namespace lorvane
