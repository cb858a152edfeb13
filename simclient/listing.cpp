#include "simclient/listing.h"

#include <charconv>
#include <cstdio>

namespace simclient {

namespace {

// A listing is small (a few interfaces with a few records each); these bounds only keep a
// broken or hostile listing from costing memory.
constexpr std::size_t max_interfaces = 256;
constexpr std::size_t max_records_per_kind = 256;

const char* const kind_names[report_kind_count] = {"input", "output", "feature"};

void append_record(std::string& text, const char* what, int kind, const CapabilityRecord& r) {
    char line[96];
    std::snprintf(line, sizeof line, "%s %s %04X %u %04X %04X %s\n", what, kind_names[kind],
                  r.usage_page, static_cast<unsigned>(r.report_id), r.usage_min, r.usage_max,
                  r.is_range ? "range" : "single");
    text += line;
}

std::vector<std::string_view> split_words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while (pos < line.size()) {
        std::size_t start = line.find_first_not_of(" \t\r", pos);
        if (start == std::string_view::npos) {
            break;
        }
        std::size_t end = line.find_first_of(" \t\r", start);
        if (end == std::string_view::npos) {
            end = line.size();
        }
        words.push_back(line.substr(start, end - start));
        pos = end;
    }
    return words;
}

template <typename T>
bool parse_number(std::string_view word, int base, T& value) {
    const char* end = word.data() + word.size();
    auto [ptr, ec] = std::from_chars(word.data(), end, value, base);
    return ec == std::errc() && ptr == end && !word.empty();
}

bool parse_hex16(std::string_view word, std::uint16_t& value) {
    return word.size() == 4 && parse_number(word, 16, value);
}

bool parse_kind(std::string_view word, int& kind) {
    for (int k = 0; k < report_kind_count; ++k) {
        if (word == kind_names[k]) {
            kind = k;
            return true;
        }
    }
    return false;
}

bool parse_interface(const std::vector<std::string_view>& w, ListedInterface& out) {
    if (w.size() != 15 || !parse_number(w[1], 10, out.id) || out.id < 0 ||
        !parse_hex16(w[2], out.vendor_id) || !parse_hex16(w[3], out.product_id) ||
        !parse_hex16(w[4], out.caps.usage_page) || !parse_hex16(w[5], out.caps.usage)) {
        return false;
    }
    for (int k = 0; k < report_kind_count; ++k) {
        if (!parse_number(w[6 + k], 10, out.caps.report_length[k]) ||
            !parse_number(w[9 + k], 10, out.caps.button_caps[k]) ||
            !parse_number(w[12 + k], 10, out.caps.value_caps[k])) {
            return false;
        }
    }
    return true;
}

bool parse_record(const std::vector<std::string_view>& w, int& kind, CapabilityRecord& out) {
    if (w.size() != 7 || !parse_kind(w[1], kind) || !parse_hex16(w[2], out.usage_page) ||
        !parse_number(w[3], 10, out.report_id) || !parse_hex16(w[4], out.usage_min) ||
        !parse_hex16(w[5], out.usage_max)) {
        return false;
    }
    if (w[6] == "range") {
        out.is_range = true;
        return out.usage_min <= out.usage_max;
    }
    out.is_range = false;
    return w[6] == "single" && out.usage_min == out.usage_max;
}

// The header's counts promise the records that follow: a listing whose records disagree with
// them was cut or garbled, and discovery would see capabilities the parser never had.
bool records_match_counts(const ListedInterface& i, std::string& why) {
    for (int k = 0; k < report_kind_count; ++k) {
        for (bool button : {true, false}) {
            const std::size_t listed =
                button ? i.button_records[k].size() : i.value_records[k].size();
            const unsigned promised = button ? i.caps.button_caps[k] : i.caps.value_caps[k];
            if (listed != promised) {
                why = "interface " + std::to_string(i.id) + " promises " +
                      std::to_string(promised) + " " + kind_names[k] +
                      (button ? " button" : " value") + " capabilities but lists " +
                      std::to_string(listed);
                return false;
            }
        }
    }
    return true;
}

}  // namespace

std::string format_listing(const std::vector<ListedInterface>& interfaces) {
    std::string text;
    for (const ListedInterface& i : interfaces) {
        const Capabilities& c = i.caps;
        char line[160];
        std::snprintf(line, sizeof line,
                      "interface %d %04X %04X %04X %04X %u %u %u %u %u %u %u %u %u\n", i.id,
                      i.vendor_id, i.product_id, c.usage_page, c.usage, c.report_length[0],
                      c.report_length[1], c.report_length[2], c.button_caps[0], c.button_caps[1],
                      c.button_caps[2], c.value_caps[0], c.value_caps[1], c.value_caps[2]);
        text += line;
        for (int k = 0; k < report_kind_count; ++k) {
            for (const CapabilityRecord& r : i.button_records[k]) {
                append_record(text, "button", k, r);
            }
            for (const CapabilityRecord& r : i.value_records[k]) {
                append_record(text, "value", k, r);
            }
        }
    }
    text += "end\n";
    return text;
}

bool parse_listing(std::string_view text, std::vector<ListedInterface>& interfaces,
                   std::string& error) {
    std::vector<ListedInterface> result;
    std::size_t line_number = 0;
    std::size_t interface_line = 0;  // of result.back()
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string_view line =
            text.substr(pos, end == std::string_view::npos ? text.size() - pos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        ++line_number;
        std::vector<std::string_view> words = split_words(line);
        auto fail = [&](const char* why) {
            error = "listing line " + std::to_string(line_number) + ": " + why;
            return false;
        };
        // Called when the last interface's records are complete (next interface or end).
        auto last_interface_consistent = [&]() {
            std::string why;
            if (result.empty() || records_match_counts(result.back(), why)) {
                return true;
            }
            error = "listing line " + std::to_string(interface_line) + ": " + why;
            return false;
        };
        if (words.empty()) {
            continue;
        }
        if (words[0] == "end") {
            if (words.size() != 1 ||
                text.find_first_not_of(" \t\r\n", pos) != std::string_view::npos) {
                return fail("text after the end");
            }
            if (!last_interface_consistent()) {
                return false;
            }
            interfaces = std::move(result);
            return true;
        }
        if (words[0] == "interface") {
            if (!last_interface_consistent()) {
                return false;
            }
            if (result.size() == max_interfaces) {
                return fail("too many interfaces");
            }
            ListedInterface listed;
            if (!parse_interface(words, listed)) {
                return fail("malformed interface line");
            }
            result.push_back(listed);
            interface_line = line_number;
            continue;
        }
        if (words[0] == "button" || words[0] == "value") {
            if (result.empty()) {
                return fail("capability record before any interface");
            }
            int kind = 0;
            CapabilityRecord record;
            if (!parse_record(words, kind, record)) {
                return fail("malformed capability record");
            }
            auto& records = words[0] == "button" ? result.back().button_records[kind]
                                                 : result.back().value_records[kind];
            if (records.size() == max_records_per_kind) {
                return fail("too many capability records");
            }
            records.push_back(record);
            continue;
        }
        return fail("unknown record");
    }
    error = "listing has no end line (cut short)";
    return false;
}

std::uint32_t max_usage_list_length(const std::vector<CapabilityRecord>& button_records,
                                    std::uint16_t usage_page) {
    std::uint32_t count = 0;
    for (const CapabilityRecord& r : button_records) {
        if (usage_page == 0 || r.usage_page == usage_page) {
            count += r.is_range ? r.usage_max - r.usage_min + 1u : 1u;
        }
    }
    return count;
}

}  // namespace simclient
