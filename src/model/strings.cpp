#include "model/strings.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "model/error.h"

namespace lorvane {

std::vector<std::string> split(const std::string& s, const std::string& delim, bool keepEmpty) {
    std::vector<std::string> out;
    if (delim.empty()) {
        out.push_back(s);
        return out;
    }
    size_t start = 0;
    while (true) {
        size_t at = s.find(delim, start);
        if (at == std::string::npos) break;
        std::string piece = s.substr(start, at - start);
        if (keepEmpty || !piece.empty()) out.push_back(piece);
        start = at + delim.size();
    }
    out.push_back(s.substr(start));
    return out;
}

std::string File2ProtName(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = base.find('.');
    if (dot != std::string::npos && dot < 6) return base.substr(0, dot);
    return base.substr(0, 6);
}

std::string File2Extension(const std::string& path) {
    size_t dot = path.rfind('.');
    if (dot == std::string::npos) return path;
    return path.substr(dot + 1);
}

bool FileExists(const std::string& path) {
    std::ifstream in(path);
    return static_cast<bool>(in);
}

std::string openParameterFile(const std::string& path, const std::string& prefix, std::ifstream& in) {
    in.open(path);
    if (in) return path;
    const std::string second = prefix + path;
    in.clear();
    in.open(second);
    if (!in) fail("cannot open parameter file " + second);
    return second;
}

std::string itoa(int v) {
    std::ostringstream os;
    os << v;
    return os.str();
}

std::string itozeropad(int v, int width) {
    std::ostringstream os;
    os.width(width);
    os.fill('0');
    os << v;  // right-aligned: a minus sign follows the fill
    return os.str();
}

long toLong(const std::string& s) { return std::strtol(s.c_str(), nullptr, 10); }
double toDouble(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

}  // namespace lorvane
