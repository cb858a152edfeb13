#pragma once
// The batch run: compare, write when different, or write always, driven by the command text,
// ending in a result code that selects the log line, the dialog and the exit code.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "keymap_download/batch_options.h"
#include "keymap_download/keymap_protocol.h"
#include "keymap_download/keymap_table.h"

namespace keymap_download {

enum class ResultCode {
    update_success = 0,
    usage_shown = 1,
    no_function = 2,
    no_model = 3,
    no_keymap_file = 4,
    keymap_form_error = 5,
    same_keymap = 6,
    different_keymap = 7,
    memory_error = 8,
    date_stamp_failed = 11,
    keymap_upload_error = 12,
    start_failed = 13,
    data_failed = 14,
    end_failed = 15,
    no_device = 16,
    timeout = 17,
    overlap_start = 18,
    backup_failed = 19,  // the key map could not be read or saved; nothing was written
    bad_date = 20,       // a /T value that is no date; nothing was sent
};

// What one run leaves behind for the report.
struct BatchState {
    ResultCode result = ResultCode::update_success;
    BatchOptions options;
    std::int16_t model_selector = 0;  // the download record's selector at the end of the run
    bool shift_jis = false;           // the command line is code page 932 text (set by the shell)
};

// Runs the batch steps against the keyboard behind `session`. `today` gives the date text
// ("YYYY-MM-DD") used when /T is absent; it is asked for only once the write has succeeded, so
// the stamp carries the date of the stamp. The 12000 ms pause goes through the session's clock.
BatchState run_batch(std::string_view command_text, KeymapSession& session,
                     const std::function<std::string()>& today,
                     std::size_t max_table_size = default_max_table_size);

// The state reported when another instance is running (result 18).
BatchState overlap_start_state();

// Result code of a write that did not succeed (13, 14, 15, 17; 3 without a model).
ResultCode result_for_write(WriteOutcome outcome);

// Process exit code for a result code: 0, 1, 2 or 3.
int exit_code_for(ResultCode result);

// Exit codes of GUI mode.
constexpr int gui_exit_code = 0;
constexpr int gui_second_instance_exit_code = 3;

}  // namespace keymap_download
