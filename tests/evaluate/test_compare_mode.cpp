// Compare mode end to end on decoys of the 5p21 loop 45-52: the summary line
// against RMSDs computed here from the files, the distance dump, the checks
// of the decoy input (one table of damaged decoy files) and the funnel plot.
#include <regex>
#include <sys/wait.h>

#include <algorithm>
#include <functional>
#include <random>

#include "eval_support.h"
#include "evaluate/evaluate.h"

using namespace lorvane;

namespace fs = std::filesystem;
using namespace eval_test;

namespace {

constexpr int kFrom = 45, kTo = 52;

struct Fixture {
    Structure native{MAX_RESIDUES};
    int start = -1, end = -1;
    std::vector<PdbAtom> loop;  // native loop atoms from the file
    Fixture() {
        const std::string pdb = sourcePath("examples/5p21.pdb");
        native = ras();
        for (int i = 1; i <= native._numRes; ++i) {
            if (native[i].pdbNum == kFrom) start = i;
            if (native[i].pdbNum == kTo) end = i;
        }
        loop = readAtoms(pdb, kFrom, kTo);
    }
};
Fixture& fx() {
    static Fixture f;
    return f;
}

// The native loop with every atom moved by a seeded random displacement of the given size.
Decoy displaced(double size, unsigned seed, double s0, double s1, double s2, double s3) {
    Decoy d{{s0, s1, s2, s3}, fx().loop};
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (PdbAtom& a : d.atoms) a.x += size * u(g), a.y += size * u(g), a.z += size * u(g);
    return d;
}
// RMSD of the decoy as the file stores it (three decimals).
double fileRmsd(Decoy d) {
    for (PdbAtom& a : d.atoms) a.x = std::round(a.x * 1000) / 1000, a.y = std::round(a.y * 1000) / 1000, a.z = std::round(a.z * 1000) / 1000;
    return loopRmsd(d.atoms, fx().loop, kFrom, kTo);
}
// As the program does it: the fitted table loaded first when distances are counted.
DecoyEvaluation evaluate(const std::string& file, bool dump) {
    Potentials pot;
    if (dump) loadFittedTable(pot, "data/fittedE.txt");
    return evaluateDecoys(tmpl(), pot, file, fx().start, fx().end, fx().native, dump);
}
std::string runEval(const std::string& file, bool dump, DecoyEvaluation* result = nullptr) {
    testing::internal::CaptureStdout();
    const DecoyEvaluation e = evaluate(file, dump);
    if (result) *result = e;
    return testing::internal::GetCapturedStdout();
}

// n, lowest RMSD, mean RMSD, RMSD of the lowest-z decoy, then the lowest
// 10 s3 + s2, s2, 10 s3 + s0 and s0.
TEST(CompareMode, SummaryLineMatchesIndependentRmsds) {
    ScratchDir dir(true);
    std::vector<Decoy> decoys;
    const double sizes[] = {1.7, 0.9, 2.4, 0.35, 1.2, 3.0};
    for (int k = 0; k < 6; ++k) decoys.push_back(displaced(sizes[k], 11 + k, -40.0 + 3 * k, 5.0 + k, 1.0 - k, 2.0 + 0.5 * k));
    decoys[3].s[0] = -60, decoys[3].s[1] = 1, decoys[3].s[2] = -9, decoys[3].s[3] = 0.5;  // best on every term and RMSD
    decoys.push_back(decoys[3]);  // a tie: the first of equals is reported
    decoys.push_back(displaced(0.0, 0, 0, 9, 9, 9));  // the native itself,
    decoys.push_back(decoys[7]);                      // and again: the first RMSD 0 is reported
    writeFile("decoys.txt", decoyText(decoys));
    DecoyEvaluation e;
    const auto out = lines(runEval("decoys.txt", false, &e));
    ASSERT_EQ(out.size(), 1u) << "without -dumpdis only the summary line";
    const auto v = numbers(out[0]);
    ASSERT_EQ(v.size(), 8u) << out[0];
    double sum = 0, c1 = 1e300, c2 = 1e300, s0 = 1e300, s2 = 1e300;
    for (const Decoy& d : decoys) {
        sum += fileRmsd(d);
        c1 = std::min(c1, 10 * d.s[3] + d.s[2]), c2 = std::min(c2, 10 * d.s[3] + d.s[0]);
        s0 = std::min(s0, d.s[0]), s2 = std::min(s2, d.s[2]);
    }
    const double tol = 2e-3;  // six significant digits, float coordinates
    EXPECT_EQ(v[0], 9);
    EXPECT_NEAR(v[1], 0.0, tol);
    EXPECT_NEAR(v[2], sum / decoys.size(), tol);
    EXPECT_NEAR(v[3], fileRmsd(decoys[3]), tol);
    EXPECT_NEAR(v[4], c1, 1e-6);
    EXPECT_NEAR(v[5], s2, 1e-6);
    EXPECT_NEAR(v[6], c2, 1e-6);
    EXPECT_NEAR(v[7], s0, 1e-6);
    EXPECT_EQ(e.lowestZ, 3);
    EXPECT_EQ(e.lowestRmsd, 7);
    EXPECT_FALSE(fs::exists("Eout") || fs::exists("disout2")) << "nothing is written without -dumpdis";
}

// -dumpdis: the s1 cut-off, the near-native list, pair counts per group under
// disout2/ and per-decoy energies under Eout/, both mirroring the decoy path.
TEST(CompareMode, DistanceDumpGroupsAndDirectories) {
    ScratchDir dir(true);
    std::ostringstream fitted;  // fittedE[k] = 0.001 k
    for (int k = 0; k < FITTED_E_SIZE; ++k) fitted << (k ? " " : "") << k * 0.001;
    writeFile("data/fittedE.txt", fitted.str() + "\n");
    // The native (near-native: s1 1.0), a copy whose CB of 50 sits 1.5 A from a
    // frame atom (other: s1 1.5, a clash keeps zero counts), and one with a high s1.
    const Decoy nat = displaced(0.0, 0, -10, 1.0, 0, 0), high = displaced(0.8, 6, -8, 9.0, 0, 0);
    Decoy clash = displaced(0.6, 5, -9, 1.5, 0, 0);
    const Atom& ca50 = fx().native[fx().start + 5].atoms[1];
    const Atom* target = nullptr;  // the CA of the first residue outside 44..53 within 14 A of CA 50
    for (int j = 1; j <= fx().native._numRes && !target; ++j)
        if ((fx().native[j].pdbNum < 44 || fx().native[j].pdbNum > 53) && fx().native[j].atoms[1].dis(ca50) < 14.0) target = &fx().native[j].atoms[1];
    ASSERT_NE(target, nullptr);
    for (PdbAtom& a : clash.atoms)
        if (a.resNum == 50 && a.name == "CB") a.x = target->x + 1.5, a.y = target->y, a.z = target->z;
    writeFile("runs/set1/dec.txt", decoyText({nat, clash, high}));
    const auto out = lines(runEval("runs/set1/dec.txt", true));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1], "Cut-off: 1") << "sorted s1 1, 1.5, 9: index 3/5 = 0";
    const auto nearLine = numbers(out[2]);  // the only near-native decoy: RMSD and s1
    ASSERT_EQ(nearLine.size(), 2u);
    EXPECT_NEAR(nearLine[0], 0.0, 1e-3);
    EXPECT_DOUBLE_EQ(nearLine[1], 1.0);

    const auto dis = lines(lorvane_test::slurp("disout2/runs/set1/dec.txt"));
    ASSERT_EQ(dis.size(), 2u);
    const auto near = numbers(dis[0]), other = numbers(dis[1]);
    ASSERT_EQ(near.size(), size_t(FITTED_E_SIZE + 1));
    ASSERT_EQ(other.size(), size_t(FITTED_E_SIZE + 1));
    EXPECT_EQ(near[0] + 10 * other[0], 11);  // one decoy in each group
    double otherSum = 0, nearSum = 0, weighted = 0;
    for (int k = 1; k <= FITTED_E_SIZE; ++k) otherSum += other[k], nearSum += near[k], weighted += near[k] * (k - 1) * 0.001;
    EXPECT_EQ(otherSum, 0) << "the clashing decoy keeps zero counts";
    EXPECT_GT(nearSum, 100) << "the native loop has many contacts within 8 A";
    // Eout: RMSD, four raw scores, pair energy; the native's energy is its counts times the table.
    std::vector<std::vector<double>> rows;
    for (const std::string& l : lines(lorvane_test::slurp("Eout/runs/set1/dec.txt"))) rows.push_back(numbers(l));
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& r : rows) ASSERT_EQ(r.size(), 6u);
    EXPECT_NEAR(rows[0][0], 0.0, 1e-3);
    EXPECT_DOUBLE_EQ(rows[0][1], -10);
    EXPECT_DOUBLE_EQ(rows[2][2], 9.0);
    EXPECT_NEAR(rows[0][5], weighted, 1e-6 * std::max(1.0, weighted) + 1e-3);
    EXPECT_NEAR(rows[1][0], fileRmsd(clash), 2e-3);
    EXPECT_EQ(dumpPath("Eout", "/tmp/../p/./b.txt"), "Eout/tmp/up/p/b.txt");  // dumps stay inside their directory
}

