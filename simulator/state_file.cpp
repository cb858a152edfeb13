#include "simulator/state_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "simulator/tokens.h"

namespace simulator {

namespace {

constexpr std::uintmax_t max_state_file_size = 16u << 20;

struct SettingKey {
    const char* name;
    std::uint8_t item;
};
constexpr SettingKey setting_keys[] = {{"msr-type", item_msr_type},
                                       {"key-lockout", item_key_lockout},
                                       {"op-key", item_op_key},
                                       {"key-input", item_key_input}};

std::string quote_date(const DateStamp& date) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "\"";
    for (std::uint8_t b : date) {
        if (b < 0x20 || b >= 0x7F || b == '"' || b == '\\') {
            text += "\\x";
            text += digits[b >> 4];
            text += digits[b & 0x0F];
        } else {
            text += static_cast<char>(b);
        }
    }
    return text + "\"";
}

bool unquote_date(std::string_view text, DateStamp& date) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
        return false;
    }
    text = text.substr(1, text.size() - 2);
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            std::uint8_t b = 0;
            if (i + 4 > text.size() || text[i + 1] != 'x' ||
                !parse_hex_byte(text.substr(i + 2, 2), b)) {
                return false;
            }
            bytes.push_back(b);
            i += 3;
        } else if (text[i] == '"') {
            return false;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(text[i]));
        }
    }
    if (bytes.size() != date_stamp_size) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), date.begin());
    return true;
}

bool parse_hex16(std::string_view word, std::uint16_t& value) {
    std::uint8_t high = 0;
    std::uint8_t low = 0;
    if (word.size() != 4 || !parse_hex_byte(word.substr(0, 2), high) ||
        !parse_hex_byte(word.substr(2, 2), low)) {
        return false;
    }
    value = static_cast<std::uint16_t>(high << 8 | low);
    return true;
}

std::string hex16(std::uint16_t value) {
    const std::uint8_t bytes[] = {static_cast<std::uint8_t>(value >> 8),
                                  static_cast<std::uint8_t>(value)};
    std::string text = hex_text(bytes);
    text.erase(2, 1);
    return text;
}

void format_keyboard(const KeyboardState& k, std::string& out) {
    out += "[model " + std::to_string(k.model) + "]\n";
    out += std::string("plugged = ") + (k.plugged ? "yes" : "no") + "\n";
    for (std::size_t i = 0; i < k.keymap.size(); i += hidlink::data_bytes_per_frame) {
        std::size_t n = std::min(hidlink::data_bytes_per_frame, k.keymap.size() - i);
        out += "keymap = " + hex_text(std::span(k.keymap).subspan(i, n)) + "\n";
    }
    for (const SettingKey& key : setting_keys) {
        auto it = k.settings.find(key.item);
        if (it != k.settings.end()) {
            out += std::string(key.name) + " = " + std::to_string(it->second) + "\n";
        }
    }
    out += "keymap-date = " + quote_date(k.keymap_date) + "\n";
    out += "firmware-date = " + quote_date(k.firmware_date) + "\n";
    out += "version = " + hex_text(k.version) + "\n";
    out += "click = " + (k.click < 0 ? std::string("off") : std::to_string(k.click)) + "\n";
    out +=
        "buzzer = " +
        (k.buzzer.on ? std::to_string(k.buzzer.pattern_code) + " " + std::to_string(k.buzzer.sound)
                     : std::string("off")) +
        "\n";
    out += "firmware-blocks = " + std::to_string(k.firmware_blocks) + "\n";
    out += "firmware-sum = " + hex16(hidlink::sum16(k.firmware_image)) + "\n";
    std::uint8_t blank_row[hidlink::data_bytes_per_frame];
    std::memset(blank_row, 0xFF, sizeof blank_row);
    for (std::size_t offset = 0; offset < k.firmware_image.size();
         offset += hidlink::data_bytes_per_frame) {
        auto row = std::span(k.firmware_image).subspan(offset, hidlink::data_bytes_per_frame);
        if (std::memcmp(row.data(), blank_row, sizeof blank_row) != 0) {
            out += "firmware = " + hex16(static_cast<std::uint16_t>(offset)) + ": " +
                   hex_text(row) + "\n";
        }
    }
}

