#include "loadgauge.hpp"

int main(int argc, char** argv) {
    return loadgauge::run(argc, argv);
}
