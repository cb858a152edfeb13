#include "keymap_download/batch.h"

#include "keymap_download/keymap_backup.h"

namespace keymap_download {

ResultCode result_for_write(WriteOutcome outcome) {
    switch (outcome) {
        case WriteOutcome::ok:
            return ResultCode::update_success;
        case WriteOutcome::device_not_selected:
            return ResultCode::no_model;
        case WriteOutcome::start_failed:
            return ResultCode::start_failed;
        case WriteOutcome::data_failed:
            return ResultCode::data_failed;
        case WriteOutcome::end_failed:
            return ResultCode::end_failed;
        case WriteOutcome::timeout:
            return ResultCode::timeout;
    }
    return ResultCode::start_failed;
}

int exit_code_for(ResultCode result) {
    switch (result) {
        case ResultCode::update_success:
        case ResultCode::usage_shown:
        case ResultCode::same_keymap:
            return 0;
        case ResultCode::different_keymap:
        case ResultCode::start_failed:
        case ResultCode::data_failed:
        case ResultCode::end_failed:
            return 1;
        case ResultCode::no_device:
            return 2;
        case ResultCode::no_function:
        case ResultCode::no_model:
        case ResultCode::no_keymap_file:
        case ResultCode::keymap_form_error:
        case ResultCode::memory_error:
        case ResultCode::date_stamp_failed:
        case ResultCode::keymap_upload_error:
        case ResultCode::timeout:
        case ResultCode::overlap_start:
        case ResultCode::backup_failed:
        case ResultCode::bad_date:
            return 3;
    }
    return 3;
}

BatchState overlap_start_state() {
    BatchState state;
    state.result = ResultCode::overlap_start;
    return state;
}

namespace {

bool save_backup(KeymapSession& session, const std::string& path) {
    return save_keyboard_keymap(session, path) == BackupOutcome::saved;
}

ResultCode run_steps(BatchState& state, KeymapSession& session,
                     const std::function<std::string()>& today, std::size_t max_table_size) {
    const BatchOptions& options = state.options;
    // /B alone only saves; beside a compare it makes no sense.
    const bool save_only = options.backup && options.function == BatchFunction::none;
    if (options.function == BatchFunction::none && (!options.backup || options.usage)) {
        return options.usage ? ResultCode::usage_shown : ResultCode::no_function;
    }
    if (options.backup && options.function == BatchFunction::compare) {
        return ResultCode::no_function;
    }
    if (options.model_selector == 1) {
        session.record = sparrow_record();
    } else if (options.model_selector == 2) {
        session.record = reed_record();
    } else {
        return ResultCode::no_model;
    }
    state.model_selector = session.record.model_selector;
    // A date stamp that is no date would stay in the keyboard: refuse it before anything is sent.
    if (options.date_given && !is_date_value(options.date_text)) {
        return ResultCode::bad_date;
    }

    // Only a presence check: every operation below opens the keyboard per phase again.
    hidlink::Link& link = session.link();
    link.model_selector = session.record.model_selector;
    const bool found = link.find_and_open();
    link.close();
    if (!found) {
        return ResultCode::no_device;
    }
    if (save_only) {
        return save_backup(session, options.backup_path) ? ResultCode::update_success
                                                         : ResultCode::backup_failed;
    }

    TableFile file;
    if (!file.open(options.keymap_path)) {
        return ResultCode::no_keymap_file;
    }
    std::string text;
    if (file.load(text, max_table_size) != LoadResult::loaded) {
        return ResultCode::memory_error;
    }
    session.preset_file_keymap();
    if (read_table(text, session.record.line_count, session.file_keymap) != TableResult::accepted) {
        return ResultCode::keymap_form_error;
    }
    if (options.backup && !save_backup(session, options.backup_path)) {
        return ResultCode::backup_failed;
    }

    if (options.function == BatchFunction::compare ||
        options.function == BatchFunction::write_if_different) {
        switch (session.compare()) {
            case CompareOutcome::same:
                return ResultCode::same_keymap;
            case CompareOutcome::read_failed:
                return ResultCode::keymap_upload_error;
            case CompareOutcome::different:
                if (options.function == BatchFunction::compare) {
                    return ResultCode::different_keymap;
                }
                state.result = ResultCode::different_keymap;
                break;
        }
    }

    WriteHooks hooks;
    hooks.batch_budget = true;
    const WriteOutcome outcome = session.write_keymap(hooks);
    if (outcome != WriteOutcome::ok) {
        return result_for_write(outcome);
    }

    const std::string date_text = options.date_given ? options.date_text : today();
    session.pause_before_date_stamp();
    return session.send_date_stamp(date_text) ? ResultCode::update_success
                                              : ResultCode::date_stamp_failed;
}

}  // namespace

BatchState run_batch(std::string_view command_text, KeymapSession& session,
                     const std::function<std::string()>& today, std::size_t max_table_size) {
    BatchState state;
    state.options = parse_options(command_text);
    state.result = run_steps(state, session, today, max_table_size);
    return state;
}

}  // namespace keymap_download
