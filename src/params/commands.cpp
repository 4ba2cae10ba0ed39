#include "params/commands.h"

#include <algorithm>

namespace {
std::vector<ParamsCommand>& registry() {
    static std::vector<ParamsCommand> r;
    return r;
}
}  // namespace

bool registerParamsCommand(const std::string& name, const std::string& help, ParamsCommandFn fn, int deriveOrder) {
    registry().push_back({name, help, fn, deriveOrder});
    std::stable_sort(registry().begin(), registry().end(), [](const ParamsCommand& a, const ParamsCommand& b) { return a.name < b.name; });
    return true;
}

const std::vector<ParamsCommand>& paramsCommands() { return registry(); }
