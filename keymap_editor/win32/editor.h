#pragma once
// Lexmap's editor window: the key buttons, list box and check boxes over the key map model,
// the two thread hooks, the file commands and Keymap Change.
#include <windows.h>

#include "keymap_editor/keycode_list.h"
#include "keymap_editor/messages.h"
#include "keymap_editor/settings.h"

namespace keymap_editor::win32 {

struct StartInfo {
    HINSTANCE instance = nullptr;
    bool japanese = false;
    bool shift_jis = false;  // the system's code page is 932
    const KeycodeList* list = nullptr;
    HFONT font = nullptr;
};

// Runs the editor window modally; -1 when it cannot be created (DialogBoxParam's result).
INT_PTR run_editor(const StartInfo& start);
// Removes both hooks (harmless when none is installed).
void remove_hooks();

}  // namespace keymap_editor::win32
