// Command line parsing, loop resolution and the program's exits.
#include "driver/driver.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

RunOptions parse(std::vector<std::string> args) {
    args.insert(args.begin(), "lorvane");
    RunOptions opt;
    parseArguments(args, opt);
    return opt;
}

TEST(DriverParse, EveryOptionAndItsDefault) {
    const RunOptions d = parse({});
    EXPECT_TRUE(d.mode == Mode::Smc && d.seeds == 10000 && d.numLoop == 5000 && d.startRes.empty() && d.endRes.empty());
    EXPECT_TRUE(d.chain.empty() && d.seq.empty() && !d.keepWater);
    EXPECT_TRUE(d.randSeed == 1 && d.growMode == 1 && d.samplingPotential == 1 && d.useBBT == 1.0 && d.cores == 0);
    EXPECT_TRUE(d.byPdbNumber && !d.diag && !d.dumpDis && d.topFrac == 0.9 && d.nrep == 20);
    testing::internal::CaptureStdout();
    const RunOptions p = parse({"-mode", "energy", "-f", "in/5p21.pdb", "-score", "decoys.txt", "-rs", "42", "-backgrow", "-dfire", "-diag",
                                "-nobbt", "-dumpdis", "-cores", "3", "-topfrac", "0.25", "-nrep", "7", "-start", "-5", "-end", "52", "-seeds",
                                "200", "-seeds", "300", "-numloop", "1", "-pdbIndex", "-chain", "H", "-seq", "VIDGETCL", "-keepwater"});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(p.mode, Mode::Energy);
    EXPECT_EQ(p.pdbFile + " " + p.protName + " " + p.scoreFile, "in/5p21.pdb 5p21 decoys.txt");
    EXPECT_FALSE(p.isSequence);
    EXPECT_TRUE(p.randSeed == 42 && p.growMode == 2 && p.samplingPotential == 2 && p.diag && p.useBBT == 0.0);
    EXPECT_TRUE(p.dumpDis && p.cores == 3 && p.topFrac == 0.25 && p.nrep == 7 && !p.byPdbNumber);
    EXPECT_TRUE(p.startRes == "-5" && p.endRes == "52" && p.numLoop == 1);
    EXPECT_TRUE(p.chain == "H" && p.seq == "VIDGETCL" && p.keepWater);
    EXPECT_EQ(p.seeds, 300);  // a later occurrence wins
    EXPECT_EQ(parse({"-xforward"}).growMode, 0);
    EXPECT_EQ(parse({"-xforward", "-backgrow"}).growMode, 2);
    EXPECT_EQ(parse({"-xgrowdfire"}).samplingPotential, 3);
    EXPECT_EQ(parse({"-xgrowdfire", "-dfire"}).samplingPotential, 2);
    EXPECT_EQ(parse({"-mode", "fold", "-mode", "compare"}).mode, Mode::Compare);
    EXPECT_EQ(parse({"-mode", "gaps"}).mode, Mode::Gaps);
    // Residues as the PDB numbers them: insertion codes, five digits, hybrid-36.
    for (const char* r : {"60A", "10005", "A000", "-3"}) EXPECT_EQ(parse({"-start", r}).startRes, r);
    // The protein name comes from the first -f; a bare .pdb path sets only the file.
    const RunOptions two = parse({"-f", "a/5p21.pdb", "-f", "b/1crn.seq", "other.pdb"});
    EXPECT_EQ(two.pdbFile, "other.pdb");
    EXPECT_EQ(two.protName, "5p21");
    EXPECT_TRUE(two.isSequence);
    EXPECT_EQ(parse({"x.pdb"}).protName, "");
    EXPECT_FALSE(parse({"-f", "p.SEQ"}).isSequence);
}

// Usage errors: status 2 and a message naming the option.
TEST(DriverParse, UsageErrorsNameTheOption) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-seeds", "abc"}, {"-seeds", "99"}, {"-numloop", "0"}, {"-cores", "-1"}, {"-start", "1xy"}, {"-end", ""}, {"-rs", "1.5"},
             {"-topfrac", "abc"}, {"-nrep", "99999999999"}, {"-start"}, {"-f"}, {"-mode"}, {"-score"}, {"-seeds", "200", "-cores"},
             {"-end", "60-A"}, {"-chain"}, {"-seq"}, {"-seq", ""}, {"-pdbIndex", "-start", "60A"}}) {
        const std::string& option = args.size() == 3 ? args[2] : args[0];
        EXPECT_ERROR(parse(args), 2, option);
    }
    testing::internal::CaptureStdout();  // a usage error prints its one line only, no usage text
    EXPECT_ERROR(parse({"pdb"}), 2, "Unrecognized command: pdb");  // too short to end in .pdb
    EXPECT_ERROR(parse({"x.PDB"}), 2, "Unrecognized command: x.PDB");
    EXPECT_ERROR(parse({"-t", "0.5"}), 2, "Unrecognized command: -t");
    EXPECT_ERROR(parse({"-altgrow"}), 2, "Unrecognized command: -altgrow");
    EXPECT_ERROR(parse({"-mode", "Smc"}), 2, "^wrong mode type!$");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    parse({"-seeds", "100", "-numloop", "1", "-cores", "0"});  // the smallest values allowed
}

