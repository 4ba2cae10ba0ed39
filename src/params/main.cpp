// lorvane-params: derives the knowledge-based tables of data/ from the
// training structures (the commands: params/commands.h). Errors arrive here
// as one exception and leave as one line on standard error and a status.
#include <iostream>
#include <string>
#include <vector>

#include "model/error.h"
#include "params/commands.h"

int main(int argc, char** argv) {
    try {
        return lorvane::params::runTool(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const lorvane::Error& e) {
        std::cout.flush();
        std::cerr << e.what() << std::endl;
        return e.status();
    }
}
