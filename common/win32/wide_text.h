#pragma once
// Text conversions of the shell. The core keeps texts as UTF-8 (messages) or in the ANSI code
// page (paths, command text, log lines, as a program of this kind always has); the W APIs
// take UTF-16.
#include <string>
#include <string_view>

namespace common::win32 {

std::wstring from_utf8(std::string_view text);
std::wstring from_ansi(std::string_view text);
std::string to_ansi(std::wstring_view text);
std::string to_utf8(std::wstring_view text);

}  // namespace common::win32