// The protocol: default unless "-protocol classic"; the name counts wherever
// it stands and the -x switches refine it; a bad name or value is misuse.
TEST(DriverParse, ProtocolAndItsSwitches) {
    const Protocol d = parse({}).protocol;
    EXPECT_EQ(d.name, "default");
    EXPECT_TRUE(d.diverse && d.reseed && d.closeDraws > 0 && d.drawNCAC && d.needsBackboneAngles());
    EXPECT_TRUE(d.torsionBins == TorsionBinRule::Centred && d.clashTolerance && d.fallback);
    const Protocol c = parse({"-protocol", "classic"}).protocol;
    const Protocol plain;
    EXPECT_EQ(c.name, "classic");
    EXPECT_TRUE(!c.diverse && !c.reseed && !c.drawNCAC && c.closeDraws == 0 && !c.needsBackboneAngles());
    EXPECT_TRUE(c.torsionBins == TorsionBinRule::Floor && !c.clashTolerance && !c.fallback);
    EXPECT_FALSE(plain.diverse || plain.reseed || plain.drawNCAC || plain.closeDraws != 0);
    // Switches before or after the name refine the named protocol.
    const Protocol x = parse({"-xclose", "6", "-xncac", "-protocol", "classic", "-xdiverse", "-xfew", "2", "-xshare", "0.25"}).protocol;
    EXPECT_TRUE(x.diverse && x.drawNCAC && x.closeDraws == 6 && x.perCluster == 2 && x.clusterShare == 0.25 && !x.reseed);
    EXPECT_EQ(parse({"-xclose", "0"}).protocol.closeDraws, 0);
    // The conformation N-CA-C angle is a measuring switch: off in both
    // protocols, and with it on the records carry each residue's angle.
    EXPECT_TRUE(!d.ncacByConformation && !c.ncacByConformation && !c.ncacPerResidue() && d.ncacPerResidue());
    const Protocol nc = parse({"-protocol", "classic", "-xncacphipsi"}).protocol;
    EXPECT_TRUE(nc.ncacByConformation && nc.ncacPerResidue() && !nc.drawNCAC);
    EXPECT_TRUE(d.stepWeights == StepWeights{} && c.stepWeights == StepWeights{});
    const StepWeights w = parse({"-xstepw", "0.25,0.5,7,-1.25"}).protocol.stepWeights;
    EXPECT_TRUE(w.sideChain == 0.25 && w.pair == 0.5 && w.torsion == 7 && w.distance == -1.25 && w.atClosure);
    EXPECT_FALSE(parse({"-xstepwgrowth", "-xstepw", "0,1,5,4"}).protocol.stepWeights.atClosure);
    // Neighbour-dependent torsion energies: a measuring switch, off in both protocols.
    EXPECT_EQ(d.neighbourTorsionLength, 0);
    EXPECT_EQ(c.neighbourTorsionLength, 0);
    EXPECT_EQ(parse({"-protocol", "classic", "-xnbtorsion", "22"}).protocol.neighbourTorsionLength, 22);
    EXPECT_EQ(parse({"-xnbtorsion", "0"}).protocol.neighbourTorsionLength, 0);
    EXPECT_EQ(d.conformationTorsionLength + c.conformationTorsionLength, 0);
    EXPECT_EQ(parse({"-xnctorsion", "12"}).protocol.conformationTorsionLength, 12);
    // Random fill of the growth steps: a measuring switch, off in both protocols.
    EXPECT_TRUE(d.randomFill == 0.0 && c.randomFill == 0.0);
    EXPECT_EQ(parse({"-xrandfill", "0.25"}).protocol.randomFill, 0.25);
    // Two sampling tables: a measuring switch, off in both protocols.
    EXPECT_TRUE(!d.twoTables && !c.twoTables);
    EXPECT_TRUE(!d.supplement && !c.supplement);
    const Protocol split = parse({"-protocol", "classic", "-xtwotables"}).protocol, added = parse({"-xsupplement"}).protocol;
    EXPECT_TRUE(split.twoTables && !split.supplement && added.twoTables && added.supplement);
    // Writing by backbone score: a measuring switch, off in both protocols.
    EXPECT_TRUE(!d.writeByBackbone && !c.writeByBackbone);
    EXPECT_TRUE(parse({"-protocol", "classic", "-xwritebb"}).protocol.writeByBackbone);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-protocol", "fast"}, {"-protocol"}, {"-xshare", "0"}, {"-xshare", "1.5"}, {"-xfew", "0"}, {"-xclose", "-1"},
             {"-xstepw", "1,1,10"}, {"-xstepw", "1,1,10,0,0"}, {"-xstepw", "1,1,,0"}, {"-xstepw", "1,1,nan,0"}, {"-xstepw"},
             {"-xnbtorsion", "-1"}, {"-xnbtorsion", "six"}, {"-xnbtorsion"}, {"-xnctorsion", "-1"}, {"-xrandfill", "1"},
             {"-xrandfill", "-0.1"}, {"-xrandfill", "nan"}})
        EXPECT_ERROR(parse(args), 2, args[0]);
}

