#pragma once
// Fatal-error exit used by every reader and loader: one line on standard
// output naming what is wrong, then a non-zero status (1 for bad input or
// data, 2 for command-line misuse).
#include <string>

[[noreturn]] void fatal(const std::string& message, int status = 1);
