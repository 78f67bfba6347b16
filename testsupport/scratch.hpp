#pragma once
// Scratch folders and whole-file helpers for tests.

#include <filesystem>
#include <string>

namespace testsupport {

// A fresh folder under the system's temporary directory, removed with everything in it
// when the object goes out of scope.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Path of a file inside the folder, as a string ready for a command line.
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

// Path of a file in the source tree, given relative to the project root.
std::string sourcePath(const std::string& relative);

}  // namespace testsupport
