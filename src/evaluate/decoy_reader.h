#pragma once
// Reader of the decoys compare mode evaluates: result files of the sampler
// ("LOOP n s0 s1 s2 s3", the loop's ATOM records, "END"). A decoy is
// checked, not trusted: it must hold every heavy atom of every loop residue
// once, in loop order, under the residue numbers and names of the loop in the
// input structure (insertion codes are not written), with finite coordinates
// in the fixed columns, and must be closed
// by its END line. Anything else stops naming the file, the decoy and the line.
#include <array>
#include <string>
#include <vector>

#include "model/structure.h"
#include "model/table_text.h"
#include "model/templates.h"

namespace lorvane {

class DecoyReader {
public:
    // Decoys of the text in (read whole) for the loop at positions start..end of native.
    DecoyReader(const Templates& tm, TableText& in, const Structure& native, int start, int end);

    // Reads the next decoy into positions start..end of work (a copy of the
    // native structure) and its four scores into scores; false after the last.
    bool next(Structure& work, double scores[4]);
    // Decoys read so far.
    int count() const { return count_; }

private:
    [[noreturn]] void fail(const std::string& what) const;
    void readAtom(std::string_view line, Structure& work);
    void checkComplete() const;

    const Templates& tm_;
    TableText& in_;
    const Structure& native_;
    int start_, end_;
    int count_ = 0;
    int loopLine_ = 0;  // line of the open decoy's LOOP record
    int lastPos_ = 0;   // position of the residue of the last ATOM record
    std::string lastKey_;  // its chain, number and insertion code columns
    // Lines of each atom of the open decoy, per loop residue and slot (0 = absent).
    std::vector<std::array<int, MAX_ATOMS>> seen_;
};

}  // namespace lorvane
