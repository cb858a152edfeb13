#pragma once
// The batch command line: the joined command text and the options found in it, with their
// values taken exactly as scripts written for this tool expect.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace keymap_download {

// Each argument after the program name followed by one blank, the whole of it: a cut text
// could lose or shorten options (/T, /L) without a word. Empty result: GUI mode.
std::string join_command_text(std::span<const std::string> arguments);
// argv form: argv[0] (the program) is skipped.
std::string join_command_text(int argc, const char* const* argv);
inline bool is_gui_mode(std::string_view command_text) {
    return command_text.empty();
}

// Position of the first occurrence of `option` ("/C", "/1", …; case-sensitive), or npos.
std::size_t find_option(std::string_view text, std::string_view option);
// The value of the option whose slash stands at `slash`: from three characters after the slash
// up to one character before the next slash, or to the end of the text (a trailing blank
// stays). Empty when the next slash follows at once or the text ends first.
std::string option_value(std::string_view text, std::size_t slash);
// The double-quote rule of file values: with a double quote, the text after the first one up
// to the next one (or to the end); without, the value unchanged.
std::string unquoted_value(std::string_view value);
// A /T value the keyboard can take as its date stamp: "NNNN-NN-NN" in digits and hyphens, then
// nothing but blanks (the last option keeps the joined text's trailing blank).
bool is_date_value(std::string_view value);

enum class BatchFunction { none, compare, write_if_different, write_always };

struct BatchOptions {
    bool log = false;  // /L or /l given
    std::string log_path;
    BatchFunction function = BatchFunction::none;  // first of /C /c /W /w /F /f
    std::string keymap_path;                       // the function option's value
    bool usage = false;                            // /H, /h or /?
    std::int16_t model_selector = 0;               // 1 for /1, else 2 for /2, else 0
    bool date_given = false;                       // /T or /t given
    std::string date_text;
    bool backup = false;  // /B or /b given: save the keyboard's key map first
    std::string backup_path;
};

BatchOptions parse_options(std::string_view command_text);

}  // namespace keymap_download
