#pragma once
// Every user-visible text of TAVSET, English and Japanese (UTF-8; the shell converts to UTF-16
// for the W APIs), and the names other programs and scripts see.
#include "common/language.h"

namespace settings_tool {

struct Messages {
    const char* not_found;
    const char* msr_type_failed;
    const char* key_lockout_failed;
    const char* key_input_failed;
    const char* op_key_failed;
    const char* set_failed;
};

const Messages& messages_for(bool japanese);
using common::japanese_from_code_page;

// Every message box, in both languages.
constexpr const char* message_caption = "TAVSET";

// The MSR type as the dialog shows it, the same in both languages.
constexpr const char* msr_text_jis = "JIS 1/2";
constexpr const char* msr_text_iso = "ISO 1/2/3";
constexpr const char* msr_text_none = "Not connection ";  // the trailing blank is the text's

constexpr const char* instance_mutex_name = "A3RG95LG-567F-1GR5-AEV5-07RTT455T960";
constexpr const char* main_window_class = "TAVSETTING";
constexpr const char* main_window_title = "ZELPOSTool";

}  // namespace settings_tool
