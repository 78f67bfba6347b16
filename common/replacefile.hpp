#pragma once
// Writing a file so that it appears complete or not at all.
//
// The text goes to a temporary file in the destination's folder, which commit() renames over
// the destination; until then, and whenever the run fails, the destination stays exactly as it
// was and the temporary file is removed. The rules:
//  - A symbolic link is followed: its final target is replaced, and the link stays a link.
//  - A regular file that is replaced keeps its permission bits; a new file gets 0666 less the
//    umask, as any newly created file does.
//  - A destination that exists and is not a regular file (a device such as /dev/full, a pipe)
//    is written directly: renaming over it would replace the device by a file.
//  - When no temporary file can be made in the folder (a read-only folder with a writable file
//    in it), the destination is written directly.
//  - An existing destination that is not writable is refused (SystemError "open", EACCES).
//  - A process ended by an interrupt, a hang-up, a termination request or a broken pipe removes
//    its temporary files on the way out (where those signals have their default action).
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
    // Opens the file to write. Throws SystemError("open", errno) when neither a temporary file
    // nor the destination can be opened for writing.
    explicit ReplacementFile(const std::string& path);
    ~ReplacementFile();  // removes the temporary file unless committed
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    // True when the text goes straight into the destination (see above).
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
