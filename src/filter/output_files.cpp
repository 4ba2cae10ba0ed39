// Result and diagnostic files of the sampler. The directories are created
// when missing and the result file is opened before any sampling, so that a
// run whose results could not be stored stops at once instead of after the
// work is done.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <system_error>

#include "filter/filter.h"
#include "model/error.h"

namespace lorvane {

std::string resultFilePath(const Sampler& run) {
    return run.settings.resultPath.empty() ? "pdbout/" + run.loopId + ".txt" : run.settings.resultPath;
}

namespace {

void ensureDirectory(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir, ec))
        fail("Cannot create the output directory \"" + dir + "\"", 1);
}

}  // namespace

void prepareOutputFiles(const std::string& path, bool diag) {
    filterLibrariesInit();
    const std::string dir = std::filesystem::path(path).parent_path().string();
    if (!dir.empty()) ensureDirectory(dir);
    if (diag) ensureDirectory("output");
    std::ofstream probe(path, std::ios::out | std::ios::trunc);
    if (!probe) fail("Cannot open the result file \"" + path + "\" for writing", 1);
    probe.close();
    if (probe.fail()) fail("Cannot write the result file \"" + path + "\"", 1);
}

void writeLoopLine(std::ostream& out, int w, double dfire, double sideChain, double quenda, double g) {
    if (!(g <= 1000000.0)) g = 1000000.0;  // also a NaN
    out << std::fixed << std::setprecision(2) << "LOOP " << w << " " << dfire << " " << sideChain << " " << quenda << " " << g << "\n";
}

}  // namespace lorvane
