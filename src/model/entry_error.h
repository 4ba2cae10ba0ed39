#pragma once
// The exception of the entry reader, the loop selection and the gaps listing:
// a one-line message naming the file, line, residue or value at fault, and the
// exit status main() should return (1 input or data, 2 command-line misuse).
// TODO(merge): lorvane::Error — replace EntryError by lorvane::Error and
// entryFail by lorvane::fail once the program's one exception type exists.
#include <stdexcept>
#include <string>

namespace lorvane {

constexpr int ENTRY_STATUS_DATA = 1;
constexpr int ENTRY_STATUS_USAGE = 2;

class EntryError : public std::runtime_error {
public:
    explicit EntryError(const std::string& message, int status = ENTRY_STATUS_DATA)
        : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

[[noreturn]] inline void entryFail(const std::string& message, int status = ENTRY_STATUS_DATA) {
    throw EntryError(message, status);
}

}  // namespace lorvane
