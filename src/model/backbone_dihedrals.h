#pragma once
// Backbone dihedrals of residue i of a structure, in degrees, from the
// backbone atoms of i and its neighbours (the caller knows both exist).
#include "model/structure.h"

namespace lorvane {

double phiAt(const Structure& s, int i);    // C(i-1) N CA C
double psiAt(const Structure& s, int i);    // N CA C N(i+1)
double omegaAt(const Structure& s, int i);  // CA C N(i+1) CA(i+1): the peptide bond after i

}  // namespace lorvane
