// QUENDA loop distance potential: heavy-atom pairs by van der Waals class and
// 0.1 A distance bins up to 8 A, loop against everything around it (the pairs:
// potentials/quenda_pairs.h).
#include "potentials/quenda.h"
#include "potentials/quenda_pairs.h"

namespace lorvane {

double quenda_e(const Potentials& p, const Structure& s, int start, int end, bool allAtoms, double& e1, double& e2, double& e3,
                double& e4) {
    double total = 0.0;
    forEachQuendaPair(s, start, end, allAtoms, [&](const QuendaPair& q) {
        const double e = p.quenda[q.classA()][q.classB()][q.bin()];
        total += e;
        // Partial sums: loop backbone with the frame and with loop backbone (e1),
        // loop side chains with the frame (e2), loop side chains with each other
        // (e3), loop backbone with loop side chains (e4).
        const bool aSide = q.slotA > 5, bSide = q.slotB > 5;
        if (!aSide) {
            if (!q.partnerInLoop || !bSide)
                e1 += e;
            else
                e4 += e;
        } else {
            if (!q.partnerInLoop)
                e2 += e;
            else if (bSide)
                e3 += e;
            else
                e4 += e;
        }
        return true;
    });
    return total;
}

}  // namespace lorvane
