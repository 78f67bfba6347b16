#pragma once
// The page of a view (HTML, style sheet, scripts), built into the program from ldview/web.

#include <string_view>
#include <vector>

namespace ldview {

struct WebFile {
    const char* name;  // path inside the view's folder
    std::string_view content;
};

const std::vector<WebFile>& webFiles();

}  // namespace ldview
