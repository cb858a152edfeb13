// GUI mode: the main dialog, the progress dialog with its worker thread, and the date stamp
// window. The decisions are the core's (dialog_logic.h); this file shows their results.
#include <windows.h>
// windows.h first: the others depend on it.
#include <commctrl.h>
#include <commdlg.h>

#include <string>

#include "common/date_text.h"
#include "common/win32/file_chooser.h"
#include "common/win32/message_box.h"
#include "common/win32/painting_pause.h"
#include "common/win32/session_end_guard.h"
#include "common/win32/wide_text.h"
#include "keymap_download/batch.h"
#include "keymap_download/win32/resource.h"
#include "keymap_download/win32/tool.h"

namespace keymap_download::win32 {
namespace {

using common::win32::choose_file_name;
using common::win32::FileChooser;
using common::win32::FileDialog;
using common::win32::from_ansi;
using common::win32::from_utf8;
using common::win32::pause_painting;
using common::win32::to_ansi;

constexpr UINT completion_message = WM_USER + completion_message_offset;
constexpr UINT date_stamp_request = WM_USER + date_stamp_message_offset;
// The progress dialog asks its question once it is on screen.
constexpr UINT progress_start_message = WM_APP + 1;

Tool& tool_of(HWND dialog) {
    return *reinterpret_cast<Tool*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

using common::win32::show_message;

std::wstring dialog_text(HWND dialog, int id) {
    wchar_t text[max_dialog_text + 1] = {};
    GetDlgItemTextW(dialog, id, text, max_dialog_text + 1);
    return text;
}

void set_program_icon(HWND dialog, const Tool& tool) {
    HICON icon = LoadIconW(tool.instance, MAKEINTRESOURCEW(IDI_TAVMAPDL));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

// ---------------------------------------------------------------------------------------------
// Worker thread: the key map write, reporting through the progress dialog.

struct WorkerStart {
    Tool* tool;
    HWND progress_dialog;
};

DWORD WINAPI write_worker(LPVOID param) {
    WorkerStart start = *static_cast<WorkerStart*>(param);
    delete static_cast<WorkerStart*>(param);
    Tool& tool = *start.tool;
    HWND dialog = start.progress_dialog;

    WriteHooks hooks;
    hooks.on_writing = [&] {
        SetDlgItemTextW(dialog, IDC_STATUS, from_utf8(tool.texts.writing).c_str());
    };
    hooks.on_progress = [&](int progress) {
        SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(progress), 0);
    };
    // The progress dialog is the window on screen while the keyboard is written.
    hooks.hold_interruptions =
        common::win32::session_end_hold(dialog, from_utf8(tool.texts.session_end_reason));
    WriteOutcome outcome = tool.session.write_keymap(hooks);
    show_message(dialog, write_outcome_message(outcome));
    PostMessageW(dialog, completion_message, static_cast<WPARAM>(completion_code_for(outcome)), 0);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Progress dialog

void end_progress(HWND dialog, DownloadResult result) {
    tool_of(dialog).download_result = result;
    EndDialog(dialog, 0);
}

// Confirmation, loading and parsing the file, then the worker.
void start_download(HWND dialog) {
    Tool& tool = tool_of(dialog);
    // A modal dialog shows itself only once its queue is idle; the question must not wait.
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    if (show_message(dialog, confirm_message(tool.texts), MB_YESNO) != IDYES) {
        tool.table_file.close();
        end_progress(dialog, DownloadResult::declined);
        return;
    }
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    SetDlgItemTextW(dialog, IDC_STATUS, from_utf8(tool.texts.reading).c_str());
    Preparation preparation = prepare_download(tool.table_file, tool.session);
    if (preparation != Preparation::ready) {
        end_progress(dialog, download_result_for(preparation));
        return;
    }
    auto* start = new WorkerStart{&tool, dialog};
    HANDLE worker = CreateThread(nullptr, 0, write_worker, start, 0, nullptr);
    if (worker == nullptr) {
        delete start;
        end_progress(dialog, DownloadResult::transfer_failed);
        return;
    }
    SetThreadPriority(worker, THREAD_PRIORITY_NORMAL);
    CloseHandle(worker);
}

INT_PTR CALLBACK progress_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (common::win32::answer_session_end(dialog, message, lparam)) {
        return TRUE;
    }
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lparam);
            Tool& tool = tool_of(dialog);
            SetWindowTextW(dialog, from_utf8(tool.texts.main_title).c_str());
            SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETRANGE, 0,
                                MAKELPARAM(0, progress_range));
            SetDlgItemTextW(dialog, IDC_STATUS, from_utf8(tool.texts.reading).c_str());
            PostMessageW(dialog, progress_start_message, 0, 0);
            return TRUE;
        }
        case progress_start_message:
            start_download(dialog);
            return TRUE;
        case completion_message: {
            Tool& tool = tool_of(dialog);
            SetDlgItemTextW(dialog, IDC_STATUS, from_utf8(tool.texts.finish).c_str());
            SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
            end_progress(dialog, download_result_for(static_cast<int>(wparam)));
            return TRUE;
        }
        case WM_COMMAND:
            return TRUE;  // no control ends this dialog (Escape included)
        case WM_CLOSE:
            return TRUE;  // nor does closing it
    }
    return FALSE;
}

