#include "model/errors.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

void fatal(const std::string& message, int status) {
    std::cout << message << '\n';
    std::cout.flush();
    std::fflush(stdout);
    std::exit(status);
}
