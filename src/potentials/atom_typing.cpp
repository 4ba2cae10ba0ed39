#include "potentials/atom_typing.h"

#include <cstring>
#include <string>

#include "model/error.h"

namespace lorvane {

void typeAtoms(const Templates& tm, const Potentials& p, Structure& s, int loopStart, int loopEnd) {
    for (int i = 1; i <= s._numRes; ++i) {
        Residue& r = s.residues[i];
        const int t = r.type;
        if (t < 0 || t >= 20) continue;  // no templates, nothing to type
        const std::string resName = THREE_LETTER[t];
        const DipoleRecord* rec = nullptr;
        if (t < p.numDipoles && p.dipoles[t].atomCount > 0) {
            rec = &p.dipoles[t];
            // Records are addressed by residue type: a file in another order would mis-type every group.
            if (resName != rec->resName)
                fail("data/dipole.fress: record " + std::to_string(t + 1) + " is for " + rec->resName + ", but residue type " +
                      std::to_string(t) + " is " + resName);
        }
        const bool inLoop = loopStart <= i && i <= loopEnd;
        for (int j = 0; j < tm.numAtom[t] && j < MAX_ATOMS; ++j) {
            Atom& a = r.atoms[j];
            a.name = tm.atomName[t][j];
            if (inLoop) a.type = static_cast<int16_t>(tm.vdwType[t][j]);
            if (rec) {
                for (int k = 0; k < rec->atomCount; ++k)
                    if (rec->atomId[k] == j) {
                        a.fgIndex = k;
                        break;
                    }
                if (a.fgIndex >= 0 && a.fgIndex < rec->atomCount)
                    for (int c = 0; c < OSCAR_CLASSES; ++c)
                        if (std::strcmp(OSCAR_CLASS_NAMES[c], rec->atomLabel[a.fgIndex]) == 0) {
                            a.oscarType = c;
                            break;
                        }
            }
            auto it = p.pairTypes.find(resName + " " + a.name);
            if (it != p.pairTypes.end()) {
                a.dfireType = it->second;
                a.hasDfireType = true;
            } else {
                a.hasDfireType = false;
            }
        }
    }
}

}  // namespace lorvane
