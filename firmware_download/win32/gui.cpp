// Graphical mode: the main dialog, the progress dialog with its worker thread, the version
// dialog and the date-stamp notice. The decisions are the core's (dialog_logic.h); this file
// shows their results.
#include <windows.h>
// windows.h first: the others depend on it.
#include <commctrl.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "common/date_text.h"
#include "common/win32/console.h"
#include "common/win32/file_chooser.h"
#include "common/win32/message_box.h"
#include "common/win32/painting_pause.h"
#include "common/win32/session_end_guard.h"
#include "common/win32/wide_text.h"
#include "firmware_download/batch.h"
#include "firmware_download/srecord.h"
#include "firmware_download/win32/resource.h"
#include "firmware_download/win32/tool.h"

namespace firmware_download::win32 {
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

// The whole text of a control, however long it is.
std::wstring control_text(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    int length = GetWindowTextLengthW(control);
    if (length <= 0) {
        return {};
    }
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1);
    int copied = GetWindowTextW(control, text.data(), length + 1);
    return std::wstring(text.data(), static_cast<std::size_t>(copied < 0 ? 0 : copied));
}

void set_text(HWND dialog, int id, const char* utf8) {
    SetDlgItemTextW(dialog, id, from_utf8(utf8).c_str());
}

// ---------------------------------------------------------------------------------------------
// Worker thread: the download sequence, reporting through the progress dialog.

struct WorkerStart {
    Tool* tool;
    HWND progress_dialog;
};

DWORD WINAPI download_worker(LPVOID param) {
    WorkerStart start = *static_cast<WorkerStart*>(param);
    delete static_cast<WorkerStart*>(param);
    Tool& tool = *start.tool;
    HWND dialog = start.progress_dialog;

    DownloadHooks hooks;
    hooks.on_writing = [&] { set_text(dialog, IDC_STATUS, tool.texts.writing); };
    int shown = -1;
    hooks.on_progress = [&](int progress) {
        if (progress != shown) {  // 2048 blocks, 1001 positions: send only the changes
            shown = progress;
            SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(progress), 0);
        }
    };
    DownloadOutcome outcome = tool.session.download(hooks);
    // No owner: the sequence's own report, brought to the front since no window of ours is.
    show_message(nullptr, worker_message(outcome), MB_OK | MB_SETFOREGROUND);
    PostMessageW(dialog, completion_message, static_cast<WPARAM>(outcome), 0);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Progress dialog

void end_progress(HWND dialog, DownloadResult result) {
    tool_of(dialog).download_result = result;
    tool_of(dialog).progress_dialog = nullptr;
    EndDialog(dialog, 0);
}

// Confirmation, reading the file, then the worker.
void start_download(HWND dialog) {
    Tool& tool = tool_of(dialog);
    // A modal dialog shows itself only once its queue is idle; the question must not wait.
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    if (show_message(dialog, confirm_message(tool.texts), MB_YESNO) != IDYES) {
        end_progress(dialog, DownloadResult::declined);
        return;
    }
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    set_text(dialog, IDC_STATUS, tool.texts.reading);
    UpdateWindow(dialog);
    // Read now, not when Run checked the name: the file may have gone while the question was
    // up, and only an image read whole is ever sent.
    ParseOutcome read = read_firmware_file(tool.file_name, tool.session.image);
    if (read != ParseOutcome::accepted) {
        end_progress(dialog, download_result_for(read));
        return;
    }
    tool.session.clear_cancel();
    auto* start = new WorkerStart{&tool, dialog};
    HANDLE worker = CreateThread(nullptr, 0, download_worker, start, 0, nullptr);
    if (worker == nullptr) {
        delete start;
        end_progress(dialog, DownloadResult::ended_abnormally);
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
            tool.progress_dialog = dialog;
            SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETRANGE32, 0, progress_range);
            set_text(dialog, IDC_STATUS, tool.texts.reading);
            PostMessageW(dialog, progress_start_message, 0, 0);
            return TRUE;
        }
        case progress_start_message:
            start_download(dialog);
            return TRUE;
        case completion_message: {
            Tool& tool = tool_of(dialog);
            set_text(dialog, IDC_STATUS, tool.texts.finish);
            SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
            end_progress(dialog, download_result_for(static_cast<DownloadOutcome>(wparam)));
            return TRUE;
        }
        case WM_COMMAND:
            // Nothing stops a download half-way: a keyboard left without firmware is worse
            // than waiting (Escape and a cancel command 1003 included).
            return TRUE;
        case WM_CLOSE:
            return TRUE;
    }
    return FALSE;
}

