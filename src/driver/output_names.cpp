#include "driver/output_names.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "model/strings.h"

namespace lorvane {

namespace fs = std::filesystem;

std::string loopIdOf(const RunOptions& opt) {
    auto end = [](const std::string& e) { return e.empty() ? std::string("-1") : e; };
    return opt.protName + "_" + end(opt.startRes) + "_" + end(opt.endRes);
}

std::string outputPrefix(const RunOptions& opt) { return opt.outputPrefix.empty() ? "pdbout/" + loopIdOf(opt) : opt.outputPrefix; }

namespace {

// The input and default result name of a logged command line; false for
// another mode or a run with -o (whose names are its own).
bool loggedSampling(const std::string& line, std::string& input, std::string& name) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string t; in >> t;) w.push_back(t);
    std::string start, end;
    for (size_t i = 1; i < w.size(); ++i) {
        const bool hasValue = i + 1 < w.size();
        if (w[i] == "-o" || (w[i] == "-mode" && hasValue && w[i + 1] != "smc")) return false;
        if (w[i] == "-f" && hasValue) input = w[++i];
        else if (w[i] == "-start" && hasValue) start = w[++i];
        else if (w[i] == "-end" && hasValue) end = w[++i];
    }
    if (input.empty()) return false;
    RunOptions o;
    o.protName = File2ProtName(input);
    o.startRes = start;
    o.endRes = end;
    name = loopIdOf(o);
    return true;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    return fs::path(a).lexically_normal() == fs::path(b).lexically_normal();
}

}  // namespace

std::string warnOfReplacedResult(const RunOptions& opt, const std::string& logPath) {
    if (!opt.outputPrefix.empty() || opt.pdbFile.empty()) return "";
    const std::string path = outputPrefix(opt) + ".txt";
    std::error_code ec;
    if (!fs::exists(path, ec)) return "";
    std::ifstream log(logPath);
    std::string line, lastInput;
    while (std::getline(log, line)) {
        std::string input, name;
        if (loggedSampling(line, input, name) && name == loopIdOf(opt)) lastInput = input;
    }
    if (lastInput.empty() || sameFile(lastInput, opt.pdbFile)) return "";
    const std::string warning = "Warning: " + path + " was written by a run on " + lastInput + "; this run on " + opt.pdbFile +
                                " replaces it (result names keep six characters of the input name: give -o PREFIX to keep both)";
    std::cerr << warning << std::endl;
    return warning;
}

}  // namespace lorvane
