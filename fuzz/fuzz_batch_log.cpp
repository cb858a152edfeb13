// The log line for any result, time, model and key map path: never longer than 259
// characters, never a read outside its inputs.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "keymap_download/batch_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 12) {
        return 0;
    }
    std::int32_t fields[3];
    std::memcpy(fields, data, sizeof fields);
    common::LocalDateTime now;
    now.date.year = fields[0];
    now.date.month = static_cast<std::int8_t>(fields[1]);
    now.date.day = static_cast<std::int8_t>(fields[1] >> 8);
    now.hour = static_cast<std::int8_t>(fields[1] >> 16);
    now.minute = static_cast<std::int8_t>(fields[1] >> 24);
    const auto result = static_cast<keymap_download::ResultCode>(fields[2] & 0x1F);
    const auto model = static_cast<std::int16_t>(fields[2] >> 8);
    const std::string_view path(reinterpret_cast<const char*>(data + 12), size - 12);

    const std::string line =
        keymap_download::log_line(result, now, model, path, (fields[2] & 0x80) != 0);
    if (line.size() > keymap_download::max_log_line) {
        std::abort();
    }
    keymap_download::backup_path(path);

    keymap_download::BatchState state;
    state.result = result;
    state.model_selector = model;
    state.options = keymap_download::parse_options(path);
    keymap_download::plan_report(state, now);
    return 0;
}
