#pragma once
// Reading and writing the text files of lorvane-params: numbers as the
// tables print them, whole files in and out, and the gzip copy of a table.
#include <string>

namespace lorvane::params {

// Fixed notation with the given decimals; never "-0.000".
std::string formatFixed(double v, int decimals);
// A probability as the torsion and distance tables print it: "0" or four
// decimals in exponent form.
std::string formatProbability(double p);

// Appends rows x cols probabilities (row-major), blank-separated, one row a line.
void appendProbabilityRows(std::string& text, const double* table, int rows, int cols);

// dir/name, or name alone when dir is empty.
std::string outPath(const std::string& dir, const std::string& name);

// Writes text to path (creating its folder); throws Error when it cannot.
void writeTextFile(const std::string& path, const std::string& text);
// The same text gzip-compressed, level 6, with a fixed header (no name, time
// 0), so that the same text always gives the same bytes.
void writeGzipFile(const std::string& path, const std::string& text);

}  // namespace lorvane::params
