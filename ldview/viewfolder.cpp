#include "viewfolder.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "error.hpp"
#include "writer.hpp"

namespace ldview {
namespace {

namespace fs = std::filesystem;

// The destination without trailing slashes, and a symbolic link followed to the folder it names.
std::string targetOf(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (real != nullptr) {
            path = real;
            std::free(real);
        }
    }
    return path;
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

bool insideFolder(const std::string& path, const std::string& folder) {
    std::error_code error;
    const fs::path file = fs::weakly_canonical(path, error);
    if (error) return false;
    const fs::path root = fs::weakly_canonical(targetOf(folder), error);
    if (error) return false;
    const std::string prefix = root.string() + "/";
    return file.string().compare(0, prefix.size(), prefix) == 0;
}

ViewFolder::ViewFolder(const std::string& destination) : destination_(destination), target_(targetOf(destination)) {
    struct stat info {};
    if (::stat(target_.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode))
            throw ldtools::Error("ldview: " + destination_ + " exists and is not a folder\n");
        std::error_code error;
        const bool empty = fs::is_empty(target_, error);
        struct stat stamp {};
        if (!empty && ::stat((target_ + "/" + kStampName).c_str(), &stamp) != 0)
            throw ldtools::Error("ldview: " + destination_ + " is a folder that ldview did not write (it has no " +
                                 kStampName + "); remove it or choose another name\n");
    }
    // target_ has no trailing slash, so the last part of the path is the folder's own name.
    const fs::path target(target_);
    const std::string parent = target.has_parent_path() ? target.parent_path().string() : ".";
    std::string name = parent + "/." + target.filename().string() + ".XXXXXX";
    if (::mkdtemp(name.data()) == nullptr)
        throw ldtools::Error("ldview: cannot create a folder next to " + destination_ + ": " +
                             ldtools::systemReason(errno) + "\n");
    temporary_ = name;
    // mkdtemp makes the folder private; a view gets the permissions of any new folder.
    (void)::chmod(temporary_.c_str(), 0777 & ~currentUmask());
}

ViewFolder::~ViewFolder() {
    if (committed_ || temporary_.empty()) return;
    std::error_code ignored;
    fs::remove_all(temporary_, ignored);
}

void ViewFolder::fail(const std::string& what, int code) const {
    throw ldtools::Error("ldview: cannot write " + what + ": " + ldtools::systemReason(code) + "\n");
}

void ViewFolder::makeFolder(const std::string& relative) const {
    if (::mkdir((temporary_ + "/" + relative).c_str(), 0777) != 0) fail(destination_ + "/" + relative, errno);
}

void ViewFolder::writeFile(const std::string& relative, const std::string& content) const {
    const std::string name = temporary_ + "/" + relative;
    int fd;
    do {
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) fail(destination_ + "/" + relative, errno);
    try {
        ldtools::writeAll(fd, content.data(), content.size());
    } catch (const ldtools::SystemError& error) {
        ::close(fd);
        fail(destination_ + "/" + relative, error.code());
    }
    if (::close(fd) != 0 && errno != EINTR) fail(destination_ + "/" + relative, errno);
}

void ViewFolder::commit() {
    struct stat info {};
    const bool exists = ::stat(target_.c_str(), &info) == 0;
    if (!exists) {
        if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail(destination_, errno);
        committed_ = true;
        return;
    }
    // The new view and the old one trade places in one step, so that the destination is never
    // missing; the old one, now under the temporary name, is removed.
    if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) != 0) {
        if (errno != EINVAL && errno != ENOSYS) fail(destination_, errno);
        // A file system without the exchange: the old view steps aside first.
        const std::string aside = temporary_ + ".old";
        if (::rename(target_.c_str(), aside.c_str()) != 0) fail(destination_, errno);
        if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
            const int code = errno;
            (void)::rename(aside.c_str(), target_.c_str());
            fail(destination_, code);
        }
        temporary_ = aside;
    }
    committed_ = true;
    std::error_code ignored;
    fs::remove_all(temporary_, ignored);
}

}  // namespace ldview
