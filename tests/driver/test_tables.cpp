// The tables of data/: a copy of every repository table, damaged as files get
// damaged (emptied, cut in half, a word or "nan" for a number, a field too
// many, a line lost or doubled), must stop its loader with status 1 and one
// message naming the file, and the line where there is one. And every mode
// loads the tables it uses before it reads its input.
#include <functional>
#include <memory>
#include <regex>

#include "distributions/distributions.h"
#include "model/table_text.h"
#include "model/templates.h"
#include "model/text_scan.h"
#include "potentials/potentials.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

std::string repoText(const std::string& file) {
    std::string text;
    if (!textscan::readWholeFile(sourcePath("data/" + file), text)) ADD_FAILURE() << "cannot read data/" << file;
    return text;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    for (size_t at = 0; at < text.size();) {
        const size_t nl = text.find('\n', at);
        out.push_back(text.substr(at, nl == std::string::npos ? std::string::npos : nl - at));
        at = nl == std::string::npos ? text.size() : nl + 1;
    }
    return out;
}
std::string joinLines(const std::vector<std::string>& ls) {
    std::string out;
    for (const std::string& l : ls) out += l + "\n";
    return out;
}

// The middle one of the lines that hold at least two numbers and are no comment.
size_t middleDataLine(const std::vector<std::string>& ls) {
    std::vector<size_t> data;
    for (size_t i = 0; i < ls.size(); ++i) {
        if (ls[i].empty() || ls[i][0] == '#') continue;
        std::string_view rest = ls[i], f;
        int numbers = 0;
        double v;
        while (numbers < 2 && textscan::nextToken(rest, f)) numbers += textscan::parseDouble(f, v);
        if (numbers >= 2) data.push_back(i);
    }
    return data.at(data.size() / 2);
}

enum Damage { HALF, WORD, NAN_VALUE, EXTRA_FIELD, LINE_LOST, LINE_DOUBLED };
const char* DAMAGE_NAMES[] = {"first half", "word abc", "nan", "a field too many", "a line lost", "a line doubled"};

// The damaged text; *line is the 1-based line at fault for the damages that have one.
std::string damaged(const std::string& text, Damage d, int* line) {
    std::vector<std::string> ls = splitLines(text);
    const size_t i = middleDataLine(ls);
    *line = static_cast<int>(i) + 1;
    std::string& l = ls[i];
    switch (d) {
        case HALF: ls.resize(ls.size() / 2); break;
        case WORD:
        case NAN_VALUE: {  // the last number field of the line
            const size_t end = l.find_last_not_of(" \t\r") + 1;
            const size_t begin = l.find_last_of(" \t", end - 1) + 1;
            l = l.substr(0, begin) + (d == WORD ? "abc" : "nan") + l.substr(end);
            break;
        }
        case EXTRA_FIELD: l += " 1"; break;
        case LINE_LOST: ls.erase(ls.begin() + static_cast<long>(i)); break;
        case LINE_DOUBLED: ls.insert(ls.begin() + static_cast<long>(i), l); break;
    }
    return joinLines(ls);
}

struct Table {
    std::string file;
    std::function<void(TableText&)> parse;        // the loader's parser
    std::function<void(const std::string&)> load;  // the loader on a path
    bool fixedLines;  // every line counted: a lost or doubled line breaks the format
};

