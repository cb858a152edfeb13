#pragma once
// Saving what a keyboard holds: its key map read and written as a key map table file of the
// model's T lines, bytes exactly as received, so that a later write puts it back. Batch /B
// and the dialog's save button both save through here.
#include <string>

#include "keymap_download/keymap_protocol.h"

namespace keymap_download {

enum class BackupOutcome { saved, read_failed, write_failed };

// Reads the key map of the session's model and writes it to `path` (created or truncated).
// Nothing is written to `path` when the read fails.
BackupOutcome save_keyboard_keymap(KeymapSession& session, const std::string& path);

}  // namespace keymap_download
