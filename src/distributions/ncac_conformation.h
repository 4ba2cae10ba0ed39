#pragma once
// Train-derived N-CA-C angle by backbone conformation ("ncac_phipsi.txt",
// written by lorvane-params ncac-phipsi): the angle's mean per residue type
// plus an offset per (phi, psi) cell for glycine, proline and the other
// types. The angle opens and closes with the residue's own phi and psi by
// several degrees, more than its spread within a type, so a grown residue
// built with the angle of its candidate (phi, psi) lies nearer a real chain
// than one built with a draw from the type's distribution. Read only when
// the protocol asks for it.
#include <array>
#include <string>
#include <vector>

namespace lorvane {

class TableText;

constexpr int NCAC_GROUPS = 3;  // glycine, proline, the other types

struct NcacConformationTable {
    bool loaded = false;
    double cell = 0.0;  // cell width (degrees); cells start at -180
    int cells = 0;      // cells per axis
    std::array<double, 20> mean{};                           // degrees, per residue type
    std::array<std::vector<double>, NCAC_GROUPS> offset;     // degrees, [phi cell * cells + psi cell]
    std::array<std::vector<float>, 20> byBin;                // degrees at each (phi, psi) bin centre, [NUM_BINS * phi bin + psi bin]
};

// The group a residue type's offsets come from, and its name in the file.
int ncacGroup(int type);
const char* ncacGroupName(int group);

// Reads the table; a missing file, an unknown or short row, a cell width
// that does not divide 360, a missing type or cell row stops the program
// naming the file and line (status 1).
void loadNcacConformation(const std::string& path, NcacConformationTable& table);
// The same on a text already read (loader, tests).
void parseNcacConformation(TableText& in, NcacConformationTable& table);

// N-CA-C angle (degrees) of a residue type at (phi, psi) in degrees: the
// type's mean plus the group's offsets interpolated bilinearly between cell
// centres, periodic in both angles.
double ncacAt(const NcacConformationTable& table, int type, double phiDeg, double psiDeg);

}  // namespace lorvane
