#pragma once
// The batch run's CSV log line, its rotation and appending, and the report plan: what is
// logged and which dialog the shell shows.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/date_text.h"
#include "keymap_download/batch.h"

namespace keymap_download {

// Longest log line; a longer one gets its file name cut so the outcome text stays whole.
constexpr std::size_t max_log_line = 259;
// A log bigger than this moves to its backup path before the next line.
constexpr std::size_t log_rotation_size = 64000;

// "2011-01-01, 09:05," with the tool's own zero-padding rules.
std::string time_prefix(const common::LocalDateTime& now);
// The outcome text of the result code, ending in "\n"; empty for result 1.
std::string_view outcome_text(ResultCode result);
// The whole line: prefix, then for codes other than 2, 3, 18, 20 " Reed, " / " Sparrow, " and
// the file name (after the last backslash), then the outcome text. At most 259 characters.
// `shift_jis`: the path is code page 932 text, whose second bytes may be 5CH ("\\") and which
// is cut between characters only.
std::string log_line(ResultCode result, const common::LocalDateTime& now,
                     std::int16_t model_selector, std::string_view keymap_path, bool shift_jis);

// The log path with its first ".csv" (else ".CSV") and everything after it replaced by
// ".bak"; empty when the path has neither (no rotation).
std::string backup_path(std::string_view log_path);
// Rotates the log when it holds more than 64000 bytes, then appends `line` with its "\n"
// written as CR LF. False when the log cannot be opened (nothing written).
bool append_log_line(const std::string& log_path, std::string_view line);

struct ReportPlan {
    std::string line;        // the built log line (empty for result 1)
    bool write_log = false;  // append `line` to `log_path`
    std::string log_path;
    bool show_usage = false;        // the usage dialog
    bool usage_auto_close = false;  // … closing itself after 10000 ms
    bool show_message = false;      // the message dialog with `line`, closing after 10000 ms
};

// Dialogs close by themselves after this long (except the usage dialog of /H and /?).
constexpr unsigned dialog_auto_close_ms = 10000;

// The report rules as a plan; no I/O.
ReportPlan plan_report(const BatchState& state, const common::LocalDateTime& now);
// plan_report, then the log append when the plan says so; returns the plan for the dialogs.
ReportPlan report_batch(const BatchState& state, const common::LocalDateTime& now);

}  // namespace keymap_download
