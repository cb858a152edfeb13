#pragma once
// The common Open and Save dialogs of the shells, with one filter each, over a name buffer the
// caller keeps: what the buffer holds is the name the dialog shows first.
#include <windows.h>

namespace common::win32 {

enum class FileDialog { open, save };

struct FileChooser {
    FileDialog dialog = FileDialog::open;
    const wchar_t* filter = nullptr;             // "Description\0pattern\0", double-NUL ended
    const wchar_t* default_extension = nullptr;  // added to a name typed without one
    DWORD flags = 0;                             // OFN_ flags
};

// Shows the dialog over `name`, a buffer of `capacity` characters; false when the user
// cancelled (the buffer then holds what it held before).
bool choose_file_name(HWND owner, const FileChooser& chooser, wchar_t* name, DWORD capacity);

}  // namespace common::win32