// Lines of a text with line k replaced by f(line k) (f returning "" drops it).
std::string editLine(const std::string& text, size_t k, const std::function<std::string(const std::string&)>& f) {
    std::string out;
    const auto ls = lines(text);
    for (size_t i = 0; i < ls.size(); ++i) {
        const std::string l = i == k ? f(ls[i]) : ls[i];
        if (i != k || !l.empty()) out += l + "\n";
    }
    return out;
}

// A decoy file is checked, not trusted: every damaged file stops with status 1
// and one message naming the file, the decoy and the line at fault; so do
// capacities, a bad fitted table and a dump that cannot be written.
TEST(CompareMode, DamagedDecoyFilesStopNamingFileDecoyAndLine) {
    ScratchDir dir(true);
    const Decoy d1 = displaced(0.5, 1, 0, 0, 0, 0), d2 = displaced(0.3, 2, 1, 1, 1, 1);
    const std::string one = decoyText({d1}), two = decoyText({d1, d2});
    const size_t atoms = d1.atoms.size();  // 57: LOOP on line 1, ATOM 2..58, END 59
    auto withoutResidue = [&](int num) {
        Decoy d = d1;
        d.atoms.erase(std::remove_if(d.atoms.begin(), d.atoms.end(), [&](const PdbAtom& a) { return a.resNum == num; }), d.atoms.end());
        return decoyText({d});
    };
    auto coord = [](const std::string& text) { return [text](const std::string& l) { return l.substr(0, 30) + text + l.substr(38); }; };
    Decoy extra = d1, renumbered = d1, lacking = d1, unknown = d1;
    extra.atoms.push_back({"CA", "GLN", kTo + 1, 1, 2, 3});
    for (PdbAtom& a : renumbered.atoms) a.resNum += 100;
    lacking.atoms.erase(std::find_if(lacking.atoms.begin(), lacking.atoms.end(), [](const PdbAtom& a) { return a.resNum == 49 && a.name == "CD"; }));
    unknown.atoms[5].name = "XX";  // an atom of residue 45
    // Full decoys (capacities): built once.
    auto many = [&](int count) {
        std::string s;
        s.reserve(one.size() * count);
        for (int k = 0; k < count; ++k) s += one;
        return s;
    };
    std::string fitted = "0";  // fields separated by single blanks
    for (int k = 1; k < FITTED_E_SIZE; ++k) fitted += " 0";
    writeFile("fit/data/fittedE.txt", fitted + "\n");
    writeFile("short/data/fittedE.txt", fitted.substr(2) + "\n");  // 23999 fields
    writeFile("eout/data/fittedE.txt", fitted + "\n");
    writeFile("eout/Eout", "a plain file where the directory should be\n");
    struct Case {
        std::string dir, file, text;
        bool dump;
        std::string regex;
        int status = 1;
    };
    const std::string line1 = "decoy 1 \\(LOOP line 1\\)";
    const std::vector<Case> cases = {
        {".", "absent.txt", "", false, "Could not read Loops file absent.txt"},
        {".", "empty.txt", "\n", false, "empty.txt: the file is empty"},
        {".", "none.txt", "REMARK nothing here\n", false, "none.txt holds no complete decoy"},
        // The faults the sampler's own files can show when cut or damaged.
        {".", "noend.txt", editLine(two, atoms + 1, [](const std::string&) { return ""; }), false,
         "noend.txt line 59: " + line1 + ": no END line before the next LOOP line"},
        {".", "open.txt", one.substr(0, one.rfind("END")), false, "open.txt line 58: " + line1 + ": the file ends inside this decoy"},
        {".", "cut.txt", two.substr(0, two.size() - 700), false, "cut.txt line [0-9]+: decoy 2 \\(LOOP line 60\\): ATOM record of [0-9]+ characters"},
        {".", "short.txt", editLine(one, 3, [](const std::string& l) { return l.substr(0, 50); }), false,
         "short.txt line 4: " + line1 + ": ATOM record of 50 characters ends before the coordinates"},
        {".", "missing.txt", withoutResidue(47), false, "missing.txt line 17: " + line1 + ": residue 48 stands where the loop 45..52 has residue 47"},
        {".", "lacking.txt", decoyText({lacking}), false, "lacking.txt line 58: " + line1 + ": residue GLU 49 lacks atom CD"},
        {".", "extra.txt", decoyText({extra}), false, "extra.txt line 59: " + line1 + ": residue 53 is residue 9 of the decoy, but the loop 45..52 has 8"},
        {".", "renumbered.txt", decoyText({renumbered}), false, "renumbered.txt line 2: " + line1 + ": residue 145 stands where the loop 45..52 has residue 45"},
        {".", "renamed.txt", editLine(one, 9, [](const std::string& l) { return l.substr(0, 17) + "GLY" + l.substr(20); }), false,
         "renamed.txt line 10: " + line1 + ": residue 46 is \"GLY\" but ILE in the input structure"},
        {".", "unknown.txt", decoyText({unknown}), false, "unknown.txt line 7: " + line1 + ": \"XX\" is not an atom of VAL"},
        {".", "twice.txt", editLine(one, 3, [](const std::string& l) { return l.substr(0, 12) + " N  " + l.substr(16); }), false,
         "twice.txt line 4: " + line1 + ": atom N of residue 45 again \\(first at line 2\\)"},
        {".", "abc.txt", editLine(one, 20, coord("  abc.de")), false, "abc.txt line 21: " + line1 + ": coordinate \"  abc.de\" of atom .* is not a finite number"},
        {".", "nan.txt", editLine(one, 20, coord("     nan")), false, "nan.txt line 21: .*coordinate \"     nan\""},
        {".", "order.txt", editLine(editLine(one, 1, [](const std::string&) { return ""; }), 7, [&](const std::string& l) { return l + "\n" + lines(one)[1]; }), false,
         "order.txt line 9: " + line1 + ": residue 45 stands where the loop 45..52 has residue 47"},
        {".", "loop.txt", "LOOP 1 2.0 3.0\n" + one.substr(one.find('\n') + 1), false, "loop.txt line 1: a LOOP line needs a number and four scores"},
        {".", "score.txt", "LOOP 1 2.0 3.0 inf 1\n" + one.substr(one.find('\n') + 1), false, "score.txt line 1: \"inf\" is not a finite number"},
        {".", "orphan.txt", one + atomRecord(1, "N", "VAL", 45, 0, 0, 0) + "\n", false, "orphan.txt line 60: ATOM record outside a decoy"},
        {".", "hetatm.txt", editLine(one, 5, [](const std::string& l) { return "HETATM" + l.substr(6); }), false,
         "hetatm.txt line 6: " + line1 + ": only ATOM records and the END line belong to a decoy"},
        {".", "max.txt", many(MAX_DECOYS), false, "^20000 ", 0},
        {".", "over.txt", many(MAX_DECOYS + 1), false, "more than 20000 decoys"},
        {"fit", "over.txt", many(MAX_DUMP_DECOYS + 1), true, "more than 5000 decoys with -dumpdis"},
        {"short", "d.txt", one, true, "fittedE.txt line 1: line has 23999 fields, 24000 expected"},
        {".", "d.txt", one, true, "cannot open fitted pair table data/fittedE.txt"},
        {"eout", "d.txt", one, true, "Eout"},
    };
    for (const Case& c : cases) {
        if (!c.text.empty()) writeFile(c.dir + "/" + c.file, c.text);
        SCOPED_TRACE(c.dir + "/" + c.file);
        const fs::path here = fs::current_path();
        fs::current_path(c.dir);
        if (c.status == 0)
            EXPECT_TRUE(std::regex_search(runEval(c.file, c.dump), std::regex(c.regex)));
        else
            EXPECT_ERROR(evaluate(c.file, c.dump), c.status, c.regex);
        fs::current_path(here);
    }
    // A run that stopped wrote no dump.
    for (const char* d : {"fit/disout2", "fit/Eout", "short/disout2", "short/Eout"}) EXPECT_FALSE(fs::exists(d)) << d;
}

