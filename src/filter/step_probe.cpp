#include "filter/step_probe.h"

StepProbe* stepProbe = nullptr;
