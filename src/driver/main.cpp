#include "driver/driver.h"

int main(int argc, char** argv) { return runLorvane(argc, argv); }
