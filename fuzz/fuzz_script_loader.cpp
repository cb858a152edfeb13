// Sonder's script loader over a private-profile reader that answers from the fuzz input:
// "[section]" lines and "key=value" lines, values of any length. Whatever the file holds, the
// loader keeps at most 100 entries, each named, every value within its limit; a file that
// cannot be opened or is empty gives no entries. The input as a folder name gives a path that
// fits or none.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "report_tester/script_file.h"

namespace {

class FuzzedProfile : public report_tester::ProfileSource {
  public:
    FuzzedProfile(std::string_view text, bool openable) : openable_(openable), size_(text.size()) {
        std::string section;
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            std::string_view line = text.substr(
                pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
            pos = end == std::string_view::npos ? text.size() : end + 1;
            if (!line.empty() && line.front() == '[') {
                section = std::string(line.substr(1, line.find(']') - 1));
                continue;
            }
            std::size_t equals = line.find('=');
            if (equals != std::string_view::npos) {
                values_.emplace(std::make_pair(section, std::string(line.substr(0, equals))),
                                std::string(line.substr(equals + 1)));
            }
        }
    }

    bool open_or_create(std::uint64_t& size) override {
        size = size_;
        return openable_;
    }

    // Deliberately ignores `limit`: the loader must bound what it is given.
    std::string read(const std::string& section, const char* key, std::size_t) override {
        auto it = values_.find({section, key});
        return it == values_.end() ? std::string() : it->second;
    }

  private:
    bool openable_;
    std::uint64_t size_;
    std::map<std::pair<std::string, std::string>, std::string> values_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    FuzzedProfile source(text, (data[0] & 1) == 0);
    report_tester::Script script;
    const report_tester::ScriptStatus status = report_tester::load_script(source, script);
    if (status != report_tester::ScriptStatus::loaded && !script.entries.empty()) {
        std::abort();
    }
    if (script.entries.size() > report_tester::max_send_entries ||
        script.equipment_name.size() > report_tester::profile_value_limit ||
        script.equipment_vid.size() > report_tester::profile_value_limit ||
        script.equipment_pid.size() > report_tester::profile_value_limit) {
        std::abort();
    }
    for (const report_tester::SendEntry& e : script.entries) {
        if (e.name.empty() || e.name.size() > report_tester::profile_value_limit ||
            e.data.size() > report_tester::profile_value_limit ||
            e.data_file.size() > report_tester::data_file_limit) {
            std::abort();
        }
    }
    std::string path;
    if (report_tester::script_path(text, path) && path.size() > report_tester::max_path_length) {
        std::abort();
    }
    return 0;
}
