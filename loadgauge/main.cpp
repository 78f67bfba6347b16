#include "cli.hpp"

int main(int argc, char** argv) {
    return loadgauge::loadgaugeMain(argc, argv);
}
