// The backbone-dependent rotamer preference: its bins must be those of the
// tool that derives the table (tools/ranking/rotamer_backbone.py, whose test
// has the same known answers), or the repacking would read the wrong energies
// without any error.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "potentials/rotamer_prior.h"
#include "support/expect_error.h"
#include "support/support.h"

using namespace lorvane;

namespace {

// A table for one type with energy 100 * cell + rotamer, so that a read
// tells which cell and rotamer it came from.
std::string encodedTable(const char* type, int skipCell = -1) {
    std::ostringstream out;
    out << "# test table\n";
    for (int c = 0; c < PRIOR_CELLS; ++c) {
        if (c == skipCell) continue;
        out << type << ' ' << c;
        for (int r = 0; r < PRIOR_ROTAMERS; ++r) out << ' ' << 100 * c + r;
        out << '\n';
    }
    return out.str();
}

}  // namespace

TEST(RotamerPrior, CellsAndRotamerBins) {
    struct Cell {
        double phi, psi;
        int cell;
    };
    const Cell cells[] = {{-60, -45, 130}, {0, 0, 0}, {359.9, -0.1, 143}, {180, 180, 78}, {-120, 130, 8 * 12 + 4}, {29.99, 30.0, 1}, {NAN, -45, 10}};
    for (const Cell& c : cells) EXPECT_EQ(priorCell(c.phi, c.psi), c.cell) << c.phi << " " << c.psi;

    struct Rot {
        int type;
        double chi1, chi2;
        int rot;
    };
    const Rot rots[] = {
        {LEU, -60, 170, 7},  // g-, t
        {LEU, 60, -60, 2},   // g+, g-
        {PHE, -60, 95, 7},   // the ring's two faces are one rotamer
        {PHE, -60, -85, 7},
        {ASN, 180, -85, 5},  // not symmetric: -85 is bin 2 of 120 degrees
        {SER, 60, 170, 0},   // no chi2: only chi1 counts
        {VAL, 175, 0, 3},
        {ASP, 300, 10, 6},
    };
    for (const Rot& r : rots) EXPECT_EQ(priorRotamer(r.type, r.chi1, r.chi2), r.rot) << THREE_LETTER[r.type] << " " << r.chi1 << " " << r.chi2;
}

TEST(RotamerPrior, MalformedTablesNameTheLine) {
    EXPECT_NO_THROW(parseRotamerPrior("t", encodedTable("TRP")));
    struct Bad {
        std::string text;
        const char* pattern;
    };
    const std::string good = encodedTable("LEU");
    const Bad bad[] = {
        {"LEU 0 1 2 3\n", "t line 1: .*fields"},
        {"GLY 0 1 2 3 4 5 6 7 8 9\n", "t line 1: not a residue type with a side chain"},
        {"XYZ 0 1 2 3 4 5 6 7 8 9\n", "t line 1: not a residue type"},
        {"LEU 144 1 2 3 4 5 6 7 8 9\n", "t line 1: .*cell"},
        {"LEU 0 1 2 3 4 5 6 7 8 x\n", "t line 1: "},
        {good + "LEU 5 1 2 3 4 5 6 7 8 9\n", "t line 146: a second line for LEU cell 5"},
        {encodedTable("LEU", 17), "t: no line for LEU cell 17"},
    };
    for (const Bad& b : bad) EXPECT_ERROR(parseRotamerPrior("t", b.text), STATUS_DATA, b.pattern);
}
