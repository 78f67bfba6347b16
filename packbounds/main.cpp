// packbounds: bounds records into the indexed, compressed form of a bounds file.

#include "cli.hpp"

int main(int argc, char** argv) {
    return packbounds::runCommandLine(argc, argv);
}
