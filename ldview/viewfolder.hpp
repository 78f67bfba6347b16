#pragma once
// Writing a view's folder so that it appears complete or not at all.
//
// The folder is built under a temporary name next to its destination (".NAME.XXXXXX") and put in
// place by commit(): an existing view is swapped out in one step and then removed. Until then, and
// whenever the run fails, the destination stays exactly as it was and the temporary folder is
// removed. Only a folder that ldview wrote (it holds the stamp file kStampName) or an empty folder
// is ever replaced, so that a slip of -o cannot delete a folder of other files.

#include <string>

namespace ldview {

// The file that marks a folder as a view.
inline constexpr const char* kStampName = ".ldview";

class ViewFolder {
public:
    // Checks the destination and creates the temporary folder. Throws ldtools::Error with ldview's
    // message when the destination is not a folder, or a folder of other files, or when the
    // temporary folder cannot be created.
    explicit ViewFolder(const std::string& destination);
    ~ViewFolder();  // removes the temporary folder unless committed
    ViewFolder(const ViewFolder&) = delete;
    ViewFolder& operator=(const ViewFolder&) = delete;

    // The temporary folder, where the view is written.
    const std::string& path() const { return temporary_; }
    // Creates a folder inside the temporary one. Throws ldtools::Error.
    void makeFolder(const std::string& relative) const;
    // Writes a whole file inside the temporary folder. Throws ldtools::Error.
    void writeFile(const std::string& relative, const std::string& content) const;

    // Puts the view in place of the destination and removes the old one. Throws ldtools::Error.
    void commit();

    // The folder that gets replaced (symbolic links followed).
    const std::string& target() const { return target_; }

private:
    [[noreturn]] void fail(const std::string& what, int code) const;

    std::string destination_;
    std::string target_;
    std::string temporary_;
    bool committed_ = false;
};

// True when path names a file inside folder (both followed to their real place).
bool insideFolder(const std::string& path, const std::string& folder);

}  // namespace ldview
