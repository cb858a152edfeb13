#pragma once
// The decisions of TAVFrmDL's main, progress and version dialogs and of the download worker,
// as functions the Win32 shell calls and then carries out.
#include <cstdint>
#include <string_view>

#include "common/message_box.h"
#include "firmware_download/firmware_protocol.h"
#include "firmware_download/messages.h"
#include "firmware_download/srecord.h"

namespace firmware_download {

// Control identifiers the decisions refer to.
constexpr int id_radio_sparrow = 1017;
constexpr int id_radio_reed = 1018;
constexpr int id_radio_larch = 1019;
constexpr int id_radio_reed_msr = 1020;
constexpr int id_mode_update = 1021;
constexpr int id_mode_version = 1022;
// A cancel control the progress templates do not carry; its command is ignored.
constexpr int id_progress_cancel = 1003;

// Private window messages: the worker's outcome (wParam 1, 2 or 3) and the main dialog's date
// stamp request to itself.
constexpr unsigned completion_message_offset = 100;  // WM_USER + 100
constexpr unsigned date_stamp_message_offset = 103;  // WM_USER + 103

// Longest file name and date text the dialogs take, in characters without the terminator.
constexpr std::size_t max_name_length = 259;

// What the progress dialog leaves for the main dialog.
enum class DownloadResult {
    declined = 0,
    ended_normally = 200,
    cannot_read = 201,
    format_error = 202,
    ended_abnormally = 203,
    canceled = 204,
    // Our own: the file could be opened when Run checked it, but not any more when it was read.
    not_found = 205,
};

using common::Icon;
using common::MessageBoxPlan;

// The model selector of a model button (1017 Sparrow, 1018 Reed, 1019 Larch, 1020 ReedMSR);
// 0 for any other control.
std::int16_t model_for_button(int control_id);
enum class OperationMode { update, version };

// Run, step 1: an empty name asks for one; a name longer than 259 characters cannot be a file
// that opens, so it is "not found". No message: go on and open it.
MessageBoxPlan check_file_name(std::string_view file_name, const Messages& texts);
// Run, step 2: the file could not be opened.
MessageBoxPlan file_not_found_message(const Messages& texts);

// Progress dialog, after the file was read: the result that closes the dialog; declined (no
// result of its own) means the image is ready and the worker starts.
DownloadResult download_result_for(ParseOutcome outcome);
// Progress dialog on the worker's outcome message.
DownloadResult download_result_for(DownloadOutcome outcome);
// Main dialog after the progress dialog: the error to show (none for declined and success).
MessageBoxPlan message_for_download_result(DownloadResult result, const Messages& texts);
inline bool starts_date_stamp(DownloadResult result) {
    return result == DownloadResult::ended_normally;
}
// After the date stamp, whatever its outcome the caption is "Download tool success".
MessageBoxPlan date_stamp_message(bool stamped, const Messages& texts);

// Worker: the graphical mode's own report of a failed download, shown before the outcome is
// posted.
MessageBoxPlan worker_message(DownloadOutcome outcome);

// Version dialog: the message before the text, and the text.
MessageBoxPlan version_query_message(const VersionResult& result, const Messages& texts);

// Cancel, Escape or the close box end the main dialog only while nothing is being downloaded.
inline bool close_allowed(bool busy) {
    return !busy;
}

MessageBoxPlan confirm_message(const Messages& texts);
MessageBoxPlan dialog_failed_message(const Messages& texts);

}  // namespace firmware_download
