#include "keymap_download/keymap_backup.h"

#include <span>

#include "keymap_download/file_path.h"
#include "keymap_download/keymap_table.h"

namespace keymap_download {

BackupOutcome save_keyboard_keymap(KeymapSession& session, const std::string& path) {
    if (!session.read_keymap()) {
        return BackupOutcome::read_failed;
    }
    const DownloadRecord& record = session.record;
    const std::span<const std::uint8_t> bytes(session.keymap_buffer.data(), record.keymap_length);
    const std::size_t lines = static_cast<std::size_t>(record.line_count);
    return write_table_file(windows_open_name(path), table_text(bytes, lines, 0))
               ? BackupOutcome::saved
               : BackupOutcome::write_failed;
}

}  // namespace keymap_download
