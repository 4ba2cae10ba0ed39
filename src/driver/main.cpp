#include <iostream>

#include "driver/driver.h"
#include "model/error.h"

int main(int argc, char** argv) {
    try {
        return lorvane::runLorvane(argc, argv);
    } catch (const lorvane::Error& e) {
        std::cout.flush();
        std::cerr << e.what() << std::endl;
        return e.status();
    }
}
