#include "filter/final_safeguards.h"

#include "model/residue_names.h"

namespace lorvane {

bool disulfidePair(const Structure& s, int i, int a, int j, int b) {
    constexpr int SG = SLOT_CB + 1;
    if (s[i].type != CYS || s[j].type != CYS) return false;
    if (!((a == SG && (b == SG || b == SLOT_CB)) || (b == SG && a == SLOT_CB))) return false;
    return s[i].atoms[SG].present() && s[j].atoms[SG].present() && s[i].atoms[SG].sdis(s[j].atoms[SG]) < DISULFIDE_SG_SG * DISULFIDE_SG_SG;
}

std::string flaggedFilePath(const std::string& resultPath) {
    const bool txt = resultPath.size() >= 4 && resultPath.compare(resultPath.size() - 4, 4, ".txt") == 0;
    return (txt ? resultPath.substr(0, resultPath.size() - 4) : resultPath) + ".flagged.txt";
}

}  // namespace lorvane
