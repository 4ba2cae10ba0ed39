#pragma once
// The program's one exception type. Libraries throw it through fail(); only
// the main functions of lorvane and lorvane-params catch it, print its
// message as one line on standard error and return its status.
#include <atomic>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>

namespace lorvane {

constexpr int STATUS_DATA = 1;   // bad input or data
constexpr int STATUS_USAGE = 2;  // command-line misuse

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message, int status = STATUS_DATA) : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// Throws Error(message, status). The message names the file, line or value at fault.
[[noreturn]] void fail(const std::string& message, int status = STATUS_DATA);

// An exception must not leave an OpenMP region. Each thread runs its work
// through run(); the first exception is kept (later ones are dropped, and
// the other threads skip the work they have not started), and rethrow()
// after the region throws it on the calling thread.
class FirstError {
public:
    template <class F>
    void run(F&& work) noexcept {
        if (failed_.load(std::memory_order_relaxed)) return;
        try {
            work();
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!error_) error_ = std::current_exception();
            failed_.store(true, std::memory_order_relaxed);
        }
    }
    void rethrow() {
        if (error_) std::rethrow_exception(error_);
    }

private:
    std::mutex mutex_;
    std::exception_ptr error_;
    std::atomic<bool> failed_{false};
};

}  // namespace lorvane
