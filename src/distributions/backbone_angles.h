#pragma once
// Train-derived backbone angles of coil residues ("data/backbone_angles.txt",
// written by lorvane-params backbone-angles): the N-CA-C angle distribution
// and the trans peptide torsion per residue type. Loaded once before
// sampling when the protocol needs it, read-only afterwards; used by the
// drawn N-CA-C angles and the flexible closure.
#include <array>
#include <string>
#include <vector>

namespace lorvane {

class TableText;

struct BackboneAngleTable {
    bool loaded = false;
    double lo = 0.0, width = 0.0;                 // N-CA-C bins: first edge and width (degrees)
    std::array<std::vector<double>, 20> ncacCdf;  // cumulative probability at the upper edge of each bin (last = 1)
    std::array<double, 20> ncacMean{}, ncacSd{};  // degrees
    std::array<double, 20> omegaMean{}, omegaSd{}, cisFraction{};  // degrees, trans bonds before the type
};

// Reads the table; a missing file, a short or unknown row, a histogram that
// does not sum to 1 (within 1e-3) or a missing residue type stops the
// program naming the file and line (status 1).
void loadBackboneAngles(const std::string& path, BackboneAngleTable& table);
// The same on a text already read (loadBackboneAngles, tests, fuzzers).
void parseBackboneAngles(TableText& in, BackboneAngleTable& table);

// N-CA-C angle (degrees) at cumulative probability u in [0, 1] of a residue
// type: the inverse of the binned distribution, linear inside a bin.
double ncacQuantile(const BackboneAngleTable& table, int type, double u);

}  // namespace lorvane
