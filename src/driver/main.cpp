#include "driver/driver.hpp"

int main(int argc, char** argv) { return mervik::driver::run(argc, argv); }
