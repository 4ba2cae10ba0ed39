#pragma once
// The training structures in a compact form shared by every derivation of
// lorvane-params: heavy atoms by template slot, DSSP class per residue.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "model/geometry.h"

using namespace lorvane;

constexpr int TRAIN_SLOTS = 15;  // heavy-atom template slots 0..14 (N CA C O H CB side chain)

struct TrainResidue {
    int8_t type = -1;     // residue-type index 0..19
    char ss = 'C';        // DSSP class mapped to H (H,G,I), E (E,B) or C (everything else)
    char chain = ' ';
    int pdbNum = 0;
    bool breakBefore = true;       // no peptide bond to the previous residue (chain start, gap, C-N > 2 A)
    uint16_t present = 0;          // bit j set: slot j was read from the file
    Point atoms[TRAIN_SLOTS];
    float bfactor[TRAIN_SLOTS] = {};
    bool has(int slot) const { return (present >> slot) & 1u; }
};

struct TrainChain {
    std::string pdbId;  // lower-case entry id, e.g. "1ail"
    char chain = ' ';
    // Statistical weight: 1 / number of chains carrying the same sequence, so
    // that the copies of a homo-oligomer count once together. Chains of one
    // entry are grouped when their observed sequences are identical or one
    // contains the other (disordered termini); across entries only identical
    // sequences are grouped.
    double weight = 1.0;
    std::vector<TrainResidue> residues;
};

struct TrainingSet {
    std::vector<TrainChain> chains;
    int files = 0;
    long residues = 0;
    int excludedFiles = 0;     // skipped by the exclusion list
    int unreadChains = 0;      // chains the PDB reader rejected
    int dsspFailures = 0;      // files (or chain groups) where mkdssp gave no result
    long dsspUnmatched = 0;    // residues without a DSSP line (class from phi/psi instead)
};

struct TrainingOptions {
    std::string dir;                    // folder of <id>.pdb or <id>.pdb.gz files
    std::set<std::string> excludeIds;   // lower-case PDB ids never used
    int threads = 2;
    bool dssp = true;                   // assign secondary structure with mkdssp
    // Optional binary copy of the loaded set: reused when it was written for
    // the same folder contents (file names and sizes), exclusion list and
    // DSSP setting, rewritten otherwise. Saves the minutes of reading and
    // DSSP while derivations are being developed.
    std::string cache;
};

// Reads every structure of the folder (sorted by file name, so results are
// reproducible) with the program's own PDB reader and templates. The
// templates must be loaded first (loadTemplates). Files are read in parallel
// but the chains come out in file order, so the result does not depend on
// the thread count.
TrainingSet loadTrainingSet(const TrainingOptions& opt);

// The same, loaded once per process and shared by every derivation that asks
// with the same folder, exclusion list and DSSP setting ("derive" runs many).
const TrainingSet& cachedTrainingSet(const TrainingOptions& opt);

// Atom::InitPar, Residue::InitMap and Residue::InitPar from the templates
// file, once per process; stops with a message when the file is missing.
void loadTemplates(const std::string& path);

// PDB ids, one per line (first 4 characters of the first token, lower-cased;
// blank lines and lines starting with '#' are ignored). Stops with a message
// when the file cannot be read.
std::set<std::string> readExcludeFile(const std::string& path);

// Options shared by every lorvane-params command, so that "derive" can hand
// one command line to all of them.
struct ParamsOptions {
    std::string train = "../shared/structures/train";
    std::string out = "data";
    std::string exclude;                       // file of PDB ids; empty = none
    int threads = 2;
    std::string templates = "data/atomProp2.txt";
    bool dssp = true;                          // --no-dssp: classes from phi/psi (tests only)
    std::string bench = "../shared/structures/bench";
    std::string reference = "../shared/structures/reference/top8000";
    std::string report = "docs/validation-params.md";  // validate writes its report here
    std::string cache;                         // --cache FILE: binary copy of the loaded set (development)
};

// Parses the common options (--train DIR, --out DIR, --exclude FILE,
// --threads N, --templates FILE, --no-dssp, --bench DIR, --reference DIR,
// --report FILE, --cache FILE); an unknown option or a missing value stops with status 2.
ParamsOptions parseParamsOptions(const std::vector<std::string>& args, const std::string& command);

// Templates loaded, exclusion list read, training set loaded (cached).
const TrainingSet& trainingSetFor(const ParamsOptions& o);

// Whole text of a plain or gzip-compressed file; false when it cannot be read.
bool readWholeFile(const std::string& path, std::string& out);
