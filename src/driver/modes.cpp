#include "driver/modes.h"

#include <iostream>

int runSamplingMode(const RunOptions&) {
    std::cout << "The sampling mode is not available yet in this build." << std::endl;
    return 1;
}

int runEnergyMode(const RunOptions&) {
    std::cout << "The energy mode is not available yet in this build." << std::endl;
    return 1;
}

int runCompareMode(const RunOptions&) {
    std::cout << "The compare mode is not available yet in this build." << std::endl;
    return 1;
}
