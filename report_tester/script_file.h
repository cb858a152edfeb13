#pragma once
// "Keyboard.ini", the test script: the equipment under test and up to 100 named send entries
// in sections Send0 … Send99. The platform's private-profile reader reads it; the loader only
// decides what becomes of the values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace report_tester {

constexpr const char* script_file_name = "Keyboard.ini";
constexpr int max_send_entries = 100;
constexpr std::size_t profile_value_limit = 1023;  // "name", "vid", "pid", "data_name", "data"
constexpr std::size_t data_file_limit = 259;
// The longest path the platform's file functions take (MAX_PATH less its terminator).
constexpr std::size_t max_path_length = 259;

struct SendEntry {
    std::string name;
    std::string data;
    std::string data_file;
};

struct Script {
    std::string equipment_name;
    std::string equipment_vid;
    std::string equipment_pid;
    std::vector<SendEntry> entries;  // numbered 0, 1, 2 … whatever the section numbers
};

// The script file as the platform sees it.
class ProfileSource {
  public:
    virtual ~ProfileSource() = default;
    // Opens the file for reading, creating it empty when it does not exist, and tells its size.
    // False when it can be neither opened nor created.
    virtual bool open_or_create(std::uint64_t& size) = 0;
    // The value of `key` in `section`, "" when missing, at most `limit` characters.
    virtual std::string read(const std::string& section, const char* key, std::size_t limit) = 0;
};

enum class ScriptStatus { loaded, open_error, empty_file };

// "<directory>\Keyboard.ini"; false when the path would not fit the platform's limit (the
// shell reports that as "FILE OPEN ERROR").
bool script_path(std::string_view directory, std::string& path);

// Reads the equipment values and the send entries; on open_error and empty_file `script` is
// left empty. Values longer than their limits are cut to them, whatever the source returns.
ScriptStatus load_script(ProfileSource& source, Script& script);

// The message for the "State" box; empty for loaded.
const char* script_message(ScriptStatus status);

}  // namespace report_tester
