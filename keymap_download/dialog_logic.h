#pragma once
// The decisions of TAVmapDL's main dialog, progress dialog and worker, as functions the
// Win32 shell calls and then carries out.
#include <string>
#include <string_view>

#include "common/message_box.h"
#include "keymap_download/download_record.h"
#include "keymap_download/keymap_backup.h"
#include "keymap_download/keymap_protocol.h"
#include "keymap_download/keymap_table.h"
#include "keymap_download/messages.h"

namespace keymap_download {

// Control identifiers the decisions refer to.
constexpr int id_radio_sparrow = 1017;
constexpr int id_radio_reed = 1018;

// Private window messages: the worker's completion (wParam 1 success, 2 failure) and the main
// dialog's date stamp request to itself.
constexpr unsigned completion_message_offset = 100;  // WM_USER + 100
constexpr unsigned date_stamp_message_offset = 103;  // WM_USER + 103
constexpr int completion_success = 1;
constexpr int completion_failure = 2;

// Progress dialog's result for the main dialog.
enum class DownloadResult {
    declined = 0,
    success = 200,
    not_loadable = 201,
    format_error = 202,
    transfer_failed = 203,
};

using common::Icon;
using common::MessageBoxPlan;

// Radio button 1017 → Sparrow record, anything else (1018) → ReedKey PAD record.
DownloadRecord record_for_radio(int control_id);

// Run, step 1: an empty file name gives "Please input the file name.".
MessageBoxPlan check_file_name(std::string_view file_name, const Messages& texts);
// Run, step 2: the file could not be opened.
MessageBoxPlan file_not_found_message(const Messages& texts);

// Progress dialog steps 3 and 4: load the opened file (closing it), preset the file key map
// over the record's length and parse. `ready` starts the worker.
enum class Preparation { ready, not_loadable, format_error };
Preparation prepare_download(TableFile& file, KeymapSession& session,
                             std::size_t max_size = default_max_table_size);
// not_loadable → 201, format_error → 202 (ready has no result of its own: declined).
DownloadResult download_result_for(Preparation preparation);

// Worker: the completion code posted for a write outcome, and the message the write itself
// shows (only "Device not Select!" for a write without a model).
int completion_code_for(WriteOutcome outcome);
MessageBoxPlan write_outcome_message(WriteOutcome outcome);
// Progress dialog on the completion message.
DownloadResult download_result_for(int completion_code);

// Main dialog after the progress dialog: the error to show (none for declined and success).
MessageBoxPlan message_for_download_result(DownloadResult result, const Messages& texts);
// Success continues with the date stamp window and WM_USER + 103.
inline bool starts_date_stamp(DownloadResult result) {
    return result == DownloadResult::success;
}
// After the date stamp.
MessageBoxPlan date_stamp_message(bool stamped, const Messages& texts);

// Cancel or closing the main dialog is ignored while a write runs.
inline bool close_allowed(bool busy) {
    return !busy;
}

// After the save button has read and saved the keyboard's key map.
MessageBoxPlan keymap_backup_message(BackupOutcome outcome, const Messages& texts);

// The confirmation question before a download.
MessageBoxPlan confirm_message(const Messages& texts);
// "Dialogbox cannot be made."
MessageBoxPlan dialog_failed_message(const Messages& texts);

}  // namespace keymap_download
