#pragma once
// A backbone-dependent rotamer preference (measuring, -xrotprior): how much
// more or less likely a side chain's rotamer is at its residue's (phi, psi)
// than at any, -ln P(rot | type, cell) + ln P(rot | type). A rotamer is chi1
// in three bins of 120 degrees and, for types with a chi2, chi2 in three bins
// of 120 degrees (PHE, TYR, ASP: chi2 modulo 180 in bins of 60, their rings
// and carboxylate being symmetric); a cell is (phi, psi) in bins of 30
// degrees. The table comes from tools/ranking/rotamer_backbone.py.
#include <array>
#include <string>
#include <vector>

#include "model/structure.h"
#include "model/templates.h"

namespace lorvane {

constexpr int PRIOR_CELLS = 144;  // 12 x 12 (phi, psi) cells of 30 degrees
constexpr int PRIOR_ROTAMERS = 9;  // chi1 bin * 3 + chi2 bin

struct RotamerPrior {
    // energy[type][cell][rotamer]; a type the table lacks scores 0.
    std::vector<std::array<std::array<double, PRIOR_ROTAMERS>, PRIOR_CELLS>> energy;
    std::vector<bool> known;
};

RotamerPrior parseRotamerPrior(const std::string& name, const std::string& text);
RotamerPrior loadRotamerPrior(const std::string& path);

// (phi, psi) cell of degrees in any range.
int priorCell(double phiDeg, double psiDeg);
// Rotamer bin of residue type t from chi1 and chi2 in degrees (chi2 ignored
// for types without one).
int priorRotamer(int t, double chi1Deg, double chi2Deg);
// What the preference of residue i of s reads besides its side chain: the
// table row of its type and (phi, psi) cell, and the slots of the atoms that
// end chi1 and chi2. Found once while only the side chain changes.
struct PriorSite {
    const std::array<double, PRIOR_ROTAMERS>* row = nullptr;  // null: a type the table lacks, scoring 0
    int type = -1;
    int chi1Slot = -1, chi2Slot = -1;  // -1: the template lacks the atom (chi2: or the type has no chi2)
    bool hasChi2 = false;
};
PriorSite priorSite(const RotamerPrior& prior, const Templates& tm, const Structure& s, int i);  // i must have neighbours
// The preference of residue r at its site as its atoms stand (0 without the
// atoms its angles need).
double priorEnergy(const PriorSite& site, const Residue& r);
// Both at once, for one look at a residue.
double rotamerPriorEnergy(const RotamerPrior& prior, const Templates& tm, const Structure& s, int i);

}  // namespace lorvane