// Refinement switches: off unless asked; jump moves carry their start temperature; bad values are misuse.
TEST(DriverParse, RefinementSwitches) {
    const RefineSettings d = parse({}).refine;
    EXPECT_TRUE(d.top == 0 && !d.jump && !d.geometry && !d.repack);
    const RefineSettings j = parse({"-xrefine", "30", "-xrefinemoves", "1000", "-xrefinejump", "1.5", "-xrefinetemp", "0.25"}).refine;
    EXPECT_TRUE(j.jump && j.top == 30 && j.moves == 1000);
    EXPECT_DOUBLE_EQ(j.startTemperature, 1.5);
    EXPECT_DOUBLE_EQ(j.temperature, 0.25);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-xrefinejump", "0"}, {"-xrefinejump", "-1"}, {"-xrefinejump"}, {"-xrefinetemp", "0"}})
        EXPECT_ERROR(parse(args), 2, args[0]);
}

// The population a run uses: -seeds when given; otherwise the default
// protocol halves it for loops of up to 6 residues, classic never does.
TEST(DriverParse, PopulationFollowsLoopLengthUnlessGiven) {
    struct Case {
        std::vector<std::string> args;
        int length, want;
    };
    for (const Case& c : std::vector<Case>{{{}, 4, 5000},
                                           {{}, 6, 5000},
                                           {{}, 7, 10000},
                                           {{}, 17, 10000},
                                           {{"-protocol", "classic"}, 4, 10000},
                                           {{"-seeds", "10000"}, 4, 10000},
                                           {{"-seeds", "300"}, 12, 300}}) {
        EXPECT_EQ(samplingPopulation(parse(c.args), c.length), c.want) << testing::PrintToString(c.args) << " length " << c.length;
    }
}

// Which loops grow the supplement: under the default protocol those of 8
// residues and more that grow with the sampling pair table and have seeds for a
// second population of at least 100; never under classic; an explicit
// -xtwotables keeps its even split.
TEST(DriverParse, SupplementFollowsLoopLengthTableAndPopulation) {
    struct Case {
        std::vector<std::string> args;
        int length, seeds;
        bool twoTables, supplement;
    };
    for (const Case& c : std::vector<Case>{{{}, 7, 10000, false, false},
                                           {{}, 8, 10000, true, true},
                                           {{}, 17, 10000, true, true},
                                           {{}, 8, 200, true, true},
                                           {{}, 8, 199, false, false},
                                           {{"-xnosupplement"}, 12, 10000, false, false},
                                           {{"-xgrowdfire"}, 12, 10000, false, false},
                                           {{"-dfire"}, 12, 10000, false, false},
                                           {{"-protocol", "classic"}, 12, 10000, false, false},
                                           {{"-protocol", "classic", "-xsupplement"}, 4, 10000, true, true},
                                           {{"-xtwotables"}, 12, 10000, true, false}}) {
        const RunOptions opt = parse(c.args);
        const Protocol p = protocolForLoop(opt.protocol, c.length, opt.samplingPotential, c.seeds);
        EXPECT_EQ(p.twoTables, c.twoTables) << testing::PrintToString(c.args) << " length " << c.length << " seeds " << c.seeds;
        EXPECT_EQ(p.supplement, c.supplement) << testing::PrintToString(c.args) << " length " << c.length << " seeds " << c.seeds;
    }
}

