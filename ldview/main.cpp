// ldview: a chromosome's LD map as a folder that opens in a web browser.

#include "cli.hpp"

int main(int argc, char** argv) {
    return ldview::runCli(argc, argv);
}
