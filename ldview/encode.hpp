#pragma once
// How a view's data travel to the page: browsers refuse to read files of a page opened from disk, but
// run its scripts, so every data file is a script that hands its content to the page:
//   ldviewData("NAME", "BASE64");
// where BASE64 is the zlib-compressed bytes (which the page inflates with the browser's own
// DecompressionStream), or, for the description of the view, ldviewData("meta", {JSON}).

#include <cstddef>
#include <string>
#include <string_view>

namespace ldview {

// bytes compressed in the zlib format (by libdeflate, at its level 6).
std::string deflateBytes(std::string_view bytes);

// Standard base64 with padding.
std::string base64(std::string_view bytes);

// text as a JSON string literal (quotes included); bytes below 0x20, quotes and backslashes escaped,
// and "</" written "<\/" so that the text can never end a script element.
std::string jsonString(std::string_view text);

// The script that hands bytes (compressed here) to the page under name.
std::string dataScript(std::string_view name, std::string_view bytes);

}  // namespace ldview
