#pragma once
// Command line of lorvane-params: the options every command shares (so that
// "derive" can hand one command line to all of them) and the few that single
// commands add, parsed by one parser.
#include <functional>
#include <string>
#include <vector>

namespace lorvane::params {

struct Options {
    std::string train = "../shared/structures/train";
    std::string out = "data";
    std::string exclude;  // file of PDB ids never used; empty = none
    int threads = 2;
    std::string templates = "data/atomProp2.txt";
    bool dssp = true;     // --no-dssp: classes from phi/psi (tests only)
    std::string bench = "../shared/structures/bench";
    std::string reference = "../shared/structures/reference/top8000";
    std::string report = "docs/validation-params.md";  // validate writes its report here
    std::string cache;    // --cache FILE: binary copy of the loaded training set (development)
};

// The shared options of the usage text.
extern const char* const kCommonOptionsHelp;

// Parses the shared options and those a command declares with flag(),
// text(), texts() and integer(). An unknown option, a missing value or a
// value out of range throws Error with status 2, naming the command.
class OptionParser {
public:
    explicit OptionParser(std::string command) : command_(std::move(command)) {}
    OptionParser& flag(const std::string& name, bool& target);
    OptionParser& text(const std::string& name, std::string& target);
    OptionParser& texts(const std::string& name, std::vector<std::string>& target);  // repeatable
    OptionParser& integer(const std::string& name, int& target, long lo, long hi);
    Options parse(const std::vector<std::string>& args) const;

private:
    struct Declared {
        std::string name;
        bool takesValue;
        std::function<void(const std::string& value)> set;
    };
    std::string command_;
    std::vector<Declared> declared_;
};

// The shared options alone.
Options parseOptions(const std::vector<std::string>& args, const std::string& command);

}  // namespace lorvane::params
