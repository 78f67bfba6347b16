#pragma once
// Writing a file so that it appears complete or not at all.
//
// The text goes to a temporary file in the destination's folder, named "." and eight random
// letters or digits (short, so that any destination name leaves room for it), which commit()
// renames over the destination; until then, and whenever the run fails, the destination stays
// exactly as it was and the temporary file is removed. The rules:
//  - A name of an open descriptor (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N), as
//    given or met on the way along symbolic links, is written through that descriptor: the text
//    goes where the descriptor points, at its offset, and nothing is renamed or truncated (a
//    shell's "> file" keeps what the program wrote to standard output before).
//  - A symbolic link is followed: its final target is replaced, and the link stays a link.
//  - A regular file that is replaced keeps its permission bits; a new file gets 0666 less the
//    umask, as any newly created file does.
//  - A destination that exists and is not a regular file (a device such as /dev/full, a pipe)
//    is written directly: renaming over it would replace the device by a file. So is a regular
//    file reached through a link of the system whose target has no name to rename over.
//  - When the folder takes no new file for want of permission (a read-only folder with a
//    writable file in it), the existing destination is written directly.
//  - Every other failure to make the temporary file (a full disk, a name too long, a missing
//    folder) is an error (SystemError "open"), and the destination is not touched.
//  - An existing destination that is not writable is refused (SystemError "open", EACCES).
//  - A process ended by an interrupt, a hang-up, a termination request or a broken pipe removes
//    its temporary files on the way out (where those signals have their default action), and so
//    does one that a library ends with exit() in the middle of a run.
// Not for files that are appended to or shared by parallel runs.

#include <string>

namespace ldtools {

// True when the two names lead to the same file: the same name, the same regular file on disk
// (links followed; two names of one device or pipe are not one file, as what is written to it
// replaces nothing), or, for a file that does not exist yet, the same name in the same folder
// once symbolic links are followed (writing either would create the other).
bool sameFile(const std::string& name1, const std::string& name2);

class ReplacementFile {
public:
    // Opens the file to write. Throws SystemError("open", errno) when the file cannot be written
    // by the rules above (EBADF for a descriptor that is not open for writing).
    explicit ReplacementFile(const std::string& path);
    ~ReplacementFile();  // removes the temporary file unless committed
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    // True when the text goes straight into the destination or its descriptor (see above).
    bool direct() const { return temporary_.empty(); }

    // Closes the file and puts it in place. Throws SystemError("close", errno) or
    // SystemError("rename", errno); the temporary file is removed then.
    void commit();
    // Closes and removes the temporary file (a direct destination keeps what was written).
    void abandon() noexcept;

private:
    void removeTemporary() noexcept;

    std::string path_;       // as given
    std::string target_;     // the file that is replaced (the final target of any links)
    std::string temporary_;  // empty when writing directly
    int pendingSlot_ = -1;   // where the signal handler finds the temporary file's name
    int fd_ = -1;
};

}  // namespace ldtools
