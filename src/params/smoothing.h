#pragma once
// Smoothing kernels of the torsion-bin and distance tables.

namespace lorvane::params {

// Periodic 2-D smoothing of a 72 x 72 histogram with a product of two von
// Mises kernels exp(kappa (cos d - 1)), kappa = 1 / sigma^2 (sigma in rad).
void vonMisesSmooth(const double* in, double* out, double sigmaDeg);

// Non-periodic Gaussian blur of a 16 x 16 table (sigma in cells, truncated
// at `reach` cells); mass falling beyond the edges is dropped.
void gaussBlur16(const double* in, double* out, double sigmaCells, int reach);

}  // namespace lorvane::params
