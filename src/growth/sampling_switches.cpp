#include "growth/sampling_switches.h"

SamplingSwitches samplingSwitches;
