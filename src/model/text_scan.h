#pragma once
// Allocation-free scanning of whole text files for the large parameter
// tables: the file is read in one go, lines and blank-separated tokens are
// string_views into that buffer and numbers are parsed with from_chars.
#include <sys/stat.h>
#include <zlib.h>

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace lorvane {

namespace textscan {

// Reads the whole file into out, plain or gzip-compressed (zlib passes plain
// files through unchanged); false when it cannot be opened or read.
inline bool readWholeFile(const std::string& path, std::string& out) {
    out.clear();
    gzFile f = gzopen(path.c_str(), "rb");
    if (!f) return false;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
    gzbuffer(f, 1 << 17);
    char buf[1 << 16];
    int got;
    while ((got = gzread(f, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(got));
    const bool ok = got == 0;
    gzclose(f);
    return ok;
}

// Walks the lines of a buffer; a final line without newline counts, a
// trailing newline adds no empty line. Carriage returns are dropped.
class Lines {
public:
    explicit Lines(std::string_view text) : rest_(text) {}
    bool next(std::string_view& line) {
        if (rest_.empty()) return false;
        size_t nl = rest_.find('\n');
        line = rest_.substr(0, nl);
        rest_ = nl == std::string_view::npos ? std::string_view() : rest_.substr(nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++number_;
        return true;
    }
    int number() const { return number_; }

private:
    std::string_view rest_;
    int number_ = 0;
};

inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// A line without a token (blank by the same test as nextToken's).
inline bool isBlankLine(std::string_view line) {
    for (char c : line)
        if (!isBlank(c)) return false;
    return true;
}

// Next whitespace-separated token of text (consumed from the front).
inline bool nextToken(std::string_view& text, std::string_view& tok) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i == text.size()) {
        text = std::string_view();
        return false;
    }
    size_t j = i;
    while (j < text.size() && !isBlank(text[j])) ++j;
    tok = text.substr(i, j - i);
    text.remove_prefix(j);
    return true;
}

// Whole-token decimal number (a leading '+' is accepted, as strtod does).
// Plain decimals of at most 15 digits take a fast path: the digits form an
// exact integer and one division by an exact power of ten rounds correctly,
// so the result equals strtod's. Everything else goes through from_chars.
inline bool parseDouble(std::string_view tok, double& v) {
    static constexpr double kPow10[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (!tok.empty() && tok.front() == '+') tok.remove_prefix(1);
    if (tok.empty()) return false;
    const char* p = tok.data();
    const char* const e = p + tok.size();
    const bool neg = *p == '-';
    if (neg) ++p;
    unsigned long long m = 0;
    int digits = 0, frac = 0;
    bool fast = true;
    while (p != e && static_cast<unsigned>(*p - '0') < 10u) {
        m = m * 10 + static_cast<unsigned>(*p - '0');
        ++digits;
        ++p;
    }
    if (p != e && *p == '.') {
        ++p;
        while (p != e && static_cast<unsigned>(*p - '0') < 10u) {
            m = m * 10 + static_cast<unsigned>(*p - '0');
            ++digits;
            ++frac;
            ++p;
            if (digits > 15) break;
        }
    }
    if (p != e || digits == 0 || digits > 15) fast = false;
    if (fast) {
        double x = static_cast<double>(m);
        if (frac) x /= kPow10[frac];
        v = neg ? -x : x;
        return true;
    }
    auto r = std::from_chars(tok.data(), tok.data() + tok.size(), v);
    return r.ec == std::errc() && r.ptr == tok.data() + tok.size();
}

inline bool parseInt(std::string_view tok, int& v) {
    if (!tok.empty() && tok.front() == '+') tok.remove_prefix(1);
    if (tok.empty()) return false;
    auto r = std::from_chars(tok.data(), tok.data() + tok.size(), v);
    return r.ec == std::errc() && r.ptr == tok.data() + tok.size();
}

// parseDouble for a finite value only (no "nan", "inf", no overflow).
inline bool parseFinite(std::string_view tok, double& v) { return parseDouble(tok, v) && std::isfinite(v); }

}  // namespace textscan

}  // namespace lorvane
