// linkstat: likelihood bounds of D' for every pair of nearby markers (see linkstat.hpp).

#include "linkstat.hpp"

int main(int argc, char** argv) {
    return linkstat::linkstatMain(argc, argv);
}
