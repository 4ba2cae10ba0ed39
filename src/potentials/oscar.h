#pragma once
// OSCAR side-chain terms: an orientation-dependent pair energy between polar
// and functional atoms and a Fourier side-chain torsion energy.
#include "model/structure.h"
#include "model/templates.h"
#include "potentials/potentials.h"

namespace lorvane {

// Orientation-dependent pair energy of loop start..end with the chain and its
// typed hetero atoms (sets the orientation points of the loop's group atoms).
double oscar_e(const Potentials& p, Structure& s, int start, int end);
// Side-chain torsion energy of loop start..end (measures the chis, in degrees).
double scto_e(const Potentials& p, const Templates& t, Structure& s, int start, int end);
// Orientation factor of a class pair (ca, cb) from orientation points o and positions p.
float getori(const Potentials& p, const float* oa, const float* pa, const float* ob, const float* pb, int ca, int cb);
void orient(const float* o, const float* p1, const float* p2, float* out);
// OSCAR classes whose orientation is the normal of their group plane (C, CG, N2).
bool planarOscarClass(int c);
float coss(const float* a, const float* b, const float* c);
float cosv(const float* a, const float* b, const float* c, const float* d);

}  // namespace lorvane
