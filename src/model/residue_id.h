#pragma once
// A residue as the PDB numbers it: sequence number and insertion code, and
// how residues are named in messages and on the command line.
#include <string>

namespace lorvane {

struct ResidueId {
    int num = 0;
    char icode = ' ';  // blank when the residue has no insertion code

    // "60", "60A", "-3", "10005".
    std::string str() const { return icode == ' ' ? std::to_string(num) : std::to_string(num) + icode; }
    bool operator==(const ResidueId& o) const { return num == o.num && icode == o.icode; }
    bool operator!=(const ResidueId& o) const { return !(*this == o); }
};

// Chain, number and insertion code as messages name a residue: "H60A".
inline std::string residueLabel(const std::string& chain, const ResidueId& id) { return chain + id.str(); }

// Reads a residue given on the command line: a decimal number (any number of
// digits, optional minus sign) with an optional one-letter insertion code
// ("60", "60A", "-3", "10005"), or a four-character hybrid-36 number as the
// PDB format writes residues from 10000 on ("A000" = 10000). Anything else is
// an Error with status 2 naming the text and the option.
ResidueId parseResidueId(const std::string& text, const std::string& option);

// Value of a four-character hybrid-36 field: upper case "A000".."ZZZZ" are
// 10000..1223055, lower case "a000".."zzzz" follow from 1223056. Returns false
// when the text is not such a field.
bool decodeHybrid36(const std::string& field, int& value);

}  // namespace lorvane