// ---------------------------------------------------------------------------------------------
// Date stamp

INT_PTR CALLBACK date_stamp_window_proc(HWND dialog, UINT message, WPARAM, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            const Tool& tool = *reinterpret_cast<const Tool*>(lparam);
            SetDlgItemTextW(dialog, IDC_DATE_STAMP_TEXT,
                            from_utf8(tool.texts.date_stamp_window).c_str());
            SetWindowTextW(dialog, from_utf8(tool.texts.main_title).c_str());
            return TRUE;
        }
        case WM_CLOSE:
            return TRUE;  // destroyed by the main dialog after the date stamp
    }
    return FALSE;
}

void show_date_stamp_window(HWND main_dialog, Tool& tool) {
    int id = tool.japanese ? IDD_DATE_STAMP_JA : IDD_DATE_STAMP_EN;
    tool.date_stamp_window =
        CreateDialogParamW(tool.instance, MAKEINTRESOURCEW(id), main_dialog, date_stamp_window_proc,
                           reinterpret_cast<LPARAM>(&tool));
    if (tool.date_stamp_window != nullptr) {
        ShowWindow(tool.date_stamp_window, SW_SHOW);
        UpdateWindow(tool.date_stamp_window);
    }
}

// The keyboard needs the pause before it takes the date stamp. The main dialog stays blocked
// meanwhile, but windows are repainted (and messages sent by other programs answered) so the
// date stamp window stays readable.
void run_date_stamp(HWND main_dialog, Tool& tool) {
    pause_painting(tool.clock, date_stamp_pause_ms);
    bool stamped = tool.session.send_date_stamp(tool.date_text);
    if (tool.date_stamp_window != nullptr) {
        DestroyWindow(tool.date_stamp_window);
        tool.date_stamp_window = nullptr;
    }
    show_message(main_dialog, date_stamp_message(stamped, tool.texts));
}

// ---------------------------------------------------------------------------------------------
// Main dialog

constexpr const wchar_t* table_filter = L"tbl Files (*.tbl)\0*.tbl\0";
constexpr FileChooser table_to_open = {FileDialog::open, table_filter, L"tbl",
                                       OFN_HIDEREADONLY | OFN_CREATEPROMPT};
constexpr FileChooser table_to_save = {FileDialog::save, table_filter, L"tbl",
                                       OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT};

void choose_file(HWND dialog, Tool& tool) {
    choose_file_name(dialog, table_to_open, tool.file_name, max_dialog_text);
    // Cancelling puts back the name last chosen or last taken by Run.
    SetDlgItemTextW(dialog, IDC_FILE_NAME, tool.file_name);
}

