#include "keymap_editor/listing.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <vector>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "common/hex_digit.h"
#include "common/text_cut.h"
#include "keymap_download/keymap_table.h"

namespace keymap_editor {

namespace {

constexpr const char* rule = "---------------------------------------------";
constexpr const char* heading = " No.   Key  Attr Size";

// The physical lines of a listing without their line ends, at most max_listing_lines; each
// with a flag telling whether a line end followed it.
struct Line {
    std::string_view text;
    bool ended = false;
};

std::vector<Line> split_lines(std::string_view bytes) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < bytes.size() && static_cast<int>(lines.size()) < max_listing_lines) {
        std::size_t end = bytes.find('\n', start);
        Line line;
        line.ended = end != std::string_view::npos;
        if (!line.ended) {
            end = bytes.size();
        }
        line.text = bytes.substr(start, end - start);
        if (!line.text.empty() && line.text.back() == '\r') {
            line.text.remove_suffix(1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Two characters as a hexadecimal number, stopping at the first that is not a hex digit.
std::uint8_t hex_field(std::string_view text, std::size_t column) {
    unsigned value = 0;
    for (std::size_t i = column - 1; i < column + 1; ++i) {
        const int digit = common::hex_digit(text[i]);
        if (digit < 0) {
            break;
        }
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<std::uint8_t>(value);
}

}  // namespace

std::string listing_text(const KeymapModel& model, const KeycodeList& list) {
    std::string text;
    text += rule;
    text += "\r\n";
    text += heading;
    text += "\r\n";
    text += rule;
    text += "\r\n";
    for (int k = 0; k < key_count; ++k) {
        const KeyRecord& r = model.record(k);
        char fields[32];
        std::snprintf(fields, sizeof fields, " %s : %02XH, %02XH, %02XH, ", key_label(k).c_str(),
                      r.keycode, r.attribute, r.size);
        text += fields;
        // The name never carries a line end of its own: every key line ends exactly once.
        text += list.name(r.keycode);
        text += "\r\n";
    }
    return text;
}

ListingResult load_listing(std::string_view bytes, KeymapModel& model) {
    const std::vector<Line> lines = split_lines(bytes);
    KeymapModel loaded;
    for (int k = 0; k < key_count; ++k) {
        const std::size_t n = static_cast<std::size_t>(k) + 3;
        const Line line = n < lines.size() ? lines[n] : Line{};
        // Longer than 20 characters with its line end counted.
        if (line.text.size() + (line.ended ? 1 : 0) <= 20) {
            return ListingResult::form_wrong;
        }
        if (line.text.substr(1, 3) != key_label(k)) {
            return ListingResult::form_wrong;
        }
        KeyRecord& r = loaded.record(k);
        r.keycode = hex_field(line.text, 8);
        r.attribute = hex_field(line.text, 13);
        r.size = hex_field(line.text, 18);
        if ((r.attribute & attribute::never_set) != 0) {
            return ListingResult::form_wrong;
        }
        if (!gang_block(k, r.size)) {
            return ListingResult::form_wrong;
        }
    }
    // The gangs, in key index order; a block may only cover free single Null Function keys.
    for (int k = 0; k < key_count; ++k) {
        KeyRecord& key = loaded.record(k);
        const std::vector<int> cells = gang_block(k, key.size)->absorbed;
        if (cells.empty()) {
            continue;
        }
        if (key.owner != no_owner) {
            return ListingResult::form_wrong;  // a ganged key inside another's block
        }
        for (int p : cells) {
            const KeyRecord& cell = loaded.record(p);
            if (cell.owner != no_owner || cell.size != 0 || cell.keycode != 0) {
                return ListingResult::form_wrong;
            }
        }
        for (int p : cells) {
            loaded.record(p).owner = static_cast<std::uint8_t>(k);
        }
        key.owner = static_cast<std::uint8_t>(k);
    }
    const std::uint8_t j1_owner = loaded.record(j1).owner;
    loaded.select(j1_owner == no_owner ? j1 : j1_owner);
    model = loaded;
    return ListingResult::loaded;
}

std::string export_text(const KeymapModel& model) {
    const Keymap keymap = build_keymap(model);
    return keymap_download::table_text(keymap);
}

bool rename_replacing(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    // Where rename does not replace (the C library on Windows), the old file steps aside
    // first and comes back if the new one cannot take its place.
    const std::string aside = to + ".old";
    std::remove(aside.c_str());
    if (std::rename(to.c_str(), aside.c_str()) != 0) {
        return false;
    }
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        std::rename(aside.c_str(), to.c_str());
        return false;
    }
    std::remove(aside.c_str());
    return true;
}

std::FILE* create_new_file(const std::string& path) {
    // open's O_EXCL, not fopen's "x": the Windows C runtime ignores "x" and would truncate a
    // file that is already there.
#ifdef O_BINARY
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_BINARY;
#else
    const int flags = O_WRONLY | O_CREAT | O_EXCL;
#endif
    const int descriptor = ::open(path.c_str(), flags, 0666);
    if (descriptor < 0) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(descriptor, "wb");
    if (file == nullptr) {
        ::close(descriptor);
    }
    return file;
}

bool write_file_safely(const std::string& path, std::string_view bytes, bool shift_jis,
                       const SafeWriteFiles& files) {
    // A short name beside the target, so that the new file lies on the same volume and its
    // path is not much longer than the target's.
    const std::string folder =
        path.substr(0, path.size() - common::file_name_of(path, shift_jis).size());
    std::string fresh;
    std::FILE* file = nullptr;
    for (int n = 0; file == nullptr && n < temporary_name_tries; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "~LM%04d.TMP", n);
        fresh = folder + name;
        errno = 0;
        file = files.create_new(fresh);
        if (file == nullptr && errno != EEXIST) {
            return false;
        }
    }
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (written && flushed && closed && files.replace(fresh, path)) {
        return true;
    }
    files.remove(fresh);
    return false;
}

bool read_file(const std::string& path, std::string& bytes, std::size_t max_bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    bytes.clear();
    char chunk[4096];
    std::size_t got = 0;
    while (bytes.size() < max_bytes && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.append(chunk, std::min(got, max_bytes - bytes.size()));
    }
    std::fclose(file);
    return true;
}

}  // namespace keymap_editor
