#pragma once
// Text helpers shared by every reader.
#include <fstream>
#include <string>
#include <vector>

namespace lorvane {

// Tokenizer used by all text readers. keepEmpty false: runs of delimiters
// give no empty tokens, but the text after the last delimiter is always
// appended (so a trailing delimiter yields one final empty token).
std::vector<std::string> split(const std::string& s, const std::string& delim, bool keepEmpty);

std::string File2ProtName(const std::string& path);
std::string File2Extension(const std::string& path);
bool FileExists(const std::string& path);
// Opens path, else prefix + path; stops with "cannot open parameter file" when neither opens.
// Returns the path that was opened.
std::string openParameterFile(const std::string& path, const std::string& prefix, std::ifstream& in);

std::string itoa(int v);
std::string itozeropad(int v, int width);

// Base-10 conversions with the C library's lenient rules (non-numbers give 0).
long toLong(const std::string& s);
double toDouble(const std::string& s);

}  // namespace lorvane
