#pragma once
// Every user-visible text of TAVmapDL, English and Japanese (UTF-8; the shell converts to
// UTF-16 for the W APIs). The captions, the usage dialog and "Device not Select!" exist in
// English only.
#include <cstddef>

#include "common/language.h"

namespace keymap_download {

struct Messages {
    const char* reading;  // status while loading the file
    const char* writing;  // status while writing
    const char* finish;   // status at the end
    const char* confirm;  // question before a download
    const char* success;
    const char* transfer_failed;
    const char* format_error;
    const char* cannot_read;  // file text not loadable
    const char* not_found;    // file cannot be opened
    const char* no_file_name;
    const char* dialog_failed;  // main dialog cannot be created
    const char* date_stamp_failed;
    // Dialog texts (the .rc templates carry the same).
    const char* main_title;
    const char* instruction;
    const char* date_stamp_window;  // the date stamp window's one text
    // Saving the keyboard's key map from the main dialog.
    const char* keymap_saved;
    const char* keymap_not_read;
    const char* keymap_not_saved;
    // Shown by Windows beside the progress dialog while it refuses a log-off or shutdown.
    const char* session_end_reason;
};

const Messages& messages_for(bool japanese);
using common::japanese_from_code_page;

constexpr const char* caption_question = "Download tool";
constexpr const char* caption_failure = "Download tool failure";
constexpr const char* caption_success = "Download tool success";
constexpr const char* device_not_selected_text = "Device not Select!";

// Title of the batch mode's usage and message dialogs.
constexpr const char* batch_dialog_title = "TAVmapDL";
// The usage dialog's texts, in order.
constexpr std::size_t usage_text_count = 7;
extern const char* const usage_texts[usage_text_count];

// The single-instance mutex.
constexpr const char* instance_mutex_name = "082F5E00-C13F-4ce9-B20A-4389590BE019";

}  // namespace keymap_download
