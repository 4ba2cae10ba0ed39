#pragma once
// The training structures in a compact form shared by every derivation of
// lorvane-params: heavy atoms by template slot, DSSP class per residue.
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "model/geometry.h"
#include "model/templates.h"

namespace lorvane::params {

constexpr int TRAIN_SLOTS = 15;  // heavy-atom template slots 0..14 (N CA C O H CB side chain)

// The secondary-structure classes (SS_HELIX, SS_STRAND, SS_COIL) as the tables name them.
inline constexpr char CLASS_LETTER[3] = {'H', 'E', 'C'};

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
    // Optional binary copy of the loaded set (training_cache.h).
    std::string cache;
};

// Reads every structure of the folder (sorted by file name, so results are
// reproducible) with the program's own PDB reader and these templates. Files
// are read in parallel but the chains come out in file order, so the result
// does not depend on the thread count.
TrainingSet loadTrainingSet(const Templates& t, const TrainingOptions& opt);

// PDB ids, one per line (first 4 characters of the first token, lower-cased;
// blank lines and lines starting with '#' are ignored). Throws Error when the
// file cannot be read or holds something else.
std::set<std::string> readExcludeFile(const std::string& path);

// Runs body(chainIndex, thread) over chains 0..nChains-1 with `threads`
// workers; chains are handed out dynamically, so bodies must only add to
// per-thread state. The first Error thrown by a body is thrown again here.
void forEachChain(int nChains, int threads, const std::function<void(int, int)>& body);

}  // namespace lorvane::params