TEST(DriverLoop, ResolveByPosition) {
    int a = 0, b = 0;
    EXPECT_EQ(resolveLoopByPosition(90, -1, -1, a, b), "");  // no loop given: the whole chain
    EXPECT_EQ(a * 100 + b, 190);
    EXPECT_EQ(resolveLoopByPosition(90, 10, 20, a, b), "");
    EXPECT_EQ(a * 100 + b, 1020);
    EXPECT_NE(resolveLoopByPosition(90, 0, 20, a, b).find("start position 0"), std::string::npos);
    EXPECT_NE(resolveLoopByPosition(90, 10, 91, a, b).find("end position 91"), std::string::npos);
    EXPECT_NE(resolveLoopByPosition(90, 30, 20, a, b).find("after the end"), std::string::npos);
}

// ---- the program, run in a scratch directory ----

TEST(Program, UsageAndUsageErrors) {
    ScratchDir dir;
    const ProgramRun none = runProgram(dir.root(), "");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out.rfind("\nLORVANE:  protein loop conformation sampler\n", 0), 0u) << none.out;
    for (const char* args : {"-mode Smc", "-frobnicate"}) {
        const ProgramRun r = runProgram(dir.root(), args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << "standard output carries results only";
        EXPECT_EQ(lines(r.err).size(), 1u) << "one line on standard error: " << r.err;
    }
    const ProgramRun seeds = runProgram(dir.root(), "-f x.pdb -seeds 50");
    EXPECT_EQ(seeds.status, 2);
    EXPECT_NE(seeds.err.find("-seeds"), std::string::npos) << seeds.err;
    EXPECT_FALSE(fs::exists(dir.path("command.log"))) << "usage errors are not logged";
}

TEST(Program, FoldModeAppendsToTheCommandLog) {
    ScratchDir dir;
    const ProgramRun r = runProgram(dir.root(), "-mode fold", "LORVANE_DATA=empty");
    EXPECT_EQ(r.status, 1);  // no tables: logged before loading, status 1
    EXPECT_EQ(r.err, "data directory empty (LORVANE_DATA) does not exist\n");
    const std::string exe = LORVANE_EXE;
    EXPECT_EQ(slurp(dir.path("command.log")), exe + " -mode fold \n");
    dir.linkData();
    EXPECT_EQ(runProgram(dir.root(), "-mode fold -rs 3").status, 0);
    EXPECT_EQ(slurp(dir.path("command.log")), exe + " -mode fold \n" + exe + " -mode fold -rs 3 \n");
}

// Input errors: status 1 and a line naming the file or the value at fault.
TEST(Program, InputErrorsExitOne) {
    ScratchDir dir;
    dir.linkData();
    dir.write("empty.pdb", "HEADER    NOTHING\nEND\n");
    std::string chains;
    for (int c = 0; c < 21; ++c) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "ATOM  %5d  CA  GLY %c   1    %8.3f   0.000   0.000  1.00 10.00           C\n", c + 1, 'A' + c, 3.8 * c);
        chains += buf;
    }
    dir.write("chains.pdb", chains);
    dir.write("long.seq", std::string(1501, 'A') + "\n");
    const std::string real = sourcePath("examples/5p21.pdb");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"-mode compare -f nothere.pdb -start 1 -end 5 -score none.txt", "Could not read PDB file nothere.pdb"},
        {"-mode compare -f empty.pdb -start 1 -end 5 -score none.txt", "empty.pdb has no atoms"},
        {"-f chains.pdb -cores 1 -pdbIndex -start 1 -end 5", "more than 20 chains"},
        {"-mode compare -f " + real + " -start 500 -end 600 -score none.txt", "Could not find startind or ending PDB index"},
        {"-mode compare -f " + real + " -start 160 -end 166 -score none.txt", ""},  // 166 is the chain's last residue
        {"-f long.seq -start 1 -end 5", "long.seq has 1501 residues"},
        {"-f " + real + " -cores 1 -pdbIndex -start 0 -end 5", "start position 0"},
        {"-f " + real + " -cores 1 -pdbIndex -start 10 -end 167", "end position 167"},
        {"-f " + real + " -cores 1 -pdbIndex -start 12 -end 8", "after the end"},
        {"-f " + real + " -cores 1 -start 45 -end 999", "Specified starting or ending residue numbers are not in the PDB file."},
    };
    for (const auto& [args, message] : cases) {
        const ProgramRun r = runProgram(dir.root(), args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_NE((r.out + r.err).find(message), std::string::npos) << args << ": " << r.out << r.err;
    }
}

}  // namespace