// ---------------------------------------------------------------------------------------------
// Version dialog

INT_PTR CALLBACK version_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lparam);
            SetDlgItemTextW(dialog, IDC_VERSION_TEXT, from_ansi(unknown_version_text).c_str());
            return TRUE;
        case WM_COMMAND: {
            Tool& tool = tool_of(dialog);
            switch (LOWORD(wparam)) {
                case IDC_RUN: {
                    SetDlgItemTextW(dialog, IDC_VERSION_TEXT, L"00.00");
                    UpdateWindow(dialog);
                    VersionResult result = tool.session.query_version();
                    show_message(dialog, version_query_message(result, tool.texts));
                    SetDlgItemTextW(dialog, IDC_VERSION_TEXT,
                                    from_ansi(version_text(result)).c_str());
                    return TRUE;
                }
                case IDC_CANCEL:
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
            }
            return FALSE;
        }
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
    }
    return FALSE;
}

// ---------------------------------------------------------------------------------------------
// Date stamp

INT_PTR CALLBACK notice_proc(HWND, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) {
        return TRUE;  // destroyed by the main dialog after the date stamp
    }
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

void show_notice(HWND main_dialog, Tool& tool) {
    int id = tool.japanese ? IDD_NOTICE_JA : IDD_NOTICE_EN;
    tool.notice =
        CreateDialogParamW(tool.instance, MAKEINTRESOURCEW(id), main_dialog, notice_proc, 0);
    if (tool.notice != nullptr) {
        set_text(tool.notice, IDC_NOTICE_TEXT, tool.texts.date_stamp_notice);
        ShowWindow(tool.notice, SW_SHOW);
        UpdateWindow(tool.notice);
    }
}

// The keyboard needs the pause before it takes the date stamp. The main dialog stays blocked
// meanwhile, but windows are repainted (and messages sent by other programs answered) so the
// notice stays readable.
void run_date_stamp(HWND main_dialog, Tool& tool) {
    pause_painting(tool.clock, date_stamp_pause_ms);
    bool stamped = tool.session.send_date_stamp(tool.date_text);
    if (tool.notice != nullptr) {
        DestroyWindow(tool.notice);
        tool.notice = nullptr;
    }
    show_message(main_dialog, date_stamp_message(stamped, tool.texts));
}

// ---------------------------------------------------------------------------------------------
// Main dialog

constexpr FileChooser firmware_to_open = {FileDialog::open, L"Hex Files (*.mhx)\0*.mhx\0", L"mhx",
                                          OFN_HIDEREADONLY | OFN_CREATEPROMPT};

void choose_file(HWND dialog) {
    wchar_t name[MAX_PATH + 1] = {};
    std::wstring shown = control_text(dialog, IDC_FILE_NAME);
    if (shown.size() <= MAX_PATH) {
        shown.copy(name, shown.size());
    }
    if (choose_file_name(dialog, firmware_to_open, name, MAX_PATH)) {
        SetDlgItemTextW(dialog, IDC_FILE_NAME, name);
    }
}

void run_update(HWND dialog, Tool& tool) {
    tool.file_name = to_ansi(control_text(dialog, IDC_FILE_NAME));
    MessageBoxPlan name_check = check_file_name(tool.file_name, tool.texts);
    if (name_check.show) {
        show_message(dialog, name_check);
        return;
    }
    if (!firmware_file_opens(tool.file_name)) {
        show_message(dialog, file_not_found_message(tool.texts));
        return;
    }
    tool.download_result = DownloadResult::declined;
    int id = tool.japanese ? IDD_PROGRESS_JA : IDD_PROGRESS_EN;
    DialogBoxParamW(tool.instance, MAKEINTRESOURCEW(id), dialog, progress_proc,
                    reinterpret_cast<LPARAM>(&tool));
    if (!starts_date_stamp(tool.download_result)) {
        show_message(dialog, message_for_download_result(tool.download_result, tool.texts));
        return;
    }
    show_notice(dialog, tool);
    tool.date_text = to_ansi(control_text(dialog, IDC_DATE));
    PostMessageW(dialog, date_stamp_request, 0, 0);
}

