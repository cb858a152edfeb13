#pragma once
// Batch mode: the command line (model digit, separator, firmware file path), the run that reads
// the file, downloads it and stamps the date, and its exit code.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "firmware_download/firmware_protocol.h"
#include "firmware_download/srecord.h"

namespace firmware_download {

// Longest command line and joined path we take, in characters.
constexpr std::size_t max_command_line = 259;
constexpr std::size_t max_path_length = 259;

constexpr int exit_success = 0;
constexpr int exit_failure = 1;
// Graphical mode, and a second copy started without a command line.
constexpr int gui_exit_code = 0;
// A second copy in batch mode did nothing, and says so.
constexpr int batch_second_instance_exit_code = exit_failure;

// What follows the program name on a Windows command line: the program name (in double quotes
// or up to the first blank) and the blanks after it skipped, the rest unchanged. Empty:
// graphical mode.
std::string command_tail(std::string_view full_command_line);
inline bool is_gui_mode(std::string_view command_text) {
    return command_text.empty();
}

struct BatchCommand {
    bool valid = false;
    std::int16_t model_selector = 0;
    std::string path;  // the file to read
};

// Character 1 is the model digit "1" … "4", character 2 a separator that is not looked at, the
// path starts at character 3. A path whose second character is ":" is used unchanged; any other
// is joined to `current_folder` with a "\". A path in double quotes is taken without them (no
// Windows file name holds one). Invalid: a text shorter than 3 or longer than 259 characters,
// another digit, an empty path, or a joined path longer than 259 characters.
BatchCommand parse_command(std::string_view command_text, std::string_view current_folder);

// The run: parse, read the file, download; then, only after a download that ended normally,
// the 12000 ms pause and the date stamp with `today()` ("YYYY-MM-DD", asked for once the
// download has returned). 0 when the date stamp was acknowledged, else 1.
int run_batch(std::string_view command_text, std::string_view current_folder,
              FirmwareSession& session, const std::function<std::string()>& today,
              std::size_t max_file_size = default_max_firmware_file);

}  // namespace firmware_download
