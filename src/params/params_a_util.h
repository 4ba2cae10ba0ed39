#pragma once
// Shared helpers of the backbone-torsion, distance and rotamer derivations
// of lorvane-params: bins, dihedrals and chi angles measured on training
// residues, weighted quantiles, smoothing kernels and table writers.
#include <string>
#include <utility>
#include <vector>

#include "params/training_set.h"

namespace paramsa {

constexpr int TBINS = 72;  // 5-degree torsion bins
constexpr int DBINS = 16;  // distance bins per axis
constexpr int MIN_GAP = 3, MAX_GAP_T = 21;
constexpr int MAX_R = 99;  // conditional rows r = 0..99
constexpr char CLASS_LETTER[3] = {'H', 'E', 'C'};

// Torsion bin of an angle in degrees: bin k is centred on -180 + 5k and
// covers [-182.5 + 5k, -177.5 + 5k), wrapped periodically.
int torsionBin(double deg);

// Backbone dihedrals of residue i of a chain in degrees; false when the
// residue is a chain end or next to a break, or a needed atom is absent.
bool phiPsi(const TrainChain& c, size_t i, double& phi, double& psi);
// omega of the peptide bond i -> i+1 (CA C N CA) in degrees; false if undefined.
bool omegaAfter(const TrainChain& c, size_t i, double& omega);

// Chi angles (degrees) of a residue from its atoms, measured exactly as the
// templates build them: for every free template dihedral of slot j (torsion
// -1234) with reference slots (A, B, C), the dihedral A-B-C-j. Returns the
// number of chis, or -1 when one of the atoms is absent.
int chiAngles(int type, const Point* atoms, uint16_t present, double chi[5]);
int numChis(int type);
// Period of chi k of a residue type: 180 for the two-fold symmetric
// Phe chi2, Tyr chi2, Asp chi2 and Glu chi3, otherwise 360.
double chiPeriod(int type, int k);
// Absolute angular difference |a - b| on a circle of the given period.
double angDiff(double a, double b, double period);
// a wrapped into [-period/2, period/2).
double wrapAngle(double a, double period);

// Weighted quantile q (0..1) of (value, weight) pairs; sorts the vector.
double weightedQuantile(std::vector<std::pair<float, float>>& v, double q);

// Periodic 2-D smoothing of a 72 x 72 histogram with a product of two von
// Mises kernels exp(kappa (cos d - 1)), kappa = 1 / sigma^2 (sigma in rad).
void vonMisesSmooth(const double* in, double* out, double sigmaDeg);

// Non-periodic Gaussian blur of a 16 x 16 table (sigma in cells, truncated
// at `reach` cells); mass falling beyond the edges is dropped.
void gaussBlur16(const double* in, double* out, double sigmaCells, int reach);

// Probability as written to the tables: "0" or four significant decimals in
// exponent form.
std::string fmtProb(double p);
std::string fmtFixed(double v, int decimals);

// Writes text to a file (the folder is created); stops with a message on failure.
void writeTable(const std::string& path, const std::string& text);
std::string outPath(const std::string& dir, const std::string& name);

}  // namespace paramsa
