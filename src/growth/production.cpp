// The SMC object and its production loop: preparation of the working
// structure, the growth plan, and one growth step plus one filter pass per
// plan slot.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>

#include "growth/grow_one.h"
#include "growth/seed_buffers.h"
#include "filter/filter.h"
#include "growth/smc.h"
#include "model/error.h"
#include "potentials/atom_tables.h"
#include "potentials/atom_typing.h"
#include "potentials/energy.h"
#include "potentials/pf.h"

namespace lorvane {

int SMC::curLoops = 100;
std::string SMC::LoopID;

int growOrder[MAX_PLAN];
bool growDir[MAX_PLAN];
int growrPos[MAX_PLAN];
int MAXLOOP = 0;
double scCut = 200.0;

int numpairsClose = 0;
int pairlistClose[MAX_CLOSE_PAIRS][8];
float pairlistCloseD[MAX_CLOSE_PAIRS];

namespace {
constexpr int N_ = 0, CA_ = 1, C_ = 2, O_ = 3;
constexpr int FIRST_STEP_SEEDS = 100;  // the first growth step always starts from 100 seeds
}  // namespace

SMC::SMC(int numStructures) : numStruct(numStructures), structs(std::max(numStructures, 0), Structure(1)) {}

int makeGrowthPlan(int growMode, int loopStart, int loopEnd, int* order, bool* dir, int* rpos) {
    const int n = loopEnd - loopStart;
    if (n < MIN_LOOP_N || n > MAX_LOOP_N)
        fail("growth plan: a loop of " + std::to_string(n + 1) + " residues is outside 4.." + std::to_string(MAX_LOOP_N + 1));
    for (int i = 0; i <= n - 3; ++i) {
        if (growMode == 0) {
            order[i] = loopStart + i, dir[i] = false, rpos[i] = loopEnd;
        } else if (growMode == 2) {
            order[i] = loopEnd - i, dir[i] = true, rpos[i] = loopStart;
        } else if (i % 2 == 0) {
            order[i] = loopStart + i / 2, dir[i] = false, rpos[i] = loopEnd - i / 2;
        } else {
            order[i] = loopEnd - (i - 1) / 2, dir[i] = true, rpos[i] = loopStart + (i + 1) / 2;
        }
    }
    int c;
    if (growMode == 0)
        c = loopEnd - 2;
    else if (growMode == 2)
        c = loopStart;
    else if (n == 3)
        c = loopEnd - 2;
    else
        c = std::min(order[n - 4], order[n - 3]) + 1;
    for (int k = 0; k < 3; ++k) {
        order[n - 2 + k] = c + k;
        dir[n - 2 + k] = false;
        rpos[n - 2 + k] = -1;
    }
    return c;
}

int closureStart(int growMode, int loopStart, int loopEnd) {
    const int n = loopEnd - loopStart;
    if (growMode == 0) return loopEnd - 2;
    if (growMode == 2) return loopStart;
    if (n == 3) return loopEnd - 2;
    return std::min(growOrder[n - 4], growOrder[n - 3]) + 1;
}

void checkLoopBounds(const Structure& s, int loopStart, int loopEnd) {
    const int n = loopEnd - loopStart;
    const std::string range = "positions " + std::to_string(loopStart) + ".." + std::to_string(loopEnd);
    if (n < MIN_LOOP_N)
        fail("Loop " + range + " has " + std::to_string(std::max(n + 1, 0)) + " residues; at least " + std::to_string(MIN_LOOP_N + 1) +
              " are needed (three of them are closed analytically)");
    if (n > MAX_LOOP_N)
        fail("Loop " + range + " has " + std::to_string(n + 1) + " residues; at most " + std::to_string(MAX_LOOP_N + 1) +
              " can be sampled");
    if (loopStart < 2 || loopEnd > s._numRes - 1)
        fail("Loop " + range + " needs a fixed residue on each side, in a chain of " + std::to_string(s._numRes) + " residues");
}

void SMC::prepare() {
    runStart = omp_get_wtime();
    if (structs.empty()) fail("SMC: no working structure");
    Structure& s = structs[0];
    // Reject what cannot be grown before anything is allocated.
    checkLoopBounds(s, loopStart, loopEnd);
    if (numSeeds < FIRST_STEP_SEEDS)
        fail("Population of " + std::to_string(numSeeds) + " seeds is too small: the first growth step uses " +
              std::to_string(FIRST_STEP_SEEDS));
    const int n = loopEnd - loopStart;
    const int N = s._numRes;

    // 1. Per-seed tables and one workspace per thread. The first step always
    // starts from 100 identical seeds with the default side-chain cut-off.
    MAXLOOP = numSeeds;
    curLoops = FIRST_STEP_SEEDS;
    scCut = 200.0;
    allocateSeedBuffers(MAXLOOP, n - 2);
    G.clear();
    G.resize(std::max(PF::numMP, 1));

    // 2. Anchor atoms.
    const Residue& first = s[loopStart];
    const Residue& last = s[loopEnd];
    if (first.atoms[N_].type == ABSENT) fail("error!  missing N on start residue");
    if (first.atoms[CA_].type == ABSENT) fail("error!  missing CA on start residue");
    if (last.atoms[C_].type == ABSENT) fail("error!  missing C on end residue");
    if (last.atoms[CA_].type == ABSENT) fail("error!  missing CA on end residue");

    // 3. The end residue's O eclipses the next CA, as in a trans peptide.
    if (s[loopEnd].atoms[O_].type == ABSENT)
        calCo(s[loopEnd + 1].atoms[CA_], s[loopEnd + 1].atoms[N_], s[loopEnd].atoms[C_], Residue::bond_length[0][O_], 2.145, 0.0,
              s[loopEnd].atoms[O_]);

    // 4. Atom classes; 5. global atom tables, secondary structure, dihedrals.
    typeAtoms(s, loopStart, loopEnd);
    vsgb_setup(s);
    oscar_e(s, 1, N);
    std::cout << std::fixed;
    assign_ss(s, 1, N, 0);
    cal_dha(s, loopStart, loopEnd);
    for (int i = loopStart; i <= loopEnd; ++i) s[i].cal_sc_angles();
    for (GrowOne& g : G) g.ensureCapacity(numatom);

    // 6. A chain break right after the loop leaves no end anchor to grow from.
    if (s[loopEnd + 1].pdbNum - s[loopEnd].pdbNum >= 2) {
        std::cout << "Missing End anchor defaulting to forward growth. " << std::endl;
        growMode = 0;
    }

    // 7. Growth plan.
    makeGrowthPlan(growMode, loopStart, loopEnd, growOrder, growDir, growrPos);
    std::cout << "Loop length: " << n + 1 << ".  Algorithm in progress." << std::endl;
}

void SMC::production() {
    prepare();
    // A result file that cannot be written must stop the run now, not after sampling.
    prepareOutputFiles(PF::diag);
    Structure& s = structs[0];
    const int n = loopEnd - loopStart;
    for (int i = 0; i <= n - 3; ++i) {
        PF::chi1SD = 0.17;
        const int d = grow_oneF(s, growOrder[i], growrPos[i], i, growDir[i], false, PF::diag);
        if (d >= curLoops - 4) {
            PF::chi1SD = 0.51;
            grow_oneF(s, growOrder[i], growrPos[i], i, growDir[i], true, PF::diag);
        }
        filtergrow(s, growOrder[i], loopEnd, i, PF::diag);
        if (curLoops < 2) {
            std::cout << "Restarting this residue." << std::endl;
            curLoops = 5;
            scCut *= 100.0;
        }
    }
    std::cout << "Final conformations written.  Total time: " << omp_get_wtime() - runStart << "s" << std::endl;
}

void closureList(Structure& s, int start, int end, int c, bool backward) {
    (void)start;
    (void)end;
    const int from = backward ? atomcountmap[c][C_] : atomcountmap[c - 1][C_];
    const int to = backward ? atomcountmap[c + 4][N_] : atomcountmap[c + 3][N_];
    numpairsClose = 0;
    for (int a = from; a <= to; ++a) {
        if (dftype[a] == NO_PAIR_TYPE || revatomcountmap[a][1] > 5) continue;
        for (int b = a + 1; b <= to; ++b) {
            if (dftype[b] == NO_PAIR_TYPE || revatomcountmap[b][1] > 5) continue;
            if (!pairmap[a][b]) continue;
            if (numpairsClose >= MAX_CLOSE_PAIRS)
                fail("closure pair list: more than " + std::to_string(MAX_CLOSE_PAIRS) + " atom pairs around closure residue " +
                      std::to_string(c));
            int* rec = pairlistClose[numpairsClose];
            const int ra = revatomcountmap[a][0], rb = revatomcountmap[b][0];
            rec[0] = ra;
            rec[1] = revatomcountmap[a][1];
            rec[2] = rb;
            rec[3] = revatomcountmap[b][1];
            rec[4] = dftype[a];
            rec[5] = dftype[b];
            rec[6] = onefourmap[a][b];
            rec[7] = std::abs(ra - rb);
            const double d = rsolv[a] + rsolv[b] - 0.8;
            pairlistCloseD[numpairsClose] = static_cast<float>(d * d);
            ++numpairsClose;
        }
    }
}

void cal_dha(Structure& s, int from, int to) {
    const int N = s._numRes;
    for (int p = std::max(from, 1); p <= std::min(to, N); ++p) {
        Residue& r = s[p];
        r.phi = r.psi = r.omega = UNDEF_DIHEDRAL;
        const bool prevLinked = p > 1 && (p == N || s[p - 1].pdbNum == r.pdbNum - 1);
        const bool nextLinked = p < N && (p == 1 || s[p + 1].pdbNum == r.pdbNum + 1);
        if (prevLinked) r.phi = Torsion(s[p - 1].atoms[C_], r.atoms[N_], r.atoms[CA_], r.atoms[C_]);
        if (nextLinked) {
            r.psi = Torsion(r.atoms[N_], r.atoms[CA_], r.atoms[C_], s[p + 1].atoms[N_]);
            r.omega = Torsion(r.atoms[CA_], r.atoms[C_], s[p + 1].atoms[N_], s[p + 1].atoms[CA_]);
        }
    }
}

}  // namespace lorvane
