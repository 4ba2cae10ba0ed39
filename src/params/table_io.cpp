#include "params/table_io.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "model/error.h"

namespace lorvane::params {

std::string formatFixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string s(buf);
    if (s[0] == '-') {
        bool zero = true;
        for (size_t k = 1; k < s.size(); ++k)
            if (s[k] != '0' && s[k] != '.') zero = false;
        if (zero) s.erase(0, 1);
    }
    return s;
}

std::string formatProbability(double p) {
    if (p <= 0.0) return "0";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4e", p);
    return buf;
}

void appendProbabilityRows(std::string& text, const double* table, int rows, int cols) {
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            if (j) text += ' ';
            text += formatProbability(table[i * cols + j]);
        }
        text += '\n';
    }
}

std::string outPath(const std::string& dir, const std::string& name) { return dir.empty() ? name : dir + "/" + name; }

void writeTextFile(const std::string& path, const std::string& text) {
    std::error_code ec;
    const std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) fail("lorvane-params: cannot write " + path);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) fail("lorvane-params: error writing " + path);
}

void writeGzipFile(const std::string& path, const std::string& text) {
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    // windowBits 15 + 16: gzip wrapper with zlib's fixed header (no name, time 0).
    if (deflateInit2(&zs, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) fail("zlib initialisation failed for " + path);
    std::string out;
    out.resize(deflateBound(&zs, text.size()) + 64);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    zs.avail_in = static_cast<uInt>(text.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) fail("zlib compression failed for " + path);
    out.resize(zs.total_out);
    writeTextFile(path, out);
}

}  // namespace lorvane::params
