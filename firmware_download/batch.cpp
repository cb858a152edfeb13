#include "firmware_download/batch.h"

namespace firmware_download {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::string command_tail(std::string_view line) {
    std::size_t pos = 0;
    if (!line.empty() && line[0] == '"') {
        std::size_t close = line.find('"', 1);
        pos = close == std::string_view::npos ? line.size() : close + 1;
    }
    while (pos < line.size() && !is_blank(line[pos])) {
        ++pos;
    }
    while (pos < line.size() && is_blank(line[pos])) {
        ++pos;
    }
    return std::string(line.substr(pos));
}

BatchCommand parse_command(std::string_view text, std::string_view current_folder) {
    BatchCommand command;
    if (text.size() < 3 || text.size() > max_command_line) {
        return command;
    }
    if (text[0] < '1' || text[0] > '4') {
        return command;
    }
    std::string_view path = text.substr(2);
    if (path.size() >= 2 && path.front() == '"') {
        std::size_t close = path.find('"', 1);
        path = path.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    }
    if (path.empty()) {
        return command;
    }
    if (path.size() >= 2 && path[1] == ':') {
        command.path = std::string(path);
    } else {
        if (current_folder.empty() || current_folder.size() + 1 + path.size() > max_path_length) {
            return command;
        }
        command.path = std::string(current_folder) + "\\" + std::string(path);
    }
    command.model_selector = static_cast<std::int16_t>(text[0] - '0');
    command.valid = true;
    return command;
}

int run_batch(std::string_view command_text, std::string_view current_folder,
              FirmwareSession& session, const std::function<std::string()>& today,
              std::size_t max_file_size) {
    BatchCommand command = parse_command(command_text, current_folder);
    if (!command.valid) {
        return exit_failure;
    }
    session.model_selector = command.model_selector;
    if (read_firmware_file(command.path, session.image, max_file_size) != ParseOutcome::accepted) {
        return exit_failure;
    }
    session.clear_cancel();
    if (session.download() != DownloadOutcome::ended_normally) {
        return exit_failure;  // no date stamp on a keyboard whose firmware did not arrive
    }
    const std::string date = today();
    session.pause_before_date_stamp();
    return session.send_date_stamp(date) ? exit_success : exit_failure;
}

}  // namespace firmware_download
