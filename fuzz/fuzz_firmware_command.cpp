// TAVFrmDL's command line on any text: the tail after the program name, and the digit,
// separator and path with any current folder. A valid command always names a model 1 … 4 and
// a path of at most 259 characters.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "firmware_download/batch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The folder is the part after the first NUL (none: a folder of its own).
    const std::size_t nul = input.find('\0');
    const std::string_view line = input.substr(0, nul);
    const std::string_view folder =
        nul == std::string_view::npos ? std::string_view("C:\\work") : input.substr(nul + 1);

    const std::string tail = firmware_download::command_tail(line);
    if (tail.size() > line.size()) {
        std::abort();
    }
    for (std::string_view text : {std::string_view(tail), line}) {
        firmware_download::BatchCommand command = firmware_download::parse_command(text, folder);
        if (command.valid &&
            (command.model_selector < 1 || command.model_selector > 4 || command.path.empty() ||
             command.path.size() > firmware_download::max_path_length)) {
            std::abort();
        }
    }
    return 0;
}
