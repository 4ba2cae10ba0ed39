#include "potentials/pf.h"

namespace lorvane {

// Storage of the process-wide tables; the loaders live beside this file.
double PF::MAXDIS2 = 64.0;
double PF::BINSPERA = 10.0;
double PF::Etable[168][168][ETABLE_BINS];
double PF::edfire[NUM_PAIR_TYPES][NUM_PAIR_TYPES][DFIRE_BINS];
double PF::LJclash[168][168];
std::map<std::string, int> PF::DFatomtype;
DipoleRecord PF::dipoletype[25];
int PF::numDipole = 0;
double PF::pcs[20][5][6];
double PF::pb[16][16][14];
double PF::QUENDA[20][20][80];
int PF::numsimplRot[20];
double PF::simplRot[20][MAX_ROTAMERS][4];
double PF::simplRotR[20][MAX_ROTAMERS][4];
double PF::fittedE[FITTED_E_SIZE];
double PF::T = 1.0;
double PF::topFrac = 0.9;
int PF::nrep = 20;
int PF::numMP = 1;
double PF::UseBBT = 1.0;
bool PF::diag = false;
double PF::chi1SD = 0.17;

}  // namespace lorvane