// One [model N] section being read.
struct Section {
    KeyboardState* keyboard = nullptr;  // null: a model that is not present, skipped
    int line = 0;
    bool keymap_given = false;
    std::vector<std::uint8_t> keymap;
    bool firmware_given = false;
    std::vector<std::uint8_t> firmware;
    std::optional<std::uint16_t> firmware_sum;
};

bool finish_section(Section& section, std::string& error) {
    KeyboardState* k = section.keyboard;
    if (k == nullptr) {
        return true;
    }
    const std::string where = "section [model " + std::to_string(k->model) + "] (line " +
                              std::to_string(section.line) + "): ";
    if (section.keymap_given) {
        if (section.keymap.size() != k->keymap.size()) {
            error = where + "keymap needs " + std::to_string(k->keymap.size()) + " bytes, got " +
                    std::to_string(section.keymap.size());
            return false;
        }
        k->keymap = section.keymap;
    }
    if (section.firmware_given) {
        k->firmware_image = section.firmware;
    }
    if (section.firmware_sum && *section.firmware_sum != hidlink::sum16(k->firmware_image)) {
        error = where + "firmware-sum " + hex16(*section.firmware_sum) +
                " does not match the firmware image, whose sum is " +
                hex16(hidlink::sum16(k->firmware_image));
        return false;
    }
    return true;
}

bool apply_key(Section& section, std::string_view key, std::string_view value, std::string& error) {
    KeyboardState& k = *section.keyboard;
    std::uint32_t number = 0;
    for (const SettingKey& setting : setting_keys) {
        if (key == setting.name) {
            if (!model_has_setting(k.model, setting.item)) {
                error = "model " + std::to_string(k.model) + " has no " + setting.name;
                return false;
            }
            if (!parse_decimal(value, 255, number)) {
                error = std::string(setting.name) + " needs a number 0 to 255";
                return false;
            }
            k.settings[setting.item] = static_cast<std::uint8_t>(number);
            return true;
        }
    }
    if (key == "plugged") {
        if (value != "yes" && value != "no") {
            error = "plugged needs yes or no";
            return false;
        }
        k.plugged = value == "yes";
    } else if (key == "keymap") {
        if (k.keymap.empty()) {
            error = "model " + std::to_string(k.model) + " has no key map";
            return false;
        }
        if (!parse_hex_bytes(value, section.keymap)) {
            error = "keymap needs hex bytes like 00 1F";
            return false;
        }
        section.keymap_given = true;
    } else if (key == "keymap-date" || key == "firmware-date") {
        DateStamp& date = key == "keymap-date" ? k.keymap_date : k.firmware_date;
        if (!unquote_date(value, date)) {
            error = std::string(key) + " needs ten characters in quotes, e.g. \"2011-01-01\"";
            return false;
        }
    } else if (key == "version") {
        std::vector<std::uint8_t> bytes;
        if (!parse_hex_bytes(value, bytes) || bytes.size() != 2) {
            error = "version needs two hex bytes, e.g. 01 2A";
            return false;
        }
        k.version = {bytes[0], bytes[1]};
    } else if (key == "click") {
        if (value == "off") {
            k.click = -1;
        } else if (parse_decimal(value, 255, number)) {
            k.click = static_cast<int>(number);
        } else {
            error = "click needs off or a number 0 to 255";
            return false;
        }
    } else if (key == "buzzer") {
        std::vector<std::string_view> words = split_words(value);
        std::uint32_t sound = 0;
        if (words.size() == 1 && words[0] == "off") {
            k.buzzer = BuzzerState{};
        } else if (words.size() == 2 && parse_decimal(words[0], 255, number) &&
                   parse_decimal(words[1], 255, sound)) {
            k.buzzer = BuzzerState{true, static_cast<std::uint8_t>(number),
                                   static_cast<std::uint8_t>(sound)};
        } else {
            error = "buzzer needs off or a pattern code and a sound, e.g. 2 0";
            return false;
        }
    } else if (key == "firmware-blocks") {
        if (!parse_decimal(value, firmware_block_count, number)) {
            error = "firmware-blocks needs a number 0 to " + std::to_string(firmware_block_count);
            return false;
        }
        k.firmware_blocks = number;
    } else if (key == "firmware-sum") {
        std::uint16_t sum = 0;
        if (!parse_hex16(value, sum)) {
            error = "firmware-sum needs four hex digits";
            return false;
        }
        section.firmware_sum = sum;
    } else if (key == "firmware") {
        std::size_t colon = value.find(':');
        std::uint16_t offset = 0;
        std::vector<std::uint8_t> bytes;
        if (colon == std::string_view::npos || !parse_hex16(trim(value.substr(0, colon)), offset) ||
            offset % hidlink::data_bytes_per_frame != 0 ||
            !parse_hex_bytes(value.substr(colon + 1), bytes) ||
            bytes.size() != hidlink::data_bytes_per_frame) {
            error = "firmware needs a row like 0020: and 32 hex bytes (offset a multiple of 20)";
            return false;
        }
        if (!section.firmware_given) {
            section.firmware.assign(firmware_image_size, 0xFF);
            section.firmware_given = true;
        }
        std::copy(bytes.begin(), bytes.end(), section.firmware.begin() + offset);
    } else {
        error = "unknown key: " + std::string(key);
        return false;
    }
    return true;
}

}  // namespace

