#include "report_tester/script_file.h"

namespace report_tester {

namespace {

std::string bounded(std::string value, std::size_t limit) {
    if (value.size() > limit) {
        value.resize(limit);
    }
    return value;
}

}  // namespace

bool script_path(std::string_view directory, std::string& path) {
    std::string joined(directory);
    joined += '\\';
    joined += script_file_name;
    if (joined.size() > max_path_length) {
        return false;
    }
    path = std::move(joined);
    return true;
}

ScriptStatus load_script(ProfileSource& source, Script& script) {
    script = Script{};
    std::uint64_t size = 0;
    if (!source.open_or_create(size)) {
        return ScriptStatus::open_error;
    }
    if (size == 0) {
        return ScriptStatus::empty_file;
    }
    script.equipment_name =
        bounded(source.read("Equipment", "name", profile_value_limit), profile_value_limit);
    script.equipment_vid =
        bounded(source.read("Equipment", "vid", profile_value_limit), profile_value_limit);
    script.equipment_pid =
        bounded(source.read("Equipment", "pid", profile_value_limit), profile_value_limit);
    for (int n = 0; n < max_send_entries; ++n) {
        const std::string section = "Send" + std::to_string(n);
        SendEntry entry;
        entry.name =
            bounded(source.read(section, "data_name", profile_value_limit), profile_value_limit);
        if (entry.name.empty()) {
            continue;
        }
        entry.data =
            bounded(source.read(section, "data", profile_value_limit), profile_value_limit);
        entry.data_file =
            bounded(source.read(section, "data_file", data_file_limit), data_file_limit);
        script.entries.push_back(std::move(entry));
    }
    return ScriptStatus::loaded;
}

const char* script_message(ScriptStatus status) {
    switch (status) {
        case ScriptStatus::open_error:
            return "FILE OPEN ERROR\r\n";
        case ScriptStatus::empty_file:
            return "FILE READ ERROR \r\n(FILE SIZE = 0 BYTE)\r\n";
        default:
            return "";
    }
}

}  // namespace report_tester