void run_version(HWND dialog, Tool& tool) {
    int id = tool.japanese ? IDD_VERSION_JA : IDD_VERSION_EN;
    DialogBoxParamW(tool.instance, MAKEINTRESOURCEW(id), dialog, version_proc,
                    reinterpret_cast<LPARAM>(&tool));
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
    HICON icon = LoadIconW(tool.instance, MAKEINTRESOURCEW(IDI_TAVFRMDL));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SetWindowTextW(dialog, from_utf8(tool.texts.main_title).c_str());
    set_text(dialog, IDC_INSTRUCTION, tool.texts.instruction);
    SetDlgItemTextW(dialog, IDC_DATE,
                    from_ansi(common::date_text(common::local_now().date)).c_str());
    SendDlgItemMessageW(dialog, IDC_DATE, EM_LIMITTEXT, max_name_length, 0);
    SetDlgItemTextW(dialog, IDC_FILE_NAME, L"");
    SendDlgItemMessageW(dialog, IDC_FILE_NAME, EM_LIMITTEXT, max_name_length, 0);
    tool.file_name.clear();
    tool.session.model_selector = model_for_button(IDC_RADIO_REED);
    CheckRadioButton(dialog, IDC_RADIO_SPARROW, IDC_RADIO_REED_MSR, IDC_RADIO_REED);
    tool.operation = OperationMode::update;
    CheckRadioButton(dialog, IDC_MODE_UPDATE, IDC_MODE_VERSION, IDC_MODE_UPDATE);
}

INT_PTR CALLBACK main_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lparam);
            init_main(dialog, tool_of(dialog));
            return TRUE;
        case WM_COMMAND: {
            Tool& tool = tool_of(dialog);
            const int id = LOWORD(wparam);
            switch (id) {
                case IDC_RADIO_SPARROW:
                case IDC_RADIO_REED:
                case IDC_RADIO_LARCH:
                case IDC_RADIO_REED_MSR:
                    if (HIWORD(wparam) == BN_CLICKED && IsWindowEnabled(GetDlgItem(dialog, id))) {
                        tool.session.model_selector = model_for_button(id);
                        CheckRadioButton(dialog, IDC_RADIO_SPARROW, IDC_RADIO_REED_MSR, id);
                    }
                    return TRUE;
                case IDC_MODE_UPDATE:
                case IDC_MODE_VERSION:
                    if (HIWORD(wparam) == BN_CLICKED) {
                        tool.operation =
                            id == IDC_MODE_UPDATE ? OperationMode::update : OperationMode::version;
                        CheckRadioButton(dialog, IDC_MODE_UPDATE, IDC_MODE_VERSION, id);
                    }
                    return TRUE;
                case IDC_REFERENCE:
                    choose_file(dialog);
                    return TRUE;
                case IDC_RUN:
                    if (tool.operation == OperationMode::version) {
                        run_version(dialog, tool);
                    } else {
                        run_update(dialog, tool);
                    }
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
    // While the keyboard is written the progress dialog, the window on screen, also refuses
    // the end of the session.
    tool.session.hold_interruptions = [&tool](bool hold) {
        common::win32::ignore_console_breaks(hold);
        if (tool.progress_dialog != nullptr) {
            common::win32::hold_session_end(tool.progress_dialog,
                                            from_utf8(tool.texts.session_end_reason), hold);
        }
    };
    int id = tool.japanese ? IDD_MAIN_JA : IDD_MAIN_EN;
    INT_PTR ended = DialogBoxParamW(tool.instance, MAKEINTRESOURCEW(id), nullptr, main_proc,
                                    reinterpret_cast<LPARAM>(&tool));
    if (ended == -1) {
        show_message(nullptr, dialog_failed_message(tool.texts));
    }
    return gui_exit_code;
}

}  // namespace firmware_download::win32
