#pragma once
// Turning -chain, -start, -end and -seq into one loop of an entry: which chain,
// which residues (present or missing from the coordinates), which anchors, and
// every reason the loop cannot be modelled, named by chain, number and
// insertion code.
#include <string>
#include <vector>

#include "model/entry.h"

namespace lorvane {

// The sampler grows 4 to 22 residues between two fixed anchors.
constexpr int MIN_LOOP_RESIDUES = 4;
constexpr int MAX_LOOP_RESIDUES = 22;

struct LoopRequest {
    std::string chain;       // -chain, "" when not given
    std::string start, end;  // -start, -end as typed ("60", "60A", "10005")
    std::string seq;         // -seq, "" when not given
};

struct LoopResidue {
    std::string name;  // three-letter name the residue is modelled as (MSE as MET)
    ResidueId id;
    int present = -1;  // index in the chain's polymer; -1 when missing from the coordinates
};

struct LoopSelection {
    int chain = -1;                           // index in Entry::chains
    int first = -1, last = -1;                // the loop's positions in the chain's sequence
    int anchorBefore = -1, anchorAfter = -1;  // polymer indices of the fixed residues on each side
    std::vector<LoopResidue> residues;        // first..last in order

    bool hasMissing() const;
    std::string sequence() const;  // one-letter codes
};

// Resolves the request against the entry. Throws Error: status 2 for
// what the command line got wrong (unknown or ambiguous residue or chain, ends
// in different chains, start after end, length, a bad -seq), status 1 for what
// the entry does not allow (a break in the loop or next to it, an anchor
// without N, CA or C, a modified amino acid in the loop, missing residues of
// unknown sequence or numbering).
LoopSelection selectLoop(const Entry& entry, const LoopRequest& request);

// Why positions first..last of the chain's sequence cannot be one loop, or ""
// when they can. Missing residues of unknown name are not a reason here (a
// sequence given with -seq names them); unknown numbers are.
std::string loopProblem(const EntryChain& chain, int first, int last);

}  // namespace lorvane
