#include "model/table_text.h"

#include "model/error.h"
#include "model/text_scan.h"

namespace lorvane {

TableText TableText::read(const std::string& path, const std::string& what) {
    std::string text;
    if (!textscan::readWholeFile(path, text)) lorvane::fail("cannot open " + what + " " + path);
    TableText t(path, std::move(text));
    if (t.text_.find_first_not_of(" \t\r\n\v\f") == std::string::npos) t.failFile("the file is empty");
    return t;
}

TableText::TableText(std::string name, std::string text) : name_(std::move(name)), text_(std::move(text)) {}

bool TableText::next(std::string_view& line) {
    if (at_ >= text_.size()) return false;
    const size_t nl = text_.find('\n', at_);
    const size_t end = nl == std::string::npos ? text_.size() : nl;
    line = std::string_view(text_).substr(at_, end - at_);
    at_ = nl == std::string::npos ? text_.size() : nl + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++line_;
    return true;
}

void TableText::rewind() {
    at_ = 0;
    line_ = 0;
}

const std::vector<std::string_view>& TableText::fields(std::string_view line) {
    fields_.clear();
    std::string_view tok;
    while (textscan::nextToken(line, tok)) fields_.push_back(tok);
    return fields_;
}

void TableText::fail(const std::string& what) const { failAt(line_, what); }

void TableText::failAt(int line, const std::string& what) const {
    lorvane::fail(name_ + " line " + std::to_string(line) + ": " + what);
}

void TableText::failFile(const std::string& what) const { lorvane::fail(name_ + ": " + what); }

double TableText::number(std::string_view field) const {
    double v = 0;
    if (!textscan::parseFinite(field, v)) fail(quoted(field) + " is not a finite number");
    return v;
}

int TableText::integer(std::string_view field) const {
    int v = 0;
    if (!textscan::parseInt(field, v)) fail(quoted(field) + " is not an integer");
    return v;
}

int TableText::integer(std::string_view field, int lo, int hi, const char* what) const {
    const int v = integer(field);
    if (v < lo || v > hi) fail(std::string(what) + " " + std::to_string(v) + " is outside " + std::to_string(lo) + ".." + std::to_string(hi));
    return v;
}

void TableText::expectFields(const std::vector<std::string_view>& f, size_t n, const char* what) const {
    if (f.size() != n)
        fail(std::string(what) + " has " + std::to_string(f.size()) + " fields, " + std::to_string(n) + " expected");
}

std::string quoted(std::string_view field) {
    constexpr size_t MAX_SHOWN = 40;
    std::string s = "\"";
    for (char c : field.substr(0, MAX_SHOWN)) s += (static_cast<unsigned char>(c) < 32 || c == 127) ? '?' : c;
    if (field.size() > MAX_SHOWN) s += "...";
    return s + "\"";
}

}  // namespace lorvane
