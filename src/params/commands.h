#pragma once
// Subcommands of lorvane-params register themselves here, so that each
// derivation lives in its own file and the tool lists whatever is built in.
#include <string>
#include <vector>

using ParamsCommandFn = int (*)(const std::vector<std::string>& args);

struct ParamsCommand {
    std::string name;
    std::string help;
    ParamsCommandFn fn = nullptr;
    int order = 0;      // position in the "derive" pipeline; 0 = not part of it
};

bool registerParamsCommand(const std::string& name, const std::string& help, ParamsCommandFn fn, int deriveOrder);
const std::vector<ParamsCommand>& paramsCommands();

#define LORVANE_PARAMS_COMMAND(name, help, fn, order) \
    static const bool registered_##fn = registerParamsCommand(name, help, fn, order)
