// Batch mode: one run from the command text, its report (log line and dialog) and the exit
// code. Everything runs on the main thread.
#include <windows.h>

#include <string>

#include "common/date_text.h"
#include "common/win32/wide_text.h"
#include "keymap_download/batch.h"
#include "keymap_download/batch_log.h"
#include "keymap_download/win32/resource.h"
#include "keymap_download/win32/tool.h"

namespace keymap_download::win32 {
namespace {

using common::win32::from_ansi;
using common::win32::from_utf8;
using common::win32::to_ansi;

constexpr UINT_PTR auto_close_timer = 1;

struct BatchDialog {
    std::wstring text;  // message dialog: the line
    bool auto_close = true;
    HICON icon = nullptr;
};

void start_dialog(HWND dialog, const BatchDialog& shown) {
    if (shown.icon != nullptr) {
        SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(shown.icon));
        SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(shown.icon));
    }
    if (shown.auto_close) {
        SetTimer(dialog, auto_close_timer, dialog_auto_close_ms, nullptr);
    }
    // Started from a script, the dialog must not hide behind other windows.
    SetForegroundWindow(dialog);
}

// The message dialog and the usage dialog share this procedure: OK, closing or the timer end
// them.
INT_PTR CALLBACK batch_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto* shown = reinterpret_cast<const BatchDialog*>(lparam);
            if (GetDlgItem(dialog, IDC_BATCH_TEXT) != nullptr) {
                SetDlgItemTextW(dialog, IDC_BATCH_TEXT, shown->text.c_str());
            } else {
                for (std::size_t i = 0; i < usage_text_count; ++i) {
                    SetDlgItemTextW(dialog, IDC_USAGE_FIRST + static_cast<int>(i),
                                    from_utf8(usage_texts[i]).c_str());
                }
            }
            SetWindowTextW(dialog, from_utf8(batch_dialog_title).c_str());
            start_dialog(dialog, *shown);
            return TRUE;
        }
        case WM_TIMER:
            if (wparam == auto_close_timer) {
                KillTimer(dialog, auto_close_timer);
                EndDialog(dialog, IDOK);
            }
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                KillTimer(dialog, auto_close_timer);
                EndDialog(dialog, LOWORD(wparam));
            }
            return TRUE;
        case WM_CLOSE:
            KillTimer(dialog, auto_close_timer);
            EndDialog(dialog, IDCANCEL);
            return TRUE;
    }
    return FALSE;
}

void show_dialog(Tool& tool, int template_id, const BatchDialog& shown) {
    DialogBoxParamW(tool.instance, MAKEINTRESOURCEW(template_id), nullptr, batch_dialog_proc,
                    reinterpret_cast<LPARAM>(&shown));
}

HICON program_icon(Tool& tool) {
    return LoadIconW(tool.instance, MAKEINTRESOURCEW(IDI_TAVMAPDL));
}

// Appends the log line (when the plan says so, inside report_batch) and shows the dialog.
int report(Tool& tool, BatchState state) {
    state.shift_jis = tool.japanese;  // Japanese texts go with code page 932
    ReportPlan plan = report_batch(state, common::local_now());
    if (plan.show_usage) {
        BatchDialog usage;
        usage.auto_close = plan.usage_auto_close;
        usage.icon = program_icon(tool);
        show_dialog(tool, IDD_USAGE, usage);
    }
    if (plan.show_message) {
        BatchDialog message;
        // The line is ANSI text (the key map file's name came from the command line).
        message.text = from_ansi(plan.line);
        message.icon = program_icon(tool);
        show_dialog(tool, IDD_BATCH_MESSAGE, message);
    }
    return exit_code_for(state.result);
}

}  // namespace

int run_batch_mode(Tool& tool, const std::string& command_text) {
    auto today = [] { return common::date_text(common::local_now().date); };
    BatchState state = run_batch(command_text, tool.session, today);
    return report(tool, state);
}

int report_second_instance(Tool& tool) {
    return report(tool, overlap_start_state());
}

}  // namespace keymap_download::win32
