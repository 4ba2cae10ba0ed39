#include "model/output.h"

#include <iomanip>

namespace lorvane {

void writeAtomRecords(const Templates& tm, const Structure& s, int from, int to, std::ostream& out) {
    int serial = 1;
    out << std::fixed << std::setprecision(3);
    for (int i = from; i <= to; ++i) {
        const Residue& r = s.residues[i];
        const int t = r.type;
        if (!isAminoAcid(t)) continue;
        for (int j = 0; j <= LAST_HEAVY_SLOT[t]; ++j) {
            if (j == SLOT_H || (t == GLY && j == SLOT_CB)) continue;
            const std::string& nm = tm.atomName[t][j];
            std::string field;
            if (nm.size() >= 4) {
                field = nm + " ";
            } else if (!nm.empty() && (nm[0] == '1' || nm[0] == '2' || nm[0] == '3')) {
                field = nm;
                field.resize(3, ' ');
                field += "  ";
            } else {
                field = " " + nm;
                field.resize(4, ' ');
                field += " ";
            }
            const Atom& a = r.atoms[j];
            out << "ATOM  " << std::setw(5) << serial++ << " " << field << THREE_LETTER[t] << " A" << std::setw(4) << r.pdbNum << "    "
                << std::setw(8) << a.x << std::setw(8) << a.y << std::setw(8) << a.z << "\n";
        }
    }
}

}  // namespace lorvane
