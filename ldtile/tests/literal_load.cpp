// Loading a bounds file's text into a table, through a file as the program reads it.

#include "literal.hpp"
#include "scratch.hpp"

namespace literal {

int load(LDvals& ld, const std::string& text) {
    static testsupport::ScratchDir folder;
    const std::string name = folder.file("bounds.txt");
    testsupport::writeFile(name, text);
    return ld.loadConfvalues(name);
}

}  // namespace literal
