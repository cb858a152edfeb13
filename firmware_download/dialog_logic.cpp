#include "firmware_download/dialog_logic.h"

namespace firmware_download {

namespace {

MessageBoxPlan error_box(const char* text) {
    return {true, text, caption_failure, Icon::error};
}

}  // namespace

std::int16_t model_for_button(int control_id) {
    switch (control_id) {
        case id_radio_sparrow:
            return 1;
        case id_radio_reed:
            return 2;
        case id_radio_larch:
            return 3;
        case id_radio_reed_msr:
            return 4;
    }
    return 0;
}

MessageBoxPlan check_file_name(std::string_view file_name, const Messages& texts) {
    if (file_name.empty()) {
        return error_box(texts.no_file_name);
    }
    if (file_name.size() > max_name_length) {
        return error_box(texts.not_found);
    }
    return {};
}

MessageBoxPlan file_not_found_message(const Messages& texts) {
    return error_box(texts.not_found);
}

DownloadResult download_result_for(ParseOutcome outcome) {
    switch (outcome) {
        case ParseOutcome::accepted:
            return DownloadResult::declined;
        case ParseOutcome::not_found:
            return DownloadResult::not_found;
        case ParseOutcome::cannot_read:
            return DownloadResult::cannot_read;
        case ParseOutcome::format_error:
            return DownloadResult::format_error;
    }
    return DownloadResult::cannot_read;
}

DownloadResult download_result_for(DownloadOutcome outcome) {
    switch (outcome) {
        case DownloadOutcome::ended_normally:
            return DownloadResult::ended_normally;
        case DownloadOutcome::canceled:
            return DownloadResult::canceled;
        case DownloadOutcome::failed:
            break;
    }
    return DownloadResult::ended_abnormally;
}

MessageBoxPlan message_for_download_result(DownloadResult result, const Messages& texts) {
    switch (result) {
        case DownloadResult::declined:
        case DownloadResult::ended_normally:
            return {};
        case DownloadResult::cannot_read:
            return error_box(texts.cannot_read);
        case DownloadResult::format_error:
            return error_box(texts.format_error);
        case DownloadResult::ended_abnormally:
            return error_box(texts.ended_abnormally);
        case DownloadResult::canceled:
            return error_box(texts.canceled);
        case DownloadResult::not_found:
            return error_box(texts.not_found);
    }
    return {};
}

MessageBoxPlan date_stamp_message(bool stamped, const Messages& texts) {
    if (stamped) {
        return {true, texts.ended_normally, caption_success, Icon::information};
    }
    return {true, texts.date_stamp_failed, caption_success, Icon::error};
}

MessageBoxPlan worker_message(DownloadOutcome outcome) {
    return outcome == DownloadOutcome::failed ? error_box(download_failed_text) : MessageBoxPlan{};
}

MessageBoxPlan version_query_message(const VersionResult& result, const Messages& texts) {
    if (result.status == VersionStatus::no_device) {
        return {true, texts.device_not_found, caption_failure, Icon::none};
    }
    return {};
}

MessageBoxPlan confirm_message(const Messages& texts) {
    return {true, texts.confirm, caption_question, Icon::warning};
}

MessageBoxPlan dialog_failed_message(const Messages& texts) {
    return error_box(texts.dialog_failed);
}

}  // namespace firmware_download
