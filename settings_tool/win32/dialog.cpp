// The settings dialog. The decisions are the core's (dialog_logic.h); this file shows them.
#include <windows.h>

#include "common/win32/wide_text.h"
#include "settings_tool/dialog_logic.h"
#include "settings_tool/win32/resource.h"
#include "settings_tool/win32/tool.h"

namespace settings_tool::win32 {
namespace {

using common::win32::from_utf8;

constexpr UINT not_found_message = WM_USER + not_found_message_offset;

Tool& tool_of(HWND dialog) {
    return *reinterpret_cast<Tool*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

void show_message(HWND dialog, const char* text) {
    if (text != nullptr) {
        MessageBoxW(dialog, from_utf8(text).c_str(), from_utf8(message_caption).c_str(), MB_OK);
    }
}

void show_read_failures(HWND dialog, const Tool& tool, std::uint32_t get_result) {
    for (const char* text : read_failure_messages(get_result, *tool.texts)) {
        show_message(dialog, text);
    }
}

void enable(HWND dialog, int id, bool enabled) {
    EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
}

void set_apply(HWND dialog, DialogEvent event) {
    bool enabled = apply_enabled_after(event);
    HWND apply = GetDlgItem(dialog, IDC_APPLY);
    if (!enabled && GetFocus() == apply) {
        // A disabled button cannot keep the focus; hand it to OK.
        SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDOK)),
                     TRUE);
    }
    EnableWindow(apply, enabled ? TRUE : FALSE);
}

void show_model_view(HWND dialog, const Tool& tool) {
    ModelView view =
        model_view(tool.session.model_selector, tool.session.values, tool.session.unread_items());
    const int model_button = view.model_button == sparrow_selector ? IDC_MODEL_SPARROW
                             : view.model_button == larch_selector ? IDC_MODEL_LARCH
                                                                   : IDC_MODEL_REED;
    CheckRadioButton(dialog, IDC_MODEL_SPARROW, IDC_MODEL_LARCH, model_button);
    SetDlgItemTextW(dialog, IDC_MSR_TYPE, from_utf8(view.msr_text).c_str());
    for (int id : {IDC_LOCKOUT_GROUP, IDC_TWO_KEY, IDC_ROLL_OVER}) {
        enable(dialog, id, view.key_lockout_enabled);
    }
    CheckRadioButton(dialog, IDC_TWO_KEY, IDC_ROLL_OVER,
                     view.roll_over ? IDC_ROLL_OVER : IDC_TWO_KEY);
    for (int id : {IDC_OP_KEY_GROUP, IDC_OP_KEY}) {
        enable(dialog, id, view.op_key_enabled);
    }
    CheckDlgButton(dialog, IDC_OP_KEY, view.op_key_ticked ? BST_CHECKED : BST_UNCHECKED);
    for (int id : {IDC_KEY_INPUT_GROUP, IDC_TYPEMATIC}) {
        enable(dialog, id, view.key_input_enabled);
    }
    CheckDlgButton(dialog, IDC_TYPEMATIC, view.typematic_ticked ? BST_CHECKED : BST_UNCHECKED);
}

void open_dialog(HWND dialog, Tool& tool) {
    HICON icon = LoadIconW(tool.instance, MAKEINTRESOURCEW(IDI_TAVSET));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    std::uint32_t get_result = probe_models(tool.session);
    if (get_result == get_not_found) {
        show_message(dialog, tool.texts->not_found);
        EndDialog(dialog, 0);
        return;
    }
    show_read_failures(dialog, tool, get_result);
    show_model_view(dialog, tool);
    set_apply(dialog, DialogEvent::opened);
}

void choose_model(HWND dialog, Tool& tool, std::int16_t model_selector) {
    tool.session.model_selector = model_selector;
    std::uint32_t get_result = tool.session.read_all();
    if (get_result == get_not_found) {
        PostMessageW(dialog, not_found_message, 0, 0);
    } else {
        show_read_failures(dialog, tool, get_result);
    }
    show_model_view(dialog, tool);
    set_apply(dialog, DialogEvent::model_changed);
}

void write_settings(HWND dialog, Tool& tool) {
    show_message(dialog, write_result_message(tool.session.write_all(), *tool.texts));
}

bool ticked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void on_command(HWND dialog, Tool& tool, int id, int code) {
    SettingsValues& values = tool.session.values;
    if (code != BN_CLICKED) {
        return;
    }
    switch (id) {
        case IDC_MODEL_SPARROW:
            choose_model(dialog, tool, sparrow_selector);
            break;
        case IDC_MODEL_REED:
            choose_model(dialog, tool, reed_selector);
            break;
        case IDC_MODEL_LARCH:
            choose_model(dialog, tool, larch_selector);
            break;
        case IDC_TWO_KEY:
        case IDC_ROLL_OVER:
            choose_key_lockout(values, id == IDC_ROLL_OVER);
            set_apply(dialog, DialogEvent::setting_changed);
            break;
        case IDC_OP_KEY:
            tick_op_key(values, ticked(dialog, IDC_OP_KEY));
            set_apply(dialog, DialogEvent::setting_changed);
            break;
        case IDC_TYPEMATIC:
            tick_typematic(values, ticked(dialog, IDC_TYPEMATIC));
            set_apply(dialog, DialogEvent::setting_changed);
            break;
        case IDOK:
            write_settings(dialog, tool);
            EndDialog(dialog, IDOK);
            break;
        case IDC_APPLY:
            write_settings(dialog, tool);
            set_apply(dialog, DialogEvent::applied);
            break;
        case IDC_CANCEL_BUTTON:
            EndDialog(dialog, IDCANCEL);
            break;
        default:
            break;  // Escape (IDCANCEL) and anything else do nothing
    }
}

INT_PTR CALLBACK settings_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lparam);
            open_dialog(dialog, tool_of(dialog));
            return TRUE;
        case WM_COMMAND:
            on_command(dialog, tool_of(dialog), LOWORD(wparam), HIWORD(wparam));
            return TRUE;
        case not_found_message:
            show_message(dialog, tool_of(dialog).texts->not_found);
            return TRUE;
        case WM_DEVICECHANGE:
            // A keyboard may have been swapped for another of its model: the values on screen
            // were read from the one before, so none of them is written until a model button
            // has read the keyboard again.
            tool_of(dialog).session.forget_reads();
            show_model_view(dialog, tool_of(dialog));
            set_apply(dialog, DialogEvent::model_changed);
            return TRUE;
        case WM_CLOSE:
            return TRUE;  // no close box; Alt+F4 does nothing either
    }
    return FALSE;
}

}  // namespace

void run_settings_dialog(Tool& tool, HWND owner) {
    int id = tool.japanese ? IDD_SETTINGS_JA : IDD_SETTINGS_EN;
    DialogBoxParamW(tool.instance, MAKEINTRESOURCEW(id), owner, settings_proc,
                    reinterpret_cast<LPARAM>(&tool));
}

}  // namespace settings_tool::win32
