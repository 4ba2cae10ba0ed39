#include "params/options.h"

#include <cstdlib>

#include "model/error.h"

namespace lorvane::params {

const char* const kCommonOptionsHelp =
    "common options:\n"
    "  --train DIR       training structures (*.pdb.gz, *.pdb)   [../shared/structures/train]\n"
    "  --out DIR         folder the tables are written to          [data]\n"
    "  --exclude FILE    PDB ids never used, one per line\n"
    "  --threads N       threads for reading the training set      [2]\n"
    "  --templates FILE  residue templates                         [data/atomProp2.txt]\n"
    "  --bench DIR       benchmark loops (validate only)           [../shared/structures/bench]\n"
    "  --reference DIR   Top8000 grids (validate only)             [../shared/structures/reference/top8000]\n"
    "  --report FILE     validation report (validate only)         [docs/validation-params.md]\n"
    "  --no-dssp         classes from phi/psi instead of mkdssp (tests only)\n"
    "  --cache FILE      binary copy of the loaded training set, reused when still valid (development)\n";

namespace {

long parseInteger(const std::string& command, const std::string& name, const std::string& v, long lo, long hi) {
    char* end = nullptr;
    const long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || !end || *end || n < lo || n > hi)
        fail("lorvane-params " + command + ": bad value \"" + v + "\" for " + name + " (an integer " + std::to_string(lo) + ".." +
                 std::to_string(hi) + ")",
             STATUS_USAGE);
    return n;
}

}  // namespace

OptionParser& OptionParser::flag(const std::string& name, bool& target) {
    declared_.push_back({name, false, [&target](const std::string&) { target = true; }});
    return *this;
}

OptionParser& OptionParser::text(const std::string& name, std::string& target) {
    declared_.push_back({name, true, [&target](const std::string& v) { target = v; }});
    return *this;
}

OptionParser& OptionParser::texts(const std::string& name, std::vector<std::string>& target) {
    declared_.push_back({name, true, [&target](const std::string& v) { target.push_back(v); }});
    return *this;
}

OptionParser& OptionParser::integer(const std::string& name, int& target, long lo, long hi) {
    const std::string command = command_;
    declared_.push_back(
        {name, true, [&target, command, name, lo, hi](const std::string& v) { target = static_cast<int>(parseInteger(command, name, v, lo, hi)); }});
    return *this;
}

Options OptionParser::parse(const std::vector<std::string>& args) const {
    Options o;
    bool noDssp = false;
    OptionParser all(command_);
    all.text("--train", o.train).text("--out", o.out).text("--exclude", o.exclude).text("--templates", o.templates);
    all.text("--bench", o.bench).text("--reference", o.reference).text("--report", o.report).text("--cache", o.cache);
    all.flag("--no-dssp", noDssp).integer("--threads", o.threads, 1, 256);
    all.declared_.insert(all.declared_.end(), declared_.begin(), declared_.end());
    for (size_t i = 0; i < args.size(); ++i) {
        const Declared* d = nullptr;
        for (const Declared& x : all.declared_)
            if (x.name == args[i]) d = &x;
        if (!d) fail("lorvane-params " + command_ + ": unknown option \"" + args[i] + "\"", STATUS_USAGE);
        if (!d->takesValue) {
            d->set("");
            continue;
        }
        if (i + 1 >= args.size()) fail("lorvane-params " + command_ + ": option " + args[i] + " needs a value", STATUS_USAGE);
        d->set(args[++i]);
    }
    o.dssp = !noDssp;
    return o;
}

Options parseOptions(const std::vector<std::string>& args, const std::string& command) { return OptionParser(command).parse(args); }

}  // namespace lorvane::params