TEST(Tables, DamagedRepositoryTablesStopNamingFileAndLine) {
    auto pot = std::make_unique<Potentials>();
    auto dist = std::make_unique<Distributions>();
    Potentials& p = *pot;
    Distributions& d = *dist;
    {
        TableText dfire("dfire_pair.lib", repoText("dfire_pair.lib"));
        parseDfirePairs(p, dfire, 1);  // the atom types the QUENDA pair table refers to
    }
    const std::vector<Table> tables = {
        {"atomProp2.txt", [](TableText& in) { parseTemplates(in); }, [](const std::string& f) { loadTemplates(f); }, true},
        {"phipsi.bb.txt", [&](TableText& in) { parseTorsionBins(d, in); }, [&](const std::string& f) { loadTorsionBins(d, f); }, true},
        {"joint.distance.txt", [&](TableText& in) { parseJoint(d.forward, in, false); }, [&](const std::string& f) { loadJointMarginal(d, f, false); }, true},
        {"joint.distance.backward.txt", [&](TableText& in) { parseJoint(d.backward, in, false); },
         [&](const std::string& f) { loadJointMarginal(d, f, true); }, true},
        {"joint.distance.conditional.txt", [&](TableText& in) { parseJoint(d.forward, in, true); },
         [&](const std::string& f) { loadJointCond(d, f, false); }, true},
        {"joint.distance.conditional.backward.txt", [&](TableText& in) { parseJoint(d.backward, in, true); },
         [&](const std::string& f) { loadJointCond(d, f, true); }, true},
        {"dfire_pair.lib", [](TableText& in) { Potentials q; parseDfirePairs(q, in, 1); }, nullptr, true},
        {"QUENDApair.lib.gz", [&](TableText& in) { parseQuendaPairs(p, in, 1); }, nullptr, true},
        {"dipole.fress", [&](TableText& in) { parseDipoles(p, in); }, nullptr, false},  // group atoms per record vary
        {"oscarparams.txt", [&](TableText& in) { parseOscar(p, in); }, nullptr, true},
        {"QUENDA_ed4_8_V3.txt", [&](TableText& in) { parseQuenda(p, in); }, [&](const std::string& f) { loadQuenda(p, f); }, true},
        {"newsimplRot.txt", [&](TableText& in) { parseRotamers(p, in); }, [&](const std::string& f) { loadRotamers(p, f); }, false},  // rotamers per type vary
        {"fittedE.txt", [&](TableText& in) { parseFittedTable(p, in); }, [&](const std::string& f) { loadFittedTable(p, f); }, true},
    };
    ScratchDir dir;
    for (const Table& t : tables) {
        SCOPED_TRACE(t.file);
        const std::string text = repoText(t.file);
        {
            TableText intact(t.file, text);
            t.parse(intact);  // the repository's own table passes
        }
        for (Damage dmg : {HALF, WORD, NAN_VALUE, EXTRA_FIELD, LINE_LOST, LINE_DOUBLED}) {
            if (!t.fixedLines && (dmg == LINE_LOST || dmg == LINE_DOUBLED)) continue;
            SCOPED_TRACE(DAMAGE_NAMES[dmg]);
            int line = 0;
            TableText in(t.file, damaged(text, dmg, &line));
            const bool atLine = dmg == WORD || dmg == NAN_VALUE || dmg == EXTRA_FIELD;
            const std::string where = atLine ? " line " + std::to_string(line) + ": " : "( line [0-9]+)?: ";
            const std::string what = dmg == WORD ? ".*\"abc\" is not" : dmg == NAN_VALUE ? ".*\"nan\" is not" : dmg == EXTRA_FIELD ? ".*fields" : "";
            EXPECT_ERROR(t.parse(in), 1, "^" + std::regex_replace(t.file, std::regex("\\."), "\\.") + where + what);
        }
        if (t.load) {  // the file itself: missing, empty
            EXPECT_ERROR(t.load(dir.path("none/" + t.file)), 1, "^cannot open .* " + dir.path("none/" + t.file) + "$");
            dir.write(t.file, " \n\n");
            EXPECT_ERROR(t.load(dir.path(t.file)), 1, "^" + dir.path(t.file) + ": the file is empty$");
        }
    }
}

// Every mode loads the tables it uses before anything else: with a damaged
// table and an input that does not exist, the table is what the run stops on,
// with status 1, one line on standard error and nothing on standard output.
TEST(Tables, EveryModeLoadsItsTablesBeforeTheInput) {
    struct Case {
        std::string args, table, text, message;
    };
    std::string fields = "0";
    for (int k = 1; k < FITTED_E_SIZE - 1; ++k) fields += " 0";
    const std::vector<Case> cases = {
        {"-f absent.pdb -start 45 -end 52", "newsimplRot.txt", "", "data/newsimplRot.txt: the file is empty"},
        {"-f absent.pdb -start 45 -end 52", "phipsi.bb.txt", "ALA H\n", "data/phipsi.bb.txt line 1: block ends after 0 of its 72 rows"},
        {"-f absent.pdb -start 45 -end 52", "dipole.fress", "RES ALA\nATO 0 1 1 XX\n", "data/dipole.fress line 2: \"XX\" is not a side-chain atom class"},
        {"-f absent.pdb -start 45 -end 52", "atomProp2.txt", "", "data/atomProp2.txt: the file is empty"},
        {"-mode energy -f absent.pdb -start 45 -end 52", "QUENDA_ed4_8_V3.txt", "# nothing\n", "QUENDA_ed4_8_V3.txt: 0 entries, 16800 expected"},
        {"-mode compare -f absent.pdb -start 45 -end 52 -score absent.txt -dumpdis", "fittedE.txt", fields + "\n",
         "data/fittedE.txt line 1: line has 23999 fields, 24000 expected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        ScratchDir dir;  // data/ links every repository table but the damaged one
        fs::create_directories(dir.path("data"));
        for (const auto& e : fs::directory_iterator(buildDataPath()))
            if (e.path().filename() != c.table) fs::create_symlink(e.path(), dir.path("data/" + e.path().filename().string()));
        dir.write("data/" + c.table, c.text);
        const ProgramRun r = runProgram(dir.root(), c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        std::string last;
        for (const std::string& l : lines(r.err)) last = l;
        EXPECT_NE(last.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("absent"), std::string::npos) << "the input is read after the tables: " << r.err;
    }
}

}  // namespace
