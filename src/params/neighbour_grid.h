#pragma once
// Neighbour search over the atoms of one chain: a uniform cell grid that
// visits every pair within a cut-off once.
#include <cstdint>
#include <vector>

#include "model/geometry.h"

namespace lorvane::params {

// One atom of a chain in the neighbour search.
struct ChainAtom {
    Point p;
    int res;       // residue index in the chain
    int8_t slot;
    int16_t type;  // pair type 0..166 (pair tables); unused by the OSCAR counts
};

class CellGrid {
public:
    void build(const std::vector<ChainAtom>& atoms, float cutoff);
    // Calls f(i, j, d2) for every pair i < j with squared distance below cutoff^2.
    template <class F>
    void forEachPair(const std::vector<ChainAtom>& atoms, F&& f) const;

private:
    float cell_ = 1.0f, cut2_ = 0.0f;
    int nx_ = 0, ny_ = 0, nz_ = 0, reach_ = 1;
    float ox_ = 0, oy_ = 0, oz_ = 0;
    std::vector<int> start_, items_;
};

template <class F>
void CellGrid::forEachPair(const std::vector<ChainAtom>& atoms, F&& f) const {
    // Each cell meets itself and the half of its neighbourhood that lies after it, so every
    // pair is looked at once; f always receives the lower atom index first.
    for (int x = 0; x < nx_; ++x)
        for (int y = 0; y < ny_; ++y)
            for (int z = 0; z < nz_; ++z) {
                const int c = (x * ny_ + y) * nz_ + z;
                if (start_[c] == start_[c + 1]) continue;
                for (int dx = 0; dx <= reach_; ++dx)
                    for (int dy = (dx == 0 ? 0 : -reach_); dy <= reach_; ++dy)
                        for (int dz = (dx == 0 && dy == 0 ? 0 : -reach_); dz <= reach_; ++dz) {
                            const int X = x + dx, Y = y + dy, Z = z + dz;
                            if (X >= nx_ || Y < 0 || Y >= ny_ || Z < 0 || Z >= nz_) continue;
                            const int c2 = (X * ny_ + Y) * nz_ + Z;
                            const bool self = c2 == c;
                            for (int k = start_[c]; k < start_[c + 1]; ++k) {
                                const int i = items_[k];
                                const Point& p = atoms[i].p;
                                for (int l = self ? k + 1 : start_[c2]; l < start_[c2 + 1]; ++l) {
                                    const int j = items_[l];
                                    const Point& q = atoms[j].p;
                                    const float ddx = p.x - q.x, ddy = p.y - q.y, ddz = p.z - q.z;
                                    const float d2 = ddx * ddx + ddy * ddy + ddz * ddz;
                                    if (d2 < cut2_) {
                                        if (i < j) f(i, j, d2);
                                        else f(j, i, d2);
                                    }
                                }
                            }
                        }
            }
}

}  // namespace lorvane::params
