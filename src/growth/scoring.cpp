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
#include "model/error.h"

namespace lorvane {

namespace {

constexpr double EARLY_EXIT = 1000.0;

inline float sqDist(float x, float y, float z, const Point& p) {
    const float dx = x - p.x, dy = y - p.y, dz = z - p.z;
    return dx * dx + dy * dy + dz * dz;
}
inline float sqDist(const Point& a, const Point& b) { return sqDist(a.x, a.y, a.z, b); }

// Pair-table row block of a scored atom type: row(envType)[bin].
inline const double* etableOf(const Potentials& pot, int type) { return &pot.etable[type][0][0]; }

inline bool isLoop(int r, int loopStart, int loopEnd) { return r >= loopStart && r <= loopEnd; }

// The smallest float not below v: for every float x, x < floatAbove(v) exactly
// when x < v, so a clash test can run in single precision without changing.
inline float floatAbove(double v) {
    float f = static_cast<float>(v);
    if (static_cast<double>(f) < v) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
}

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
    ensureCapacity(atoms.numAtoms);

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

// True when p (of the given type) clashes with any atom of env.
inline bool clashes(const Potentials& pot, const EnvList& env, const Point& p, int type) {
    for (int i = 0; i < env.n; ++i) {
        const double d2 = sqDist(env.x[i], env.y[i], env.z[i], p);
        if (d2 < pot.ljClash[env.type[i]][type]) return true;
    }
    return false;
}

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
struct PartSpec {
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
constexpr PartSpec PARTS[2][2] = {
    {{0, {}, {1, {SLOT_C}}, {0, {}}, false, {1, {SLOT_C}}, true},
     {4, {{1, SLOT_N}, {1, SLOT_CA}, {2, SLOT_CA}, {1, SLOT_O}}, {1, {SLOT_O}}, {2, {SLOT_N, SLOT_CA}}, false,
      {3, {SLOT_N, SLOT_CA, SLOT_O}}, false}},
    {{2, {{3, SLOT_N}, {0, SLOT_N}}, {2, {SLOT_N, SLOT_CA}}, {0, {}}, false, {2, {SLOT_N, SLOT_CA}}, true},
     {5, {{3, SLOT_C}, {2, SLOT_C}, {0, SLOT_C}, {2, SLOT_O}, {3, SLOT_O}}, {0, {}}, {2, {SLOT_C, SLOT_O}}, true,
      {2, {SLOT_C, SLOT_O}}, false}},
};

const PartSpec& partSpec(bool backward, GrowOne::MovedBy part) { return PARTS[backward ? 1 : 0][part == GrowOne::MovedBy::Both ? 1 : 0]; }

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
    const PartSpec& spec = partSpec(backward, part);
    for (int f = 0; f < spec.numFixed; ++f) {
        const int fixed = spec.fixed[f][0], slot = spec.fixed[f][1];
        if (clashPair(pot, fixedPos[fixed], fixedType[fixed], r.atoms[slot], moveType[slot])) return REJECTED;
    }
    for (int m = 0; m < spec.adjClash.n; ++m) {
        const int slot = spec.adjClash.slot[m];
        if (clashes(pot, adjEnv, r.atoms[slot], moveType[slot])) return REJECTED;
    }
    const bool cb = spec.withCB && resType_ != GLY;
    if (cb && clashes(pot, adjEnv, r.atoms[SLOT_CB], moveType[SLOT_CB])) return REJECTED;
    double sum = 0.0;
    if (!sumPairs(pot, adjEnv, r, spec.adjSum, moveType, spec.adjExit, sum)) return REJECTED;
    if (!sumPairs(pot, nearEnv, r, spec.near, moveType, true, sum)) return REJECTED;
    if (cb) sum += pairSum(nearEnv, r.atoms[SLOT_CB], moveType[SLOT_CB]);
    return sum;
}

double GrowOne::longRangeEnergy(const Residue& r, bool backward, MovedBy part) const {
    const PartSpec& spec = partSpec(backward, part);
    double sum = 0.0;
    for (int m = 0; m < spec.near.n; ++m) {
        const int slot = spec.near.slot[m];
        sum += pairSum(mid(slot), r.atoms[slot], moveType[slot]);
    }
    if (spec.withCB && resType_ != GLY) sum += pairSum(mid(SLOT_CB), r.atoms[SLOT_CB], moveType[SLOT_CB]);
    return sum;
}

// ---------------------------------------------------------------------------
// Look-ahead: clash-only test of the residue after next

void GrowOne::prepLah(Structure& s, const Point& p, int q, bool backward) {
    const bool gly = s[q].type == GLY;
    auto typeOf = [&](int r, int slot) { return atoms.pairType[atoms.slotIndex[r][slot]]; };
    if (!backward) {
        lahType[0] = typeOf(q + 1, SLOT_N);
        lahType[1] = typeOf(q + 1, SLOT_CA);
        lahType[2] = typeOf(q, SLOT_C);
        lahType[3] = typeOf(q, SLOT_O);
    } else {
        lahType[0] = typeOf(q, SLOT_N);
        lahType[1] = typeOf(q, SLOT_CA);
        lahType[2] = typeOf(q - 1, SLOT_C);
        lahType[3] = typeOf(q - 1, SLOT_O);
    }
    lahTypeCount = 4;
    if (!gly) lahType[lahTypeCount++] = typeOf(q, SLOT_CB);
    // Clash distances of every near atom against the look-ahead atoms: the
    // same for all candidates of the seed (one residue q per step).
    const size_t nearCap = nearEnv.x.size();
    if (nearLahQ_ != q || nearLahN_ != nearEnv.n) {
        for (int i = 0; i < nearEnv.n; ++i) {
            const double* clash = pot.ljClash[nearEnv.type[i]];
            for (int m = 0; m < lahTypeCount; ++m) nearLahThr_[m * nearCap + i] = floatAbove(clash[lahType[m]]);
        }
        nearLahQ_ = q;
        nearLahN_ = nearEnv.n;
    }
    lahCount = 0;
    // The look-ahead is evaluated for up to 144 placements per candidate:
    // positions and clash distances are laid out once here.
    for (int i = 0; i < nearEnv.n; ++i) {
        if (!(sqDist(nearEnv.x[i], nearEnv.y[i], nearEnv.z[i], p) < 36.0f)) continue;
        const int l = lahCount++;
        lahX[l] = nearEnv.x[i];
        lahY[l] = nearEnv.y[i];
        lahZ[l] = nearEnv.z[i];
        for (int m = 0; m < lahTypeCount; ++m) lahClash[m * lahStride() + l] = nearLahThr_[m * nearCap + i];
    }
}

bool GrowOne::lahClashes(const Point& a, int m) const {
    const int n = lahCount;
    const float* xs = lahX.data();
    const float* ys = lahY.data();
    const float* zs = lahZ.data();
    const float* thr = &lahClash[m * lahStride()];
    const float ax = a.x, ay = a.y, az = a.z;
    int hit = 0;
    // Branch-free over the list so that the compiler can vectorise it.
#pragma omp simd reduction(| : hit)
    for (int l = 0; l < n; ++l) {
        const float dx = xs[l] - ax, dy = ys[l] - ay, dz = zs[l] - az;
        hit |= (dx * dx + dy * dy + dz * dz) < thr[l];
    }
    return hit != 0;
}

// ---------------------------------------------------------------------------
// Side chains of the growing residue, rotamer by rotamer, one candidate row at a time

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
            if (i == 6) tor = normal.draw(tor, run.chi1SD);
            const int* pa = tm.refAtoms[type][i];
            Point placed;
            calCo(res.atoms[pa[0]], res.atoms[pa[1]], res.atoms[pa[2]], tm.bondLength[type][i], tm.bondAngle[type][i], tor, placed);
            res.atoms[i] = placed;
            const int at = scType[i - 6];
            if (clashes(pot, adjEnv, placed, at)) {
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

// ---------------------------------------------------------------------------
// Closure environment

void GrowOne::df_closure_prep(Structure& s, int loopStart, int loopEnd, int c, const Point& p, bool backward) {
    closeEnvCount = 0;
    ensureCapacity(atoms.numAtoms);
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
