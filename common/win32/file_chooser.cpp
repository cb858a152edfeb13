#include "common/win32/file_chooser.h"
// windows.h first: commdlg.h depends on it.
#include <commdlg.h>

namespace common::win32 {

bool choose_file_name(HWND owner, const FileChooser& chooser, wchar_t* name, DWORD capacity) {
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = chooser.filter;
    ofn.lpstrFile = name;
    ofn.nMaxFile = capacity;
    ofn.lpstrDefExt = chooser.default_extension;
    ofn.Flags = chooser.flags;
    const BOOL chosen =
        chooser.dialog == FileDialog::save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    return chosen != FALSE;
}

}  // namespace common::win32