std::string format_state(const std::vector<KeyboardState>& keyboards) {
    std::string out =
        "# kbdsim state: one section per keyboard model, rewritten after every change\n";
    std::vector<const KeyboardState*> sorted;
    for (const KeyboardState& k : keyboards) {
        sorted.push_back(&k);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const KeyboardState* a, const KeyboardState* b) { return a->model < b->model; });
    for (const KeyboardState* k : sorted) {
        out += "\n";
        format_keyboard(*k, out);
    }
    return out;
}

bool parse_state(std::string_view text, std::vector<KeyboardState>& keyboards, std::string& error) {
    std::vector<KeyboardState> work = keyboards;
    std::vector<int> seen_models;
    std::optional<Section> section;
    int line_number = 0;

    auto fail = [&](const std::string& message) {
        error = "line " + std::to_string(line_number) + ": " + message;
        return false;
    };

    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++line_number;
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            if (section && !finish_section(*section, error)) {
                return false;
            }
            std::vector<std::string_view> words =
                split_words(line.substr(1, line.size() > 1 ? line.size() - 2 : 0));
            std::uint32_t model = 0;
            if (line.back() != ']' || words.size() != 2 || words[0] != "model" ||
                !parse_decimal(words[1], 4, model) || model < 1) {
                return fail("a section header is [model 1] to [model 4]");
            }
            if (std::find(seen_models.begin(), seen_models.end(), model) != seen_models.end()) {
                return fail("second section for model " + std::to_string(model));
            }
            seen_models.push_back(static_cast<int>(model));
            section = Section{};
            section->line = line_number;
            for (KeyboardState& k : work) {
                if (k.model == static_cast<int>(model)) {
                    section->keyboard = &k;
                }
            }
            continue;
        }
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            return fail("expected key = value");
        }
        if (!section) {
            return fail("key before the first [model N] section");
        }
        if (section->keyboard == nullptr) {
            continue;
        }
        std::string message;
        if (!apply_key(*section, trim(line.substr(0, equals)), trim(line.substr(equals + 1)),
                       message)) {
            return fail(message);
        }
    }
    if (section && !finish_section(*section, error)) {
        return false;
    }
    keyboards = std::move(work);
    return true;
}

bool read_text_file(const std::string& path, std::string& text, std::string& error) {
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = "cannot read " + path + ": " + ec.message();
        return false;
    }
    if (size > max_state_file_size) {
        error = path + " is too large for a state file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    text.assign(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(size));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return true;
}

bool write_text_file_atomic(const std::string& path, const std::string& text, std::string& error) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            error = "cannot write " + temp;
            std::remove(temp.c_str());
            return false;
        }
    }
    // A reader that has the file open can hold up the replacement on Windows for a moment.
    std::error_code ec;
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::filesystem::rename(temp, path, ec);
        if (!ec) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (ec) {
        error = "cannot replace " + path + ": " + ec.message();
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace simulator
