#pragma once
// Decoy evaluation (compare mode): evaluateDecoys and its helpers, the
// pair-distance counting shared with the fitted pair-table derivation, and
// the funnel plot.
#include <set>
#include <string>
#include <vector>

#include "model/statistics.h"
#include "model/structure.h"
#include "model/templates.h"
#include "potentials/potentials.h"

namespace lorvane {

constexpr int MAX_DECOYS = 20000;       // decoys per file
constexpr int MAX_DUMP_DECOYS = 5000;   // decoys per file when pair distances are counted
constexpr int FITTED_BINS = 60;           // 0.1 A bins from 2.0 to 8.0 A
constexpr int FITTED_TYPES = 20;          // van der Waals type codes 1..20 are counted
static_assert(FITTED_BINS * FITTED_TYPES * FITTED_TYPES == FITTED_E_SIZE);
constexpr double DIST_CLASH = 2.0;      // a heavy-atom pair closer than this rejects the decoy
constexpr double DIST_MAX = 8.0;
constexpr double DIST_CA_CUT = 20.0;    // residue pairs whose CA atoms are farther apart are skipped

// Index of a pair at distance bin (0..59) with van der Waals codes ta, tb (1..20, either order).
inline int fittedIndex(int bin, int ta, int tb) {
    const int lo = ta < tb ? ta : tb, hi = ta < tb ? tb : ta;
    return 400 * bin + 20 * (hi - 1) + (lo - 1);
}

// Counts heavy-atom pairs between loop residues from..to and the rest of the
// chain (and loop pairs at least two apart, once each) in 0.1 A bins, and adds
// the fitted table's value of every counted pair to energy (nothing when the
// table is empty). Returns 1 after adding the counts to counts[0..23999];
// returns 0 on a pair closer than 2.0 A, leaving counts untouched (energy then
// holds the pairs met before the clash).
int dumpDistances(const Structure& s, int from, int to, int* counts, const std::vector<double>& fittedE, double& energy);

// What evaluateDecoys measured, for the funnel plot.
struct DecoyEvaluation {
    std::vector<double> rmsd;  // per decoy, against the input loop
    std::vector<double> z;     // per decoy, sum of the four normalised scores
    int lowestZ = -1;          // first decoy of lowest z
    int lowestRmsd = -1;       // first decoy of lowest RMSD
};

// Compare mode: reads the decoys of decoyFile (DecoyReader: each checked
// against the loop at positions start..end of native, the first fault stops
// naming the file and line) measures each decoy's backbone RMSD to the native
// loop, normalises and combines the four scores of every decoy and prints a
// summary line. With dumpDistances it also counts loop/surroundings pair
// distances, scores them with the fitted pair table (pot.fittedE, loaded by
// the caller) and writes "Eout/" and "disout2/" dumps for the decoy file,
// each replaced only once complete.
DecoyEvaluation evaluateDecoys(const Templates& t, const Potentials& pot, const std::string& decoyFile, int start, int end,
                               const Structure& native, bool dumpDistances);

// Path of a compare-mode dump under dir ("Eout" or "disout2"): dir + "/" +
// the decoy path, with a leading "/" and "." components dropped and ".."
// components written as "up", so that the dump always stays inside dir.
std::string dumpPath(const std::string& dir, const std::string& decoyFile);
// Creates the directories the file path needs; stops with a message on failure.
void makeParentDirectories(const std::string& file);

// Writes an SVG scatter plot of z against RMSD, one point per decoy, with the
// lowest-z and lowest-RMSD decoys marked. Stops with a message when the file
// cannot be written.
void writeFunnelPlot(const std::string& path, const std::string& title, const DecoyEvaluation& e);

// ---- fitted pair table (derived by lorvane-params fittede) ----

// Pair counts of one decoy group: decoys counted and the summed 24000 counts.
struct DistanceCounts {
    double decoys = 0;
    std::vector<double> counts = std::vector<double>(FITTED_E_SIZE, 0.0);
};
// Reads a compare-mode distance dump (disout2/...): the near-native line,
// then the other line, each a decoy count followed by 24000 counts. Stops
// with a message naming the file and line when it is not of that form.
void readDistanceDump(const std::string& path, DistanceCounts& nearNative, DistanceCounts& other);
// Energy per index: -ln((near[k] + a) / (other[k] * Tn / To + a)), Tn and To
// the totals of the two vectors, a the pseudo-count, clamped to [-cap, cap].
// An index with no count on either side gets 0; lower means more native-like.
std::vector<double> fittedLogRatio(const std::vector<double>& nearNative, const std::vector<double>& other, double pseudo, double cap);
// The table's one line: the values separated by single blanks, fixed notation.
std::string formatFittedTable(const std::vector<double>& e);

}  // namespace lorvane
