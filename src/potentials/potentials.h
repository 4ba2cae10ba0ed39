#pragma once
// The knowledge-based potential tables: the sampling pair table and its
// clash distances, the DFIRE table and the atom-type keys both pair tables
// use, the polar-group records and OSCAR coefficients of the side-chain
// terms, the QUENDA loop table, the rotamer library and the fitted decoy
// table. Loaded once on the main thread (loaders below); read-only afterwards.
#include <map>
#include <string>
#include <vector>

#include "model/residue_names.h"
#include "model/zeroed.h"

namespace lorvane {

constexpr double REJECTED = 12345.0;  // energy or weight of a rejected, empty or infinite entry
// Energies, scores and weights above this count as impossible: the cut-off of
// growth, closure and the filter (a repeated step relaxes the side-chain cut).
constexpr double ENERGY_CUT = 200.0;

constexpr int NUM_PAIR_TYPES = 167;  // residue-specific heavy-atom types 0..166
constexpr int NO_PAIR_TYPE = 167;    // never scored
constexpr int PAIR_TABLE_TYPES = NUM_PAIR_TYPES + 1;
constexpr int ETABLE_BINS = 640;
constexpr int DFIRE_BINS = 30;
constexpr int QUENDA_CLASSES = 20;  // van der Waals codes 1..20
constexpr int QUENDA_BINS = 80;     // 0.1 A up to 8 A
constexpr int OSCAR_CLASSES = 16;
constexpr int OSCAR_TERMS = 14;
constexpr int SC_TORSION_TERMS = 6;
constexpr int MAX_DIPOLE_RECORDS = 25;
constexpr int MAX_GROUP_ATOMS = 20;
constexpr int MAX_ROTAMERS = 108;
constexpr int FITTED_E_SIZE = 24000;

// Side-chain atom classes of the OSCAR terms, in table order.
inline constexpr char OSCAR_CLASS_NAMES[OSCAR_CLASSES][4] = {"C3", "SG", "C2", "SD", "C1", "CG", "CR", "OC",
                                                             "N3", "HC", "OG", "H",  "N2", "NE", "C",  "O"};

// One polar-group record per residue type of "data/dipole.fress".
struct DipoleRecord {
    char resName[4] = {};
    char atomIdText[MAX_GROUP_ATOMS][4] = {};
    char atomLabel[MAX_GROUP_ATOMS][4] = {};
    char neighbourText[MAX_GROUP_ATOMS][3][4] = {};
    int neighbourCount[MAX_GROUP_ATOMS] = {};
    int atomCount = 0;
    int atomId[MAX_GROUP_ATOMS] = {};
    int neighbourId[MAX_GROUP_ATOMS][3] = {};
};

// Side-chain rotamers per residue type, chis in radians. In chi a value above
// 20 marks an angle that repeats the previous rotamer's; resolved holds the
// angle itself.
struct RotamerTable {
    int count[NUM_AMINO_ACIDS] = {};
    ZeroedArray<double[MAX_ROTAMERS][4]> chi;
    ZeroedArray<double[MAX_ROTAMERS][4]> resolved;
    RotamerTable();  // empty
};

struct Potentials {
    // ---- pair tables ----
    double maxDis2 = 64.0;   // squared cut-off of etable, A^2
    double binsPerA = 10.0;  // bins per A^2 of etable
    ZeroedArray<double[PAIR_TABLE_TYPES][ETABLE_BINS]> etable;  // sampling pair table
    ZeroedArray<double[NUM_PAIR_TYPES][DFIRE_BINS]> edfire;      // DFIRE, 0.5 A bins
    ZeroedArray<double[PAIR_TABLE_TYPES]> ljClash;              // squared clash distance per type pair, 0 = none
    std::map<std::string, int> pairTypes;                             // "RES ATOM" -> 0..166

    // ---- side-chain terms ----
    DipoleRecord dipoles[MAX_DIPOLE_RECORDS];
    int numDipoles = 0;  // records read
    double pcs[NUM_AMINO_ACIDS][5][SC_TORSION_TERMS] = {};  // side-chain torsion coefficients
    double pb[OSCAR_CLASSES][OSCAR_CLASSES][OSCAR_TERMS] = {};

    // ---- QUENDA loop potential: [class - 1][class - 1][bin] ----
    ZeroedArray<double[QUENDA_CLASSES][QUENDA_BINS]> quenda;

    RotamerTable rotamers;

    std::vector<double> fittedE;  // FITTED_E_SIZE entries once loaded

    Potentials();  // every table zero

    // Sampling pair energy of types ta, tb at squared distance d2 (below maxDis2).
    double pairEnergy(int ta, int tb, double d2) const { return etable[ta][tb][static_cast<int>(d2 * binsPerA)]; }
};

// mode 1: etable from the QUENDA pair file (0.1 A^2 bins); mode 2: from DFIRE (1 A^2 bins).
// mode 3: the QUENDA file's bins and clash walls, DFIRE energies (kT) outside the walls.
// Reads dfire_pair.lib, QUENDApair.lib, dipole.fress and oscarparams.txt of
// the data directory, all required in both modes. Every table filled here is
// reset first.
void loadPairTables(Potentials& p, int mode, const std::string& dataDir = "data");
void loadQuenda(Potentials& p, const std::string& path);
void loadRotamers(Potentials& p, const std::string& path);
void loadFittedTable(Potentials& p, const std::string& path);
// Each loader stops (status 1, naming the file and line) on a missing or empty
// file, a line without the fields its format holds, a field that is not a
// whole finite number, an index outside the table, an entry given twice or
// an entry missing. The parsers below do the same on a text already read
// (tests, fuzzers); parseDfirePairs defines the atom types parseQuendaPairs needs.
void parseDfirePairs(Potentials& p, class TableText& in, int mode);
void parseQuendaPairs(Potentials& p, class TableText& in, int mode);
void parseDipoles(Potentials& p, class TableText& in);
void parseOscar(Potentials& p, class TableText& in);
void parseQuenda(Potentials& p, class TableText& in);
void parseRotamers(Potentials& p, class TableText& in);
void parseFittedTable(Potentials& p, class TableText& in);

}  // namespace lorvane
