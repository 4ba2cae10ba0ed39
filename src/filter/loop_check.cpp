#include "filter/loop_check.h"

#include <cmath>
#include <fstream>
#include <map>
#include <regex>

namespace lorvane {

namespace {

std::string trim(const std::string& s) {
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return "";
    const size_t b = s.find_last_not_of(' ');
    return s.substr(a, b - a + 1);
}

double dist(const CheckAtom& a, const CheckAtom& b) {
    const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

bool isHydrogen(const std::string& name) {
    size_t k = 0;
    while (k < name.size() && std::isdigit(static_cast<unsigned char>(name[k]))) ++k;
    return k < name.size() && name[k] == 'H';
}

const CheckAtom* find(const std::vector<CheckAtom>& atoms, int res, const char* name) {
    for (const CheckAtom& a : atoms)
        if (a.resNum == res && a.name == name) return &a;
    return nullptr;
}

// Fields of an ATOM line the caller has checked to reach column 54.
CheckAtom parseAtom(const std::string& line) {
    CheckAtom a;
    a.name = trim(line.substr(12, 4));
    a.resName = line.substr(17, 3);
    a.resNum = std::stoi(line.substr(22, 4));
    a.x = std::stod(line.substr(30, 8));
    a.y = std::stod(line.substr(38, 8));
    a.z = std::stod(line.substr(46, 8));
    return a;
}

}  // namespace

bool readResultFile(const std::string& path, std::vector<WrittenLoop>& loops, std::string& error) {
    loops.clear();
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    static const std::regex loopLine(R"(^LOOP ([0-9]+) (-?[0-9]+\.[0-9]{2}) (-?[0-9]+\.[0-9]{2}) (-?[0-9]+\.[0-9]{2}) (-?[0-9]+\.[0-9]{2})$)");
    static const std::regex coord(R"(^ *-?[0-9]+\.[0-9]{3}$)");
    static const std::regex intField(R"(^ *[0-9]+$)");
    static const std::regex resField(R"(^ *-?[0-9]+$)");
    std::string line;
    int lineNo = 0;
    bool inLoop = false;
    int serial = 0;
    auto fail = [&](const std::string& what) {
        error = path + " line " + std::to_string(lineNo) + ": " + what + ": \"" + line + "\"";
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!inLoop) {
            std::smatch m;
            if (!std::regex_match(line, m, loopLine)) return fail("expected a LOOP line");
            WrittenLoop w;
            w.ordinal = std::stoi(m[1]);
            if (w.ordinal != static_cast<int>(loops.size()) + 1) return fail("loop ordinal out of sequence");
            w.dfire = std::stod(m[2]);
            w.sideChain = std::stod(m[3]);
            w.quenda = std::stod(m[4]);
            w.g = std::stod(m[5]);
            if (w.g > 1000000.0) return fail("torsion energy above the cap 1000000.00");
            loops.push_back(w);
            inLoop = true;
            serial = 0;
            continue;
        }
        if (line == "END ") {
            if (loops.back().atoms.empty()) return fail("loop without atom records");
            inLoop = false;
            continue;
        }
        if (line.size() != 54 || line.compare(0, 6, "ATOM  ") != 0) return fail("expected an atom record of 54 columns or END");
        if (!std::regex_match(line.substr(6, 5), intField) || std::stoi(line.substr(6, 5)) != ++serial)
            return fail("serial number not " + std::to_string(serial));
        if (line[11] != ' ' || line[16] != ' ' || line.substr(20, 2) != " A" || line.substr(26, 4) != "    ")
            return fail("blank or chain columns wrong");
        if (!std::regex_match(line.substr(22, 4), resField)) return fail("residue number field");
        for (int c = 0; c < 3; ++c)
            if (!std::regex_match(line.substr(30 + 8 * c, 8), coord)) return fail("coordinate field");
        const CheckAtom a = parseAtom(line);
        if (a.name.empty()) return fail("empty atom name");
        loops.back().atoms.push_back(a);
    }
    if (inLoop) {
        error = path + ": last loop has no END line";
        return false;
    }
    return true;
}

bool readFrame(const std::string& pdbPath, char chain, std::vector<CheckAtom>& atoms, std::string& error) {
    atoms.clear();
    std::ifstream in(pdbPath);
    if (!in) {
        error = "cannot open " + pdbPath;
        return false;
    }
    std::string line;
    char use = chain == '\0' ? ' ' : chain;
    bool chosen = use != ' ';
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "ENDMDL") == 0) break;
        if (line.size() < 54 || line.compare(0, 6, "ATOM  ") != 0) continue;
        const char alt = line[16];
        if (alt != ' ' && alt != 'A') continue;
        const char ch = line.size() > 21 ? line[21] : ' ';
        if (!chosen) {
            use = ch;
            chosen = true;
        }
        if (ch != use) continue;
        if (line[26] != ' ') continue;  // insertion codes are not loop residues
        atoms.push_back(parseAtom(line));
    }
    if (atoms.empty()) {
        error = pdbPath + ": no ATOM records for the chain";
        return false;
    }
    return true;
}

