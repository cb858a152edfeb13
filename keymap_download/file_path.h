#pragma once
// Option values keep the blank that ends the joined command text ("/L x.csv " gives "x.csv ").
// Windows drops trailing blanks and dots from a file name when it opens it, so scripts rely on
// that; we open the same name on every platform.
#include <string>
#include <string_view>

namespace keymap_download {

// `path` without the trailing blanks and dots of its last component (kept when the component
// is nothing else, like "." or "..").
std::string windows_open_name(std::string_view path);

}  // namespace keymap_download
