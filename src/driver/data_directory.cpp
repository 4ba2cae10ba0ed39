#include "driver/data_directory.h"

#include <filesystem>

#include "model/error.h"

namespace lorvane {

namespace fs = std::filesystem;

bool holdsTables(const std::string& dir) {
    std::error_code ec;
    return fs::is_regular_file(fs::path(dir) / "atomProp2.txt", ec) && fs::is_regular_file(fs::path(dir) / "QUENDApair.lib", ec);
}

std::string findDataDirectory(const std::string& option, const char* env, const std::vector<std::string>& candidates,
                              std::string* passedOver) {
    auto given = [](const std::string& dir, const std::string& how) {
        std::error_code ec;
        if (!fs::is_directory(dir, ec)) fail("data directory " + dir + " (" + how + ") does not exist");
        return dir;
    };
    if (!option.empty()) return given(option, "-data");
    if (env && *env) return given(env, "LORVANE_DATA");
    std::string looked, partial;
    for (const std::string& c : candidates) {
        if (holdsTables(c)) {
            if (passedOver) *passedOver = partial;
            return c;
        }
        std::error_code ec;
        if (partial.empty() && fs::is_regular_file(fs::path(c) / "atomProp2.txt", ec)) partial = c;
        looked += (looked.empty() ? "" : ", ") + c;
    }
    fail("no data directory with the tables (atomProp2.txt and QUENDApair.lib) in " + looked + ": give one with -data DIR or LORVANE_DATA");
}

std::vector<std::string> defaultDataCandidates(const std::string& exeDir) {
    std::vector<std::string> c{"data"};
    if (!exeDir.empty()) {
        c.push_back((fs::path(exeDir) / ".." / "share" / "lorvane" / "data").lexically_normal().string());
        c.push_back((fs::path(exeDir) / "data").string());
    }
    return c;
}

std::string executableDirectory(const char* argv0) {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && !self.empty()) return self.parent_path().string();
    if (argv0 && std::string(argv0).find('/') != std::string::npos) return fs::absolute(argv0, ec).parent_path().string();
    return "";
}

}  // namespace lorvane
