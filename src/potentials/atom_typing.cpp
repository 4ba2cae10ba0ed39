#include "potentials/atom_typing.h"

#include <cstring>
#include <string>

#include "model/error.h"
#include "potentials/pf.h"

namespace lorvane {

void typeAtoms(Structure& s, int loopStart, int loopEnd) {
    for (int i = 1; i <= s._numRes; ++i) {
        Residue& r = s.residues[i];
        const int t = r.type;
        if (t < 0 || t >= 20) continue;  // no templates, nothing to type
        auto res = Residue::ResMap.find(t);
        const std::string resName = res != Residue::ResMap.end() ? res->second : Residue::Name3[t];
        const DipoleRecord* rec = nullptr;
        if (t < PF::numDipole && PF::dipoletype[t].atomCount > 0) {
            rec = &PF::dipoletype[t];
            // Records are addressed by residue type: a file in another order would mis-type every group.
            if (resName != rec->resName)
                fail("data/dipole.fress: record " + std::to_string(t + 1) + " is for " + rec->resName + ", but residue type " +
                      std::to_string(t) + " is " + resName);
        }
        const bool inLoop = loopStart <= i && i <= loopEnd;
        for (int j = 0; j < Residue::numAtom[t] && j < MAX_ATOMS; ++j) {
            Atom& a = r.atoms[j];
            a.name = Residue::cType[t][j];
            if (inLoop) a.type = static_cast<int16_t>(Residue::vdwType[t][j]);
            if (rec) {
                for (int k = 0; k < rec->atomCount; ++k)
                    if (rec->atomId[k] == j) {
                        a.fgIndex = k;
                        break;
                    }
                if (a.fgIndex >= 0 && a.fgIndex < rec->atomCount)
                    for (int c = 0; c < 16; ++c)
                        if (std::strcmp(PF::atomtype[c], rec->atomLabel[a.fgIndex]) == 0) {
                            a.oscarType = c;
                            break;
                        }
            }
            auto it = PF::DFatomtype.find(resName + " " + a.name);
            if (it != PF::DFatomtype.end()) {
                a.dfireType = it->second;
                a.hasDfireType = true;
            } else {
                a.hasDfireType = false;
            }
        }
    }
}

}  // namespace lorvane
