#pragma once
// Every user-visible text of TAVFrmDL, English and Japanese (UTF-8; the shell converts to
// UTF-16 for the W APIs). The captions and the worker's failure text exist in English only.
#include "common/language.h"

namespace firmware_download {

struct Messages {
    const char* writing;  // progress status while the keyboard is written
    const char* reading;  // progress status while the file is read
    const char* finish;   // progress status at the end
    const char* confirm;  // question before a download
    const char* ended_normally;
    const char* ended_abnormally;
    const char* format_error;
    const char* cannot_read;  // the file's contents cannot be held
    const char* not_found;    // the file cannot be opened
    const char* no_file_name;
    const char* dialog_failed;  // main dialog cannot be created
    const char* date_stamp_failed;
    const char* device_not_found;  // version query without a keyboard
    const char* canceled;          // a download stopped on request
    // Dialog texts (the .rc templates carry the same).
    const char* main_title;
    const char* instruction;
    const char* date_stamp_notice;
    // Shown by Windows beside the dialog while it refuses a log-off or shutdown.
    const char* session_end_reason;
};

const Messages& messages_for(bool japanese);
using common::japanese_from_code_page;

constexpr const char* caption_question = "Download tool";
constexpr const char* caption_failure = "Download tool failure";
constexpr const char* caption_success = "Download tool success";
// Shown by the download sequence itself when it fails in the graphical mode.
constexpr const char* download_failed_text = "TAVSendDownloadData FALSE";

// The single-instance mutex.
constexpr const char* instance_mutex_name = "C54FD160-AEAD-11d3-9AB0-00105AC8B185";

}  // namespace firmware_download
