#include "evaluate/decoy_reader.h"

#include "model/error.h"
#include "model/text_scan.h"

namespace lorvane {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// Heavy atoms the sampler writes for a residue: slots 0..last heavy, without
// the amide H and glycine's virtual CB.
bool written(int type, int slot) { return slot <= LAST_HEAVY_SLOT[type] && slot != SLOT_H && !(type == GLY && slot == SLOT_CB); }

}  // namespace

DecoyReader::DecoyReader(const Templates& tm, TableText& in, const Structure& native, int start, int end)
    : tm_(tm), in_(in), native_(native), start_(start), end_(end) {
    if (start < 1 || end > native._numRes || start >= end)
        lorvane::fail("loop positions " + std::to_string(start) + ".." + std::to_string(end) + " do not lie within the chain's positions 1.." +
                      std::to_string(native._numRes));
    seen_.resize(end - start + 1);
}

void DecoyReader::fail(const std::string& what) const {
    const std::string decoy = loopLine_ > 0 ? "decoy " + std::to_string(count_ + 1) + " (LOOP line " + std::to_string(loopLine_) + "): " : "";
    in_.fail(decoy + what);
}

bool DecoyReader::next(Structure& work, double scores[4]) {
    std::string_view line;
    while (in_.next(line)) {
        if (line.substr(0, 5) == "LOOP " || line == "LOOP") {
            if (loopLine_ > 0) fail("no END line before the next LOOP line");
            const auto& f = in_.fields(line);
            if (f.size() != 6) in_.fail("a LOOP line needs a number and four scores, " + quoted(line) + " has " + std::to_string(f.size() - 1) + " fields");
            in_.integer(f[1]);
            for (int q = 0; q < 4; ++q) scores[q] = in_.number(f[2 + q]);
            loopLine_ = in_.line();
            lastPos_ = start_ - 1;
            lastKey_.clear();
            for (auto& r : seen_) r.fill(0);
        } else if (line.substr(0, 6) == "ATOM  ") {
            if (loopLine_ == 0) in_.fail("ATOM record outside a decoy (no LOOP line since the last END)");
            readAtom(line, work);
        } else if (line.substr(0, 3) == "END") {
            if (loopLine_ == 0) continue;  // nothing to end (e.g. a closing PDB END record)
            checkComplete();
            loopLine_ = 0;
            ++count_;
            return true;
        } else if (loopLine_ > 0) {
            fail("only ATOM records and the END line belong to a decoy, not " + quoted(line));
        }
    }
    if (loopLine_ > 0) fail("the file ends inside this decoy: no END line, the decoy is cut short");
    return false;
}

void DecoyReader::readAtom(std::string_view line, Structure& work) {
    if (line.size() < 54)
        fail("ATOM record of " + std::to_string(line.size()) + " characters ends before the coordinates (column 54)");
    int num = 0;
    if (!textscan::parseInt(trimmed(line.substr(22, 4)), num) || line[26] != ' ')
        fail("residue number " + quoted(line.substr(22, 5)) + " is not a plain number");
    // Residues are taken in loop order: the record starts a new residue when its
    // chain, number or insertion code columns change, or when it repeats an atom
    // of the residue before and the next loop residue has the same number
    // (insertion-code residues share one number in the result file).
    const std::string name(trimmed(line.substr(12, 4)));
    const std::string key(line.substr(21, 6));
    int pos = lastPos_;
    if (pos < start_ || key != lastKey_) ++pos;
    else if (pos < end_ && native_[pos + 1].pdbNum == num) {
        const int held = tm_.slot(native_[pos].type, name);
        if (held >= 0 && seen_[pos - start_][held] != 0) ++pos;
    }
    const std::string loop = std::to_string(native_[start_].pdbNum) + ".." + std::to_string(native_[end_].pdbNum);
    if (pos > end_)
        fail("residue " + std::to_string(num) + " is residue " + std::to_string(pos - start_ + 1) + " of the decoy, but the loop " + loop + " has " +
             std::to_string(end_ - start_ + 1));
    if (native_[pos].pdbNum != num)
        fail("residue " + std::to_string(num) + " stands where the loop " + loop + " has residue " + std::to_string(native_[pos].pdbNum));
    lastPos_ = pos;
    lastKey_ = key;
    const int type = native_[pos].type;
    if (line.substr(17, 3) != THREE_LETTER[type])
        fail("residue " + std::to_string(num) + " is " + quoted(line.substr(17, 3)) + " but " + THREE_LETTER[type] + " in the input structure");
    const int slot = tm_.slot(type, name);
    if (slot < 0) fail(quoted(name) + " is not an atom of " + THREE_LETTER[type]);
    int& seenAt = seen_[pos - start_][slot];
    if (seenAt != 0) fail("atom " + name + " of residue " + std::to_string(num) + " again (first at line " + std::to_string(seenAt) + ")");
    double xyz[3];
    for (int c = 0; c < 3; ++c)
        if (!textscan::parseFinite(trimmed(line.substr(30 + 8 * c, 8)), xyz[c]))
            fail("coordinate " + quoted(line.substr(30 + 8 * c, 8)) + " of atom " + name + " is not a finite number");
    seenAt = in_.line();
    Atom& a = work[pos].atoms[slot];
    a.x = static_cast<float>(xyz[0]);
    a.y = static_cast<float>(xyz[1]);
    a.z = static_cast<float>(xyz[2]);
    a.type = static_cast<int16_t>(tm_.vdwType[type][slot]);
    a.name = name;
    a.missing = 0;
}

void DecoyReader::checkComplete() const {
    for (int pos = start_; pos <= end_; ++pos) {
        const int type = native_[pos].type;
        const std::string res = std::string(THREE_LETTER[type]) + " " + std::to_string(native_[pos].pdbNum);
        bool any = false;
        for (int slot = 0; slot < tm_.numAtom[type] && !any; ++slot) any = seen_[pos - start_][slot] != 0;
        if (!any) fail("residue " + res + " of the loop is missing");
        for (int slot = 0; slot < tm_.numAtom[type]; ++slot)
            if (written(type, slot) && seen_[pos - start_][slot] == 0) fail("residue " + res + " lacks atom " + tm_.atomName[type][slot]);
    }
}

}  // namespace lorvane
