#include <iomanip>
#include <ostream>

#include "model/structure.h"

namespace lorvane {

void Structure::output(int from, int to, int mode, std::ostream& out) {
    (void)mode;
    int serial = 1;
    out << std::fixed << std::setprecision(3);
    for (int i = from; i <= to; ++i) {
        const Residue& r = residues[i];
        const int t = r.type;
        if (t < 0 || t >= 20) continue;
        for (int j = 0; j <= Residue::lastDFire[t]; ++j) {
            if (j == 4 || (t == GLY && j == 5)) continue;
            const std::string& nm = Residue::cType[t][j];
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
            out << "ATOM  " << std::setw(5) << serial++ << " " << field << Residue::Name3[t] << " A" << std::setw(4) << r.pdbNum
                << "    " << std::setw(8) << a.x << std::setw(8) << a.y << std::setw(8) << a.z << "\n";
            out.flush();
        }
    }
}

}  // namespace lorvane
