#pragma once
// Every stretch of a chain the coordinates do not cover: internal gaps (with
// the loop that would model each) and terminal tails, and the table that
// `-mode gaps` prints.
#include <string>
#include <vector>

#include "model/entry.h"

namespace lorvane {

enum class GapPlace { Internal, NTerminal, CTerminal };

struct Gap {
    std::string chain;
    GapPlace place = GapPlace::Internal;
    // Positions of the missing residues in the chain's sequence; a break with
    // no missing residue known there has missingFirst = missingLast + 1.
    int missingFirst = -1, missingLast = -2;
    int length = -1;                      // missing residues; -1 when the entry does not tell how many
    std::string first = "-", last = "-";  // first and last missing residue (number + insertion code), "?" when unnumbered
    std::string sequence;  // one-letter codes, '?' for each residue of unknown name; "?" when the length is unknown, "-" for none
    bool modellable = false;
    std::string reason;  // why not, when not modellable
    // The loop that models the gap: the present residues next to it, widened
    // to MIN_LOOP_RESIDUES by present neighbours (right side first, then
    // left, alternately). Positions in the chain's sequence, -1 when none.
    int loopFirst = -1, loopLast = -1;
    std::string command;  // the command line modelling it, "-" when not modellable
};

// The gaps of every chain, chains in entry order and gaps in chain order.
// program names the executable in the commands ("lorvane").
std::vector<Gap> findGaps(const Entry& entry, const std::string& program = "lorvane");

// The tab-separated table of `-mode gaps`: a header line
// "chain first last length sequence modellable command", then one line per gap.
std::string gapsTable(const std::vector<Gap>& gaps);

}  // namespace lorvane
