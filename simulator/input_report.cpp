#include "simulator/input_report.h"

#include <vector>

#include "simulator/tokens.h"

namespace simulator {

bool is_input_report_command(std::string_view command) {
    std::vector<std::string_view> words = split_words(trim(command));
    return !words.empty() && words[0] == "report";
}

bool parse_input_report(std::string_view command, int& model, hidlink::Frame& report,
                        std::string& error) {
    if (!is_input_report_command(command)) {  // commas separate bytes, not the verb
        error = "not a report command";
        return false;
    }
    std::string text(trim(command));
    for (char& c : text) {
        if (c == ',') {
            c = ' ';
        }
    }
    if (text.find_first_of("\r\n") != std::string::npos) {
        error = "a command is one line";
        return false;
    }
    std::vector<std::string_view> words = split_words(text);
    std::uint32_t number = 0;
    if (words.size() < 2 || words[0] != "report" || !parse_decimal(words[1], 4, number) ||
        number < 1) {
        error = "report needs a model 1 to 4 and the report's bytes";
        return false;
    }
    const std::string_view rest(
        words[1].data() + words[1].size(),
        static_cast<std::size_t>(text.data() + text.size() - (words[1].data() + words[1].size())));
    std::vector<std::uint8_t> bytes;
    if (!parse_hex_bytes(rest, bytes) || bytes.empty()) {
        error = "report bytes are two hex digits each";
        return false;
    }
    if (bytes.size() > hidlink::frame_size) {
        error = "a report holds at most " + std::to_string(hidlink::frame_size) + " bytes";
        return false;
    }
    model = static_cast<int>(number);
    report.fill(0);
    std::copy(bytes.begin(), bytes.end(), report.begin());
    return true;
}

}  // namespace simulator
