#pragma once
// Process-wide potential parameters and run settings. Loaded once on the
// main thread before any parallel region; read-only afterwards (except
// chi1SD, which production sets between regions).
#include <map>
#include <string>

namespace lorvane {

constexpr int NUM_PAIR_TYPES = 167;  // residue-specific heavy-atom types 0..166
constexpr int NO_PAIR_TYPE = 167;    // never scored
constexpr int ETABLE_BINS = 640;
constexpr int DFIRE_BINS = 30;
constexpr int MAX_ROTAMERS = 108;
constexpr int FITTED_E_SIZE = 24000;

// One polar-group record per residue type of "data/dipole.fress".
struct DipoleRecord {
    char resName[4] = {};
    char atomIdText[20][4] = {};
    char atomLabel[20][4] = {};
    char neighbourText[20][3][4] = {};
    int neighbourCount[20] = {};
    int atomCount = 0;
    int atomId[20] = {};
    int neighbourId[20][3] = {};
};

class PF {
public:
    // ---- pair tables ----
    static double MAXDIS2;   // squared cut-off of Etable, A^2
    static double BINSPERA;  // bins per A^2 of Etable
    static double Etable[168][168][ETABLE_BINS];
    static double edfire[NUM_PAIR_TYPES][NUM_PAIR_TYPES][DFIRE_BINS];
    static double LJclash[168][168];  // squared clash distance per type pair, 0 = none
    static std::map<std::string, int> DFatomtype;  // "RES ATOM" -> 0..166

    // ---- side-chain terms ----
    static DipoleRecord dipoletype[25];
    static int numDipole;  // records read
    static double pcs[20][5][6];
    static double pb[16][16][14];
    static constexpr char atomtype[16][4] = {"C3", "SG", "C2", "SD", "C1", "CG", "CR", "OC",
                                             "N3", "HC", "OG", "H",  "N2", "NE", "C",  "O"};
    // Side-chain dihedrals per type; counts the hydroxyl-H dihedral of Ser, Thr, Tyr.
    static constexpr int numChi[30] = {0, 1, 2, 3, 2, 0, 2, 2, 4, 2, 3, 2, 2, 3, 4, 2, 2, 1, 2, 3};
    static constexpr int numRotBond[30] = {0, 1, 2, 3, 2, 0, 2, 2, 4, 2, 3, 2, 2, 3, 4, 1, 1, 1, 2, 2};

    // ---- QUENDA loop potential ----
    static double QUENDA[20][20][80];

    // ---- rotamer library ----
    static int numsimplRot[20];
    static double simplRot[20][MAX_ROTAMERS][4];
    static double simplRotR[20][MAX_ROTAMERS][4];

    // ---- decoy pair table ----
    static double fittedE[FITTED_E_SIZE];

    // ---- run settings ----
    static double T;
    static double topFrac;
    static int nrep;
    static int numMP;
    static double UseBBT;
    static bool diag;
    static double chi1SD;

    // mode 1: Etable from the QUENDA pair file (0.1 A^2 bins); mode 2: from DFIRE (1 A^2 bins).
    // The pair file the mode samples with must exist; the other pair file, the dipole and the
    // OSCAR files are optional (their tables stay zero). Every table filled here is reset first.
    static void InitPar(const std::string& unused, const std::string& prefix, int unused2, int mode);
    static void initQUENDA(const std::string& path);
    // required = false leaves the library empty when the file is missing instead of stopping.
    static void LoadSimplRot(const std::string& path, bool required = true);
    static void LoadFittedE(const std::string& path);
};

}  // namespace lorvane