TEST(CompareMode, ProgramWritesTheFunnelPlot) {
    ScratchDir dir(true);
    fs::create_directories("data");
    fs::copy_file(sourcePath("data/atomProp2.txt"), "data/atomProp2.txt");
    fs::copy_file(sourcePath("examples/5p21.pdb"), "5p21.pdb");
    std::vector<Decoy> decoys;
    for (int k = 0; k < 12; ++k) decoys.push_back(displaced(0.25 * k, 40 + k, -k, k % 3, 0.5 * k, 1));
    writeFile("pdbout/5p21_45_52.txt", decoyText(decoys));
    const std::string args = "-mode compare -f 5p21.pdb -start 45 -end 52 -score pdbout/5p21_45_52.txt";
    const ProgramRun plain = runProgram(".", args);
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(numbers(plain.out).size(), 8u) << plain.out;
    EXPECT_FALSE(fs::exists("funnel.svg"));
    const ProgramRun plot = runProgram(".", args + " -svg plots/funnel.svg");
    EXPECT_EQ(plot.status, 0) << plot.err;
    EXPECT_EQ(plot.out, plain.out) << "the plot does not change the printed summary";
    const std::string s = lorvane_test::slurp("plots/funnel.svg");
    for (const char* part : {"<svg", "</svg>", "5p21_45_52", "RMSD"}) EXPECT_NE(s.find(part), std::string::npos) << part;
    size_t dots = 0;
    for (size_t p = s.find("r=\"3\""); p != std::string::npos; p = s.find("r=\"3\"", p + 1)) ++dots;
    EXPECT_EQ(dots, decoys.size()) << "one point per decoy";
}

}  // namespace
