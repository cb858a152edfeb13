#include "keymap_download/dialog_logic.h"

namespace keymap_download {

namespace {

MessageBoxPlan error_box(const char* text) {
    return {true, text, caption_failure, Icon::error};
}

}  // namespace

DownloadRecord record_for_radio(int control_id) {
    return control_id == id_radio_sparrow ? sparrow_record() : reed_record();
}

MessageBoxPlan check_file_name(std::string_view file_name, const Messages& texts) {
    return file_name.empty() ? error_box(texts.no_file_name) : MessageBoxPlan{};
}

MessageBoxPlan file_not_found_message(const Messages& texts) {
    return error_box(texts.not_found);
}

Preparation prepare_download(TableFile& file, KeymapSession& session, std::size_t max_size) {
    std::string text;
    if (file.load(text, max_size) != LoadResult::loaded) {
        return Preparation::not_loadable;
    }
    session.preset_file_keymap();
    return read_table(text, session.record.line_count, session.file_keymap) == TableResult::accepted
               ? Preparation::ready
               : Preparation::format_error;
}

DownloadResult download_result_for(Preparation preparation) {
    switch (preparation) {
        case Preparation::ready:
            return DownloadResult::declined;
        case Preparation::not_loadable:
            return DownloadResult::not_loadable;
        case Preparation::format_error:
            return DownloadResult::format_error;
    }
    return DownloadResult::not_loadable;
}

int completion_code_for(WriteOutcome outcome) {
    return outcome == WriteOutcome::ok ? completion_success : completion_failure;
}

MessageBoxPlan write_outcome_message(WriteOutcome outcome) {
    return outcome == WriteOutcome::device_not_selected ? error_box(device_not_selected_text)
                                                        : MessageBoxPlan{};
}

DownloadResult download_result_for(int completion_code) {
    return completion_code == completion_success ? DownloadResult::success
                                                 : DownloadResult::transfer_failed;
}

MessageBoxPlan message_for_download_result(DownloadResult result, const Messages& texts) {
    switch (result) {
        case DownloadResult::declined:
        case DownloadResult::success:
            return {};
        case DownloadResult::not_loadable:
            return error_box(texts.cannot_read);
        case DownloadResult::format_error:
            return error_box(texts.format_error);
        case DownloadResult::transfer_failed:
            return error_box(texts.transfer_failed);
    }
    return {};
}

MessageBoxPlan date_stamp_message(bool stamped, const Messages& texts) {
    if (stamped) {
        return {true, texts.success, caption_success, Icon::information};
    }
    return error_box(texts.date_stamp_failed);
}

MessageBoxPlan keymap_backup_message(BackupOutcome outcome, const Messages& texts) {
    switch (outcome) {
        case BackupOutcome::saved:
            return {true, texts.keymap_saved, caption_success, Icon::information};
        case BackupOutcome::read_failed:
            return error_box(texts.keymap_not_read);
        case BackupOutcome::write_failed:
            return error_box(texts.keymap_not_saved);
    }
    return error_box(texts.keymap_not_saved);
}

MessageBoxPlan confirm_message(const Messages& texts) {
    return {true, texts.confirm, caption_question, Icon::warning};
}

MessageBoxPlan dialog_failed_message(const Messages& texts) {
    return error_box(texts.dialog_failed);
}

}  // namespace keymap_download
