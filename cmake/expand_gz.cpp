// Build-time helper: expands a gzip file (data/QUENDApair.lib.gz) into its
// plain-text table. Writes a temporary file beside the target and renames it,
// so that an interrupted build never leaves a truncated table behind.
//   expand_gz IN.gz OUT
#include <zlib.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: expand_gz IN.gz OUT\n");
        return 2;
    }
    gzFile in = gzopen(argv[1], "rb");
    if (!in) {
        std::printf("cannot open %s\n", argv[1]);
        return 1;
    }
    const std::string tmp = std::string(argv[2]) + ".partial";
    std::FILE* out = std::fopen(tmp.c_str(), "wb");
    if (!out) {
        std::printf("cannot write %s\n", tmp.c_str());
        gzclose(in);
        return 1;
    }
    static char buf[1 << 16];
    int n;
    bool ok = true;
    while ((n = gzread(in, buf, sizeof buf)) > 0)
        if (std::fwrite(buf, 1, static_cast<size_t>(n), out) != static_cast<size_t>(n)) ok = false;
    if (n < 0) {
        int err = 0;
        std::printf("%s: corrupt gzip data (%s)\n", argv[1], gzerror(in, &err));
        ok = false;
    }
    gzclose(in);
    if (std::fclose(out) != 0) ok = false;
    if (!ok || std::rename(tmp.c_str(), argv[2]) != 0) {
        std::remove(tmp.c_str());
        std::printf("could not expand %s into %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