void run_download(HWND dialog, Tool& tool) {
    GetDlgItemTextW(dialog, IDC_FILE_NAME, tool.file_name, max_dialog_text + 1);
    std::string path = to_ansi(tool.file_name);
    MessageBoxPlan name_check = check_file_name(path, tool.texts);
    if (name_check.show) {
        show_message(dialog, name_check);
        return;
    }
    if (!tool.table_file.open(path)) {
        show_message(dialog, file_not_found_message(tool.texts));
        return;
    }
    tool.download_result = DownloadResult::declined;
    int id = tool.japanese ? IDD_PROGRESS_JA : IDD_PROGRESS_EN;
    DialogBoxParamW(tool.instance, MAKEINTRESOURCEW(id), dialog, progress_proc,
                    reinterpret_cast<LPARAM>(&tool));
    tool.table_file.close();  // harmless when the progress dialog closed it
    if (!starts_date_stamp(tool.download_result)) {
        show_message(dialog, message_for_download_result(tool.download_result, tool.texts));
        return;
    }
    tool.date_text = to_ansi(dialog_text(dialog, IDC_DATE));
    show_date_stamp_window(dialog, tool);
    PostMessageW(dialog, date_stamp_request, 0, 0);
}

// The save button: the selected model's key map, read and saved where the user chooses.
void save_keymap(HWND dialog, Tool& tool) {
    wchar_t path[max_dialog_text + 1] = {};
    if (!choose_file_name(dialog, table_to_save, path, max_dialog_text)) {
        return;
    }
    const HCURSOR cursor = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    const BackupOutcome outcome = save_keyboard_keymap(tool.session, to_ansi(path));
    SetCursor(cursor);
    show_message(dialog, keymap_backup_message(outcome, tool.texts));
}

void close_main(HWND dialog, Tool& tool) {
    if (!close_allowed(tool.session.busy())) {
        return;
    }
    if (tool.instance_guard != nullptr) {
        tool.instance_guard->release();
    }
    EndDialog(dialog, 0);
}

void init_main(HWND dialog, Tool& tool) {
    set_program_icon(dialog, tool);
    SetWindowTextW(dialog, from_utf8(tool.texts.main_title).c_str());
    SetDlgItemTextW(dialog, IDC_INSTRUCTION, from_utf8(tool.texts.instruction).c_str());
    SetDlgItemTextW(dialog, IDC_DATE,
                    from_ansi(common::date_text(common::local_now().date)).c_str());
    tool.file_name[0] = L'\0';
    SetDlgItemTextW(dialog, IDC_FILE_NAME, L"");
    SendDlgItemMessageW(dialog, IDC_FILE_NAME, EM_LIMITTEXT, max_dialog_text, 0);
    tool.session.record = record_for_radio(IDC_RADIO_REED);
    CheckRadioButton(dialog, IDC_RADIO_SPARROW, IDC_RADIO_REED, IDC_RADIO_REED);
}

INT_PTR CALLBACK main_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lparam);
            init_main(dialog, tool_of(dialog));
            return TRUE;
        case WM_COMMAND: {
            Tool& tool = tool_of(dialog);
            switch (LOWORD(wparam)) {
                case IDC_RADIO_SPARROW:
                case IDC_RADIO_REED:
                    if (HIWORD(wparam) == BN_CLICKED) {
                        tool.session.record = record_for_radio(LOWORD(wparam));
                    }
                    return TRUE;
                case IDC_REFERENCE:
                    choose_file(dialog, tool);
                    return TRUE;
                case IDC_RUN:
                    run_download(dialog, tool);
                    return TRUE;
                case IDC_SAVE_KEYMAP:
                    save_keymap(dialog, tool);
                    return TRUE;
                case IDC_CANCEL:
                case IDCANCEL:
                    close_main(dialog, tool);
                    return TRUE;
            }
            return FALSE;
        }
        case date_stamp_request:
            run_date_stamp(dialog, tool_of(dialog));
            return TRUE;
        case WM_CLOSE:
            close_main(dialog, tool_of(dialog));
            return TRUE;
    }
    return FALSE;
}

}  // namespace

int run_gui(Tool& tool) {
    int id = tool.japanese ? IDD_MAIN_JA : IDD_MAIN_EN;
    INT_PTR ended = DialogBoxParamW(tool.instance, MAKEINTRESOURCEW(id), nullptr, main_proc,
                                    reinterpret_cast<LPARAM>(&tool));
    if (ended == -1) {
        show_message(nullptr, dialog_failed_message(tool.texts));
    }
    return gui_exit_code;
}

}  // namespace keymap_download::win32
