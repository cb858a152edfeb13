#pragma once
// The language flag of every program with texts: Japanese when the system's ANSI code page is
// 932 (Shift-JIS), English otherwise.
namespace common {

constexpr unsigned japanese_code_page = 932;

constexpr bool japanese_from_code_page(unsigned ansi_code_page) {
    return ansi_code_page == japanese_code_page;
}

}  // namespace common
