#include "params/neighbour_grid.h"

#include <algorithm>

#include "model/error.h"

namespace lorvane::params {

void CellGrid::build(const std::vector<ChainAtom>& atoms, float cutoff) {
    cut2_ = cutoff * cutoff;
    cell_ = cutoff / 2.0f;
    reach_ = 2;
    if (atoms.empty()) {
        nx_ = ny_ = nz_ = 0;
        start_.assign(1, 0);
        items_.clear();
        return;
    }
    float lo[3] = {atoms[0].p.x, atoms[0].p.y, atoms[0].p.z}, hi[3] = {lo[0], lo[1], lo[2]};
    for (const ChainAtom& a : atoms) {
        float v[3] = {a.p.x, a.p.y, a.p.z};
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], v[k]);
            hi[k] = std::max(hi[k], v[k]);
        }
    }
    ox_ = lo[0];
    oy_ = lo[1];
    oz_ = lo[2];
    nx_ = static_cast<int>((hi[0] - lo[0]) / cell_) + 1;
    ny_ = static_cast<int>((hi[1] - lo[1]) / cell_) + 1;
    nz_ = static_cast<int>((hi[2] - lo[2]) / cell_) + 1;
    const size_t cells = static_cast<size_t>(nx_) * ny_ * nz_;
    if (cells > 50000000) fail("coordinates span too large a box for the neighbour grid");
    std::vector<int> cellOf(atoms.size());
    start_.assign(cells + 1, 0);
    for (size_t i = 0; i < atoms.size(); ++i) {
        const Point& p = atoms[i].p;
        int c = (static_cast<int>((p.x - ox_) / cell_) * ny_ + static_cast<int>((p.y - oy_) / cell_)) * nz_ +
                static_cast<int>((p.z - oz_) / cell_);
        cellOf[i] = c;
        ++start_[c + 1];
    }
    for (size_t c = 0; c < cells; ++c) start_[c + 1] += start_[c];
    items_.assign(atoms.size(), 0);
    std::vector<int> fill(start_.begin(), start_.end() - 1);
    for (size_t i = 0; i < atoms.size(); ++i) items_[fill[cellOf[i]]++] = static_cast<int>(i);
}

}  // namespace lorvane::params
