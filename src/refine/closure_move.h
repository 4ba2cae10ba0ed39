#pragma once
// One move of the loop refinement: turn backbone dihedrals of loop residues
// before a window of three consecutive residues, then close the window again
// with the tripeptide solver, so that both anchors stay exactly where they
// are. Bond lengths, bond angles and peptide torsions of the whole loop are
// kept unless the window is bent (bendWindow); side chains and carbonyl
// oxygens move rigidly with their residue's backbone frame.
#include "closure/tripeptide.h"
#include "distributions/backbone_angles.h"
#include "growth/random.h"
#include "model/structure.h"

namespace lorvane {

// The window's fixed geometry, measured before a move breaks it.
struct WindowGeometry {
    double length[6] = {};  // CA1-C1, C1-N2, N2-CA2, CA2-C2, C2-N3, N3-CA3
    double angle[7] = {};   // N1-CA1-C1 ... N3-CA3-C3, radians
    double omega[2] = {};   // CA1-C1-N2-CA2, CA2-C2-N3-CA3, radians
    // O1 and O2 in the frames of their peptide planes (CA, C, next N), which
    // the turns before the window break for O1.
    double oxygen[2][3] = {};
};
WindowGeometry measureWindow(const Structure& s, int p);

// Bends the window for a geometry move: new N-CA-C angles of residues p..p+2
// and new peptide torsions p/p+1 and p+1/p+2, each drawn around its present
// value (normal, sd = step times the angle's training spread for the residue
// type, the torsion's type being that of the residue after the bond).
// closeWindow then closes with them; lengths and the other angles stay.
void bendWindow(WindowGeometry& g, const BackboneAngleTable& table, const Structure& s, int p, double step, RandomStream& random);

// Turns phi (psi == false) or psi of residue r by delta radians, moving every
// atom on the C-terminal side of the bond up to and including residue last
// (r <= last); residues after last stay.
void turnDihedral(Structure& s, int r, bool psi, double delta, int last);

// Closes residues p..p+2 again after turns before p: N and CA of p (moved)
// and CA and C of p + 2 (fixed) are joined with the geometry g measured
// before the turns. Of the solutions the one nearest to the window's present
// atoms is taken, so that a small turn makes a small move. The other atoms
// of the three residues follow their backbone frames, O(p) and O(p+1) their
// peptide planes. False, with the window unchanged, when no closure exists.
bool closeWindow(TripeptideClosure& solver, Structure& s, int p, const WindowGeometry& g);

}  // namespace lorvane
