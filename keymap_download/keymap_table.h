#pragma once
// The key map table file (*.tbl): the reader that fills the file key map and the writer the
// key map editor exports with, plus loading a file's text with its distinct failures.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "keymap_download/download_record.h"

namespace keymap_download {

enum class TableResult { accepted, format_error };

// Scans `text` for STARTTABLE, `line_count` T lines of eight ",XXH" groups and ENDTABLE,
// storing the bytes in file order from offset 0 of `keymap`. XX are two hexadecimal digits of
// either case; any other character there is a format error. A rejected file leaves `keymap`
// partly filled. A line count that does not fit `keymap` (or is below 1) is a format error.
TableResult read_table(std::string_view text, int line_count, std::span<std::uint8_t> keymap);

// The exact bytes the editor writes: "STARTTABLE", 24 T lines "T,%02XH,…  ;<row label>"
// (the last two all FFH), "ENDTABLE", every line ended by CR LF.
std::string table_text(std::span<const std::uint8_t, file_keymap_size> keymap);
// `line_count` T lines of `bytes` in order, the last `filler_lines` of them (and any byte
// beyond `bytes`) FFH.
std::string table_text(std::span<const std::uint8_t> bytes, std::size_t line_count,
                       std::size_t filler_lines);
// Creates or truncates `path` and writes `text` as it is. False when that fails.
bool write_table_file(const std::string& path, std::string_view text);
// Creates or truncates `path` and writes table_text (binary mode, so CR LF on every
// platform). False when the file cannot be created or written.
bool write_table_file(const std::string& path,
                      std::span<const std::uint8_t, file_keymap_size> keymap);

// Largest table file text we agree to hold; a bigger file counts as "memory not available".
constexpr std::size_t default_max_table_size = 16 * 1024 * 1024;

enum class LoadResult { loaded, no_memory };

// A table file opened for reading in text mode (CR LF reads as LF on Windows). Opening and
// loading are separate steps because the GUI reports them at different moments.
class TableFile {
  public:
    TableFile() = default;
    ~TableFile();
    TableFile(const TableFile&) = delete;
    TableFile& operator=(const TableFile&) = delete;

    // False when the file cannot be opened ("The file is not found." / result 4).
    bool open(const std::string& path);
    bool is_open() const { return file_ != nullptr; }
    // Measures the size, allocates a buffer of that size (at most `max_size` bytes), reads
    // what there is into `text` and closes the file in every case. no_memory when the size
    // cannot be measured or the buffer cannot be had.
    LoadResult load(std::string& text, std::size_t max_size = default_max_table_size);
    void close();

  private:
    std::FILE* file_ = nullptr;
};

}  // namespace keymap_download
