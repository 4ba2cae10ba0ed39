#pragma once
// A synthetic training folder, written once per test program:
//   1abc.pdb     two identical helical chains A, B and a strand chain C (numbered from 101)
//   2xyz.pdb.gz  16 leucines with a numbering gap after residue 5 and a C-N bond
//                stretched to more than 2 A before residue index 11
//   3exc.pdb     a glycine chain (the one to exclude)
//   notes.txt    not a structure
#include <zlib.h>

#include <memory>

#include "params_support.h"

namespace params_test {

inline void writeGz(const std::string& path, const std::string& text) {
    gzFile f = gzopen(path.c_str(), "wb");
    gzwrite(f, text.data(), static_cast<unsigned>(text.size()));
    gzclose(f);
}

class TrainingFolderTest : public ::testing::Test {
protected:
    static const std::string& folder() {
        static std::unique_ptr<lorvane_test::ScratchDir> dir;
        if (!dir) {
            dir = std::make_unique<lorvane_test::ScratchDir>();
            int serial = 1;
            auto helixA = buildChain(uniform(14, ALA, -62, -41), 'A', 1);
            auto helixB = buildChain(uniform(14, ALA, -62, -41), 'B', 1, Point(30, 0, 0));
            auto chainC = buildChain(uniform(10, VAL, -120, 130), 'C', 101, Point(0, 30, 0));
            dir->write("1abc.pdb", toPdb(helixA, serial) + "TER\n" + toPdb(helixB, serial) + "TER\n" + toPdb(chainC, serial) + "END\n");
            auto x = buildChain(uniform(16, LEU, -65, -40), 'A', 1);
            for (size_t i = 5; i < x.size(); ++i) x[i].pdbNum += 3;  // 1..5, 9..19
            for (size_t i = 11; i < x.size(); ++i)                   // C(10)-N(11) stretched to > 2 A
                for (Point& p : x[i].atoms) p.x += 5.0f;
            serial = 1;
            writeGz(dir->path("2xyz.pdb.gz"), toPdb(x, serial) + "END\n");
            serial = 1;
            dir->write("3exc.pdb", toPdb(buildChain(uniform(8, GLY, 80, 0), 'A', 1), serial));
            dir->write("notes.txt", "not a structure\n");
        }
        return dir->root();
    }
};

}  // namespace params_test
