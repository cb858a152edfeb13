#pragma once
// The editor's files: the key map listing (*.DAT) it saves and opens, and the key map table
// file (*.TBL) it exports. Both are written with CR LF line ends; the listing is read with
// either line end. Saving writes a new file beside the target and replaces the target only
// when every byte and the close succeeded.
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "common/text_cut.h"
#include "keymap_editor/keycode_list.h"
#include "keymap_editor/keymap_layout.h"
#include "keymap_editor/model.h"

namespace keymap_editor {

// The listing: three header lines, then " A01 : 00H, 00H, 00H, <name>" for every position.
std::string listing_text(const KeymapModel& model, const KeycodeList& list);

enum class ListingResult { loaded, form_wrong };

// Checks every key line of `bytes` and, when all pass, replaces `model` with its records and
// gangs and selects J1 or the ganged key covering it. A refused listing leaves `model` as it
// was. Besides the checks of each line, a listing whose gangs contradict each other (a
// position covered twice, a ganged key or a position with a key code covered by another) is
// refused.
ListingResult load_listing(std::string_view bytes, KeymapModel& model);
// At most this many lines of a listing are read.
constexpr int max_listing_lines = 101;

// The key map table file of the model's key map.
std::string export_text(const KeymapModel& model);

// Moves `from` over `to`, replacing it. The default uses std::rename, setting an existing
// target aside where rename does not replace.
using ReplaceFile = std::function<bool(const std::string& from, const std::string& to)>;
bool rename_replacing(const std::string& from, const std::string& to);

// Creates `path` for writing only when no file has that name; nullptr otherwise, errno EEXIST
// when the name is taken. The default uses open's O_EXCL.
using CreateNewFile = std::function<std::FILE*(const std::string& path)>;
std::FILE* create_new_file(const std::string& path);

// The file operations of a safe write. The Windows shell passes its own, which reach paths
// longer than the C library reaches there.
struct SafeWriteFiles {
    CreateNewFile create_new = create_new_file;
    ReplaceFile replace = rename_replacing;
    std::function<void(const std::string& path)> remove = [](const std::string& path) {
        std::remove(path.c_str());
    };
};

// Writes `bytes` to a new file of a name no file in `path`'s folder had ("~LM0000.TMP",
// "~LM0001.TMP", …), then replaces `path` with it. False, with the new file removed and
// `path` untouched, when anything fails; a file that already had the temporary name is never
// touched. `shift_jis`: the path is in code page 932 (see file_name_of).
bool write_file_safely(const std::string& path, std::string_view bytes, bool shift_jis,
                       const SafeWriteFiles& files = {});
// How many temporary names are tried before the write gives up.
constexpr int temporary_name_tries = 1000;

// A file's bytes (at most `max_bytes`); false when it cannot be opened.
bool read_file(const std::string& path, std::string& bytes, std::size_t max_bytes = 1 << 20);

}  // namespace keymap_editor
