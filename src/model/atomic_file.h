#pragma once
// Output files that are never seen half-written: the text goes to a
// temporary file in the same directory, which commit() renames over the
// final path in one step. Until then an earlier file at that path stays as it
// was; an AtomicFile destroyed without commit (an error unwinding the run)
// removes its temporary file, and so does an interrupt (SIGINT, SIGTERM,
// SIGHUP) once removeTemporariesOnSignals() has been called. Two runs writing
// the same path each write their own temporary file: the last rename wins
// and neither file is ever mixed with the other.
#include <fstream>
#include <string>

namespace lorvane {

class AtomicFile {
public:
    // Creates the temporary file beside path (the directory must exist);
    // stops with status 1 when it cannot be created, so that a run whose
    // output could not be stored stops before the work.
    explicit AtomicFile(std::string path);
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();  // removes the temporary file unless committed

    std::ostream& stream() { return out_; }
    const std::string& path() const { return path_; }
    const std::string& temporaryPath() const { return temp_; }
    // Flushes, syncs and closes the temporary file and renames it to path;
    // stops with status 1 (naming the path) when any of that fails.
    void commit();

private:
    std::string path_, temp_;
    std::ofstream out_;
    int slot_ = -1;  // entry in the table the signal handler reads
    bool committed_ = false;
};

// Installs handlers of SIGINT, SIGTERM and SIGHUP that remove every
// uncommitted temporary file and then end the process by the same signal
// (so the caller sees the usual "killed by signal" status). Call once on the
// main thread before any AtomicFile is created.
void removeTemporariesOnSignals();

}  // namespace lorvane
