// Growth-time scoring: the environment of the growing residue is sorted once
// per seed into short lists by distance, and every candidate placement is
// then scored only for the atoms it moves, with the sampling pair table
// PF::Etable and the clash table PF::LJclash.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "build/builders.h"
#include "growth/grow_one.h"
#include "model/error.h"
#include "potentials/atom_tables.h"
#include "potentials/pf.h"

namespace lorvane {

std::vector<GrowOne> G;

namespace {

constexpr int N_ = 0, CA_ = 1, C_ = 2, O_ = 3, CB_ = 5;
constexpr double REJECT = 12345.0;
constexpr double EARLY_EXIT = 1000.0;
constexpr double SC_LIMIT = 200.0;

inline float sqDist(float x, float y, float z, const Point& p) {
    const float dx = x - p.x, dy = y - p.y, dz = z - p.z;
    return dx * dx + dy * dy + dz * dz;
}
inline float sqDist(const Point& a, const Point& b) { return sqDist(a.x, a.y, a.z, b); }

// Etable row block of a scored atom type: row(envType)[bin].
inline const double* etableOf(int type) { return &PF::Etable[type][0][0]; }

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
    rsolv.resize(cap);
    type.resize(cap);
}

void EnvList::push(const Point& p, int t, float r) {
    if (n >= capacity()) fail("growth environment list overflow at " + std::to_string(n) + " atoms");
    x[n] = p.x;
    y[n] = p.y;
    z[n] = p.z;
    type[n] = t;
    rsolv[n] = r;
    ++n;
}

GrowOne::GrowOne() {
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
    combFirst.resize(COMBINATIONS);
    combSecond.resize(COMBINATIONS);
    ensureCapacity(CLOSE_SC_ENV);
}

void GrowOne::ensureCapacity(int numAtoms) {
    const int cap = std::max(numAtoms, 1);
    nearEnv.reserve(cap);
    midEnv.reserve(cap);
    for (EnvList& m : midFor) m.reserve(cap);
    farEnv.reserve(cap);
    adjEnv.reserve(cap);
    if (static_cast<int>(lahList.size()) < cap) {
        lahList.resize(cap);
        lahX.resize(cap);
        lahY.resize(cap);
        lahZ.resize(cap);
        lahClash.resize(static_cast<size_t>(cap) * 5);
    }
    if (nearLahThr_.size() < static_cast<size_t>(nearEnv.capacity()) * 5) nearLahThr_.resize(static_cast<size_t>(nearEnv.capacity()) * 5);
    if (static_cast<int>(closeEnvType.size()) < cap) {
        closeEnvType.resize(cap);
        closeEnvRsolv.resize(cap);
        closeEnvPos.resize(cap);
    }
    const int csc = std::max(cap, CLOSE_SC_ENV);
    if (static_cast<int>(cscType.size()) < csc) {
        cscType.resize(csc);
        cscPos.resize(csc);
        cscAtom.resize(csc);
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
    moveCount = 0;
    midPruned = false;
    nearLahQ_ = -1;  // the near list changes: its look-ahead clash distances are redone
    ensureCapacity(numatom);

    const bool backward = pos != prev + 1;  // forward growth is recognised by pos = prev + 1
    pos_ = pos;
    backward_ = backward;
    resType_ = s[pos].type;
    numRot_ = (resType_ >= 0 && resType_ < 20) ? PF::numsimplRot[resType_] : 0;

    const Point ref = s[pos].atoms[CA_];
    const Point farRef = backward ? s[pos].atoms[C_] : s[pos].atoms[CA_];
    const int slotRef = backward ? C_ : CA_;
    const int nres = s._numRes;
    for (int r = 1; r <= nres; ++r) {
        farRes_[r] = 0;
        if (isLoop(r, loopStart, loopEnd)) continue;
        if (sqDist(s[r].atoms[slotRef], farRef) > 900.0f) farRes_[r] = 1;
    }
    const bool proline = resType_ == PRO;
    const double maxd2 = PF::MAXDIS2;

    for (int g = 0; g < numatom; ++g) {
        const int r = revatomcountmap[g][0], t = revatomcountmap[g][1];
        if (r < 1 || r > nres || farRes_[r]) continue;
        const int dt = dftype[g];
        if (dt == NO_PAIR_TYPE) continue;
        if (isLoop(r, loopStart, loopEnd) && t > 5) continue;
        const Atom& a = s[r].atoms[t];
        if (a.type == ABSENT) continue;  // a slot the input never filled has no position
        const double d2 = sqDist(a, ref);
        if (d2 > 225.0) continue;
        if (r == pos) continue;  // the growing residue itself is never environment
        if (!backward) {
            if (r > pos && r < next) continue;
            if (r == next && t != C_ && t != O_) continue;
            if (proline && r == pos - 1 && t == C_) continue;
        } else {
            if (r > prev && r < pos) continue;
            if (r == prev && t != N_ && t != CA_) continue;
            if (r == pos + 1 && t == N_) continue;
        }
        if (r == pos - 1 || r == pos + 1)
            adjEnv.push(a, dt, static_cast<float>(rsolv[g]));
        else if (d2 < maxd2)
            nearEnv.push(a, dt, static_cast<float>(rsolv[g]));
        else if (d2 < 144.0)
            midEnv.push(a, dt, static_cast<float>(rsolv[g]));
        else
            farEnv.push(a, dt, static_cast<float>(rsolv[g]));
    }

    auto typeOf = [&](int r, int slot) { return dftype[atomcountmap[r][slot]]; };
    if (!backward) {
        fixedPos[1] = s[pos].atoms[N_];
        fixedType[1] = typeOf(pos, N_);
        fixedPos[2] = s[pos].atoms[CA_];
        fixedType[2] = typeOf(pos, CA_);
    } else {
        fixedPos[0] = s[pos + 1].atoms[N_];
        fixedType[0] = typeOf(pos + 1, N_);
        fixedPos[2] = s[pos].atoms[C_];
        fixedType[2] = typeOf(pos, C_);
        fixedPos[3] = s[pos].atoms[O_];
        fixedType[3] = typeOf(pos, O_);
    }

    // Moving atoms: forward N, CA of pos+1 and C, O, CB of pos; backward N, CA,
    // CB of pos and C, O of pos-1. Each sits in the scratch residue at its slot.
    const int other = backward ? pos - 1 : pos + 1;
    const int list[5][2] = {{backward ? pos : other, N_},
                            {backward ? pos : other, CA_},
                            {backward ? other : pos, C_},
                            {backward ? other : pos, O_},
                            {pos, CB_}};
    for (int m = 0; m < 5; ++m) {
        if (m == 4 && resType_ == GLY) break;
        const int r = list[m][0], slot = list[m][1];
        const int g = atomcountmap[r][slot];
        moveAtoms[moveCount][0] = g;
        moveAtoms[moveCount][1] = slot;
        moveType[slot] = dftype[g];
        moveRsolv[slot] = static_cast<float>(rsolv[g]);
        ++moveCount;
    }
    for (int m = 0; m < 4; ++m) nextType[m] = moveType[list[m][1]];

    scCount = 0;
    if (resType_ != GLY && resType_ != ALA && resType_ >= 0 && resType_ < 20) {
        const int last = Residue::lastDFire[resType_];
        for (int i = 6; i <= last && scCount < MAX_SC_ATOMS; ++i) scType[scCount++] = typeOf(pos, i);
    }
}

// ---------------------------------------------------------------------------
// Pair-energy terms

double GrowOne::pairSum(const EnvList& env, const Point& p, int type) {
    const double* et = etableOf(type);
    const float maxd2 = static_cast<float>(PF::MAXDIS2);
    const double bins = PF::BINSPERA;
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

// Pair terms of p against env added to sum; false as soon as sum passes the early-exit level.
inline bool pairSumExit(const EnvList& env, const Point& p, int type, double& sum) {
    const double* et = etableOf(type);
    const float maxd2 = static_cast<float>(PF::MAXDIS2);
    const double bins = PF::BINSPERA;
    for (int i = 0; i < env.n; ++i) {
        const float d2 = sqDist(env.x[i], env.y[i], env.z[i], p);
        if (d2 < maxd2) {
            sum += et[env.type[i] * ETABLE_BINS + static_cast<int>(d2 * bins)];
            if (sum > EARLY_EXIT) return false;
        }
    }
    return true;
}

// True when p (of the given type) clashes with any atom of env.
inline bool clashes(const EnvList& env, const Point& p, int type) {
    for (int i = 0; i < env.n; ++i) {
        const double d2 = sqDist(env.x[i], env.y[i], env.z[i], p);
        if (d2 < PF::LJclash[env.type[i]][type]) return true;
    }
    return false;
}

inline bool clashPair(const Point& fixed, int fixedType, const Point& p, int type) {
    return static_cast<double>(sqDist(fixed, p)) < PF::LJclash[fixedType][type];
}

}  // namespace

double GrowOne::dfire_part_phi_short(Structure&, const Residue& r) {
    const Point& C = r.atoms[C_];
    if (clashes(adjEnv, C, moveType[C_])) return REJECT;
    double sum = 0.0;
    if (!pairSumExit(nearEnv, C, moveType[C_], sum)) return REJECT;
    if (resType_ != GLY) {
        const Point& CB = r.atoms[CB_];
        if (clashes(adjEnv, CB, moveType[CB_])) return REJECT;
        sum += pairSum(nearEnv, CB, moveType[CB_]);
    }
    return sum;
}

void GrowOne::pruneLongRange(Structure& s, const float reach[6]) {
    const Point ca = s[pos_].atoms[CA_];
    const double cut = std::sqrt(PF::MAXDIS2);
    for (int slot = 0; slot < 6; ++slot) {
        EnvList& m = midFor[slot];
        m.clear();
        if (reach[slot] < 0.0f) {
            for (int i = 0; i < midEnv.n; ++i) m.push(midEnv.at(i), midEnv.type[i], midEnv.rsolv[i]);
            continue;
        }
        // 0.01 A covers the rounding of the float distances.
        const double lim = cut + reach[slot] + 0.01;
        const float lim2 = static_cast<float>(lim * lim);
        for (int i = 0; i < midEnv.n; ++i)
            if (sqDist(midEnv.x[i], midEnv.y[i], midEnv.z[i], ca) < lim2) m.push(midEnv.at(i), midEnv.type[i], midEnv.rsolv[i]);
    }
    midPruned = true;
}

double GrowOne::dfire_part_phi_long(Structure&, const Residue& r) {
    double sum = pairSum(mid(C_), r.atoms[C_], moveType[C_]);
    if (resType_ != GLY) sum += pairSum(mid(CB_), r.atoms[CB_], moveType[CB_]);
    return sum;
}

double GrowOne::dfire_part_phipsi_short(Structure&, const Residue& r) {
    const Point& N1 = r.atoms[N_];
    const Point& CA1 = r.atoms[CA_];
    const Point& O = r.atoms[O_];
    const int tN = moveType[N_], tCA = moveType[CA_], tO = moveType[O_];
    if (clashPair(fixedPos[1], fixedType[1], N1, tN) || clashPair(fixedPos[1], fixedType[1], CA1, tCA) ||
        clashPair(fixedPos[2], fixedType[2], CA1, tCA) || clashPair(fixedPos[1], fixedType[1], O, tO))
        return REJECT;
    const float maxd2 = static_cast<float>(PF::MAXDIS2);
    const double bins = PF::BINSPERA;
    const double* eN = etableOf(tN);
    const double* eCA = etableOf(tCA);
    const double* eO = etableOf(tO);
    double sum = 0.0;
    for (int i = 0; i < adjEnv.n; ++i) {
        const float x = adjEnv.x[i], y = adjEnv.y[i], z = adjEnv.z[i];
        const int et = adjEnv.type[i] * ETABLE_BINS;
        const float dN = sqDist(x, y, z, N1), dCA = sqDist(x, y, z, CA1), dO = sqDist(x, y, z, O);
        if (dN < maxd2) sum += eN[et + static_cast<int>(dN * bins)];
        if (dCA < maxd2) sum += eCA[et + static_cast<int>(dCA * bins)];
        if (static_cast<double>(dO) < PF::LJclash[adjEnv.type[i]][tO]) return REJECT;
    }
    for (int i = 0; i < nearEnv.n; ++i) {
        const float x = nearEnv.x[i], y = nearEnv.y[i], z = nearEnv.z[i];
        const int et = nearEnv.type[i] * ETABLE_BINS;
        const float dN = sqDist(x, y, z, N1), dCA = sqDist(x, y, z, CA1), dO = sqDist(x, y, z, O);
        if (dN < maxd2) sum += eN[et + static_cast<int>(dN * bins)];
        if (dCA < maxd2) sum += eCA[et + static_cast<int>(dCA * bins)];
        if (dO < maxd2) sum += eO[et + static_cast<int>(dO * bins)];
        if (sum > EARLY_EXIT) return REJECT;
    }
    return sum;
}

double GrowOne::dfire_part_phipsi_long(Structure&, const Residue& r) {
    return pairSum(mid(N_), r.atoms[N_], moveType[N_]) + pairSum(mid(CA_), r.atoms[CA_], moveType[CA_]) +
           pairSum(mid(O_), r.atoms[O_], moveType[O_]);
}

double GrowOne::dfire_part_backward_psi_short(Structure&, const Residue& r) {
    const Point& N = r.atoms[N_];
    const Point& CA = r.atoms[CA_];
    const int tN = moveType[N_], tCA = moveType[CA_];
    if (clashPair(fixedPos[3], fixedType[3], N, tN) || clashPair(fixedPos[0], fixedType[0], N, tN)) return REJECT;
    if (clashes(adjEnv, N, tN) || clashes(adjEnv, CA, tCA)) return REJECT;
    const float maxd2 = static_cast<float>(PF::MAXDIS2);
    const double bins = PF::BINSPERA;
    const double* eN = etableOf(tN);
    const double* eCA = etableOf(tCA);
    double sum = 0.0;
    for (int i = 0; i < nearEnv.n; ++i) {
        const float x = nearEnv.x[i], y = nearEnv.y[i], z = nearEnv.z[i];
        const int et = nearEnv.type[i] * ETABLE_BINS;
        const float dN = sqDist(x, y, z, N), dCA = sqDist(x, y, z, CA);
        if (dN < maxd2) sum += eN[et + static_cast<int>(dN * bins)];
        if (dCA < maxd2) sum += eCA[et + static_cast<int>(dCA * bins)];
        if (sum > EARLY_EXIT) return REJECT;
    }
    if (resType_ != GLY) {
        const Point& CB = r.atoms[CB_];
        if (clashes(adjEnv, CB, moveType[CB_])) return REJECT;
        sum += pairSum(nearEnv, CB, moveType[CB_]);
    }
    return sum;
}

double GrowOne::dfire_part_backward_psi_long(Structure&, const Residue& r) {
    double sum = pairSum(mid(N_), r.atoms[N_], moveType[N_]) + pairSum(mid(CA_), r.atoms[CA_], moveType[CA_]);
    if (resType_ != GLY) sum += pairSum(mid(CB_), r.atoms[CB_], moveType[CB_]);
    return sum;
}

double GrowOne::dfire_part_backward_phipsi_short(Structure&, const Residue& r) {
    const Point& C = r.atoms[C_];
    const Point& O = r.atoms[O_];
    const int tC = moveType[C_], tO = moveType[O_];
    if (clashPair(fixedPos[3], fixedType[3], C, tC) || clashPair(fixedPos[2], fixedType[2], C, tC) ||
        clashPair(fixedPos[0], fixedType[0], C, tC) || clashPair(fixedPos[2], fixedType[2], O, tO) ||
        clashPair(fixedPos[3], fixedType[3], O, tO))
        return REJECT;
    const float maxd2 = static_cast<float>(PF::MAXDIS2);
    const double bins = PF::BINSPERA;
    const double* eC = etableOf(tC);
    const double* eO = etableOf(tO);
    double sum = 0.0;
    for (const EnvList* env : {&adjEnv, &nearEnv}) {
        for (int i = 0; i < env->n; ++i) {
            const float x = env->x[i], y = env->y[i], z = env->z[i];
            const int et = env->type[i] * ETABLE_BINS;
            const float dC = sqDist(x, y, z, C), dO = sqDist(x, y, z, O);
            if (dC < maxd2) sum += eC[et + static_cast<int>(dC * bins)];
            if (dO < maxd2) sum += eO[et + static_cast<int>(dO * bins)];
            if (sum > EARLY_EXIT) return REJECT;
        }
    }
    return sum;
}

double GrowOne::dfire_part_backward_phipsi_long(Structure&, const Residue& r) {
    return pairSum(mid(C_), r.atoms[C_], moveType[C_]) + pairSum(mid(O_), r.atoms[O_], moveType[O_]);
}

// ---------------------------------------------------------------------------
// Look-ahead: clash-only test of the residue after next

void GrowOne::prepLah(Structure& s, const Point& p, int q, bool backward) {
    const bool gly = s[q].type == GLY;
    auto typeOf = [&](int r, int slot) { return dftype[atomcountmap[r][slot]]; };
    if (!backward) {
        lahType[0] = typeOf(q + 1, N_);
        lahType[1] = typeOf(q + 1, CA_);
        lahType[2] = typeOf(q, C_);
        lahType[3] = typeOf(q, O_);
    } else {
        lahType[0] = typeOf(q, N_);
        lahType[1] = typeOf(q, CA_);
        lahType[2] = typeOf(q - 1, C_);
        lahType[3] = typeOf(q - 1, O_);
    }
    lahTypeCount = 4;
    if (!gly) lahType[lahTypeCount++] = typeOf(q, CB_);
    // Clash distances of every near atom against the look-ahead atoms: the
    // same for all candidates of the seed (one residue q per step).
    const size_t nearCap = nearEnv.x.size();
    if (nearLahQ_ != q || nearLahN_ != nearEnv.n) {
        for (int i = 0; i < nearEnv.n; ++i) {
            const double* clash = PF::LJclash[nearEnv.type[i]];
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
        lahList[l] = i;
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

double GrowOne::lahEval(Structure&, const Residue& r) {
    static constexpr int slots[5] = {N_, CA_, C_, O_, CB_};
    for (int m = 0; m < lahTypeCount; ++m)
        if (lahClashes(r.atoms[slots[m]], m)) return REJECT;
    return 0.0;
}

// ---------------------------------------------------------------------------
// Side chains of the growing residue, rotamer by rotamer, one candidate row at a time

void GrowOne::df_scf(Structure&, Residue& res, std::vector<float>& scEnergy, int row, int, const std::vector<std::array<Point, 5>>& cand,
                     bool backward, const std::vector<uint8_t>& valid) {
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
    res.atoms[CB_] = first[4];
    if (backward)
        res.atoms[N_] = first[0];
    else
        res.atoms[C_] = first[2];

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

    const int last = std::min(Residue::lastDFire[type], 6 + MAX_SC_ATOMS - 1);
    const double farSkip = std::sqrt(PF::MAXDIS2) + 0.01;
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
            double tor = Residue::torsion[type][i];
            if (tor == FREE_CHI) {
                ++h;
                double chi = PF::simplRot[type][r][h - 1];
                if (chi > 10.0 && r > 0 && !prevSkipped && sharing && levelValid[h]) {
                    skipAtoms = true;
                    if (levelE[h] > SC_LIMIT) {
                        abandoned = true;
                        break;
                    }
                    continue;
                }
                sharing = false;
                skipAtoms = false;
                if (chi > 10.0) chi = PF::simplRotR[type][r][h - 1];
                tor = chi;
                levelE[h] = levelE[h - 1];
                std::copy(flags[h - 1], flags[h - 1] + nk, flags[h]);
                levelValid[h] = true;
                for (int l = h + 1; l < 6; ++l) levelValid[l] = false;
            } else if (skipAtoms) {
                continue;
            }
            if (i == 6) tor = randn(tor, PF::chi1SD);
            const int* pa = Residue::prev_atom[type][i];
            Point placed;
            calCo(res.atoms[pa[0]], res.atoms[pa[1]], res.atoms[pa[2]], Residue::bond_length[type][i], Residue::bond_angle[type][i], tor,
                  placed);
            res.atoms[i] = placed;
            const int at = scType[i - 6];
            if (clashes(adjEnv, placed, at)) {
                levelE[h] = REJECT;
            } else {
                // The far shell (12-15 A from CA) is out of the cut-off of an atom close to CA.
                const bool farReach = std::sqrt(sqDist(placed, res.atoms[CA_])) + farSkip >= 12.0;
                levelE[h] += pairSum(nearEnv, placed, at) + pairSum(midEnv, placed, at) + (farReach ? pairSum(farEnv, placed, at) : 0.0);
            }
            if (levelE[h] <= SC_LIMIT) {
                for (int c = 0; c < nk; ++c) {
                    if (flags[h][c] != 0.0f) continue;
                    const std::array<Point, 5>& ca = cand[ks[c]];
                    for (int t = 0; t < nTest; ++t)
                        if (static_cast<double>(sqDist(ca[testIdx[t]], placed)) < PF::LJclash[testType[t]][at]) {
                            flags[h][c] = static_cast<float>(REJECT);
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
        if (e > SC_LIMIT) veto(r);
        for (int c = 0; c < nk; ++c) scEnergy[static_cast<size_t>(ks[c]) * numRot + r] = static_cast<float>(flags[h][c] + e);
    }
}

// ---------------------------------------------------------------------------
// Closure environment

void GrowOne::df_closure_prep(Structure& s, int loopStart, int loopEnd, int c, const Point& p, bool backward) {
    closeEnvCount = 0;
    ensureCapacity(numatom);
    const int nres = s._numRes;
    for (int r = 1; r <= nres; ++r) {
        farRes_[r] = 0;
        if (isLoop(r, loopStart, loopEnd)) continue;
        if (sqDist(s[r].atoms[CA_], p) > 400.0f) farRes_[r] = 1;
    }
    for (int g = 0; g < numatom; ++g) {
        const int r = revatomcountmap[g][0], t = revatomcountmap[g][1];
        if (r < 1 || r > nres || farRes_[r]) continue;
        const int dt = dftype[g];
        if (dt == NO_PAIR_TYPE) continue;
        if (isLoop(r, loopStart, loopEnd) && t >= 6) continue;
        const Atom& a = s[r].atoms[t];
        if (a.type == ABSENT) continue;
        if (sqDist(a, p) > 225.0f) continue;
        if (r >= c && r <= c + 2) continue;
        if (r == c + 3 && t == N_) continue;
        if (backward) {
            if (r == c + 3) continue;
            if (r == c + 4 && (t == N_ || t == CA_)) continue;
        } else if (r == c - 1 && t > 1) {
            continue;
        }
        if (closeEnvCount >= static_cast<int>(closeEnvType.size())) fail("closure environment overflow");
        closeEnvType[closeEnvCount] = dt;
        closeEnvRsolv[closeEnvCount] = static_cast<float>(rsolv[g]);
        closeEnvPos[closeEnvCount] = a;
        ++closeEnvCount;
    }
    const int atoms[11][2] = {{c, C_},      {c, O_},      {c + 1, C_},  {c + 1, O_},  {c + 1, CA_}, {c + 1, N_},
                              {c + 2, N_},  {c, CB_},     {c + 1, CB_}, {c + 2, CB_}, {c + 2, CA_}};
    for (int m = 0; m < 11; ++m) {
        const int r = atoms[m][0], slot = atoms[m][1];
        if (slot == CB_ && s[r].type == GLY) {
            closeAtomType[m] = NO_PAIR_TYPE;
            closeAtomRsolv[m] = 0.0f;
            continue;
        }
        const int g = atomcountmap[r][slot];
        closeAtomType[m] = dftype[g];
        closeAtomRsolv[m] = static_cast<float>(rsolv[g]);
    }
}

}  // namespace lorvane