LoopVerdict checkLoop(const WrittenLoop& loop, const std::vector<CheckAtom>& frame, int start, int end) {
    LoopVerdict v;
    auto problem = [&](const std::string& p) {
        if (v.ok) v.problem = p;
        v.ok = false;
    };
    for (const CheckAtom& a : loop.atoms)
        if (a.resNum < start || a.resNum > end) problem("atom of residue " + std::to_string(a.resNum) + " outside the loop");

    // Anchors: the first residue's N and CA and the last residue's C and O stay where the
    // input has them. (The last residue's CA is rebuilt from the frame's peptide geometry;
    // its displacement is reported, not judged.)
    const std::pair<int, const char*> anchors[4] = {{start, "N"}, {start, "CA"}, {end, "C"}, {end, "O"}};
    for (const auto& [res, name] : anchors) {
        const CheckAtom* mine = find(loop.atoms, res, name);
        const CheckAtom* ref = find(frame, res, name);
        if (!mine) {
            problem(std::string("missing anchor atom ") + name + " " + std::to_string(res));
            continue;
        }
        if (!ref) continue;
        v.anchorShift = std::max(v.anchorShift, dist(*mine, *ref));
    }
    if (v.anchorShift > 0.01) problem("anchor atom moved by " + std::to_string(v.anchorShift) + " A");
    const CheckAtom* endCA = find(loop.atoms, end, "CA");
    const CheckAtom* refCA = find(frame, end, "CA");
    if (endCA && refCA) v.endCAShift = dist(*endCA, *refCA);

    // Peptide bonds, including the two joins to the frame.
    for (int r = start - 1; r <= end; ++r) {
        const CheckAtom* c = find(r < start ? frame : loop.atoms, r, "C");
        const CheckAtom* n = find(r + 1 > end ? frame : loop.atoms, r + 1, "N");
        if (!c || !n) {
            if (r >= start && r < end) problem("missing backbone atom at residue " + std::to_string(r));
            continue;
        }
        const double d = dist(*c, *n);
        v.minPeptide = std::min(v.minPeptide, d);
        v.maxPeptide = std::max(v.maxPeptide, d);
        if (std::fabs(d - 1.33) > 0.05) problem("peptide bond " + std::to_string(r) + "-" + std::to_string(r + 1) + " of " + std::to_string(d));
    }

    // Clashes with the frame: heavy atoms closer than 2.0 A, the two junction bonds aside.
    for (const CheckAtom& a : loop.atoms) {
        if (isHydrogen(a.name)) continue;
        for (const CheckAtom& f : frame) {
            if (f.resNum >= start && f.resNum <= end) continue;
            if (isHydrogen(f.name)) continue;
            if ((f.resNum == start - 1 && f.name == "C" && a.resNum == start && a.name == "N") ||
                (f.resNum == end + 1 && f.name == "N" && a.resNum == end && a.name == "C"))
                continue;
            const double d = dist(a, f);
            v.minFrameDist = std::min(v.minFrameDist, d);
        }
    }
    if (v.minFrameDist < 2.0) problem("heavy atom " + std::to_string(v.minFrameDist) + " A from the frame");

    // Backbone deviation, no superposition.
    double sum = 0;
    int n = 0;
    for (int r = start; r <= end; ++r)
        for (const char* name : {"N", "CA", "C", "O"}) {
            const CheckAtom* mine = find(loop.atoms, r, name);
            const CheckAtom* ref = find(frame, r, name);
            if (!mine || !ref) continue;
            const double d = dist(*mine, *ref);
            sum += d * d;
            ++n;
        }
    v.rmsd = n > 0 ? std::sqrt(sum / n) : 0.0;
    return v;
}

}  // namespace lorvane
