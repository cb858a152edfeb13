#include "common/win32/wide_text.h"

#include <windows.h>

namespace common::win32 {
namespace {

std::wstring widen(UINT code_page, std::string_view text) {
    if (text.empty()) {
        return {};
    }
    int n =
        MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) {
        MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            n);
    }
    return out;
}

std::string narrow(UINT code_page, std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    int n = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                            nullptr, nullptr);
    }
    return out;
}

}  // namespace

std::wstring from_utf8(std::string_view text) {
    return widen(CP_UTF8, text);
}

std::wstring from_ansi(std::string_view text) {
    return widen(CP_ACP, text);
}

std::string to_ansi(std::wstring_view text) {
    return narrow(CP_ACP, text);
}

std::string to_utf8(std::wstring_view text) {
    return narrow(CP_UTF8, text);
}

}  // namespace common::win32
