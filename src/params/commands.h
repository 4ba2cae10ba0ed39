#pragma once
// The subcommands of lorvane-params. Each derivation lives in the file of its
// table and is listed once in the command table (commands.cpp); "derive" runs
// those with a derive order, in that order, on one Session.
#include <string>
#include <vector>

#include "params/session.h"

namespace lorvane::params {

using CommandFn = void (*)(const std::vector<std::string>& args, Session& session);

struct Command {
    const char* name;
    const char* help;
    CommandFn run;
    int deriveOrder;  // position in the "derive" pipeline; 0 = not part of it
};

// Every command, in name order.
const std::vector<Command>& commands();

// The tool: without arguments or with -h the usage (status 2 or 0), "derive",
// or one command. Returns the exit status; errors are thrown as Error.
int runTool(const std::vector<std::string>& args);

// The commands, each defined beside its table.
void cmdPairs(const std::vector<std::string>& args, Session& session);          // pair_counts.cpp
void cmdQuenda(const std::vector<std::string>& args, Session& session);         // quenda_table.cpp
void cmdOscar(const std::vector<std::string>& args, Session& session);          // oscar_fit.cpp
void cmdPhipsi(const std::vector<std::string>& args, Session& session);         // torsion_bins.cpp
void cmdPhipsiCv(const std::vector<std::string>& args, Session& session);       // torsion_bins.cpp
void cmdPhipsiNb(const std::vector<std::string>& args, Session& session);       // neighbour_torsion.cpp
void cmdPhipsiNbCv(const std::vector<std::string>& args, Session& session);     // neighbour_torsion.cpp
void cmdPhipsiNc(const std::vector<std::string>& args, Session& session);       // conformation_torsion.cpp
void cmdPhipsiNcCv(const std::vector<std::string>& args, Session& session);     // conformation_torsion.cpp
void cmdNcacPhipsi(const std::vector<std::string>& args, Session& session);      // ncac_conformation.cpp
void cmdDistances(const std::vector<std::string>& args, Session& session);      // joint_distances.cpp
void cmdRotamers(const std::vector<std::string>& args, Session& session);       // rotamer_library.cpp
void cmdFittedE(const std::vector<std::string>& args, Session& session);        // fitted_energy_table.cpp
void cmdValidate(const std::vector<std::string>& args, Session& session);       // validate_tables.cpp
void cmdValidatePairs(const std::vector<std::string>& args, Session& session);  // validate_pair_tables.cpp
void cmdBackboneAngles(const std::vector<std::string>& args, Session& session); // backbone_angles.cpp
void cmdLoopSet(const std::vector<std::string>& args, Session& session);        // loop_set.cpp
void cmdRankingWeights(const std::vector<std::string>& args, Session& session); // ranking_weights.cpp

}  // namespace lorvane::params
