// The batch command line: joining arguments (NUL bytes split the input into arguments) and
// finding every option and value in the joined text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "keymap_download/batch_options.h"
#include "keymap_download/file_path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    std::vector<std::string> arguments;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= input.size(); ++i) {
        if (i == input.size() || input[i] == '\0') {
            arguments.emplace_back(input.substr(start, i - start));
            start = i + 1;
        }
    }
    // Every argument whole, each followed by one blank.
    const std::string joined = keymap_download::join_command_text(arguments);
    if (joined.size() != input.size() + 1) {
        std::abort();
    }

    for (std::string_view text : {std::string_view(joined), input}) {
        const keymap_download::BatchOptions options = keymap_download::parse_options(text);
        if (options.keymap_path.size() > text.size() || options.log_path.size() > text.size() ||
            options.date_text.size() > text.size()) {
            std::abort();
        }
        keymap_download::windows_open_name(options.keymap_path);
        keymap_download::windows_open_name(options.log_path);
        keymap_download::is_date_value(options.date_text);
        for (std::size_t slash = 0; slash <= text.size() + 1; ++slash) {
            const std::string value = keymap_download::option_value(text, slash);
            if (value.size() > text.size()) {
                std::abort();
            }
            keymap_download::unquoted_value(value);
        }
    }
    return 0;
}
