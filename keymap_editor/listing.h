#pragma once
// The editor's files: the key map listing (*.DAT) it saves and opens, and the key map table
// file (*.TBL) it exports. Both are written with CR LF line ends; the listing is read with
// either line end. Saving writes a new file beside the target and replaces the target only
// when every byte and the close succeeded.
#include <functional>
#include <string>
#include <string_view>

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
// target aside where rename does not replace; the Windows shell passes MoveFileEx, which
// replaces in one step.
using ReplaceFile = std::function<bool(const std::string& from, const std::string& to)>;
bool rename_replacing(const std::string& from, const std::string& to);

// Writes `bytes` to "<path>.new", then replaces `path` with it. False, with the new file
// removed and `path` untouched, when anything fails.
bool write_file_safely(const std::string& path, std::string_view bytes,
                       const ReplaceFile& replace = rename_replacing);

// A file's bytes (at most `max_bytes`); false when it cannot be opened.
bool read_file(const std::string& path, std::string& bytes, std::size_t max_bytes = 1 << 20);

// The file name part of a path (after the last "\", "/" or ":").
std::string file_name_of(std::string_view path);

}  // namespace keymap_editor
