// Result and diagnostic files of the sampler. The directories are created
// when missing and a temporary file is made beside the result file before
// any sampling, so that a run whose results could not be stored stops at
// once instead of after the work is done. The result file itself is written
// through an AtomicFile at the last step: an earlier result stays untouched
// until the new one is complete.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <system_error>

#include "filter/filter.h"
#include "filter/final_safeguards.h"
#include "model/atomic_file.h"
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
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) fail("Cannot write the result file \"" + path + "\": a directory has that name", 1);
    AtomicFile probe(path);  // removed again: only whether it can be made counts
}

void writeLoopLine(std::ostream& out, int w, double dfire, double sideChain, double quenda, double g) {
    if (!(g <= WRITTEN_SCORE_CAP)) g = WRITTEN_SCORE_CAP;  // also a NaN
    out << std::fixed << std::setprecision(2) << "LOOP " << w << " " << dfire << " " << sideChain << " " << quenda << " " << g << "\n";
}

std::string nothingWrittenMessage(const std::string& resultPath) {
    return "No loop conformation passed the final refinement: nothing was written to " + resultPath;
}

void writeFlaggedFile(const std::string& path, const std::vector<int>& numbers) {
    AtomicFile file(path);
    file.stream() << "# loops written although they failed the final side-chain refinement or frame check\n";
    for (int n : numbers) file.stream() << n << "\n";
    file.commit();
}

void writeHeldLoops(const HeldLoops& held, const std::string& resultPath) {
    if (held.count == 0) fail(nothingWrittenMessage(resultPath), 1);
    AtomicFile result(resultPath);
    result.stream() << held.text;
    result.commit();
    if (!held.flagged.empty()) writeFlaggedFile(flaggedFilePath(resultPath), held.flagged);
}

}  // namespace lorvane
