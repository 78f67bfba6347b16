#include <cstdio>

#include "error.hpp"
#include "loadgauge.hpp"

int main(int argc, char** argv) {
    try {
        return loadgauge::run(argc, argv);
    } catch (const ldtools::Error& error) {
        std::fputs(error.what(), stderr);
        return error.status();
    }
}
