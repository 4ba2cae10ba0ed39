#include "potentials/atom_typing.h"

#include <cstring>
#include <string>

#include "model/error.h"
#include "potentials/oscar.h"

namespace lorvane {

namespace {

// Pair type of the template atom "RES ATOM", or none.
void setPairType(const Potentials& p, const std::string& key, Atom& a) {
    auto it = p.pairTypes.find(key);
    a.hasDfireType = it != p.pairTypes.end();
    if (a.hasDfireType) a.dfireType = it->second;
}

// Hetero atoms take the pair type and OSCAR class of the template atom they
// borrow. A polar-group atom is oriented by its own covalent neighbours, as
// template atoms are by theirs: the normal of the plane through two of them
// for the planar classes, else their centre. An atom without neighbours (a
// metal ion, a water) has no orientation and no OSCAR term.
void typeHeteroAtoms(const Templates& tm, const Potentials& p, Structure& s) {
    for (HeteroAtom& h : s.hetero) {
        const int t = h.templateType, j = h.templateSlot;
        setPairType(p, std::string(THREE_LETTER[t]) + " " + tm.atomName[t][j], h);
        h.oscarType = ABSENT;
        h.fgIndex = ABSENT;
        if (t >= p.numDipoles || h.bonded.empty()) continue;
        const DipoleRecord& rec = p.dipoles[t];
        for (int k = 0; k < rec.atomCount; ++k) {
            if (rec.atomId[k] != j) continue;
            for (int c = 0; c < OSCAR_CLASSES; ++c)
                if (std::strcmp(OSCAR_CLASS_NAMES[c], rec.atomLabel[k]) == 0) h.oscarType = c;
            h.fgIndex = k;
        }
        if (h.oscarType == ABSENT) continue;
        const HeteroAtom& n0 = s.hetero[h.bonded[0]];
        if (planarOscarClass(h.oscarType) && h.bonded.size() >= 2) {
            orient(&h.x, &n0.x, &s.hetero[h.bonded[1]].x, h.orientPoint);
        } else {
            for (int k = 0; k < 3; ++k) {
                float sum = 0.0f;
                for (int b : h.bonded) sum += (&s.hetero[b].x)[k];
                h.orientPoint[k] = sum / static_cast<float>(h.bonded.size());
            }
        }
    }
}

}  // namespace

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
            setPairType(p, resName + " " + a.name, a);
        }
    }
    typeHeteroAtoms(tm, p, s);
}

}  // namespace lorvane
