#include "keymap_download/keymap_table.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/hex_digit.h"
#include "keymap_download/file_path.h"

namespace keymap_download {

namespace {

bool starts_with_at(std::string_view text, std::size_t pos, std::string_view token) {
    return text.size() - pos >= token.size() && text.compare(pos, token.size(), token) == 0;
}

enum class ScanState { before_table, in_lines, after_lines };

constexpr std::size_t groups_per_line = 8;
constexpr std::size_t group_size = 4;  // ",XXH"

}  // namespace

TableResult read_table(std::string_view text, int line_count, std::span<std::uint8_t> keymap) {
    if (line_count < 1 || static_cast<std::size_t>(line_count) * groups_per_line > keymap.size()) {
        return TableResult::format_error;
    }
    ScanState state = ScanState::before_table;
    bool comment = false;
    int lines = 0;
    std::size_t offset = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (comment) {
            if (c == '\n') {
                comment = false;
            }
            ++pos;
            continue;
        }
        if (c == ';') {
            comment = true;
            ++pos;
            continue;
        }
        switch (state) {
            case ScanState::before_table:
                if (starts_with_at(text, pos, "STARTTABLE")) {
                    pos += 10;
                    state = ScanState::in_lines;
                } else {
                    ++pos;
                }
                break;
            case ScanState::in_lines:
                if (c != 'T') {
                    ++pos;
                    break;
                }
                ++pos;
                for (std::size_t g = 0; g < groups_per_line; ++g) {
                    if (text.size() - pos < group_size) {
                        return TableResult::format_error;  // the text ends inside the line
                    }
                    // Lower-case digits are read as their values (scripts write them); any
                    // other character would store a byte nobody wrote, so it is refused.
                    const int high = common::hex_digit(text[pos + 1]);
                    const int low = common::hex_digit(text[pos + 2]);
                    if (text[pos] != ',' || text[pos + 3] != 'H' || high < 0 || low < 0) {
                        return TableResult::format_error;
                    }
                    keymap[offset++] = static_cast<std::uint8_t>(high * 16 + low);
                    pos += group_size;
                }
                if (++lines == line_count) {
                    state = ScanState::after_lines;
                }
                break;
            case ScanState::after_lines:
                if (starts_with_at(text, pos, "ENDTABLE")) {
                    return TableResult::accepted;
                }
                ++pos;
                break;
        }
    }
    return TableResult::format_error;
}

std::string table_text(std::span<const std::uint8_t> bytes, std::size_t line_count,
                       std::size_t filler_lines) {
    std::string text = "STARTTABLE\r\n";
    for (std::size_t n = 0; n < line_count; ++n) {
        const bool filler = n + filler_lines >= line_count;
        std::uint8_t b[groups_per_line];
        for (std::size_t i = 0; i < groups_per_line; ++i) {
            const std::size_t offset = n * groups_per_line + i;
            b[i] = filler || offset >= bytes.size() ? 0xFF : bytes[offset];
        }
        char label[8];
        std::snprintf(label, sizeof label, "%02X-%02X", static_cast<unsigned>(n * 8),
                      static_cast<unsigned>(n * 8 + 7));
        char line[64];
        std::snprintf(line, sizeof line,
                      "T,%02XH,%02XH,%02XH,%02XH,%02XH,%02XH,%02XH,%02XH  ;%s\r\n", b[0], b[1],
                      b[2], b[3], b[4], b[5], b[6], b[7], label);
        text += line;
    }
    text += "ENDTABLE\r\n";
    return text;
}

std::string table_text(std::span<const std::uint8_t, file_keymap_size> keymap) {
    // The editor's last two rows are never used by a keyboard: always FFH.
    return table_text(keymap, file_keymap_size / groups_per_line, 2);
}

bool write_table_file(const std::string& path, std::string_view text) {
    // Binary mode with explicit CR LF: the same bytes whichever platform writes them.
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

bool write_table_file(const std::string& path,
                      std::span<const std::uint8_t, file_keymap_size> keymap) {
    return write_table_file(path, table_text(keymap));
}

TableFile::~TableFile() {
    close();
}

bool TableFile::open(const std::string& path) {
    close();
    file_ = std::fopen(windows_open_name(path).c_str(), "r");
    return file_ != nullptr;
}

void TableFile::close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

LoadResult TableFile::load(std::string& text, std::size_t max_size) {
    text.clear();
    if (file_ == nullptr) {
        return LoadResult::no_memory;
    }
    long size = -1;
    if (std::fseek(file_, 0, SEEK_END) == 0) {
        size = std::ftell(file_);
    }
    if (size < 0 || static_cast<unsigned long>(size) > max_size ||
        std::fseek(file_, 0, SEEK_SET) != 0) {
        close();
        return LoadResult::no_memory;
    }
    // The text never needs more than the file's size: text mode only shortens it.
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<std::size_t>(size) + 1]);
    if (!buffer) {
        close();
        return LoadResult::no_memory;
    }
    const std::size_t read = std::fread(buffer.get(), 1, static_cast<std::size_t>(size), file_);
    close();
    text.assign(buffer.get(), read);
    return LoadResult::loaded;
}

}  // namespace keymap_download
