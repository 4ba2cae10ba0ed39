#include "model/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "model/error.h"

namespace lorvane {

namespace {

// The temporary files a signal handler must remove. A handler may only use
// async-signal-safe calls, so it cannot take a lock or touch the heap: it
// reads this fixed table, in static storage because a handler reaches
// nothing else. An entry's path is written completely before its flag is
// set, and the flag is cleared before the path is reused.
constexpr int MAX_TEMPORARIES = 32;
constexpr size_t MAX_PATH = 4096;
char temporaryPath[MAX_TEMPORARIES][MAX_PATH];
volatile std::sig_atomic_t temporaryUsed[MAX_TEMPORARIES];
std::mutex registryMutex;  // between threads that create or finish files; never taken by the handler

int registerTemporary(const std::string& absolute) {
    if (absolute.size() >= MAX_PATH) fail("output path too long: " + absolute);
    std::lock_guard<std::mutex> lock(registryMutex);
    for (int k = 0; k < MAX_TEMPORARIES; ++k) {
        if (temporaryUsed[k]) continue;
        std::memcpy(temporaryPath[k], absolute.c_str(), absolute.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        temporaryUsed[k] = 1;
        return k;
    }
    fail("more than " + std::to_string(MAX_TEMPORARIES) + " output files open at once");
}

void unregisterTemporary(int slot) {
    if (slot < 0) return;
    std::lock_guard<std::mutex> lock(registryMutex);
    temporaryUsed[slot] = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

extern "C" void removeTemporariesAndExit(int sig) {
    const int saved = errno;
    for (int k = 0; k < MAX_TEMPORARIES; ++k)
        if (temporaryUsed[k]) unlink(temporaryPath[k]);
    // End the process by the same signal, with its default action.
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    errno = saved;
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
    namespace fs = std::filesystem;
    const fs::path final(path_);
    fs::path dir = final.parent_path();
    if (dir.empty()) dir = ".";
    std::string pattern = (dir / ("." + final.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) fail("Cannot create a file in \"" + dir.string() + "\" for \"" + path_ + "\": " + std::strerror(errno));
    temp_ = pattern;
    // mkstemp makes the file private; the result gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    std::error_code ec;
    const fs::path absolute = fs::absolute(temp_, ec);
    try {
        slot_ = registerTemporary(ec ? temp_ : absolute.string());
    } catch (...) {
        close(fd);
        unlink(temp_.c_str());
        throw;
    }
    out_.open(temp_, std::ios::out | std::ios::trunc | std::ios::binary);
    close(fd);
    if (!out_) {
        unlink(temp_.c_str());
        unregisterTemporary(slot_);
        fail("Cannot write \"" + temp_ + "\" for \"" + path_ + "\"");
    }
}

AtomicFile::~AtomicFile() {
    if (committed_) return;
    out_.close();
    // Removed first, then forgotten: a signal in between finds the path gone, which is harmless.
    unlink(temp_.c_str());
    unregisterTemporary(slot_);
}

void AtomicFile::commit() {
    if (committed_) return;
    out_.flush();
    const bool written = static_cast<bool>(out_);
    out_.close();
    if (!written || out_.fail()) fail("Cannot write \"" + path_ + "\" (writing its temporary file " + temp_ + " failed)");
    const int fd = open(temp_.c_str(), O_RDONLY);
    if (fd < 0 || fsync(fd) != 0) {
        if (fd >= 0) close(fd);
        fail("Cannot write \"" + path_ + "\": " + std::strerror(errno));
    }
    close(fd);
    if (std::rename(temp_.c_str(), path_.c_str()) != 0) fail("Cannot move the finished file into place as \"" + path_ + "\": " + std::strerror(errno));
    committed_ = true;
    unregisterTemporary(slot_);
}

void removeTemporariesOnSignals() {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = removeTemporariesAndExit;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&sa.sa_mask, sig);  // one handler at a time
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}

}  // namespace lorvane
