#include "keymap_download/batch_log.h"

#include <cstdio>

#include "common/text_cut.h"
#include "keymap_download/file_path.h"

namespace keymap_download {

std::string time_prefix(const common::LocalDateTime& now) {
    // Each field has its own padding rule, kept as scripts that parse the log know it.
    char text[96];
    const int month = now.date.month;
    const int day = now.date.day;
    std::snprintf(text, sizeof text, "%d-", now.date.year);
    std::string prefix = text;
    std::snprintf(text, sizeof text, month < 10 ? "0%d-" : "%d-", month);
    prefix += text;
    std::snprintf(text, sizeof text, day < 10 ? "0%d," : "%d,", day);
    prefix += text;
    std::snprintf(text, sizeof text, now.hour < 10 ? " 0%d:" : " %d:", now.hour);
    prefix += text;
    std::snprintf(text, sizeof text, now.minute < 10 ? "0%d," : "%d,", now.minute);
    prefix += text;
    return prefix;
}

std::string_view outcome_text(ResultCode result) {
    switch (result) {
        case ResultCode::update_success:
            return ", update success.\n";
        case ResultCode::usage_shown:
            return "";
        case ResultCode::no_function:
            return " , , other error, parameter error (function /C /W /F).\n";
        case ResultCode::no_model:
            return " , , other error, parameter error (Target Keyboard /1 /2).\n";
        case ResultCode::no_keymap_file:
            return ", other error, no keymap file.\n";
        case ResultCode::keymap_form_error:
            return ", other error, keymap form error.\n";
        case ResultCode::same_keymap:
            return ", same KeyMap.\n";
        case ResultCode::different_keymap:
            return ", different KeyMap.\n";
        case ResultCode::memory_error:
            return ", other error, memory allocates error.\n";
        case ResultCode::date_stamp_failed:
            return ", other error, download time setting error.\n";
        case ResultCode::keymap_upload_error:
            return ", other error, keymap upload error.\n";
        case ResultCode::start_failed:
            return ", update error, command error (start).\n";
        case ResultCode::data_failed:
            return ", update error, command error (data).\n";
        case ResultCode::end_failed:
            return ", update error, command error (end).\n";
        case ResultCode::no_device:
            return ", no device error.\n";
        case ResultCode::timeout:
            return ", timeout error.\n";
        case ResultCode::overlap_start:
            return " , , other error, overlap start error.\n";
        case ResultCode::backup_failed:
            return ", other error, keymap backup error.\n";
        case ResultCode::bad_date:
            return " , , other error, parameter error (date /T).\n";
    }
    return "";
}

std::string log_line(ResultCode result, const common::LocalDateTime& now,
                     std::int16_t model_selector, std::string_view keymap_path, bool shift_jis) {
    std::string line = time_prefix(now);
    const std::string_view outcome = outcome_text(result);
    if (result == ResultCode::no_function || result == ResultCode::no_model ||
        result == ResultCode::bad_date || result == ResultCode::overlap_start) {
        line += outcome;
    } else {
        line += model_selector == 2 ? " Reed, " : " Sparrow, ";
        // An over-long line loses the end of the file name, never the outcome.
        const std::string name = common::file_name_of(keymap_path, shift_jis, "\\");
        const std::size_t fixed = line.size() + outcome.size();
        const std::size_t room = fixed < max_log_line ? max_log_line - fixed : 0;
        line += common::cut_text(name, room, shift_jis);
        line += outcome;
    }
    if (line.size() > max_log_line) {
        line.resize(max_log_line);
    }
    return line;
}

std::string backup_path(std::string_view log_path) {
    std::size_t pos = log_path.find(".csv");
    if (pos == std::string_view::npos) {
        pos = log_path.find(".CSV");
    }
    if (pos == std::string_view::npos) {
        return {};
    }
    return std::string(log_path.substr(0, pos)) + ".bak";
}

bool append_log_line(const std::string& path, std::string_view line) {
    const std::string log_path = windows_open_name(path);
    const std::string backup = windows_open_name(backup_path(path));
    if (!backup.empty()) {
        long size = -1;
        if (std::FILE* log = std::fopen(log_path.c_str(), "ab")) {
            if (std::fseek(log, 0, SEEK_END) == 0) {
                size = std::ftell(log);
            }
            std::fclose(log);
        }
        if (size > static_cast<long>(log_rotation_size)) {
            // The previous backup goes only once the log has moved aside (a viewer may hold
            // it open), and the log comes back when the backup cannot be replaced.
            const std::string aside = log_path + "~";
            if (std::rename(log_path.c_str(), aside.c_str()) == 0) {
                std::remove(backup.c_str());
                if (std::rename(aside.c_str(), backup.c_str()) != 0) {
                    std::rename(aside.c_str(), log_path.c_str());
                }
            }
        }
    }
    std::FILE* log = std::fopen(log_path.c_str(), "ab");
    if (log == nullptr) {
        return false;
    }
    // Binary mode with explicit CR LF, so the log is the same on every platform.
    std::string bytes;
    for (char c : line) {
        if (c == '\n') {
            bytes += '\r';
        }
        bytes += c;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), log) == bytes.size();
    const bool closed = std::fclose(log) == 0;
    return written && closed;
}

ReportPlan plan_report(const BatchState& state, const common::LocalDateTime& now) {
    ReportPlan plan;
    const ResultCode result = state.result;
    const bool compare = state.options.function == BatchFunction::compare;
    if (result == ResultCode::usage_shown) {
        // The usage asked for by /H or /?: it stays until OK.
        plan.show_usage = true;
        return plan;
    }
    if (result == ResultCode::same_keymap && !compare) {
        return plan;
    }
    // A save-only run (/B without a function) names the file it saved.
    const BatchOptions& options = state.options;
    const bool save_only = options.backup && options.function == BatchFunction::none;
    plan.line = log_line(result, now, state.model_selector,
                         save_only ? options.backup_path : options.keymap_path, state.shift_jis);
    plan.log_path = state.options.log_path;
    if (result == ResultCode::same_keymap || result == ResultCode::overlap_start) {
        plan.show_message = true;
        return plan;
    }
    plan.write_log = state.options.log;
    if (result == ResultCode::no_function || result == ResultCode::no_model ||
        result == ResultCode::bad_date) {
        plan.show_usage = true;
        plan.usage_auto_close = true;
    } else {
        plan.show_message = true;
    }
    return plan;
}

ReportPlan report_batch(const BatchState& state, const common::LocalDateTime& now) {
    ReportPlan plan = plan_report(state, now);
    if (plan.write_log) {
        append_log_line(plan.log_path, plan.line);  // a log that cannot be opened is not reported
    }
    return plan;
}

}  // namespace keymap_download
